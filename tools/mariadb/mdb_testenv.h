// Test equipment: the private MariaDB servers of the live tests, seen from C++.
//
// The shared server is the one the ctest fixture "mariadb" started for the whole run (see
// mdb.sh); its address and accounts come from its server.env file, or from the file that the
// environment variable TVX_MARIADB_ENV names. A test that must stop a server (to see a reader
// fail mid-table) starts a private one of its own with mdb_private_server instead.
#pragma once

#include <string>
#include <vector>

struct mdb_server {
  std::string dir;
  std::string host;
  unsigned port = 0;
  std::string socket;
  // The read-only test account (SELECT and SHOW VIEW on the fixture databases).
  std::string user;
  std::string password;
  std::string root_user;
  std::string root_password;
};

// The shared server of this run; throws std::runtime_error with a hint when there is none.
const mdb_server& mdb_shared_server();

// Runs the mdb.sh command with arguments (no shell in between); returns its standard output.
// Throws std::runtime_error when it exits with a non-zero status.
std::string mdb_run_script(const std::vector<std::string>& args, const std::string& input = "");

// Runs SQL as root over the server's socket with the command-line client (batch mode, no column
// names, utf8mb4); returns the output. Throws std::runtime_error when the client fails.
std::string mdb_root_sql(const mdb_server& server, const std::string& sql);

// A server of one test's own, in a fresh temporary directory, stopped and removed when the
// object goes (or earlier by stop()). It has the read-only account and no databases yet.
class mdb_private_server {
 public:
  mdb_private_server();
  ~mdb_private_server();
  mdb_private_server(const mdb_private_server&) = delete;
  mdb_private_server& operator=(const mdb_private_server&) = delete;

  const mdb_server& info() const { return info_; }
  // Loads SQL text as root (the text picks its own database).
  void load(const std::string& sql);
  // Grants the read-only account on a database.
  void grant_reader(const std::string& database);
  // Clean shutdown; waits until the process has gone.
  void stop();

 private:
  mdb_server info_;
  bool running_ = false;
};
