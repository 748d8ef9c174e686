// The program end to end, as a new user runs it: the shared private MariaDB (loaded with Sakila)
// migrated into a private stand-in, then both ends compared with clients the product does not
// use (e2e_tool.py: the MariaDB client and pytds).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "agent_process.h"
#include "mdb_testenv.h"
#include "test_server.h"

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream s(text);
  for (std::string line; std::getline(s, line);) out.push_back(line);
  return out;
}

// Runs a command through the shell; its standard output.
std::string shell(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int rc = pclose(p);
  if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class agent_e2e : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = std::make_unique<mssim::test_server>(); }
  static void TearDownTestSuite() { server_.reset(); }

  void SetUp() override {
    char tmpl[] = "/tmp/agent_e2e_XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }

  const mdb_server& src() { return mdb_shared_server(); }

  std::vector<std::string> connection() {
    const mdb_server& s = src();
    return {"--mysqlh=" + s.host,
            "--port=" + std::to_string(s.port),
            "--mysqlu=" + s.user,
            "--mysqlp=" + s.password,
            "--mssqlh=127.0.0.1," + std::to_string(server_->port()),
            std::string("--mssqlu=") + mssim::test_server::user(),
            std::string("--mssqlp=") + mssim::test_server::password()};
  }

  agent_result agent(const std::string& dest, std::vector<std::string> extra) {
    std::vector<std::string> args = {"--src=sakila", "--dest=" + dest};
    for (auto& a : connection()) args.push_back(a);
    for (auto& a : extra) args.push_back(a);
    return run_agent(args);
  }

  std::string tool(const std::string& command, const std::string& dest,
                   const std::vector<std::string>& tables = {}, int* status = nullptr) {
    std::string cmd = std::string("/usr/bin/python3 ") + E2E_TOOL + " " + command + " " +
                      quoted(src().dir + "/server.env") + " sakila " +
                      std::to_string(server_->port()) + " " +
                      quoted(mssim::test_server::password()) + " " + quoted(dest);
    for (const auto& t : tables) cmd += " " + quoted(t);
    return shell(cmd + " 2>&1", status);
  }

  std::string dest_sql(const std::string& db, const std::string& statement) {
    int status = 0;
    std::string out =
        shell(std::string("/usr/bin/python3 ") + E2E_TOOL + " sql " +
                  std::to_string(server_->port()) + " " + quoted(mssim::test_server::password()) +
                  " " + quoted(db) + " " + quoted(statement) + " 2>&1",
              &status);
    EXPECT_EQ(status, 0) << statement << "\n" << out;
    return out;
  }

  bool dest_exists(const std::string& db) {
    int status = 0;
    shell(std::string("/usr/bin/python3 ") + E2E_TOOL + " sql " + std::to_string(server_->port()) +
              " " + quoted(mssim::test_server::password()) + " " + quoted(db) + " 'SELECT 1' 2>&1",
          &status);
    return status == 0;
  }

  // Table name to row count, in the source.
  std::map<std::string, std::string> source_counts() {
    std::map<std::string, std::string> counts;
    std::string names = mdb_root_sql(
        src(),
        "SELECT table_name FROM information_schema.tables WHERE table_schema='sakila' AND "
        "table_type='BASE TABLE'");
    for (const auto& t : lines_of(names)) {
      std::string n = mdb_root_sql(src(), "SELECT COUNT(*) FROM sakila.`" + t + "`");
      counts[t] = lines_of(n).at(0);
    }
    return counts;
  }

  static std::unique_ptr<mssim::test_server> server_;
  std::string dir_;
};

std::unique_ptr<mssim::test_server> agent_e2e::server_;

}  // namespace

TEST_F(agent_e2e, sakila_arrives_whole_with_console_lines_and_log) {
  std::map<std::string, std::string> counts = source_counts();
  ASSERT_FALSE(counts.empty());
  std::string log = dir_ + "/run.log";
  agent_result r = agent("sakila", {"--logfile=" + log});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(r.err, "");

  // Standard output: the database line, then one line per table in name order.
  std::string expected =
      "Converting database sakila(" + std::to_string(counts.size()) + " tables)\n";
  for (const auto& [t, n] : counts) expected += "Converting table " + t + "(" + n + " records)\n";
  EXPECT_EQ(r.out, expected);

  // The log: CRLF lines, the start line first, the database and table lines in order, the end
  // line last.
  std::string text = slurp(log);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.rfind("Conversion started on ", 0), 0u) << text;
  EXPECT_EQ(text.substr(text.size() - 3), "\n\r\n");
  size_t last_line = text.rfind("Conversion ended on ");
  ASSERT_NE(last_line, std::string::npos);
  EXPECT_EQ(text.find("\r\n", last_line), text.size() - 2);
  size_t at =
      text.find("Converting database sakila (" + std::to_string(counts.size()) + " tables)\r\n");
  EXPECT_NE(at, std::string::npos) << text;
  for (const auto& [t, n] : counts) {
    size_t next = text.find("Converting table " + t + " (" + n + " records)\r\n", at);
    EXPECT_NE(next, std::string::npos) << t;
    if (next != std::string::npos) at = next;
  }
  for (size_t i = 0; (i = text.find('\n', i)) != std::string::npos; ++i)
    if (text[i - 1] != '\r') EXPECT_EQ(text.substr(i, 3), "\n\r\n") << "bare line feed";

  // Every row of every table, and the keys.
  int status = 0;
  std::string compared = tool("compare", "sakila", {}, &status);
  EXPECT_EQ(status, 0) << compared;
  EXPECT_EQ(lines_of(compared).size(), counts.size()) << compared;
  std::string keys = tool("keys", "sakila", {}, &status);
  EXPECT_EQ(status, 0) << keys;
}

