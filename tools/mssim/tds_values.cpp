// TYPE_INFO and value decoding for RPC parameters and bulk rows.
#include "tds_values.h"

#include "tds_tokens.h"

namespace mssim {

namespace {

// Days between 0001-01-01 (the origin of date/datetime2 on the wire) and 1900-01-01.
constexpr int32_t days_0001_to_1900 = 693595;

uint8_t time_size(uint8_t scale) { return scale <= 2 ? 3 : scale <= 4 ? 4 : 5; }

[[noreturn]] void bad_length(const wire_column& c, uint64_t len) {
  throw tds_protocol_error("length " + std::to_string(len) + " does not fit data type 0x" +
                           hex_dump(std::string(1, char(c.code))));
}

uint64_t read_uint(tds_reader& r, size_t n) {
  uint64_t v = 0;
  std::string_view b = r.raw(n);
  for (size_t i = n; i-- > 0;) v = (v << 8) | static_cast<uint8_t>(b[i]);
  return v;
}

int64_t sign_extend(uint64_t v, size_t bytes) {
  if (bytes >= 8) return static_cast<int64_t>(v);
  uint64_t sign = uint64_t{1} << (8 * bytes - 1);
  return static_cast<int64_t>((v ^ sign) - sign);
}

value int_value(tds_reader& r, size_t n) {
  uint64_t raw = read_uint(r, n);
  // tinyint is the one unsigned integer type.
  return value::make_int(n == 1 ? static_cast<int64_t>(raw) : sign_extend(raw, n));
}

value float_value(tds_reader& r, size_t n) {
  return value::make_float(n == 4 ? static_cast<double>(r.f32()) : r.f64());
}

value money_value(tds_reader& r, size_t n) {
  int64_t units;
  if (n == 4) {
    units = r.i32();
  } else {
    uint64_t hi = r.u32();
    uint64_t lo = r.u32();
    units = static_cast<int64_t>((hi << 32) | lo);
  }
  bool neg = units < 0;
  unsigned __int128 mag = neg ? static_cast<unsigned __int128>(-(units + 1)) + 1
                              : static_cast<unsigned __int128>(units);
  return value::make_numeric(u128_to_digits(mag), 4, neg);
}

value datetime_value(tds_reader& r, size_t n) {
  if (n == 4) {
    uint16_t days = r.u16();
    uint16_t minutes = r.u16();
    return value::make_datetime_ticks(days, uint32_t(minutes) * 60 * 300);
  }
  int32_t days = r.i32();
  uint32_t ticks = r.u32();
  return value::make_datetime_ticks(days, ticks);
}

uint64_t time_units(tds_reader& r, uint8_t scale) {
  uint64_t units = read_uint(r, time_size(scale));
  for (int i = scale; i < 7; ++i) units *= 10;
  if (units >= 864000000000ULL) throw tds_protocol_error("time of day beyond 24 hours");
  return units;
}

int32_t date_days(tds_reader& r) {
  return static_cast<int32_t>(read_uint(r, 3)) - days_0001_to_1900;
}

std::string read_plp(tds_reader& r, const wire_column& c, bool& is_null) {
  uint64_t total = r.u64();
  is_null = total == ~uint64_t{0};
  std::string out;
  if (is_null) return out;
  if (total != ~uint64_t{0} - 1) out.reserve(total < (1u << 24) ? total : (1u << 24));
  for (;;) {
    uint32_t chunk = r.u32();
    if (chunk == 0) break;
    out.append(r.raw(chunk));
  }
  if (total != ~uint64_t{0} - 1 && out.size() != total) bad_length(c, out.size());
  return out;
}

value text_value(const wire_column& c, std::string data) {
  switch (c.code) {
    case tdstype::nvarchar:
    case tdstype::nchar:
    case tdstype::ntext:
      if (data.size() % 2) throw tds_protocol_error("Unicode data of odd byte size");
      return value::make_text(utf16le_to_text(data));
    case tdstype::bigvarchr:
    case tdstype::bigchar:
    case tdstype::text:
      return value::make_text(cp1252_to_text(data));
    default:
      return value::make_bytes(std::move(data));
  }
}

}  // namespace

wire_column read_type_info(tds_reader& r, value_context ctx) {
  wire_column c;
  c.code = r.u8();
  switch (c.code) {
    case tdstype::int1:
    case tdstype::bit:
      c.max_length = 1;
      break;
    case tdstype::int2:
      c.max_length = 2;
      break;
    case tdstype::int4:
    case tdstype::flt4:
    case tdstype::money4:
    case tdstype::datetim4:
      c.max_length = 4;
      break;
    case tdstype::int8:
    case tdstype::flt8:
    case tdstype::money:
    case tdstype::datetime:
      c.max_length = 8;
      break;
    case tdstype::intn:
    case tdstype::bitn:
    case tdstype::fltn:
    case tdstype::moneyn:
    case tdstype::datetimn:
    case tdstype::guid:
      c.max_length = r.u8();
      break;
    case tdstype::decimaln:
    case tdstype::numericn:
      c.max_length = r.u8();
      c.precision = r.u8();
      c.scale = r.u8();
      if (c.precision < 1 || c.precision > 38 || c.scale > c.precision)
        throw tds_protocol_error("numeric precision/scale out of range");
      break;
    case tdstype::daten:
      c.max_length = 3;
      break;
    case tdstype::timen:
    case tdstype::datetime2n:
      c.scale = r.u8();
      if (c.scale > 7) throw tds_protocol_error("time scale above 7");
      break;
    case tdstype::bigvarchr:
    case tdstype::bigchar:
    case tdstype::nvarchar:
    case tdstype::nchar:
      c.max_length = r.u16();
      c.plp = c.max_length == 0xFFFF;
      {
        std::string_view coll = r.raw(5);
        for (int i = 0; i < 5; ++i) c.collation[i] = static_cast<uint8_t>(coll[i]);
      }
      break;
    case tdstype::bigvarbin:
    case tdstype::bigbinary:
      c.max_length = r.u16();
      c.plp = c.max_length == 0xFFFF;
      break;
    case tdstype::text:
    case tdstype::ntext:
    case tdstype::image:
      c.max_length = r.u32();
      if (c.code != tdstype::image) {
        std::string_view coll = r.raw(5);
        for (int i = 0; i < 5; ++i) c.collation[i] = static_cast<uint8_t>(coll[i]);
      }
      // Bulk COLMETADATA names the table here, as a US_VARCHAR without a part count.
      if (ctx == value_context::bulk_row) r.us_varchar();
      break;
    default:
      throw tds_type_error(c.code);
  }
  return c;
}

value read_value(tds_reader& r, const wire_column& c, value_context ctx) {
  switch (c.code) {
    case tdstype::int1:
    case tdstype::int2:
    case tdstype::int4:
    case tdstype::int8:
      return int_value(r, c.max_length);
    case tdstype::bit:
      return value::make_int(r.u8() != 0);
    case tdstype::flt4:
    case tdstype::flt8:
      return float_value(r, c.max_length);
    case tdstype::money:
    case tdstype::money4:
      return money_value(r, c.max_length);
    case tdstype::datetime:
    case tdstype::datetim4:
      return datetime_value(r, c.max_length);
    case tdstype::intn: {
      uint8_t n = r.u8();
      if (n == 0) return value::make_null();
      if (n != 1 && n != 2 && n != 4 && n != 8) bad_length(c, n);
      return int_value(r, n);
    }
    case tdstype::bitn: {
      uint8_t n = r.u8();
      if (n == 0) return value::make_null();
      if (n != 1) bad_length(c, n);
      return value::make_int(r.u8() != 0);
    }
    case tdstype::fltn: {
      uint8_t n = r.u8();
      if (n == 0) return value::make_null();
      if (n != 4 && n != 8) bad_length(c, n);
      return float_value(r, n);
    }
    case tdstype::moneyn: {
      uint8_t n = r.u8();
      if (n == 0) return value::make_null();
      if (n != 4 && n != 8) bad_length(c, n);
      return money_value(r, n);
    }
    case tdstype::datetimn: {
      uint8_t n = r.u8();
      if (n == 0) return value::make_null();
      if (n != 4 && n != 8) bad_length(c, n);
      return datetime_value(r, n);
    }
    case tdstype::guid: {
      uint8_t n = r.u8();
      if (n == 0) return value::make_null();
      if (n != 16) bad_length(c, n);
      return value::make_guid(std::string(r.raw(16)));
    }
    case tdstype::decimaln:
    case tdstype::numericn: {
      uint8_t n = r.u8();
      if (n == 0) return value::make_null();
      if (n < 2 || n > 17) bad_length(c, n);
      uint8_t sign = r.u8();
      std::string_view mag_bytes = r.raw(n - 1u);
      unsigned __int128 mag = 0;
      for (size_t i = mag_bytes.size(); i-- > 0;) {
        if (mag >> 120) throw tds_protocol_error("numeric magnitude beyond 128 bits");
        mag = (mag << 8) | static_cast<uint8_t>(mag_bytes[i]);
      }
      std::string digits = u128_to_digits(mag);
      if (digits.size() > 38) throw tds_protocol_error("numeric value of more than 38 digits");
      return value::make_numeric(std::move(digits), c.scale, sign == 0 && mag != 0);
    }
    case tdstype::daten: {
      uint8_t n = r.u8();
      if (n == 0) return value::make_null();
      if (n != 3) bad_length(c, n);
      return value::make_datetime_ns(date_days(r), 0);
    }
    case tdstype::timen: {
      uint8_t n = r.u8();
      if (n == 0) return value::make_null();
      if (n != time_size(c.scale)) bad_length(c, n);
      return value::make_datetime_ns(0, time_units(r, c.scale));
    }
    case tdstype::datetime2n: {
      uint8_t n = r.u8();
      if (n == 0) return value::make_null();
      if (n != time_size(c.scale) + 3u) bad_length(c, n);
      uint64_t units = time_units(r, c.scale);
      return value::make_datetime_ns(date_days(r), units);
    }
    case tdstype::bigvarchr:
    case tdstype::bigchar:
    case tdstype::nvarchar:
    case tdstype::nchar:
    case tdstype::bigvarbin:
    case tdstype::bigbinary: {
      if (c.plp) {
        bool is_null = false;
        std::string data = read_plp(r, c, is_null);
        if (is_null) return value::make_null();
        return text_value(c, std::move(data));
      }
      uint16_t n = r.u16();
      if (n == 0xFFFF) return value::make_null();
      if (n > 8000) bad_length(c, n);
      return text_value(c, std::string(r.raw(n)));
    }
    case tdstype::text:
    case tdstype::ntext:
    case tdstype::image: {
      if (ctx == value_context::rpc) {
        uint32_t n = r.u32();
        if (n == 0xFFFFFFFF) return value::make_null();
        return text_value(c, std::string(r.raw(n)));
      }
      uint8_t ptr_len = r.u8();
      if (ptr_len == 0) return value::make_null();
      r.skip(ptr_len);  // text pointer
      r.skip(8);        // timestamp
      uint32_t n = r.u32();
      return text_value(c, std::string(r.raw(n)));
    }
    default:
      throw tds_type_error(c.code);
  }
}

}  // namespace mssim
