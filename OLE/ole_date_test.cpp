#include "ole_date.h"

#include <gtest/gtest.h>

#include "ole_variant.h"
#include "tk_exception.h"

namespace {

constexpr int32_t none = ole_date::kind_none;
constexpr int32_t both = ole_date::kind_date_time;
constexpr int32_t date = ole_date::kind_date;
constexpr int32_t time = ole_date::kind_time;

struct text_case {
  const char* in;
  bool valid;
  int32_t kind;
  const char* printed;
};

void check(const text_case& c) {
  ole_date d(c.in);
  EXPECT_EQ(d.is_valid(), c.valid) << c.in;
  if (c.valid) {
    EXPECT_EQ(d.get_kind(), c.kind) << c.in;
    EXPECT_EQ(d.to_string(), c.printed) << c.in;
    EXPECT_EQ(d.to_wstring(), std::u16string(c.printed, c.printed + strlen(c.printed))) << c.in;
  }
}

TEST(ole_date, mysql_texts) {
  const text_case cases[] = {
      {"2011-12-31 10:20:30", true, both, "2011-12-31 10:20:30"},
      {"2011-12-31 00:00:00", true, date, "2011-12-31"},
      {"2011-12-31", true, date, "2011-12-31"},
      {"  2011-12-31  ", true, date, "2011-12-31"},
      {"20111231102030", true, both, "2011-12-31 10:20:30"},  // compact timestamp
      {"20111231", true, date, "2011-12-31"},                 // compact date
      {"20111231000000", true, both, "2011-12-31"},
      {"10:20:30", true, time, "0000-00-00 10:20:30"},
      {"0000-00-00", true, date, "0000-00-00"},
      {"0000-00-00 00:00:00", true, time, "0000-00-00 00:00:00"},
      {"00000000000000", true, both, "0000-00-00"},
      {"2011-12-31 10:20:30.123456", true, both, "2011-12-31 10:20:30"},
      {"2011", false, none, ""},        // four characters or fewer
      {"2011-13-01", false, none, ""},  // month 13
      {"2011-00-00", false, none, ""},
      {"-10:20:30", false, none, ""},  // a negative MySQL TIME
      {"838:59:59", false, none, ""},
      {"not a date", false, none, ""},
  };
  for (auto& c : cases) check(c);
}

TEST(ole_date, time_of_day_folding) {
  const text_case cases[] = {
      {"10:20:30.5", true, time, "0000-00-00 10:20:31"},
      {"10:20:30.4", true, time, "0000-00-00 10:20:30"},
      {"23:59:59.7", true, time, "0000-00-00 00:00:00"},  // wraps, no date to move
      {"30:00:00", true, time, "0000-00-00 06:00:00"},    // hours up to 60 pass
      {"60:00:00", true, time, "0000-00-00 12:00:00"},
      {"100:00:00", false, none, ""},
      {"10:61:00", false, none, ""},
      {"10:20", true, time, "0000-00-00 10:20:00"},
      // with a date, rounding past midnight moves to the next day
      {"2011-12-31 23:59:59.7", true, date, "2012-01-01"},
      {"31.12.2011 23:59:59.5", true, date, "2012-01-01"},
      {"2011-12-31 23:59:58.7", true, both, "2011-12-31 23:59:59"},
  };
  for (auto& c : cases) check(c);
}

TEST(ole_date, fractions_in_the_record) {
  struct {
    const char* in;
    uint16_t second, millis;
  } cases[] = {
      {"10:20:30.25", 30, 250},
      {"10:20:30.123", 30, 123},
      {"10:20:30.5", 31, 0},
      {"10:20:30.999", 31, 0},
      {"10:20:30", 30, 0},
      {"2011-12-31T10:20:30.125", 30, 125},
      {"2011-12-31 10:20:30.7", 31, 0},
  };
  for (auto& c : cases) {
    ole_date d(c.in);
    ASSERT_TRUE(d.is_valid()) << c.in;
    EXPECT_EQ(d.get_systemtime().wSecond, c.second) << c.in;
    EXPECT_EQ(d.get_systemtime().wMilliseconds, c.millis) << c.in;
  }
}

TEST(ole_date, locale_and_day_first_forms) {
  const text_case cases[] = {
      {"31.12.2011", true, date, "2011-12-31"},  // day first, swapped
      {"31/12/2011", true, date, "2011-12-31"},
      {"31-12-2011 10:20:30", true, both, "2011-12-31 10:20:30"},
      {"12/31/2011", true, date, "2011-12-31"},  // US order
      {"1/2/2011", true, date, "2011-01-02"},
      {"12-31-2011", true, date, "2011-12-31"},
      {"12/31/99", true, date, "1999-12-31"},
      {"1/1/29", true, date, "2029-01-01"},
      {"2011/12/31 10:20", true, both, "2011-12-31 10:20:00"},
      {"2011-12-31T10:20:30", true, both, "2011-12-31 10:20:30"},
      {"December 31, 2011", true, date, "2011-12-31"},
      {"Dec 31 2011", true, date, "2011-12-31"},
      {"31 December 2011", true, date, "2011-12-31"},
      {"31-Dec-2011", true, date, "2011-12-31"},
      {"sept 1, 2011", true, date, "2011-09-01"},
      {"Saturday, December 31, 2011 10:20 PM", true, both, "2011-12-31 22:20:00"},
      {"2012-02-29", true, date, "2012-02-29"},
      {"December 32, 2011", false, none, ""},
      {"2011-12-31 garbage", true, date, "2011-12-31"},  // the field reader stops
  };
  for (auto& c : cases) check(c);
}

TEST(ole_date, day_halves) {
  const text_case cases[] = {
      {"10:20:30 PM", true, time, "0000-00-00 22:20:30"},
      {"10:20:30pm", true, time, "0000-00-00 22:20:30"},
      {"10:20:30 AM", true, time, "0000-00-00 10:20:30"},
      {"12:15:00 PM", true, time, "0000-00-00 12:15:00"},
      {"12:15:00 AM", true, time, "0000-00-00 00:15:00"},  // a quarter past midnight
      {"12/31/2011 11:00:00 PM", true, both, "2011-12-31 23:00:00"},
      {"PM", false, none, ""},
  };
  for (auto& c : cases) check(c);
}

TEST(ole_date, from_records_and_values) {
  SYSTEMTIME st;
  st.wYear = 2011, st.wMonth = 12, st.wDay = 31;
  EXPECT_EQ(ole_date(st).get_kind(), date);
  st.wHour = 10;
  EXPECT_EQ(ole_date(st).get_kind(), both);
  SYSTEMTIME t;
  t.wHour = 10, t.wMinute = 20, t.wSecond = 30;
  EXPECT_EQ(ole_date(t).get_kind(), time);
  EXPECT_EQ(ole_date(t).to_string(), "0000-00-00 10:20:30");

  // A zero date has no date number but keeps its record through a value.
  ole_variant v = ole_date(t).to_variant();
  EXPECT_EQ(v.get_type(), VT_DATE);
  double n;
  EXPECT_FALSE(v.get_date_number(n));
  EXPECT_EQ(ole_date(v).to_string(), "0000-00-00 10:20:30");
  EXPECT_EQ(ole_date(ole_variant()).get_kind(), none);
  ole_variant null;
  null.set_null();
  EXPECT_FALSE(ole_date(null).is_valid());
  EXPECT_THROW(ole_date(ole_variant(5)), tk_mail_assertion);
  EXPECT_EQ(ole_date(std::u16string(u"2011-12-31")).to_string(), "2011-12-31");
  EXPECT_EQ(ole_date(u"10:20:30 PM").to_string(), "0000-00-00 22:20:30");
  EXPECT_FALSE(ole_date().is_valid());
}

TEST(ole_date, steps_on_their_own) {
  ole_date d;
  EXPECT_THROW(d.process_milliseconds(nullptr), tk_mail_assertion);
  d.import_from_string("2011-12-31");
  EXPECT_EQ(d.get_kind(), date);
  d.import_from_string("junk");
  EXPECT_EQ(d.get_kind(), none);
  EXPECT_EQ(d.to_string(), "");
  ole_date t("10:20:30");
  t.process_milliseconds("75.5");  // carries into the minutes
  EXPECT_EQ(t.to_string(), "0000-00-00 10:21:16");
}

TEST(ole_date, date_numbers) {
  struct {
    uint16_t y, m, d, h, mi, s;
    double number;
  } cases[] = {
      {1899, 12, 30, 0, 0, 0, 0.0},    {1899, 12, 31, 0, 0, 0, 1.0},
      {1899, 12, 29, 6, 0, 0, -1.25},  {2011, 12, 31, 12, 0, 0, 40908.5},
      {100, 1, 1, 0, 0, 0, -657434.0}, {9999, 12, 31, 0, 0, 0, 2958465.0},
      {1900, 3, 1, 18, 0, 0, 61.75},
  };
  for (auto& c : cases) {
    SYSTEMTIME st;
    st.wYear = c.y, st.wMonth = c.m, st.wDay = c.d, st.wHour = c.h, st.wMinute = c.mi,
    st.wSecond = c.s;
    double n = 1e9;
    ASSERT_TRUE(ole_date::system_time_to_date_number(st, n)) << c.y;
    EXPECT_DOUBLE_EQ(n, c.number) << c.y;
    SYSTEMTIME back;
    ASSERT_TRUE(ole_date::date_number_to_system_time(n, back));
    EXPECT_EQ(back, st) << c.y;
  }
  SYSTEMTIME bad;
  double n;
  EXPECT_FALSE(ole_date::system_time_to_date_number(bad, n));  // zero date
  bad.wYear = 2011, bad.wMonth = 2, bad.wDay = 29;
  EXPECT_FALSE(ole_date::system_time_to_date_number(bad, n));
  bad.wYear = 99, bad.wDay = 1;
  EXPECT_FALSE(ole_date::system_time_to_date_number(bad, n));
  SYSTEMTIME st;
  EXPECT_FALSE(ole_date::date_number_to_system_time(3e6, st));
}

}  // namespace
