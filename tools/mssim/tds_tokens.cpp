// Reply tokens.
#include "tds_tokens.h"

#include <algorithm>

namespace mssim {

namespace {

constexpr unsigned __int128 pow10_u128(int n) {
  unsigned __int128 r = 1;
  for (int i = 0; i < n; ++i) r *= 10;
  return r;
}
const unsigned __int128 max38 = pow10_u128(38) - 1;

// The long text types announce these maximum sizes.
constexpr uint32_t text_max = 0x7FFFFFFF;
constexpr uint32_t ntext_max = 0x7FFFFFFE;

// How a column travels.
enum class wire_kind { fixed, bytelen, numeric, ushortlen, plp, longlen, date, time, datetime2 };

struct wire_type {
  uint8_t code = 0;
  wire_kind kind = wire_kind::fixed;
  uint32_t max = 0;  // fixed: size; bytelen: length byte; ushortlen, longlen: max bytes
  bool collation = false;
  bool unicode = false;
  bool ansi = false;
};

bool is_max(const type_desc& t) { return t.length < 0; }

wire_type wire_of(const type_desc& t) {
  const bool n = t.nullable;
  switch (t.type) {
    case col_type::tinyint:
      return n ? wire_type{tdstype::intn, wire_kind::bytelen, 1}
               : wire_type{tdstype::int1, wire_kind::fixed, 1};
    case col_type::smallint:
      return n ? wire_type{tdstype::intn, wire_kind::bytelen, 2}
               : wire_type{tdstype::int2, wire_kind::fixed, 2};
    case col_type::int_:
      return n ? wire_type{tdstype::intn, wire_kind::bytelen, 4}
               : wire_type{tdstype::int4, wire_kind::fixed, 4};
    case col_type::bigint:
      return n ? wire_type{tdstype::intn, wire_kind::bytelen, 8}
               : wire_type{tdstype::int8, wire_kind::fixed, 8};
    case col_type::bit:
      return n ? wire_type{tdstype::bitn, wire_kind::bytelen, 1}
               : wire_type{tdstype::bit, wire_kind::fixed, 1};
    case col_type::real:
      return n ? wire_type{tdstype::fltn, wire_kind::bytelen, 4}
               : wire_type{tdstype::flt4, wire_kind::fixed, 4};
    case col_type::float_:
      return n ? wire_type{tdstype::fltn, wire_kind::bytelen, 8}
               : wire_type{tdstype::flt8, wire_kind::fixed, 8};
    case col_type::money:
      return n ? wire_type{tdstype::moneyn, wire_kind::bytelen, 8}
               : wire_type{tdstype::money, wire_kind::fixed, 8};
    case col_type::smallmoney:
      return n ? wire_type{tdstype::moneyn, wire_kind::bytelen, 4}
               : wire_type{tdstype::money4, wire_kind::fixed, 4};
    case col_type::datetime:
      return n ? wire_type{tdstype::datetimn, wire_kind::bytelen, 8}
               : wire_type{tdstype::datetime, wire_kind::fixed, 8};
    case col_type::smalldatetime:
      return n ? wire_type{tdstype::datetimn, wire_kind::bytelen, 4}
               : wire_type{tdstype::datetim4, wire_kind::fixed, 4};
    case col_type::numeric:
      return {t.decimal_name ? tdstype::decimaln : tdstype::numericn, wire_kind::numeric,
              numeric_size(t.precision ? t.precision : 18)};
    case col_type::date:
      return {tdstype::daten, wire_kind::date, 3};
    case col_type::time:
      return {tdstype::timen, wire_kind::time, 0};
    case col_type::datetime2:
      return {tdstype::datetime2n, wire_kind::datetime2, 0};
    case col_type::uniqueidentifier:
      return {tdstype::guid, wire_kind::bytelen, 16};
    case col_type::nchar:
    case col_type::nvarchar: {
      // More than 4000 characters only exists as nvarchar(max).
      if (is_max(t) || t.length > 4000)
        return {tdstype::nvarchar, wire_kind::plp, 0xFFFF, true, true, false};
      uint32_t bytes = 2u * static_cast<uint32_t>(t.length < 1 ? 1 : t.length);
      return {t.type == col_type::nchar ? tdstype::nchar : tdstype::nvarchar,
              wire_kind::ushortlen,
              bytes,
              true,
              true,
              false};
    }
    case col_type::char_:
    case col_type::varchar: {
      if (is_max(t) || t.length > 8000)
        return {tdstype::bigvarchr, wire_kind::plp, 0xFFFF, true, false, true};
      uint32_t bytes = static_cast<uint32_t>(t.length < 1 ? 1 : t.length);
      return {t.type == col_type::char_ ? tdstype::bigchar : tdstype::bigvarchr,
              wire_kind::ushortlen,
              bytes,
              true,
              false,
              true};
    }
    case col_type::binary:
    case col_type::varbinary: {
      if (is_max(t) || t.length > 8000) return {tdstype::bigvarbin, wire_kind::plp, 0xFFFF};
      uint32_t bytes = static_cast<uint32_t>(t.length < 1 ? 1 : t.length);
      return {t.type == col_type::binary ? tdstype::bigbinary : tdstype::bigvarbin,
              wire_kind::ushortlen, bytes};
    }
    case col_type::ntext:
      return {tdstype::ntext, wire_kind::longlen, ntext_max, true, true, false};
    case col_type::text:
      return {tdstype::text, wire_kind::longlen, text_max, true, false, true};
    case col_type::image:
      return {tdstype::image, wire_kind::longlen, text_max};
  }
  throw tds_encode_error("column type without a wire form");
}

uint8_t scale_of(const type_desc& t) { return t.scale > 7 ? 7 : t.scale; }

// time(n) is sent in 10^-n s units in 3, 4 or 5 bytes.
uint8_t time_size(uint8_t scale) { return scale <= 2 ? 3 : scale <= 4 ? 4 : 5; }

void write_time_value(tds_writer& w, uint64_t nanos100, uint8_t scale) {
  uint64_t units = nanos100;
  for (int i = scale; i < 7; ++i) units /= 10;
  uint8_t size = time_size(scale);
  for (int i = 0; i < size; ++i) w.u8(static_cast<uint8_t>(units >> (8 * i)));
}

void write_date_value(tds_writer& w, int32_t days_since_1900) {
  // The wire counts days from 0001-01-01.
  int64_t d = static_cast<int64_t>(days_since_1900) + 693595;
  if (d < 0 || d > 3652058) throw tds_encode_error("date outside 0001-01-01..9999-12-31");
  for (int i = 0; i < 3; ++i) w.u8(static_cast<uint8_t>(d >> (8 * i)));
}

[[noreturn]] void mismatch(const column& c, const char* what) {
  throw tds_encode_error("column '" + to_utf8(c.name) + "' cannot carry a " + what + " value");
}

int64_t as_int(const column& c, const value& v) {
  if (v.kind == value::i64) return v.i;
  mismatch(c, "non-integer");
}

double as_double(const column& c, const value& v) {
  if (v.kind == value::f64) return v.d;
  if (v.kind == value::i64) return static_cast<double>(v.i);
  if (v.kind == value::numeric) {
    bool neg = false;
    unsigned __int128 mag = scaled_magnitude(v, v.scale, neg);
    double d = static_cast<double>(mag);
    for (int i = 0; i < v.scale; ++i) d /= 10;
    return neg ? -d : d;
  }
  mismatch(c, "non-numeric");
}

// Money travels as a 64-bit count of ten-thousandths.
int64_t as_money(const column& c, const value& v) {
  if (v.kind != value::numeric && v.kind != value::i64) mismatch(c, "non-exact");
  bool neg = false;
  unsigned __int128 mag = scaled_magnitude(v, 4, neg);
  if (mag > static_cast<unsigned __int128>(INT64_MAX) + (neg ? 1 : 0))
    throw tds_encode_error("money value out of range in column '" + to_utf8(c.name) + "'");
  return neg ? static_cast<int64_t>(-mag) : static_cast<int64_t>(mag);
}

void write_money(tds_writer& w, int64_t units, uint32_t size) {
  if (size == 4) {
    w.i32(static_cast<int32_t>(units));
  } else {
    uint64_t u = static_cast<uint64_t>(units);
    w.u32(static_cast<uint32_t>(u >> 32));
    w.u32(static_cast<uint32_t>(u));
  }
}

void write_int(tds_writer& w, int64_t v, uint32_t size) {
  for (uint32_t i = 0; i < size; ++i)
    w.u8(static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i)));
}

