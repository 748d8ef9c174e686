// How the client library's column descriptions and bytes become field types and values, without
// a server: type codes, flags and character set numbers as the library reports them.
#include "sql_record.h"

#include <gtest/gtest.h>
#include <mysql.h>

#include "tk_string.h"

namespace {

constexpr unsigned NN = NOT_NULL_FLAG, UNS = UNSIGNED_FLAG, BIN = BINARY_FLAG, BLOBF = BLOB_FLAG;
constexpr unsigned mb4 = 45, mb4_bin = 46, binary = 63;

sql_column col(int type, unsigned flags, unsigned charset, unsigned long length,
               unsigned decimals = 0, bool blob_to_text = false) {
  return sql_column::describe(u"c", type, flags, charset, length, decimals, blob_to_text);
}

std::string hex(const ole_variant& v) {
  const uint8_t* p = nullptr;
  size_t n = v.get_bytes(p);
  static const char* d = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    out += d[p[i] >> 4];
    out += d[p[i] & 15];
  }
  return out;
}

TEST(sql_column, field_types) {
  struct {
    const char* what;
    sql_column c;
    VARTYPE vartype;
    int32_t reserved;
    sql_extract how;
  } cases[] = {
      {"TINYINT", col(MYSQL_TYPE_TINY, 0, binary, 4), VT_I1, 0, sql_extract::scalar},
      {"TINYINT UNSIGNED", col(MYSQL_TYPE_TINY, UNS, binary, 3), VT_UI1, 0, sql_extract::scalar},
      {"SMALLINT UNSIGNED", col(MYSQL_TYPE_SHORT, UNS, binary, 5), VT_UI2, 0, sql_extract::scalar},
      {"INT UNSIGNED", col(MYSQL_TYPE_LONG, UNS, binary, 10), VT_UI4, 0, sql_extract::scalar},
      {"MEDIUMINT UNSIGNED stays signed 32", col(MYSQL_TYPE_INT24, UNS, binary, 8), VT_I4, 0,
       sql_extract::scalar},
      {"BIGINT", col(MYSQL_TYPE_LONGLONG, 0, binary, 20), VT_I8, 1, sql_extract::scalar},
      {"BIGINT UNSIGNED", col(MYSQL_TYPE_LONGLONG, UNS, binary, 20), VT_UI8, 2,
       sql_extract::scalar},
      {"DECIMAL(10,2)", col(MYSQL_TYPE_NEWDECIMAL, 0, binary, 12, 2), VT_DECIMAL, 2 | 10 << 8,
       sql_extract::scalar},
      {"DECIMAL(10,0)", col(MYSQL_TYPE_NEWDECIMAL, 0, binary, 11, 0), VT_DECIMAL, 10 << 8,
       sql_extract::scalar},
      {"DECIMAL(10,2) UNSIGNED keeps its ten digits",
       col(MYSQL_TYPE_NEWDECIMAL, UNS, binary, 11, 2), VT_DECIMAL, 2 | 10 << 8,
       sql_extract::scalar},
      {"FLOAT", col(MYSQL_TYPE_FLOAT, 0, binary, 12, 31), VT_R4, 0, sql_extract::scalar},
      {"DOUBLE", col(MYSQL_TYPE_DOUBLE, 0, binary, 22, 31), VT_R8, 0, sql_extract::scalar},
      {"DATETIME", col(MYSQL_TYPE_DATETIME, BIN, binary, 19), VT_DATE, 1, sql_extract::scalar},
      {"DATE", col(MYSQL_TYPE_DATE, BIN, binary, 10), VT_DATE, 2, sql_extract::scalar},
      {"TIME", col(MYSQL_TYPE_TIME, BIN, binary, 10), VT_DATE, 3, sql_extract::scalar},
      {"TIMESTAMP", col(MYSQL_TYPE_TIMESTAMP, BIN, binary, 19), VT_DATE, 0, sql_extract::scalar},
      {"YEAR", col(MYSQL_TYPE_YEAR, UNS | ZEROFILL_FLAG, binary, 4), VT_UI2, 0,
       sql_extract::scalar},
      {"BIT(1)", col(MYSQL_TYPE_BIT, UNS, binary, 1), VT_BOOL, 0, sql_extract::bit_bool},
      {"BIT(8)", col(MYSQL_TYPE_BIT, UNS, binary, 8), VT_UI1, 0, sql_extract::bit_integer},
      {"BIT(12)", col(MYSQL_TYPE_BIT, UNS, binary, 12), VT_UI2, 0, sql_extract::bit_integer},
      {"BIT(64)", col(MYSQL_TYPE_BIT, UNS, binary, 64), VT_UI8, 2, sql_extract::bit_integer},
      {"CHAR(20)", col(MYSQL_TYPE_STRING, 0, mb4, 80), VT_BSTR, 0, sql_extract::text},
      {"VARCHAR(20) utf8mb4_bin", col(MYSQL_TYPE_VAR_STRING, BIN, mb4_bin, 80), VT_BSTR, 0,
       sql_extract::text},
      {"BINARY(4)", col(MYSQL_TYPE_STRING, BIN, binary, 4), VT_BLOB, 0, sql_extract::binary},
      {"VARBINARY(8)", col(MYSQL_TYPE_VAR_STRING, BIN, binary, 8), VT_BLOB, 0, sql_extract::binary},
      {"TEXT", col(MYSQL_TYPE_BLOB, BLOBF, mb4, 262140), VT_BSTR, 0, sql_extract::text},
      {"JSON (BINARY flag, text charset)", col(MYSQL_TYPE_BLOB, BLOBF | BIN, mb4_bin, 4294967295),
       VT_BSTR, 0, sql_extract::text},
      {"BLOB", col(MYSQL_TYPE_BLOB, BLOBF | BIN, binary, 65535), VT_BLOB, 0, sql_extract::binary},
      {"BLOB with BLOB-to-text", col(MYSQL_TYPE_BLOB, BLOBF | BIN, binary, 65535, 0, true), VT_BSTR,
       0, sql_extract::text},
      {"VARBINARY with BLOB-to-text stays binary",
       col(MYSQL_TYPE_VAR_STRING, BIN, binary, 8, 0, true), VT_BLOB, 0, sql_extract::binary},
      {"GEOMETRY", col(MYSQL_TYPE_GEOMETRY, BLOBF | BIN, binary, 4294967295), VT_BLOB, 0,
       sql_extract::binary},
      {"ENUM", col(MYSQL_TYPE_STRING, ENUM_FLAG, mb4, 4), VT_BSTR, 0, sql_extract::text},
      {"SET", col(MYSQL_TYPE_STRING, SET_FLAG, mb4, 12), VT_BSTR, 0, sql_extract::text},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.c.vartype, c.vartype) << c.what;
    EXPECT_EQ(c.c.reserved, c.reserved) << c.what;
    EXPECT_EQ(c.c.how, c.how) << c.what;
  }
  t_ftd f = col(MYSQL_TYPE_LONG, NN | UNS | AUTO_INCREMENT_FLAG, binary, 10).to_ftd();
  EXPECT_TRUE(f.b_not_null);
  EXPECT_TRUE(f.auto_increment);
  EXPECT_EQ(f.size, 10u);
  EXPECT_EQ(col(MYSQL_TYPE_LONG_BLOB, BLOBF, mb4, 4294967295ul).to_ftd().size, 4294967295u);
}

