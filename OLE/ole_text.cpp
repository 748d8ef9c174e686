#include "ole_text.h"

#include <locale.h>

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace ole_text {

namespace {

// Reads the sign and digits after the white space; returns the magnitude saturated at `limit`.
uint64_t digits(std::string_view text, bool& negative, bool& any) {
  size_t i = 0, n = text.size();
  while (i < n && is_space(text[i])) ++i;
  negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  uint64_t v = 0;
  any = false;
  constexpr uint64_t cap = std::numeric_limits<uint64_t>::max();
  for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
    any = true;
    unsigned d = static_cast<unsigned>(text[i] - '0');
    v = (v > (cap - d) / 10) ? cap : v * 10 + d;
  }
  return v;
}

// The C library's reader in the "C" locale, for what from_chars refuses to answer (overflow,
// underflow): it knows the conventional results.
template <class F>
F c_strto(std::string_view text) {
  static locale_t c_locale = newlocale(LC_ALL_MASK, "C", nullptr);
  std::string copy(text);
  if constexpr (sizeof(F) == sizeof(float))
    return strtof_l(copy.c_str(), nullptr, c_locale);
  else
    return strtod_l(copy.c_str(), nullptr, c_locale);
}

template <class F>
F floating_prefix(std::string_view text) {
  size_t i = 0, n = text.size();
  while (i < n && is_space(text[i])) ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) return 0;
  }
  F v = 0;
  auto r = std::from_chars(text.data() + i, text.data() + n, v);
  if (r.ec == std::errc::invalid_argument) return 0;
  if (r.ec == std::errc::result_out_of_range) {
    v = c_strto<F>(text.substr(i, static_cast<size_t>(r.ptr - (text.data() + i))));
  }
  return negative ? -v : v;
}

}  // namespace

int64_t int_prefix(std::string_view text, int64_t min, int64_t max) {
  bool negative, any;
  uint64_t v = digits(text, negative, any);
  if (!any) return 0;
  if (negative) {
    uint64_t lim = 0 - static_cast<uint64_t>(min);
    return v >= lim ? min : -static_cast<int64_t>(v);
  }
  return v >= static_cast<uint64_t>(max) ? max : static_cast<int64_t>(v);
}

uint64_t uint_prefix(std::string_view text, int bits) {
  bool negative, any;
  uint64_t v = digits(text, negative, any);
  if (!any) return 0;
  uint64_t top = bits >= 64 ? std::numeric_limits<uint64_t>::max() : (uint64_t{1} << bits) - 1;
  if (v > top) return top;
  return negative ? (0 - v) & top : v;
}

double double_prefix(std::string_view text) { return floating_prefix<double>(text); }
float float_prefix(std::string_view text) { return floating_prefix<float>(text); }

bool iequal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string_view comma_to_point(std::string_view text, char* buf, size_t cap, std::string& spill) {
  char* out = buf;
  if (text.size() > cap) {
    spill.assign(text);
    out = spill.data();
  } else {
    std::memcpy(buf, text.data(), text.size());
  }
  for (size_t i = 0; i < text.size(); ++i)
    if (out[i] == ',') out[i] = '.';
  return std::string_view(out, text.size());
}

}  // namespace ole_text
