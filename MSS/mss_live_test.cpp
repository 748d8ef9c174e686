// The access layer against the stand-in server: logins, databases, version codes, owner names,
// reading rows through the cache, the schema rowsets, and a connection kept free while a
// table's rows are pending.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "mss_db.h"
#include "mss_engi.h"
#include "mss_msgs.h"
#include "odb_exce.h"
#include "odb_mdat.h"
#include "odb_tab.h"
#include "test_server.h"
#include "tk_errco.h"
#include "tk_string.h"

namespace {

const char16_t* const odd_password = u"p;}{=x;UID=sa";

class mss_live : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new mssim::test_server(
        {"--login", "sa:Passw0rd!", "--login", "alice:s3cret", "--login", "odd:p;}{=x;UID=sa"});
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  static std::u16string host() {
    return u"127.0.0.1," + tk_utf8_to_wide(std::to_string(server_->port()));
  }
  void login(const std::u16string& user = u"sa", const std::u16string& password = u"Passw0rd!") {
    engine_.connect(host(), user, password, false);
  }
  // A fresh database for one test, dropped afterwards.
  std::unique_ptr<mss_database> scratch(const std::u16string& name) {
    if (engine_.is_db_exist(name)) engine_.delete_db(name);
    dropped_.push_back(name);
    return engine_.create_db(name);
  }
  void TearDown() override {
    for (const auto& name : dropped_) {
      try {
        if (engine_.is_connected() && engine_.is_db_exist(name)) engine_.delete_db(name);
      } catch (const std::exception&) {
      }
    }
  }

  static mssim::test_server* server_;
  // Held by pointer: its destructor may throw, a test fixture's may not.
  std::unique_ptr<mss_engine> engine_holder_ = std::make_unique<mss_engine>();
  mss_engine& engine_ = *engine_holder_;
  std::vector<std::u16string> dropped_;
};
mssim::test_server* mss_live::server_ = nullptr;

std::string friendly(const odb_exception& e) {
  tk_error_converter map(mss_error_item_count, mss_error_items);
  std::string text = map.convert(static_cast<uint32_t>(e.code()));
  return text.empty() ? e.what() : text;
}

}  // namespace

TEST_F(mss_live, login_right_and_wrong_password) {
  login();
  EXPECT_TRUE(engine_.is_connected());
  EXPECT_FALSE(engine_.is_windows_auth());
  EXPECT_EQ(engine_.user_name(), u"sa");
  EXPECT_GE(engine_.get_version_code(), 3);

  try {
    engine_.connect(host(), u"alice", u"wrong", false);
    FAIL() << "a wrong password was accepted";
  } catch (const odb_exception& e) {
    EXPECT_EQ(e.code(), 0x80E4D);
    EXPECT_EQ(friendly(e), "Invalid user name or password.");
    EXPECT_NE(std::string(e.what()).find("Login failed"), std::string::npos) << e.what();
  }
  // The failed connect left the earlier login in place.
  EXPECT_EQ(engine_.user_name(), u"sa");
  EXPECT_TRUE(engine_.is_connected());
}

TEST_F(mss_live, windows_authentication_is_refused_with_the_login_error) {
  try {
    engine_.connect(host(), false);
    FAIL() << "an integrated login was accepted";
  } catch (const odb_exception& e) {
    EXPECT_NE(e.code(), 0x84005) << e.what();
    EXPECT_STRNE(e.what(), "Unknown exception");
  }
  EXPECT_FALSE(engine_.is_connected());
}

TEST_F(mss_live, unreachable_server_is_e_fail) {
  mssim::test_server gone;
  std::u16string where = u"127.0.0.1," + tk_utf8_to_wide(std::to_string(gone.port()));
  gone.stop();
  try {
    engine_.connect(where, u"sa", u"Passw0rd!", false);
    FAIL() << "connected to a stopped server";
  } catch (const odb_exception& e) {
    EXPECT_EQ(e.code(), 0x84005) << e.what();
    EXPECT_EQ(e.code() & 0xFFFF, 0x4005);  // the wizard shows mss_msg_server_not_found for it
  }
}

TEST_F(mss_live, password_with_brace_and_semicolon_characters) {
  engine_.connect(host(), u"odd", odd_password, false);
  EXPECT_EQ(engine_.user_name(), u"odd");
  // The same text cut at the first ";" is another password, and fails.
  EXPECT_THROW(engine_.connect(host(), u"odd", u"p", false), odb_exception);
  // Every later connection carries the password too.
  EXPECT_TRUE(engine_.is_db_exist(u"master"));
}

