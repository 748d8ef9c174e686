#include "eng_storage.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdio>

#include "eng_convert.h"
#include "eng_datetime.h"
#include "eng_decimal.h"
#include "eng_types.h"
#include "eng_util.h"

namespace mssim {

std::string sql_column_decl(const type_desc& t) {
  if (is_integer(t.type) || t.type == col_type::bit) return "INTEGER";
  if (t.type == col_type::real || t.type == col_type::float_) return "REAL";
  if (t.type == col_type::numeric || t.type == col_type::money || t.type == col_type::smallmoney)
    return "TEXT COLLATE MSNUM";
  if (is_char(t.type)) return "TEXT COLLATE MSCI";
  if (is_binary(t.type)) return "BLOB";
  if (t.type == col_type::uniqueidentifier) return "TEXT COLLATE NOCASE";
  return "TEXT";
}

namespace {

std::string storage_string(const value& v, const type_desc& t) {
  switch (t.type) {
    case col_type::numeric:
    case col_type::money:
    case col_type::smallmoney: {
      dec d = to_dec(v);
      int scale = t.type == col_type::numeric ? t.scale : 4;
      return dec_text(dec_round(d, scale));
    }
    case col_type::datetime:
    case col_type::smalldatetime:
      return storage_text(t.type, v.days, (uint64_t(v.ticks) * 100000 + 1) / 3);
    case col_type::date:
    case col_type::time:
    case col_type::datetime2:
      return storage_text(t.type, v.days, v.nanos100);
    case col_type::uniqueidentifier:
      return to_utf8(guid_wire_to_text(v.b));
    default:
      return to_utf8(v.s);
  }
}

}  // namespace

void bind_value(sqlite3_stmt* s, int idx, const value& v, const type_desc& t) {
  switch (v.kind) {
    case value::null:
      sqlite3_bind_null(s, idx);
      return;
    case value::i64:
      if (t.type == col_type::float_ || t.type == col_type::real)
        sqlite3_bind_double(s, idx, double(v.i));
      else if (is_integer(t.type) || t.type == col_type::bit)
        sqlite3_bind_int64(s, idx, v.i);
      else {
        std::string txt = storage_string(v, t);
        sqlite3_bind_text(s, idx, txt.data(), int(txt.size()), SQLITE_TRANSIENT);
      }
      return;
    case value::f64:
      sqlite3_bind_double(s, idx, v.d);
      return;
    case value::text:
      sqlite3_bind_text16(s, idx, v.s.data(), int(v.s.size() * 2), SQLITE_TRANSIENT);
      return;
    case value::bytes:
      sqlite3_bind_blob(s, idx, v.b.data(), int(v.b.size()), SQLITE_TRANSIENT);
      return;
    default: {
      std::string txt = storage_string(v, t);
      sqlite3_bind_text(s, idx, txt.data(), int(txt.size()), SQLITE_TRANSIENT);
      return;
    }
  }
}

namespace {

value from_parts(int type, int64_t iv, double dv, const unsigned char* txt, int txt_bytes,
                 const void* txt16, int txt16_bytes, const void* blob, int blob_bytes,
                 const type_desc& t) {
  if (type == SQLITE_NULL) return value::make_null();
  col_type ct = t.type;
  if (is_integer(ct) || ct == col_type::bit) {
    if (type == SQLITE_INTEGER) return value::make_int(ct == col_type::bit ? iv != 0 : iv);
    if (type == SQLITE_FLOAT) return value::make_int(int64_t(std::trunc(dv)));
    if (type == SQLITE_TEXT) {
      dec d;
      std::string s(reinterpret_cast<const char*>(txt), size_t(txt_bytes));
      int64_t r = 0;
      if (dec_parse(u16(s), d, true) && dec_to_i64(d, r)) return value::make_int(r);
      return value::make_int(0);
    }
    return value::make_int(0);
  }
  if (ct == col_type::float_ || ct == col_type::real) {
    if (type == SQLITE_INTEGER) return value::make_float(double(iv));
    if (type == SQLITE_FLOAT)
      return value::make_float(ct == col_type::real ? double(float(dv)) : dv);
    std::string s(reinterpret_cast<const char*>(txt), size_t(txt_bytes));
    return value::make_float(std::strtod(s.c_str(), nullptr));
  }
  if (ct == col_type::numeric || ct == col_type::money || ct == col_type::smallmoney) {
    int scale = ct == col_type::numeric ? t.scale : 4;
    dec d;
    if (type == SQLITE_INTEGER)
      d = dec_from_i64(iv);
    else if (type == SQLITE_FLOAT)
      d = dec_from_double(dv, scale);
    else {
      std::string s(reinterpret_cast<const char*>(txt), size_t(txt_bytes));
      if (!dec_parse(u16(s), d, true)) d = dec();
    }
    return from_dec(dec_round(d, scale));
  }
  if (is_char(ct)) {
    if (type == SQLITE_TEXT)
      return value::make_text(
          std::u16string(static_cast<const char16_t*>(txt16), size_t(txt16_bytes) / 2));
    if (type == SQLITE_INTEGER) return value::make_text(num(iv));
    if (type == SQLITE_FLOAT) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.15g", dv);
      return value::make_text(u16(buf));
    }
    std::u16string s;
    const unsigned char* p = static_cast<const unsigned char*>(blob);
    for (int k = 0; k < blob_bytes; ++k) s += char16_t(p[k]);
    return value::make_text(s);
  }
  if (is_binary(ct)) {
    if (type == SQLITE_BLOB)
      return value::make_bytes(std::string(static_cast<const char*>(blob), size_t(blob_bytes)));
    return value::make_bytes(std::string(reinterpret_cast<const char*>(txt), size_t(txt_bytes)));
  }
  if (is_temporal(ct)) {
    int32_t days = 0;
    uint64_t ns = 0;
    if (type == SQLITE_TEXT) {
      std::string s(reinterpret_cast<const char*>(txt), size_t(txt_bytes));
      parse_storage_text(s, days, ns);
    } else if (type == SQLITE_FLOAT || type == SQLITE_INTEGER) {
      double d = type == SQLITE_FLOAT ? dv : double(iv);
      days = int32_t(std::floor(d));
      ns = uint64_t((d - std::floor(d)) * double(ns100_per_day));
    }
    if (ct == col_type::datetime || ct == col_type::smalldatetime)
      return value::make_datetime_ticks(days, uint32_t((ns * 3 + 50000) / 100000));
    return value::make_datetime_ns(days, ns);
  }
  if (ct == col_type::uniqueidentifier) {
    if (type == SQLITE_BLOB && blob_bytes == 16)
      return value::make_guid(std::string(static_cast<const char*>(blob), 16));
    std::string s(reinterpret_cast<const char*>(txt), size_t(txt_bytes));
    bool ok = false;
    std::string w = guid_text_to_wire(u16(s), ok);
    return ok ? value::make_guid(w) : value::make_null();
  }
  return value::make_null();
}

}  // namespace

