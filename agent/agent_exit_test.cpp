// The program as a user runs it, where no server is needed: usage, command-line errors and a run
// that cannot start, with their exit codes.
#include <gtest/gtest.h>
#include <unistd.h>

#include "agent_process.h"

namespace {

std::string unreachable_server() {
  return "--mssqlh=127.0.0.1,1";  // nothing listens on port 1
}

}  // namespace

TEST(agent_exit, usage_and_command_line_errors_end_with_minus_one) {
  struct {
    std::vector<std::string> args;
    std::string err_begins;  // empty: nothing at all is printed
  } cases[] = {
      {{}, "QVXAGENT v5.1, "},
      {{"--src=a", "--dest=b", "--tab_file"}, "QVXAGENT v5.1, "},
      {{"--help"}, "QVXAGENT v5.1, "},
      {{"--silent", "--help"}, ""},
      {{"--src=a", "--dest=b", "--mode=03"}, "Invalid merge/overwrite mode\n"},
      {{"--dest=b"}, "You should enter source MySQL database name\n"},
      {{"--src=a", "--tab_file=/no/such/file"}, "Table names file does not exist.\n"},
  };
  for (const auto& c : cases) {
    agent_result r = run_agent(c.args);
    std::string shown = c.args.empty() ? "(none)" : c.args.back();
    EXPECT_EQ(r.exit_code, 255) << shown;
    EXPECT_EQ(r.out, "") << shown;
    if (c.err_begins.empty())
      EXPECT_EQ(r.err, "") << shown;
    else
      EXPECT_EQ(r.err.rfind(c.err_begins, 0), 0u) << shown << ": " << r.err;
  }
}

TEST(agent_exit, no_log_file_is_made_unless_one_is_named) {
  std::string default_log = agent_binary() + ".log";
  unlink(default_log.c_str());
  run_agent({});
  run_agent({"--src=a", "--dest=b", unreachable_server(), "--mssqlu=sa", "--mssqlp=x"});
  EXPECT_NE(access(default_log.c_str(), F_OK), 0);
}

TEST(agent_exit, errors_of_the_log_file_and_the_profile_end_the_program) {
  agent_result r = run_agent({"--src=a", "--dest=b", "--logfile=/no/such/dir/run.log"});
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_EQ(r.out,
            "Error:\nLogfile path does not exist. Please verify the correct path was given.\n");
  r = run_agent({"--profile=/no/such/profile.qvx"});
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_EQ(r.out,
            "Error:\nProfile does not exist. Please verify the correct path/name was given.\n");
}

TEST(agent_exit, a_run_that_cannot_connect_is_a_failure_not_a_success) {
  // Mode 4 is taken like 0 to 3; the connection then fails and nothing is converted.
  agent_result r = run_agent(
      {"--src=a", "--dest=b", "--mode=4", unreachable_server(), "--mssqlu=sa", "--mssqlp=x"});
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_EQ(r.out.rfind("Error:\n", 0), 0u) << r.out;
  r = run_agent(
      {"--silent", "--src=a", "--dest=b", unreachable_server(), "--mssqlu=sa", "--mssqlp=x"});
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_EQ(r.out + r.err, "");
}
