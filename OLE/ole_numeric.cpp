// Exact fixed-point arithmetic for DECIMAL and CY.
//
// Design: every conversion goes through one exact intermediate form, exact_num: a magnitude of
// up to 38 significant decimal digits (it fits 128 bits), a decimal exponent, a sign, and a
// sticky flag for non-zero digits beyond the 38 kept. Text is read into it digit by digit, a
// DECIMAL is one directly (exponent = -scale), a CY too (exponent -4). Going to a target is one
// operation, round_to_exp: the value scaled to a chosen exponent, rounded by the requested
// rule, checked against the target's limit. No step uses floating arithmetic except where a
// double is the input or the output, and there the text form is the bridge.
#include "ole_numeric.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

using u128 = unsigned __int128;

constexpr int max_digits = 38;
constexpr u128 max96 = (static_cast<u128>(1) << 96) - 1;

u128 pow10(int n) {
  u128 r = 1;
  while (n-- > 0) r *= 10;
  return r;
}

struct exact_num {
  u128 digits = 0;
  int exp = 0;
  bool neg = false;
  bool sticky = false;
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

uint32_t parse_number(std::string_view text, exact_num& out) {
  size_t i = 0, n = text.size();
  while (i < n && is_blank(text[i])) ++i;
  exact_num r;
  if (i < n && (text[i] == '+' || text[i] == '-')) r.neg = text[i++] == '-';
  int kept = 0;
  bool any_digit = false, point = false;
  int64_t exp = 0;
  for (; i < n; ++i) {
    char c = text[i];
    if (c == '.') {
      if (point) return ole_e_type_mismatch;
      point = true;
      continue;
    }
    if (c < '0' || c > '9') break;
    any_digit = true;
    if (kept == 0 && c == '0') {
      if (point) --exp;  // leading zeros only move the point
      continue;
    }
    if (kept < max_digits) {
      r.digits = r.digits * 10 + (c - '0');
      ++kept;
      if (point) --exp;
    } else {
      if (c != '0') r.sticky = true;
      if (!point) ++exp;  // an integer digit that was not kept still counts
    }
  }
  if (!any_digit) return ole_e_type_mismatch;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool eneg = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) eneg = text[i++] == '-';
    if (i >= n || text[i] < '0' || text[i] > '9') return ole_e_type_mismatch;
    int64_t e = 0;
    for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i)
      if (e < 100000) e = e * 10 + (text[i] - '0');
    exp += eneg ? -e : e;
  }
  while (i < n && is_blank(text[i])) ++i;
  if (i != n) return ole_e_type_mismatch;
  if (exp > 100000) exp = 100000;
  if (exp < -100000) exp = -100000;
  r.exp = static_cast<int>(exp);
  if (r.digits == 0) r.neg = false;
  out = r;
  return ole_s_ok;
}

// The magnitude of `v` scaled to 10^target, rounded by `mode` (applied to the signed value),
// at most `limit`.
uint32_t round_to_exp(const exact_num& v, int target, ole_numeric::rounding mode, u128 limit,
                      u128& out) {
  if (v.digits == 0 && !v.sticky) {
    out = 0;
    return ole_s_ok;
  }
  if (v.exp >= target) {
    int m = v.exp - target;
    // digits < 10^38; a product beyond 10^38 is beyond every limit used here.
    if (m > max_digits) return ole_e_overflow;
    u128 p = pow10(m);
    if (v.digits > limit / p) return ole_e_overflow;
    u128 r = v.digits * p;
    if (r > limit) return ole_e_overflow;
    out = r;
    return ole_s_ok;
  }
  int k = target - v.exp;
  u128 q, rem, half;
  bool below_half_unit;  // the dropped part is smaller than one unit of the last kept digit
  if (k > max_digits) {  // digits < 10^38: far below half a unit
    q = 0;
    rem = 0;
    half = 1;  // anything non-zero: the dropped part is far below half
    below_half_unit = true;
  } else {
    u128 p = pow10(k);
    q = v.digits / p;
    rem = v.digits % p;
    half = p / 2;
    below_half_unit = false;
  }
  bool up;
  if (below_half_unit) {
    up = false;
  } else if (rem > half) {
    up = true;
  } else if (rem < half) {
    up = false;
  } else if (v.sticky) {
    up = true;  // just above the half
  } else if (mode == ole_numeric::half_even) {
    up = (q & 1) != 0;
  } else {
    up = !v.neg;  // an exact half goes toward +infinity
  }
  if (up) ++q;
  if (q > limit) return ole_e_overflow;
  out = q;
  return ole_s_ok;
}

