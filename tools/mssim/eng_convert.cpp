// The conversion matrix. Sources are grouped by family (NULL, integer, exact decimal, float,
// string, binary, date/time, guid); each target family decides what it accepts and which error
// a refused value gets.
#include "eng_convert.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "eng_errors.h"
#include "eng_types.h"
#include "eng_util.h"

namespace mssim {
namespace {

const char16_t cp1252_high[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                  0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool in_cp1252(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return true;
  for (char16_t h : cp1252_high)
    if (h && h == c) return true;
  return false;
}

char16_t cp1252_char(unsigned char b) {
  if (b >= 0x80 && b < 0xA0) return cp1252_high[b - 0x80] ? cp1252_high[b - 0x80] : char16_t(b);
  return char16_t(b);
}

unsigned char cp1252_byte(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return (unsigned char)c;
  for (int k = 0; k < 32; ++k)
    if (cp1252_high[k] == c) return (unsigned char)(0x80 + k);
  return '?';
}

std::u16string src_name(const type_desc& t) { return type_name(t); }

[[noreturn]] void fail245(const value& v, const type_desc& from, const type_desc& to) {
  throw sql_error(245, {src_name(from), v.s, type_name(to)});
}

int64_t int_min(col_type t) {
  switch (t) {
    case col_type::tinyint:
      return 0;
    case col_type::smallint:
      return -32768;
    case col_type::int_:
      return INT32_MIN;
    default:
      return INT64_MIN;
  }
}
int64_t int_max(col_type t) {
  switch (t) {
    case col_type::tinyint:
      return 255;
    case col_type::smallint:
      return 32767;
    case col_type::int_:
      return INT32_MAX;
    default:
      return INT64_MAX;
  }
}

// A dec as "expression"/"numeric" in 8115 texts.
std::u16string overflow_source(const type_desc& from) {
  if (is_integer(from.type) || from.type == col_type::bit) return u"expression";
  if (from.type == col_type::numeric) return u"numeric";
  if (from.type == col_type::float_ || from.type == col_type::real) return u"float";
  if (from.type == col_type::money || from.type == col_type::smallmoney) return u"money";
  if (is_char(from.type)) return type_name(from);
  return u"expression";
}

std::u16string money_target_name(col_type t) {
  return t == col_type::money ? u"money" : u"smallmoney";
}

std::u16string format_float(double d, bool real) {
  // Style 0 of float/real: up to 6 significant digits, exponent written as e+006 when needed.
  if (d == 0) return u"0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6g", d);
  std::string s = buf;
  size_t e = s.find('e');
  if (e != std::string::npos) {
    std::string mant = s.substr(0, e);
    char sign = s[e + 1];
    std::string digits = s.substr(e + 2);
    while (digits.size() < 3) digits = "0" + digits;
    s = mant + "e" + sign + digits;
  }
  (void)real;
  return u16(s);
}

std::u16string format_money(const dec& d) {
  // Money style 0 shows two decimals.
  return u16(dec_text(dec_round(d, 2)));
}

std::u16string hex_upper(const std::string& b) {
  static const char* hx = "0123456789ABCDEF";
  std::u16string out = u"0x";
  for (unsigned char c : b) {
    out += char16_t(hx[c >> 4]);
    out += char16_t(hx[c & 15]);
  }
  return out;
}

// Integers and exact types as a dec.
dec exact_of(const value& v) {
  switch (v.kind) {
    case value::i64:
      return dec_from_i64(v.i);
    case value::numeric: {
      dec d;
      d.d = v.digits.empty() ? "0" : v.digits;
      d.scale = v.scale;
      d.neg = v.negative;
      return dec_round(d, v.scale);
    }
    case value::f64:
      return dec_from_double(v.d, 15);
    default:
      return dec();
  }
}

value make_moment(col_type t, int32_t days, uint64_t ns100) {
  if (t == col_type::datetime || t == col_type::smalldatetime) {
    uint64_t ticks = (ns100 * 3 + 50000) / 100000;
    return value::make_datetime_ticks(days, uint32_t(ticks));
  }
  return value::make_datetime_ns(days, ns100);
}

uint64_t moment_ns(const value& v, const type_desc& t) {
  if (t.type == col_type::datetime || t.type == col_type::smalldatetime)
    return (uint64_t(v.ticks) * 100000 + 1) / 3;
  return v.nanos100;
}

std::string bytes_of_int(int64_t v, int size) {
  std::string b(size_t(size), '\0');
  for (int k = size - 1; k >= 0; --k) {
    b[size_t(k)] = char(v & 0xFF);
    v >>= 8;
  }
  return b;
}

std::u16string pad_or_cut_text(std::u16string s, const type_desc& to, const conv_opts& o,
                               bool from_string) {
  if (!is_unicode(to.type)) s = to_code_page(s);
  if (to.length >= 0 && to.type != col_type::text && to.type != col_type::ntext) {
    size_t n = size_t(to.length);
    if (s.size() > n) {
      // Trailing blanks beyond the length are dropped without complaint (ANSI padding).
      size_t keep = s.size();
      while (keep > n && s[keep - 1] == u' ') --keep;
      if (keep > n) {
        if (!o.explicit_ && o.ansi_warnings) throw sql_error(8152, {});
        if (!from_string && !o.explicit_) throw sql_error(8152, {});
      }
      s.resize(n);
    }
    if (is_fixed_len(to.type) && s.size() < n) s.append(n - s.size(), u' ');
  }
  return s;
}

}  // namespace

std::u16string to_code_page(const std::u16string& s) {
  std::u16string out = s;
  for (auto& c : out)
    if (!in_cp1252(c)) c = u'?';
  return out;
}

std::string guid_text_to_wire(const std::u16string& in, bool& ok) {
  ok = false;
  std::u16string s = in;
  while (!s.empty() && s.back() == u' ') s.pop_back();
  if (s.size() == 38 && s.front() == u'{' && s.back() == u'}') s = s.substr(1, 36);
  if (s.size() > 36) s.resize(36);  // longer strings are cut to 36 characters
  if (s.size() != 36) return {};
  std::string hex;
  for (size_t i = 0; i < 36; ++i) {
    char16_t c = s[i];
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (c != u'-') return {};
      continue;
    }
    bool h = (c >= u'0' && c <= u'9') || ((c | 32) >= u'a' && (c | 32) <= u'f');
    if (!h) return {};
    hex += char(c | (c >= u'A' ? 32 : 0));
  }
  auto byte_at = [&](size_t k) {
    auto nib = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    return char(nib(hex[2 * k]) * 16 + nib(hex[2 * k + 1]));
  };
  std::string w(16, '\0');
  // Text order -> wire order: the first three groups are little-endian.
  const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  for (int k = 0; k < 16; ++k) w[size_t(k)] = byte_at(size_t(order[k]));
  ok = true;
  return w;
}

