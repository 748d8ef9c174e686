// Runs the built qvxagent as a separate process, the way a user runs it, and collects what it
// printed and its exit code. For the agent's own tests.
#pragma once

#include <string>
#include <vector>

struct agent_result {
  int exit_code = -1;  // 0..255; -1 when it did not exit normally
  std::string out;
  std::string err;
};

// `args` exclude the program name. `cwd` empty: the test's own directory.
agent_result run_agent(const std::vector<std::string>& args, const std::string& cwd = "");

// The binary the tests run (set by the build).
std::string agent_binary();