uint32_t to_decimal(const exact_num& v, DECIMAL& out) {
  int target = v.exp >= 0 ? 0 : std::max(v.exp, -static_cast<int>(ole_decimal_max_scale));
  u128 mag = 0;
  for (;;) {
    uint32_t hr = round_to_exp(v, target, ole_numeric::half_even, max96, mag);
    if (hr == ole_s_ok) break;
    if (target >= 0) return ole_e_overflow;
    ++target;  // one digit of the fraction fewer
  }
  DECIMAL d;
  d.scale = static_cast<uint8_t>(-target);
  d.sign = (v.neg && mag != 0) ? ole_decimal_negative : 0;
  d.hi32 = static_cast<uint32_t>(mag >> 64);
  d.lo64 = static_cast<uint64_t>(mag);
  out = d;
  return ole_s_ok;
}

bool from_decimal(const DECIMAL& d, exact_num& v) {
  if (d.scale > ole_decimal_max_scale) return false;
  v.digits = (static_cast<u128>(d.hi32) << 64) | d.lo64;
  v.exp = -d.scale;
  v.neg = (d.sign & ole_decimal_negative) != 0 && v.digits != 0;
  v.sticky = false;
  return true;
}

exact_num from_cy(const CY& c) {
  exact_num v;
  v.neg = c.value < 0;
  v.digits = v.neg ? static_cast<u128>(-(c.value + 1)) + 1 : static_cast<u128>(c.value);
  v.exp = -4;
  return v;
}

// Signed 64-bit result of a rounded magnitude.
uint32_t to_int64(u128 mag, bool neg, int64_t& out) {
  constexpr u128 max_pos = static_cast<u128>(std::numeric_limits<int64_t>::max());
  if (neg) {
    if (mag > max_pos + 1) return ole_e_overflow;
    out = mag == max_pos + 1 ? std::numeric_limits<int64_t>::min()
                             : -static_cast<int64_t>(static_cast<uint64_t>(mag));
  } else {
    if (mag > max_pos) return ole_e_overflow;
    out = static_cast<int64_t>(static_cast<uint64_t>(mag));
  }
  return ole_s_ok;
}

uint32_t round_signed(const exact_num& v, int target, ole_numeric::rounding mode, int64_t& out) {
  u128 mag;
  uint32_t hr = round_to_exp(v, target, mode, static_cast<u128>(1) << 64, mag);
  if (hr != ole_s_ok) return hr;
  return to_int64(mag, v.neg, out);
}

size_t write_u128(u128 v, char* out) {
  char buf[48];
  size_t n = 0;
  do {
    buf[n++] = static_cast<char>('0' + static_cast<int>(v % 10));
    v /= 10;
  } while (v != 0);
  for (size_t i = 0; i < n; ++i) out[i] = buf[n - 1 - i];
  return n;
}

// sign, the digits of `mag` with a point `scale` digits from the right.
size_t write_fixed(u128 mag, bool neg, int scale, char* out) {
  char digits[48];
  size_t nd = write_u128(mag, digits);
  size_t n = 0;
  if (neg) out[n++] = '-';
  if (scale == 0) {
    std::memcpy(out + n, digits, nd);
    return n + nd;
  }
  size_t s = static_cast<size_t>(scale);
  if (nd <= s) {
    out[n++] = '0';
    out[n++] = '.';
    for (size_t i = nd; i < s; ++i) out[n++] = '0';
    std::memcpy(out + n, digits, nd);
    return n + nd;
  }
  std::memcpy(out + n, digits, nd - s);
  n += nd - s;
  out[n++] = '.';
  std::memcpy(out + n, digits + nd - s, s);
  return n + s;
}

// The texts written here are plain fixed-point numbers; from_chars reads them correctly rounded.
double parse_double_exact(const char* text, size_t n) {
  double d = 0;
  std::from_chars(text, text + n, d);
  return d;
}

}  // namespace

uint32_t ole_numeric::dec_from_text(std::string_view text, DECIMAL& out) {
  exact_num v;
  uint32_t hr = parse_number(text, v);
  if (hr != ole_s_ok) return hr;
  return to_decimal(v, out);
}

size_t ole_numeric::dec_to_text(const DECIMAL& value, char* out) {
  exact_num v;
  if (!from_decimal(value, v)) return 0;
  return write_fixed(v.digits, v.neg, value.scale, out);
}

uint32_t ole_numeric::dec_from_int64(int64_t value, DECIMAL& out) {
  DECIMAL d;
  uint64_t mag = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  d.lo64 = mag;
  d.sign = value < 0 ? ole_decimal_negative : 0;
  out = d;
  return ole_s_ok;
}

uint32_t ole_numeric::dec_from_uint64(uint64_t value, DECIMAL& out) {
  DECIMAL d;
  d.lo64 = value;
  out = d;
  return ole_s_ok;
}

