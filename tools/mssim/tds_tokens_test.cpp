// Result encoding: the TYPE_INFO and value bytes of every column type, read back by the
// decoder that takes client values; messages and DONE tokens.
#include "tds_tokens.h"

#include <gtest/gtest.h>

#include "tds_test_util.h"
#include "tds_values.h"

namespace mssim {
namespace {

using test::hex;

type_desc td(col_type t, int32_t length, bool nullable, uint8_t precision = 0, uint8_t scale = 0,
             bool decimal_name = false) {
  type_desc d;
  d.type = t;
  d.length = length;
  d.nullable = nullable;
  d.precision = precision;
  d.scale = scale;
  d.decimal_name = decimal_name;
  return d;
}

value num(const char* digits, int scale, bool negative = false) {
  return value::make_numeric(digits, scale, negative);
}

struct encoding_case {
  const char* what;
  type_desc type;
  value v;
  std::string type_info;  // after UserType and Flags, before the column name
  std::string data;       // the value as it follows the ROW token
  bool round_trip = true;
};

const std::string coll = "09 04 D0 00 34";

std::vector<encoding_case> encoding_cases() {
  const std::string guid = "00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF";
  return {
      {"int not null", td(col_type::int_, 4, false), value::make_int(5), "38", "05 00 00 00"},
      {"int", td(col_type::int_, 4, true), value::make_int(-2), "26 04", "04 FE FF FF FF"},
      {"tinyint not null", td(col_type::tinyint, 1, false), value::make_int(255), "30", "FF"},
      {"smallint", td(col_type::smallint, 2, true), value::make_int(-2), "26 02", "02 FE FF"},
      {"bigint not null", td(col_type::bigint, 8, false), value::make_int(-1), "7F",
       "FF FF FF FF FF FF FF FF"},
      {"bit", td(col_type::bit, 1, true), value::make_int(1), "68 01", "01 01"},
      {"real not null", td(col_type::real, 4, false), value::make_float(1.5), "3B", "00 00 C0 3F"},
      {"float", td(col_type::float_, 8, true), value::make_float(1.5), "6D 08",
       "08 00 00 00 00 00 00 F8 3F"},
      {"money not null", td(col_type::money, 8, false, 19, 4), num("12345", 4), "3C",
       "00 00 00 00 39 30 00 00"},
      {"money negative", td(col_type::money, 8, true, 19, 4), num("10000", 4, true), "6E 08",
       "08 FF FF FF FF F0 D8 FF FF"},
      {"smallmoney not null", td(col_type::smallmoney, 4, false, 10, 4), num("25000", 4), "7A",
       "A8 61 00 00"},
      {"numeric(10,2)", td(col_type::numeric, 9, true, 10, 2), num("12345", 2), "6C 09 0A 02",
       "09 01 39 30 00 00 00 00 00 00"},
      {"decimal(5,0) negative", td(col_type::numeric, 5, false, 5, 0, true), num("7", 0, true),
       "6A 05 05 00", "05 00 07 00 00 00"},
      {"numeric(38,0)", td(col_type::numeric, 17, true, 38, 0),
       num("99999999999999999999999999999999999999", 0), "6C 11 26 00",
       "11 01 FF FF FF FF 3F 22 8A 09 7A C4 86 5A A8 4C 3B 4B"},
      {"datetime not null", td(col_type::datetime, 8, false),
       value::make_datetime_ticks(40000, 300), "3D", "40 9C 00 00 2C 01 00 00"},
      {"smalldatetime", td(col_type::smalldatetime, 4, true),
       value::make_datetime_ticks(1, 300 * 60 * 2), "6F 04", "04 01 00 02 00"},
      {"date", td(col_type::date, 3, true), value::make_datetime_ns(0, 0), "28", "03 5B 95 0A"},
      {"time(7)", td(col_type::time, 5, true, 0, 7), value::make_datetime_ns(0, 10000000), "29 07",
       "05 80 96 98 00 00"},
      {"datetime2(3)", td(col_type::datetime2, 7, true, 0, 3), value::make_datetime_ns(0, 15000000),
       "2A 03", "07 DC 05 00 00 5B 95 0A"},
      {"nvarchar(10)", td(col_type::nvarchar, 10, true), value::make_text(u"ab"),
       "E7 14 00 " + std::string(coll), "04 00 61 00 62 00"},
      {"nchar(2) not null", td(col_type::nchar, 2, false), value::make_text(u"ab"),
       "EF 04 00 " + std::string(coll), "04 00 61 00 62 00"},
      {"varchar in code page 1252", td(col_type::varchar, 5, true),
       value::make_text(u"\u00e9\u20ac"), "A7 05 00 " + std::string(coll), "02 00 E9 80"},
      {"char(3)", td(col_type::char_, 3, false), value::make_text(u"abc"),
       "AF 03 00 " + std::string(coll), "03 00 61 62 63"},
      {"nvarchar(max) as PLP", td(col_type::nvarchar, -1, true), value::make_text(u"hi"),
       "E7 FF FF " + std::string(coll),
       "04 00 00 00 00 00 00 00 04 00 00 00 68 00 69 00 00 00 00 00"},
      {"empty varbinary(max)", td(col_type::varbinary, -1, true), value::make_bytes(""), "A5 FF FF",
       "00 00 00 00 00 00 00 00 00 00 00 00"},
      {"varbinary(4)", td(col_type::varbinary, 4, true), value::make_bytes("\x01\x02"), "A5 04 00",
       "02 00 01 02"},
      {"binary(2) not null", td(col_type::binary, 2, false), value::make_bytes("\xAB\xCD"),
       "AD 02 00", "02 00 AB CD"},
      {"uniqueidentifier", td(col_type::uniqueidentifier, 16, true), value::make_guid(hex(guid)),
       "24 10", "10 " + guid},
      {"ntext with its table", td(col_type::ntext, -1, true), value::make_text(u"a"),
       "63 FE FF FF 7F " + std::string(coll) + " 01 01 00 74 00",
       "10 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF 02 00 00 00 61 "
       "00",
       false},
      {"text", td(col_type::text, -1, true), value::make_text(u"x"),
       "23 FF FF FF 7F " + std::string(coll) + " 01 01 00 74 00",
       "10 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF 01 00 00 00 78",
       false},
  };
}

bool same_value(const value& a, const value& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case value::null:
      return true;
    case value::i64:
      return a.i == b.i;
    case value::f64:
      return a.d == b.d;
    case value::numeric:
      return a.negative == b.negative && a.scale == b.scale &&
             a.digits.substr(a.digits.find_first_not_of('0') == std::string::npos
                                 ? a.digits.size() - 1
                                 : a.digits.find_first_not_of('0')) ==
                 b.digits.substr(b.digits.find_first_not_of('0') == std::string::npos
                                     ? b.digits.size() - 1
                                     : b.digits.find_first_not_of('0'));
    case value::text:
      return a.s == b.s;
    case value::bytes:
    case value::guid:
      return a.b == b.b;
    case value::datetime:
      return a.days == b.days && a.nanos100 == b.nanos100;
  }
  return false;
}

TEST(ResultEncoding, EveryColumnTypeAsSqlServerSendsIt) {
  tds_format f;
  for (const encoding_case& c : encoding_cases()) {
    SCOPED_TRACE(c.what);
    column col{u"c", c.type, u"t"};
    tds_writer meta;
    write_colmetadata(meta, f, {col});
    std::string flags = c.type.nullable ? "09 00" : "08 00";
    std::string expect = "81 01 00 00 00 00 00 " + flags + " " + c.type_info + " 01 63 00";
    EXPECT_EQ(hex_dump(meta.bytes()), hex_dump(hex(expect)));

    tds_writer row;
    write_row(row, f, {col}, {c.v});
    EXPECT_EQ(hex_dump(row.bytes()), hex_dump(hex("D1 " + c.data)));

    if (!c.round_trip) continue;
    // The decoder for client values reads back exactly what was sent.
    tds_reader mr(meta.bytes());
    mr.skip(1 + 2 + 4 + 2);
    wire_column wc = read_type_info(mr, value_context::rpc);
    tds_reader rr(row.bytes());
    rr.skip(1);
    value back = read_value(rr, wc, value_context::rpc);
    EXPECT_TRUE(rr.at_end());
    value expect_back = c.v;
    if (c.type.type == col_type::money || c.type.type == col_type::smallmoney) {
      // Money always comes back with four decimals.
      expect_back.scale = 4;
    }
    EXPECT_TRUE(same_value(back, expect_back)) << "kind " << back.kind;
  }
}

TEST(ResultEncoding, NullsGoInNbcrowBitmap) {
  tds_format f;
  std::vector<column> cols;
  std::vector<value> row;
  for (int i = 0; i < 10; ++i) {
    cols.push_back({u"c", td(col_type::int_, 4, true), u""});
    row.push_back(i == 0 || i == 9 ? value::make_null() : value::make_int(i));
  }
  tds_writer w;
  write_row(w, f, cols, row);
  std::string expect = "D2 01 02";
  for (int i = 1; i < 9; ++i) expect += " 04 0" + std::to_string(i) + " 00 00 00";
  EXPECT_EQ(hex_dump(w.bytes()), hex_dump(hex(expect)));

  // Before TDS 7.3 there is no NBCROW: NULLs are written in place.
  tds_format old;
  old.version = tds_version::v7_2;
  tds_writer w2;
  write_row(w2, old, {cols[0]}, {value::make_null()});
  EXPECT_EQ(hex_dump(w2.bytes()), "D1 00");
}

TEST(ResultEncoding, OlderClientsGetDatesAsTextAndMaxTypesAsLongTypes) {
  tds_format v72;
  v72.version = tds_version::v7_2;
  std::vector<column> cols = {{u"d", td(col_type::date, 3, true), u""},
                              {u"t", td(col_type::datetime2, 7, true, 0, 3), u""},
                              {u"m", td(col_type::nvarchar, -1, true), u""}};
  tds_writer meta;
  write_colmetadata(meta, v72, cols);
  // date -> nvarchar(10), datetime2(3) -> nvarchar(23); TDS 7.2 still has nvarchar(max).
  EXPECT_NE(meta.bytes().find(hex("E7 14 00 " + coll + " 01 64 00")), std::string::npos)
      << hex_dump(meta.bytes());
  EXPECT_NE(meta.bytes().find(hex("E7 2E 00 " + coll + " 01 74 00")), std::string::npos);
  EXPECT_NE(meta.bytes().find(hex("E7 FF FF")), std::string::npos);
  tds_writer row;
  write_row(row, v72, cols,
            {value::make_datetime_ns(40000, 0), value::make_datetime_ns(-693595, 15000000),
             value::make_null()});
  EXPECT_NE(row.bytes().find(text_to_utf16le(u"2009-07-08")), std::string::npos);
  EXPECT_NE(row.bytes().find(text_to_utf16le(u"0001-01-01 00:00:01.500")), std::string::npos)
      << hex_dump(row.bytes());

  tds_format v71;
  v71.version = tds_version::v7_1;
  tds_writer m71;
  write_colmetadata(m71, v71, {cols[2]});
  // nvarchar(max) -> ntext, with a two-byte user type before TDS 7.2.
  EXPECT_EQ(hex_dump(m71.bytes()),
            hex_dump(hex("81 01 00 00 00 09 00 63 FE FF FF 7F " + coll + " 00 01 6D 00")));
}

TEST(ResultEncoding, RefusesValuesTheColumnCannotCarry) {
  tds_format f;
  tds_writer w;
  column int_nn{u"c", td(col_type::int_, 4, false), u""};
  EXPECT_THROW(write_row(w, f, {int_nn}, {value::make_null()}), tds_encode_error);
  EXPECT_THROW(write_row(w, f, {int_nn}, {value::make_text(u"1")}), tds_encode_error);
  column n52{u"c", td(col_type::numeric, 5, true, 5, 2), u""};
  EXPECT_THROW(write_row(w, f, {n52}, {num("100000", 2)}), tds_encode_error);
  EXPECT_THROW(write_row(w, f, {n52, n52}, {num("1", 0)}), tds_encode_error);
}

TEST(Numeric, RescalesExactlyAndRoundsHalfAwayFromZero) {
  struct {
    const char* digits;
    int scale;
    bool negative;
    int to;
    const char* expect;
  } cases[] = {
      {"1005", 3, false, 2, "101"}, {"1004", 3, false, 2, "100"},
      {"1005", 3, true, 2, "101"},  {"12", 0, false, 4, "120000"},
      {"0", 5, false, 0, "0"},      {"00012345", 2, false, 2, "12345"},
  };
  for (const auto& c : cases) {
    bool neg = false;
    unsigned __int128 m = scaled_magnitude(num(c.digits, c.scale, c.negative), c.to, neg);
    EXPECT_EQ(u128_to_digits(m), c.expect) << c.digits << " scale " << c.scale;
    EXPECT_EQ(neg, c.negative);
  }
  bool neg;
  EXPECT_THROW(scaled_magnitude(num("1", 0), 39, neg), tds_encode_error);
  EXPECT_THROW(scaled_magnitude(num("123456789012345678901234567890123456789", 0), 0, neg),
               tds_encode_error);
  EXPECT_EQ(u128_to_digits(scaled_magnitude(value::make_int(INT64_MIN), 0, neg)),
            "9223372036854775808");
  EXPECT_TRUE(neg);
}

TEST(Messages, ErrorInfoAndDoneLayout) {
  tds_format f;
  message m;
  m.number = 208;
  m.state = 1;
  m.cls = 16;
  m.text = u"x";
  m.line = 3;
  tds_writer w;
  write_message(w, f, m, u"S");
  // ERROR, length, number 208, state 1, class 16, "x", server "S", no procedure, line 3.
  EXPECT_EQ(hex_dump(w.bytes()),
            hex_dump(hex("AA 12 00 D0 00 00 00 01 10 01 00 78 00 01 53 00 00 03 00 00 00")));
  m.cls = 10;
  tds_writer i;
  write_message(i, f, m, u"S");
  EXPECT_EQ(static_cast<uint8_t>(i.bytes()[0]), token::info);

  tds_writer d;
  write_done(d, f, token::done, done_status::more | done_status::count, 0xC1, 1);
  EXPECT_EQ(hex_dump(d.bytes()), hex_dump(hex("FD 11 00 C1 00 01 00 00 00 00 00 00 00")));
  tds_writer r;
  write_returnstatus(r, 0);
  write_done(r, f, token::doneproc, 0, 0xE0, 0);
  EXPECT_EQ(hex_dump(r.bytes()),
            hex_dump(hex("79 00 00 00 00 FE 00 00 E0 00 00 00 00 00 00 00 00 00")));
}

}  // namespace
}  // namespace mssim
