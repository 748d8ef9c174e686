#include "tk_string.h"

#include <gtest/gtest.h>

TEST(tk_string, trims_blanks_only) {
  EXPECT_EQ(tk_trim(std::string("  inner text  ")), "inner text");
  EXPECT_EQ(tk_trim(std::string("   ")), "");
  EXPECT_EQ(tk_trim(std::u16string(u"  x y ")), u"x y");
  EXPECT_EQ(tk_rtrim(u"tab\t"), u"tab\t");
  EXPECT_EQ(tk_rtrim(u"    "), u"");
  EXPECT_EQ(tk_ltrim(std::string("\t a")), "\t a");
}

TEST(tk_string, replace_all_restarts_from_the_beginning) {
  std::u16string text = u"a''''b";
  tk_wstring::replace_all(text, u"''", u"'");
  EXPECT_EQ(text, u"a'b");
  std::u16string grow = u"x.y.z";
  tk_wstring::replace_all(grow, u".", u"..");  // would never end if restarted
  EXPECT_EQ(grow, u"x..y..z");
}

TEST(tk_string, conversions_round_trip_outside_the_bmp) {
  std::u16string wide = u"Gr\u00fc\u00dfe \u4e2d \U0001F600";
  std::string utf8 = tk_wide_to_utf8(wide);
  EXPECT_EQ(utf8,
            "Gr\xc3\xbc\xc3\x9f"
            "e \xe4\xb8\xad \xf0\x9f\x98\x80");
  EXPECT_EQ(tk_utf8_to_wide(utf8), wide);
  EXPECT_EQ(tk_utf8_to_wide(std::string("a\xff"
                                        "b")),
            u"a\uFFFDb");
  EXPECT_EQ(tk_wide_to_narrow(u"caf\u00e9", "ISO-8859-1"), "caf\xe9");
  EXPECT_EQ(tk_wide_to_narrow(u"\u4e2d", "ISO-8859-1"), "?");
  EXPECT_EQ(tk_utf8_to_wide(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(tk_string, case_insensitive_whole_names) {
  EXPECT_TRUE(tk_iequal(u"Orders", u"ORDERS"));
  EXPECT_TRUE(tk_iequal(u"\u00c4rger", u"\u00e4RGER"));
  EXPECT_FALSE(tk_iequal(u"order", u"orders"));
  EXPECT_LT(tk_wcsicmp(u"abc", u"ABD"), 0);
  EXPECT_EQ(tk_to_upper(u"stra\u00dfe"), u"STRASSE");
}
