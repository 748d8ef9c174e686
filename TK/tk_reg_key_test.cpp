#include "tk_reg_key.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tk_exception.h"

namespace {

class tk_reg_key_test : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tk_regk_XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }

  std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string dir_;
};

mode_t mode_of(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 0777;
}

}  // namespace

TEST_F(tk_reg_key_test, key_path_maps_to_a_private_file_under_the_root) {
  tk_reg_root root(dir_ + "/cfg");
  tk_reg_key key;
  ASSERT_EQ(key.create(&root, "Software\\Quillon\\Tarvex"), 0);
  EXPECT_EQ(key.file_name(), dir_ + "/cfg/Quillon/Tarvex.conf");
  EXPECT_EQ(mode_of(dir_ + "/cfg/Quillon"), 0700u);
  EXPECT_EQ(mode_of(key.file_name()), 0600u);
  ASSERT_EQ(key.set(u"secret;=\n\\x", "mssqlp"), 0);
  EXPECT_EQ(mode_of(key.file_name()), 0600u);

  EXPECT_EQ(key.create(&root, "Software\\..\\etc"), EINVAL);
  EXPECT_TRUE(key.is_open());  // a failed create keeps the key held before
  EXPECT_THROW(key.create(nullptr, "Software\\Quillon\\Tarvex"), tk_mail_assertion);
}

TEST_F(tk_reg_key_test, default_root_follows_xdg_config_home_then_home) {
  const char* old_xdg = getenv("XDG_CONFIG_HOME");
  std::string saved_xdg = old_xdg ? old_xdg : "";
  std::string saved_home = getenv("HOME") ? getenv("HOME") : "";
  setenv("XDG_CONFIG_HOME", (dir_ + "/xdg").c_str(), 1);
  EXPECT_EQ(tk_user_config_dir(), dir_ + "/xdg");
  setenv("XDG_CONFIG_HOME", "relative/dir", 1);  // not absolute: ignored
  setenv("HOME", dir_.c_str(), 1);
  EXPECT_EQ(tk_user_config_dir(), dir_ + "/.config");
  unsetenv("XDG_CONFIG_HOME");
  tk_reg_key key;
  ASSERT_EQ(key.create(tk_reg_root::current_user(), "Software\\Quillon\\Tarvex"), 0);
  EXPECT_EQ(key.file_name(), dir_ + "/.config/Quillon/Tarvex.conf");
  if (old_xdg) setenv("XDG_CONFIG_HOME", saved_xdg.c_str(), 1);
  setenv("HOME", saved_home.c_str(), 1);
}

TEST_F(tk_reg_key_test, values_round_trip_through_the_file_with_their_types) {
  tk_reg_root root(dir_);
  {
    tk_reg_key key;
    ASSERT_EQ(key.create(&root, "Software\\Quillon\\Tarvex"), 0);
    EXPECT_EQ(key.set(5u, "sec_log"), 0);
    EXPECT_EQ(key.set("3306", "port"), 0);
    EXPECT_EQ(key.set(u"\u0444\u0438\u043b\U0001F600 db", "src"), 0);
    EXPECT_EQ(key.set("", "host"), 0);
    EXPECT_EQ(key.set(u"a\r\nb\\n=c", "odd"), 0);
  }
  tk_reg_key key;
  ASSERT_EQ(key.create(&root, "Software\\Quillon\\Tarvex"), 0);
  uint32_t n = 0;
  EXPECT_EQ(key.get_value(n, "sec_log"), 0);
  EXPECT_EQ(n, 5u);
  EXPECT_EQ(key.get_value(n, "missing"), ENOENT);

  uint32_t size = 0;
  EXPECT_EQ(key.get_value(static_cast<char*>(nullptr), "port", &size), 0);
  EXPECT_EQ(size, 5u);  // with the terminating zero
  char small[3];
  size = sizeof small;
  EXPECT_EQ(key.get_value(small, "port", &size), ERANGE);
  char buf[16];
  size = sizeof buf;
  EXPECT_EQ(key.get_value(buf, "port", &size), 0);
  EXPECT_STREQ(buf, "3306");

  char16_t wbuf[32];
  size = sizeof wbuf;
  EXPECT_EQ(key.get_value(wbuf, "src", &size), 0);
  EXPECT_EQ(std::u16string(wbuf), u"\u0444\u0438\u043b\U0001F600 db");
  EXPECT_EQ(size, (std::u16string(wbuf).size() + 1) * 2);
  size = sizeof wbuf;
  EXPECT_EQ(key.get_value(wbuf, "odd", &size), 0);
  EXPECT_EQ(std::u16string(wbuf), u"a\r\nb\\n=c");
  size = sizeof wbuf;
  EXPECT_EQ(key.get_value(wbuf, "host", &size), 0);
  EXPECT_EQ(size, 2u);
  size = sizeof wbuf;
  EXPECT_EQ(key.get_value(wbuf, "sec_log", &size), EINVAL);  // a number is no text
}

