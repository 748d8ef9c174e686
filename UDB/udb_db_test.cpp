#include "udb_db.h"

#include <gtest/gtest.h>

#include "udb_test_support.h"

namespace {

// The smallest recordset: the base behaviour of every slot but the abstract one.
struct plain_recordset : udb_recordset {
  using udb_recordset::udb_recordset;
  void append_record(const udb_record&) override { throw tk_mail_assertion("test_recs", 1); }
};

// A database whose table list the test sets.
struct listed_database : udb_database {
  listed_database(std::initializer_list<const char16_t*> names, bool case_sensitive)
      : udb_database(nullptr, u"db", 0, case_sensitive) {
    for (const char16_t* name : names) tables.push_back(name);
  }
  std::unique_ptr<udb_recordset> create_table(const std::u16string& name, const udb_schema&,
                                              const udb_indexes&) override {
    tables.push_back(name);
    return std::make_unique<plain_recordset>(name);
  }
  std::unique_ptr<udb_recordset> get_table(const std::u16string& name, int32_t) override {
    return std::make_unique<plain_recordset>(name);
  }
  std::unique_ptr<udb_recordset> get_table(const std::u16string& name, const std::u16string& q,
                                           int32_t) override {
    return std::make_unique<plain_recordset>(name, q);
  }
  bool execute_sql(const std::u16string&) override { return true; }
};

}  // namespace

TEST(udb_database, is_table_exist_follows_the_case_rule) {
  listed_database ignoring({u"Orders", u"customers"}, false);
  EXPECT_TRUE(ignoring.is_table_exist(u"ORDERS"));
  EXPECT_TRUE(ignoring.is_table_exist(u"customers"));
  EXPECT_FALSE(ignoring.is_table_exist(u"Order"));

  listed_database exact({u"Orders", u"customers"}, true);
  EXPECT_FALSE(exact.is_table_exist(u"ORDERS"));
  EXPECT_TRUE(exact.is_table_exist(u"Orders"));
}

TEST(udb_database, delete_tab_removes_a_listed_name_only) {
  listed_database db({u"Orders", u"customers"}, false);
  db.delete_tab(u"orders");
  EXPECT_FALSE(db.is_table_exist(u"Orders"));
  EXPECT_EQ(db.tables, (std::vector<std::u16string>{u"customers"}));
  EXPECT_EQ(assertion_source_of([&] { db.delete_tab(u"orders"); }), "udb_db");

  listed_database exact({u"Orders"}, true);
  EXPECT_EQ(assertion_source_of([&] { exact.delete_tab(u"orders"); }), "udb_db");
  exact.create_table(u"t", udb_schema(), udb_indexes());
  EXPECT_TRUE(exact.is_table_exist(u"t"));
}

TEST(udb_database, base_slots) {
  listed_database db({}, false);
  EXPECT_EQ(assertion_source_of([&] { db.query(u"select 1"); }), "udb_db");
  db.create_views({{u"v", u"select 1"}});  // nothing to do, nothing raised
  db.create_relationships(udb_relationships());
}

TEST(udb_recordset, a_base_recordset_has_no_rows) {
  plain_recordset table(u"orders");
  EXPECT_EQ(table.position, -1);
  table.reset();
  EXPECT_TRUE(table.is_eof());
  EXPECT_TRUE(table.get_item().empty());
  table.next();
  table.prev();
  udb_record row;
  table.update(row);
  EXPECT_FALSE(table.is_query());
  EXPECT_TRUE(plain_recordset(u"q", u"select 1").is_query());
}

TEST(udb_recordset, add_index_keeps_names_distinct_and_notes_the_update_key) {
  plain_recordset table(u"orders");
  table.add_index({u"ix_date", false, false, {u"date"}});
  table.add_index({u"IX_DATE", true, false, {u"other"}});
  ASSERT_EQ(table.indexes.size(), 1u);
  EXPECT_EQ(table.indexes[0].fields, (udb_names{u"date"}));
  EXPECT_EQ(table.update_key, -1);

  table.add_index({u"uq_code", true, false, {u"code"}});
  table.add_index({u"PRIMARY", true, true, {u"id"}});
  EXPECT_EQ(table.indexes.size(), 3u);
  EXPECT_EQ(table.update_key, 1);

  table.clean_indexes();
  EXPECT_TRUE(table.indexes.empty());
  EXPECT_EQ(table.update_key, -1);
}

TEST(udb_recordset, convert_record_changes_values_by_position) {
  plain_recordset table(u"t");
  table.schema.add(new t_ftd(u"id", VT_I4));
  table.schema.add(new t_ftd(u"label", VT_BSTR, 10));
  udb_record row;
  // Names swapped on purpose: only the positions count.
  row.emplace_back(u"label", 2, ole_variant(u"12"));
  row.emplace_back(u"id", 4, ole_variant(7));
  table.convert_record(row);
  EXPECT_EQ(row[0].get_type(), VT_I4);
  EXPECT_EQ(row[0].to_long(), 12);
  EXPECT_EQ(row[1].get_type(), VT_BSTR);
  EXPECT_EQ(row[1].to_wstring(), u"7");

  udb_record shorter;
  shorter.emplace_back(u"id", 1, ole_variant(u"3"));
  table.convert_record(shorter);
  EXPECT_EQ(shorter[0].get_type(), VT_I4);

  udb_record longer = row;
  longer.emplace_back(u"extra", 1, ole_variant(1));
  EXPECT_NE(assertion_source_of([&] { table.convert_record(longer); }), "");

  plain_recordset dates(u"d");
  dates.schema.add(new t_ftd(u"n", VT_I4));
  udb_record when;
  when.emplace_back(u"n", 0, ole_variant(SYSTEMTIME{2024, 5, 0, 17, 10, 0, 0, 0}));
  EXPECT_THROW(dates.convert_record(when), ole_cast_exception);
  EXPECT_EQ(when[0].get_type(), VT_DATE);
}
