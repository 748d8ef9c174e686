#include "mss_vali.h"

#include <gtest/gtest.h>

#include "tk_exception.h"

TEST(mss_validator, first_character_rule) {
  mss_tn_validator v({}, {});
  EXPECT_TRUE(v.is_acceptable(u"orders"));
  EXPECT_TRUE(v.is_acceptable(u"_tmp"));
  EXPECT_TRUE(v.is_acceptable(u"\u0437\u0430\u043a\u0430\u0437"));  // Cyrillic
  EXPECT_TRUE(v.is_acceptable(u"\U00010400x"));                     // a letter beyond the BMP
  EXPECT_TRUE(v.is_acceptable(u"a b-c"));  // bracketed everywhere: any later character is fine
  EXPECT_FALSE(v.is_acceptable(u"1st"));
  EXPECT_FALSE(v.is_acceptable(u"$x"));
  EXPECT_FALSE(v.is_acceptable(u" x"));
  EXPECT_THROW(v.is_acceptable(u""), tk_mail_assertion);
}

TEST(mss_validator, safe_names_take_prefixes_from_the_cycle) {
  mss_tn_validator v({u"Orders", u"_orders"}, {u"1_orders", u"x"});
  EXPECT_EQ(v.get_safe_name(u"ORDERS"), u"_1_ORDERS");  // "_", then "1_", then "_1_" is free
  EXPECT_EQ(v.get_safe_name(u"2nd"), u"2nd");           // free: unchanged even though unacceptable
  EXPECT_EQ(v.get_safe_name(u"X"), u"_X");
  EXPECT_TRUE(v.is_duplicated(u"_ORDERS"));
}

TEST(mss_split_tab_name, parts_of_bracketed_names) {
  struct row {
    std::u16string name;
    bool ok;
    std::u16string table, owner;
  } rows[] = {
      {u"[dbo].[orders]", true, u"orders", u"dbo"},
      {u"[orders]", true, u"orders", u""},
      {u"[a]", true, u"a", u""},
      {u"[x].[y].[z]", true, u"y].[z", u"x"},
      {u"[o]]wn].[t]]ab]", true, u"t]ab", u"o]wn"},  // doubled brackets are one bracket
      {u"[a]].[b]", true, u"a].[b", u""},            // "]]" then ".[" is no separator
      {u"orders", false, u"-", u"-"},
      {u"[]", false, u"-", u"-"},
      {u"ab", false, u"-", u"-"},
      {u"[dbo].orders", false, u"-", u"-"},
  };
  for (const row& r : rows) {
    std::u16string table = u"-", owner = u"-";
    EXPECT_EQ(mss_split_tab_name(r.name, table, owner), r.ok);
    EXPECT_EQ(table, r.table);
    EXPECT_EQ(owner, r.owner);
  }
}

TEST(mss_bracket, doubles_closing_brackets_and_quotes) {
  EXPECT_EQ(mss_bracket(u"a]b"), u"[a]]b]");
  EXPECT_EQ(mss_bracket(u"my db"), u"[my db]");
  EXPECT_EQ(mss_escape_literal(u"O'Brien''s"), u"O''Brien''''s");
  std::u16string table, owner;
  ASSERT_TRUE(mss_split_tab_name(u"[" + std::u16string(u"dbo") + u"]." + mss_bracket(u"a]]b"),
                                 table, owner));
  EXPECT_EQ(table, u"a]]b");
}
