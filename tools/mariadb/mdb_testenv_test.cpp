// The test equipment itself: the shared server is the private one it claims to be, and a
// private server leaves nothing behind.
#include "mdb_testenv.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>

namespace {

std::string trim(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return s;
}

TEST(mdb_testenv, shared_server_is_private_and_loopback_only) {
  const mdb_server& s = mdb_shared_server();
  EXPECT_EQ(s.host, "127.0.0.1");
  EXPECT_NE(s.port, 0u);
  EXPECT_EQ(trim(mdb_root_sql(s, "SELECT @@datadir")), s.dir + "/data/");
  EXPECT_EQ(trim(mdb_root_sql(s, "SELECT @@bind_address")), "127.0.0.1");
  EXPECT_EQ(trim(mdb_root_sql(s, "SELECT @@port")), std::to_string(s.port));
  // The fixtures are loaded.
  EXPECT_EQ(trim(mdb_root_sql(s, "SELECT COUNT(*) FROM sakila.film")), "1000");
  EXPECT_EQ(trim(mdb_root_sql(s, "SELECT COUNT(*) FROM tvx_types.rows_600")), "600");
}

TEST(mdb_testenv, private_server_stops_and_leaves_nothing) {
  std::string dir;
  pid_t pid = 0;
  {
    mdb_private_server server;
    dir = server.info().dir;
    ASSERT_TRUE(std::filesystem::exists(dir + "/mysqld.pid"));
    std::ifstream(dir + "/mysqld.pid") >> pid;
    ASSERT_GT(pid, 0);
    EXPECT_EQ(kill(pid, 0), 0);
    EXPECT_EQ(trim(mdb_root_sql(server.info(), "SELECT @@datadir")), dir + "/data/");
    server.load("CREATE DATABASE p; CREATE TABLE p.t (i INT); INSERT INTO p.t VALUES (1);");
    EXPECT_EQ(trim(mdb_root_sql(server.info(), "SELECT i FROM p.t")), "1");
    server.stop();
    // Gone, or a zombie waiting for its reaper: either way no longer a running server.
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    if (stat) {
      for (int i = 0; i < 3; ++i) stat >> field;
      EXPECT_EQ(field, "Z");
    }
  }
  EXPECT_FALSE(std::filesystem::exists(dir));
}

}  // namespace
