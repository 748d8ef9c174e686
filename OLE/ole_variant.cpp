// The value type: construction, ownership, readings, text forms, byte arrays and values from
// text. The type changes are in ole_variant_change.cpp.
#include "ole_variant.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "ole_date.h"
#include "ole_numeric.h"
#include "ole_text.h"
#include "ole_variant_ops.h"
#include "tk_log.h"
#include "tk_string.h"

namespace {

constexpr const char* source = "ole_var";
constexpr size_t max_printed_bytes = 10000000;

template <class T>
int put_int(char* out, T v) {
  return static_cast<int>(std::to_chars(out, out + 24, v).ptr - out);
}

constexpr char hex_digits[] = "0123456789ABCDEF";

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool is_ascii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

template <class S>
void widen_ascii(std::string_view text, S& out) {
  out.resize(text.size());
  for (size_t i = 0; i < text.size(); ++i) out[i] = static_cast<unsigned char>(text[i]);
}

}  // namespace

ole_type_exception::ole_type_exception()
    : tk_exception("The operating type is not supported yet", 1) {}

ole_cast_exception::ole_cast_exception()
    : tk_exception("Cannot cast from source type to destination type", 1) {}

// ---- construction and ownership --------------------------------------------------------------

ole_variant::ole_variant() { tk_trace(1, "ole_variant::ole_variant()"); }

ole_variant::ole_variant(bool value) : vt_(VT_BOOL) {
  tk_trace(1, "ole_variant::ole_variant(bool)");
  content_.b = value ? VARIANT_TRUE : VARIANT_FALSE;
}

ole_variant::ole_variant(char value) : vt_(VT_I1) {
  tk_trace(1, "ole_variant::ole_variant(char)");
  content_.i1 = static_cast<int8_t>(value);
}

ole_variant::ole_variant(signed char value) : vt_(VT_I1) {
  tk_trace(1, "ole_variant::ole_variant(char)");
  content_.i1 = value;
}

ole_variant::ole_variant(unsigned char value) : vt_(VT_UI1) {
  tk_trace(1, "ole_variant::ole_variant(unsigned char)");
  content_.ui1 = value;
}

ole_variant::ole_variant(short value) : vt_(VT_I2) {
  tk_trace(1, "ole_variant::ole_variant(short)");
  content_.i2 = value;
}

ole_variant::ole_variant(unsigned short value) : vt_(VT_UI2) {
  tk_trace(1, "ole_variant::ole_variant(unsigned short)");
  content_.ui2 = value;
}

ole_variant::ole_variant(int value) : vt_(VT_I4) {
  tk_trace(1, "ole_variant::ole_variant(int)");
  content_.i4 = value;
}

ole_variant::ole_variant(unsigned int value) : vt_(VT_UI4) {
  tk_trace(1, "ole_variant::ole_variant(unsigned int)");
  content_.ui4 = value;
}

ole_variant::ole_variant(long value) : i8_(value), vt_(VT_I8) {
  tk_trace(1, "ole_variant::ole_variant(int64)");
}

ole_variant::ole_variant(unsigned long value) : ui8_(value), vt_(VT_UI8) {
  tk_trace(1, "ole_variant::ole_variant(uint64)");
}

ole_variant::ole_variant(long long value) : i8_(value), vt_(VT_I8) {
  tk_trace(1, "ole_variant::ole_variant(int64)");
}

ole_variant::ole_variant(unsigned long long value) : ui8_(value), vt_(VT_UI8) {
  tk_trace(1, "ole_variant::ole_variant(uint64)");
}

ole_variant::ole_variant(float value) : vt_(VT_R4) {
  tk_trace(1, "ole_variant::ole_variant(float)");
  content_.r4 = value;
}

ole_variant::ole_variant(double value) : vt_(VT_R8) {
  tk_trace(1, "ole_variant::ole_variant(double)");
  content_.r8 = value;
}

ole_variant::ole_variant(const CY& value) : vt_(VT_CY) {
  tk_trace(1, "ole_variant::ole_variant(CY)");
  content_.cy = value;
}

ole_variant::ole_variant(const DECIMAL& value) : vt_(VT_DECIMAL) {
  tk_trace(1, "ole_variant::ole_variant(DECIMAL)");
  content_.dec = value;
}