uint32_t ole_numeric::dec_from_double(double value, int digits, DECIMAL& out) {
  if (!std::isfinite(value)) return ole_e_overflow;
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, digits);
  exact_num v;
  uint32_t hr = parse_number(std::string_view(buf, r.ptr - buf), v);
  if (hr != ole_s_ok) return hr;
  return to_decimal(v, out);
}

uint32_t ole_numeric::dec_to_double(const DECIMAL& value, double& out) {
  static constexpr double exact_pow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                           1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                           1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (value.scale > ole_decimal_max_scale) return ole_e_type_mismatch;
  bool neg = (value.sign & ole_decimal_negative) != 0;
  if (value.hi32 == 0 && value.lo64 < (1ull << 53) && value.scale <= 22) {
    // Both operands are exact doubles, so one division rounds correctly.
    double d = static_cast<double>(value.lo64) / exact_pow10[value.scale];
    out = neg ? -d : d;
    return ole_s_ok;
  }
  char buf[ole_numeric_text_max];
  size_t n = dec_to_text(value, buf);
  out = parse_double_exact(buf, n);
  return ole_s_ok;
}

uint32_t ole_numeric::dec_to_int64(const DECIMAL& value, rounding mode, int64_t& out) {
  exact_num v;
  if (!from_decimal(value, v)) return ole_e_type_mismatch;
  return round_signed(v, 0, mode, out);
}

uint32_t ole_numeric::dec_to_uint64(const DECIMAL& value, rounding mode, uint64_t& out) {
  exact_num v;
  if (!from_decimal(value, v)) return ole_e_type_mismatch;
  u128 mag;
  uint32_t hr = round_to_exp(v, 0, mode, std::numeric_limits<uint64_t>::max(), mag);
  if (hr != ole_s_ok) return hr;
  if (v.neg && mag != 0) return ole_e_overflow;
  out = static_cast<uint64_t>(mag);
  return ole_s_ok;
}

uint32_t ole_numeric::dec_from_cy(const CY& value, DECIMAL& out) {
  return to_decimal(from_cy(value), out);
}

uint32_t ole_numeric::dec_to_cy(const DECIMAL& value, CY& out) {
  exact_num v;
  if (!from_decimal(value, v)) return ole_e_type_mismatch;
  int64_t r;
  uint32_t hr = round_signed(v, -4, half_even, r);
  if (hr != ole_s_ok) return hr;
  out.value = r;
  return ole_s_ok;
}

uint32_t ole_numeric::cy_from_text(std::string_view text, CY& out) {
  exact_num v;
  uint32_t hr = parse_number(text, v);
  if (hr != ole_s_ok) return hr;
  int64_t r;
  hr = round_signed(v, -4, half_even, r);
  if (hr != ole_s_ok) return hr;
  out.value = r;
  return ole_s_ok;
}

size_t ole_numeric::cy_to_text(const CY& value, char* out) {
  exact_num v = from_cy(value);
  int scale = 4;
  while (scale > 0 && v.digits % 10 == 0) {
    v.digits /= 10;
    --scale;
  }
  return write_fixed(v.digits, v.neg, scale, out);
}

uint32_t ole_numeric::cy_from_int64(int64_t value, CY& out) {
  constexpr int64_t lim = std::numeric_limits<int64_t>::max() / 10000;
  if (value > lim || value < -lim) return ole_e_overflow;
  out.value = value * 10000;
  return ole_s_ok;
}

uint32_t ole_numeric::cy_from_uint64(uint64_t value, CY& out) {
  if (value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max() / 10000))
    return ole_e_overflow;
  out.value = static_cast<int64_t>(value) * 10000;
  return ole_s_ok;
}

uint32_t ole_numeric::cy_from_double(double value, CY& out) {
  if (!std::isfinite(value)) return ole_e_overflow;
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  exact_num v;
  uint32_t hr = parse_number(std::string_view(buf, r.ptr - buf), v);
  if (hr != ole_s_ok) return hr;
  int64_t c;
  hr = round_signed(v, -4, half_even, c);
  if (hr != ole_s_ok) return hr;
  out.value = c;
  return ole_s_ok;
}

double ole_numeric::cy_to_double(const CY& value) {
  constexpr int64_t exact = int64_t{1} << 53;
  if (value.value < exact && value.value > -exact) return static_cast<double>(value.value) / 1e4;
  char buf[ole_numeric_text_max];
  size_t n = cy_to_text(value, buf);
  return parse_double_exact(buf, n);
}

uint32_t ole_numeric::cy_to_int64(const CY& value, rounding mode, int64_t& out) {
  return round_signed(from_cy(value), 0, mode, out);
}
