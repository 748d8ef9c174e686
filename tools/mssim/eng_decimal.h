// Exact decimal numbers as the numeric/decimal and money types hold them: a digit string, a scale
// and a sign. Only what conversions and checks need: parse, round, compare, print.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mssim {

struct dec {
  std::string d = "0";  // magnitude digits including the fraction; no superfluous leading zeros
  int scale = 0;        // digits of d after the point (d.size() > scale unless d is "0")
  bool neg = false;
};

// "[+-]digits[.digits]" with surrounding blanks; `allow_exp` also takes "1.5E3".
bool dec_parse(std::u16string_view s, dec& out, bool allow_exp = false);
dec dec_from_i64(int64_t v);
dec dec_from_double(double v, int scale);  // rounded to `scale` digits
dec dec_round(const dec& v, int scale);    // half away from zero; scale may grow (pads zeros)
dec dec_trunc(const dec& v, int scale);
int dec_int_digits(const dec& v);  // digits before the point (0 for 0.x)
bool dec_is_zero(const dec& v);
bool dec_to_i64(const dec& v, int64_t& out);  // truncates the fraction; false on overflow
double dec_to_double(const dec& v);
int dec_compare(const dec& a, const dec& b);
std::string dec_text(const dec& v);  // "-123.45", "0.50"

}  // namespace mssim