std::u16string guid_wire_to_text(const std::string& w) {
  static const char* hx = "0123456789ABCDEF";
  const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  std::u16string out;
  for (int k = 0; k < 16; ++k) {
    if (k == 4 || k == 6 || k == 8 || k == 10) out += u'-';
    unsigned char c = size_t(order[k]) < w.size() ? (unsigned char)w[size_t(order[k])] : 0;
    out += char16_t(hx[c >> 4]);
    out += char16_t(hx[c & 15]);
  }
  return out;
}

dec to_dec(const value& v) { return exact_of(v); }

value from_dec(const dec& d) { return value::make_numeric(d.d, d.scale, d.neg && !dec_is_zero(d)); }

std::u16string to_text(const value& v, const type_desc& from, int style) {
  switch (v.kind) {
    case value::null:
      return u"";
    case value::i64:
      return num(v.i);
    case value::f64:
      return format_float(v.d, from.type == col_type::real);
    case value::numeric: {
      dec d = exact_of(v);
      if (from.type == col_type::money || from.type == col_type::smallmoney) {
        if (style == 2) return u16(dec_text(dec_round(d, 4)));
        return format_money(d);
      }
      return u16(dec_text(d));
    }
    case value::text:
      return v.s;
    case value::bytes: {
      if (style == 1) return hex_upper(v.b);
      if (style == 2) return hex_upper(v.b).substr(2);
      std::u16string out;
      for (unsigned char c : v.b) out += cp1252_char(c);
      return out;
    }
    case value::datetime: {
      std::u16string out;
      if (!format_moment(from.type, from.scale, v.days, moment_ns(v, from), style, out))
        format_moment(from.type, from.scale, v.days, moment_ns(v, from), 0, out);
      return out;
    }
    case value::guid:
      return guid_wire_to_text(v.b);
  }
  return u"";
}

