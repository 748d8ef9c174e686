#include "tk_wformat.h"

#include <gtest/gtest.h>

TEST(tk_wformat, windows_wide_conventions) {
  struct {
    std::u16string got, want;
  } cases[] = {
      {tk_wformat(u"%s::%S", std::u16string(u"\u0444"), "narrow"), u"\u0444::narrow"},
      {tk_wformat(u"%d|%5d|%-3d|%u", -7, 42, 1, 4000000000u), u"-7|   42|1  |4000000000"},
      {tk_wformat(u"%I64d %lld", int64_t(-9007199254740993), 3LL), u"-9007199254740993 3"},
      {tk_wformat(u"%.6e|%.15e", 1.5, 0.1), u"1.500000e+00|1.000000000000000e-01"},
      {tk_wformat(u"%02x%%%c", 10, u'Z'), u"0a%Z"},
      {tk_wformat(u"%.3s|%4s", "abcdef", std::u16string(u"x")), u"abc|   x"},
      {tk_wformat(u"missing %d %s"), u"missing  "},
  };
  for (auto& c : cases) EXPECT_EQ(c.got, c.want);
}