std::string char_bytes(const column& c, const value& v, const wire_type& wt) {
  if (wt.unicode || wt.ansi) {
    if (v.kind != value::text) mismatch(c, "non-text");
    return wt.unicode ? text_to_utf16le(v.s) : text_to_cp1252(v.s);
  }
  if (v.kind != value::bytes && v.kind != value::guid) mismatch(c, "non-binary");
  return v.b;
}

// The fixed-size body of a non-NULL fixed or one-byte-length value (no length byte).
void write_scalar(tds_writer& w, const column& c, const value& v, const wire_type& wt) {
  switch (c.type.type) {
    case col_type::tinyint:
    case col_type::smallint:
    case col_type::int_:
    case col_type::bigint:
      write_int(w, as_int(c, v), wt.max);
      return;
    case col_type::bit:
      w.u8(as_int(c, v) != 0 ? 1 : 0);
      return;
    case col_type::real:
      w.f32(static_cast<float>(as_double(c, v)));
      return;
    case col_type::float_:
      w.f64(as_double(c, v));
      return;
    case col_type::money:
    case col_type::smallmoney:
      write_money(w, as_money(c, v), wt.max);
      return;
    case col_type::datetime:
      if (v.kind != value::datetime) mismatch(c, "non-date");
      w.i32(v.days);
      w.u32(v.ticks);
      return;
    case col_type::smalldatetime:
      if (v.kind != value::datetime) mismatch(c, "non-date");
      if (v.days < 0 || v.days > 65535) throw tds_encode_error("smalldatetime out of range");
      w.u16(static_cast<uint16_t>(v.days));
      w.u16(static_cast<uint16_t>(v.ticks / (300 * 60)));
      return;
    case col_type::uniqueidentifier:
      if ((v.kind != value::guid && v.kind != value::bytes) || v.b.size() != 16)
        mismatch(c, "non-GUID");
      w.raw(v.b);
      return;
    default:
      throw tds_encode_error("not a scalar column type");
  }
}

