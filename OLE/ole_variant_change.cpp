// Type changes in place: the rules of change_type (numbered as in ole_variant.h) and the general
// conversion between numbers, booleans, currency, decimals and text that rule 7 and from_string
// share. Every change is computed into a new value first and only then replaces the old one, so
// a refused change leaves the value as it was.
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "ole_date.h"
#include "ole_numeric.h"
#include "ole_text.h"
#include "ole_variant.h"
#include "ole_variant_ops.h"
#include "tk_log.h"
#include "tk_string.h"

static_assert(std::endian::native == std::endian::little,
              "byte arrays of numbers are defined in little-endian order");

namespace {

using i128 = __int128;

bool is_integer_tag(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
      return true;
    default:
      return false;
  }
}

bool is_unsigned_tag(VARTYPE vt) {
  return vt == VT_UI1 || vt == VT_UI2 || vt == VT_UI4 || vt == VT_UINT || vt == VT_UI8;
}

void range_of(VARTYPE vt, i128& lo, i128& hi) {
  switch (vt) {
    case VT_I1:
      lo = -128, hi = 127;
      break;
    case VT_I2:
      lo = -32768, hi = 32767;
      break;
    case VT_I4:
    case VT_INT:
      lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
      break;
    case VT_UI1:
      lo = 0, hi = 255;
      break;
    case VT_UI2:
      lo = 0, hi = 65535;
      break;
    case VT_UI4:
    case VT_UINT:
      lo = 0, hi = std::numeric_limits<uint32_t>::max();
      break;
    case VT_I8:
      lo = std::numeric_limits<int64_t>::min(), hi = std::numeric_limits<int64_t>::max();
      break;
    default:  // VT_UI8
      lo = 0, hi = std::numeric_limits<uint64_t>::max();
      break;
  }
}

ole_variant integer_value(VARTYPE vt, i128 v) {
  switch (vt) {
    case VT_I1:
      return ole_variant(static_cast<signed char>(v));
    case VT_I2:
      return ole_variant(static_cast<short>(v));
    case VT_I4:
      return ole_variant(static_cast<int>(v));
    case VT_UI1:
      return ole_variant(static_cast<unsigned char>(v));
    case VT_UI2:
      return ole_variant(static_cast<unsigned short>(v));
    case VT_UI4:
      return ole_variant(static_cast<unsigned int>(v));
    case VT_I8:
      return ole_variant(static_cast<long long>(v));
    case VT_UI8:
      return ole_variant(static_cast<unsigned long long>(v));
    case VT_INT:
      return ole_variant(static_cast<int>(v));  // tagged VT_INT by the caller
    default:                                    // VT_UINT, tagged by the caller
      return ole_variant(static_cast<unsigned int>(v));
  }
}

// The text of a VT_BSTR as ASCII in `buf`; false when it holds anything else (no number or
// boolean word has other characters).
bool ascii_text(const std::u16string& text, char* buf, size_t cap, std::string_view& out) {
  size_t n = text.find(u'\0');
  if (n == std::u16string::npos) n = text.size();
  if (n > cap) return false;
  for (size_t i = 0; i < n; ++i) {
    if (text[i] >= 0x80) return false;
    buf[i] = static_cast<char>(text[i]);
  }
  out = std::string_view(buf, n);
  return true;
}

std::string_view trim_blanks(std::string_view t) {
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
  return t;
}

// A whole number text in English rules: sign, digits with at most one point, an optional
// exponent. Gives the core without blanks and without a leading "+", ready for from_chars.
bool number_core(std::string_view text, std::string_view& core) {
  std::string_view t = trim_blanks(text);
  if (!t.empty() && t.front() == '+') t.remove_prefix(1);
  size_t i = 0, n = t.size();
  if (i < n && t[i] == '-') ++i;
  bool digit = false, point = false;
  for (; i < n; ++i) {
    if (t[i] >= '0' && t[i] <= '9')
      digit = true;
    else if (t[i] == '.' && !point)
      point = true;
    else
      break;
  }
  if (!digit) return false;
  if (i < n && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
    if (i >= n || t[i] < '0' || t[i] > '9') return false;
    while (i < n && t[i] >= '0' && t[i] <= '9') ++i;
  }
  if (i != n) return false;
  core = t;
  return true;
}