std::u16string display_text(const value& v, const type_desc& t) {
  if (v.kind == value::null) return u"<NULL>";
  if (v.kind == value::datetime) return iso_text(t.type, t.scale, v.days, moment_ns(v, t));
  if (v.kind == value::bytes) return hex_upper(v.b);
  if (v.kind == value::numeric && (t.type == col_type::money || t.type == col_type::smallmoney))
    return u16(dec_text(exact_of(v)));
  if (v.kind == value::f64) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v.d);
    return u16(buf);
  }
  return to_text(v, t, 0);
}

bool implicit_allowed(const type_desc& from, const type_desc& to) {
  col_type f = from.type, t = to.type;
  if (f == t) return true;
  if (is_char(f) && is_binary(t)) return false;  // 257
  if (is_temporal(f) && (is_numeric_family(t) && t != col_type::float_ && t != col_type::real))
    return false;
  if ((f == col_type::text || f == col_type::ntext) && !is_char(t)) return false;
  if (f == col_type::image && !is_binary(t)) return false;
  if (f == col_type::uniqueidentifier && !(is_char(t) || is_binary(t))) return false;
  if (t == col_type::uniqueidentifier && !(is_char(f) || is_binary(f))) return false;
  if (is_numeric_family(f) &&
      (t == col_type::date || t == col_type::time || t == col_type::datetime2))
    return false;
  if ((f == col_type::date || f == col_type::time || f == col_type::datetime2) &&
      is_numeric_family(t))
    return false;
  return true;
}

