#include "eng_decimal.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace mssim {
namespace {

void normalize(dec& v) {
  // Keep at least scale+1 digits, strip other leading zeros.
  size_t keep = size_t(v.scale) + 1;
  size_t z = 0;
  while (z < v.d.size() && v.d.size() - z > keep && v.d[z] == '0') ++z;
  v.d.erase(0, z);
  while (v.d.size() < keep) v.d.insert(v.d.begin(), '0');
  if (dec_is_zero(v)) v.neg = false;
}

}  // namespace

bool dec_is_zero(const dec& v) {
  for (char c : v.d)
    if (c != '0') return false;
  return true;
}

bool dec_parse(std::u16string_view s, dec& out, bool allow_exp) {
  size_t i = 0, n = s.size();
  while (i < n && (s[i] == u' ' || s[i] == u'\t')) ++i;
  while (n > i && (s[n - 1] == u' ' || s[n - 1] == u'\t')) --n;
  dec r;
  r.d.clear();
  if (i < n && (s[i] == u'+' || s[i] == u'-')) r.neg = s[i++] == u'-';
  bool any = false;
  while (i < n && s[i] >= u'0' && s[i] <= u'9') {
    r.d += char(s[i++]);
    any = true;
  }
  if (i < n && s[i] == u'.') {
    ++i;
    while (i < n && s[i] >= u'0' && s[i] <= u'9') {
      r.d += char(s[i++]);
      ++r.scale;
      any = true;
    }
  }
  if (!any) return false;
  if (i < n && allow_exp && (s[i] == u'e' || s[i] == u'E')) {
    ++i;
    bool eneg = false;
    if (i < n && (s[i] == u'+' || s[i] == u'-')) eneg = s[i++] == u'-';
    int e = 0;
    bool edig = false;
    while (i < n && s[i] >= u'0' && s[i] <= u'9') {
      e = e * 10 + (s[i++] - u'0');
      edig = true;
      if (e > 400) return false;
    }
    if (!edig) return false;
    if (eneg) {
      r.scale += e;
    } else if (e <= r.scale) {
      r.scale -= e;
    } else {
      r.d.append(size_t(e - r.scale), '0');
      r.scale = 0;
    }
  }
  if (i != n) return false;
  if (r.d.empty()) r.d = "0";
  normalize(r);
  out = r;
  return true;
}

dec dec_from_i64(int64_t v) {
  dec r;
  r.neg = v < 0;
  uint64_t m = v < 0 ? uint64_t(0) - uint64_t(v) : uint64_t(v);
  r.d = std::to_string(m);
  return r;
}

dec dec_from_double(double v, int scale) {
  char buf[512];
  if (!std::isfinite(v)) v = 0;
  // 15 significant digits is what a float reliably carries; rounding from that text keeps
  // 2.675 at 2.68 instead of following the binary expansion 2.67499999...
  std::snprintf(buf, sizeof buf, "%.14e", v);
  std::u16string t;
  for (char* p = buf; *p; ++p) t += char16_t(*p);
  dec r;
  dec_parse(t, r, true);
  return dec_round(r, scale);
}

dec dec_round(const dec& v, int scale) {
  dec r = v;
  if (scale >= r.scale) {
    r.d.append(size_t(scale - r.scale), '0');
    r.scale = scale;
    normalize(r);
    return r;
  }
  size_t cut = r.d.size() - size_t(r.scale - scale);
  bool up = r.d[cut] >= '5';
  r.d.resize(cut);
  r.scale = scale;
  if (r.d.empty()) r.d = "0";
  if (up) {
    int k = int(r.d.size()) - 1;
    while (k >= 0) {
      if (r.d[k] == '9') {
        r.d[k] = '0';
        --k;
      } else {
        ++r.d[k];
        break;
      }
    }
    if (k < 0) r.d.insert(r.d.begin(), '1');
  }
  normalize(r);
  return r;
}

dec dec_trunc(const dec& v, int scale) {
  dec r = v;
  if (scale >= r.scale) return dec_round(v, scale);
  r.d.resize(r.d.size() - size_t(r.scale - scale));
  r.scale = scale;
  if (r.d.empty()) r.d = "0";
  normalize(r);
  return r;
}

int dec_int_digits(const dec& v) {
  int n = int(v.d.size()) - v.scale;
  int k = 0;
  while (k < n && v.d[k] == '0') ++k;
  return n - k;
}

bool dec_to_i64(const dec& v, int64_t& out) {
  dec t = dec_trunc(v, 0);
  if (t.d.size() > 19) return false;
  uint64_t m = std::strtoull(t.d.c_str(), nullptr, 10);
  if (t.d.size() == 19 && t.d > "9223372036854775808") return false;
  if (!t.neg && m > uint64_t(INT64_MAX)) return false;
  if (t.neg && m > uint64_t(INT64_MAX) + 1) return false;
  out = t.neg ? int64_t(0 - m) : int64_t(m);
  return true;
}

double dec_to_double(const dec& v) { return std::strtod(dec_text(v).c_str(), nullptr); }

int dec_compare(const dec& a, const dec& b) {
  if (a.neg != b.neg) return a.neg ? -1 : 1;
  int s = std::max(a.scale, b.scale);
  dec x = dec_round(a, s), y = dec_round(b, s);
  int c = 0;
  if (x.d.size() != y.d.size()) {
    c = x.d.size() < y.d.size() ? -1 : 1;
  } else {
    c = x.d < y.d ? -1 : x.d > y.d ? 1 : 0;
  }
  return a.neg ? -c : c;
}

std::string dec_text(const dec& v) {
  std::string out;
  if (v.neg && !dec_is_zero(v)) out += '-';
  size_t n = v.d.size() - size_t(v.scale);
  out.append(v.d, 0, n);
  if (v.scale > 0) {
    out += '.';
    out.append(v.d, n, std::string::npos);
  }
  return out;
}

}  // namespace mssim
