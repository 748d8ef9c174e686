// Text conversions and small string helpers. Wide strings are UTF-16; narrow strings are in the
// ANSI code page (the locale's character set, UTF-8 when the locale names none) unless a caller
// says UTF-8. None of the conversions raises: bytes that do not decode become U+FFFD, characters
// the target cannot hold become '?'.
#pragma once

#include <string>

// The character set that stands for the ANSI code page (an ICU converter name).
const char* tk_ansi_codepage();

std::u16string tk_ansi_to_wide(const std::string& text);
std::u16string tk_utf8_to_wide(const std::string& text);
std::u16string tk_utf8_to_wide(const char* data, size_t length);
std::string tk_wide_to_utf8(const std::u16string& text);
// `codepage` is an ICU converter name; null means the ANSI code page.
std::string tk_wide_to_narrow(const std::u16string& text, const char* codepage = nullptr);
// The form a wide message takes as a tk_exception text.
std::string tk_wide_to_message(const std::u16string& text);

// Blank means the space character only; tabs and line ends stay.
std::string tk_ltrim(const std::string& text);
std::u16string tk_ltrim(const std::u16string& text);
std::u16string tk_rtrim(const std::u16string& text);
std::string tk_trim(const std::string& text);
std::u16string tk_trim(const std::u16string& text);

// Whole-string comparison without regard to case (Unicode case folding); <0, 0, >0.
int tk_wcsicmp(const std::u16string& a, const std::u16string& b);
inline bool tk_iequal(const std::u16string& a, const std::u16string& b) {
  return tk_wcsicmp(a, b) == 0;
}
std::u16string tk_to_upper(const std::u16string& text);
std::u16string tk_to_lower(const std::u16string& text);

struct tk_wstring {
  // Replaces the first occurrence of `what`, searching from the beginning each time, until none
  // is left. `with` must not contain `what`.
  static void replace_all(std::u16string& text, const std::u16string& what,
                          const std::u16string& with);
};
