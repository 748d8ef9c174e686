#include "udb_validator.h"

#include "tk_exception.h"
#include "tk_log.h"
#include "tk_string.h"

namespace {

// Cuts to `length` UTF-16 units, one less when the cut would separate a surrogate pair: half a
// character would turn into a replacement character in every narrow form of the name.
std::u16string cut(const std::u16string& text, size_t length) {
  if (text.size() <= length) return text;
  if (length > 0 && text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF) --length;
  return text.substr(0, length);
}

}  // namespace

udb_validator::udb_validator(int32_t max_length) : max_length_(max_length) {
  tk_trace(2, "udb_validator::ctor");
}

bool udb_validator::is_acceptable(const std::u16string& name) {
  tk_wtrace(1, u"udb_validator::is_acceptable(%s)", name);
  if (max_length_ > 0 && name.size() > static_cast<size_t>(max_length_)) {
    tk_trace(1, "The name is too long");
    return false;
  }
  for (const std::u16string& restricted : restricted_names_) {
    if (tk_iequal(name, restricted)) {
      tk_trace(1, "The name is restricted");
      return false;
    }
  }
  for (char16_t c : illegal_chars_) {
    if (name.find(c) != std::u16string::npos) {
      tk_wtrace(1, u"The name contains illegal: %c", c);
      return false;
    }
  }
  return true;
}

bool udb_validator::is_duplicated(const std::u16string& name) {
  tk_wtrace(1, u"udb_validator::is_duplicated(%s)", name);
  for (const std::u16string& used : names_in_use_) {
    tk_wtrace(1, u"Processing %s", used);
    if (tk_iequal(used, name)) return true;
  }
  return false;
}

std::u16string udb_validator::get_safe_name(const std::u16string& name) {
  tk_wtrace(1, u"udb_validator::get_safe_name(%s)", name);
  const size_t max = max_length_ > 0 ? static_cast<size_t>(max_length_) : 0;
  std::u16string candidate = name;
  if (max && candidate.size() > max) candidate = cut(candidate, max - 1);
  for (char16_t& c : candidate)
    if (illegal_chars_.find(c) != std::u16string::npos) c = u'_';
  if (is_acceptable(candidate) && !is_duplicated(candidate)) return candidate;

  // Room for the five digits of the counter within the maximum.
  if (max && max > 5 && candidate.size() > max - 5) candidate = cut(candidate, max - 6);
  for (int i = 0; i < 100000; ++i) {
    std::u16string attempt = tk_wformat(u"%s%05d", candidate, i);
    if (is_acceptable(attempt) && !is_duplicated(attempt)) return attempt;
  }
  throw tk_mail_assertion("udb_vali", __LINE__);
}