ole_variant::ole_variant(const SYSTEMTIME& value) : st_(value), vt_(VT_DATE) {
  tk_trace(1, "ole_variant::ole_variant(SYSTEMTIME)");
  double number = 0;
  has_date_number_ = ole_date::system_time_to_date_number(st_, number);
  if (has_date_number_)
    content_.date = number;
  else
    tk_trace(2, "Failed to convert SYSTEMTIME->VARIANT");
}

ole_variant::ole_variant(const char16_t* text) : vt_(VT_BSTR) {
  tk_trace(1, "ole_variant::ole_variant(const char16_t*)");
  if (text) bstr_.assign(text);
}

ole_variant::ole_variant(const char* text) {
  tk_trace(1, "ole_variant::ole_variant(const char*)");
  attach_string(text ? std::string_view(text) : std::string_view());
}

ole_variant::ole_variant(const std::string& text) {
  tk_trace(1, "ole_variant::ole_variant(string)");
  attach_string(text);
}

ole_variant::ole_variant(const std::u16string& text) {
  tk_trace(1, "ole_variant::ole_variant(u16string)");
  attach_wstring(text);
}

ole_variant::ole_variant(std::u16string&& text) {
  tk_trace(1, "ole_variant::ole_variant(u16string)");
  attach_wstring(std::move(text));
}

ole_variant::ole_variant(size_t count, const uint8_t* data) {
  tk_trace(1, "ole_variant::ole_variant(size_t, const uint8_t*)");
  attach_binary(count, data);
}

ole_variant::ole_variant(const std::vector<uint8_t>& bytes) {
  tk_trace(1, "ole_variant::ole_variant(bytes)");
  attach_binary(bytes);
}

ole_variant::ole_variant(std::vector<uint8_t>&& bytes) {
  tk_trace(1, "ole_variant::ole_variant(bytes)");
  attach_binary(std::move(bytes));
}

ole_variant::ole_variant(const ole_variant& other) {
  tk_trace(1, "ole_variant::ole_variant(const ole_variant&)");
  copy(other);
}

ole_variant::ole_variant(ole_variant&& other) noexcept { move_from(other); }

ole_variant& ole_variant::operator=(const ole_variant& other) {
  if (this == &other) return *this;
  release();
  copy(other);
  return *this;
}

ole_variant& ole_variant::operator=(ole_variant&& other) noexcept {
  if (this == &other) return *this;
  release();
  move_from(other);
  return *this;
}

ole_variant& ole_variant::operator=(const char16_t* text) {
  std::u16string copy = text ? std::u16string(text) : std::u16string();
  release();
  vt_ = VT_BSTR;
  bstr_ = std::move(copy);
  return *this;
}

ole_variant::~ole_variant() = default;

void ole_variant::release() {
  vt_ = VT_EMPTY;
  i8_ = 0;
  ui8_ = 0;
  st_ = SYSTEMTIME{};
  has_date_number_ = false;
  content_.dec = DECIMAL{};
  if (bstr_.capacity() > 15)
    std::u16string().swap(bstr_);
  else
    bstr_.clear();
  if (array_.bytes.capacity() != 0) std::vector<uint8_t>().swap(array_.bytes);
  array_.lower_bound = 0;
}

void ole_variant::copy(const ole_variant& other) {
  vt_ = other.vt_;
  content_ = other.content_;
  switch (vt_) {
    case VT_DATE:
      st_ = other.st_;
      has_date_number_ = other.has_date_number_;
      break;
    case VT_I8:
      i8_ = other.i8_;
      break;
    case VT_UI8:
      ui8_ = other.ui8_;
      break;
    case VT_BSTR:
      bstr_ = other.bstr_;
      break;
    case VT_ARRAY_UI1:
      try {
        array_ = other.array_;
      } catch (const std::bad_alloc&) {
        // The copy stands as an error value; the original is untouched.
        array_ = ole_safe_array{};
        vt_ = VT_ERROR;
      }
      break;
    default:
      break;
  }
}

void ole_variant::move_from(ole_variant& other) noexcept {
  vt_ = other.vt_;
  content_ = other.content_;
  i8_ = other.i8_;
  ui8_ = other.ui8_;
  st_ = other.st_;
  has_date_number_ = other.has_date_number_;
  bstr_ = std::move(other.bstr_);
  array_ = std::move(other.array_);
  other.release();
}

void ole_variant::clear() {
  tk_trace(1, "ole_variant::clear");
  release();
}

void ole_variant::set_null() {
  tk_trace(1, "ole_variant::set_null");
  release();
  vt_ = VT_NULL;
}

// ---- readings --------------------------------------------------------------------------------