value read_column(sqlite3_stmt* s, int col, const type_desc& t) {
  int type = sqlite3_column_type(s, col);
  switch (type) {
    case SQLITE_NULL:
      return value::make_null();
    case SQLITE_INTEGER:
      return from_parts(type, sqlite3_column_int64(s, col), 0, nullptr, 0, nullptr, 0, nullptr, 0,
                        t);
    case SQLITE_FLOAT:
      return from_parts(type, 0, sqlite3_column_double(s, col), nullptr, 0, nullptr, 0, nullptr, 0,
                        t);
    case SQLITE_BLOB: {
      const void* b = sqlite3_column_blob(s, col);
      int n = sqlite3_column_bytes(s, col);
      return from_parts(type, 0, 0, nullptr, 0, nullptr, 0, b, n, t);
    }
    default: {
      if (is_char(t.type)) {
        const void* p = sqlite3_column_text16(s, col);
        int n = sqlite3_column_bytes16(s, col);
        return from_parts(type, 0, 0, nullptr, 0, p, n, nullptr, 0, t);
      }
      const unsigned char* p = sqlite3_column_text(s, col);
      int n = sqlite3_column_bytes(s, col);
      return from_parts(type, 0, 0, p, n, nullptr, 0, nullptr, 0, t);
    }
  }
}

