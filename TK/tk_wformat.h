// printf-style formatting of wide (UTF-16) texts. The conversions follow the Windows wide
// printf family the system's messages were written for: "%s" takes a wide string, "%S" a narrow
// one (ANSI code page), "%c" a wide character; d i u x X o e E f g G with flags, width,
// precision and the length prefixes l, ll, h, I64 work as in printf. Arguments carry their type,
// so a text given to the other text conversion is still printed as text, a number given to a text
// conversion prints as a number, and a missing argument prints nothing: formatting never reads
// memory it was not given.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

struct tk_warg {
  enum kind_t { signed_int, unsigned_int, floating, wide_text, narrow_text, pointer } kind;
  int64_t i = 0;
  uint64_t u = 0;
  double d = 0;
  const char16_t* ws = nullptr;
  size_t ws_len = 0;
  const char* ns = nullptr;
  size_t ns_len = 0;

  template <class T>
  requires std::is_integral_v<T> tk_warg(T v) {
    if constexpr (std::is_same_v<T, char16_t> || std::is_same_v<T, bool> || std::is_unsigned_v<T>) {
      kind = unsigned_int;
      u = static_cast<uint64_t>(v);
      i = static_cast<int64_t>(v);
    } else {
      kind = signed_int;
      i = static_cast<int64_t>(v);
      u = static_cast<uint64_t>(v);
    }
  }
  template <class T>
  requires std::is_enum_v<T> tk_warg(T v) : tk_warg(static_cast<std::underlying_type_t<T>>(v)) {}
  tk_warg(double v) : kind(floating), d(v) {}
  tk_warg(float v) : kind(floating), d(v) {}
  tk_warg(const char16_t* v);
  tk_warg(const std::u16string& v) : kind(wide_text), ws(v.data()), ws_len(v.size()) {}
  tk_warg(const char* v);
  tk_warg(const std::string& v) : kind(narrow_text), ns(v.data()), ns_len(v.size()) {}
  tk_warg(const void* v) : kind(pointer), u(reinterpret_cast<uintptr_t>(v)) {}
};

std::u16string tk_wformat_args(const char16_t* format, const std::vector<tk_warg>& args);

template <class... Args>
std::u16string tk_wformat(const char16_t* format, const Args&... args) {
  return tk_wformat_args(format, std::vector<tk_warg>{tk_warg(args)...});
}

// Narrow printf into a std::string (no length limit).
std::string tk_format(const char* format, ...) __attribute__((format(printf, 1, 2)));