void write_text_pointer_value(tds_writer& w, const std::string& data) {
  w.u8(16);
  w.raw(std::string(16, '\xFF'));  // text pointer
  w.raw(std::string(8, '\xFF'));   // timestamp
  w.u32(static_cast<uint32_t>(data.size()));
  w.raw(data);
}

void write_plp(tds_writer& w, const std::string& data) {
  w.u64(data.size());
  if (!data.empty()) {
    w.u32(static_cast<uint32_t>(data.size()));
    w.raw(data);
  }
  w.u32(0);  // terminator
}

void write_value(tds_writer& w, const column& c, const value& v) {
  const wire_type wt = wire_of(c.type);
  const bool null = v.kind == value::null;
  if (null && wt.kind == wire_kind::fixed)
    throw tds_encode_error("NULL in NOT NULL column '" + to_utf8(c.name) + "'");
  switch (wt.kind) {
    case wire_kind::fixed:
      write_scalar(w, c, v, wt);
      return;
    case wire_kind::bytelen:
      if (null) {
        w.u8(0);
        return;
      }
      w.u8(static_cast<uint8_t>(wt.max));
      write_scalar(w, c, v, wt);
      return;
    case wire_kind::numeric: {
      if (null) {
        w.u8(0);
        return;
      }
      if (v.kind != value::numeric && v.kind != value::i64) mismatch(c, "non-exact");
      bool neg = false;
      unsigned __int128 mag = scaled_magnitude(v, c.type.scale, neg);
      uint8_t precision = c.type.precision ? c.type.precision : 18;
      if (mag >= pow10_u128(precision))
        throw tds_encode_error("value exceeds the precision of column '" + to_utf8(c.name) + "'");
      w.u8(static_cast<uint8_t>(wt.max));
      w.u8(neg && mag != 0 ? 0 : 1);
      for (uint32_t i = 0; i + 1 < wt.max; ++i) w.u8(static_cast<uint8_t>(mag >> (8 * i)));
      return;
    }
    case wire_kind::date:
      if (null) {
        w.u8(0);
        return;
      }
      if (v.kind != value::datetime) mismatch(c, "non-date");
      w.u8(3);
      write_date_value(w, v.days);
      return;
    case wire_kind::time: {
      if (null) {
        w.u8(0);
        return;
      }
      if (v.kind != value::datetime) mismatch(c, "non-time");
      uint8_t s = scale_of(c.type);
      w.u8(time_size(s));
      write_time_value(w, v.nanos100, s);
      return;
    }
    case wire_kind::datetime2: {
      if (null) {
        w.u8(0);
        return;
      }
      if (v.kind != value::datetime) mismatch(c, "non-date");
      uint8_t s = scale_of(c.type);
      w.u8(static_cast<uint8_t>(time_size(s) + 3));
      write_time_value(w, v.nanos100, s);
      write_date_value(w, v.days);
      return;
    }
    case wire_kind::ushortlen: {
      if (null) {
        w.u16(0xFFFF);
        return;
      }
      std::string data = char_bytes(c, v, wt);
      if (data.size() > 8000)
        throw tds_encode_error("value longer than column '" + to_utf8(c.name) + "'");
      w.u16(static_cast<uint16_t>(data.size()));
      w.raw(data);
      return;
    }
    case wire_kind::plp:
      if (null) {
        w.u64(~uint64_t{0});
        return;
      }
      write_plp(w, char_bytes(c, v, wt));
      return;
    case wire_kind::longlen:
      if (null) {
        w.u8(0);
        return;
      }
      write_text_pointer_value(w, char_bytes(c, v, wt));
      return;
  }
}

