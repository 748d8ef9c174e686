#include "udb_rel.h"

#include "tk_exception.h"
#include "tk_log.h"
#include "tk_string.h"

bool udb_relationships::is_acceptable_name(const std::u16string& name) const {
  tk_wtrace(1, u"udb_relationships::is_acceptable_name(%s)", name);
  for (const udb_relationship& key : *this)
    if (tk_iequal(key.name, name)) return false;
  return true;
}

const udb_relationship& udb_relationships::get_index(const std::u16string& name) const {
  tk_wtrace(1, u"udb_relationships::get_index(%s)", name);
  for (const udb_relationship& key : *this)
    if (tk_iequal(key.name, name)) return key;
  throw tk_mail_assertion("udb_rel", __LINE__);
}

udb_relationship& udb_relationships::get_index(const std::u16string& name) {
  return const_cast<udb_relationship&>(
      static_cast<const udb_relationships*>(this)->get_index(name));
}
