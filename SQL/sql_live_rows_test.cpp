// Rows as the reader yields them, compared with what the server holds: every row exactly once
// whatever the chunking, values of every type byte for byte, user queries to their last row,
// and the views of a database.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "sql_exception.h"
#include "sql_live_support.h"
#include "sql_recordset.h"
#include "tk_string.h"

namespace {

// Every row of a recordset, from reset to the end.
std::vector<udb_record> read_all(udb_recordset& rs) {
  std::vector<udb_record> out;
  for (rs.reset(); !rs.is_eof(); rs.next()) out.push_back(rs.get_item());
  return out;
}

TEST(sql_live_rows, tables_around_the_chunk_size_yield_each_row_once) {
  live_reader reader;
  auto db = reader.open(u"tvx_types");
  for (int n : {0, 256, 600}) {
    std::u16string name = tk_utf8_to_wide("rows_" + std::to_string(n));
    auto t = db->get_table(name, 1);
    EXPECT_EQ(t->record_count, n);
    std::set<int> ids;
    for (const udb_record& r : read_all(*t)) {
      ASSERT_EQ(r.size(), 2u);
      EXPECT_EQ(u8(r[1].get_bstr()), "row " + std::to_string(r[0].to_long()));
      EXPECT_TRUE(ids.insert(r[0].to_long()).second) << "row read twice: " << r[0].to_long();
    }
    EXPECT_EQ(static_cast<int>(ids.size()), n);
    if (n) {
      EXPECT_EQ(*ids.begin(), 1);
      EXPECT_EQ(*ids.rbegin(), n);
    }
    EXPECT_TRUE(t->is_eof());
    EXPECT_TRUE(t->get_item().empty());
    // Reading again from the start yields the same rows.
    EXPECT_EQ(static_cast<int>(read_all(*t).size()), n);
  }
}

TEST(sql_live_rows, a_table_without_key_yields_the_servers_rows_exactly) {
  const mdb_server& s = mdb_shared_server();
  live_root root(s);
  std::vector<std::string> expected =
      root.column("SELECT CONCAT(n, '/', v) FROM tvx_types.heap_5000");
  live_reader reader(s);
  auto db = reader.open(u"tvx_types");
  auto t = db->get_table(u"heap_5000", 1);
  std::vector<std::string> got;
  for (const udb_record& r : read_all(*t))
    got.push_back(r[0].to_string() + "/" + u8(r[1].get_bstr()));
  std::sort(expected.begin(), expected.end());
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got.size(), 5000u);
  EXPECT_TRUE(got == expected);
}

TEST(sql_live_rows, a_user_query_yields_all_its_rows_in_its_order) {
  live_reader reader;
  auto db = reader.open(u"tvx_types");
  auto q = db->get_table(u"q", u"SELECT id FROM rows_600 ORDER BY id DESC", 1);
  EXPECT_EQ(q->record_count, 600);
  std::vector<udb_record> rows = read_all(*q);
  ASSERT_EQ(rows.size(), 600u);
  for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i][0].to_long(), 600 - (int)i);
}

TEST(sql_live_rows, two_streams_and_catalogue_statements_interleave) {
  live_reader reader;
  auto db = reader.open(u"tvx_types");
  auto a = db->get_table(u"rows_600", 1);
  auto b = db->get_table(u"q", u"SELECT id FROM rows_256", 1);
  a->reset();
  b->reset();
  int na = 0, nb = 0;
  while (!a->is_eof() || !b->is_eof()) {
    if (!a->is_eof()) {
      ++na;
      a->next();
    }
    if (!b->is_eof()) {
      ++nb;
      b->next();
    }
    // The first connection stays free for other statements while both streams are open.
    if ((na % 100) == 0) {
      EXPECT_NE(db->query(u"SELECT 1"), nullptr);
    }
  }
  EXPECT_EQ(na, 600);
  EXPECT_EQ(nb, 256);
}

