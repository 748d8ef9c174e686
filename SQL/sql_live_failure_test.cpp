// The server going away under the reader: a sql_exception with the client library's error
// number, never a crash and never a silently short table.
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