int32_t ole_variant::to_long() const {
  switch (vt_) {
    case VT_EMPTY:
    case VT_NULL:
      return 0;
    case VT_I2:
      return content_.i2;
    case VT_BOOL:
      return content_.b;
    case VT_I1:
      return content_.i1;
    case VT_UI1:
      return content_.ui1;
    case VT_UI2:
      return content_.ui2;
    case VT_I4:
    case VT_INT:
      return content_.i4;
    case VT_UI4:
    case VT_UINT:
      return static_cast<int32_t>(content_.ui4);
    case VT_R4:
    case VT_R8: {
      double d = vt_ == VT_R4 ? content_.r4 : content_.r8;
      if (std::isnan(d)) return 0;
      if (d >= 2147483647.0) return std::numeric_limits<int32_t>::max();
      if (d <= -2147483648.0) return std::numeric_limits<int32_t>::min();
      return static_cast<int32_t>(d);
    }
    case VT_DECIMAL: {
      int64_t v = 0;
      uint32_t hr = ole_numeric::dec_to_int64(content_.dec, ole_numeric::half_even, v);
      if (hr == ole_s_ok &&
          (v > std::numeric_limits<int32_t>::max() || v < std::numeric_limits<int32_t>::min()))
        hr = ole_e_overflow;
      if (hr != ole_s_ok) {
        tk_trace(1, "from DECIMAL, hr=%08X", hr);
        return 0;
      }
      return static_cast<int32_t>(v);
    }
    case VT_I8:
      return static_cast<int32_t>(static_cast<uint32_t>(i8_));
    case VT_UI8:
      return static_cast<int32_t>(static_cast<uint32_t>(ui8_));
    default:
      throw tk_mail_assertion(source, __LINE__);
  }
}

double ole_variant::to_double() const {
  switch (vt_) {
    case VT_EMPTY:
    case VT_NULL:
      return 0;
    case VT_I2:
      return content_.i2;
    case VT_I4:
    case VT_INT:
      return content_.i4;
    case VT_I1:
      return content_.i1;
    case VT_UI1:
      return content_.ui1;
    case VT_UI2:
      return content_.ui2;
    case VT_BOOL:
      return content_.b;
    case VT_UI4:
    case VT_UINT:
      return content_.ui4;
    case VT_R4:
      return content_.r4;
    case VT_R8:
      return content_.r8;
    case VT_CY: {
      double d = ole_numeric::cy_to_double(content_.cy);
      tk_trace(1, "from CURRECY: res=%lg, hr=%08X", d, 0u);
      return d;
    }
    case VT_DECIMAL: {
      double d = 0;
      uint32_t hr = ole_numeric::dec_to_double(content_.dec, d);
      tk_trace(1, "from DECIMAL: res=%lg, hr=%08X", d, hr);
      return hr == ole_s_ok ? d : 0;
    }
    case VT_I8:
      return static_cast<double>(i8_);
    case VT_UI8:
      return static_cast<double>(ui8_);
    default:
      throw tk_mail_assertion(source, __LINE__);
  }
}

bool ole_variant::to_bool() const {
  switch (vt_) {
    case VT_EMPTY:
    case VT_NULL:
      return false;
    case VT_BOOL:
      return content_.b == VARIANT_TRUE;
    case VT_I2:
      return content_.i2 != 0;
    case VT_I4:
    case VT_INT:
      return content_.i4 != 0;
    case VT_I1:
      return content_.i1 != 0;
    case VT_UI1:
      return content_.ui1 != 0;
    case VT_UI2:
      return content_.ui2 != 0;
    case VT_UI4:
    case VT_UINT:
      return content_.ui4 != 0;
    case VT_I8:
      return i8_ != 0;
    case VT_UI8:
      return ui8_ != 0;
    case VT_R4:
      return content_.r4 != 0.0f;
    case VT_R8:
      return content_.r8 != 0.0;
    case VT_DECIMAL:
      // Any non-zero decimal is true, also one too large for 32 bits or below one half.
      return !ole_numeric::dec_is_zero(content_.dec);
    default:
      throw tk_mail_assertion(source, __LINE__);
  }
}

size_t ole_variant::get_bytes(const uint8_t*& data) const {
  switch (vt_) {
    case VT_EMPTY:
    case VT_NULL:
      data = nullptr;
      return 0;
    case VT_ARRAY_UI1:
      data = array_.bytes.data();
      return get_safe_array_size(array_);
    default:
      throw tk_mail_assertion(source, __LINE__);
  }
}