// The value of each column of all_types, row by row, as text (to_string, or the hex digits of a
// byte array), and its value type.
TEST(sql_live_rows, values_of_every_type) {
  live_reader reader;
  auto db = reader.open(u"tvx_types");
  auto t = db->get_table(u"all_types", 1);
  std::vector<udb_record> rows = read_all(*t);
  ASSERT_EQ(rows.size(), 4u);
  std::sort(rows.begin(), rows.end(), [](const udb_record& x, const udb_record& y) {
    return x[0].to_long() < y[0].to_long();
  });
  auto value = [&](int row, const char16_t* name) -> const udb_field& {
    int i = t->schema.get_field_idx(name);
    EXPECT_GE(i, 0) << u8(name);
    return rows[row][i];
  };
  auto shown = [](const udb_field& f) {
    return f.get_type() == VT_ARRAY_UI1 ? "0x" + hex_of(bytes_of(f))
           : f.get_type() == VT_BSTR    ? bytes_of(f)
                                        : f.to_string();
  };
  struct {
    int row;
    const char16_t* column;
    VARTYPE type;
    std::string text;
  } cases[] = {
      {0, u"c_tinyint", VT_I1, "-5"},
      {0, u"c_tinyint_u", VT_UI1, "200"},
      {1, u"c_tinyint", VT_I1, "-128"},
      {1, u"c_smallint_u", VT_UI2, "65535"},
      {1, u"c_mediumint", VT_I4, "-8388608"},
      {1, u"c_mediumint_u", VT_I4, "16777215"},
      {1, u"c_int", VT_I4, "-2147483648"},
      {1, u"c_bigint", VT_I8, "-9223372036854775808"},
      {1, u"c_bigint_u", VT_UI8, "18446744073709551615"},
      {0, u"c_decimal", VT_DECIMAL, "12345678.90"},
      {1, u"c_decimal", VT_DECIMAL, "-99999999.99"},
      {0, u"c_decimal0", VT_DECIMAL, "12"},
      {0, u"c_float", VT_R4, "1.500000e+00"},
      {0, u"c_float73", VT_R4, "1.234567e+03"},
      {0, u"c_double", VT_R8, "3.141592653589793e+00"},
      {0, u"c_datetime", VT_DATE, "2024-02-29 13:45:56"},
      // The fraction of a second rounds to the nearest second (.789 goes up).
      {0, u"c_datetime3", VT_DATE, "2024-02-29 13:45:57"},
      {1, u"c_datetime", VT_DATE, "0000-00-00 00:00:00"},
      {0, u"c_date", VT_DATE, "2011-12-31"},
      {0, u"c_time", VT_DATE, "0000-00-00 10:20:30"},
      {1, u"c_time", VT_EMPTY, ""},  // -838:59:59 is no time of day
      {3, u"c_time", VT_EMPTY, ""},  // 100:00:00 neither
      {0, u"c_timestamp", VT_DATE, "2001-02-03 04:05:06"},
      {0, u"c_year", VT_UI2, "2011"},
      {1, u"c_year", VT_UI2, "2155"},
      {0, u"c_bit1", VT_BOOL, "1"},
      {1, u"c_bit1", VT_BOOL, "0"},
      {0, u"c_bit12", VT_UI2, "2730"},
      {1, u"c_bit12", VT_UI2, "4095"},
      {3, u"c_bit12", VT_UI2, "1"},
      {0, u"c_bit64", VT_UI8, "9223372036854775809"},
      {1, u"c_bit64", VT_UI8, "18446744073709551615"},
      {0, u"c_char", VT_BSTR, "char value"},
      {1, u"c_char", VT_BSTR, "\xF0\x9F\x98\x80 emoji"},
      {1, u"c_varchar", VT_BSTR,
       "a\xF0\x9F\x98\x80"
       "b"},
      {0, u"c_binary", VT_ARRAY_UI1, "0x61620063"},
      {1, u"c_binary", VT_ARRAY_UI1, "0x00FF00FF"},
      {1, u"c_varbinary", VT_ARRAY_UI1, "0x00FF0000FF00"},
      {3, u"c_varbinary", VT_ARRAY_UI1, "0x"},
      {1, u"c_tinytext", VT_BSTR, std::string("nul\0inside", 10)},
      {1, u"c_text", VT_BSTR, std::string("text\0with\0nuls", 14)},
      {1, u"c_mediumtext", VT_BSTR, "\xF0\xA0\x9C\x8E rare CJK"},
      {1, u"c_blob", VT_ARRAY_UI1, "0x00FF7F80000A0D"},
      {1, u"c_longblob", VT_ARRAY_UI1, "0xFFFE00"},
      {1, u"c_enum", VT_BSTR, "b"},
      {1, u"c_set", VT_BSTR, "x,y"},
      {1, u"c_json", VT_BSTR, "{\"emoji\": \"\xF0\x9F\x98\x80\"}"},
      {0, u"c_geometry", VT_ARRAY_UI1, "0x000000000101000000000000000000F03F0000000000000040"},
      {2, u"c_int", VT_EMPTY, ""},
      {2, u"c_text", VT_EMPTY, ""},
      {2, u"c_blob", VT_EMPTY, ""},
      {2, u"c_bit1", VT_EMPTY, ""},
  };
  for (const auto& c : cases) {
    const udb_field& f = value(c.row, c.column);
    EXPECT_EQ(f.get_type(), c.type) << "row " << c.row << " " << u8(c.column);
    EXPECT_EQ(shown(f), c.text) << "row " << c.row << " " << u8(c.column);
  }
  // Zero dates keep an all-zero calendar record.
  for (const char16_t* zero : {u"c_datetime", u"c_datetime3", u"c_date"}) {
    EXPECT_EQ(value(1, zero).get_type(), VT_DATE) << u8(zero);
    EXPECT_TRUE(value(1, zero).get_systemtime() == SYSTEMTIME{}) << u8(zero);
  }
  EXPECT_EQ(value(2, u"c_int").size, 0);
  EXPECT_EQ(value(1, u"c_varchar").size, 6);  // bytes on the wire
  EXPECT_EQ(u8(value(1, u"c_varchar").name), "c_varchar");
}

