// Dates and times as text. ole_date reads the many textual forms of a date, a time or a
// date-and-time into one calendar record, says which of the three it holds, validates it and
// prints it in one canonical form. It carries MySQL's zero dates ("0000-00-00"), which no date
// number can hold, through to the destination.
//
// Reading a text (the constructors from text):
//  1. Blanks around the text are dropped. The first of "AM", "PM", "am", "pm" found cuts the text
//     there. A remainder of 4 characters or fewer is no date.
//  2. The forms below are tried in this order; the first that gives a valid record wins:
//     a. exactly 14 digits yyyymmddhhmmss (MySQL's compact timestamp);
//     b. exactly 8 digits yyyymmdd;
//     c. a time h:m:s, where s may carry a fraction ("10:20:30.5"); hours up to 60 pass the
//        check and fold past 23 ("30:00:00" is 06:00:00);
//     d. the locale forms of English (United States), whole text only, each part in range for a
//        real calendar (years 1..9999) and clock (hours 0..23):
//          dates:  yyyy-mm-dd, yyyy/mm/dd (ISO order, 4-digit year);
//                  m/d/yyyy, m-d-yyyy, m/d/yy, m-d-yy (US order; 2-digit years 00-29 are
//                  2000-2029, 30-99 are 1930-1999);
//                  month names, full or in three letters ("Sept" too), any case:
//                  "December 31, 2011", "Dec 31 2011", "31 December 2011", "31-Dec-2011",
//                  "Dec-31-2011"; a leading weekday name ("Saturday, ...") is allowed;
//          times:  h:mm, h:mm:ss, h:mm:ss.fraction after the date, separated by blanks or "T"
//                  ("2011-12-31T10:20:30.125"), or alone ("10:20" is a time of day);
//     e. year-first texts with "-", "/" or "." separators read field by field, with an optional
//        " h:m:s" after the date; month 1..12, day and year non-zero; a year of 31 or less
//        takes any day, and such a day-first text is swapped afterwards ("31.12.2011" is
//        2011-12-31).
//  3. With "PM" an hour below 12 gains 12; with "AM" the hour 12 is midnight (0).
// A fraction of a second is kept as milliseconds (truncated); from half a second on the second
// is rounded up instead and the milliseconds are 0. Rounding into the next hour past 23 folds to
// 00 and, when the record holds a calendar date, moves to the next day.
//
// Printing: date and time "yyyy-mm-dd hh:mm:ss"; date only (or a midnight time) "yyyy-mm-dd";
// time only "0000-00-00 hh:mm:ss"; nothing valid: empty text. Milliseconds are never printed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ole_types.h"

class ole_variant;

class ole_date {
 public:
  // The kind of a record.
  static constexpr int32_t kind_none = 0;  // nothing valid was read
  static constexpr int32_t kind_date_time = 1;
  static constexpr int32_t kind_date = 2;  // date only
  static constexpr int32_t kind_time = 3;  // time only

  ole_date() = default;  // kind 0, zero record
  explicit ole_date(std::string_view text);
  explicit ole_date(const char* text);
  explicit ole_date(const std::string& text);
  explicit ole_date(const char16_t* text);
  explicit ole_date(const std::u16string& text);  // narrowed with the ANSI code page first
  // VT_DATE: the value's calendar record (kind 1, then refine_type); VT_EMPTY and VT_NULL give
  // kind 0; any other tag is a programming error (tk_mail_assertion "ole_date").
  explicit ole_date(const ole_variant& value);
  explicit ole_date(const SYSTEMTIME& record);  // kind 1, then refine_type

  int32_t get_kind() const { return kind_; }
  const SYSTEMTIME& get_systemtime() const { return st_; }

  // Kind 0 is invalid. A record with year, month and day all zero is a pure time and only the
  // time is checked. Otherwise month 1..12, day and year non-zero, and not both year and day
  // above 31. Hour, minute and second each at most 60.
  bool is_valid() const;
  ole_variant to_variant() const;  // VT_DATE of the calendar record
  std::string to_string() const;
  std::u16string to_wstring() const;

  // Kind 3 when year, month and day are all zero; else kind 2 when the time is all zero and
  // year, month and day are all non-zero; otherwise unchanged.
  void refine_type();
  // Step 2 of reading a text (forms a to e), on a text already trimmed and cut.
  void import_from_string(std::string_view text);
  // Sets second and milliseconds from a seconds text ("30", "30.5"; 0 when it is no number) and
  // carries into minutes and hours (hours fold past 23). A null text is a programming error
  // (tk_mail_assertion "ole_date").
  void process_milliseconds(const char* seconds);

  // Date numbers: days since 1899-12-30, the time as the fraction of a day (before 1899-12-30
  // the fraction still counts forward: -1.25 is 1899-12-29 06:00). Only calendar dates of years
  // 100..9999 with a time of 00:00:00.000..23:59:59.999 have one.
  static bool system_time_to_date_number(const SYSTEMTIME& record, double& number);
  static bool date_number_to_system_time(double number, SYSTEMTIME& record);

  // Writes the canonical text into `out` (at least 32 characters); returns the length.
  size_t format(char* out) const;

 private:
  void parse(std::string_view text);
  bool import_locale_form(std::string_view text);
  bool scan_fields(std::string_view text, char separator);

  int32_t kind_ = kind_none;
  SYSTEMTIME st_{};
  // Days that process_milliseconds folded out of the hours; reading a text moves a calendar date
  // on by them.
  uint16_t day_carry_ = 0;
};