TEST_F(mss_live, databases_with_spaces_and_brackets_in_their_names) {
  login();
  EXPECT_FALSE(engine_.is_db_exist(u"no such db"));
  for (std::u16string name : {u"my db", u"a]b [c]"}) {
    std::unique_ptr<mss_database> db = scratch(name);
    ASSERT_TRUE(db);
    EXPECT_EQ(db->name, name);
    EXPECT_EQ(db->mode, mss_engine::db_created);
    EXPECT_TRUE(db->tables.empty());
    EXPECT_TRUE(db->execute_sql(u"CREATE TABLE t (id int)"));
    db.reset();
    EXPECT_TRUE(engine_.is_db_exist(name));
    std::unique_ptr<mss_database> again = engine_.open_db(name, mss_engine::db_existing);
    EXPECT_EQ(again->tables, std::vector<std::u16string>{u"t"});
    again.reset();
    engine_.delete_db(name);
    EXPECT_FALSE(engine_.is_db_exist(name));
  }
  EXPECT_THROW(engine_.delete_db(u"no such db"), odb_exception);
}

TEST_F(mss_live, operations_before_a_connect_are_defects) {
  EXPECT_THROW(engine_.is_db_exist(u"master"), tk_mail_assertion);
  EXPECT_THROW(engine_.open_db(u"master", 4), tk_mail_assertion);
  EXPECT_THROW(engine_.get_connection_string(u""), tk_mail_assertion);
}

TEST(mss_live_versions, version_code_of_each_version_text) {
  struct row {
    const char* text;
    int code;
  } rows[] = {
      {"Microsoft SQL Server  7.00 - 7.00.623 (Intel X86) \n\tNov 27 1998 22:20:07 \n", 2},
      {"Microsoft SQL Server  2000 - 8.00.2039 (Intel X86) \n\tMay  3 2005 23:18:38 \n", 3},
      {"Microsoft SQL Server 2005 - 9.00.3068.00 (Intel X86) \n\tFeb 26 2008 18:15:01 \n", 4},
      {"Microsoft SQL Server 2008 R2 (SP2) - 10.50.4000.0 (X64) \n\tJun 28 2012 08:36:30 \n", 5},
      {"Microsoft SQL Server 2012 - 11.0.5058.0 (X64) \n\tMay 14 2014 18:34:29 \n", 6},
      {"Microsoft SQL Server 2019 (RTM) - 15.0.2000.5 (X64) \n\tSep 24 2019 13:48:23 \n", 6},
      {"Microsoft SQL Server 2022 (RTM) - 16.0.1000.6 (X64) \n\tOct  8 2022 05:58:25 \n", 6},
      {"Microsoft SQL Azure (RTM) - 12.0.2000.8 \n\tJan 12 2023 05:25:39 \n", 6},
      {"Microsoft SQL Server 7", 1},
  };
  mss_engine engine;
  for (const row& r : rows) {
    mssim::test_server server({"--version-string", r.text});
    engine.connect(u"127.0.0.1," + tk_utf8_to_wide(std::to_string(server.port())), u"sa",
                   u"Passw0rd!", false);
    EXPECT_EQ(engine.get_version_code(), r.code) << r.text;
  }
}

TEST_F(mss_live, safe_table_names_by_login) {
  struct row {
    const char16_t* user;
    const char16_t* password;
    bool as_dbo;
    const char16_t* name;
    const char16_t* expected;
  } rows[] = {
      {u"sa", u"Passw0rd!", false, u"orders", u"[dbo].[orders]"},
      {u"alice", u"s3cret", false, u"orders", u"[alice].[orders]"},
      {u"alice", u"s3cret", true, u"orders", u"[dbo].[orders]"},
      {u"alice", u"s3cret", false, u"[orders]", u"[alice].[orders]"},
      {u"alice", u"s3cret", false, u"[sales].[orders]", u"[sales].[orders]"},
      {u"alice", u"s3cret", false, u"a]b", u"[alice].[a]]b]"},
  };
  for (const row& r : rows) {
    engine_.connect(host(), r.user, r.password, false);
    engine_.set_as_dbo(r.as_dbo);
    EXPECT_EQ(engine_.get_safe_tname(r.name), r.expected) << tk_wide_to_utf8(r.user);
  }
}

