#include "udb_profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tk_exception.h"
#include "tk_string.h"

namespace {

// A private directory per test, removed afterwards.
class udb_profile_file : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/udb_profile_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string path(const char* name) const { return dir_ + "/" + name; }
  std::u16string wpath(const char* name) const { return tk_utf8_to_wide(path(name)); }

  void write(const char* name, const std::string& bytes) const {
    std::ofstream(path(name), std::ios::binary) << bytes;
  }
  std::string read(const char* name) const {
    std::ifstream in(path(name), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  mode_t mode(const char* name) const {
    struct stat st {};
    stat(path(name).c_str(), &st);
    return st.st_mode & 07777;
  }

  std::string dir_;
};

}  // namespace

TEST(udb_profile, a_new_profile_holds_three_empty_sections) {
  udb_profile p;
  ASSERT_EQ(p.sections().size(), 3u);
  for (const char16_t* name : {u"Available Queries", u"Selected Tables", u"Generic settings"})
    EXPECT_TRUE(p.section(name).empty()) << tk_wide_to_utf8(name);
  EXPECT_EQ(p.get(u"MySQL settings", u"host"), u"");
  p.set(u"MySQL settings", u"host", u"db1");
  p.set(u"MySQL settings", u"host", u"db2");
  EXPECT_EQ(p.get(u"MySQL settings", u"host"), u"db1");
}

TEST(udb_profile, the_two_switch_rules) {
  const struct {
    const char16_t* text;
    bool not_zero, exactly_one;
  } cases[] = {{u"1", true, true},  {u"0", false, false}, {u"yes", true, false},
               {u"2", true, false}, {u"00", true, false}, {u" 1", true, false}};
  for (const auto& c : cases) {
    udb_profile p;
    p.set(u"s", u"k", c.text);
    bool a = !c.not_zero, b = !c.exactly_one;
    EXPECT_TRUE(p.get_switch(u"s", u"k", udb_switch_rule::not_zero, a));
    EXPECT_TRUE(p.get_switch(u"s", u"k", udb_switch_rule::exactly_one, b));
    EXPECT_EQ(a, c.not_zero) << tk_wide_to_utf8(c.text);
    EXPECT_EQ(b, c.exactly_one) << tk_wide_to_utf8(c.text);
  }
  udb_profile p;
  p.set(u"s", u"empty", u"");
  for (bool before : {true, false}) {
    bool value = before;
    EXPECT_FALSE(p.get_switch(u"s", u"empty", udb_switch_rule::not_zero, value));
    EXPECT_FALSE(p.get_switch(u"s", u"missing", udb_switch_rule::exactly_one, value));
    EXPECT_EQ(value, before);
  }
  p.set_switch(u"s", u"on", true);
  p.set_switch(u"s", u"off", false);
  EXPECT_EQ(p.get(u"s", u"on"), u"1");
  EXPECT_EQ(p.get(u"s", u"off"), u"0");
}

TEST_F(udb_profile_file, load_reads_sections_keys_and_values) {
  write("p.qvx",
        "[Generic settings]\r\n"
        "  skip indexes  =  1 \r\n"
        "mode=3\r\n"
        "mode=4\r\n"
        "\r\n"
        "[Selected Tables]\r\n"
        "customers\r\n"
        "big=select a=b from t\r\n"
        "[MySQL settings]\n"
        "password= p=w \n"
        "[Selected Tables]\n"
        "late\n"
        "[Gr\xc3\xbc\xc3\x9f"
        "e]\n"
        "na\xc3\xafve=\xe4\xb8\xad\n"
        "[broken\n"
        "last=no line end");
  udb_profile p;
  EXPECT_TRUE(p.load(wpath("p.qvx")));
  EXPECT_EQ(p.get(u"Generic settings", u"skip indexes"), u"  1");  // blank after "=" stays
  EXPECT_EQ(p.get(u"Generic settings", u"mode"), u"3");            // first value stays
  EXPECT_EQ(p.section(u"Selected Tables"),
            (udb_profile::section_map{
                {u"big", u"select a=b from t"}, {u"customers", u""}, {u"late", u""}}));
  EXPECT_EQ(p.get(u"MySQL settings", u"password"), u" p=w");
  EXPECT_EQ(p.get(u"Gr\u00fc\u00dfe", u"na\u00efve"), u"\u4e2d");
  EXPECT_EQ(p.get(u"Gr\u00fc\u00dfe", u"[broken"), u"");
  EXPECT_TRUE(p.section(u"Gr\u00fc\u00dfe").count(u"[broken"));
  EXPECT_EQ(p.get(u"Gr\u00fc\u00dfe", u"last"), u"no line end");
}

TEST_F(udb_profile_file, a_key_before_any_section_makes_load_answer_false) {
  write("p.qvx", "orphan=1\r\n[Generic settings]\r\nmode=2\r\n");
  udb_profile p;
  EXPECT_FALSE(p.load(wpath("p.qvx")));
  EXPECT_EQ(p.get(u"Generic settings", u"mode"), u"2");
  for (const auto& [name, keys] : p.sections()) EXPECT_FALSE(keys.count(u"orphan"));
}

TEST_F(udb_profile_file, long_lines_and_a_byte_order_mark_are_read) {
  const std::string query = "select " + std::string(20000, 'x') + " from t";
  write("p.qvx", "\xEF\xBB\xBF[Available Queries]\r\nq=" + query + "\r\n");
  udb_profile p;
  EXPECT_TRUE(p.load(wpath("p.qvx")));
  EXPECT_EQ(p.get(u"Available Queries", u"q"), tk_utf8_to_wide(query));
}

TEST_F(udb_profile_file, a_missing_file_raises_a_level_1_error) {
  udb_profile p;
  try {
    p.load(wpath("none.qvx"));
    FAIL() << "nothing raised";
  } catch (const tk_exception& e) {
    EXPECT_STREQ(e.what(),
                 "Profile does not exist. Please verify the correct path/name was given.");
    EXPECT_EQ(e.level(), 1);
  }
}

TEST_F(udb_profile_file, store_writes_every_section_in_order_and_round_trips) {
  udb_profile p;
  p.set(u"MySQL settings", u"password", u"s=cret ");
  p.set(u"MySQL settings", u"host", u"127.0.0.1");
  p.set(u"Selected Tables", u"orders", u"");
  p.set(u"Selected Tables", u"q1", u"select 1");
  p.set(u"Generic settings", u"src", u"\u00e9t\u00e9");
  ASSERT_TRUE(p.store(wpath("p.qvx")));
  EXPECT_EQ(read("p.qvx"),
            "[Available Queries]\r\n"
            "[Generic settings]\r\n"
            "src=\xc3\xa9t\xc3\xa9\r\n"
            "[MySQL settings]\r\n"
            "host=127.0.0.1\r\n"
            "password=s=cret \r\n"
            "[Selected Tables]\r\n"
            "orders\r\n"
            "q1=select 1\r\n");
  EXPECT_EQ(mode("p.qvx"), 0600u);

  udb_profile again;
  EXPECT_TRUE(again.load(wpath("p.qvx")));
  udb_profile expected = p;
  // The value's last blank is a line-end blank when read back.
  expected = udb_profile();
  for (const auto& [name, keys] : p.sections())
    for (const auto& [key, value] : keys)
      expected.set(name, key, key == u"password" ? u"s=cret" : value);
  EXPECT_EQ(again.sections(), expected.sections());

  ASSERT_TRUE(again.store(wpath("p2.qvx")));
  udb_profile third;
  EXPECT_TRUE(third.load(wpath("p2.qvx")));
  EXPECT_EQ(third.sections(), again.sections());
}

TEST_F(udb_profile_file, store_makes_an_existing_file_private_and_replaces_it) {
  write("p.qvx", std::string(5000, 'z'));
  chmod(path("p.qvx").c_str(), 0644);
  udb_profile p;
  ASSERT_TRUE(p.store(wpath("p.qvx")));
  EXPECT_EQ(mode("p.qvx"), 0600u);
  EXPECT_EQ(read("p.qvx"), "[Available Queries]\r\n[Generic settings]\r\n[Selected Tables]\r\n");
}

TEST_F(udb_profile_file, store_into_a_missing_directory_answers_false_without_raising) {
  udb_profile p;
  EXPECT_FALSE(p.store(wpath("no/such/dir/p.qvx")));
}

TEST_F(udb_profile_file, a_query_on_several_lines_stays_one_value) {
  udb_profile p;
  p.set(u"Available Queries", u"q", u"select a\r\nfrom t\nwhere b=1\r");
  ASSERT_TRUE(p.store(wpath("p.qvx")));
  udb_profile again;
  EXPECT_TRUE(again.load(wpath("p.qvx")));
  EXPECT_EQ(again.section(u"Available Queries"),
            (udb_profile::section_map{{u"q", u"select a from t where b=1"}}));
  EXPECT_TRUE(again.section(u"Selected Tables").empty());
}
