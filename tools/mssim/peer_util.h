// Running the peer programs (tsql, freebcp, bsqldb, python3 with pytds) from the live tests:
// a child process with its input, output and error captured and a time limit, plus a private
// freetds.conf naming the test's server.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace mssim::peer {

struct run_result {
  int status = -1;  // exit status, 128 + signal, or -1 when it was killed for the time limit
  std::string out, err;
  bool timed_out = false;
};

// Runs argv[0] (searched in PATH) with `input` on standard input. `env` entries (NAME=VALUE)
// are added to the environment.
inline run_result run(const std::vector<std::string>& argv, const std::string& input = "",
                      int timeout_ms = 120000, const std::vector<std::string>& env = {}) {
  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) || ::pipe2(out, O_CLOEXEC) || ::pipe2(err, O_CLOEXEC))
    throw std::runtime_error("pipe failed");
  std::vector<std::string> args = argv;
  std::vector<char*> cargv;
  for (auto& a : args) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  std::vector<std::string> envs = env;
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    for (auto& e : envs) ::putenv(e.data());
    ::execvp(cargv[0], cargv.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  ::fcntl(in[1], F_SETFL, O_NONBLOCK);
  run_result r;
  size_t written = 0;
  if (input.empty()) {
    ::close(in[1]);
    in[1] = -1;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  bool out_open = true, err_open = true;
  while (out_open || err_open) {
    pollfd p[3];
    int n = 0;
    int io = -1, ie = -1, ii = -1;
    if (out_open) io = n, p[n++] = {out[0], POLLIN, 0};
    if (err_open) ie = n, p[n++] = {err[0], POLLIN, 0};
    if (in[1] >= 0) ii = n, p[n++] = {in[1], POLLOUT, 0};
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) {
      r.timed_out = true;
      ::kill(pid, SIGKILL);
      break;
    }
    if (::poll(p, n, static_cast<int>(left)) < 0) continue;
    char buf[65536];
    if (io >= 0 && (p[io].revents & (POLLIN | POLLHUP))) {
      ssize_t k = ::read(out[0], buf, sizeof buf);
      if (k <= 0)
        out_open = false;
      else
        r.out.append(buf, k);
    }
    if (ie >= 0 && (p[ie].revents & (POLLIN | POLLHUP))) {
      ssize_t k = ::read(err[0], buf, sizeof buf);
      if (k <= 0)
        err_open = false;
      else
        r.err.append(buf, k);
    }
    if (ii >= 0 && (p[ii].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t k = ::write(in[1], input.data() + written, input.size() - written);
      if (k > 0) written += k;
      if (k < 0 || written == input.size()) {
        ::close(in[1]);
        in[1] = -1;
      }
    }
  }
  if (in[1] >= 0) ::close(in[1]);
  ::close(out[0]);
  ::close(err[0]);
  int st = 0;
  ::waitpid(pid, &st, 0);
  r.status = r.timed_out ? -1 : WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  return r;
}

// /usr/bin/python3 (the interpreter Debian's python3-tds belongs to) running `code`; the port
// is passed as sys.argv[1], further `args` after it.
inline run_result python(const std::string& code, uint16_t port,
                         const std::vector<std::string>& args = {}, int timeout_ms = 300000) {
  std::vector<std::string> argv = {"/usr/bin/python3", "-c", code, std::to_string(port)};
  argv.insert(argv.end(), args.begin(), args.end());
  return run(argv, "", timeout_ms);
}

// A folder removed with its contents when the object goes away.
class temp_dir {
 public:
  temp_dir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "mssim-test-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
  }
  ~temp_dir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline void write_file(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary);
  f << text;
  if (!f) throw std::runtime_error("cannot write " + path);
}

// A freetds.conf with one server entry "mssim" for the DB-Library tools (freebcp, bsqldb),
// and the environment entry that points FreeTDS at it.
inline std::string freetds_conf(const temp_dir& dir, uint16_t port) {
  std::string path = dir.file("freetds.conf");
  write_file(path, "[mssim]\n\thost = 127.0.0.1\n\tport = " + std::to_string(port) +
                       "\n\ttds version = 7.4\n\tclient charset = UTF-8\n");
  return "FREETDSCONF=" + path;
}

// tsql against the server, `script` on its standard input (statements ended by "go").
inline run_result tsql(uint16_t port, const std::string& script,
                       const std::string& password = "Passw0rd!", const std::string& user = "sa",
                       const std::string& database = "") {
  std::vector<std::string> argv = {"tsql", "-H", "127.0.0.1", "-p",    std::to_string(port),
                                   "-U",   user, "-P",        password};
  if (!database.empty()) {
    argv.push_back("-D");
    argv.push_back(database);
  }
  return run(argv, script, 120000);
}

}  // namespace mssim::peer
