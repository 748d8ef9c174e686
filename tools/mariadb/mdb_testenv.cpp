#include "mdb_testenv.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

namespace {

std::map<std::string, std::string> read_env_file(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::map<std::string, std::string> out;
  std::string line;
  while (std::getline(in, line)) {
    size_t eq = line.find('=');
    if (eq == std::string::npos || line[0] == '#') continue;
    out[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return out;
}

mdb_server server_from_env_file(const std::string& path) {
  auto env = read_env_file(path);
  auto get = [&](const char* key) {
    auto it = env.find(key);
    if (it == env.end()) throw std::runtime_error(path + " has no " + key);
    return it->second;
  };
  mdb_server s;
  s.dir = get("MDB_DIR");
  s.host = get("MDB_HOST");
  s.port = static_cast<unsigned>(std::stoul(get("MDB_PORT")));
  s.socket = get("MDB_SOCKET");
  s.user = get("MDB_USER");
  s.password = get("MDB_PASSWORD");
  s.root_user = get("MDB_ROOT_USER");
  s.root_password = get("MDB_ROOT_PASSWORD");
  return s;
}

// Runs argv[0] with the arguments, feeding `input` to its standard input and collecting its
// standard output; standard error stays the caller's.
std::string run(const std::vector<std::string>& argv, const std::string& input, int& status) {
  int in_pipe[2], out_pipe[2];
  if (pipe2(in_pipe, O_CLOEXEC) != 0 || pipe2(out_pipe, O_CLOEXEC) != 0)
    throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  if (pid == 0) {
    dup2(in_pipe[0], 0);
    dup2(out_pipe[1], 1);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  // Feed and drain together, so a large input or output cannot block both sides.
  std::string output;
  size_t fed = 0;
  int in_fd = in_pipe[1];
  if (input.empty()) {
    close(in_fd);
    in_fd = -1;
  }
  signal(SIGPIPE, SIG_IGN);
  for (;;) {
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {in_fd, POLLOUT, 0}};
    int n = poll(fds, in_fd >= 0 ? 2 : 1, -1);
    if (n < 0 && errno == EINTR) continue;
    if (in_fd >= 0 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t w = write(in_fd, input.data() + fed, input.size() - fed);
      if (w > 0) fed += static_cast<size_t>(w);
      if (w < 0 || fed == input.size()) {
        close(in_fd);
        in_fd = -1;
      }
    }
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      char buf[65536];
      ssize_t r = read(out_pipe[0], buf, sizeof buf);
      if (r > 0) {
        output.append(buf, static_cast<size_t>(r));
      } else if (r == 0 || errno != EINTR) {
        break;
      }
    }
  }
  if (in_fd >= 0) close(in_fd);
  close(out_pipe[0]);
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return output;
}

}  // namespace

const mdb_server& mdb_shared_server() {
  static const mdb_server server = [] {
    const char* path = std::getenv("TVX_MARIADB_ENV");
    std::string file = path && *path ? path : TVX_MARIADB_ENV_FILE;
    if (!std::filesystem::exists(file)) {
      throw std::runtime_error("no private MariaDB for this test: " + file +
                               " is missing. Run the test through ctest (fixture 'mariadb') or "
                               "start one with tools/mariadb/mdb.sh fixture-setup DIR and set "
                               "TVX_MARIADB_ENV=DIR/server.env");
    }
    return server_from_env_file(file);
  }();
  return server;
}

std::string mdb_run_script(const std::vector<std::string>& args, const std::string& input) {
  std::vector<std::string> argv{"/bin/bash", TVX_MARIADB_SCRIPT};
  argv.insert(argv.end(), args.begin(), args.end());
  int status = 0;
  std::string out = run(argv, input, status);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::string what = "mdb.sh";
    for (const std::string& a : args) what += " " + a;
    throw std::runtime_error(what + " failed");
  }
  return out;
}

std::string mdb_root_sql(const mdb_server& server, const std::string& sql) {
  return mdb_run_script({"sql", server.dir, "-N", "-B"}, sql);
}

mdb_private_server::mdb_private_server() {
  char pattern[] = "/tmp/mdb-private.XXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  std::string dir = pattern;
  // The watcher stops the server should this test process die without its destructor.
  info_.dir = dir;
  mdb_run_script({"start", dir, "--watch", std::to_string(getpid())});
  running_ = true;
  try {
    mdb_run_script({"accounts", dir});
    info_ = server_from_env_file(dir + "/server.env");
  } catch (...) {
    mdb_run_script({"fixture-cleanup", dir});
    throw;
  }
}

mdb_private_server::~mdb_private_server() {
  try {
    mdb_run_script({"fixture-cleanup", info_.dir});
  } catch (...) {
    // A destructor must not throw; the watcher still stops a server left behind.
  }
}

void mdb_private_server::load(const std::string& sql) { mdb_run_script({"sql", info_.dir}, sql); }

void mdb_private_server::grant_reader(const std::string& database) {
  mdb_run_script({"reader", info_.dir, info_.user, info_.password, database});
}

void mdb_private_server::stop() {
  if (!running_) return;
  mdb_run_script({"stop", info_.dir});
  running_ = false;
}
