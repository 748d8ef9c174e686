#include "error_handler.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "mss_msgs.h"
#include "odb_exce.h"
#include "tk_log.h"

namespace {

std::string captured(const std::function<void()>& f) {
  testing::internal::CaptureStdout();
  f();
  return testing::internal::GetCapturedStdout();
}

class error_handler_test : public ::testing::Test {
 protected:
  std::unique_ptr<error_handler> handler_ =
      std::make_unique<error_handler>(mss_error_item_count, mss_error_items);
  void SetUp() override { handler_->load_err_map(mysql_error_count, mysql_error_items); }
};

}  // namespace

TEST_F(error_handler_test, messages_come_from_both_tables_or_the_exception_and_are_one_line) {
  struct {
    int32_t code;
    const char* own_text;
    const char* context;
    std::string expected;
  } cases[] = {
      {0x80E4D, "Login failed for user 'sa'.", "", "Invalid user name or password."},
      {0x80E4D, "Login failed", "orders", "orders: Invalid user name or password."},
      {0x400415, "Access denied for user", "",
       "Access denied. Verify the user name and password are correct, and you have the necessary "
       "privileges to connect to the target MySQL server."},
      {0x40042F, "too long", "",
       "Primary key in the original database is too long. Restart the program with \"Skip "
       "converting indexes\" checkbox selected in order to resolve the conflict. "},
      {0x400000 | 1146, "Table 'sakila.x' doesn't exist", "x", "x: Table 'sakila.x' doesn't exist"},
      {0, "two\nlines", "", "two lines"},
  };
  int reported = 0;
  for (const auto& c : cases) {
    tk_exception e(c.own_text, 0);
    e.set_code(c.code);
    handler_->set_context(std::u16string(c.context, c.context + strlen(c.context)));
    std::string out = captured([&] { handler_->handle(e, false); });
    EXPECT_EQ(out, "Error:\n" + c.expected + "\n") << std::hex << c.code;
    EXPECT_EQ(handler_->errors_reported(), ++reported);
  }
}

TEST_F(error_handler_test, record_context_and_silent_reports) {
  handler_->set_record_context(u"film_text", 17);
  EXPECT_EQ(handler_->context(), "film_text, record #17");
  odb_exception e(static_cast<int32_t>(0x80040E2F));
  EXPECT_EQ(captured([&] { handler_->handle(e, false); }),
            "Error:\nfilm_text, record #17: The specified record violates the integrity "
            "constraints. See 'Troubleshooting' article of the product documentation for "
            "solution.\n");
  handler_->set_context(u"");
  EXPECT_EQ(handler_->context(), "");

  handler_->set_dont_show(true);
  handler_->set_dont_show(false);  // never cleared once set
  EXPECT_TRUE(handler_->dont_show());
  EXPECT_EQ(captured([&] { handler_->handle(tk_exception("quiet", 0), false); }), "");
  EXPECT_EQ(handler_->errors_reported(), 2);  // still counted
}

TEST(error_handler, internal_error_and_level_one_print_before_exiting) {
  EXPECT_EXIT(
      {
        error_handler h(mss_error_item_count, mss_error_items);
        dup2(STDERR_FILENO, STDOUT_FILENO);  // the death test sees what is printed
        h.handle(tk_mail_assertion("a", 7), false);
      },
      testing::ExitedWithCode(255), "Internal error: Internal error: \ncode=615c37");
  EXPECT_EXIT(
      {
        error_handler h(mss_error_item_count, mss_error_items);
        dup2(STDERR_FILENO, STDOUT_FILENO);
        h.handle(tk_exception("Invalid port number", 1), false);
      },
      testing::ExitedWithCode(255), "Error:\nInvalid port number\n");
  EXPECT_EXIT(
      {
        error_handler h(mss_error_item_count, mss_error_items);
        h.set_dont_show(true);
        dup2(STDERR_FILENO, STDOUT_FILENO);
        h.handle(tk_exception("Invalid port number", 1), false);
      },
      testing::ExitedWithCode(255), "^$");
}

TEST(error_handler, is_one_per_process) {
  error_handler h(mss_error_item_count, mss_error_items);
  EXPECT_THROW(error_handler(0, mss_error_items), tk_mail_assertion);
  EXPECT_EQ(&get_error_handler(), &h);
}
