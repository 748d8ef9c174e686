#include "agent_process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {
std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
}  // namespace

std::string agent_binary() {
  if (const char* b = std::getenv("QVXAGENT_BIN")) return b;
  return QVXAGENT_BINARY;
}

agent_result run_agent(const std::vector<std::string>& args, const std::string& cwd) {
  char tmpl[] = "/tmp/qvxagent_run_XXXXXX";
  std::string dir = mkdtemp(tmpl);
  std::string out = dir + "/out", err = dir + "/err";
  std::string bin = agent_binary();
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int n = open("/dev/null", O_RDONLY);
    if (o < 0 || e < 0 || n < 0) _exit(126);
    dup2(n, 0);
    dup2(o, 1);
    dup2(e, 2);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(bin.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(bin.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  agent_result r;
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = slurp(out);
  r.err = slurp(err);
  std::remove(out.c_str());
  std::remove(err.c_str());
  rmdir(dir.c_str());
  return r;
}
