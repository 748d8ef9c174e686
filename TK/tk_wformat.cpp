#include "tk_wformat.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "tk_string.h"

tk_warg::tk_warg(const char16_t* v) : kind(wide_text), ws(v) {
  if (v) ws_len = std::char_traits<char16_t>::length(v);
}

tk_warg::tk_warg(const char* v) : kind(narrow_text), ns(v) {
  if (v) ns_len = std::strlen(v);
}

namespace {

std::u16string widen_ascii(const char* s, size_t n) {
  std::u16string out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) out.push_back(static_cast<unsigned char>(s[i]));
  return out;
}

std::u16string arg_text(const tk_warg& a) {
  switch (a.kind) {
    case tk_warg::wide_text:
      return a.ws ? std::u16string(a.ws, a.ws_len) : u"(null)";
    case tk_warg::narrow_text:
      return a.ns ? tk_ansi_to_wide(std::string(a.ns, a.ns_len)) : u"(null)";
    case tk_warg::signed_int: {
      std::string s = std::to_string(a.i);
      return widen_ascii(s.data(), s.size());
    }
    case tk_warg::unsigned_int: {
      std::string s = std::to_string(a.u);
      return widen_ascii(s.data(), s.size());
    }
    case tk_warg::floating: {
      char buf[64];
      int n = std::snprintf(buf, sizeof buf, "%g", a.d);
      return widen_ascii(buf, n);
    }
    case tk_warg::pointer: {
      char buf[32];
      int n = std::snprintf(buf, sizeof buf, "%p", reinterpret_cast<void*>(a.u));
      return widen_ascii(buf, n);
    }
  }
  return {};
}

}  // namespace

std::u16string tk_wformat_args(const char16_t* format, const std::vector<tk_warg>& args) {
  std::u16string out;
  if (!format) return out;
  size_t next = 0;
  for (const char16_t* p = format; *p; ++p) {
    if (*p != u'%') {
      out.push_back(*p);
      continue;
    }
    const char16_t* start = p++;
    if (*p == u'%') {
      out.push_back(u'%');
      continue;
    }
    std::string flags;
    while (*p && *p < 128 && std::strchr("-+ #0", static_cast<char>(*p)))
      flags.push_back(char(*p++));
    std::string width;
    while (*p >= u'0' && *p <= u'9') width.push_back(char(*p++));
    std::string precision;
    bool has_precision = false;
    if (*p == u'.') {
      has_precision = true;
      ++p;
      while (*p >= u'0' && *p <= u'9') precision.push_back(char(*p++));
    }
    // Length prefixes only tell printf the argument's size; our arguments carry their own.
    while (*p == u'h' || *p == u'l' || *p == u'L' || *p == u'z' || *p == u'j' || *p == u't') ++p;
    if (p[0] == u'I' && p[1] == u'6' && p[2] == u'4') p += 3;
    char16_t conv = *p;
    if (!conv) {
      out.append(start, p);
      break;
    }
    const tk_warg* a = next < args.size() ? &args[next++] : nullptr;
    if (!a) continue;
    std::string spec = "%" + flags + width + (has_precision ? "." + precision : "");
    char buf[512];
    int n = -1;
    switch (conv) {
      case u'd':
      case u'i':
        if (a->kind == tk_warg::signed_int || a->kind == tk_warg::unsigned_int)
          n = std::snprintf(buf, sizeof buf, (spec + "lld").c_str(), static_cast<long long>(a->i));
        break;
      case u'u':
      case u'x':
      case u'X':
      case u'o':
        if (a->kind == tk_warg::signed_int || a->kind == tk_warg::unsigned_int)
          n = std::snprintf(buf, sizeof buf, (spec + "ll" + char(conv)).c_str(),
                            static_cast<unsigned long long>(a->u));
        break;
      case u'e':
      case u'E':
      case u'f':
      case u'F':
      case u'g':
      case u'G': {
        double d = a->kind == tk_warg::floating       ? a->d
                   : a->kind == tk_warg::signed_int   ? static_cast<double>(a->i)
                   : a->kind == tk_warg::unsigned_int ? static_cast<double>(a->u)
                                                      : 0.0;
        n = std::snprintf(buf, sizeof buf, (spec + char(conv)).c_str(), d);
        break;
      }
      case u'c':
        if (a->kind == tk_warg::signed_int || a->kind == tk_warg::unsigned_int) {
          out.push_back(static_cast<char16_t>(a->u));
          continue;
        }
        break;
      case u'p':
        n = std::snprintf(buf, sizeof buf, "%p", reinterpret_cast<void*>(a->u));
        break;
      default:
        break;
    }
    if (n >= 0) {
      out += widen_ascii(buf, std::min<size_t>(n, sizeof buf - 1));
      continue;
    }
    // Text conversions (and anything given an argument of another kind).
    std::u16string text = arg_text(*a);
    if (has_precision && (conv == u's' || conv == u'S')) {
      size_t limit = precision.empty() ? 0 : std::stoul(precision);
      if (text.size() > limit) text.resize(limit);
    }
    size_t w = width.empty() ? 0 : std::stoul(width);
    if (text.size() < w) {
      std::u16string pad(w - text.size(), u' ');
      text = flags.find('-') != std::string::npos ? text + pad : pad + text;
    }
    out += text;
  }
  return out;
}

std::string tk_format(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  va_list copy;
  va_copy(copy, ap);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    out.resize(n);
    std::vsnprintf(out.data(), n + 1, format, ap);
  }
  va_end(ap);
  return out;
}