// Clients below TDS 7.3 know no date/time/datetime2, and below 7.2 no (max) types: SQL Server
// sends those as nvarchar text and as ntext/text/image, and so does this.
bool needs_downlevel(const tds_format& f, const type_desc& t) {
  if (!f.at_least(tds_version::v7_3a) &&
      (t.type == col_type::date || t.type == col_type::time || t.type == col_type::datetime2))
    return true;
  if (!f.at_least(tds_version::v7_2) &&
      (t.type == col_type::nvarchar || t.type == col_type::varchar ||
       t.type == col_type::varbinary) &&
      (t.length < 0 || t.length > (t.type == col_type::nvarchar ? 4000 : 8000)))
    return true;
  return false;
}

column downlevel_column(const column& c) {
  column d = c;
  type_desc& t = d.type;
  uint8_t s = scale_of(c.type);
  switch (c.type.type) {
    case col_type::date:
      t.type = col_type::nvarchar;
      t.length = 10;
      break;
    case col_type::time:
      t.type = col_type::nvarchar;
      t.length = 8 + (s ? s + 1 : 0);
      break;
    case col_type::datetime2:
      t.type = col_type::nvarchar;
      t.length = 19 + (s ? s + 1 : 0);
      break;
    case col_type::nvarchar:
      t.type = col_type::ntext;
      break;
    case col_type::varchar:
      t.type = col_type::text;
      break;
    default:
      t.type = col_type::image;
      break;
  }
  t.scale = 0;
  return d;
}

