#include "odb_recs.h"

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include "odb_rows.h"
#include "ole_variant.h"
#include "tk_exception.h"

namespace {

odb_column_info col(const char16_t* name, uint16_t type, uint32_t size, bool nullable = true,
                    uint8_t precision = 0, uint8_t scale = 0) {
  odb_column_info c;
  c.name = name;
  c.type = type;
  c.column_size = size;
  c.flags = nullable ? dbcolumnflags::isnullable : 0;
  c.precision = precision;
  c.scale = scale;
  return c;
}

// A rowset in memory that counts how often it was restarted.
class counting_rowset : public odb_memory_rowset {
 public:
  using odb_memory_rowset::odb_memory_rowset;
  void restart() override {
    ++restarts;
    odb_memory_rowset::restart();
  }
  int restarts = 0;
};

std::vector<odb_cells> numbered_rows(int n) {
  std::vector<odb_cells> rows;
  for (int i = 1; i <= n; ++i) rows.push_back({odb_cell::of(std::u16string(1, u'0' + i % 10))});
  return rows;
}

}  // namespace

TEST(odb_recordset, values_travel_as_text_and_become_field_types) {
  odb_columns_info columns = {
      col(u"id", dbtype::i4, 4, false),
      col(u"name", dbtype::wstr, 20),
      col(u"price", dbtype::numeric, 19, true, 10, 2),
      col(u"raw", dbtype::bytes, 4),
      col(u"at", dbtype::dbtimestamp, 16),
      col(u"ok", dbtype::boolean, 2),
      col(u"cash", dbtype::cy, 8),
      col(u"uid", dbtype::guid, 16),
      col(u"big", dbtype::i8, 8),
  };
  std::vector<odb_cells> rows = {
      {odb_cell::of(u"1"), odb_cell::of(u"O'Brien"), odb_cell::of(u"12345678.90"),
       odb_cell::of_bytes(std::string("\x00\xff\x10", 3)), odb_cell::of(u"2011-12-31 10:20:30.000"),
       odb_cell::of(u"1"), odb_cell::of(u"12.3400"),
       odb_cell::of(u"6F9619FF-8B86-D011-B42D-00C04FC964FF"),
       odb_cell::of(u"-9223372036854775808")},
      {odb_cell::null(), odb_cell::of(u""), odb_cell::null(), odb_cell::of_bytes(""),
       odb_cell::null(), odb_cell::of(u"0"), odb_cell::null(), odb_cell::null(), odb_cell::null()},
  };
  odb_recordset rs(std::make_unique<odb_memory_rowset>(columns, rows), u"t");
  ASSERT_EQ(rs.schema.size(), 9u);
  rs.reset();
  ASSERT_FALSE(rs.is_eof());
  const udb_record& a = rs.get_item();
  EXPECT_EQ(a[0].get_type(), VT_I4);
  EXPECT_EQ(a[0].to_long(), 1);
  EXPECT_EQ(a[0].name, u"id");
  EXPECT_EQ(a[1].to_wstring(), u"O'Brien");
  EXPECT_EQ(a[2].get_type(), VT_DECIMAL);
  EXPECT_EQ(a[2].to_string(), "12345678.90");
  EXPECT_EQ(a[3].get_type(), VT_ARRAY_UI1);
  EXPECT_EQ(a[3].to_string(), "0x00FF10");
  EXPECT_EQ(a[4].get_type(), VT_DATE);
  EXPECT_EQ(a[4].to_string(), "2011-12-31 10:20:30");
  EXPECT_EQ(a[5].get_type(), VT_BOOL);
  EXPECT_TRUE(a[5].to_bool());
  EXPECT_EQ(a[6].get_type(), VT_CY);
  EXPECT_EQ(a[6].to_string(), "12.34");
  EXPECT_EQ(a[7].to_wstring(), u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
  EXPECT_EQ(a[8].get_type(), VT_I8);
  EXPECT_EQ(a[8].get_int64(), INT64_MIN);

  rs.next();
  const udb_record& b = rs.get_item();
  EXPECT_EQ(b[0].get_type(), VT_EMPTY);  // NULL integer
  EXPECT_EQ(b[1].get_type(), VT_BSTR);   // empty string stays a string
  EXPECT_EQ(b[1].to_wstring(), u"");
  EXPECT_EQ(b[2].get_type(), VT_EMPTY);
  EXPECT_EQ(b[3].get_type(), VT_ARRAY_UI1);  // empty binary is bytes, not NULL
  EXPECT_EQ(b[4].get_type(), VT_EMPTY);
  EXPECT_FALSE(b[5].to_bool());
  rs.next();
  EXPECT_TRUE(rs.is_eof());
}

TEST(odb_recordset, schema_from_column_information) {
  odb_columns_info columns = {
      col(u"id", dbtype::i4, 4, false),      col(u"bin", dbtype::bytes, 16),
      col(u"uid", dbtype::guid, 16),         col(u"price", dbtype::numeric, 19, true, 28, 6),
      col(u"at", dbtype::dbtimestamp, 16),   col(u"odd", dbtype::variant, 8016),
      col(u"txt", dbtype::wstr, 0xFFFFFFFFu)};
  odb_recordset rs(std::make_unique<odb_memory_rowset>(columns, std::vector<odb_cells>{}));
  ASSERT_EQ(rs.schema.size(), 7u);
  EXPECT_TRUE(rs.schema[0].b_not_null);
  EXPECT_EQ(rs.schema[0].vartype, VT_I4);
  EXPECT_EQ(rs.schema[1].vartype, VT_BLOB);
  EXPECT_EQ(rs.schema[1].size, 0u);  // binary columns have no size limit in the schema
  EXPECT_FALSE(rs.schema[1].b_not_null);
  EXPECT_EQ(rs.schema[2].vartype, VT_BSTR);
  EXPECT_EQ(rs.schema[2].size, 38u);
  EXPECT_EQ(rs.schema[3].vartype, VT_DECIMAL);
  EXPECT_EQ(rs.schema[3].reserved, 6 | 28 << 8);
  EXPECT_EQ(rs.schema[4].vartype, VT_DATE);
  EXPECT_EQ(rs.schema[4].reserved, 1);
  EXPECT_EQ(rs.schema[5].vartype, VT_BLOB);  // an unknown type reads as binary
  EXPECT_EQ(rs.schema[6].size, 0xFFFFFFFFu);
}

TEST(odb_recordset, row_cache_steps_five_at_a_time_and_reset_restarts_only_after_reading) {
  odb_columns_info columns = {col(u"n", dbtype::wstr, 2)};
  auto owned = std::make_unique<counting_rowset>(columns, numbered_rows(12));
  counting_rowset* rows = owned.get();
  odb_recordset rs(std::move(owned));
  EXPECT_TRUE(rs.is_eof());  // nothing read before the first reset
  rs.reset();
  EXPECT_EQ(rows->restarts, 0);  // never advanced: no restart
  std::u16string seen;
  for (; !rs.is_eof(); rs.next()) seen += rs.get_item()[0].to_wstring();
  EXPECT_EQ(seen, u"123456789012");
  EXPECT_EQ(rs.rows_read(), 12u);
  EXPECT_THROW(rs.get_item(), tk_mail_assertion);

  rs.reset();
  EXPECT_EQ(rows->restarts, 1);
  EXPECT_EQ(rs.get_item()[0].to_wstring(), u"1");
  // A second reset in a row must begin at the first row again, not after the cached five.
  rs.reset();
  EXPECT_EQ(rows->restarts, 2);
  EXPECT_EQ(rs.get_item()[0].to_wstring(), u"1");
}

TEST(odb_recordset, without_a_rowset_it_is_empty_and_read_only) {
  odb_recordset rs(std::unique_ptr<odb_rowset>(), u"none");
  rs.reset();
  EXPECT_TRUE(rs.is_eof());
  EXPECT_EQ(rs.schema.size(), 0u);
  EXPECT_THROW(rs.get_item(), tk_mail_assertion);
  EXPECT_THROW(rs.append_record(udb_record{}), tk_mail_assertion);
  EXPECT_FALSE(rs.is_query());
}

TEST(odb_accessor, a_value_longer_than_its_slot_is_read_whole) {
  // A declared size of 3 gives a slot of 8 bytes; the value is far longer.
  std::u16string long_text(100000, u'x');
  long_text[99999] = u'y';
  odb_columns_info columns = {col(u"t", dbtype::wstr, 3), col(u"b", dbtype::bytes, 1)};
  std::vector<odb_cells> rows = {
      {odb_cell::of(long_text), odb_cell::of_bytes(std::string(70000, '\x7f'))}};
  odb_recordset rs(std::make_unique<odb_memory_rowset>(columns, rows));
  rs.reset();
  EXPECT_EQ(rs.get_item()[0].to_wstring(), long_text);
  const uint8_t* data = nullptr;
  EXPECT_EQ(rs.get_item()[1].get_bytes(data), 70000u);
}

TEST(odb_accessor, slot_sizes) {
  struct row {
    uint16_t type;
    uint32_t size;
    size_t slot;
  } rows[] = {
      {dbtype::i4, 4, 52},
      {dbtype::i8, 8, 52},
      {dbtype::boolean, 2, 52},
      {dbtype::numeric, 19, 102},
      {dbtype::dbtimestamp, 16, 102},
      {dbtype::guid, 16, 102},
      {dbtype::wstr, 10, 22},
      {dbtype::str, 0, 2},
      {dbtype::bytes, 10, 42},
      {dbtype::wstr, 0xFFFFFFFFu, 20000000},
      {dbtype::bytes, 9999999, 20000000},
      {dbtype::variant, 0, 20000000},
      {dbtype::variant, 8016, 8016},
  };
  for (const row& r : rows) EXPECT_EQ(odb_accessor::slot_size(r.type, r.size), r.slot) << r.type;
}

TEST(odb_record, type_mappings) {
  struct in_row {
    uint16_t type;
    VARTYPE vt;
  } reads[] = {
      {dbtype::i2, VT_I2},
      {dbtype::ui1, VT_UI1},
      {dbtype::i8, VT_I8},
      {dbtype::cy, VT_CY},
      {dbtype::boolean, VT_BOOL},
      {dbtype::date, VT_DATE},
      {dbtype::dbtimestamp, VT_DATE},
      {dbtype::guid, VT_BSTR},
      {dbtype::str, VT_BSTR},
      {dbtype::wstr, VT_BSTR},
      {dbtype::numeric, VT_DECIMAL},
      {dbtype::decimal, VT_DECIMAL},
      {dbtype::bytes, VT_BLOB},
      {dbtype::dbdate, VT_BLOB},
      {dbtype::variant, VT_BLOB},
  };
  for (const in_row& r : reads) EXPECT_EQ(odb_record::get_vartype(r.type), r.vt) << r.type;

  struct out_row {
    VARTYPE vt;
    uint16_t sql7, sql2000;
  } writes[] = {
      {VT_I1, dbtype::i2, dbtype::i2},
      {VT_UI2, dbtype::i4, dbtype::i4},
      {VT_INT, dbtype::i4, dbtype::i4},
      {VT_UI8, dbtype::r8, dbtype::r8},
      {VT_UI4, dbtype::r8, dbtype::i8},
      {VT_I8, dbtype::r8, dbtype::i8},
      {VT_UINT, dbtype::r8, dbtype::i8},
      {VT_DATE, dbtype::dbtimestamp, dbtype::dbtimestamp},
      {VT_DECIMAL, dbtype::numeric, dbtype::numeric},
      {VT_BLOB_OBJECT, dbtype::bytes, dbtype::bytes},
      {VT_LPSTR, dbtype::wstr, dbtype::wstr},
  };
  for (const out_row& r : writes) {
    EXPECT_EQ(odb_record::get_oledb_type(r.vt, 2), r.sql7) << r.vt;
    EXPECT_EQ(odb_record::get_oledb_type(r.vt, 3), r.sql2000) << r.vt;
    EXPECT_EQ(odb_record::get_oledb_type(r.vt, 6), r.sql2000) << r.vt;
  }
}

TEST(odb_rows, driver_types_become_provider_types) {
  struct row {
    int sql_type;
    const char16_t* type_name;
    uint64_t size;
    int digits;
    uint16_t type;
    uint32_t column_size;
    bool is_long;
  } rows[] = {
      {SQL_INTEGER, u"int", 10, 0, dbtype::i4, 4, false},
      {SQL_INTEGER, u"int identity", 10, 0, dbtype::i4, 4, false},
      {SQL_TINYINT, u"tinyint", 3, 0, dbtype::ui1, 1, false},
      {SQL_BIT, u"bit", 1, 0, dbtype::boolean, 2, false},
      {SQL_DECIMAL, u"money", 19, 4, dbtype::cy, 8, false},
      {SQL_DECIMAL, u"smallmoney", 10, 4, dbtype::cy, 8, false},
      {SQL_NUMERIC, u"numeric", 28, 6, dbtype::numeric, 19, false},
      {SQL_TYPE_TIMESTAMP, u"datetime", 23, 3, dbtype::dbtimestamp, 16, false},
      {SQL_WVARCHAR, u"nvarchar", 40, 0, dbtype::wstr, 40, false},
      {SQL_WVARCHAR, u"nvarchar", 0, 0, dbtype::wstr, 0xFFFFFFFFu, true},
      {SQL_WLONGVARCHAR, u"ntext", 1073741823, 0, dbtype::wstr, 1073741823, true},
      {SQL_VARCHAR, u"varchar", 30, 0, dbtype::str, 30, false},
      {SQL_VARBINARY, u"varbinary", 16, 0, dbtype::bytes, 16, false},
      {SQL_LONGVARBINARY, u"image", 2147483647, 0, dbtype::bytes, 2147483647, true},
      {SQL_GUID, u"uniqueidentifier", 36, 0, dbtype::guid, 16, false},
      {SQL_BIGINT, u"bigint", 19, 0, dbtype::i8, 8, false},
      {-150, u"sql_variant", 8000, 0, dbtype::variant, 8000, false},
  };
  for (const row& r : rows) {
    odb_column_shape s = odb_shape_of(r.sql_type, r.type_name, r.size, r.digits);
    EXPECT_EQ(s.type, r.type) << r.sql_type;
    EXPECT_EQ(s.column_size, r.column_size) << r.sql_type;
    EXPECT_EQ(s.is_long, r.is_long) << r.sql_type;
  }
  odb_column_shape n = odb_shape_of(SQL_NUMERIC, u"decimal", 28, 6);
  EXPECT_EQ(n.precision, 28);
  EXPECT_EQ(n.scale, 6);
}
