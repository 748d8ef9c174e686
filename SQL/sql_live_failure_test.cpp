// Tests on a private server of their own: the server going away under the reader (a
// sql_exception with the client library's error number, never a crash and never a silently
// short table), and the statements the reader sends as the server logs them.
#include <gtest/gtest.h>

#include "sql_exception.h"
#include "sql_live_support.h"
#include "sql_recordset.h"

namespace {

TEST(sql_live_failure, server_stopped_in_the_middle_of_a_table) {
  mdb_private_server server;
  server.load(
      "CREATE DATABASE big CHARACTER SET utf8mb4; USE big;"
      "CREATE TABLE big.t (id INT NOT NULL PRIMARY KEY, pad CHAR(100) NOT NULL);"
      "INSERT INTO big.t SELECT seq, REPEAT('x', 100) FROM seq_1_to_300000;");
  server.grant_reader("big");
  auto reader = std::make_unique<live_reader>(server.info());
  auto db = reader->open(u"big");
  auto t = db->get_table(u"t", 1);
  ASSERT_EQ(t->record_count, 300000);
  t->reset();
  int rows = 0;
  for (; rows < 1000; ++rows) t->next();
  server.stop();
  try {
    while (!t->is_eof()) {
      t->next();
      ++rows;
    }
    FAIL() << "the table ended after " << rows << " rows without an error";
  } catch (const sql_exception& e) {
    EXPECT_TRUE(e.error_number() == 2013 || e.error_number() == 2006) << e.what();
    EXPECT_EQ(e.code(), sql_exception::make_code(e.error_number()));
    EXPECT_LT(rows, 300000);
  }
  // Statements after that fail the same way.
  try {
    db->get_table(u"t", 1);
    FAIL() << "no exception";
  } catch (const sql_exception& e) {
    EXPECT_TRUE(e.error_number() == 2013 || e.error_number() == 2006) << e.what();
  }
  // Closing everything against the dead server is quiet.
  t.reset();
  db.reset();
  EXPECT_NO_THROW(reader.reset());
}

}  // namespace

namespace {

// What the reader sends, from the server's general log: one SELECT per table read, no LIMIT
// paging, the row streams sharing one second connection, and nothing that writes.
TEST(sql_live_statements, one_select_per_table_and_nothing_that_writes) {
  mdb_private_server server;
  server.load(
      "CREATE DATABASE s CHARACTER SET utf8mb4; USE s;"
      "CREATE TABLE t (id INT NOT NULL PRIMARY KEY, v VARCHAR(10)) ;"
      "INSERT INTO t SELECT seq, 'x' FROM seq_1_to_1000;"
      "CREATE TABLE u (id INT NOT NULL PRIMARY KEY) ;"
      "INSERT INTO u SELECT seq FROM seq_1_to_700;"
      "SET GLOBAL log_output = 'TABLE'; SET GLOBAL general_log = 1;");
  server.grant_reader("s");
  {
    live_reader reader(server.info());
    auto db = reader.open(u"s", 33);
    for (const char16_t* name : {u"t", u"u"}) {
      auto t = db->get_table(name, 1);
      int n = 0;
      for (t->reset(); !t->is_eof(); t->next()) ++n;
      EXPECT_EQ(n, t->record_count);
    }
  }
  live_root root(server.info());
  std::string reader_rows = "FROM mysql.general_log WHERE user_host LIKE 'tvx_reader%'";
  std::vector<std::string> selects = root.column(
      "SELECT CONVERT(argument USING utf8mb4) " + reader_rows +
      " AND command_type='Query' AND argument LIKE 'SELECT * FROM%' ORDER BY event_time");
  EXPECT_EQ(selects, (std::vector<std::string>{"SELECT * FROM `t`", "SELECT * FROM `u`"}));
  // Two sessions: the engine's and the one row-stream connection both tables shared.
  EXPECT_EQ(root.scalar("SELECT COUNT(DISTINCT thread_id) " + reader_rows), "2");
  EXPECT_EQ(root.scalar("SELECT COUNT(*) " + reader_rows +
                        " AND command_type='Query' AND argument LIKE 'SET NAMES utf8mb4'"),
            "2");
  std::vector<std::string> writes = root.column(
      "SELECT CONVERT(argument USING utf8mb4) " + reader_rows +
      " AND command_type='Query' AND argument REGEXP "
      "'^[[:space:]]*(INSERT|UPDATE|DELETE|REPLACE|CREATE|ALTER|DROP|TRUNCATE|RENAME|GRANT)'");
  EXPECT_TRUE(writes.empty()) << writes.front();
}

}  // namespace