std::string digits2(int v) {
  return std::string(1, static_cast<char>('0' + v / 10)) + static_cast<char>('0' + v % 10);
}

// The ISO text of a date/time value (days since 1900-01-01, 100 ns units since midnight).
std::u16string iso_text(col_type type, const value& v, uint8_t scale) {
  std::string out;
  if (type != col_type::time) {
    // Civil date from a day count (days since 1970 shifted to an era-based calendar).
    long z = static_cast<long>(v.days) - 25567L + 719468L;
    long era = (z >= 0 ? z : z - 146096) / 146097;
    long doe = z - era * 146097;
    long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long mp = (5 * doy + 2) / 153;
    long day = doy - (153 * mp + 2) / 5 + 1;
    long month = mp < 10 ? mp + 3 : mp - 9;
    long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    std::string y = std::to_string(year);
    out = std::string(4 - std::min<size_t>(4, y.size()), '0') + y + "-" +
          digits2(static_cast<int>(month)) + "-" + digits2(static_cast<int>(day));
  }
  if (type != col_type::date) {
    uint64_t t = v.nanos100;
    uint64_t secs = t / 10000000;
    std::string frac = std::to_string(10000000 + t % 10000000).substr(1, scale);
    if (!out.empty()) out += " ";
    out += digits2(static_cast<int>(secs / 3600)) + ":" +
           digits2(static_cast<int>(secs / 60 % 60)) + ":" + digits2(static_cast<int>(secs % 60));
    if (scale) out += "." + frac;
  }
  return std::u16string(out.begin(), out.end());
}

value downlevel_value(const column& original, const value& v) {
  if (v.kind != value::datetime) return v;
  return value::make_text(iso_text(original.type.type, v, scale_of(original.type)));
}

}  // namespace

uint8_t numeric_size(uint8_t precision) {
  return precision <= 9 ? 5 : precision <= 19 ? 9 : precision <= 28 ? 13 : 17;
}

unsigned __int128 scaled_magnitude(const value& v, int scale, bool& negative) {
  unsigned __int128 mag = 0;
  int have_scale = 0;
  if (v.kind == value::i64) {
    negative = v.i < 0;
    mag = negative ? static_cast<unsigned __int128>(-(v.i + 1)) + 1
                   : static_cast<unsigned __int128>(v.i);
  } else if (v.kind == value::numeric) {
    negative = v.negative;
    have_scale = v.scale;
    size_t start = v.digits.find_first_not_of('0');
    if (start == std::string::npos) start = v.digits.size();
    if (v.digits.size() - start > 38)
      throw tds_encode_error("numeric value of more than 38 digits");
    for (size_t i = start; i < v.digits.size(); ++i) {
      char ch = v.digits[i];
      if (ch < '0' || ch > '9') throw tds_encode_error("numeric value with a non-digit");
      mag = mag * 10 + static_cast<unsigned>(ch - '0');
    }
  } else {
    throw tds_encode_error("not an exact number");
  }
  if (have_scale > scale) {
    // Round half away from zero, as SQL Server rounds numeric to a smaller scale.
    unsigned __int128 div = pow10_u128(have_scale - scale);
    unsigned __int128 rest = mag % div;
    mag /= div;
    if (rest * 2 >= div) ++mag;
  } else {
    for (int i = have_scale; i < scale; ++i) {
      if (mag > max38 / 10) throw tds_encode_error("numeric value of more than 38 digits");
      mag *= 10;
    }
  }
  if (mag > max38) throw tds_encode_error("numeric value of more than 38 digits");
  return mag;
}

std::string u128_to_digits(unsigned __int128 v) {
  if (v == 0) return "0";
  std::string s;
  while (v) {
    s.push_back(static_cast<char>('0' + static_cast<int>(v % 10)));
    v /= 10;
  }
  return std::string(s.rbegin(), s.rend());
}