value read_sqlite_value(sqlite3_value* v, const type_desc& t) {
  int type = sqlite3_value_type(v);
  switch (type) {
    case SQLITE_NULL:
      return value::make_null();
    case SQLITE_INTEGER:
      return from_parts(type, sqlite3_value_int64(v), 0, nullptr, 0, nullptr, 0, nullptr, 0, t);
    case SQLITE_FLOAT:
      return from_parts(type, 0, sqlite3_value_double(v), nullptr, 0, nullptr, 0, nullptr, 0, t);
    case SQLITE_BLOB: {
      const void* b = sqlite3_value_blob(v);
      int n = sqlite3_value_bytes(v);
      return from_parts(type, 0, 0, nullptr, 0, nullptr, 0, b, n, t);
    }
    default: {
      if (is_char(t.type)) {
        const void* p = sqlite3_value_text16(v);
        int n = sqlite3_value_bytes16(v);
        return from_parts(type, 0, 0, nullptr, 0, p, n, nullptr, 0, t);
      }
      const unsigned char* p = sqlite3_value_text(v);
      int n = sqlite3_value_bytes(v);
      return from_parts(type, 0, 0, p, n, nullptr, 0, nullptr, 0, t);
    }
  }
}

void result_value(sqlite3_context* ctx, const value& v, const type_desc& t) {
  switch (v.kind) {
    case value::null:
      sqlite3_result_null(ctx);
      return;
    case value::i64:
      if (t.type == col_type::float_ || t.type == col_type::real)
        sqlite3_result_double(ctx, double(v.i));
      else
        sqlite3_result_int64(ctx, v.i);
      return;
    case value::f64:
      sqlite3_result_double(ctx, v.d);
      return;
    case value::text:
      sqlite3_result_text16(ctx, v.s.data(), int(v.s.size() * 2), SQLITE_TRANSIENT);
      return;
    case value::bytes:
      sqlite3_result_blob(ctx, v.b.data(), int(v.b.size()), SQLITE_TRANSIENT);
      return;
    default: {
      std::string s = storage_string(v, t);
      sqlite3_result_text(ctx, s.data(), int(s.size()), SQLITE_TRANSIENT);
      return;
    }
  }
}

std::string sql_quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += '\'';
    if (c == '\0') {
      // NUL cannot sit in a SQL literal; char(0) keeps it.
      out += "'||char(0)||'";
      continue;
    }
    out += c;
  }
  out += '\'';
  return out;
}

std::string sql_literal(const value& v, const type_desc& t) {
  switch (v.kind) {
    case value::null:
      return "NULL";
    case value::i64:
      if (t.type == col_type::float_ || t.type == col_type::real) return std::to_string(v.i) + ".0";
      return std::to_string(v.i);
    case value::f64: {
      if (!std::isfinite(v.d)) return "NULL";
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.17g", v.d);
      std::string s = buf;
      if (s.find_first_of(".e") == std::string::npos) s += ".0";
      return s;
    }
    case value::numeric: {
      // In expressions a decimal is a number; stored columns compare it through MSNUM.
      std::string s = dec_text(to_dec(v));
      if (s.find('.') == std::string::npos && s.size() < 19) return s;
      if (s.size() > 17) return sql_quote(s);
      return s;
    }
    case value::text:
      return sql_quote(to_utf8(v.s));
    case value::bytes: {
      static const char* hx = "0123456789ABCDEF";
      std::string out = "X'";
      for (unsigned char c : v.b) {
        out += hx[c >> 4];
        out += hx[c & 15];
      }
      return out + "'";
    }
    default:
      return sql_quote(storage_string(v, t));
  }
}

}  // namespace mssim