value convert(const value& v, const type_desc& from, const type_desc& to, const conv_opts& o) {
  if (v.kind == value::null) return v;
  const col_type t = to.type;
  const col_type f = from.type;

  // Conversions SQL Server refuses outright.
  if (!o.explicit_ && !implicit_allowed(from, to)) {
    if (is_char(f) && is_binary(t)) throw sql_error(257, {type_name(from), type_name(to)});
    if (is_temporal(f) || is_temporal(t) || f == col_type::uniqueidentifier ||
        t == col_type::uniqueidentifier)
      throw sql_error(206, {type_name(from), type_name(to)});
    throw sql_error(529, {type_name(from), type_name(to)});
  }
  if (o.explicit_) {
    bool bad = ((f == col_type::text || f == col_type::ntext) && !is_char(t)) ||
               (f == col_type::image && !is_binary(t)) ||
               (f == col_type::uniqueidentifier && !(is_char(t) || is_binary(t) || t == f)) ||
               (t == col_type::uniqueidentifier && !(is_char(f) || is_binary(f) || t == f)) ||
               ((f == col_type::date || f == col_type::time) && is_numeric_family(t)) ||
               (is_numeric_family(f) &&
                (t == col_type::date || t == col_type::time || t == col_type::datetime2)) ||
               (f == col_type::datetime2 && is_numeric_family(t));
    if (bad) throw sql_error(529, {type_name(from), type_name(to)});
  }

  // ---- integers and bit
  if (is_integer(t) || t == col_type::bit) {
    int64_t r = 0;
    switch (v.kind) {
      case value::i64:
        r = v.i;
        break;
      case value::f64: {
        double d = std::trunc(v.d);
        if (t == col_type::bit) return value::make_int(v.d != 0);
        if (!(d >= double(int_min(t)) && d <= double(int_max(t))) || std::isnan(d))
          throw sql_error(8115, {u"float", type_name(to)});
        r = int64_t(d);
        break;
      }
      case value::numeric: {
        dec d = exact_of(v);
        if (t == col_type::bit) return value::make_int(!dec_is_zero(d));
        // numeric -> integer truncates; money -> integer rounds
        if (f == col_type::money || f == col_type::smallmoney) d = dec_round(d, 0);
        if (!dec_to_i64(d, r) || r < int_min(t) || r > int_max(t))
          throw sql_error(8115, {overflow_source(from), type_name(to)}, 2);
        return value::make_int(r);
      }
      case value::text: {
        std::u16string s = v.s;
        size_t a = 0, b = s.size();
        while (a < b && (s[a] == u' ' || s[a] == u'\t')) ++a;
        while (b > a && (s[b - 1] == u' ' || s[b - 1] == u'\t')) --b;
        std::u16string body = s.substr(a, b - a);
        if (t == col_type::bit) {
          if (ieq_ascii(body, "true")) return value::make_int(1);
          if (ieq_ascii(body, "false")) return value::make_int(0);
        }
        if (body.empty()) return value::make_int(0);
        size_t k = 0;
        bool neg = false;
        if (body[0] == u'+' || body[0] == u'-') {
          neg = body[0] == u'-';
          k = 1;
        }
        if (k >= body.size()) {
          if (t == col_type::bigint) throw sql_error(8114, {type_name(from), u"bigint"});
          fail245(v, from, to);
        }
        std::string digits;
        for (; k < body.size(); ++k) {
          if (body[k] < u'0' || body[k] > u'9') {
            if (t == col_type::bigint) throw sql_error(8114, {type_name(from), u"bigint"});
            fail245(v, from, to);
          }
          digits += char(body[k]);
        }
        size_t z = digits.find_first_not_of('0');
        digits = z == std::string::npos ? "0" : digits.substr(z);
        bool fits = digits.size() <= 19;
        uint64_t m = fits ? std::strtoull(digits.c_str(), nullptr, 10) : 0;
        if (fits && digits.size() == 19 && digits > "9223372036854775808") fits = false;
        int64_t val = 0;
        if (fits) {
          if (!neg && m > uint64_t(INT64_MAX))
            fits = false;
          else
            val = neg ? int64_t(0 - m) : int64_t(m);
        }
        if (t == col_type::bit) return value::make_int(!fits || val != 0);
        if (!fits || val < int_min(t) || val > int_max(t)) {
          if (t == col_type::tinyint || t == col_type::smallint)
            throw sql_error(244,
                            {type_name(from), v.s, t == col_type::tinyint ? u"INT1" : u"INT2"});
          if (t == col_type::int_) throw sql_error(248, {type_name(from), v.s});
          throw sql_error(8114, {type_name(from), u"bigint"});
        }
        return value::make_int(val);
      }
      case value::datetime: {
        // datetime -> int: days, rounded at noon
        int64_t d = v.days + (moment_ns(v, from) >= ns100_per_day / 2 ? 1 : 0);
        if (t == col_type::bit) return value::make_int(1);
        if (d < int_min(t) || d > int_max(t)) throw sql_error(8115, {u"expression", type_name(to)});
        return value::make_int(d);
      }
      case value::bytes: {
        // Binary -> integer reads the rightmost bytes big-endian.
        int size = int(fixed_size(to));
        uint64_t acc = 0;
        size_t start = v.b.size() > size_t(size) ? v.b.size() - size_t(size) : 0;
        for (size_t k = start; k < v.b.size(); ++k) acc = (acc << 8) | (unsigned char)v.b[k];
        int64_t val = int64_t(acc);
        if (size < 8) {
          int64_t sign = int64_t(1) << (size * 8 - 1);
          if (t != col_type::tinyint && (val & sign)) val -= sign * 2;
        }
        if (t == col_type::bit) return value::make_int(acc != 0);
        return value::make_int(val);
      }
      default:
        throw sql_error(529, {type_name(from), type_name(to)});
    }
    if (t == col_type::bit) return value::make_int(r != 0);
    if (r < int_min(t) || r > int_max(t)) {
      if (is_integer(f) && f != col_type::bigint &&
          (t == col_type::tinyint || t == col_type::smallint))
        throw sql_error(220, {type_name(to), num(r)});
      throw sql_error(8115, {u"expression", type_name(to)}, 2);
    }
    return value::make_int(r);
  }

  // ---- exact decimals and money
  if (t == col_type::numeric || t == col_type::money || t == col_type::smallmoney) {
    dec d;
    int scale = t == col_type::numeric ? to.scale : 4;
    int prec = t == col_type::numeric ? to.precision : (t == col_type::money ? 19 : 10);
    switch (v.kind) {
      case value::i64:
        d = dec_from_i64(v.i);
        break;
      case value::numeric:
        d = exact_of(v);
        break;
      case value::f64:
        if (!std::isfinite(v.d)) throw sql_error(8115, {u"float", type_name(to)}, 8);
        d = dec_from_double(v.d, scale);
        break;
      case value::text: {
        std::u16string s = v.s;
        if (t != col_type::numeric) {
          // money accepts a currency sign and thousands separators
          std::u16string c;
          for (char16_t ch : s)
            if (ch != u'$' && ch != u',') c += ch;
          s = c;
        }
        std::u16string body = s;
        while (!body.empty() && (body.back() == u' ' || body.back() == u'\t')) body.pop_back();
        size_t a = 0;
        while (a < body.size() && (body[a] == u' ' || body[a] == u'\t')) ++a;
        if (a == body.size()) {
          if (t == col_type::numeric) throw sql_error(8114, {type_name(from), u"numeric"});
          d = dec();
          break;
        }
        if (!dec_parse(body, d, false)) {
          if (t == col_type::numeric) throw sql_error(8114, {type_name(from), u"numeric"});
          throw sql_error(235, {});
        }
        break;
      }
      case value::datetime:
        if (t == col_type::numeric) throw sql_error(529, {type_name(from), type_name(to)});
        throw sql_error(529, {type_name(from), type_name(to)});
      case value::bytes: {
        uint64_t acc = 0;
        for (unsigned char c : v.b) acc = (acc << 8) | c;
        d = dec_from_i64(int64_t(acc));
        break;
      }
      default:
        throw sql_error(529, {type_name(from), type_name(to)});
    }
    d = dec_round(d, scale);
    bool over = dec_int_digits(d) > prec - scale;
    if (!over && t == col_type::smallmoney) {
      dec lim;
      dec_parse(d.neg ? u"214748.3648" : u"214748.3647", lim);
      lim.neg = false;
      dec mag = d;
      mag.neg = false;
      over = dec_compare(mag, lim) > 0;
    }
    if (!over && t == col_type::money) {
      dec mag = d;
      mag.neg = false;
      dec lim;
      dec_parse(d.neg ? u"922337203685477.5808" : u"922337203685477.5807", lim);
      over = dec_compare(mag, lim) > 0;
    }
    if (over) {
      if (t == col_type::numeric)
        throw sql_error(8115, {overflow_source(from), u"numeric"},
                        v.kind == value::numeric ? 8 : 2);
      throw sql_error(8115, {overflow_source(from), money_target_name(t)}, 2);
    }
    return from_dec(d);
  }

  // ---- approximate numbers
  if (t == col_type::float_ || t == col_type::real) {
    double d = 0;
    switch (v.kind) {
      case value::i64:
        d = double(v.i);
        break;
      case value::f64:
        d = v.d;
        break;
      case value::numeric:
        d = dec_to_double(exact_of(v));
        break;
      case value::text: {
        dec x;
        std::u16string s = v.s;
        while (!s.empty() && s.back() == u' ') s.pop_back();
        size_t a = 0;
        while (a < s.size() && s[a] == u' ') ++a;
        if (a == s.size()) {
          d = 0;
          break;
        }
        if (!dec_parse(s, x, true)) throw sql_error(8114, {type_name(from), u"float"});
        d = dec_to_double(x);
        break;
      }
      case value::datetime:
        d = v.days + double(moment_ns(v, from)) / double(ns100_per_day);
        break;
      default:
        throw sql_error(529, {type_name(from), type_name(to)});
    }
    if (!std::isfinite(d)) throw sql_error(8115, {overflow_source(from), type_name(to)});
    if (t == col_type::real) {
      if (std::fabs(d) > 3.40282346638528859812e+38) throw sql_error(8115, {u"float", u"real"});
      d = double(float(d));
    }
    return value::make_float(d);
  }

  // ---- character strings
  if (is_char(t)) {
    std::u16string s;
    bool from_string = v.kind == value::text;
    if (v.kind == value::text) {
      s = v.s;
    } else if (v.kind == value::bytes && is_unicode(t)) {
      for (size_t k = 0; k + 1 < v.b.size(); k += 2)
        s += char16_t((unsigned char)v.b[k] | ((unsigned char)v.b[k + 1] << 8));
    } else {
      s = to_text(v, from, o.style);
      if (to.length >= 0 && s.size() > size_t(to.length) && to.type != col_type::text &&
          to.type != col_type::ntext &&
          (v.kind == value::i64 || v.kind == value::numeric || v.kind == value::f64)) {
        // Numbers do not fit: char types show '*', n-types raise an overflow.
        if (is_unicode(t) || v.kind == value::numeric)
          throw sql_error(8115, {u"expression", type_name(to)}, 2);
        return value::make_text(u"*");
      }
    }
    return value::make_text(pad_or_cut_text(std::move(s), to, o, from_string));
  }

  // ---- binary
  if (is_binary(t)) {
    std::string b;
    switch (v.kind) {
      case value::bytes:
        b = v.b;
        break;
      case value::guid:
        b = v.b;
        break;
      case value::i64:
        b = bytes_of_int(v.i, f == col_type::bigint                          ? 8
                              : f == col_type::smallint                      ? 2
                              : f == col_type::tinyint || f == col_type::bit ? 1
                                                                             : 4);
        break;
      case value::text:
        if (is_unicode(f)) {
          for (char16_t c : v.s) {
            b += char(c & 0xFF);
            b += char(c >> 8);
          }
        } else {
          for (char16_t c : v.s) b += char(cp1252_byte(c));
        }
        break;
      default:
        throw sql_error(529, {type_name(from), type_name(to)});
    }
    if (to.length >= 0 && to.type != col_type::image && b.size() > size_t(to.length)) {
      if (!o.explicit_ && o.ansi_warnings) throw sql_error(8152, {});
      b.resize(size_t(to.length));
    }
    if (t == col_type::binary && b.size() < size_t(to.length))
      b.append(size_t(to.length) - b.size(), '\0');
    return value::make_bytes(std::move(b));
  }

  // ---- date and time
  if (is_temporal(t)) {
    int32_t days = 0;
    uint64_t ns = 0;
    switch (v.kind) {
      case value::text: {
        int rc = parse_datetime_text(v.s, o.order, t, days, ns);
        if (rc == 242) throw sql_error(242, {type_name(from), type_name(to)});
        if (rc) throw sql_error(241, {});
        break;
      }
      case value::datetime:
        days = v.days;
        ns = moment_ns(v, from);
        if (f == col_type::time && t != col_type::time) days = 0;
        break;
      case value::i64:
      case value::numeric:
      case value::f64: {
        double d = v.kind == value::i64   ? double(v.i)
                   : v.kind == value::f64 ? v.d
                                          : dec_to_double(exact_of(v));
        double whole = std::floor(d);
        if (std::fabs(whole) > 3e6) throw sql_error(8115, {u"expression", type_name(to)});
        days = int32_t(whole);
        ns = uint64_t((d - whole) * double(ns100_per_day) + 0.5);
        break;
      }
      default:
        throw sql_error(529, {type_name(from), type_name(to)});
    }
    if (t == col_type::time && v.kind == value::datetime) days = 0;
    if (!fit_moment(t, to.scale, days, ns)) {
      if (v.kind == value::text) {
        if (t == col_type::datetime || t == col_type::smalldatetime)
          throw sql_error(242, {type_name(from), type_name(to)});
        throw sql_error(241, {});
      }
      throw sql_error(242, {type_name(from), type_name(to)});
    }
    return make_moment(t, days, ns);
  }

  if (t == col_type::uniqueidentifier) {
    if (v.kind == value::guid) return v;
    if (v.kind == value::text) {
      bool ok = false;
      std::string w = guid_text_to_wire(v.s, ok);
      if (!ok) throw sql_error(8169, {});
      return value::make_guid(w);
    }
    if (v.kind == value::bytes) {
      std::string w = v.b;
      w.resize(16, '\0');
      return value::make_guid(w);
    }
    throw sql_error(529, {type_name(from), type_name(to)});
  }
  throw sql_error(529, {type_name(from), type_name(to)});
}

}  // namespace mssim
