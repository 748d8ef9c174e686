// Small text readers shared by the value layer. They read English-rule numbers the way the C
// library's prefix readers do, but never depend on the process locale and never allocate.
// Internal to OLE/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ole_text {

// White space as the C library's readers skip it.
inline bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Leading white space, an optional sign, decimal digits; 0 without digits; the rest ignored.
// The value saturates at [min, max] (a 32-bit reader answers its limits on overflow).
int64_t int_prefix(std::string_view text, int64_t min, int64_t max);
// The unsigned reader: as above, a "-" negates modulo 2^bits; saturates at the largest value
// of `bits` (32 or 64).
uint64_t uint_prefix(std::string_view text, int bits);
// Leading white space, then the longest floating number ("1.5", "-2e3", ".5", "inf", "nan");
// 0 when there is none. Overflow gives an infinity, underflow zero.
double double_prefix(std::string_view text);
float float_prefix(std::string_view text);

// ASCII comparison without regard to case.
bool iequal(std::string_view a, std::string_view b);

// The text with every "," read as "." in `buf` (at least `cap` bytes), or in `spill` when it is
// longer.
std::string_view comma_to_point(std::string_view text, char* buf, size_t cap, std::string& spill);

}  // namespace ole_text