void write_envchange(tds_writer& w, uint8_t type, std::u16string_view new_value,
                     std::u16string_view old_value) {
  w.u8(token::envchange);
  size_t len_pos = w.size();
  w.u16(0);
  w.u8(type);
  w.b_varchar(new_value);
  w.b_varchar(old_value);
  w.patch_u16(len_pos, static_cast<uint16_t>(w.size() - len_pos - 2));
}

void write_envchange_collation(tds_writer& w) {
  w.u8(token::envchange);
  w.u16(1 + 1 + 5 + 1);
  w.u8(env::collation);
  w.u8(5);
  w.raw(default_collation, 5);
  w.u8(0);
}

void write_message(tds_writer& w, const tds_format& f, const message& m,
                   std::u16string_view server) {
  w.u8(m.cls <= 10 ? token::info : token::error);
  size_t len_pos = w.size();
  w.u16(0);
  w.i32(m.number);
  w.u8(m.state);
  w.u8(m.cls);
  w.us_varchar(m.text);
  w.b_varchar(m.server.empty() ? server : std::u16string_view(m.server));
  w.b_varchar(m.proc);
  if (f.at_least(tds_version::v7_2))
    w.i32(m.line);
  else
    w.u16(static_cast<uint16_t>(m.line));
  w.patch_u16(len_pos, static_cast<uint16_t>(w.size() - len_pos - 2));
}

void write_loginack(tds_writer& w, uint32_t tds_version, std::u16string_view prog_name,
                    const version_info& v) {
  w.u8(token::loginack);
  size_t len_pos = w.size();
  w.u16(0);
  w.u8(1);  // interface: T-SQL
  w.u32_be(tds_version);
  w.b_varchar(prog_name);
  w.u8(static_cast<uint8_t>(v.major));
  w.u8(static_cast<uint8_t>(v.minor));
  w.u8(static_cast<uint8_t>(v.build >> 8));
  w.u8(static_cast<uint8_t>(v.build));
  w.patch_u16(len_pos, static_cast<uint16_t>(w.size() - len_pos - 2));
}

void write_featureextack(tds_writer& w) {
  w.u8(token::featureextack);
  w.u8(0xFF);
}

void write_done(tds_writer& w, const tds_format& f, uint8_t token_type, uint16_t status,
                uint16_t cur_cmd, uint64_t count) {
  w.u8(token_type);
  w.u16(status);
  w.u16(cur_cmd);
  if (f.at_least(tds_version::v7_2))
    w.u64(count);
  else
    w.u32(static_cast<uint32_t>(count));
}

void write_returnstatus(tds_writer& w, int32_t status) {
  w.u8(token::returnstatus);
  w.i32(status);
}

void write_login_reply(tds_writer& w, const tds_format& f, const login_reply& r) {
  auto info = [&](int32_t number, uint8_t state, std::u16string text) {
    message m;
    m.number = number;
    m.state = state;
    m.cls = 0;
    m.text = std::move(text);
    m.line = 0;
    write_message(w, f, m, r.server);
  };
  write_envchange(w, env::database, r.database, r.old_database);
  info(5701, 2, u"Changed database context to '" + r.database + u"'.");
  for (const message& m : r.messages) write_message(w, f, m, r.server);
  write_envchange_collation(w);
  write_envchange(w, env::language, u"us_english", u"");
  auto size_text = [](size_t n) {
    std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
  };
  write_envchange(w, env::packet_size, size_text(r.packet_size), size_text(r.old_packet_size));
  info(5703, 1, u"Changed language setting to us_english.");
  write_loginack(w, r.tds_version, r.prog_name, r.version);
  if (r.feature_ext_ack) write_featureextack(w);
  write_done(w, f, token::done, done_status::final_, 0, 0);
}