template <class F>
uint32_t text_to_floating(std::string_view text, F& out) {
  std::string_view core;
  if (!number_core(text, core)) return ole_e_type_mismatch;
  F v = 0;
  auto r = std::from_chars(core.data(), core.data() + core.size(), v);
  if (r.ec == std::errc::result_out_of_range) {
    // from_chars also refuses underflow; a tiny number is a zero, not an error.
    DECIMAL probe;
    if (ole_numeric::dec_from_text(core, probe) == ole_s_ok) {
      out = 0;
      return ole_s_ok;
    }
    return ole_e_overflow;
  }
  if (r.ec != std::errc() || r.ptr != core.data() + core.size()) return ole_e_type_mismatch;
  out = v;
  return ole_s_ok;
}

// What a source value is, for the general conversion.
struct source_value {
  enum kind_t { sint, uint, real, boolean, currency, decimal, text, none } kind = none;
  int64_t s = 0;
  uint64_t u = 0;
  double d = 0;
  bool single = false;  // a VT_R4
  bool b = false;
  CY cy;
  DECIMAL dec;
  std::string_view str;
  bool text_ok = false;  // the text was ASCII
};

}  // namespace

// ---- the general conversion ------------------------------------------------------------------

int ole_variant_ops::general_text(const ole_variant& v, char* out) {
  switch (v.vt_) {
    case VT_BOOL:
      std::memcpy(out, v.content_.b == VARIANT_TRUE ? "-1" : "0", 3);
      return v.content_.b == VARIANT_TRUE ? 2 : 1;
    case VT_R4:
    case VT_R8: {
      double d = v.vt_ == VT_R4 ? v.content_.r4 : v.content_.r8;
      char* end =
          std::to_chars(out, out + 63, d, std::chars_format::general, v.vt_ == VT_R4 ? 7 : 15).ptr;
      for (char* p = out; p != end; ++p)
        if (*p == 'e') *p = 'E';
      return static_cast<int>(end - out);
    }
    case VT_DATE:
      return -1;
    default:
      return v.format_short(out);
  }
}

