#include "udb_record.h"

#include "tk_log.h"
#include "tk_string.h"

udb_field::udb_field() { tk_trace(1, "udb_field::empty ctor"); }

udb_field::udb_field(const std::u16string& name, int32_t size, const ole_variant& value)
    : ole_variant(value), size(size), name(name) {
  tk_trace(1, "udb_field::ctor #2");
  tk_wtrace(1, u"name=%s, size=%d", name, size);
}

bool udb_record::find_field(const std::u16string& name) const {
  tk_wtrace(1, u"udb_record::find_field(%s)", name);
  for (const udb_field& field : *this) {
    tk_wtrace(1, u"Processing %s", field.name);
    if (tk_iequal(field.name, name)) return true;
  }
  return false;
}

udb_field udb_record::get_field(const std::u16string& name) const {
  tk_wtrace(1, u"udb_record::find_field(%s)", name);
  for (const udb_field& field : *this) {
    tk_wtrace(1, u"Processing %s", field.name);
    if (tk_iequal(field.name, name)) return field;
  }
  return udb_field();
}
