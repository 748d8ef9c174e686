// Case folding uses ICU's simple case folding, so names in any script compare as they would
// under a case-insensitive collation.
#include "eng_util.h"

#include <unicode/uchar.h>

#include "engine.h"

namespace mssim {

std::u16string fold(std::u16string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c < 0x80) {
      out += (c >= 'A' && c <= 'Z') ? char16_t(c + 32) : c;
      continue;
    }
    UChar32 cp = c;
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      cp = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    }
    UChar32 f = u_foldCase(cp, U_FOLD_CASE_DEFAULT);
    if (f >= 0x10000) {
      f -= 0x10000;
      out += char16_t(0xD800 + (f >> 10));
      out += char16_t(0xDC00 + (f & 0x3FF));
    } else {
      out += char16_t(f);
    }
  }
  return out;
}

bool ieq(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x == y) continue;
    if (x < 0x80 && y < 0x80) {
      if (x >= 'A' && x <= 'Z') x += 32;
      if (y >= 'A' && y <= 'Z') y += 32;
      if (x != y) return false;
      continue;
    }
    return fold(a) == fold(b);
  }
  return true;
}

bool ieq_ascii(std::u16string_view a, const char* b) {
  size_t i = 0;
  for (; b[i]; ++i) {
    if (i >= a.size()) return false;
    char16_t x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x += 32;
    if (y >= 'A' && y <= 'Z') y += 32;
    if (x != char16_t(y)) return false;
  }
  return i == a.size();
}

std::u16string upper(std::u16string_view s) {
  std::u16string out(s);
  for (auto& c : out) c = char16_t(u_toupper(c));
  return out;
}

std::u16string lower(std::u16string_view s) {
  std::u16string out(s);
  for (auto& c : out) c = char16_t(u_tolower(c));
  return out;
}

std::u16string u16(std::string_view ascii) { return from_utf8(std::string(ascii)); }

std::u16string num(int64_t v) { return u16(std::to_string(v)); }

std::u16string rtrim_spaces(std::u16string_view s) {
  size_t n = s.size();
  while (n > 0 && s[n - 1] == u' ') --n;
  return std::u16string(s.substr(0, n));
}

std::u16string bracket(std::u16string_view name) {
  std::u16string out = u"[";
  for (char16_t c : name) {
    out += c;
    if (c == u']') out += u']';
  }
  out += u']';
  return out;
}

}  // namespace mssim