uint32_t ole_variant_ops::general_change(ole_variant& v, VARTYPE vt) {
  if (vt == v.vt_) return ole_s_ok;
  if (vt == VT_EMPTY) {
    v.release();
    return ole_s_ok;
  }
  source_value src;
  char text_buf[256];
  switch (v.vt_) {
    case VT_I1:
      src.kind = source_value::sint, src.s = v.content_.i1;
      break;
    case VT_I2:
      src.kind = source_value::sint, src.s = v.content_.i2;
      break;
    case VT_I4:
    case VT_INT:
      src.kind = source_value::sint, src.s = v.content_.i4;
      break;
    case VT_I8:
      src.kind = source_value::sint, src.s = v.i8_;
      break;
    case VT_UI1:
      src.kind = source_value::uint, src.u = v.content_.ui1;
      break;
    case VT_UI2:
      src.kind = source_value::uint, src.u = v.content_.ui2;
      break;
    case VT_UI4:
    case VT_UINT:
      src.kind = source_value::uint, src.u = v.content_.ui4;
      break;
    case VT_UI8:
      src.kind = source_value::uint, src.u = v.ui8_;
      break;
    case VT_R4:
      src.kind = source_value::real, src.d = v.content_.r4, src.single = true;
      break;
    case VT_R8:
      src.kind = source_value::real, src.d = v.content_.r8;
      break;
    case VT_BOOL:
      src.kind = source_value::boolean, src.b = v.content_.b != VARIANT_FALSE;
      break;
    case VT_CY:
      src.kind = source_value::currency, src.cy = v.content_.cy;
      break;
    case VT_DECIMAL:
      src.kind = source_value::decimal, src.dec = v.content_.dec;
      break;
    case VT_BSTR:
      src.kind = source_value::text;
      src.text_ok = ascii_text(v.bstr_, text_buf, sizeof text_buf, src.str);
      break;
    default:
      return ole_e_type_mismatch;
  }
  if (src.kind == source_value::text && !src.text_ok && vt != VT_BSTR) return ole_e_type_mismatch;

  ole_variant result;
  uint32_t hr = ole_s_ok;
  if (is_integer_tag(vt)) {
    i128 x = 0;
    switch (src.kind) {
      case source_value::sint:
        x = src.s;
        break;
      case source_value::uint:
        x = src.u;
        break;
      case source_value::boolean: {
        // true is all bits set, whatever the width
        i128 lo, hi;
        range_of(vt, lo, hi);
        x = src.b ? (is_unsigned_tag(vt) ? hi : -1) : 0;
        break;
      }
      case source_value::real: {
        double r = std::nearbyint(src.d);  // to nearest, ties to even
        if (!(r >= -9.3e18 && r <= 1.85e19)) return ole_e_overflow;
        x = static_cast<i128>(r);
        break;
      }
      case source_value::currency: {
        int64_t i;
        hr = ole_numeric::cy_to_int64(src.cy, ole_numeric::half_even, i);
        x = i;
        break;
      }
      case source_value::decimal:
      case source_value::text: {
        DECIMAL d = src.dec;
        if (src.kind == source_value::text) hr = ole_numeric::dec_from_text(src.str, d);
        if (hr == ole_s_ok) {
          int64_t i;
          uint64_t u;
          hr = ole_numeric::dec_to_int64(d, ole_numeric::half_even, i);
          x = i;
          if (hr == ole_e_overflow &&
              ole_numeric::dec_to_uint64(d, ole_numeric::half_even, u) == ole_s_ok) {
            hr = ole_s_ok;
            x = u;
          }
        }
        break;
      }
      default:
        return ole_e_type_mismatch;
    }
    if (hr != ole_s_ok) return hr;
    i128 lo, hi;
    range_of(vt, lo, hi);
    if (x < lo || x > hi) return ole_e_overflow;
    result = integer_value(vt, x);
    if (vt == VT_INT || vt == VT_UINT) result.vt_ = vt;
  } else {
    switch (vt) {
      case VT_R8:
      case VT_R4: {
        double d = 0;
        switch (src.kind) {
          case source_value::sint:
            d = static_cast<double>(src.s);
            break;
          case source_value::uint:
            d = static_cast<double>(src.u);
            break;
          case source_value::boolean:
            d = src.b ? -1 : 0;
            break;
          case source_value::real:
            d = src.d;
            break;
          case source_value::currency:
            d = ole_numeric::cy_to_double(src.cy);
            break;
          case source_value::decimal:
            hr = ole_numeric::dec_to_double(src.dec, d);
            break;
          case source_value::text:
            if (vt == VT_R4) {
              float f = 0;
              hr = text_to_floating(src.str, f);
              d = f;
            } else {
              hr = text_to_floating(src.str, d);
            }
            break;
          default:
            return ole_e_type_mismatch;
        }
        if (hr != ole_s_ok) return hr;
        if (vt == VT_R8) {
          result = ole_variant(d);
        } else {
          if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max())
            return ole_e_overflow;
          result = ole_variant(static_cast<float>(d));
        }
        break;
      }
      case VT_BOOL: {
        bool b = false;
        switch (src.kind) {
          case source_value::sint:
            b = src.s != 0;
            break;
          case source_value::uint:
            b = src.u != 0;
            break;
          case source_value::real:
            b = src.d != 0;
            break;
          case source_value::currency:
            b = src.cy.value != 0;
            break;
          case source_value::decimal:
            b = !ole_numeric::dec_is_zero(src.dec);
            break;
          case source_value::text: {
            std::string_view t = trim_blanks(src.str);
            if (ole_text::iequal(t, "true")) {
              b = true;
            } else if (ole_text::iequal(t, "false")) {
              b = false;
            } else {
              double d = 0;
              hr = text_to_floating(t, d);
              b = d != 0;
            }
            break;
          }
          default:
            return ole_e_type_mismatch;
        }
        if (hr != ole_s_ok) return hr;
        result = ole_variant(b);
        break;
      }
      case VT_CY: {
        CY cy;
        switch (src.kind) {
          case source_value::sint:
            hr = ole_numeric::cy_from_int64(src.s, cy);
            break;
          case source_value::uint:
            hr = ole_numeric::cy_from_uint64(src.u, cy);
            break;
          case source_value::boolean:
            cy.value = src.b ? -10000 : 0;
            break;
          case source_value::real:
            if (src.single) {
              DECIMAL d;
              hr = ole_numeric::dec_from_double(src.d, 7, d);
              if (hr == ole_s_ok) hr = ole_numeric::dec_to_cy(d, cy);
            } else {
              hr = ole_numeric::cy_from_double(src.d, cy);
            }
            break;
          case source_value::decimal:
            hr = ole_numeric::dec_to_cy(src.dec, cy);
            break;
          case source_value::text:
            hr = ole_numeric::cy_from_text(src.str, cy);
            break;
          default:
            return ole_e_type_mismatch;
        }
        if (hr != ole_s_ok) return hr;
        result = ole_variant(cy);
        break;
      }
      case VT_DECIMAL: {
        DECIMAL dec;
        switch (src.kind) {
          case source_value::sint:
            hr = ole_numeric::dec_from_int64(src.s, dec);
            break;
          case source_value::uint:
            hr = ole_numeric::dec_from_uint64(src.u, dec);
            break;
          case source_value::boolean:
            hr = ole_numeric::dec_from_int64(src.b ? -1 : 0, dec);
            break;
          case source_value::real:
            hr = ole_numeric::dec_from_double(src.d, src.single ? 7 : 15, dec);
            break;
          case source_value::currency:
            hr = ole_numeric::dec_from_cy(src.cy, dec);
            break;
          case source_value::text:
            hr = ole_numeric::dec_from_text(src.str, dec);
            break;
          default:
            return ole_e_type_mismatch;
        }
        if (hr != ole_s_ok) return hr;
        result = ole_variant(dec);
        break;
      }
      case VT_BSTR: {
        char buf[64];
        int n = general_text(v, buf);
        if (n < 0) return ole_e_type_mismatch;
        std::u16string wide(buf, buf + n);
        result = ole_variant(std::move(wide));
        break;
      }
      default:
        return ole_e_type_mismatch;
    }
  }
  v = std::move(result);
  return ole_s_ok;
}

