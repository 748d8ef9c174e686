#include "mss_vers.h"

#include "tk_string.h"

namespace {

bool starts_with(const std::u16string& text, const std::u16string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool is_digit(char16_t c) { return c >= u'0' && c <= u'9'; }

// The major version of "... - 15.0.2000.5 ...", or -1.
int major_version(const std::u16string& text) {
  size_t dash = text.find(u" - ");
  if (dash == std::u16string::npos) return -1;
  size_t i = dash + 3;
  int major = 0;
  size_t digits = 0;
  for (; i < text.size() && is_digit(text[i]) && digits < 4; ++i, ++digits)
    major = major * 10 + (text[i] - u'0');
  if (digits == 0 || i >= text.size() || text[i] != u'.') return -1;
  return major;
}

}  // namespace

int mss_version_code(const std::u16string& text) {
  if (starts_with(text, u"Microsoft SQL Azure") || starts_with(text, u"Microsoft Azure SQL"))
    return mss_version_2012_or_later;
  const std::u16string product = u"Microsoft SQL Server";
  if (text.size() <= product.size() + 10 || !starts_with(text, product)) return mss_version_other;
  std::u16string token = tk_ltrim(tk_rtrim(text.substr(product.size(), 10)));
  if (starts_with(token, u"2008")) return mss_version_2008;
  if (starts_with(token, u"2005")) return mss_version_2005;
  if (starts_with(token, u"200")) return mss_version_2000;
  if (starts_with(token, u"7.")) return mss_version_7;
  // Later servers: by the year of the product name, or by the version number.
  if (token.size() >= 4 && is_digit(token[0]) && is_digit(token[1]) && is_digit(token[2]) &&
      is_digit(token[3]) && (token.size() == 4 || !is_digit(token[4]))) {
    int year = (token[0] - u'0') * 1000 + (token[1] - u'0') * 100 + (token[2] - u'0') * 10 +
               (token[3] - u'0');
    if (year > 2008) return mss_version_2012_or_later;
  }
  if (major_version(text) >= 11) return mss_version_2012_or_later;
  return mss_version_other;
}