SYSTEMTIME ole_variant::get_systemtime() const { return vt_ == VT_DATE ? st_ : SYSTEMTIME{}; }

CY ole_variant::get_cy() const {
  if (vt_ != VT_CY) throw tk_mail_assertion(source, __LINE__);
  return content_.cy;
}

const DECIMAL& ole_variant::get_decimal() const {
  if (vt_ != VT_DECIMAL) throw tk_mail_assertion(source, __LINE__);
  return content_.dec;
}

const std::u16string& ole_variant::get_bstr() const {
  if (vt_ != VT_BSTR) throw tk_mail_assertion(source, __LINE__);
  return bstr_;
}

const ole_safe_array* ole_variant::get_safe_array() const {
  return vt_ == VT_ARRAY_UI1 ? &array_ : nullptr;
}

bool ole_variant::get_date_number(double& number) const {
  if (vt_ != VT_DATE || !has_date_number_) return false;
  number = content_.date;
  return true;
}

// ---- text forms ------------------------------------------------------------------------------

int ole_variant::format_short(char* out) const {
  switch (vt_) {
    case VT_I2:
      return put_int(out, content_.i2);
    case VT_I1:
      return put_int(out, content_.i1);
    case VT_I4:
    case VT_INT:
      return put_int(out, content_.i4);
    case VT_UI1:
      return put_int(out, content_.ui1);
    case VT_UI2:
      return put_int(out, content_.ui2);
    case VT_UI4:
    case VT_UINT:
      return put_int(out, content_.ui4);
    case VT_I8:
      return put_int(out, i8_);
    case VT_UI8:
      return put_int(out, ui8_);
    case VT_R4:
      return static_cast<int>(std::to_chars(out, out + 63, static_cast<double>(content_.r4),
                                            std::chars_format::scientific, 6)
                                  .ptr -
                              out);
    case VT_R8:
      return static_cast<int>(
          std::to_chars(out, out + 63, content_.r8, std::chars_format::scientific, 15).ptr - out);
    case VT_BOOL:
      tk_trace(1, "Mapping BOOL like ANSI!");
      out[0] = content_.b == VARIANT_TRUE ? '1' : '0';
      return 1;
    case VT_CY:
      return static_cast<int>(ole_numeric::cy_to_text(content_.cy, out));
    case VT_DECIMAL:
      return static_cast<int>(ole_numeric::dec_to_text(content_.dec, out));
    case VT_DATE:
      return static_cast<int>(ole_date(st_).format(out));
    default:
      return -1;
  }
}

std::string ole_variant::to_string() const {
  char buf[64];
  int n = format_short(buf);
  if (n >= 0) return std::string(buf, static_cast<size_t>(n));
  switch (vt_) {
    case VT_BSTR:
      return tk_wide_to_narrow(bstr_);
    case VT_ARRAY_UI1: {
      size_t count = std::min(array_.bytes.size(), max_printed_bytes);
      if (count == 0) return {};
      std::string out(2 + 2 * count, '\0');
      out[0] = '0';
      out[1] = 'x';
      for (size_t i = 0; i < count; ++i) {
        out[2 + 2 * i] = hex_digits[array_.bytes[i] >> 4];
        out[3 + 2 * i] = hex_digits[array_.bytes[i] & 15];
      }
      return out;
    }
    default:
      return {};
  }
}

std::u16string ole_variant::to_wstring() const {
  if (vt_ == VT_BSTR) {
    size_t nul = bstr_.find(u'\0');
    return nul == std::u16string::npos ? bstr_ : bstr_.substr(0, nul);
  }
  char buf[64];
  int n = format_short(buf);
  std::u16string out;
  if (n >= 0) {
    widen_ascii(std::string_view(buf, static_cast<size_t>(n)), out);
    return out;
  }
  if (vt_ == VT_ARRAY_UI1) {
    size_t count = std::min(array_.bytes.size(), max_printed_bytes);
    if (count == 0) return out;
    out.resize(2 + 2 * count);
    out[0] = u'0';
    out[1] = u'x';
    for (size_t i = 0; i < count; ++i) {
      out[2 + 2 * i] = static_cast<char16_t>(hex_digits[array_.bytes[i] >> 4]);
      out[3 + 2 * i] = static_cast<char16_t>(hex_digits[array_.bytes[i] & 15]);
    }
  }
  return out;
}

