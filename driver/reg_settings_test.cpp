#include "reg_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

namespace {

class reg_settings_test : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/reg_settings_XXXXXX";
    dir_ = mkdtemp(tmpl);
    root_ = tk_reg_root(dir_);
  }
  void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
  std::string file() const { return dir_ + "/Quillon/Tarvex.conf"; }

  std::string dir_;
  tk_reg_root root_;
};

}  // namespace

TEST_F(reg_settings_test, first_start_gives_the_defaults_and_a_store_writes_all_fifteen) {
  reg_settings s;
  s.host = "kept";
  EXPECT_FALSE(serialize(s, false, &root_));  // no values yet
  EXPECT_TRUE(s.as_dbo);
  EXPECT_TRUE(s.windows_authentication);
  EXPECT_FALSE(s.blob_to_text || s.convert_views || s.skip_indexes || s.only_definitions);
  EXPECT_EQ(s.port, "3306");
  EXPECT_EQ(s.host, "kept");  // "as constructed"

  EXPECT_TRUE(serialize(s, true, &root_));
  tk_reg_key key;
  ASSERT_EQ(key.create(&root_, reg_settings_key), 0);
  std::map<std::string, tk_reg_value> all;
  ASSERT_EQ(key.read_all(all), 0);
  EXPECT_EQ(all.size(), 15u);
  struct stat st {};
  ASSERT_EQ(stat(file().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(reg_settings_test, every_value_round_trips) {
  reg_settings s;
  s.as_dbo = false;
  s.blob_to_text = s.convert_views = s.skip_indexes = s.only_definitions = true;
  s.windows_authentication = false;
  s.port = "3307";
  s.host = "db.example";
  s.src_db = u"sakila \u00e9t\u00e9";
  s.dest_db = u"dest\U0001F600";
  s.user = "root";
  s.password = "p;w=d\n";
  s.server = u"127.0.0.1,1433";
  s.mssql_password = u"S3cret!{}";
  s.login = u"sa";
  ASSERT_TRUE(serialize(s, true, &root_));
  reg_settings back;
  ASSERT_TRUE(serialize(back, false, &root_));
  EXPECT_EQ(back.as_dbo, false);
  EXPECT_EQ(back.windows_authentication, false);
  EXPECT_TRUE(back.blob_to_text && back.convert_views && back.skip_indexes &&
              back.only_definitions);
  EXPECT_EQ(back.port, s.port);
  EXPECT_EQ(back.host, s.host);
  EXPECT_EQ(back.src_db, s.src_db);
  EXPECT_EQ(back.dest_db, s.dest_db);
  EXPECT_EQ(back.user, s.user);
  EXPECT_EQ(back.password, s.password);
  EXPECT_EQ(back.server, s.server);
  EXPECT_EQ(back.mssql_password, s.mssql_password);
  EXPECT_EQ(back.login, s.login);
}

TEST_F(reg_settings_test, odd_stored_values) {
  {
    tk_reg_key key;
    ASSERT_EQ(key.create(&root_, reg_settings_key), 0);
    key.set(5u, "sec_log");
    key.set("", "port");           // empty text: the default stays
    key.set(u"1", "tab_def");      // four bytes of another type: read as a number
    key.set(u"yes", "blob2text");  // longer: fails, the default stays
    key.set("", "host");
  }
  reg_settings s;
  s.host = "before";
  s.blob_to_text = true;
  EXPECT_FALSE(serialize(s, false, &root_));
  EXPECT_TRUE(s.windows_authentication);
  EXPECT_EQ(s.port, "3306");
  EXPECT_TRUE(s.only_definitions);
  EXPECT_FALSE(s.blob_to_text);
  EXPECT_EQ(s.host, "before");
  ASSERT_TRUE(serialize(s, true, &root_));
  tk_reg_key key;
  ASSERT_EQ(key.create(&root_, reg_settings_key), 0);
  uint32_t n = 0;
  ASSERT_EQ(key.get_value(n, "sec_log"), 0);
  EXPECT_EQ(n, 1u);
}

TEST_F(reg_settings_test, a_store_that_cannot_be_opened_reads_and_writes_nothing) {
  std::ofstream(dir_ + "/Quillon") << "a file where the directory should be";
  reg_settings s;
  s.port = "1";
  EXPECT_FALSE(serialize(s, true, &root_));
  EXPECT_FALSE(serialize(s, false, &root_));
  EXPECT_EQ(s.port, "3306");  // the defaults are still put in place
}
