// Starting and stopping a private mssim for a test.
#include "test_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

#ifndef MSSIM_BINARY
#define MSSIM_BINARY "mssim"
#endif

namespace mssim {

std::string test_server::binary() {
  const char* env = std::getenv("MSSIM_BIN");
  return env && *env ? env : MSSIM_BINARY;
}

test_server::test_server(std::vector<std::string> args, int timeout_ms) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe: " + std::string(strerror(errno)));
  std::string bin = binary();
  std::vector<std::string> argv_s = {bin, "--port", "0"};
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);

  pid_ = ::fork();
  if (pid_ < 0) {
    ::close(out[0]);
    ::close(out[1]);
    throw std::runtime_error("fork: " + std::string(strerror(errno)));
  }
  if (pid_ == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::execv(bin.c_str(), argv.data());
    std::fprintf(stderr, "cannot run %s: %s\n", bin.c_str(), strerror(errno));
    ::_exit(127);
  }
  ::close(out[1]);

  // Read the first line: the port, printed once the server accepts connections.
  std::string line;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  bool done = false;
  while (!done) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) break;
    pollfd p{out[0], POLLIN, 0};
    int n = ::poll(&p, 1, static_cast<int>(left));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    char buf[64];
    ssize_t r = ::read(out[0], buf, sizeof buf);
    if (r <= 0) break;
    for (ssize_t i = 0; i < r && !done; ++i) {
      if (buf[i] == '\n')
        done = true;
      else
        line.push_back(buf[i]);
    }
  }
  // The rest of its standard output is not read; closing the pipe is harmless because the
  // server writes nothing more there.
  ::close(out[0]);
  char* end = nullptr;
  long port = done ? std::strtol(line.c_str(), &end, 10) : 0;
  if (!done || !end || *end || port <= 0 || port > 65535) {
    stop(2000);
    throw std::runtime_error("mssim (" + bin + ") did not report its port; first output: '" + line +
                             "'");
  }
  port_ = static_cast<uint16_t>(port);
}

test_server::~test_server() { stop(); }

bool test_server::running() {
  if (pid_ <= 0 || status_ >= 0) return false;
  int st;
  pid_t r = ::waitpid(pid_, &st, WNOHANG);
  if (r == pid_) {
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return false;
  }
  return true;
}

int test_server::stop(int grace_ms) {
  if (pid_ <= 0) return status_;
  if (status_ >= 0) return status_;
  ::kill(pid_, SIGTERM);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(grace_ms);
  for (;;) {
    int st;
    pid_t r = ::waitpid(pid_, &st, WNOHANG);
    if (r == pid_) {
      status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
      return status_;
    }
    if (r < 0 && errno != EINTR) return status_;
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid_, SIGKILL);
  int st;
  ::waitpid(pid_, &st, 0);
  status_ = 128 + SIGKILL;
  return status_;
}

std::string test_server::odbc_connection_string(const std::string& database,
                                                const std::string& user,
                                                const std::string& password) const {
  auto braced = [](const std::string& v) {
    std::string out = "{";
    for (char c : v) {
      out.push_back(c);
      if (c == '}') out.push_back('}');
    }
    return out + "}";
  };
  return "Driver=FreeTDS;Server=127.0.0.1;Port=" + std::to_string(port_) +
         ";Database=" + braced(database) + ";UID=" + braced(user) + ";PWD=" + braced(password) +
         ";TDS_Version=7.4";
}

}  // namespace mssim