// ---- changing --------------------------------------------------------------------------------

uint8_t* ole_variant::allocate_safe_array(size_t size) {
  tk_trace(1, "ole_variant::allocate_safe_array (size=%d)", static_cast<int>(size));
  try {
    if (vt_ == VT_ARRAY_UI1) {
      array_.bytes.resize(size);
    } else {
      release();
      vt_ = VT_ARRAY_UI1;
      array_.bytes.resize(size);
    }
  } catch (const std::bad_alloc&) {
    throw tk_mail_assertion(source, __LINE__);
  } catch (const std::length_error&) {
    throw tk_mail_assertion(source, __LINE__);
  }
  return array_.bytes.data();
}

void ole_variant::attach_binary(const std::vector<uint8_t>& bytes) {
  if (&bytes == &array_.bytes) return;  // the value's own bytes: already attached
  uint8_t* to = allocate_safe_array(bytes.size());
  if (!bytes.empty()) std::memcpy(to, bytes.data(), bytes.size());
}

void ole_variant::attach_binary(size_t count, const uint8_t* data) {
  if (!data && count != 0) throw tk_mail_assertion(source, __LINE__);
  if (count != 0 && data >= array_.bytes.data() &&
      data < array_.bytes.data() + array_.bytes.size()) {
    // Bytes out of this very array: take a copy before the array changes.
    std::vector<uint8_t> keep(data, data + count);
    attach_binary(std::move(keep));
    return;
  }
  uint8_t* to = allocate_safe_array(count);
  if (count != 0) std::memcpy(to, data, count);
}

void ole_variant::attach_binary(std::vector<uint8_t>&& bytes) {
  tk_trace(1, "ole_variant::allocate_safe_array (size=%d)", static_cast<int>(bytes.size()));
  std::vector<uint8_t> taken = std::move(bytes);
  int32_t lower = vt_ == VT_ARRAY_UI1 ? array_.lower_bound : 0;
  release();
  vt_ = VT_ARRAY_UI1;
  array_.lower_bound = lower;
  array_.bytes = std::move(taken);
}

void ole_variant::attach_string(std::string_view text) {
  tk_trace(1, "ole_variant::attach_string");
  std::u16string wide;
  if (is_ascii(text))
    widen_ascii(text, wide);
  else
    wide = tk_ansi_to_wide(std::string(text));
  release();
  vt_ = VT_BSTR;
  bstr_ = std::move(wide);
}

void ole_variant::attach_wstring(const std::u16string& text) {
  tk_trace(1, "ole_variant::attach_wstring");
  if (vt_ == VT_BSTR) {
    if (&text != &bstr_) bstr_ = text;
    return;
  }
  std::u16string copy(text);
  release();
  vt_ = VT_BSTR;
  bstr_ = std::move(copy);
}

void ole_variant::attach_wstring(std::u16string&& text) {
  tk_trace(1, "ole_variant::attach_wstring");
  std::u16string taken = std::move(text);
  release();
  vt_ = VT_BSTR;
  bstr_ = std::move(taken);
}

// ---- values from text ------------------------------------------------------------------------

