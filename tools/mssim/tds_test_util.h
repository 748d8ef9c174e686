// Small helpers for the wire tests: hex literals to bytes, and tokens to compare.
#pragma once

#include <cctype>
#include <string>
#include <string_view>

namespace mssim::test {

// "12 01 00 2F" -> bytes; spaces and line breaks are ignored.
inline std::string hex(std::string_view text) {
  std::string out;
  int half = -1;
  for (char ch : text) {
    if (std::isspace(static_cast<unsigned char>(ch))) continue;
    int v = std::isdigit(static_cast<unsigned char>(ch)) ? ch - '0' : std::toupper(ch) - 'A' + 10;
    if (half < 0) {
      half = v;
    } else {
      out.push_back(static_cast<char>(half * 16 + v));
      half = -1;
    }
  }
  return out;
}

}  // namespace mssim::test