void write_colmetadata(tds_writer& w, const tds_format& f, const std::vector<column>& cols) {
  w.u8(token::colmetadata);
  w.u16(static_cast<uint16_t>(cols.size()));
  for (const column& original : cols) {
    const column c = needs_downlevel(f, original.type) ? downlevel_column(original) : original;
    const type_desc& t = c.type;
    const wire_type wt = wire_of(t);
    if (f.at_least(tds_version::v7_2))
      w.u32(0);  // user type
    else
      w.u16(0);
    // Flags: nullable; identity columns are read-only, other columns read/write (0x0008 is
    // the bit clients test for an updatable column).
    uint16_t flags = t.nullable ? 0x0001 : 0x0000;
    flags |= t.identity ? 0x0010 : 0x0008;
    w.u16(flags);
    w.u8(wt.code);
    switch (wt.kind) {
      case wire_kind::fixed:
        break;
      case wire_kind::bytelen:
        w.u8(static_cast<uint8_t>(wt.max));
        break;
      case wire_kind::numeric:
        w.u8(static_cast<uint8_t>(wt.max));
        w.u8(t.precision ? t.precision : 18);
        w.u8(t.scale);
        break;
      case wire_kind::date:
        break;
      case wire_kind::time:
      case wire_kind::datetime2:
        w.u8(scale_of(t));
        break;
      case wire_kind::ushortlen:
      case wire_kind::plp:
        w.u16(static_cast<uint16_t>(wt.max));
        if (wt.collation) w.raw(default_collation, 5);
        break;
      case wire_kind::longlen:
        w.u32(wt.max);
        if (wt.collation) w.raw(default_collation, 5);
        // The table the long value belongs to, as one name part.
        if (c.table.empty()) {
          w.u8(0);
        } else {
          w.u8(1);
          w.us_varchar(c.table);
        }
        break;
    }
    w.b_varchar(c.name);
  }
}

void write_row(tds_writer& w, const tds_format& f, const std::vector<column>& given_cols,
               const std::vector<value>& given_row) {
  // Below TDS 7.3 some columns travel in an older type; the values follow their column.
  std::vector<column> down_cols;
  std::vector<value> down_row;
  bool down = false;
  if (!f.at_least(tds_version::v7_3a))
    for (const column& c : given_cols) down |= needs_downlevel(f, c.type);
  if (down && given_row.size() == given_cols.size()) {
    for (size_t i = 0; i < given_cols.size(); ++i) {
      bool d = needs_downlevel(f, given_cols[i].type);
      down_cols.push_back(d ? downlevel_column(given_cols[i]) : given_cols[i]);
      down_row.push_back(d ? downlevel_value(given_cols[i], given_row[i]) : given_row[i]);
    }
  }
  const std::vector<column>& cols = down ? down_cols : given_cols;
  const std::vector<value>& row = down ? down_row : given_row;
  if (row.size() != cols.size())
    throw tds_encode_error("row of " + std::to_string(row.size()) + " values for " +
                           std::to_string(cols.size()) + " columns");
  bool any_null = false;
  for (const value& v : row) any_null |= v.kind == value::null;
  if (any_null && f.at_least(tds_version::v7_3b)) {
    std::string bitmap((cols.size() + 7) / 8, '\0');
    for (size_t i = 0; i < row.size(); ++i) {
      if (row[i].kind != value::null) continue;
      if (wire_of(cols[i].type).kind == wire_kind::fixed)
        throw tds_encode_error("NULL in NOT NULL column '" + to_utf8(cols[i].name) + "'");
      bitmap[i / 8] = static_cast<char>(bitmap[i / 8] | (1 << (i % 8)));
    }
    w.u8(token::nbcrow);
    w.raw(bitmap);
    for (size_t i = 0; i < row.size(); ++i)
      if (row[i].kind != value::null) write_value(w, cols[i], row[i]);
    return;
  }
  w.u8(token::row);
  for (size_t i = 0; i < row.size(); ++i) write_value(w, cols[i], row[i]);
}

}  // namespace mssim