TEST(sql_get_variant, values_from_bytes) {
  struct {
    const char* what;
    sql_column c;
    std::string bytes;
    VARTYPE type;
    std::string text;  // to_string, or the hex digits of a byte array
  } cases[] = {
      {"TINYINT -5", col(MYSQL_TYPE_TINY, 0, binary, 4), "-5", VT_I1, "-5"},
      {"YEAR 2011", col(MYSQL_TYPE_YEAR, UNS, binary, 4), "2011", VT_UI2, "2011"},
      {"BIGINT UNSIGNED max", col(MYSQL_TYPE_LONGLONG, UNS, binary, 20), "18446744073709551615",
       VT_UI8, "18446744073709551615"},
      {"DECIMAL 12.50", col(MYSQL_TYPE_NEWDECIMAL, 0, binary, 12, 2), "12.50", VT_DECIMAL, "12.50"},
      {"zero DATETIME", col(MYSQL_TYPE_DATETIME, BIN, binary, 19), "0000-00-00 00:00:00", VT_DATE,
       "0000-00-00 00:00:00"},
      {"TIME 100:00:00 is no time", col(MYSQL_TYPE_TIME, BIN, binary, 10), "100:00:00", VT_EMPTY,
       ""},
      {"BIT(1) one", col(MYSQL_TYPE_BIT, UNS, binary, 1), std::string("\x01", 1), VT_BOOL, "1"},
      {"BIT(1) zero", col(MYSQL_TYPE_BIT, UNS, binary, 1), std::string("\x00", 1), VT_BOOL, "0"},
      {"BIT(12) 0x0AAA: the whole bit string", col(MYSQL_TYPE_BIT, UNS, binary, 12),
       std::string("\x0A\xAA", 2), VT_UI2, "2730"},
      {"BIT(12) 0x0800: high byte only set", col(MYSQL_TYPE_BIT, UNS, binary, 12),
       std::string("\x08\x00", 2), VT_UI2, "2048"},
      {"BIT(64) all ones", col(MYSQL_TYPE_BIT, UNS, binary, 64), std::string(8, '\xFF'), VT_UI8,
       "18446744073709551615"},
      {"VARBINARY with 00 and FF", col(MYSQL_TYPE_VAR_STRING, BIN, binary, 8),
       std::string("\x00\xFF\x00", 3), VT_ARRAY_UI1, "00FF00"},
      {"BLOB with NULs", col(MYSQL_TYPE_BLOB, BLOBF | BIN, binary, 65535), std::string("a\0b\0", 4),
       VT_ARRAY_UI1, "61006200"},
      {"empty VARBINARY", col(MYSQL_TYPE_VAR_STRING, BIN, binary, 8), "", VT_ARRAY_UI1, ""},
  };
  for (const auto& c : cases) {
    ole_variant v = sql_get_variant(c.c, c.bytes.data(), c.bytes.size());
    EXPECT_EQ(v.get_type(), c.type) << c.what;
    EXPECT_EQ(v.get_type() == VT_ARRAY_UI1 ? hex(v) : v.to_string(), c.text) << c.what;
  }
  EXPECT_EQ(sql_get_variant(col(MYSQL_TYPE_LONG, 0, binary, 11), nullptr, 0).get_type(), VT_EMPTY);
}

