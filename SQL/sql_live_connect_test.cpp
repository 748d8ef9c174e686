// Connecting to the private MariaDB: version, character set, database lists, and the errors a
// user meets, each a sql_exception carrying the MySQL error number.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "sql_exception.h"
#include "sql_live_support.h"
#include "tk_log.h"

namespace {

bool contains(const std::vector<std::u16string>& list, const std::u16string& name) {
  return std::find(list.begin(), list.end(), name) != list.end();
}

TEST(sql_live_connect, connects_with_utf8mb4_and_lists_databases) {
  std::string log_file = testing::TempDir() + "sql_live_connect.log";
  auto log = std::make_unique<tk_log>(log_file, true, 1, false);
  {
    live_reader reader;
    sql_engine& e = reader.engine();
    EXPECT_TRUE(e.is_connected());
    EXPECT_GE(e.version(), 0x0A0000u);  // MariaDB 10
    EXPECT_TRUE(e.has_foreign_keys());
    EXPECT_EQ(e.charset(), "utf8mb4");
    std::vector<std::u16string> dbs = e.get_contents();
    EXPECT_TRUE(contains(dbs, u"sakila"));
    EXPECT_TRUE(contains(dbs, u"tvx_types"));
    EXPECT_TRUE(contains(dbs, u"tvx_o'db"));
    EXPECT_TRUE(e.is_db_exist(u"sakila"));
    EXPECT_FALSE(e.is_db_exist(u"no_such_database"));
  }
  log.reset();
  std::ifstream in(log_file);
  std::stringstream text;
  text << in.rdbuf();
  for (const char* line :
       {"sql_engine::connect(127.0.0.1,tvx_reader,", "Connecting to MySQL server...",
        "Setting UTF-8 collation...", "Got MySQL server version: 10.", "Hex version: 000A",
        "sql_engine::initialize - END"}) {
    EXPECT_NE(text.str().find(line), std::string::npos) << line;
  }
  // utf8mb4 was accepted at once: no fallback was traced.
  EXPECT_EQ(text.str().find("Cannot set UTF-8 collation"), std::string::npos);
}

TEST(sql_live_connect, connecting_again_closes_the_first_connection) {
  const mdb_server& s = mdb_shared_server();
  live_root root(s);
  live_reader reader;
  auto id_of = [&] {
    auto db = reader.open(u"tvx_types");
    auto rows = db->query(u"SELECT CONNECTION_ID()");
    rows->reset();
    return rows->get_item().at(0).to_string();
  };
  std::string first = id_of();
  reader.engine().connect(s.host, s.user, s.password, s.port);
  std::string second = id_of();
  EXPECT_NE(first, second);
  // The first session is gone from the server (closing is asynchronous on the server side).
  std::string count;
  for (int i = 0; i < 50; ++i) {
    count = root.scalar("SELECT COUNT(*) FROM information_schema.processlist WHERE id=" + first);
    if (count == "0") break;
    usleep(20000);
  }
  EXPECT_EQ(count, "0");
}

TEST(sql_live_connect, failures_carry_the_mysql_error_number) {
  const mdb_server& s = mdb_shared_server();
  struct {
    const char* what;
    std::string user, password;
    unsigned port;
    unsigned error;
  } cases[] = {
      {"wrong password", s.user, "wrong", s.port, 1045},
      {"unknown user", "nobody_here", "x", s.port, 1045},
      {"nothing listening", s.user, s.password, 1, 2002},
  };
  for (const auto& c : cases) {
    sql_engine engine;
    try {
      engine.connect(s.host, c.user, c.password, c.port);
      ADD_FAILURE() << c.what << ": no exception";
    } catch (const sql_exception& e) {
      // Refused TCP connections are 2002 or 2003 depending on the library's path.
      if (c.error == 2002) {
        EXPECT_TRUE(e.error_number() == 2002 || e.error_number() == 2003) << e.what();
      } else {
        EXPECT_EQ(e.error_number(), c.error) << c.what << ": " << e.what();
      }
      EXPECT_EQ(e.code(), sql_exception::make_code(e.error_number()));
      EXPECT_EQ(e.level(), 0);
      EXPECT_STRNE(e.what(), "Unknown exception");
    }
    EXPECT_FALSE(engine.is_connected()) << c.what;
  }
}

TEST(sql_live_connect, opening_a_missing_database_fails_with_its_error) {
  const mdb_server& s = mdb_shared_server();
  sql_engine engine;
  engine.connect(s.host, s.root_user, s.root_password, s.port);
  try {
    engine.open_db(u"no_such_database", 1);
    FAIL() << "no exception";
  } catch (const sql_exception& e) {
    EXPECT_EQ(e.error_number(), 1049u) << e.what();
    EXPECT_EQ(e.code(), 0x400419);
  }
}

}  // namespace
