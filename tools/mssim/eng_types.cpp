#include "eng_types.h"

#include <algorithm>

#include "eng_errors.h"
#include "eng_util.h"

namespace mssim {

type_desc make_type(col_type t, int32_t length, int precision, int scale) {
  type_desc d;
  d.type = t;
  d.length = length;
  d.precision = uint8_t(precision);
  d.scale = uint8_t(scale);
  switch (t) {
    case col_type::money:
      d.precision = 19;
      d.scale = 4;
      break;
    case col_type::smallmoney:
      d.precision = 10;
      d.scale = 4;
      break;
    default:
      break;
  }
  if (!is_char(t) && !is_binary(t)) d.length = fixed_size(d);
  return d;
}

type_desc int_type() { return make_type(col_type::int_); }
type_desc bigint_type() { return make_type(col_type::bigint); }
type_desc bit_type() { return make_type(col_type::bit); }
type_desc float_type() { return make_type(col_type::float_); }
type_desc nvarchar_type(int32_t n) { return make_type(col_type::nvarchar, n); }
type_desc varchar_type(int32_t n) { return make_type(col_type::varchar, n); }
type_desc numeric_type(int p, int s) { return make_type(col_type::numeric, 0, p, s); }
type_desc datetime_type() { return make_type(col_type::datetime); }

int32_t fixed_size(const type_desc& t) {
  switch (t.type) {
    case col_type::tinyint:
    case col_type::bit:
      return 1;
    case col_type::smallint:
      return 2;
    case col_type::int_:
    case col_type::real:
    case col_type::smallmoney:
    case col_type::smalldatetime:
      return 4;
    case col_type::bigint:
    case col_type::float_:
    case col_type::money:
    case col_type::datetime:
      return 8;
    case col_type::numeric:
      return t.precision <= 9 ? 5 : t.precision <= 19 ? 9 : t.precision <= 28 ? 13 : 17;
    case col_type::date:
      return 3;
    case col_type::time:
      return t.scale <= 2 ? 3 : t.scale <= 4 ? 4 : 5;
    case col_type::datetime2:
      return (t.scale <= 2 ? 3 : t.scale <= 4 ? 4 : 5) + 3;
    case col_type::uniqueidentifier:
      return 16;
    case col_type::text:
    case col_type::ntext:
    case col_type::image:
      return -1;
    default:
      return t.length;
  }
}

int32_t key_bytes(const type_desc& t) {
  if (is_char(t.type) || is_binary(t.type)) {
    if (t.length < 0) return -1;
    return is_unicode(t.type) ? 2 * t.length : t.length;
  }
  return fixed_size(t);
}

bool is_integer(col_type t) {
  return t == col_type::tinyint || t == col_type::smallint || t == col_type::int_ ||
         t == col_type::bigint;
}
bool is_exact(col_type t) {
  return is_integer(t) || t == col_type::bit || t == col_type::numeric || t == col_type::money ||
         t == col_type::smallmoney;
}
bool is_numeric_family(col_type t) {
  return is_exact(t) || t == col_type::real || t == col_type::float_;
}
bool is_char(col_type t) {
  return t == col_type::nchar || t == col_type::nvarchar || t == col_type::ntext ||
         t == col_type::char_ || t == col_type::varchar || t == col_type::text;
}
bool is_unicode(col_type t) {
  return t == col_type::nchar || t == col_type::nvarchar || t == col_type::ntext;
}
bool is_binary(col_type t) {
  return t == col_type::binary || t == col_type::varbinary || t == col_type::image;
}
bool is_temporal(col_type t) {
  return t == col_type::datetime || t == col_type::smalldatetime || t == col_type::date ||
         t == col_type::time || t == col_type::datetime2;
}
bool is_lob(const type_desc& t) {
  return t.type == col_type::text || t.type == col_type::ntext || t.type == col_type::image ||
         ((is_char(t.type) || is_binary(t.type)) && t.length < 0);
}
bool is_fixed_len(col_type t) {
  return t == col_type::char_ || t == col_type::nchar || t == col_type::binary;
}

int precedence(col_type t) {
  switch (t) {
    case col_type::datetime2:
      return 30;
    case col_type::datetime:
      return 29;
    case col_type::smalldatetime:
      return 28;
    case col_type::date:
      return 27;
    case col_type::time:
      return 26;
    case col_type::float_:
      return 25;
    case col_type::real:
      return 24;
    case col_type::numeric:
      return 23;
    case col_type::money:
      return 22;
    case col_type::smallmoney:
      return 21;
    case col_type::bigint:
      return 20;
    case col_type::int_:
      return 19;
    case col_type::smallint:
      return 18;
    case col_type::tinyint:
      return 17;
    case col_type::bit:
      return 16;
    case col_type::ntext:
      return 15;
    case col_type::text:
      return 14;
    case col_type::image:
      return 13;
    case col_type::uniqueidentifier:
      return 12;
    case col_type::nvarchar:
      return 11;
    case col_type::nchar:
      return 10;
    case col_type::varchar:
      return 9;
    case col_type::char_:
      return 8;
    case col_type::varbinary:
      return 7;
    case col_type::binary:
      return 6;
  }
  return 0;
}

namespace {

int digits_of_int(col_type t) {
  switch (t) {
    case col_type::tinyint:
      return 3;
    case col_type::smallint:
      return 5;
    case col_type::int_:
      return 10;
    case col_type::bigint:
      return 19;
    case col_type::bit:
      return 1;
    default:
      return 0;
  }
}

// Integer and money types as numeric(p,s) for merging precision and scale.
void as_numeric(const type_desc& t, int& p, int& s) {
  if (t.type == col_type::numeric || t.type == col_type::money || t.type == col_type::smallmoney) {
    p = t.precision;
    s = t.scale;
  } else {
    p = digits_of_int(t.type);
    s = 0;
  }
}

}  // namespace

type_desc common_type(const type_desc& a, const type_desc& b) {
  type_desc r = precedence(a.type) >= precedence(b.type) ? a : b;
  r.identity = false;
  r.nullable = a.nullable || b.nullable;
  if (r.type == col_type::numeric && is_exact(a.type) && is_exact(b.type)) {
    int p1, s1, p2, s2;
    as_numeric(a, p1, s1);
    as_numeric(b, p2, s2);
    int s = std::max(s1, s2);
    int p = std::max(p1 - s1, p2 - s2) + s;
    r.precision = uint8_t(std::min(38, p));
    r.scale = uint8_t(std::min(s, int(r.precision)));
    r.length = fixed_size(r);
    r.decimal_name = false;
  } else if (is_char(r.type) && is_char(a.type) && is_char(b.type)) {
    int32_t la = a.length, lb = b.length;
    r.length = (la < 0 || lb < 0) ? -1 : std::max(la, lb);
    if (is_unicode(a.type) || is_unicode(b.type)) {
      if (!is_unicode(r.type)) r.type = col_type::nvarchar;
    }
  } else if (is_binary(r.type) && is_binary(a.type) && is_binary(b.type)) {
    r.length = (a.length < 0 || b.length < 0) ? -1 : std::max(a.length, b.length);
  }
  return r;
}

std::u16string type_name(const type_desc& t) {
  switch (t.type) {
    case col_type::tinyint:
      return u"tinyint";
    case col_type::smallint:
      return u"smallint";
    case col_type::int_:
      return u"int";
    case col_type::bigint:
      return u"bigint";
    case col_type::bit:
      return u"bit";
    case col_type::real:
      return u"real";
    case col_type::float_:
      return u"float";
    case col_type::money:
      return u"money";
    case col_type::smallmoney:
      return u"smallmoney";
    case col_type::numeric:
      return t.decimal_name ? u"decimal" : u"numeric";
    case col_type::datetime:
      return u"datetime";
    case col_type::smalldatetime:
      return u"smalldatetime";
    case col_type::date:
      return u"date";
    case col_type::time:
      return u"time";
    case col_type::datetime2:
      return u"datetime2";
    case col_type::nchar:
      return u"nchar";
    case col_type::nvarchar:
      return u"nvarchar";
    case col_type::ntext:
      return u"ntext";
    case col_type::char_:
      return u"char";
    case col_type::varchar:
      return u"varchar";
    case col_type::text:
      return u"text";
    case col_type::binary:
      return u"binary";
    case col_type::varbinary:
      return u"varbinary";
    case col_type::image:
      return u"image";
    case col_type::uniqueidentifier:
      return u"uniqueidentifier";
  }
  return u"?";
}

std::u16string type_decl(const type_desc& t) {
  std::u16string n = type_name(t);
  if (is_char(t.type) || is_binary(t.type)) {
    if (t.type == col_type::text || t.type == col_type::ntext || t.type == col_type::image)
      return n;
    return n + u"(" + (t.length < 0 ? std::u16string(u"max") : num(t.length)) + u")";
  }
  if (t.type == col_type::numeric) return n + u"(" + num(t.precision) + u"," + num(t.scale) + u")";
  if (t.type == col_type::time || t.type == col_type::datetime2)
    return n + u"(" + num(t.scale) + u")";
  return n;
}

namespace {

struct base_type {
  const char* name;
  col_type type;
  enum { none, length, precision_scale, fraction, float_bits } args;
};

const base_type base_types[] = {
    {"tinyint", col_type::tinyint, base_type::none},
    {"smallint", col_type::smallint, base_type::none},
    {"int", col_type::int_, base_type::none},
    {"integer", col_type::int_, base_type::none},
    {"bigint", col_type::bigint, base_type::none},
    {"bit", col_type::bit, base_type::none},
    {"real", col_type::real, base_type::none},
    {"float", col_type::float_, base_type::float_bits},
    {"money", col_type::money, base_type::none},
    {"smallmoney", col_type::smallmoney, base_type::none},
    {"numeric", col_type::numeric, base_type::precision_scale},
    {"decimal", col_type::numeric, base_type::precision_scale},
    {"dec", col_type::numeric, base_type::precision_scale},
    {"datetime", col_type::datetime, base_type::none},
    {"smalldatetime", col_type::smalldatetime, base_type::none},
    {"date", col_type::date, base_type::none},
    {"time", col_type::time, base_type::fraction},
    {"datetime2", col_type::datetime2, base_type::fraction},
    {"nchar", col_type::nchar, base_type::length},
    {"nvarchar", col_type::nvarchar, base_type::length},
    {"ntext", col_type::ntext, base_type::none},
    {"char", col_type::char_, base_type::length},
    {"character", col_type::char_, base_type::length},
    {"varchar", col_type::varchar, base_type::length},
    {"text", col_type::text, base_type::none},
    {"binary", col_type::binary, base_type::length},
    {"varbinary", col_type::varbinary, base_type::length},
    {"image", col_type::image, base_type::none},
    {"uniqueidentifier", col_type::uniqueidentifier, base_type::none},
    {"sysname", col_type::nvarchar, base_type::none},
};

bool parse_int(const std::u16string& s, int64_t& v) {
  if (s.empty() || s.size() > 12) return false;
  v = 0;
  for (char16_t c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  return true;
}

}  // namespace

type_desc resolve_type(const qname& name, const std::vector<std::u16string>& args, int colno,
                       const std::u16string& colname, bool for_cast) {
  // Multi-word names were joined by the parser with a single space ("double precision").
  std::u16string n = name.parts.empty() ? std::u16string() : name.last();
  if (name.parts.size() > 1) {
    const std::u16string& schema = name.part_from_end(1);
    if (!ieq_ascii(schema, "sys") && !ieq_ascii(schema, "dbo"))
      throw sql_error(2715, {num(colno), name.text});
  }
  std::u16string key = fold(n);
  if (key == u"double precision") key = u"float";
  if (key == u"char varying" || key == u"character varying") key = u"varchar";
  if (key == u"national char varying" || key == u"national character varying") key = u"nvarchar";
  if (key == u"national char" || key == u"national character") key = u"nchar";
  if (key == u"national text") key = u"ntext";
  if (key == u"binary varying") key = u"varbinary";
  const base_type* bt = nullptr;
  for (const auto& b : base_types)
    if (key == u16(b.name)) bt = &b;
  if (!bt) throw sql_error(2715, {num(colno), name.text});
  type_desc t;
  t.type = bt->type;
  t.decimal_name = key == u"decimal" || key == u"dec";
  std::u16string written = n;
  auto no_args = [&] {
    if (!args.empty()) throw sql_error(2716, {num(colno), written});
  };
  switch (bt->args) {
    case base_type::none:
      no_args();
      if (key == u"sysname") {
        t = nvarchar_type(128);
        return t;
      }
      t = make_type(bt->type);
      if (t.type == col_type::time || t.type == col_type::datetime2) t.scale = 7;
      return t;
    case base_type::float_bits: {
      if (args.size() > 1) throw sql_error(2716, {num(colno), written});
      int64_t bits = 53;
      if (!args.empty() && (!parse_int(args[0], bits) || bits < 1 || bits > 53))
        throw sql_error(2716, {num(colno), written});
      return make_type(bits <= 24 ? col_type::real : col_type::float_);
    }
    case base_type::fraction: {
      if (args.size() > 1) throw sql_error(2716, {num(colno), written});
      int64_t f = 7;
      if (!args.empty() && (!parse_int(args[0], f) || f > 7))
        throw sql_error(1002, {num(name.parts.empty() ? 1 : 1), args.empty() ? u"" : args[0]});
      t = make_type(bt->type, 0, 0, int(f));
      t.length = fixed_size(t);
      return t;
    }
    case base_type::precision_scale: {
      if (args.size() > 2) throw sql_error(2716, {num(colno), written});
      int64_t p = 18, s = 0;
      if (!args.empty() && !parse_int(args[0], p)) throw sql_error(102, {args[0]});
      if (args.size() > 1 && !parse_int(args[1], s)) throw sql_error(102, {args[1]});
      if (p == 0) throw sql_error(1001, {u"1", u"0"});
      if (p > 38) throw sql_error(2750, {num(colno), num(p)});
      if (s > p) throw sql_error(2751, {num(colno), num(s), num(p)});
      t = make_type(col_type::numeric, 0, int(p), int(s));
      t.decimal_name = key == u"decimal" || key == u"dec";
      return t;
    }
    case base_type::length: {
      if (args.size() > 1) throw sql_error(2716, {num(colno), written});
      int64_t len = for_cast ? 30 : 1;
      bool unicode = is_unicode(bt->type);
      int64_t limit = unicode ? 4000 : 8000;
      if (!args.empty()) {
        if (ieq_ascii(args[0], "max")) {
          if (is_fixed_len(bt->type)) throw sql_error(102, {u"max"});
          len = -1;
        } else if (!parse_int(args[0], len)) {
          throw sql_error(102, {args[0]});
        } else if (len == 0) {
          throw sql_error(1001, {u"1", u"0"});
        } else if (len > limit) {
          throw sql_error(131, {num(len), u"column", colname, num(limit)});
        }
      }
      return make_type(bt->type, int32_t(len));
    }
  }
  return t;
}

int64_t pack_type(const type_desc& t) {
  return int64_t(t.type) | (int64_t(t.precision) << 8) | (int64_t(t.scale) << 16) |
         (int64_t(t.decimal_name) << 23) | (int64_t(uint32_t(t.length + 1)) << 24);
}

type_desc unpack_type(int64_t code) {
  type_desc t;
  t.type = col_type(code & 0xFF);
  t.precision = uint8_t((code >> 8) & 0xFF);
  t.scale = uint8_t((code >> 16) & 0x7F);
  t.decimal_name = (code >> 23) & 1;
  t.length = int32_t(uint32_t(code >> 24)) - 1;
  return t;
}

}  // namespace mssim
