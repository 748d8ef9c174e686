#include "eng_datetime.h"

#include <cstdio>
#include <vector>

#include "eng_util.h"

namespace mssim {

int32_t days_from_civil(int y, int m, int d) {
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = unsigned(y - era * 400);
  const unsigned doy = (153 * unsigned(m + (m > 2 ? -3 : 9)) + 2) / 5 + unsigned(d) - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  int64_t unix_days = int64_t(era) * 146097 + int64_t(doe) - 719468;
  return int32_t(unix_days + 25567);  // 1900-01-01 is 25567 days before 1970-01-01
}

void civil_from_days(int32_t days, int& y, int& m, int& d) {
  int64_t z = int64_t(days) - 25567 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = unsigned(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = int(doy - (153 * mp + 2) / 5 + 1);
  m = int(mp < 10 ? mp + 3 : mp - 9);
  y = int(int64_t(yoe) + era * 400 + (m <= 2));
}

bool valid_civil(int y, int m, int d) {
  static const int mdays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  int lim = mdays[m - 1];
  if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) lim = 29;
  return d <= lim;
}

namespace {

const char* const month_names[] = {"january",   "february", "march",    "april",
                                   "may",       "june",     "july",     "august",
                                   "september", "october",  "november", "december"};
const char* const month_abbr[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

struct piece {
  enum kind_t { number, word, sep } kind;
  std::u16string text;
  char16_t sep_char = 0;
};

int month_of(const std::u16string& w) {
  std::u16string f = fold(w);
  for (int i = 0; i < 12; ++i) {
    std::u16string full = u16(month_names[i]);
    if (f == full || (f.size() >= 3 && full.compare(0, f.size(), f) == 0)) return i + 1;
  }
  return 0;
}

int to_int(const std::u16string& s) {
  int v = 0;
  for (char16_t c : s) v = v * 10 + (c - u'0');
  return v;
}

int two_digit_year(int y) { return y < 50 ? 2000 + y : 1900 + y; }

// Parses "h[:m[:s[.f|:ms]]][ ]AM|PM" from pieces [i, end). false: not a time.
bool parse_time(const std::vector<piece>& p, size_t i, size_t end, uint64_t& ns100,
                int& frac_digits) {
  int h = -1, mi = 0, s = 0;
  uint64_t frac = 0;
  frac_digits = 0;
  int ampm = 0;
  size_t k = i;
  if (k >= end || p[k].kind != piece::number || p[k].text.size() > 2) return false;
  h = to_int(p[k++].text);
  int fields = 1;
  while (k + 1 < end && p[k].kind == piece::sep && p[k].sep_char == u':' &&
         p[k + 1].kind == piece::number && fields < 4) {
    const std::u16string& t = p[k + 1].text;
    if (fields == 1) {
      if (t.size() > 2) return false;
      mi = to_int(t);
    } else if (fields == 2) {
      if (t.size() > 2) return false;
      s = to_int(t);
    } else {
      // a third colon introduces milliseconds
      if (t.size() > 3) return false;
      frac = uint64_t(to_int(t)) * 10000;
      frac_digits = int(t.size());
    }
    ++fields;
    k += 2;
  }
  if (fields >= 3 && k + 1 < end && p[k].kind == piece::sep && p[k].sep_char == u'.' &&
      p[k + 1].kind == piece::number) {
    const std::u16string& t = p[k + 1].text;
    frac_digits = int(t.size());
    uint64_t f = 0;
    for (size_t j = 0; j < 7; ++j) f = f * 10 + (j < t.size() ? uint64_t(t[j] - u'0') : 0);
    if (t.size() > 7 && t[7] >= u'5') ++f;
    frac = f;
    k += 2;
  }
  if (k < end && p[k].kind == piece::sep && p[k].sep_char == u' ') ++k;
  if (k < end && p[k].kind == piece::word) {
    if (ieq_ascii(p[k].text, "am"))
      ampm = 1;
    else if (ieq_ascii(p[k].text, "pm"))
      ampm = 2;
    else
      return false;
    ++k;
  }
  if (k != end) return false;
  if (fields == 1 && !ampm) return false;
  if (ampm) {
    if (h > 12) return false;
    if (h == 12) h = 0;
    if (ampm == 2) h += 12;
  }
  if (h > 23 || mi > 59 || s > 59) return false;
  ns100 = (uint64_t(h) * 3600 + uint64_t(mi) * 60 + uint64_t(s)) * 10000000 + frac;
  return true;
}

bool year_ok(col_type t, int y) {
  if (t == col_type::datetime) return y >= 1753;
  if (t == col_type::smalldatetime) return y >= 1900 && y <= 2079;
  return y >= 1;
}

}  // namespace

bool fit_moment(col_type target, int scale, int32_t& days, uint64_t& ns100) {
  switch (target) {
    case col_type::datetime: {
      uint64_t ticks = (ns100 * 3 + 50000) / 100000;
      if (ticks >= ticks_per_day) {
        ticks -= ticks_per_day;
        ++days;
      }
      ns100 = (ticks * 100000 + 1) / 3;
      return days >= days_from_civil(1753, 1, 1) && days <= days_from_civil(9999, 12, 31);
    }
    case col_type::smalldatetime: {
      // 29.998 seconds and below round down, 29.999 up.
      uint64_t minute = 600000000;
      uint64_t within = ns100 % minute;
      uint64_t m = ns100 / minute;
      if (within >= 299990000) ++m;
      ns100 = m * minute;
      if (ns100 >= ns100_per_day) {
        ns100 -= ns100_per_day;
        ++days;
      }
      int32_t last = days_from_civil(2079, 6, 6);
      return days >= 0 && days <= last;
    }
    case col_type::date:
      ns100 = 0;
      return days >= days_from_civil(1, 1, 1) && days <= days_from_civil(9999, 12, 31);
    case col_type::time:
    case col_type::datetime2: {
      uint64_t unit = 1;
      for (int k = scale; k < 7; ++k) unit *= 10;
      uint64_t q = (ns100 + unit / 2) / unit * unit;
      if (q >= ns100_per_day) {
        // time(n) never rolls into a day; datetime2 does.
        if (target == col_type::time)
          q = ns100_per_day - unit;
        else {
          q -= ns100_per_day;
          ++days;
        }
      }
      ns100 = q;
      if (target == col_type::time) {
        days = 0;
        return true;
      }
      return days >= days_from_civil(1, 1, 1) && days <= days_from_civil(9999, 12, 31);
    }
    default:
      return false;
  }
}

int parse_datetime_text(std::u16string_view s, date_order order, col_type target, int32_t& days,
                        uint64_t& ns100) {
  const bool legacy = target == col_type::datetime || target == col_type::smalldatetime;
  const int range_error = legacy ? 242 : 241;
  std::vector<piece> p;
  size_t i = 0, n = s.size();
  while (i < n && s[i] == u' ') ++i;
  while (n > i && s[n - 1] == u' ') --n;
  if (i == n) {
    // '' is 1900-01-01 00:00
    days = 0;
    ns100 = 0;
    return target == col_type::date || target == col_type::datetime2 || target == col_type::time
               ? 241
               : 0;
  }
  while (i < n) {
    char16_t c = s[i];
    if (c >= u'0' && c <= u'9') {
      size_t k = i;
      while (k < n && s[k] >= u'0' && s[k] <= u'9') ++k;
      p.push_back({piece::number, std::u16string(s.substr(i, k - i))});
      i = k;
    } else if ((c | 32) >= u'a' && (c | 32) <= u'z') {
      size_t k = i;
      while (k < n && (s[k] | 32) >= u'a' && (s[k] | 32) <= u'z') ++k;
      p.push_back({piece::word, std::u16string(s.substr(i, k - i))});
      i = k;
    } else if (c == u' ' || c == u'/' || c == u'-' || c == u'.' || c == u':' || c == u',') {
      size_t k = i + 1;
      if (c == u' ')
        while (k < n && s[k] == u' ') ++k;
      piece pc{piece::sep, u""};
      pc.sep_char = c;
      p.push_back(pc);
      i = k;
    } else {
      return 241;
    }
  }
  // ISO 8601: yyyy-mm-ddThh:mm[:ss[.f]]
  int y = 1900, m = 1, d = 1;
  bool has_date = false;
  uint64_t t = 0;
  int frac_digits = 0;
  size_t time_start = p.size();
  // Find where the time begins: a number followed by ':' or by AM/PM.
  for (size_t k = 0; k < p.size(); ++k) {
    if (p[k].kind != piece::number) continue;
    bool colon = k + 1 < p.size() && p[k + 1].kind == piece::sep && p[k + 1].sep_char == u':';
    bool ampm = (k + 1 < p.size() && p[k + 1].kind == piece::word &&
                 (ieq_ascii(p[k + 1].text, "am") || ieq_ascii(p[k + 1].text, "pm"))) ||
                (k + 2 < p.size() && p[k + 1].kind == piece::sep && p[k + 1].sep_char == u' ' &&
                 p[k + 2].kind == piece::word &&
                 (ieq_ascii(p[k + 2].text, "am") || ieq_ascii(p[k + 2].text, "pm")));
    if (colon || ampm) {
      time_start = k;
      break;
    }
  }
  size_t date_end = time_start;
  bool iso_t = false;
  // The ISO 'T' separator is lexed as the start of a word: "31T10" -> number, word "T10"? No:
  // words hold letters only, so "T" is its own word followed by the hour.
  for (size_t k = 0; k < p.size(); ++k) {
    if (p[k].kind == piece::word && (p[k].text == u"T" || p[k].text == u"t")) {
      iso_t = true;
      date_end = k;
      time_start = k + 1;
      break;
    }
  }
  // Trim separators between date and time.
  size_t de = date_end;
  while (de > 0 && p[de - 1].kind == piece::sep && p[de - 1].sep_char == u' ') --de;
  if (de > 0) {
    has_date = true;
    std::vector<const piece*> nums;
    std::vector<char16_t> seps;
    int month_word = 0;
    size_t month_pos = 0;
    for (size_t k = 0; k < de; ++k) {
      if (p[k].kind == piece::number)
        nums.push_back(&p[k]);
      else if (p[k].kind == piece::word) {
        int mw = month_of(p[k].text);
        if (!mw || month_word) return 241;
        month_word = mw;
        month_pos = nums.size();
      } else {
        seps.push_back(p[k].sep_char);
      }
    }
    if (iso_t) {
      if (nums.size() != 3 || nums[0]->text.size() != 4 || nums[1]->text.size() != 2 ||
          nums[2]->text.size() != 2 || month_word)
        return 241;
      for (char16_t sc : seps)
        if (sc != u'-') return 241;
      y = to_int(nums[0]->text);
      m = to_int(nums[1]->text);
      d = to_int(nums[2]->text);
    } else if (month_word) {
      m = month_word;
      if (nums.size() == 2) {
        if (nums[0]->text.size() == 4) {  // 2011 Dec 31
          y = to_int(nums[0]->text);
          d = to_int(nums[1]->text);
        } else {  // Dec 31 2011, 31 Dec 2011, Dec 31, 2011
          d = to_int(nums[0]->text);
          int yy = to_int(nums[1]->text);
          y = nums[1]->text.size() <= 2 ? two_digit_year(yy) : yy;
        }
      } else if (nums.size() == 1) {  // Dec 2011
        int v = to_int(nums[0]->text);
        if (nums[0]->text.size() == 4) {
          y = v;
          d = 1;
        } else {
          return 241;
        }
      } else {
        return 241;
      }
      (void)month_pos;
    } else if (nums.size() == 1 && seps.empty()) {
      const std::u16string& v = nums[0]->text;
      if (v.size() == 8) {
        y = to_int(v.substr(0, 4));
        m = to_int(v.substr(4, 2));
        d = to_int(v.substr(6, 2));
      } else if (v.size() == 6) {
        y = two_digit_year(to_int(v.substr(0, 2)));
        m = to_int(v.substr(2, 2));
        d = to_int(v.substr(4, 2));
      } else if (v.size() == 4) {
        y = to_int(v);
      } else {
        return 241;
      }
    } else if (nums.size() == 3 && seps.size() == 2 && seps[0] == seps[1] &&
               (seps[0] == u'/' || seps[0] == u'-' || seps[0] == u'.')) {
      int a = to_int(nums[0]->text), b = to_int(nums[1]->text), c = to_int(nums[2]->text);
      if (nums[0]->text.size() == 4) {
        // A four-digit year first: y-m-d, except that the legacy types read it y-d-m under the
        // day-first formats.
        bool ydm = legacy && (order == date_order::dmy || order == date_order::ydm ||
                              order == date_order::dym);
        y = a;
        m = ydm ? c : b;
        d = ydm ? b : c;
      } else {
        int yv = 0;
        switch (order) {
          case date_order::mdy:
            m = a;
            d = b;
            yv = 2;
            break;
          case date_order::dmy:
            d = a;
            m = b;
            yv = 2;
            break;
          case date_order::ymd:
            yv = 0;
            m = b;
            d = c;
            break;
          case date_order::ydm:
            yv = 0;
            d = b;
            m = c;
            break;
          case date_order::myd:
            m = a;
            yv = 1;
            d = c;
            break;
          case date_order::dym:
            d = a;
            yv = 1;
            m = c;
            break;
        }
        const std::u16string& yt = nums[size_t(yv)]->text;
        int yy = yv == 0 ? a : yv == 1 ? b : c;
        y = yt.size() <= 2 ? two_digit_year(yy) : yy;
        if (yt.size() == 3) return 241;
      }
    } else {
      return 241;
    }
  }
  if (time_start < p.size()) {
    if (!parse_time(p, time_start, p.size(), t, frac_digits)) return 241;
    if (legacy && frac_digits > 3) return 241;
  } else if (!has_date) {
    return 241;
  }
  if (target == col_type::time && false) return 0;
  if (!valid_civil(y, m, d))
    return y >= 1 && y <= 9999 && m >= 1 && m <= 12 ? range_error : range_error;
  if (!year_ok(target, y)) return range_error;
  days = days_from_civil(y, m, d);
  ns100 = t;
  if (target == col_type::time) days = 0;
  int scale = 7;
  if (!fit_moment(target, scale, days, ns100)) return range_error;
  return 0;
}

std::string storage_text(col_type t, int32_t days, uint64_t ns100) {
  int y, m, d;
  civil_from_days(days, y, m, d);
  uint64_t secs = ns100 / 10000000, frac = ns100 % 10000000;
  char buf[64];
  if (t == col_type::date) {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  } else if (t == col_type::time) {
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%07d", int(secs / 3600), int(secs / 60 % 60),
                  int(secs % 60), int(frac));
  } else {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%07d", y, m, d, int(secs / 3600),
                  int(secs / 60 % 60), int(secs % 60), int(frac));
  }
  return buf;
}