// ---- change_type -----------------------------------------------------------------------------

namespace {

uint32_t to_64(const ole_variant& v, VARTYPE vt, ole_variant& out);

}  // namespace

void ole_variant::change_type(VARTYPE vt) {
  tk_trace(1, "ole_variant::change_type(old=%d,new=%d)", vt_, vt);
  // 1.
  if (vt == vt_ || vt_ == VT_EMPTY || vt_ == VT_NULL || (is_blob_type(vt_) && is_blob_type(vt)))
    return;
  uint32_t hr = ole_s_ok;
  if (is_blob_type(vt)) {
    // 6. (before 2 and 3, which would refuse the 64-bit slots and dates this rule lists)
    const void* from = &content_;
    size_t n = 0;
    std::string utf8;
    switch (vt_) {
      case VT_I1:
      case VT_UI1:
        n = 1;
        break;
      case VT_I2:
      case VT_BOOL:
      case VT_UI2:
        n = 2;
        break;
      case VT_I4:
      case VT_R4:
      case VT_UI4:
      case VT_INT:
      case VT_UINT:
        n = 4;
        break;
      case VT_R8:
      case VT_CY:
        n = 8;
        break;
      case VT_I8:
        from = &i8_, n = 8;
        break;
      case VT_UI8:
        from = &ui8_, n = 8;
        break;
      case VT_DATE:
        from = &st_, n = sizeof st_;
        break;
      case VT_DECIMAL:
        n = sizeof(DECIMAL);
        break;
      case VT_BSTR:
        utf8 = tk_wide_to_utf8(bstr_);
        from = utf8.data(), n = utf8.size();
        break;
      default:
        hr = ole_e_type_mismatch;
        break;
    }
    if (hr == ole_s_ok) {
      std::vector<uint8_t> bytes(static_cast<const uint8_t*>(from),
                                 static_cast<const uint8_t*>(from) + n);
      attach_binary(std::move(bytes));
      return;
    }
  } else if (vt_ == VT_I8 || vt_ == VT_UI8) {
    // 2.
    if (is_integer_tag(vt) || vt == VT_BOOL || vt == VT_R4 || vt == VT_R8 || vt == VT_CY ||
        vt == VT_DECIMAL || vt == VT_BSTR)
      hr = ole_variant_ops::general_change(*this, vt);
    else
      hr = ole_e_type_mismatch;
  } else if (vt_ == VT_DATE) {
    // 3.
    if (vt == VT_BSTR) {
      *this = ole_variant(ole_date(st_).to_wstring());
      return;
    }
    hr = ole_e_type_mismatch;
  } else if (vt == VT_I8 || vt == VT_UI8) {
    // 4.
    ole_variant out;
    hr = to_64(*this, vt, out);
    if (hr == ole_s_ok) {
      *this = std::move(out);
      return;
    }
  } else if (vt == VT_DATE) {
    // 5.
    if (vt_ == VT_BSTR && bstr_.size() == 19) {
      ole_variant out = from_wstring(bstr_, VT_DATE);
      *this = std::move(out);
      return;
    }
    hr = ole_e_type_mismatch;
  } else {
    // 7.
    hr = ole_variant_ops::general_change(*this, vt);
  }
  if (hr != ole_s_ok) {
    tk_trace(1, "change_type refused, hr=%08X", hr);
    throw ole_cast_exception();
  }
}

