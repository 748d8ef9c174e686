// A private mssim for a test: starts the binary on 127.0.0.1 with --port 0, reads the port
// from its first line of output, and stops it (SIGTERM, then SIGKILL after a grace period) in
// the destructor, so no server outlives the test that started it.
//
//   mssim::test_server srv;                        // in-memory, login sa / Passw0rd!
//   mssim::test_server srv({"--data", dir, "--login", "u:p"});
//   connect to 127.0.0.1:srv.port()
//
// The binary is $MSSIM_BIN when set, else the mssim built beside this library.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace mssim {

class test_server {
 public:
  // Starts the server with `args` added to --port 0; throws std::runtime_error when it does not
  // print its port within `timeout_ms` (its standard error then goes to the test's).
  explicit test_server(std::vector<std::string> args = {}, int timeout_ms = 15000);
  ~test_server();
  test_server(const test_server&) = delete;
  test_server& operator=(const test_server&) = delete;

  uint16_t port() const { return port_; }
  pid_t pid() const { return pid_; }

  // Sends SIGTERM and waits; returns the exit status (0 after a clean stop), or 128 + signal
  // when it had to be killed or died of a signal. Safe to call twice.
  int stop(int grace_ms = 10000);
  // True while the process has not exited.
  bool running();

  // The default login.
  static const char* user() { return "sa"; }
  static const char* password() { return "Passw0rd!"; }
  // A DSN-less ODBC connection string for the FreeTDS driver to this server.
  std::string odbc_connection_string(const std::string& database = "master",
                                     const std::string& user = "sa",
                                     const std::string& password = "Passw0rd!") const;

  // The mssim binary this helper starts.
  static std::string binary();

 private:
  pid_t pid_ = -1;
  uint16_t port_ = 0;
  int status_ = -1;
};

}  // namespace mssim