TEST_F(tk_reg_key_test, a_number_is_read_from_the_first_four_bytes_of_any_type) {
  tk_reg_root root(dir_);
  tk_reg_key key;
  ASSERT_EQ(key.create(&root, "Software\\Quillon\\Tarvex"), 0);
  ASSERT_EQ(key.set(u"1", "one_char"), 0);  // "1" and its zero: four bytes
  ASSERT_EQ(key.set(u"12", "two_chars"), 0);
  ASSERT_EQ(key.set_bytes(std::string("\x07", 1), "short"), 0);
  uint32_t n = 99;
  EXPECT_EQ(key.get_value(n, "one_char"), 0);
  EXPECT_EQ(n, static_cast<uint32_t>('1'));
  EXPECT_EQ(key.get_value(n, "short"), 0);
  EXPECT_EQ(n, 7u);
  n = 99;
  EXPECT_EQ(key.get_value(n, "two_chars"), ERANGE);
  EXPECT_EQ(n, 99u);
}

TEST_F(tk_reg_key_test, hand_edited_and_broken_lines_and_unreadable_files) {
  std::string file = dir_ + "/Quillon/Tarvex.conf";
  mkdir((dir_ + "/Quillon").c_str(), 0755);
  std::ofstream(file) << "# note\nport=text:33\\x30\\x36\r\nbad line\nsec_log=dword:99999999999\n"
                         "x=what:1\n";
  chmod(file.c_str(), 0644);
  tk_reg_root root(dir_);
  tk_reg_key key;
  ASSERT_EQ(key.create(&root, "Software\\Quillon\\Tarvex"), 0);
  EXPECT_EQ(mode_of(file), 0600u);  // made private when opened for writing
  char buf[16];
  uint32_t size = sizeof buf;
  EXPECT_EQ(key.get_value(buf, "port", &size), 0);
  EXPECT_STREQ(buf, "3306");
  uint32_t n;
  EXPECT_EQ(key.get_value(n, "sec_log"), ENOENT);
  EXPECT_EQ(key.set(1u, "as_dbo"), 0);
  std::map<std::string, tk_reg_value> all;
  ASSERT_EQ(key.read_all(all), 0);
  EXPECT_EQ(all.size(), 2u);

  tk_reg_key reader;
  ASSERT_EQ(reader.create(&root, "Software\\Quillon\\Tarvex", tk_reg_read), 0);
  EXPECT_EQ(reader.set(0u, "as_dbo"), EACCES);
  tk_reg_key none;
  EXPECT_EQ(none.create(&root, "Software\\Quillon\\Other", tk_reg_read), ENOENT);
  EXPECT_THROW(none.set(1u, "x"), tk_mail_assertion);
  if (geteuid() != 0) {  // root reads anything
    chmod(file.c_str(), 0);
    EXPECT_EQ(key.get_value(n, "as_dbo"), EACCES);
  }
}
