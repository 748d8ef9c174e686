#include "tk_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "tk_conv.h"

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void spit(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

class tk_log_test : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tk_log_XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
  std::string dir_;
};

}  // namespace

TEST_F(tk_log_test, first_trace_empties_the_file_then_only_threshold_lines_append) {
  std::string path = dir_ + "/run.log";
  spit(path, "left from an earlier run\r\n");
  tk_log log("", false, 3, false);
  tk_converter conv;
  tk_trace(3, "not written while disabled");
  EXPECT_EQ(slurp(path), "left from an earlier run\r\n");
  conv.set_logfile(path);
  EXPECT_EQ(conv.logfile(), path);
  tk_trace(1, "detail %d", 1);  // below the threshold, but it still empties the file
  EXPECT_EQ(slurp(path), "");
  tk_trace(3, "Converting table %s (%d records)", "actor", 200);
  tk_wtrace(3, u"Converting table %s (%d records)", std::u16string(u"\u0444\u0438\u043b\U0001F600"),
            3);
  tk_trace(2, "entry");
  EXPECT_EQ(slurp(path),
            "Converting table actor (200 records)\r\n"
            "Converting table \xd1\x84\xd0\xb8\xd0\xbb\xf0\x9f\x98\x80 (3 records)\r\n");

  // A second log file is appended to: the one-time truncation has happened.
  std::string second = dir_ + "/second.log";
  spit(second, "kept\r\n");
  conv.set_logfile(second);
  tk_trace(3, "more");
  EXPECT_EQ(slurp(second), "kept\r\nmore\r\n");

  // An empty name is recorded and leaves the log where it was.
  conv.set_logfile("");
  EXPECT_EQ(conv.logfile(), "");
  tk_trace(3, "still here");
  EXPECT_EQ(slurp(second), "kept\r\nmore\r\nstill here\r\n");
}

TEST_F(tk_log_test, wide_messages_are_cut_to_the_buffer) {
  std::string path = dir_ + "/cut.log";
  tk_log log(path, true, 1, false);
  log.set_line_end(false);
  tk_wtrace(1, u"%s", std::u16string(tk_wtrace_limit + 100, u'x'));
  EXPECT_EQ(slurp(path), std::string(tk_wtrace_limit, 'x'));
}

TEST_F(tk_log_test, time_stamps_precede_each_line) {
  std::string path = dir_ + "/ts.log";
  tk_log log(path, true, 3, true);
  tk_trace(3, "stamped");
  std::string text = slurp(path);
  ASSERT_EQ(text.size(), std::string("hh:mm:ss stamped\r\n").size()) << text;
  EXPECT_EQ(text[2], ':');
  EXPECT_EQ(text.substr(8), " stamped\r\n");
}

TEST_F(tk_log_test, set_logfile_refuses_read_only_files_and_missing_directories) {
  tk_log log("", false, 3, false);
  tk_converter conv;
  std::string read_only = dir_ + "/ro.log";
  spit(read_only, "x");
  chmod(read_only.c_str(), 0444);
  try {
    conv.set_logfile(read_only);
    FAIL() << "read-only file accepted";
  } catch (const tk_exception& e) {
    EXPECT_STREQ(e.what(), "Logfile name specifies an existing read-only file.");
    EXPECT_EQ(e.level(), 1);
  }
  try {
    conv.set_logfile(dir_ + "/missing/run.log");
    FAIL() << "missing directory accepted";
  } catch (const tk_exception& e) {
    EXPECT_STREQ(e.what(),
                 "Logfile path does not exist.\nPlease verify the correct path was given.");
  }
  EXPECT_FALSE(log.enabled());
  EXPECT_EQ(conv.logfile(), "");
}

TEST_F(tk_log_test, default_name_is_the_program_path_with_log_extension) {
  std::string name = tk_log::default_file_name();
  ASSERT_GT(name.size(), 4u);
  EXPECT_EQ(name.substr(name.size() - 4), ".log");
  EXPECT_NE(name.find("tk_test"), std::string::npos);
}
