// Exact conversions of the fixed-point types DECIMAL and CY: to and from text in English rules
// ("." decimal point, no grouping), integers and floating numbers. Decimals never pass through
// a double on their way to or from text.
//
// Every operation answers a status in the published result codes, which the traces print:
// ole_s_ok, ole_e_type_mismatch (the input is no number) or ole_e_overflow (it does not fit).
// On failure the output is left unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "ole_types.h"

inline constexpr uint32_t ole_s_ok = 0;
inline constexpr uint32_t ole_e_type_mismatch = 0x80020005;
inline constexpr uint32_t ole_e_overflow = 0x8002000A;

// Enough for every text these functions write: sign, 29 digits, point, leading zero, NUL.
inline constexpr size_t ole_numeric_text_max = 40;

struct ole_numeric {
  // How a fraction is dropped when a value goes to an integer or to a shorter scale.
  enum rounding { half_even, half_up };  // half_up: halves toward +infinity (floor(x + 0.5))

  // Number text: optional blanks, optional sign, digits with at most one ".", at least one
  // digit, optional exponent "e"/"E" with optional sign and digits, optional blanks; nothing
  // else. A decimal keeps the scale the text shows (up to 28); further fraction digits are
  // rounded half to even; a magnitude beyond 96 bits is an overflow. Negative zero is zero.
  static uint32_t dec_from_text(std::string_view text, DECIMAL& out);
  // The exact text with every digit of the scale ("-12.50", "0.001"); returns the length
  // (0 for a malformed decimal: scale above 28). `out` holds ole_numeric_text_max characters.
  static size_t dec_to_text(const DECIMAL& value, char* out);
  static uint32_t dec_from_int64(int64_t value, DECIMAL& out);
  static uint32_t dec_from_uint64(uint64_t value, DECIMAL& out);
  // The double's shortest text of at most `digits` significant digits (15 for doubles, 7 for
  // floats), read exactly; infinities and NaN are an overflow.
  static uint32_t dec_from_double(double value, int digits, DECIMAL& out);
  // Correctly rounded.
  static uint32_t dec_to_double(const DECIMAL& value, double& out);
  static uint32_t dec_to_int64(const DECIMAL& value, rounding mode, int64_t& out);
  static uint32_t dec_to_uint64(const DECIMAL& value, rounding mode, uint64_t& out);
  // Scale 4, exact.
  static uint32_t dec_from_cy(const CY& value, DECIMAL& out);
  // Rounded to 4 decimals, half to even.
  static uint32_t dec_to_cy(const DECIMAL& value, CY& out);
  static bool dec_is_zero(const DECIMAL& value) { return value.hi32 == 0 && value.lo64 == 0; }

  // Currency text: the number text above, rounded to 4 decimals half to even.
  static uint32_t cy_from_text(std::string_view text, CY& out);
  // The shortest exact text: "5", "2.5", "-0.0001". Returns the length.
  static size_t cy_to_text(const CY& value, char* out);
  static uint32_t cy_from_int64(int64_t value, CY& out);
  static uint32_t cy_from_uint64(uint64_t value, CY& out);
  // Rounded to 4 decimals, half to even.
  static uint32_t cy_from_double(double value, CY& out);
  // Correctly rounded.
  static double cy_to_double(const CY& value);
  static uint32_t cy_to_int64(const CY& value, rounding mode, int64_t& out);
};