bool parse_storage_text(std::string_view s, int32_t& days, uint64_t& ns100) {
  auto num_at = [&](size_t pos, size_t len, int& out) {
    if (pos + len > s.size()) return false;
    out = 0;
    for (size_t k = pos; k < pos + len; ++k) {
      if (s[k] < '0' || s[k] > '9') return false;
      out = out * 10 + (s[k] - '0');
    }
    return true;
  };
  int y = 1900, m = 1, d = 1, h = 0, mi = 0, se = 0, f = 0;
  size_t tpos = 0;
  if (s.size() >= 10 && s[4] == '-') {
    if (!num_at(0, 4, y) || !num_at(5, 2, m) || !num_at(8, 2, d)) return false;
    tpos = 11;
    if (s.size() == 10) {
      days = days_from_civil(y, m, d);
      ns100 = 0;
      return true;
    }
  }
  if (!num_at(tpos, 2, h) || !num_at(tpos + 3, 2, mi) || !num_at(tpos + 6, 2, se)) return false;
  if (s.size() >= tpos + 16) {
    if (!num_at(tpos + 9, 7, f)) return false;
  }
  days = tpos ? days_from_civil(y, m, d) : 0;
  ns100 = (uint64_t(h) * 3600 + uint64_t(mi) * 60 + uint64_t(se)) * 10000000 + uint64_t(f);
  return true;
}

