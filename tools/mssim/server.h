// The stand-in's listener: TCP on 127.0.0.1, one thread per connection, each connection a TDS
// conversation with one engine session. Also the settings the command line fills in: logins
// and the fault options reliability tests use.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine.h"

namespace mssim {

struct login_entry {
  std::u16string name;  // compared without regard to ASCII case, as SQL Server logins are
  std::u16string password;
};

// Misbehaviour on purpose, for tests of a client's error handling. Counters are process-wide:
// they count over every connection since the server started.
struct fault_options {
  int64_t drop_after_rows = 0;        // close a connection when it would pass row N; 0 = never
  int64_t drop_after_statements = 0;  // close a connection at request N+1; 0 = never
  int delay_ms = 0;                   // wait this long before answering each request
  bool refuse_logins = false;         // every login fails with 18456
};

struct server_options {
  uint16_t port = 0;  // 0: any free port
  std::vector<login_entry> logins;
  fault_options faults;
};

// State every connection shares.
struct server_context {
  engine& eng;
  const server_options& opts;
  std::atomic<int64_t> rows{0};        // result rows sent plus bulk rows received
  std::atomic<int64_t> statements{0};  // SQL batches and RPC requests received
  std::atomic<uint16_t> next_spid{51};
  std::atomic<bool> stopping{false};
};

class tds_connection;

class server {
 public:
  server(engine& eng, server_options opts);
  ~server();
  server(const server&) = delete;
  server& operator=(const server&) = delete;

  // Binds and listens on 127.0.0.1; returns the port. Throws std::system_error on failure.
  uint16_t listen();
  // Accepts connections until stop(); returns once every connection thread has ended.
  void run();
  // Ends run(): stops accepting and closes every connection. Callable from any thread.
  void stop();

 private:
  struct worker {
    std::shared_ptr<tds_connection> conn;
    std::thread thread;
  };
  void reap(bool all);

  server_options opts_;
  server_context ctx_;
  int listen_fd_ = -1;
  int wake_fd_[2] = {-1, -1};
  std::mutex mu_;
  std::list<worker> workers_;
};

}  // namespace mssim