namespace {

// Rule 4: the 64-bit integer tags from every other number.
uint32_t to_64(const ole_variant& v, VARTYPE vt, ole_variant& out) {
  bool want_unsigned = vt == VT_UI8;
  int64_t s = 0;
  switch (v.get_type()) {
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_INT:
      s = v.to_long();
      if (want_unsigned && s < 0) return ole_e_overflow;
      break;
    case VT_BOOL:
      // true is all bits set, also as an unsigned number
      s = v.to_long();
      break;
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UINT:
      s = static_cast<uint32_t>(v.to_long());
      break;
    case VT_R4:
    case VT_R8: {
      double t = std::trunc(v.to_double());
      if (want_unsigned) {
        if (!(t >= 0 && t < 18446744073709551616.0)) return ole_e_overflow;
        out = ole_variant(static_cast<unsigned long long>(t));
        return ole_s_ok;
      }
      if (!(t >= -9223372036854775808.0 && t < 9223372036854775808.0)) return ole_e_overflow;
      s = static_cast<int64_t>(t);
      break;
    }
    case VT_CY: {
      uint32_t hr = ole_numeric::cy_to_int64(v.get_cy(), ole_numeric::half_up, s);
      if (hr != ole_s_ok) return hr;
      if (want_unsigned && s < 0) return ole_e_overflow;
      break;
    }
    case VT_DECIMAL: {
      if (want_unsigned) {
        uint64_t u;
        uint32_t hr = ole_numeric::dec_to_uint64(v.get_decimal(), ole_numeric::half_up, u);
        if (hr != ole_s_ok) return hr;
        out = ole_variant(static_cast<unsigned long long>(u));
        return ole_s_ok;
      }
      uint32_t hr = ole_numeric::dec_to_int64(v.get_decimal(), ole_numeric::half_up, s);
      if (hr != ole_s_ok) return hr;
      break;
    }
    default:
      return ole_e_type_mismatch;
  }
  if (want_unsigned)
    out = ole_variant(static_cast<unsigned long long>(s));
  else
    out = ole_variant(static_cast<long long>(s));
  return ole_s_ok;
}

}  // namespace
