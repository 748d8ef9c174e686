// The GUID scanner of the SQL-literal writers.
#include "ole_variant.h"
#include "tk_log.h"
#include "tk_string.h"

namespace {

constexpr size_t min_text = 45;
constexpr size_t guid_length = 38;  // {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}

bool is_hex(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// A braced GUID starts at `at`.
bool is_braced_guid(const std::u16string& text, size_t at) {
  if (text.size() - at < guid_length) return false;
  for (size_t i = 0; i < guid_length; ++i) {
    char16_t c = text[at + i];
    bool ok;
    if (i == 0)
      ok = c == u'{';
    else if (i == guid_length - 1)
      ok = c == u'}';
    else if (i == 9 || i == 14 || i == 19 || i == 24)
      ok = c == u'-';
    else
      ok = is_hex(c);
    if (!ok) return false;
  }
  return true;
}

}  // namespace

ole_guid_extractor::ole_guid_extractor(const std::string& text) : text_(tk_ansi_to_wide(text)) {
  tk_trace(1, "ole_guid_extractor::ole_guid_extractor");
  scan();
}

ole_guid_extractor::ole_guid_extractor(const std::u16string& text) : text_(text) {
  tk_trace(1, "ole_guid_extractor::ole_guid_extractor");
  scan();
}

void ole_guid_extractor::scan() {
  if (text_.size() < min_text) return;
  size_t word = text_.find(u"guid");
  if (word == std::u16string::npos) word = text_.find(u"GUID");
  if (word == std::u16string::npos) return;
  size_t brace = text_.find(u'{', word + 4);
  // Only a well-formed GUID counts: the writers put the found text in place of the whole value.
  if (brace == std::u16string::npos || !is_braced_guid(text_, brace)) return;
  position_ = static_cast<int>(brace);
  found_ = true;
  tk_trace(1, "Locating 'guid' (%d : %d)", static_cast<int>(word), position_);
}

std::u16string ole_guid_extractor::get_guid() const {
  if (!found_) return {};
  return text_.substr(static_cast<size_t>(position_), guid_length);
}

std::u16string ole_guid_extractor::get_guid_digits() const {
  if (!found_) return {};
  size_t at = static_cast<size_t>(position_);
  std::u16string digits;
  digits.reserve(32);
  digits += text_.substr(at + 1, 8);
  digits += text_.substr(at + 10, 4);
  digits += text_.substr(at + 15, 4);
  digits += text_.substr(at + 20, 4);
  digits += text_.substr(at + 25, 12);
  return digits;
}

void ole_guid_extractor::get_guid_digits(std::string& digits) const {
  digits = tk_wide_to_narrow(get_guid_digits());
}
