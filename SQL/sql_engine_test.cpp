// The engine without a server: the singleton rule and every version-dependent choice.
#include "sql_engine.h"

#include <gtest/gtest.h>

#include "sql_exception.h"
#include "tk_string.h"

namespace {

TEST(sql_engine, is_a_singleton) {
  sql_engine engine;
  EXPECT_EQ(&sql_engine::instance(), &engine);
  EXPECT_THROW(sql_engine second, tk_mail_assertion);
  EXPECT_FALSE(engine.is_connected());
  EXPECT_EQ(engine.version(), 0u);
  EXPECT_FALSE(engine.has_foreign_keys());
  EXPECT_FALSE(engine.blob_to_text());
  EXPECT_THROW(engine.create_db(u"x"), tk_mail_assertion);
  EXPECT_THROW(engine.db_delete(u"x"), tk_mail_assertion);
}

TEST(sql_engine, version_gates) {
  struct {
    const char* text;
    uint32_t version;
    bool foreign_keys;
    const char* quoted;  // quote_name of a`b
  } cases[] = {
      {"3.23.43", 0x03172B, false, "a`b"},
      {"3.23.44-log", 0x03172C, true, "a`b"},
      {"4.0.27", 0x04001B, true, "a`b"},
      {"4.1.0-alpha", 0x040100, true, "`a``b`"},
      {"5.0.51a-community", 0x050033, true, "`a``b`"},
      {"10.11.19-MariaDB-0+deb12u1", 0x0A0B13, true, "`a``b`"},
  };
  sql_engine engine;
  for (const auto& c : cases) {
    engine.set_server_version(c.text, "");
    EXPECT_EQ(engine.version(), c.version) << c.text;
    EXPECT_EQ(engine.has_foreign_keys(), c.foreign_keys) << c.text;
    EXPECT_EQ(tk_wide_to_utf8(engine.quote_name(u"a`b")), c.quoted) << c.text;
  }
  // A text with fewer than three numbers is a defect, not a user error.
  EXPECT_THROW(engine.set_server_version("5.0", ""), tk_mail_assertion);
  EXPECT_THROW(engine.set_server_version("unknown", ""), tk_mail_assertion);
}

TEST(sql_engine, a_4_1_0_server_refuses_a_password) {
  sql_engine engine;
  EXPECT_NO_THROW(engine.set_server_version("4.1.0", ""));
  try {
    engine.set_server_version("4.1.0", "secret");
    FAIL() << "no exception";
  } catch (const sql_auth_not_supported_exception& e) {
    EXPECT_EQ(e.level(), 1);
    EXPECT_STREQ(e.what(),
                 "The program does not support authentication protocol requested by server. "
                 "See 'Troubleshooting' article of the product documentation.");
  }
  EXPECT_NO_THROW(engine.set_server_version("4.1.1", "secret"));
}

TEST(sql_exception, code_is_the_mysql_error_number_in_the_mysql_range) {
  sql_exception e("Access denied", 1045);
  EXPECT_EQ(e.code(), 0x400415);
  EXPECT_EQ(e.level(), 0);
  EXPECT_EQ(e.error_number(), 1045u);
  EXPECT_STREQ(e.what(), "Access denied");
  EXPECT_EQ(sql_exception("", 0x12345).code(), 0x402345);
  EXPECT_STREQ(sql_exception("", 2013).what(), "Unknown exception");
}

}  // namespace
