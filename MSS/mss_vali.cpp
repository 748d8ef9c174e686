#include "mss_vali.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include "tk_exception.h"
#include "tk_log.h"

namespace {
const char16_t* const duplicate_prefixes[] = {u"_", u"1", u"_", u"2", u"_", u"3"};
}

mss_validator::mss_validator() : udb_validator(0) {}

bool mss_validator::is_acceptable(const std::u16string& name) {
  tk_wtrace(1, u"mss_validator::is_acceptable(%s)", name);
  if (!udb_validator::is_acceptable(name)) return false;
  if (name.empty()) throw tk_mail_assertion("mss_vali", __LINE__);
  UChar32 first;
  size_t i = 0;
  U16_NEXT(name.data(), i, name.size(), first);
  return first == u'_' || u_isalpha(first);
}

std::u16string mss_validator::get_safe_name(const std::u16string& name) {
  tk_wtrace(1, u"mss_validator::get_safe_name(%s)", name);
  std::u16string candidate = name;
  for (size_t k = 0; is_duplicated(candidate); ++k) {
    tk_trace(1, "Duplicate table name was found");
    candidate = duplicate_prefixes[k % 6] + candidate;
  }
  return candidate;
}

mss_tn_validator::mss_tn_validator(const std::vector<std::u16string>& first,
                                   const std::vector<std::u16string>& second) {
  tk_trace(2, "mss_tn_validator::ctor");
  for (const auto& n : first) add_name_in_use(n);
  for (const auto& n : second) add_name_in_use(n);
}

bool mss_split_tab_name(const std::u16string& name, std::u16string& table, std::u16string& owner) {
  tk_wtrace(1, u"mss_split_tab_name (%s)", name);
  if (name.size() < 3 || name.front() != u'[' || name.back() != u']') return false;
  // The parts come back as names, not as bracketed text: a doubled "]" is one "]" of the name.
  // The first "].[" that is not part of such a pair separates owner and table.
  const std::u16string inner = name.substr(1, name.size() - 2);
  std::u16string part, first_part;
  bool has_owner = false;
  for (size_t i = 0; i < inner.size();) {
    if (inner[i] == u']') {
      if (i + 1 < inner.size() && inner[i + 1] == u']') {
        part.push_back(u']');
        i += 2;
        continue;
      }
      if (!has_owner && inner.compare(i, 3, u"].[") == 0) {
        first_part = part;
        part.clear();
        has_owner = true;
        i += 3;
        continue;
      }
    }
    part.push_back(inner[i++]);
  }
  owner = has_owner ? first_part : std::u16string();
  table = part;
  tk_wtrace(1, u"tab_name=%s, owner=%s", table, owner);
  return true;
}

std::u16string mss_bracket(const std::u16string& name) {
  std::u16string out = u"[";
  for (char16_t c : name) {
    out.push_back(c);
    if (c == u']') out.push_back(u']');
  }
  out.push_back(u']');
  return out;
}

std::u16string mss_escape_literal(const std::u16string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    out.push_back(c);
    if (c == u'\'') out.push_back(u'\'');
  }
  return out;
}
