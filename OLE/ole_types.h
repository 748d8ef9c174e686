// The plain types every value of the system is made of: the published VARTYPE codes that tag a
// value (and a column), the boolean convention, the calendar record, currency and the exact
// decimal. They carry no behaviour; ole_variant, ole_date and ole_numeric give them meaning.
#pragma once

#include <cstdint>

// Type tags. The numbers are the published variant type codes; stored profiles, the field
// descriptors and both database sides speak in these numbers, so they never change.
using VARTYPE = uint16_t;

inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_NULL = 1;
inline constexpr VARTYPE VT_I2 = 2;
inline constexpr VARTYPE VT_I4 = 3;
inline constexpr VARTYPE VT_R4 = 4;
inline constexpr VARTYPE VT_R8 = 5;
inline constexpr VARTYPE VT_CY = 6;
inline constexpr VARTYPE VT_DATE = 7;
inline constexpr VARTYPE VT_BSTR = 8;
inline constexpr VARTYPE VT_DISPATCH = 9;
inline constexpr VARTYPE VT_ERROR = 10;
inline constexpr VARTYPE VT_BOOL = 11;
inline constexpr VARTYPE VT_VARIANT = 12;
inline constexpr VARTYPE VT_UNKNOWN = 13;
inline constexpr VARTYPE VT_DECIMAL = 14;
inline constexpr VARTYPE VT_I1 = 16;
inline constexpr VARTYPE VT_UI1 = 17;
inline constexpr VARTYPE VT_UI2 = 18;
inline constexpr VARTYPE VT_UI4 = 19;
inline constexpr VARTYPE VT_I8 = 20;
inline constexpr VARTYPE VT_UI8 = 21;
inline constexpr VARTYPE VT_INT = 22;
inline constexpr VARTYPE VT_UINT = 23;
inline constexpr VARTYPE VT_LPSTR = 30;
inline constexpr VARTYPE VT_LPWSTR = 31;
inline constexpr VARTYPE VT_BLOB = 65;
inline constexpr VARTYPE VT_BLOB_OBJECT = 70;
inline constexpr VARTYPE VT_ARRAY = 0x2000;
// The only tag binary data is ever held under (8209): a one-dimensional byte array.
inline constexpr VARTYPE VT_ARRAY_UI1 = VT_ARRAY | VT_UI1;

// Booleans inside a value: true is all bits set.
using VARIANT_BOOL = int16_t;
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// The calendar record of dates and times, field for field. wDayOfWeek is carried but never set
// by this system. A record may hold what no calendar has (the zero date 0000-00-00, hours up to
// 60 before they are folded): it is a record, not a checked date.
struct SYSTEMTIME {
  uint16_t wYear = 0;
  uint16_t wMonth = 0;
  uint16_t wDayOfWeek = 0;
  uint16_t wDay = 0;
  uint16_t wHour = 0;
  uint16_t wMinute = 0;
  uint16_t wSecond = 0;
  uint16_t wMilliseconds = 0;
  bool operator==(const SYSTEMTIME&) const = default;
};
static_assert(sizeof(SYSTEMTIME) == 16);

// Currency: a signed 64-bit count of ten-thousandths (5.0000 is 50000).
struct CY {
  int64_t value = 0;
  bool operator==(const CY&) const = default;
};
static_assert(sizeof(CY) == 8);

// Exact decimal, in the published 16-byte layout: magnitude = hi32 * 2^64 + lo64 (96 bits),
// value = magnitude / 10^scale, negative when sign has ole_decimal_negative set. The scale is
// 0..28. Trailing zeros are part of the value's form: 12.50 is 1250 with scale 2, and prints so.
struct DECIMAL {
  uint16_t reserved = 0;
  uint8_t scale = 0;
  uint8_t sign = 0;
  uint32_t hi32 = 0;
  uint64_t lo64 = 0;
  bool operator==(const DECIMAL&) const = default;
};
static_assert(sizeof(DECIMAL) == 16);

inline constexpr uint8_t ole_decimal_negative = 0x80;
inline constexpr uint8_t ole_decimal_max_scale = 28;