TEST_F(mss_live, table_read_through_the_row_cache) {
  login();
  std::unique_ptr<mss_database> db = scratch(u"mss_read");
  ASSERT_TRUE(db->execute_sql(
      u"CREATE TABLE t (id int NOT NULL PRIMARY KEY, name nvarchar(20) NULL, "
      u"price numeric(12,2) NULL, raw varbinary(8) NULL, at datetime NULL, ok bit NULL, "
      u"big bigint NULL)"));
  std::u16string insert = u"INSERT INTO t (id, name, price, raw, at, ok, big) VALUES ";
  ASSERT_TRUE(db->execute_sql(insert +
                              u"(1, N'O''Brien', 1234567890.12, 0x00FF10, '20111231 10:20:30', 1, "
                              u"-9223372036854775808)"));
  ASSERT_TRUE(db->execute_sql(insert + u"(2, N'', -0.05, 0x, NULL, 0, 0)"));
  ASSERT_TRUE(db->execute_sql(insert + u"(3, NULL, NULL, NULL, NULL, NULL, NULL)"));
  for (int i = 4; i <= 12; ++i)
    ASSERT_TRUE(db->execute_sql(insert + u"(" + tk_utf8_to_wide(std::to_string(i)) +
                                u", N'row', 1.50, NULL, NULL, NULL, NULL)"));

  std::unique_ptr<udb_recordset> rs = db->get_table(u"t", odb_table::open_read_only);
  EXPECT_EQ(rs->name, u"[dbo].[t]");
  EXPECT_EQ(rs->record_count, 12);
  ASSERT_EQ(rs->schema.size(), 7u);
  EXPECT_EQ(rs->schema[0].vartype, VT_I4);
  EXPECT_TRUE(rs->schema[0].b_not_null);
  EXPECT_EQ(rs->schema[1].vartype, VT_BSTR);
  EXPECT_EQ(rs->schema[1].size, 20u);
  EXPECT_EQ(rs->schema[2].vartype, VT_DECIMAL);
  EXPECT_EQ(rs->schema[2].reserved, 2 | 12 << 8);
  EXPECT_EQ(rs->schema[3].vartype, VT_BLOB);
  EXPECT_EQ(rs->schema[4].vartype, VT_DATE);
  EXPECT_EQ(rs->schema[5].vartype, VT_BOOL);
  EXPECT_EQ(rs->schema[6].vartype, VT_I8);

  rs->reset();
  ASSERT_FALSE(rs->is_eof());
  const udb_record& a = rs->get_item();
  EXPECT_EQ(a[0].to_long(), 1);
  EXPECT_EQ(a[1].to_wstring(), u"O'Brien");
  EXPECT_EQ(a[2].to_string(), "1234567890.12");
  EXPECT_EQ(a[3].to_string(), "0x00FF10");
  EXPECT_EQ(a[4].to_string(), "2011-12-31 10:20:30");
  EXPECT_TRUE(a[5].to_bool());
  EXPECT_EQ(a[6].get_int64(), INT64_MIN);
  rs->next();
  const udb_record& b = rs->get_item();
  EXPECT_EQ(b[1].get_type(), VT_BSTR);  // an empty string is not NULL
  EXPECT_EQ(b[1].to_wstring(), u"");
  EXPECT_EQ(b[2].to_string(), "-0.05");
  EXPECT_EQ(b[3].get_type(), VT_ARRAY_UI1);  // nor is an empty binary value
  EXPECT_EQ(b[4].get_type(), VT_EMPTY);
  rs->next();
  const udb_record& c = rs->get_item();
  for (size_t i = 1; i < c.size(); ++i) EXPECT_EQ(c[i].get_type(), VT_EMPTY) << i;

  // While the rest of the rows are pending, the database still takes statements.
  EXPECT_TRUE(db->execute_sql(insert + u"(13, N'late', NULL, NULL, NULL, NULL, NULL)"));

  int rows = 3;
  for (rs->next(); !rs->is_eof(); rs->next()) ++rows;
  EXPECT_EQ(rows, 12);  // the count taken at opening bounds the rows read
  rs->reset();
  EXPECT_EQ(rs->get_item()[0].to_long(), 1);
}