TEST_F(agent_e2e, silent_prints_nothing) {
  agent_result r = agent("sakila_silent", {"--silent"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out + r.err, "");
  int status = 0;
  std::string compared = tool("compare", "sakila_silent", {"actor", "film"}, &status);
  EXPECT_EQ(status, 0) << compared;
}

TEST_F(agent_e2e, a_missing_table_and_a_bad_port) {
  std::string list = dir_ + "/tables.txt";
  std::ofstream(list) << "\xEF\xBB\xBF"
                         "language\nno_such_table\n";
  agent_result r = agent("sakila_list", {"--tab_file=" + list});
  EXPECT_EQ(r.exit_code, 1) << r.out << r.err;  // a table failed: errors were reported
  EXPECT_EQ(r.err, "Table no_such_table not exists\n");
  EXPECT_EQ(r.out, "Converting database sakila(2 tables)\nConverting table language(6 records)\n");

  std::vector<std::string> args = {"--src=sakila", "--dest=x"};
  for (auto& a : connection())
    if (a.rfind("--port=", 0) != 0) args.push_back(a);
  args.push_back("--port=0");
  r = run_agent(args);
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_EQ(r.out, "Error:\nInvalid port number\n");
}

TEST_F(agent_e2e, a_wrong_mysql_password_stops_before_anything_is_written) {
  std::vector<std::string> args = {"--src=sakila", "--dest=never_made"};
  for (auto& a : connection())
    args.push_back(a.rfind("--mysqlp=", 0) == 0 ? std::string("--mysqlp=wrong") : a);
  agent_result r = run_agent(args);
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_EQ(r.out.rfind("Error:\nAccess denied. Verify the user name and password are correct", 0),
            0u)
      << r.out;
  EXPECT_FALSE(dest_exists("never_made"));
}

TEST_F(agent_e2e, modes_against_an_existing_destination) {
  std::string list = dir_ + "/tables.txt";
  std::ofstream(list) << "actor\ncategory\nlanguage\n";
  const std::string db = "sakila_modes";
  agent_result r = agent(db, {"--tab_file=" + list});
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  dest_sql(db, "CREATE TABLE [extra] (x int)");

  // 2: every table exists, every one is skipped.
  dest_sql(db, "DELETE FROM [language] WHERE language_id > 3");
  r = agent(db, {"--tab_file=" + list, "--mode=2"});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(r.out, "Converting database sakila(3 tables)\n");
  EXPECT_EQ(dest_sql(db, "SELECT COUNT(*) FROM [language]"), "3\n");

  // 1: the tables are dropped and made again, the rest of the database stays.
  r = agent(db, {"--tab_file=" + list, "--mode=1"});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(dest_sql(db, "SELECT COUNT(*) FROM [language]"), "6\n");
  EXPECT_EQ(dest_sql(db, "SELECT COUNT(*) FROM [extra]"), "0\n");

  // 4: a row whose key exists is overwritten; no error is reported.
  dest_sql(db, "UPDATE [actor] SET first_name = N'CHANGED' WHERE actor_id = 1");
  dest_sql(db, "DELETE FROM [actor] WHERE actor_id = 2");
  r = agent(db, {"--tab_file=" + list, "--mode=4"});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(r.out.find("Error"), std::string::npos) << r.out;
  EXPECT_EQ(dest_sql(db, "SELECT first_name FROM [actor] WHERE actor_id = 1"), "PENELOPE\n");
  EXPECT_EQ(dest_sql(db, "SELECT COUNT(*) FROM [actor]"), "200\n");

  // 3: merge into a table with one column fewer is refused for that table only.
  dest_sql(db, "DROP TABLE [category]");
  dest_sql(db,
           "CREATE TABLE [category] (category_id tinyint NOT NULL PRIMARY KEY, "
           "name nvarchar(25) NOT NULL)");
  dest_sql(db, "DELETE FROM [language] WHERE language_id = 6");
  r = agent(db, {"--tab_file=" + list, "--mode=3"});
  EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
  EXPECT_EQ(r.out,
            "Converting database sakila(3 tables)\n"
            "Converting table actor(200 records)\n"
            "Error:\ncategory: The structure of data source does not conform to the destination "
            "table.\n"
            "Converting table language(6 records)\n");
  EXPECT_EQ(dest_sql(db, "SELECT COUNT(*) FROM [language]"), "6\n");
  EXPECT_EQ(dest_sql(db, "SELECT COUNT(*) FROM [category]"), "0\n");

  // 0: the whole database is dropped first.
  r = agent(db, {"--tab_file=" + list, "--mode=0"});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(
      dest_sql(db, "SELECT COUNT(*) FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_NAME = 'extra'"),
      "0\n");
  int status = 0;
  std::string compared = tool("compare", db, {"actor", "category", "language"}, &status);
  EXPECT_EQ(status, 0) << compared;
}