TEST(sql_get_variant, text_is_utf8_by_length_nuls_included) {
  sql_column text = col(MYSQL_TYPE_BLOB, BLOBF, mb4, 262140);
  std::string bytes(
      "a\xF0\x9F\x98\x80"
      "b\0c",
      8);
  ole_variant v = sql_get_variant(text, bytes.data(), bytes.size());
  ASSERT_EQ(v.get_type(), VT_BSTR);
  EXPECT_EQ(v.get_bstr(), std::u16string(u"a\U0001F600b\0c", 6));
}

TEST(sql_default_value, defaults_as_show_columns_prints_them) {
  sql_column bit1 = col(MYSQL_TYPE_BIT, UNS, binary, 1);
  EXPECT_EQ(sql_default_value(bit1, VT_BOOL, "b'1'").to_string(), "1");
  EXPECT_EQ(sql_default_value(bit1, VT_BOOL, "b'0'").to_string(), "0");
  sql_column bit12 = col(MYSQL_TYPE_BIT, UNS, binary, 12);
  EXPECT_EQ(sql_default_value(bit12, VT_UI2, "b'101'").to_string(), "5");
  sql_column text = col(MYSQL_TYPE_BLOB, BLOBF, mb4, 262140);
  EXPECT_EQ(tk_wide_to_utf8(sql_default_value(text, VT_BSTR, "'it''s'").get_bstr()), "it's");
  sql_column chr = col(MYSQL_TYPE_STRING, 0, mb4, 40);
  EXPECT_EQ(tk_wide_to_utf8(sql_default_value(chr, VT_BSTR, "'x'").get_bstr()), "'x'");
  sql_column i = col(MYSQL_TYPE_LONG, NN, binary, 11);
  ole_variant zero = sql_default_value(i, VT_I4, "0");
  EXPECT_EQ(zero.get_type(), VT_I4);
  EXPECT_EQ(zero.to_long(), 0);
  EXPECT_EQ(sql_default_value(i, VT_I4, "").get_type(), VT_EMPTY);
}

}  // namespace