// Emoji, NUL bytes in BLOB and TEXT, 0x00/0xFF in VARBINARY and BIT(12): compared with the
// bytes the server itself reports.
TEST(sql_live_rows, special_values_survive_byte_for_byte) {
  const mdb_server& s = mdb_shared_server();
  live_root root(s);
  std::map<std::string, live_row> expected;
  for (const live_row& r : root.rows("SELECT id, HEX(v), HEX(t), HEX(b), HEX(vb), bits + 0 "
                                     "FROM tvx_types.special_values")) {
    expected[*r[0]] = r;
  }
  live_reader reader(s);
  auto db = reader.open(u"tvx_types");
  auto t = db->get_table(u"special_values", 1);
  size_t seen = 0;
  for (const udb_record& r : read_all(*t)) {
    const live_row& e = expected.at(r[0].to_string());
    for (int i = 1; i <= 4; ++i) {
      if (!e[i]) {
        EXPECT_EQ(r[i].get_type(), VT_EMPTY);
      } else {
        EXPECT_EQ(hex_of(bytes_of(r[i])), *e[i]) << "id " << r[0].to_long() << " column " << i;
      }
    }
    EXPECT_EQ(r[5].get_type() == VT_EMPTY ? "\\N" : r[5].to_string(), e[5].value_or("\\N"));
    ++seen;
  }
  EXPECT_EQ(seen, expected.size());
}

TEST(sql_live_rows, views_are_read_and_cleaned) {
  live_reader reader;
  auto db = reader.open(u"tvx_types");
  ASSERT_EQ(db->views.size(), 3u);
  std::string join = u8(db->views.at(u"v_join_where"));
  EXPECT_NE(join.find("cross join"), std::string::npos) << join;
  EXPECT_EQ(join.find("`tvx_types`."), std::string::npos) << join;
  std::string ordered = u8(db->views.at(u"v_ordered"));
  EXPECT_EQ(ordered.find("order by"), std::string::npos) << ordered;
  EXPECT_NE(ordered.find("where"), std::string::npos) << ordered;
  std::string plain = u8(db->views.at(u"v_plain"));
  EXPECT_NE(plain.find("`join`"), std::string::npos) << plain;
  EXPECT_EQ(plain.find("cross"), std::string::npos) << plain;
  // Views are not tables.
  for (const std::u16string& t : db->tables) EXPECT_EQ(db->views.count(t), 0u) << u8(t);
  // Bit 7 of the mode: no views.
  EXPECT_TRUE(reader.open(u"tvx_types", 0x80 | 1)->views.empty());
}

TEST(sql_live_rows, a_database_named_with_a_quote_keeps_its_views) {
  live_reader reader;
  auto db = reader.open(u"tvx_o'db");
  ASSERT_EQ(db->views.size(), 1u);
  EXPECT_EQ(u8(db->views.begin()->first), "v_t");
  EXPECT_EQ(u8(db->views.begin()->second).find("`tvx_o'db`."), std::string::npos);
  EXPECT_EQ(db->tables, (std::vector<std::u16string>{u"t"}));
  auto t = db->get_table(u"t", 1);
  EXPECT_EQ(read_all(*t).size(), 2u);
}

}  // namespace
