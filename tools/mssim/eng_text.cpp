// UTF-8 <-> UTF-16 conversions used across the engine and by the wire side.
#include "engine.h"

namespace mssim {

std::string to_utf8(const std::u16string& s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string from_utf8(const std::string& s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = s[i];
    uint32_t cp = 0xFFFD;
    size_t n = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0) {
      n = 2;
    } else if ((c & 0xF0) == 0xE0) {
      n = 3;
    } else if ((c & 0xF8) == 0xF0) {
      n = 4;
    }
    if (n > 1) {
      if (i + n > s.size()) {
        n = 1;
      } else {
        uint32_t v = c & (0x3F >> (n - 1));
        bool ok = true;
        for (size_t k = 1; k < n; ++k) {
          unsigned char cc = s[i + k];
          if ((cc & 0xC0) != 0x80) {
            ok = false;
            break;
          }
          v = (v << 6) | (cc & 0x3F);
        }
        static const uint32_t min_for[] = {0, 0, 0x80, 0x800, 0x10000};
        if (ok && v >= min_for[n] && v <= 0x10FFFF && !(v >= 0xD800 && v < 0xE000)) {
          cp = v;
        } else {
          n = 1;
        }
      }
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += char16_t(0xD800 + (cp >> 10));
      out += char16_t(0xDC00 + (cp & 0x3FF));
    } else {
      out += char16_t(cp);
    }
    i += n;
  }
  return out;
}

}  // namespace mssim
