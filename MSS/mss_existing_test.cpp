// Defaults as the server lists them, read back into values of the column's type.
#include <gtest/gtest.h>

#include <string>

#include "mss_table.h"
#include "ole_date.h"
#include "tk_string.h"

namespace {

TEST(mss_existing, defaults_read_back_from_the_column_listing) {
  struct {
    VARTYPE type;
    const char16_t* listed;
    VARTYPE result_type;  // VT_EMPTY: no default
    const char* text;
  } cases[] = {
      {VT_I4, u"((0))", VT_I4, "0"},
      {VT_I2, u"((-12))", VT_I2, "-12"},
      {VT_BSTR, u"('x''y')", VT_BSTR, "x'y"},
      {VT_BSTR, u"(N'abc')", VT_BSTR, "abc"},
      {VT_BSTR, u"('a''''b')", VT_BSTR, "a''b"},
      // A function is no value of a date column.
      {VT_DATE, u"(getdate())", VT_EMPTY, ""},
  };
  for (const auto& c : cases) {
    const ole_variant v = mss_table::get_def_value(c.type, c.listed);
    EXPECT_EQ(v.get_type(), c.result_type) << tk_wide_to_utf8(c.listed);
    if (c.result_type != VT_EMPTY) {
      EXPECT_EQ(tk_wide_to_utf8(v.to_wstring()), c.text) << tk_wide_to_utf8(c.listed);
    }
  }
}

TEST(mss_existing, a_float_and_a_date_default_are_parsed) {
  const ole_variant f = mss_table::get_def_value(VT_R8, u"((1.5))");
  ASSERT_EQ(f.get_type(), VT_R8);
  EXPECT_EQ(f.to_double(), 1.5);

  const ole_variant v = mss_table::get_def_value(VT_DATE, u"('2011-12-31 10:20:30')");
  ASSERT_EQ(v.get_type(), VT_DATE);
  const ole_date date(v);
  const SYSTEMTIME& st = date.get_systemtime();
  EXPECT_EQ(st.wYear, 2011);
  EXPECT_EQ(st.wMonth, 12);
  EXPECT_EQ(st.wDay, 31);
  EXPECT_EQ(st.wHour, 10);
  EXPECT_EQ(st.wSecond, 30);
}

}  // namespace
