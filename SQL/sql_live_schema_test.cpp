// Table schemas as the two layers describe them: result metadata refined by SHOW COLUMNS,
// defaults, indexes and foreign keys, over the fixture's type table and its helpers.
#include <gtest/gtest.h>

#include "sql_exception.h"
#include "sql_live_support.h"
#include "sql_recordset.h"
#include "tk_string.h"

namespace {

const t_ftd& field(const udb_recordset& t, const char16_t* name) {
  return t.schema.get_field(name);
}

TEST(sql_live_schema, every_mysql_type) {
  live_reader reader;
  auto db = reader.open(u"tvx_types");
  auto t = db->get_table(u"all_types", 1);
  struct {
    const char16_t* name;
    VARTYPE vartype;
    uint32_t size;
    int32_t reserved;
  } cases[] = {
      {u"id", VT_UI4, 10, 0},
      {u"c_tinyint", VT_I1, 4, 0},
      {u"c_tinyint_u", VT_UI1, 3, 0},
      {u"c_smallint", VT_I2, 6, 0},
      {u"c_smallint_u", VT_UI2, 5, 0},
      {u"c_mediumint", VT_I4, 9, 0},
      {u"c_mediumint_u", VT_I4, 8, 0},
      {u"c_int", VT_I4, 11, 0},
      {u"c_bigint", VT_I8, 20, 1},
      {u"c_bigint_u", VT_UI8, 20, 2},
      {u"c_decimal", VT_DECIMAL, 12, 2 | 10 << 8},
      {u"c_decimal0", VT_DECIMAL, 11, 0 | 10 << 8},
      {u"c_float", VT_R4, 12, 0},
      {u"c_float73", VT_DECIMAL, 7, 3 | 7 << 8},
      {u"c_float70", VT_R4, 7, 0},
      {u"c_double", VT_R8, 22, 0},
      {u"c_double102", VT_R8, 10, 0},
      {u"c_datetime", VT_DATE, 19, 1},
      {u"c_datetime3", VT_DATE, 23, 1},
      {u"c_date", VT_DATE, 10, 2},
      {u"c_time", VT_DATE, 10, 3},
      {u"c_timestamp", VT_DATE, 19, 0},
      {u"c_year", VT_UI2, 4, 0},
      {u"c_bit1", VT_BOOL, 1, 0},
      {u"c_bit12", VT_UI2, 12, 0},
      {u"c_bit64", VT_UI8, 64, 2},
      {u"c_char", VT_BSTR, 80, 0},
      {u"c_varchar", VT_BSTR, 20, 0},
      {u"c_binary", VT_BLOB, 4, 0},
      {u"c_varbinary", VT_BLOB, 8, 0},
      {u"c_tinytext", VT_BSTR, 1020, 0},
      {u"c_text", VT_BSTR, 262140, 0},
      {u"c_tinyblob", VT_BLOB, 255, 0},
      {u"c_blob", VT_BLOB, 65535, 0},
      {u"c_longblob", VT_BLOB, 4294967295u, 0},
      {u"c_enum", VT_BSTR, 4, 0},
      {u"c_set", VT_BSTR, 12, 0},
      {u"c_json", VT_BSTR, 4294967295u, 0},
      {u"c_geometry", VT_BLOB, 4294967295u, 0},
  };
  for (const auto& c : cases) {
    const t_ftd& f = field(*t, c.name);
    EXPECT_EQ(f.vartype, c.vartype) << u8(c.name);
    EXPECT_EQ(f.size, c.size) << u8(c.name);
    EXPECT_EQ(f.reserved, c.reserved) << u8(c.name);
  }
  EXPECT_EQ(t->schema.size(), 40u);
  EXPECT_TRUE(field(*t, u"id").auto_increment);
  EXPECT_TRUE(field(*t, u"id").b_not_null);
  EXPECT_FALSE(field(*t, u"c_int").b_not_null);
  EXPECT_EQ(t->record_count, 4);
  ASSERT_EQ(t->indexes.size(), 1u);
  EXPECT_TRUE(t->indexes[0].primary);
}

TEST(sql_live_schema, blob_to_text_makes_every_blob_text) {
  live_reader reader;
  reader.engine().set_blob_to_text(true);
  auto db = reader.open(u"tvx_types");
  auto t = db->get_table(u"all_types", 1);
  EXPECT_EQ(field(*t, u"c_blob").vartype, VT_BSTR);
  EXPECT_EQ(field(*t, u"c_longblob").vartype, VT_BSTR);
  EXPECT_EQ(field(*t, u"c_text").vartype, VT_BSTR);
  // Not BLOB types: still bytes.
  EXPECT_EQ(field(*t, u"c_varbinary").vartype, VT_BLOB);
  EXPECT_EQ(field(*t, u"c_geometry").vartype, VT_BLOB);
}

TEST(sql_live_schema, defaults) {
  live_reader reader;
  auto db = reader.open(u"tvx_types");
  auto t = db->get_table(u"defaults_t", 1);
  struct {
    const char16_t* name;
    VARTYPE type;  // of the default value; VT_EMPTY: none
    const char* text;
    bool not_null;
  } cases[] = {
      {u"dt_zero", VT_EMPTY, "", false},  // a zero date default leaves a nullable column
      {u"d_zero", VT_EMPTY, "", false},        {u"d_val", VT_BSTR, "2001-01-01", false},
      {u"i_null", VT_EMPTY, "", false},        {u"i_zero", VT_I4, "0", true},
      {u"i_neg", VT_I4, "-7", false},          {u"vc_nn", VT_BSTR, "", true},
      {u"vc_quote", VT_BSTR, "x'y", false},    {u"c_empty", VT_BSTR, "", true},
      {u"dec_def", VT_DECIMAL, "1.50", false}, {u"dbl_def", VT_R8, "2.500000000000000e+00", false},
      {u"txt_def", VT_BSTR, "abc", false},     {u"bit1_on", VT_BOOL, "1", true},
      {u"bit1_off", VT_BOOL, "0", true},       {u"bit12_def", VT_UI2, "5", false},
      {u"en_def", VT_BSTR, "b", true},         {u"ts_now", VT_BSTR, "current_timestamp(3)", true},
  };
  for (const auto& c : cases) {
    const t_ftd& f = field(*t, c.name);
    EXPECT_EQ(f.default_value.get_type(), c.type) << u8(c.name);
    EXPECT_EQ(f.default_value.to_string(), c.text) << u8(c.name);
    EXPECT_EQ(f.b_not_null, c.not_null) << u8(c.name);
  }
}

TEST(sql_live_schema, indexes_in_key_order) {
  live_reader reader;
  auto db = reader.open(u"tvx_types");
  auto t = db->get_table(u"indexed", 1);
  ASSERT_EQ(t->indexes.size(), 3u);
  const udb_index& pk = t->indexes.get_index(u"PRIMARY");
  EXPECT_TRUE(pk.primary);
  EXPECT_TRUE(pk.unique);
  EXPECT_EQ(pk.fields, (udb_names{u"b", u"a"}));
  const udb_index& uq = t->indexes.get_index(u"uq_c");
  EXPECT_FALSE(uq.primary);
  EXPECT_TRUE(uq.unique);
  EXPECT_EQ(uq.fields, (udb_names{u"c"}));
  const udb_index& ix = t->indexes.get_index(u"ix_dc");
  EXPECT_FALSE(ix.primary);
  EXPECT_FALSE(ix.unique);
  EXPECT_EQ(ix.fields, (udb_names{u"d", u"c"}));
}

TEST(sql_live_schema, foreign_keys_go_to_the_database_once) {
  live_reader reader;
  auto db = reader.open(u"tvx_types");
  EXPECT_TRUE(db->relationships.empty());
  db->get_table(u"child", 1);
  db->get_table(u"child", 1);  // read twice: the keys are not added twice
  ASSERT_EQ(db->relationships.size(), 2u);
  const udb_relationship& simple = db->relationships.get_index(u"fk_child_parent");
  EXPECT_EQ(u8(simple.table), "child");
  EXPECT_EQ(u8(simple.ref_table), "parent");
  EXPECT_EQ(simple.fields, (udb_names{u"parent_id"}));
  EXPECT_EQ(simple.ref_fields, (udb_names{u"id"}));
  const udb_relationship& pair = db->relationships.get_index(u"fk child`keys");
  EXPECT_EQ(pair.fields, (udb_names{u"k1", u"k2"}));
  EXPECT_EQ(u8(pair.rules), "ON DELETE SET NULL ON UPDATE CASCADE");
}

TEST(sql_live_schema, names_with_backquotes_and_blanks) {
  live_reader reader;
  auto db = reader.open(u"tvx_types");
  ASSERT_TRUE(db->is_table_exist(u"odd`name"));
  auto t = db->get_table(u"odd`name", 1);
  EXPECT_EQ(t->record_count, 2);
  EXPECT_TRUE(t->schema.find_field(u"col`q"));
  EXPECT_EQ(field(*t, u"with blank").size, 10u);
  ASSERT_EQ(t->indexes.size(), 1u);
  EXPECT_EQ(t->indexes[0].fields, (udb_names{u"col`q"}));
}

TEST(sql_live_schema, a_query_is_described_by_its_result_alone) {
  live_reader reader;
  auto db = reader.open(u"tvx_types");
  auto q = db->get_table(u"q", u"SELECT id, v, id * 2.5 AS x FROM rows_600 WHERE id <= 300", 1);
  EXPECT_EQ(q->record_count, 300);
  ASSERT_EQ(q->schema.size(), 3u);
  EXPECT_EQ(q->schema[0].vartype, VT_I4);
  EXPECT_EQ(q->schema[1].vartype, VT_BSTR);
  EXPECT_EQ(q->schema[1].size, 80u);  // the metadata length: no SHOW COLUMNS for a query
  EXPECT_EQ(q->schema[2].vartype, VT_DECIMAL);
  EXPECT_TRUE(q->indexes.empty());
  EXPECT_TRUE(q->is_query());
}

TEST(sql_live_schema, unlisted_tables_and_refused_queries) {
  live_reader reader;
  auto db = reader.open(u"tvx_types");
  // A view is not a table of the database.
  EXPECT_FALSE(db->is_table_exist(u"v_plain"));
  EXPECT_THROW(db->get_table(u"v_plain", 1), tk_mail_assertion);
  try {
    db->get_table(u"bad", u"SELECT no_such_column FROM rows_0", 1);
    FAIL() << "no exception";
  } catch (const sql_exception& e) {
    EXPECT_EQ(e.error_number(), 1054u) << e.what();
  }
  EXPECT_THROW(db->get_table(u"rows_0", 1)->append_record(udb_record()), tk_mail_assertion);
}

}  // namespace
