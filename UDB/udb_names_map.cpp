#include "udb_names_map.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include "tk_log.h"
#include "tk_string.h"

namespace {

bool names_match(const std::u16string& a, const std::u16string& b, bool exact) {
  return exact ? a == b : tk_iequal(a, b);
}

// The code point that ends just before `pos`, or none at the start of the text.
bool alnum_before(const std::u16string& text, size_t pos) {
  if (pos == 0) return false;
  const UChar* s = reinterpret_cast<const UChar*>(text.data());
  int32_t i = static_cast<int32_t>(pos);
  UChar32 c;
  U16_PREV(s, 0, i, c);
  return u_isalnum(c);
}

bool alnum_at(const std::u16string& text, size_t pos) {
  if (pos >= text.size()) return false;
  const UChar* s = reinterpret_cast<const UChar*>(text.data());
  UChar32 c;
  U16_GET(s, 0, static_cast<int32_t>(pos), static_cast<int32_t>(text.size()), c);
  return u_isalnum(c);
}

// The first position from `from` at which `needle` occurs, case ignored (the same folding as
// tk_iequal, applied to the text of the needle's length at each position), or npos.
size_t find_ignoring_case(const std::u16string& text, const std::u16string& needle, size_t from) {
  const UChar* s = reinterpret_cast<const UChar*>(text.data());
  const UChar* n = reinterpret_cast<const UChar*>(needle.data());
  const int32_t length = static_cast<int32_t>(needle.size());
  for (size_t pos = from; pos + needle.size() <= text.size(); ++pos) {
    UErrorCode err = U_ZERO_ERROR;
    if (u_strCaseCompare(s + pos, length, n, length, U_FOLD_CASE_DEFAULT, &err) == 0 &&
        U_SUCCESS(err))
      return pos;
  }
  return std::u16string::npos;
}

}  // namespace

void t_names_map::add(const std::u16string& source, const std::u16string& mapped) {
  tk_wtrace(1, u"t_names_map::add(%s,%s)", source, mapped);
  emplace(source, mapped);
}

std::u16string t_names_map::get_mapped_name(const std::u16string& name, bool exact) const {
  tk_wtrace(1, u"t_names_map::get_mapped_name(%s)", name);
  for (const auto& [source, mapped] : *this) {
    if (names_match(source, name, exact)) {
      tk_wtrace(1, u"Got mapped name: %s", mapped);
      return mapped;
    }
  }
  return name;
}

void udb_names_map::add_tn_mapping(const std::u16string& source, const std::u16string& mapped) {
  tk_wtrace(2, u"udb_names_map::add_tn_mapping(%s,%s)", source, mapped);
  tables_.add(source, mapped);
}

std::u16string udb_names_map::get_tn_mapped_name(const std::u16string& name, bool exact) const {
  tk_wtrace(1, u"udb_names_map::get_tn_mapped_name(%s)", name);
  for (const auto& [source, mapped] : tables_) {
    tk_wtrace(1, u"Comparing with (%s,%s)", source, mapped);
    if (names_match(source, name, exact)) {
      tk_wtrace(1, u"Got mapped name: %s", mapped);
      return mapped;
    }
  }
  return name;
}

void udb_names_map::add_fn_map(const std::u16string& table, const t_names_map& fields) {
  tk_wtrace(2, u"udb_names_map::add_fn_map(%s)", table);
  fields_.emplace(table, fields);
}

std::u16string udb_names_map::get_fn_mapped_name(const std::u16string& table,
                                                 const std::u16string& field, bool exact) const {
  tk_wtrace(1, u"udb_names_map::get_fn_mapped_name(%s,%s)", table, field);
  auto found = fields_.find(table);
  if (found == fields_.end()) {
    tk_wtrace(1, u"Table '%s' not found", table);
    return field;
  }
  return found->second.get_mapped_name(field, exact);
}

std::u16string udb_names_map::do_global_replace1(const std::u16string& text,
                                                 const std::u16string& open,
                                                 const std::u16string& close) const {
  tk_wtrace(2, u"udb_names_map::do_global_replace1(%s)", text);
  std::u16string result = do_global_replace2(text, tables_, open, close);
  for (const auto& [table, fields] : fields_)
    result = do_global_replace2(result, fields, open, close);
  return result;
}

std::u16string udb_names_map::do_global_replace2(const std::u16string& text, const t_names_map& map,
                                                 const std::u16string& open,
                                                 const std::u16string& close) {
  tk_wtrace(2, u"udb_names_map::do_global_replace2(%s)", text);
  std::u16string result = text;
  for (const auto& [needle, mapped] : map) {
    tk_wtrace(1, u"Testing pair ('%s','%s')", needle, mapped);
    // An empty source name would be found at every position and never let the search advance.
    if (needle.empty()) continue;
    const std::u16string replacement = open + mapped + close;
    size_t pos = find_ignoring_case(result, needle, 0);
    while (pos != std::u16string::npos) {
      tk_wtrace(1, u"'%s' was found at pos=%d", needle, static_cast<int64_t>(pos));
      size_t end = pos + needle.size();
      if (alnum_before(result, pos) || alnum_at(result, end)) {
        pos = find_ignoring_case(result, needle, end);
      } else {
        result.replace(pos, needle.size(), replacement);
        pos = find_ignoring_case(result, needle, pos + replacement.size());
      }
    }
  }
  return result;
}
