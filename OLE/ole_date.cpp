// Reading and printing dates. The order of the forms and the checks are described in
// ole_date.h; the numbered steps below refer to it. Nothing here allocates on the way from a
// MySQL date text to the record.
#include "ole_date.h"

#include <cmath>
#include <cstring>

#include "ole_text.h"
#include "ole_variant.h"
#include "tk_exception.h"
#include "tk_log.h"
#include "tk_string.h"

namespace {

constexpr const char* source = "ole_date";

std::string_view trim_blanks(std::string_view text) {
  size_t b = text.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  size_t e = text.find_last_not_of(' ');
  return text.substr(b, e - b + 1);
}

// ---- the scanf patterns of forms a, b, c and e ------------------------------------------------

// One reading of the few scanf patterns the date forms use: "%d" with an optional width, "%hd",
// "%s" (one token of at most 255 characters), a blank (any run of white space, none included)
// and literal characters. Fields land in `ints` as the target would hold them (a "%hd" field is
// cut to 16 bits). Returns the number of fields stored, or -1 when the text ended before the
// first field.
int scan(std::string_view text, const char* pattern, int* ints, char* token) {
  size_t i = 0, n = text.size();
  int stored = 0;
  auto input_failure = [&] { return stored == 0 ? -1 : stored; };
  for (const char* f = pattern; *f; ++f) {
    if (*f == ' ') {
      while (i < n && ole_text::is_space(text[i])) ++i;
      continue;
    }
    if (*f != '%') {
      if (i >= n) return input_failure();
      if (text[i] != *f) return stored;
      ++i;
      continue;
    }
    ++f;
    size_t width = 0;
    while (*f >= '0' && *f <= '9') width = width * 10 + static_cast<size_t>(*f++ - '0');
    bool half = false;
    if (*f == 'h') {
      half = true;
      ++f;
    }
    while (i < n && ole_text::is_space(text[i])) ++i;
    if (i >= n) return input_failure();
    if (*f == 's') {
      size_t start = i;
      while (i < n && !ole_text::is_space(text[i]) && i - start < 255) ++i;
      std::memcpy(token, text.data() + start, i - start);
      token[i - start] = '\0';
      ++stored;
      continue;
    }
    // 'd'
    size_t limit = width ? std::min(n, i + width) : n;
    bool negative = false;
    if (i < limit && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    size_t digits_at = i;
    int64_t v = 0;
    for (; i < limit && text[i] >= '0' && text[i] <= '9'; ++i)
      if (v < (int64_t{1} << 40)) v = v * 10 + (text[i] - '0');
    if (i == digits_at) return stored;
    if (negative) v = -v;
    *ints++ = half ? static_cast<int16_t>(v) : static_cast<int>(v);
    ++stored;
  }
  return stored;
}

// ---- the calendar ----------------------------------------------------------------------------

bool is_leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int days_in_month(int y, int m) {
  static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && is_leap(y) ? 29 : days[m - 1];
}

bool is_calendar_date(const SYSTEMTIME& st) {
  return st.wYear >= 1 && st.wYear <= 9999 && st.wMonth >= 1 && st.wMonth <= 12 && st.wDay >= 1 &&
         st.wDay <= days_in_month(st.wYear, st.wMonth);
}

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's days_from_civil).
int64_t days_from_civil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civil_from_days(int64_t z, int& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int>(yy + (m <= 2));
}

// 1899-12-30, the day 0 of date numbers, in days since 1970-01-01.
const int64_t date_epoch = days_from_civil(1899, 12, 30);

void add_days(SYSTEMTIME& st, int days) {
  int64_t z = days_from_civil(st.wYear, st.wMonth, st.wDay) + days;
  int y;
  unsigned m, d;
  civil_from_days(z, y, m, d);
  if (y < 1 || y > 9999) return;  // beyond the calendar the record keeps its day
  st.wYear = static_cast<uint16_t>(y);
  st.wMonth = static_cast<uint16_t>(m);
  st.wDay = static_cast<uint16_t>(d);
}

// ---- form d: the locale forms ------------------------------------------------------------

struct cursor {
  const char* p;
  const char* e;
  bool at_end() const { return p == e; }
  char peek() const { return p < e ? *p : '\0'; }
  void skip_blanks() {
    while (p < e && *p == ' ') ++p;
  }
  // Digits only; at most 9 kept.
  bool number(int& value, int& count) {
    value = 0;
    count = 0;
    while (p < e && *p >= '0' && *p <= '9') {
      if (count < 9) value = value * 10 + (*p - '0');
      ++count;
      ++p;
    }
    return count > 0;
  }
  std::string_view word() {
    const char* s = p;
    while (p < e && ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z'))) ++p;
    return std::string_view(s, static_cast<size_t>(p - s));
  }
};

int month_of(std::string_view w) {
  static constexpr const char* names[] = {"january",   "february", "march",    "april",
                                          "may",       "june",     "july",     "august",
                                          "september", "october",  "november", "december"};
  for (int i = 0; i < 12; ++i) {
    std::string_view full(names[i]);
    if (ole_text::iequal(w, full) || ole_text::iequal(w, full.substr(0, 3))) return i + 1;
  }
  if (ole_text::iequal(w, "sept")) return 9;
  return 0;
}

bool is_weekday(std::string_view w) {
  static constexpr const char* names[] = {"monday", "tuesday",  "wednesday", "thursday",
                                          "friday", "saturday", "sunday"};
  for (const char* name : names) {
    std::string_view full(name);
    if (ole_text::iequal(w, full) || ole_text::iequal(w, full.substr(0, 3))) return true;
  }
  return false;
}

// A year of 4 digits as written, of 2 digits in the window 1930..2029.
bool year_of(int value, int count, int& year) {
  if (count == 4) {
    year = value;
    return true;
  }
  if (count == 2) {
    year = value < 30 ? 2000 + value : 1900 + value;
    return true;
  }
  return false;
}

struct parsed_time {
  int hour = 0, minute = 0, second = 0, millis = 0;
  bool round_up = false;  // the fraction was half a second or more
};

// h:mm[:ss[.fraction]]
bool read_time(cursor& c, parsed_time& t) {
  int count;
  if (!c.number(t.hour, count) || count > 2 || c.peek() != ':') return false;
  ++c.p;
  if (!c.number(t.minute, count) || count > 2) return false;
  if (c.peek() == ':') {
    ++c.p;
    if (!c.number(t.second, count) || count > 2) return false;
    if (c.peek() == '.') {
      ++c.p;
      int digits = 0;
      while (!c.at_end() && *c.p >= '0' && *c.p <= '9') {
        if (digits == 0) t.round_up = *c.p >= '5';
        if (digits < 3) t.millis = t.millis * 10 + (*c.p - '0');
        ++digits;
        ++c.p;
      }
      if (digits == 0) return false;
      for (int d = digits; d < 3; ++d) t.millis *= 10;
    }
  }
  return t.hour <= 23 && t.minute <= 59 && t.second <= 59;
}

// The date part; on success the cursor stands after it.
bool read_date(cursor& c, int& year, int& month, int& day) {
  int n1, c1;
  if (!c.number(n1, c1)) {
    // Month name first: "December 31, 2011", "Dec 31 2011", "Dec-31-2011".
    month = month_of(c.word());
    if (month == 0) return false;
    char sep = c.peek();
    if (sep == '-') {
      ++c.p;
    } else {
      if (sep != ' ') return false;
      c.skip_blanks();
    }
    int cd;
    if (!c.number(day, cd) || cd > 2) return false;
    if (sep == '-') {
      if (c.peek() != '-') return false;
      ++c.p;
    } else {
      if (c.peek() == ',') ++c.p;
      if (c.peek() != ' ') return false;
      c.skip_blanks();
    }
    int y, cy;
    return c.number(y, cy) && year_of(y, cy, year);
  }
  char sep = c.peek();
  if (sep == '-' || sep == '/') {
    ++c.p;
    if (c1 == 4) {  // ISO order
      int cm, cd;
      year = n1;
      if (!c.number(month, cm) || cm > 2 || c.peek() != sep) return false;
      ++c.p;
      return c.number(day, cd) && cd <= 2;
    }
    if (c1 > 2) return false;
    int n2, c2;
    if (c.number(n2, c2)) {  // US order: m/d/y
      if (c2 > 2 || c.peek() != sep) return false;
      ++c.p;
      month = n1;
      day = n2;
      int y, cy;
      return c.number(y, cy) && year_of(y, cy, year);
    }
    if (sep != '-') return false;  // "31-Dec-2011"
    day = n1;
    month = month_of(c.word());
    if (month == 0 || c.peek() != '-') return false;
    ++c.p;
    int y, cy;
    return c.number(y, cy) && year_of(y, cy, year);
  }
  if (sep == ' ' && c1 <= 2) {  // "31 December 2011"
    c.skip_blanks();
    day = n1;
    month = month_of(c.word());
    if (month == 0) return false;
    if (c.peek() == ',') ++c.p;
    if (c.peek() != ' ') return false;
    c.skip_blanks();
    int y, cy;
    return c.number(y, cy) && year_of(y, cy, year);
  }
  return false;
}

void apply_time(SYSTEMTIME& st, const parsed_time& t, bool has_date) {
  st.wHour = static_cast<uint16_t>(t.hour);
  st.wMinute = static_cast<uint16_t>(t.minute);
  st.wSecond = static_cast<uint16_t>(t.second);
  st.wMilliseconds = static_cast<uint16_t>(t.millis);
  if (!t.round_up) return;
  st.wMilliseconds = 0;
  if (++st.wSecond < 60) return;
  st.wSecond = 0;
  if (++st.wMinute < 60) return;
  st.wMinute = 0;
  if (++st.wHour < 24) return;
  st.wHour = 0;
  if (has_date) add_days(st, 1);
}

// Writes `v` with at least `width` digits.
size_t put_number(char* out, unsigned v, int width) {
  char buf[12];
  int n = 0;
  do {
    buf[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v);
  while (n < width) buf[n++] = '0';
  for (int i = 0; i < n; ++i) out[i] = buf[n - 1 - i];
  return static_cast<size_t>(n);
}

}  // namespace

// ---- construction ----------------------------------------------------------------------------

ole_date::ole_date(std::string_view text) {
  tk_trace(1, "ole_date::ole_date(%.*s)", static_cast<int>(text.size()), text.data());
  parse(text);
}

ole_date::ole_date(const char* text) : ole_date(std::string_view(text ? text : "")) {}

ole_date::ole_date(const std::string& text) : ole_date(std::string_view(text)) {}

ole_date::ole_date(const char16_t* text)
    : ole_date(text ? std::u16string(text) : std::u16string()) {}

ole_date::ole_date(const std::u16string& text) {
  tk_wtrace(1, u"ole_date::ole_date(%s)", text);
  char buf[64];
  bool ascii = text.size() <= sizeof buf;
  for (size_t i = 0; ascii && i < text.size(); ++i) {
    if (text[i] >= 0x80) ascii = false;
    buf[i] = static_cast<char>(text[i]);
  }
  if (ascii) {
    parse(std::string_view(buf, text.size()));
  } else {
    std::string narrow = tk_wide_to_narrow(text);
    parse(narrow);
  }
}

ole_date::ole_date(const ole_variant& value) {
  tk_trace(1, "ole_date::ole_date(variant, vt=%d)", value.get_type());
  switch (value.get_type()) {
    case VT_DATE:
      st_ = value.get_systemtime();
      kind_ = kind_date_time;
      refine_type();
      break;
    case VT_EMPTY:
    case VT_NULL:
      break;
    default:
      throw tk_mail_assertion(source, __LINE__);
  }
}

ole_date::ole_date(const SYSTEMTIME& record) : kind_(kind_date_time), st_(record) {
  tk_trace(1, "ole_date::ole_date(SYSTEMTIME)");
  refine_type();
}

void ole_date::parse(std::string_view text) {
  // 1. Trim; cut at the first day-half marker.
  std::string_view t = trim_blanks(text);
  static constexpr std::string_view markers[] = {"AM", "PM", "am", "pm"};
  bool morning = false;
  for (std::string_view m : markers) {
    size_t at = t.find(m);
    if (at != std::string_view::npos) {
      morning = m[0] == 'A' || m[0] == 'a';
      t = trim_blanks(t.substr(0, at));
      break;
    }
  }
  if (t.size() <= 4) {
    tk_trace(2, "Invalid date/time format: '%.*s'", static_cast<int>(t.size()), t.data());
    return;
  }
  // 2. The forms.
  day_carry_ = 0;
  import_from_string(t);
  // A day-first text read by the year-first patterns.
  if ((kind_ == kind_date_time || kind_ == kind_date) && st_.wDay > 31 && st_.wYear < 32)
    std::swap(st_.wYear, st_.wDay);
  if (day_carry_ && kind_ != kind_time && is_calendar_date(st_)) add_days(st_, day_carry_);
  day_carry_ = 0;
  // 3. The half of the day.
  bool evening =
      text.find("PM") != std::string_view::npos || text.find("pm") != std::string_view::npos;
  if (evening && st_.wHour < 12)
    st_.wHour = static_cast<uint16_t>(st_.wHour + 12);
  else if (morning && !evening && st_.wHour == 12)
    st_.wHour = 0;  // 12:15 AM is a quarter past midnight
}

void ole_date::import_from_string(std::string_view text) {
  tk_trace(1, "ole_date::import_from_string(%.*s)", static_cast<int>(text.size()), text.data());
  int f[6] = {};
  char token[256];
  auto reset = [&] {
    st_ = SYSTEMTIME{};
    kind_ = kind_none;
  };
  auto set_date = [&](int y, int m, int d) {
    st_.wYear = static_cast<uint16_t>(y);
    st_.wMonth = static_cast<uint16_t>(m);
    st_.wDay = static_cast<uint16_t>(d);
  };
  auto set_time = [&](int h, int mi) {
    st_.wHour = static_cast<uint16_t>(h);
    st_.wMinute = static_cast<uint16_t>(mi);
  };
  reset();
  // a. MySQL's compact timestamp.
  if (text.size() == 14 && scan(text, "%4d%02d%02d%02d%02d%02d", f, token) == 6) {
    set_date(f[0], f[1], f[2]);
    set_time(f[3], f[4]);
    st_.wSecond = static_cast<uint16_t>(f[5]);
    kind_ = kind_date_time;
    if (is_valid()) return;
    reset();
  }
  // b. The compact date.
  if (text.size() == 8 && scan(text, "%4d%02d%02d", f, token) == 3) {
    set_date(f[0], f[1], f[2]);
    kind_ = kind_date;
    if (is_valid()) return;
    reset();
  }
  // c. A time.
  if (scan(text, "%hd:%hd:%s", f, token) == 3) {
    set_time(static_cast<uint16_t>(f[0]), static_cast<uint16_t>(f[1]));
    kind_ = kind_time;
    if (is_valid()) {
      process_milliseconds(token);
      return;
    }
  }
  reset();
  // d. The locale forms.
  if (import_locale_form(text)) {
    tk_trace(1, "Got datetime using Microsoft API");
    kind_ = kind_date_time;
    refine_type();
    return;
  }
  reset();
  // e. Field by field.
  for (char separator : {'-', '/', '.'}) {
    if (scan_fields(text, separator)) return;
    reset();
  }
  tk_trace(2, "Invalid date/time format: '%.*s'", static_cast<int>(text.size()), text.data());
}

bool ole_date::scan_fields(std::string_view text, char separator) {
  char pattern[] = "%hd-%hd-%hd %hd:%hd:%s";
  pattern[3] = pattern[7] = separator;
  int f[6] = {};
  char token[256];
  int n = scan(text, pattern, f, token);
  if (n != 3 && n != 6) return false;
  st_.wYear = static_cast<uint16_t>(f[0]);
  st_.wMonth = static_cast<uint16_t>(f[1]);
  st_.wDay = static_cast<uint16_t>(f[2]);
  if (n == 3) {
    kind_ = kind_date;
    return is_valid();
  }
  st_.wHour = static_cast<uint16_t>(f[3]);
  st_.wMinute = static_cast<uint16_t>(f[4]);
  kind_ = kind_date_time;
  if (!is_valid()) return false;
  process_milliseconds(token);
  refine_type();
  return true;
}

bool ole_date::import_locale_form(std::string_view text) {
  cursor c{text.data(), text.data() + text.size()};
  c.skip_blanks();
  // A leading weekday name.
  {
    cursor probe = c;
    std::string_view w = probe.word();
    if (!w.empty() && is_weekday(w) && month_of(w) == 0) {
      c = probe;
      if (c.peek() == ',') ++c.p;
      c.skip_blanks();
    }
  }
  parsed_time t;
  // A time of day alone.
  {
    cursor probe = c;
    if (read_time(probe, t)) {
      probe.skip_blanks();
      if (probe.at_end()) {
        apply_time(st_, t, false);
        return true;
      }
    }
    t = parsed_time{};
  }
  int year = 0, month = 0, day = 0;
  if (!read_date(c, year, month, day)) return false;
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > days_in_month(year, month))
    return false;
  bool has_time = false;
  if (c.peek() == 'T' || c.peek() == ' ') {
    if (c.peek() == 'T')
      ++c.p;
    else
      c.skip_blanks();
    if (!c.at_end()) {
      if (!read_time(c, t)) return false;
      has_time = true;
      c.skip_blanks();
    }
  }
  if (!c.at_end()) return false;
  st_.wYear = static_cast<uint16_t>(year);
  st_.wMonth = static_cast<uint16_t>(month);
  st_.wDay = static_cast<uint16_t>(day);
  if (has_time) apply_time(st_, t, true);
  return true;
}

// ---- checks and steps --------------------------------------------------------------------------

bool ole_date::is_valid() const {
  if (kind_ == kind_none) return false;
  if (st_.wDay == 0 && st_.wMonth == 0 && st_.wYear == 0) {
    tk_trace(1, "DATETIME is a pute time");
  } else {
    if (st_.wMonth == 0 || st_.wMonth > 12) {
      tk_trace(1, "Invalid month");
      return false;
    }
    if (st_.wDay == 0 || st_.wYear == 0 || (st_.wYear > 31 && st_.wDay > 31)) {
      tk_trace(1, "Invalid day and/or year");
      return false;
    }
  }
  if (st_.wHour > 60 || st_.wMinute > 60 || st_.wSecond > 60) {
    tk_trace(1, "Invalid time");
    return false;
  }
  return true;
}

void ole_date::refine_type() {
  bool no_date = st_.wDay == 0 && st_.wMonth == 0 && st_.wYear == 0;
  bool full_date = st_.wDay != 0 && st_.wMonth != 0 && st_.wYear != 0;
  bool no_time = st_.wHour == 0 && st_.wMinute == 0 && st_.wSecond == 0;
  if (no_date)
    kind_ = kind_time;
  else if (no_time && full_date)
    kind_ = kind_date;
}

void ole_date::process_milliseconds(const char* seconds) {
  if (!seconds) throw tk_mail_assertion(source, __LINE__);
  std::string_view s(seconds);
  // Plain "ss" or "ss.fff...": read digit by digit, so that .123 is 123 milliseconds and not
  // the 122.99.. a binary fraction would give. Anything else is read as a floating number.
  size_t i = 0;
  unsigned whole = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i < 9) whole = whole * 10 + (s[i++] - '0');
  unsigned millis = 0;
  bool round_up = false;
  bool plain = i > 0 && i < 9;
  if (plain && i < s.size()) {
    if (s[i] != '.') {
      plain = false;
    } else {
      size_t digits = 0;
      for (++i; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, ++digits) {
        if (digits == 0) round_up = s[i] >= '5';
        if (digits < 3) millis = millis * 10 + static_cast<unsigned>(s[i] - '0');
      }
      for (size_t d = digits; d < 3; ++d) millis *= 10;
      if (i != s.size()) plain = false;
    }
  }
  if (!plain) {
    double x = ole_text::double_prefix(s);
    if (!(x >= 0)) x = 0;  // negative or NaN: no seconds
    if (x > 1e6) x = 1e6;
    whole = static_cast<unsigned>(x);
    millis = static_cast<unsigned>((x - whole) * 1000);
    round_up = millis >= 500;
  }
  // From half a second on the second is rounded up, and the record then holds exactly that
  // second: keeping the thousandths too would put the time half a second or more past the text.
  if (round_up) {
    ++whole;
    millis = 0;
  }
  unsigned minute = st_.wMinute + whole / 60;
  unsigned hour = st_.wHour + minute / 60;
  st_.wSecond = static_cast<uint16_t>(whole % 60);
  st_.wMinute = static_cast<uint16_t>(minute % 60);
  st_.wMilliseconds = static_cast<uint16_t>(millis);
  day_carry_ = static_cast<uint16_t>(hour / 24);
  st_.wHour = static_cast<uint16_t>(hour % 24);
  tk_trace(1, "After processing: %02d:%02d:%02d", st_.wHour, st_.wMinute, st_.wSecond);
}

// ---- printing ----------------------------------------------------------------------------------

size_t ole_date::format(char* out) const {
  size_t n = 0;
  auto date = [&] {
    n += put_number(out + n, st_.wYear, 4);
    out[n++] = '-';
    n += put_number(out + n, st_.wMonth, 2);
    out[n++] = '-';
    n += put_number(out + n, st_.wDay, 2);
  };
  auto time = [&] {
    n += put_number(out + n, st_.wHour, 2);
    out[n++] = ':';
    n += put_number(out + n, st_.wMinute, 2);
    out[n++] = ':';
    n += put_number(out + n, st_.wSecond, 2);
  };
  bool midnight = st_.wHour == 0 && st_.wMinute == 0 && st_.wSecond == 0;
  switch (kind_) {
    case kind_date_time:
      date();
      if (!midnight) {
        out[n++] = ' ';
        time();
      }
      break;
    case kind_date:
      date();
      break;
    case kind_time:
      std::memcpy(out, "0000-00-00 ", 11);
      n = 11;
      time();
      break;
    default:
      break;
  }
  return n;
}

std::string ole_date::to_string() const {
  char buf[40];
  return std::string(buf, format(buf));
}

std::u16string ole_date::to_wstring() const {
  char buf[40];
  size_t n = format(buf);
  return std::u16string(buf, buf + n);
}

ole_variant ole_date::to_variant() const { return ole_variant(st_); }

// ---- date numbers ------------------------------------------------------------------------------

bool ole_date::system_time_to_date_number(const SYSTEMTIME& st, double& number) {
  if (st.wYear < 100 || !is_calendar_date(st) || st.wHour > 23 || st.wMinute > 59 ||
      st.wSecond > 59 || st.wMilliseconds > 999)
    return false;
  int64_t days = days_from_civil(st.wYear, st.wMonth, st.wDay) - date_epoch;
  double fraction =
      (((st.wHour * 60.0 + st.wMinute) * 60.0 + st.wSecond) * 1000.0 + st.wMilliseconds) /
      86400000.0;
  // Before day 0 the fraction still counts forward from the start of the day.
  number = days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
  return true;
}

bool ole_date::date_number_to_system_time(double number, SYSTEMTIME& st) {
  // 0100-01-01 .. 9999-12-31 23:59:59.999
  if (!(number >= -657434.0 && number < 2958466.0)) return false;
  double whole = std::trunc(number);
  double fraction = std::fabs(number - whole);
  int64_t days = static_cast<int64_t>(whole);
  int64_t ms = std::llround(fraction * 86400000.0);
  if (ms >= 86400000) {
    ms -= 86400000;
    ++days;
  }
  int y;
  unsigned m, d;
  civil_from_days(days + date_epoch, y, m, d);
  if (y < 100 || y > 9999) return false;
  SYSTEMTIME r;
  r.wYear = static_cast<uint16_t>(y);
  r.wMonth = static_cast<uint16_t>(m);
  r.wDay = static_cast<uint16_t>(d);
  r.wHour = static_cast<uint16_t>(ms / 3600000);
  r.wMinute = static_cast<uint16_t>(ms / 60000 % 60);
  r.wSecond = static_cast<uint16_t>(ms / 1000 % 60);
  r.wMilliseconds = static_cast<uint16_t>(ms % 1000);
  st = r;
  return true;
}