TEST_F(mss_live, missing_bracketed_table_is_retried_under_dbo) {
  login();
  std::unique_ptr<mss_database> db = scratch(u"mss_retry");
  ASSERT_TRUE(db->execute_sql(u"CREATE TABLE [dbo].[t] (id int)"));
  odb_table found(u"[nobody].[t]", db->session(), odb_table::open_read_only, db.get());
  EXPECT_EQ(found.name, u"[dbo].[t]");
  try {
    odb_table missing(u"[nobody].[none]", db->session(), odb_table::open_read_only, db.get());
    FAIL() << "opened a missing table";
  } catch (const odb_exception& e) {
    EXPECT_EQ(e.code(), 0x80E37);
  }
  // A name that is not bracketed is not retried.
  EXPECT_THROW(odb_table(u"none", db->session(), odb_table::open_read_only, db.get()),
               odb_exception);
}

TEST_F(mss_live, catalog_rowsets_of_keys_and_indexes) {
  login();
  std::unique_ptr<mss_database> db = scratch(u"mss_catalog");
  ASSERT_TRUE(db->execute_sql(
      u"CREATE TABLE parent (a int NOT NULL, b int NOT NULL, code nvarchar(10) NULL, "
      u"CONSTRAINT PK_parent PRIMARY KEY (b, a))"));
  ASSERT_TRUE(db->execute_sql(u"CREATE UNIQUE INDEX UX_code ON parent (code)"));
  ASSERT_TRUE(db->execute_sql(u"CREATE TABLE child (id int NOT NULL, pa int, pb int)"));
  ASSERT_TRUE(db->execute_sql(
      u"ALTER TABLE child ADD CONSTRAINT FK_child FOREIGN KEY (pb, pa) REFERENCES parent (b, a)"));

  odb_pk_meta_data pk(db->session(), u"parent", u"dbo");
  std::vector<std::u16string> key;
  for (pk.reset(); !pk.is_eof(); pk.next()) {
    EXPECT_EQ(pk.get_item().get_field(u"PK_NAME").to_wstring(), u"PK_parent");
    key.push_back(pk.get_item().get_field(u"COLUMN_NAME").to_wstring());
  }
  EXPECT_EQ(key, (std::vector<std::u16string>{u"b", u"a"}));

  odb_id_meta_data ix(db->session(), u"parent", u"dbo");
  int primary_rows = 0, unique_rows = 0;
  for (ix.reset(); !ix.is_eof(); ix.next()) {
    const udb_record& r = ix.get_item();
    std::u16string index = r.get_field(u"INDEX_NAME").to_wstring();
    if (index == u"PK_parent") {
      EXPECT_TRUE(r.get_field(u"PRIMARY_KEY").to_bool());
      EXPECT_TRUE(r.get_field(u"UNIQUE").to_bool());
      ++primary_rows;
    } else {
      EXPECT_EQ(index, u"UX_code");
      EXPECT_FALSE(r.get_field(u"PRIMARY_KEY").to_bool());
      EXPECT_TRUE(r.get_field(u"UNIQUE").to_bool());
      EXPECT_EQ(r.get_field(u"COLUMN_NAME").to_wstring(), u"code");
      ++unique_rows;
    }
  }
  EXPECT_EQ(primary_rows, 2);
  EXPECT_EQ(unique_rows, 1);

  odb_fk_meta_data fk(db->session(), u"parent", u"dbo");
  std::vector<std::u16string> pairs;
  for (fk.reset(); !fk.is_eof(); fk.next()) {
    const udb_record& r = fk.get_item();
    EXPECT_EQ(r.get_field(u"FK_NAME").to_wstring(), u"FK_child");
    EXPECT_EQ(r.get_field(u"PK_NAME").to_wstring(), u"PK_parent");
    EXPECT_EQ(r.get_field(u"FK_TABLE_NAME").to_wstring(), u"child");
    EXPECT_EQ(r.get_field(u"PK_TABLE_NAME").to_wstring(), u"parent");
    pairs.push_back(r.get_field(u"FK_COLUMN_NAME").to_wstring() + u"->" +
                    r.get_field(u"PK_COLUMN_NAME").to_wstring());
  }
  EXPECT_EQ(pairs, (std::vector<std::u16string>{u"pb->b", u"pa->a"}));

  odb_tl_meta_data tl(db->session(), u"dbo");
  std::vector<std::u16string> names;
  for (tl.reset(); !tl.is_eof(); tl.next()) names.push_back(tl.get_item()[2].to_wstring());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::u16string>{u"child", u"parent"}));
  std::unique_ptr<mss_database> reopened = engine_.open_db(u"mss_catalog", 4);
  EXPECT_EQ(reopened->tables.size(), 2u);
}
