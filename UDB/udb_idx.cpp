#include "udb_idx.h"

#include "tk_exception.h"
#include "tk_log.h"
#include "tk_string.h"

namespace {
constexpr const char* source_name = "..\\UDB/udb_idx";
}

bool udb_index::starts_with_fields(const udb_names& wanted) const {
  tk_wtrace(1, u"udb_index(%s)::starts_with_fields", name);
  if (fields.size() < wanted.size()) return false;
  for (size_t i = 0; i < wanted.size(); ++i) {
    if (!tk_iequal(fields[i], wanted[i])) {
      tk_wtrace(1, u"Field '%s' not found", wanted[i]);
      return false;
    }
  }
  tk_trace(1, "starts_with_fields returns true");
  return true;
}

bool udb_indexes::is_acceptable_name(const std::u16string& name) const {
  tk_wtrace(1, u"udb_indexes::is_acceptable_name(%s)", name);
  for (const udb_index& index : *this)
    if (tk_iequal(index.name, name)) return false;
  return true;
}

const udb_index& udb_indexes::get_index(const std::u16string& name) const {
  tk_wtrace(1, u"udb_indexes::get_index(%s)", name);
  for (const udb_index& index : *this)
    if (tk_iequal(index.name, name)) return index;
  throw tk_mail_assertion(source_name, __LINE__);
}

udb_index& udb_indexes::get_index(const std::u16string& name) {
  return const_cast<udb_index&>(static_cast<const udb_indexes*>(this)->get_index(name));
}

bool udb_indexes::is_idx_field(const std::u16string& name, bool primary_only) const {
  tk_wtrace(1, u"udb_indexes::is_idx_field(%s)", name);
  for (const udb_index& index : *this) {
    if (primary_only && !index.primary) continue;
    for (const std::u16string& field : index.fields) {
      if (field == name) {
        tk_trace(1, "index field");
        return true;
      }
    }
  }
  tk_trace(1, "non-index field");
  return false;
}

bool udb_indexes::has_index_on_fields(const udb_names& fields) const {
  tk_trace(1, "udb_indexes::has_index_on_fields");
  for (const udb_index& index : *this)
    if (index.starts_with_fields(fields)) return true;
  return false;
}
