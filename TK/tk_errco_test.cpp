#include "tk_errco.h"

#include <gtest/gtest.h>

#include "tk_exception.h"

TEST(tk_error_converter, first_message_wins_and_empty_means_none) {
  const tk_error_item a[] = {{0x400414, "Access denied."}, {0x80E03, "Bad command."}, {7, ""}};
  const tk_error_item b[] = {{0x400414, "Other text"}, {0x80E37, "Table missing."}};
  tk_error_converter conv(3, a);
  conv.load_map(2, b);
  EXPECT_EQ(conv.convert(0x400414), "Access denied.");
  EXPECT_EQ(conv.convert(0x80E03), "Bad command.");
  EXPECT_EQ(conv.convert(0x80E37), "Table missing.");
  EXPECT_EQ(conv.convert(7), "");
  EXPECT_EQ(conv.convert(0x414), "");
  conv.load_map(0, b);  // nothing, and no complaint
}

TEST(tk_error_converter, null_table_is_a_defect_even_with_count_zero) {
  const tk_error_item a[] = {{1, "x"}};
  tk_error_converter conv(1, a);
  try {
    conv.load_map(0, nullptr);
    FAIL();
  } catch (const tk_mail_assertion& e) {
    EXPECT_STREQ(e.what(), tk_mail_assertion("tk_errco", 43).what());
  }
}
