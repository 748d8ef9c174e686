#include "tk_exception.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>

#include "tk_singl.h"

TEST(tk_exception, empty_text_is_unknown_exception) {
  EXPECT_STREQ(tk_exception(0).what(), "Unknown exception");
  EXPECT_STREQ(tk_exception(std::string(), 1).what(), "Unknown exception");
  EXPECT_STREQ(tk_exception(u"", 1).what(), "Unknown exception");
  tk_exception e(u"caf\u00e9", 1);
  EXPECT_STREQ(e.what(), "caf\xc3\xa9");
  EXPECT_EQ(e.level(), 1);
  EXPECT_EQ(e.code(), 0);
}

TEST(tk_exception, mail_assertion_location_code) {
  tk_mail_assertion a("a", 7);
  EXPECT_STREQ(a.what(), "Internal error: \ncode=615c37");
  EXPECT_EQ(a.level(), 2);
}

TEST(tk_exception, ex_takes_last_system_error) {
  ASSERT_LT(open("/nonexistent/dir/file", O_RDONLY), 0);
  tk_exception_ex e;
  EXPECT_EQ(e.code(), ENOENT);
  EXPECT_STREQ(e.what(), "No such file or directory");
  EXPECT_EQ(e.level(), 1);
  errno = 123456;
  EXPECT_STREQ(tk_exception_ex().what(), "Unknown exception");
}

TEST(tk_exception, final_exception_is_not_a_tk_exception) {
  try {
    throw tk_final_exception();
  } catch (const tk_exception&) {
    FAIL() << "caught as tk_exception";
  } catch (const tk_final_exception&) {
  }
}

namespace {
struct lonely : tk_singleton<lonely> {
  static void forget() { instance_ = nullptr; }
};

std::string assertion_for(int line) { return tk_mail_assertion(tk_singl_source, line).what(); }
}  // namespace

TEST(tk_singleton, each_broken_rule_names_its_line) {
  try {
    lonely::instance();
    FAIL() << "no assertion before creation";
  } catch (const tk_mail_assertion& e) {
    EXPECT_EQ(e.what(), assertion_for(59));
  }
  EXPECT_THROW(lonely::service_instance(), tk_mail_assertion);
  EXPECT_EQ(lonely::instance_or_null(), nullptr);
  {
    lonely first;
    EXPECT_EQ(&lonely::instance(), &first);
    try {
      lonely second;
      FAIL() << "second instance accepted";
    } catch (const tk_mail_assertion& e) {
      EXPECT_EQ(e.what(), assertion_for(35));
    }
    EXPECT_EQ(&lonely::instance(), &first);  // the refused one did not replace it
  }
  EXPECT_EQ(lonely::instance_or_null(), nullptr);
  try {
    auto* object = new lonely;
    lonely::forget();
    delete object;
    FAIL() << "destruction without the pointer accepted";
  } catch (const tk_mail_assertion& e) {
    EXPECT_EQ(e.what(), assertion_for(46));
  }
  try {
    lonely::service_instance();
  } catch (const tk_mail_assertion& e) {
    EXPECT_EQ(e.what(), assertion_for(66));
  }
}