ole_variant ole_variant::from_string(std::string_view text, VARTYPE vt) {
  tk_trace(1, "ole_variant::from_string('%.*s', 0x%08X)", static_cast<int>(text.size()),
           text.data(), static_cast<unsigned>(vt));
  if (text.empty()) return vt == VT_BSTR ? ole_variant(u"") : ole_variant();
  constexpr int64_t long_min = std::numeric_limits<int32_t>::min();
  constexpr int64_t long_max = std::numeric_limits<int32_t>::max();
  switch (vt) {
    case VT_I2:
      return ole_variant(static_cast<short>(ole_text::int_prefix(text, long_min, long_max)));
    case VT_I4:
      return ole_variant(static_cast<int>(ole_text::int_prefix(text, long_min, long_max)));
    case VT_I1:
      return ole_variant(static_cast<signed char>(ole_text::int_prefix(text, long_min, long_max)));
    case VT_UI1:
      return ole_variant(
          static_cast<unsigned char>(ole_text::int_prefix(text, long_min, long_max)));
    case VT_UI2:
      return ole_variant(
          static_cast<unsigned short>(ole_text::int_prefix(text, long_min, long_max)));
    case VT_UI4:
      return ole_variant(static_cast<unsigned int>(ole_text::uint_prefix(text, 32)));
    case VT_I8:
      return ole_variant(static_cast<long long>(ole_text::int_prefix(
          text, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max())));
    case VT_UI8:
      return ole_variant(static_cast<unsigned long long>(ole_text::uint_prefix(text, 64)));
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DECIMAL: {
      char buf[128];
      std::string spill;
      std::string_view t = ole_text::comma_to_point(text, buf, sizeof buf, spill);
      if (vt == VT_R4) return ole_variant(ole_text::float_prefix(t));
      if (vt == VT_R8) return ole_variant(ole_text::double_prefix(t));
      if (vt == VT_CY) {
        CY cy;
        uint32_t hr = ole_numeric::cy_from_text(t, cy);
        if (hr != ole_s_ok) {
          tk_trace(3, "VarCyFromStr failed: %08X", hr);
          return ole_variant();
        }
        return ole_variant(cy);
      }
      DECIMAL dec;
      uint32_t hr = ole_numeric::dec_from_text(t, dec);
      if (hr != ole_s_ok) {
        tk_trace(3, "VarDecFromStr failed: %08X", hr);
        return ole_variant();
      }
      return ole_variant(dec);
    }
    case VT_BOOL:
      if (ole_text::iequal(text, "yes") || ole_text::iequal(text, "true")) return ole_variant(true);
      if (ole_text::iequal(text, "no") || ole_text::iequal(text, "false"))
        return ole_variant(false);
      return ole_variant(ole_text::int_prefix(text, long_min, long_max) != 0);
    case VT_DATE: {
      ole_date date(text);
      if (!date.is_valid()) return ole_variant();
      return ole_variant(date.get_systemtime());
    }
    case VT_BLOB:
    case VT_BLOB_OBJECT:
    case VT_ARRAY_UI1: {
      if (text.size() % 2 != 0) {
        tk_trace(2, "Incorrect BLOB (size is odd)");
        return ole_variant();
      }
      if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
      ole_variant v;
      uint8_t* to = v.allocate_safe_array(text.size() / 2);
      for (size_t i = 0; i < text.size(); i += 2) {
        int hi = hex_value(text[i]), lo = hex_value(text[i + 1]);
        if (hi < 0 || lo < 0) {
          tk_trace(2, "Incorrect BLOB (not a hex digit at %d)", static_cast<int>(i));
          return ole_variant();
        }
        *to++ = static_cast<uint8_t>(hi << 4 | lo);
      }
      tk_trace(1, "Got BLOB size: %d", static_cast<int>(text.size() / 2));
      return v;
    }
    default: {
      ole_variant v;
      v.attach_string(text);
      if (ole_variant_ops::general_change(v, vt) != ole_s_ok) throw ole_type_exception();
      tk_trace(1, "VariantChangeType succeeded");
      return v;
    }
  }
}

ole_variant ole_variant::from_wstring(const std::u16string& text, VARTYPE vt) {
  tk_trace(1, "ole_variant::from_wstring(0x%08X)", static_cast<unsigned>(vt));
  if (vt == VT_BSTR) {
    size_t nul = text.find(u'\0');
    return ole_variant(nul == std::u16string::npos ? text : text.substr(0, nul));
  }
  char buf[128];
  bool ascii = text.size() <= sizeof buf;
  for (size_t i = 0; ascii && i < text.size(); ++i) {
    if (text[i] >= 0x80) ascii = false;
    buf[i] = static_cast<char>(text[i]);
  }
  if (ascii) return from_string(std::string_view(buf, text.size()), vt);
  std::string narrow = tk_wide_to_narrow(text);
  return from_string(narrow, vt);
}

ole_variant ole_variant::from_wstring(std::u16string&& text, VARTYPE vt) {
  if (vt != VT_BSTR) return from_wstring(static_cast<const std::u16string&>(text), vt);
  tk_trace(1, "ole_variant::from_wstring(0x%08X)", static_cast<unsigned>(vt));
  size_t nul = text.find(u'\0');
  if (nul != std::u16string::npos) text.resize(nul);
  return ole_variant(std::move(text));
}

// ---- static helpers --------------------------------------------------------------------------

size_t ole_variant::get_safe_array_size(const ole_safe_array& array) {
  int64_t upper = array.upper_bound();
  return upper < array.lower_bound ? 0 : static_cast<size_t>(upper - array.lower_bound + 1);
}

bool ole_variant::is_blob_type(VARTYPE vt) {
  return vt == VT_BLOB || vt == VT_BLOB_OBJECT || vt == VT_ARRAY_UI1;
}