std::u16string iso_text(col_type t, int scale, int32_t days, uint64_t ns100) {
  int y, m, d;
  civil_from_days(days, y, m, d);
  uint64_t secs = ns100 / 10000000, frac = ns100 % 10000000;
  char buf[64];
  std::string out;
  if (t != col_type::time) {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
    out = buf;
    if (t == col_type::date) return u16(out);
    out += ' ';
  }
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", int(secs / 3600), int(secs / 60 % 60),
                int(secs % 60));
  out += buf;
  int digits = t == col_type::datetime ? 3 : t == col_type::smalldatetime ? 0 : scale;
  if (digits > 0) {
    std::snprintf(buf, sizeof buf, "%07d", int(frac));
    uint64_t ms = 0;
    if (t == col_type::datetime) {
      // datetime shows its 1/300 s as .000/.003/.007 milliseconds
      uint64_t ticks = (ns100 % 10000000 * 3 + 50000) / 100000;
      ms = (ticks * 10 + 1) / 3;
      if (ms > 999) ms = 999;
      std::snprintf(buf, sizeof buf, "%03d", int(ms));
    }
    out += '.';
    out.append(buf, size_t(digits));
  }
  return u16(out);
}

bool format_moment(col_type t, int scale, int32_t days, uint64_t ns100, int style,
                   std::u16string& out) {
  int y, m, d;
  civil_from_days(days, y, m, d);
  uint64_t secs = ns100 / 10000000;
  int h = int(secs / 3600), mi = int(secs / 60 % 60), s = int(secs % 60);
  char buf[96];
  bool century = style >= 100 || style == 0 || style == 9 || style == 13 || style == 20 ||
                 style == 21 || style == 23 || style == 25;
  int yy = century ? y : y % 100;
  const char* yfmt = century ? "%04d" : "%02d";
  (void)yfmt;
  std::u16string iso = iso_text(t, scale, days, ns100);
  auto ymd = [&](const char* sep) {
    std::snprintf(buf, sizeof buf, century ? "%04d%s%02d%s%02d" : "%02d%s%02d%s%02d", yy, sep, m,
                  sep, d);
    return std::string(buf);
  };
  switch (style) {
    case 0:
    case 100: {
      if (t == col_type::date || t == col_type::time || t == col_type::datetime2) {
        if (t == col_type::date || t == col_type::datetime2 || t == col_type::time) {
          if (style == 0 && t != col_type::time) {
            out = iso;
            return true;
          }
        }
      }
      int h12 = h % 12 == 0 ? 12 : h % 12;
      if (t == col_type::time) {
        std::snprintf(buf, sizeof buf, "%2d:%02d%s", h12, mi, h < 12 ? "AM" : "PM");
      } else {
        std::snprintf(buf, sizeof buf, "%s %2d %4d %2d:%02d%s", month_abbr[m - 1], d, y, h12, mi,
                      h < 12 ? "AM" : "PM");
      }
      out = u16(buf);
      return true;
    }
    case 1:
    case 101:
      std::snprintf(buf, sizeof buf, century ? "%02d/%02d/%04d" : "%02d/%02d/%02d", m, d, yy);
      break;
    case 2:
    case 102:
      out = u16(ymd("."));
      return true;
    case 3:
    case 103:
      std::snprintf(buf, sizeof buf, century ? "%02d/%02d/%04d" : "%02d/%02d/%02d", d, m, yy);
      break;
    case 4:
    case 104:
      std::snprintf(buf, sizeof buf, century ? "%02d.%02d.%04d" : "%02d.%02d.%02d", d, m, yy);
      break;
    case 5:
    case 105:
      std::snprintf(buf, sizeof buf, century ? "%02d-%02d-%04d" : "%02d-%02d-%02d", d, m, yy);
      break;
    case 8:
    case 108:
      std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, mi, s);
      break;
    case 10:
    case 110:
      std::snprintf(buf, sizeof buf, century ? "%02d-%02d-%04d" : "%02d-%02d-%02d", m, d, yy);
      break;
    case 11:
    case 111:
      out = u16(ymd("/"));
      return true;
    case 12:
    case 112:
      out = u16(ymd(""));
      return true;
    case 20:
    case 120:
      out = iso.substr(0, t == col_type::date ? 10 : 19);
      return true;
    case 21:
    case 121:
    case 25:
      out = iso;
      if (t == col_type::datetime && out.size() > 23) out.resize(23);
      return true;
    case 23:
      out = iso.substr(0, 10);
      return true;
    case 126:
    case 127:
      out = iso;
      if (out.size() > 10 && t != col_type::time && t != col_type::date) out[10] = u'T';
      if (t == col_type::datetime && out.size() > 20 && out.substr(19) == u".000") out.resize(19);
      return true;
    default:
      return false;
  }
  out = u16(buf);
  return true;
}

}  // namespace mssim
