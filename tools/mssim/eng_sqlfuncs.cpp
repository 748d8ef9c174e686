#include "eng_sqlfuncs.h"

#include <sqlite3.h>
#include <unicode/uchar.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <random>
#include <string>

#include "eng_convert.h"
#include "eng_datetime.h"
#include "eng_errors.h"
#include "eng_storage.h"
#include "eng_types.h"
#include "eng_util.h"

namespace mssim {
namespace {

char16_t fold_char(char16_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? char16_t(c + 32) : c;
  return char16_t(u_foldCase(c, U_FOLD_CASE_DEFAULT));
}

size_t trimmed(const char16_t* s, size_t n) {
  while (n > 0 && s[n - 1] == u' ') --n;
  return n;
}

int msci(void*, int an, const void* a, int bn, const void* b) {
  return compare_ci(static_cast<const char16_t*>(a), size_t(an) / 2,
                    static_cast<const char16_t*>(b), size_t(bn) / 2);
}

// Parses decimal text "[-]ddd[.ddd]" into sign / integer digits / fraction digits.
bool split_dec(const char* s, int n, bool& neg, std::string_view& ip, std::string_view& fp) {
  int i = 0;
  while (i < n && s[i] == ' ') ++i;
  neg = false;
  if (i < n && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
  int a = i;
  while (i < n && s[i] >= '0' && s[i] <= '9') ++i;
  ip = std::string_view(s + a, size_t(i - a));
  fp = {};
  if (i < n && s[i] == '.') {
    int b = ++i;
    while (i < n && s[i] >= '0' && s[i] <= '9') ++i;
    fp = std::string_view(s + b, size_t(i - b));
  }
  while (i < n && s[i] == ' ') ++i;
  if (i != n) return false;
  while (!ip.empty() && ip.front() == '0') ip.remove_prefix(1);
  while (!fp.empty() && fp.back() == '0') fp.remove_suffix(1);
  if (ip.empty() && fp.empty()) neg = false;
  return true;
}

int msnum(void*, int an, const void* a, int bn, const void* b) {
  const char* x = static_cast<const char*>(a);
  const char* y = static_cast<const char*>(b);
  if (an == bn && std::memcmp(x, y, size_t(an)) == 0) return 0;
  bool nx, ny;
  std::string_view ix, fx, iy, fy;
  if (!split_dec(x, an, nx, ix, fx) || !split_dec(y, bn, ny, iy, fy)) {
    double dx = std::strtod(std::string(x, size_t(an)).c_str(), nullptr);
    double dy = std::strtod(std::string(y, size_t(bn)).c_str(), nullptr);
    return dx < dy ? -1 : dx > dy ? 1 : 0;
  }
  if (nx != ny) return nx ? -1 : 1;
  int c;
  if (ix.size() != iy.size()) {
    c = ix.size() < iy.size() ? -1 : 1;
  } else {
    c = ix.compare(iy);
    if (c == 0) c = fx.compare(fy);
    c = c < 0 ? -1 : c > 0 ? 1 : 0;
  }
  return nx ? -c : c;
}

void fail(sqlite3_context* ctx, const sql_error& e) {
  std::string m = encode_for_sqlite(e);
  sqlite3_result_error(ctx, m.c_str(), int(m.size()));
}

std::u16string text16(sqlite3_value* v) {
  const void* p = sqlite3_value_text16(v);
  int n = sqlite3_value_bytes16(v);
  return p ? std::u16string(static_cast<const char16_t*>(p), size_t(n) / 2) : std::u16string();
}

void result16(sqlite3_context* ctx, const std::u16string& s) {
  sqlite3_result_text16(ctx, s.data(), int(s.size() * 2), SQLITE_TRANSIENT);
}

// mssim_conv(x, from_code, to_code, flags, style)
void f_conv(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  type_desc from = unpack_type(sqlite3_value_int64(argv[1]));
  type_desc to = unpack_type(sqlite3_value_int64(argv[2]));
  int flags = argc > 3 ? sqlite3_value_int(argv[3]) : 0;
  conv_opts o;
  o.explicit_ = flags & conv_explicit;
  o.ansi_warnings = flags & conv_ansi_warnings;
  o.order = date_order((flags >> 4) & 7);
  o.style = argc > 4 ? sqlite3_value_int(argv[4]) : 0;
  try {
    value v = read_sqlite_value(argv[0], from);
    value r = convert(v, from, to, o);
    result_value(ctx, r, to);
  } catch (const sql_error& e) {
    fail(ctx, e);
  }
}

void f_like(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  std::u16string s = text16(argv[0]), p = text16(argv[1]);
  char16_t esc = 0;
  if (argc > 2 && sqlite3_value_type(argv[2]) != SQLITE_NULL) {
    std::u16string e = text16(argv[2]);
    if (!e.empty()) esc = e[0];
  }
  sqlite3_result_int(ctx, like_match(s.data(), s.size(), p.data(), p.size(), esc));
}

bool is_int_value(sqlite3_value* v) { return sqlite3_value_numeric_type(v) == SQLITE_INTEGER; }

// mssim_div(a, b, integer_division)
void f_div(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  bool intdiv = sqlite3_value_int(argv[2]) != 0;
  if (intdiv && is_int_value(argv[0]) && is_int_value(argv[1])) {
    int64_t a = sqlite3_value_int64(argv[0]), b = sqlite3_value_int64(argv[1]);
    if (b == 0) return fail(ctx, sql_error(8134, {}));
    if (a == INT64_MIN && b == -1) return fail(ctx, sql_error(8115, {u"expression", u"bigint"}));
    sqlite3_result_int64(ctx, a / b);
    return;
  }
  double b = sqlite3_value_double(argv[1]);
  if (b == 0) return fail(ctx, sql_error(8134, {}));
  sqlite3_result_double(ctx, sqlite3_value_double(argv[0]) / b);
}

void f_mod(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  if (is_int_value(argv[0]) && is_int_value(argv[1])) {
    int64_t a = sqlite3_value_int64(argv[0]), b = sqlite3_value_int64(argv[1]);
    if (b == 0) return fail(ctx, sql_error(8134, {}));
    sqlite3_result_int64(ctx, b == -1 ? 0 : a % b);
    return;
  }
  double b = sqlite3_value_double(argv[1]);
  if (b == 0) return fail(ctx, sql_error(8134, {}));
  sqlite3_result_double(ctx, std::fmod(sqlite3_value_double(argv[0]), b));
}

void now_moment(bool utc, int32_t& days, uint64_t& ns100) {
  auto now = std::chrono::system_clock::now();
  int64_t us =
      std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count();
  if (!utc) {
    std::time_t t = std::time_t(us / 1000000);
    std::tm lt{};
    localtime_r(&t, &lt);
    us += int64_t(lt.tm_gmtoff) * 1000000;
  }
  int64_t day = us / 86400000000LL;
  int64_t rest = us % 86400000000LL;
  days = int32_t(day + 25567);
  ns100 = uint64_t(rest) * 10;
}

// mssim_now(type_code, utc)
void f_now(sqlite3_context* ctx, int, sqlite3_value** argv) {
  type_desc t = unpack_type(sqlite3_value_int64(argv[0]));
  bool utc = sqlite3_value_int(argv[1]) != 0;
  int32_t days;
  uint64_t ns;
  now_moment(utc, days, ns);
  fit_moment(t.type, t.scale, days, ns);
  value v = (t.type == col_type::datetime || t.type == col_type::smalldatetime)
                ? value::make_datetime_ticks(days, uint32_t((ns * 3 + 50000) / 100000))
                : value::make_datetime_ns(days, ns);
  result_value(ctx, v, t);
}

enum class dpart {
  year,
  quarter,
  month,
  dayofyear,
  day,
  week,
  weekday,
  hour,
  minute,
  second,
  millisecond,
  microsecond,
  nanosecond,
  bad
};

dpart part_of(const std::u16string& s) {
  std::u16string f = fold(s);
  struct {
    const char* n;
    dpart p;
  } names[] = {{"year", dpart::year},       {"yy", dpart::year},
               {"yyyy", dpart::year},       {"quarter", dpart::quarter},
               {"qq", dpart::quarter},      {"q", dpart::quarter},
               {"month", dpart::month},     {"mm", dpart::month},
               {"m", dpart::month},         {"dayofyear", dpart::dayofyear},
               {"dy", dpart::dayofyear},    {"y", dpart::dayofyear},
               {"day", dpart::day},         {"dd", dpart::day},
               {"d", dpart::day},           {"week", dpart::week},
               {"wk", dpart::week},         {"ww", dpart::week},
               {"weekday", dpart::weekday}, {"dw", dpart::weekday},
               {"w", dpart::weekday},       {"hour", dpart::hour},
               {"hh", dpart::hour},         {"minute", dpart::minute},
               {"mi", dpart::minute},       {"n", dpart::minute},
               {"second", dpart::second},   {"ss", dpart::second},
               {"s", dpart::second},        {"millisecond", dpart::millisecond},
               {"ms", dpart::millisecond},  {"microsecond", dpart::microsecond},
               {"mcs", dpart::microsecond}, {"nanosecond", dpart::nanosecond},
               {"ns", dpart::nanosecond}};
  for (auto& n : names)
    if (f == u16(n.n)) return n.p;
  return dpart::bad;
}

bool moment_arg(sqlite3_value* v, const type_desc& t, int32_t& days, uint64_t& ns) {
  value x = read_sqlite_value(v, t);
  if (x.kind != value::datetime) return false;
  days = x.days;
  ns = (t.type == col_type::datetime || t.type == col_type::smalldatetime)
           ? (uint64_t(x.ticks) * 100000 + 1) / 3
           : x.nanos100;
  return true;
}

// mssim_dateadd(part, n, d, type_code)
void f_dateadd(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[1]) == SQLITE_NULL || sqlite3_value_type(argv[2]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  std::u16string ps = text16(argv[0]);
  dpart p = part_of(ps);
  type_desc t = unpack_type(sqlite3_value_int64(argv[3]));
  int64_t n = int64_t(std::trunc(sqlite3_value_double(argv[1])));
  if (sqlite3_value_numeric_type(argv[1]) == SQLITE_INTEGER) n = sqlite3_value_int64(argv[1]);
  int32_t days;
  uint64_t ns;
  if (!moment_arg(argv[2], t, days, ns)) {
    sqlite3_result_null(ctx);
    return;
  }
  int64_t d = days;
  __int128 total = __int128(d) * __int128(ns100_per_day) + ns;
  auto add_months = [&](int64_t months) {
    int y, m, dd;
    civil_from_days(int32_t(d), y, m, dd);
    int64_t mm = int64_t(y) * 12 + (m - 1) + months;
    int ny = int(mm / 12), nm = int(mm % 12) + 1;
    if (mm < 0 || ny > 9999) return false;
    static const int mdays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int lim = mdays[nm - 1] + (nm == 2 && ((ny % 4 == 0 && ny % 100 != 0) || ny % 400 == 0));
    total = __int128(days_from_civil(ny, nm, std::min(dd, lim))) * __int128(ns100_per_day) + ns;
    return true;
  };
  bool ok = true;
  switch (p) {
    case dpart::year:
      ok = add_months(n * 12);
      break;
    case dpart::quarter:
      ok = add_months(n * 3);
      break;
    case dpart::month:
      ok = add_months(n);
      break;
    case dpart::dayofyear:
    case dpart::day:
    case dpart::weekday:
      total += __int128(n) * ns100_per_day;
      break;
    case dpart::week:
      total += __int128(n) * 7 * ns100_per_day;
      break;
    case dpart::hour:
      total += __int128(n) * 36000000000LL;
      break;
    case dpart::minute:
      total += __int128(n) * 600000000LL;
      break;
    case dpart::second:
      total += __int128(n) * 10000000LL;
      break;
    case dpart::millisecond:
      total += __int128(n) * 10000LL;
      break;
    case dpart::microsecond:
      total += __int128(n) * 10LL;
      break;
    case dpart::nanosecond:
      total += __int128(n) / 100;
      break;
    case dpart::bad:
      return fail(ctx, sql_error(155, {ps, u"dateadd"}));
  }
  __int128 lo = __int128(days_from_civil(1, 1, 1)) * ns100_per_day;
  __int128 hi = __int128(days_from_civil(9999, 12, 31) + 1) * ns100_per_day;
  if (!ok || total < lo || total >= hi) return fail(ctx, sql_error(517, {}));
  __int128 dq = total / __int128(ns100_per_day);
  __int128 rq = total % __int128(ns100_per_day);
  if (rq < 0) {
    rq += ns100_per_day;
    --dq;
  }
  int32_t nd = int32_t(dq);
  uint64_t nns = uint64_t(rq);
  if (t.type == col_type::date) nns = 0;
  if (!fit_moment(t.type, t.scale, nd, nns)) return fail(ctx, sql_error(517, {}));
  value v = (t.type == col_type::datetime || t.type == col_type::smalldatetime)
                ? value::make_datetime_ticks(nd, uint32_t((nns * 3 + 50000) / 100000))
                : value::make_datetime_ns(nd, nns);
  result_value(ctx, v, t);
}

int64_t part_value(dpart p, int32_t days, uint64_t ns) {
  int y, m, d;
  civil_from_days(days, y, m, d);
  switch (p) {
    case dpart::year:
      return y;
    case dpart::quarter:
      return (m - 1) / 3 + 1;
    case dpart::month:
      return m;
    case dpart::dayofyear:
      return days - days_from_civil(y, 1, 1) + 1;
    case dpart::day:
      return d;
    case dpart::week: {
      int32_t jan1 = days_from_civil(y, 1, 1);
      int wd1 = int(((jan1 % 7) + 7 + 1) % 7);  // 0 = Sunday (1900-01-01 was a Monday)
      return (days - jan1 + wd1) / 7 + 1;
    }
    case dpart::weekday:
      return ((days % 7) + 7 + 1) % 7 + 1;  // DATEFIRST 7: Sunday = 1
    case dpart::hour:
      return int64_t(ns / 36000000000ULL);
    case dpart::minute:
      return int64_t(ns / 600000000ULL % 60);
    case dpart::second:
      return int64_t(ns / 10000000ULL % 60);
    case dpart::millisecond:
      return int64_t(ns / 10000ULL % 1000);
    case dpart::microsecond:
      return int64_t(ns / 10ULL % 1000000);
    case dpart::nanosecond:
      return int64_t(ns % 10000000ULL * 100);
    default:
      return 0;
  }
}

// mssim_datepart(part, d, type_code)
void f_datepart(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  std::u16string ps = text16(argv[0]);
  dpart p = part_of(ps);
  if (p == dpart::bad) return fail(ctx, sql_error(155, {ps, u"datepart"}));
  int32_t days;
  uint64_t ns;
  if (!moment_arg(argv[1], unpack_type(sqlite3_value_int64(argv[2])), days, ns)) {
    sqlite3_result_null(ctx);
    return;
  }
  sqlite3_result_int64(ctx, part_value(p, days, ns));
}

void f_datename(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  std::u16string ps = text16(argv[0]);
  dpart p = part_of(ps);
  if (p == dpart::bad) return fail(ctx, sql_error(155, {ps, u"datename"}));
  int32_t days;
  uint64_t ns;
  if (!moment_arg(argv[1], unpack_type(sqlite3_value_int64(argv[2])), days, ns)) {
    sqlite3_result_null(ctx);
    return;
  }
  static const char* months[] = {"January",   "February", "March",    "April",
                                 "May",       "June",     "July",     "August",
                                 "September", "October",  "November", "December"};
  static const char* wdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                "Thursday", "Friday", "Saturday"};
  int64_t v = part_value(p, days, ns);
  if (p == dpart::month) return result16(ctx, u16(months[v - 1]));
  if (p == dpart::weekday) return result16(ctx, u16(wdays[v - 1]));
  result16(ctx, num(v));
}

// mssim_datediff(part, a, b, type_a, type_b)
void f_datediff(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[1]) == SQLITE_NULL || sqlite3_value_type(argv[2]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  std::u16string ps = text16(argv[0]);
  dpart p = part_of(ps);
  if (p == dpart::bad) return fail(ctx, sql_error(155, {ps, u"datediff"}));
  int32_t da, db;
  uint64_t na, nb;
  if (!moment_arg(argv[1], unpack_type(sqlite3_value_int64(argv[3])), da, na) ||
      !moment_arg(argv[2], unpack_type(sqlite3_value_int64(argv[4])), db, nb)) {
    sqlite3_result_null(ctx);
    return;
  }
  int ya, ma, xa, yb, mb, xb;
  civil_from_days(da, ya, ma, xa);
  civil_from_days(db, yb, mb, xb);
  __int128 ta = __int128(da) * ns100_per_day + na, tb = __int128(db) * ns100_per_day + nb;
  auto floor_div = [](__int128 a, __int128 b) {
    __int128 q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
  };
  __int128 r = 0;
  switch (p) {
    case dpart::year:
      r = yb - ya;
      break;
    case dpart::quarter:
      r = (int64_t(yb) * 4 + (mb - 1) / 3) - (int64_t(ya) * 4 + (ma - 1) / 3);
      break;
    case dpart::month:
      r = (int64_t(yb) * 12 + mb) - (int64_t(ya) * 12 + ma);
      break;
    case dpart::dayofyear:
    case dpart::day:
    case dpart::weekday:
      r = int64_t(db) - da;
      break;
    case dpart::week:
      r = floor_div(int64_t(db) + 1, 7) - floor_div(int64_t(da) + 1, 7);
      break;
    case dpart::hour:
      r = floor_div(tb, 36000000000LL) - floor_div(ta, 36000000000LL);
      break;
    case dpart::minute:
      r = floor_div(tb, 600000000LL) - floor_div(ta, 600000000LL);
      break;
    case dpart::second:
      r = floor_div(tb, 10000000LL) - floor_div(ta, 10000000LL);
      break;
    case dpart::millisecond:
      r = floor_div(tb, 10000LL) - floor_div(ta, 10000LL);
      break;
    case dpart::microsecond:
      r = floor_div(tb, 10LL) - floor_div(ta, 10LL);
      break;
    case dpart::nanosecond:
      r = (tb - ta) * 100;
      break;
    default:
      break;
  }
  if (r > INT32_MAX || r < INT32_MIN) return fail(ctx, sql_error(535, {u"datediff"}));
  sqlite3_result_int64(ctx, int64_t(r));
}

void f_upper(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  result16(ctx, upper(text16(argv[0])));
}

void f_lower(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  result16(ctx, lower(text16(argv[0])));
}

size_t find_ci(const std::u16string& s, const std::u16string& f, size_t from) {
  if (f.empty()) return std::u16string::npos;
  for (size_t i = from; i + f.size() <= s.size(); ++i) {
    size_t k = 0;
    while (k < f.size() && fold_char(s[i + k]) == fold_char(f[k])) ++k;
    if (k == f.size()) return i;
  }
  return std::u16string::npos;
}

void f_replace(sqlite3_context* ctx, int, sqlite3_value** argv) {
  for (int i = 0; i < 3; ++i)
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::u16string s = text16(argv[0]), a = text16(argv[1]), b = text16(argv[2]);
  if (a.empty()) return result16(ctx, s);
  std::u16string out;
  size_t i = 0;
  for (;;) {
    size_t k = find_ci(s, a, i);
    if (k == std::u16string::npos) break;
    out.append(s, i, k - i);
    out += b;
    i = k + a.size();
  }
  out.append(s, i, std::u16string::npos);
  result16(ctx, out);
}

void f_charindex(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
    return sqlite3_result_null(ctx);
  std::u16string f = text16(argv[0]), s = text16(argv[1]);
  int64_t start =
      argc > 2 && sqlite3_value_type(argv[2]) != SQLITE_NULL ? sqlite3_value_int64(argv[2]) : 1;
  if (start < 1) start = 1;
  size_t k = find_ci(s, f, size_t(start - 1));
  sqlite3_result_int64(ctx, k == std::u16string::npos ? 0 : int64_t(k) + 1);
}

// mssim_round(x, digits, truncate)
void f_round(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
    return sqlite3_result_null(ctx);
  int64_t n = sqlite3_value_int64(argv[1]);
  bool trunc = argc > 2 && sqlite3_value_int(argv[2]) != 0;
  if (is_int_value(argv[0])) {
    int64_t v = sqlite3_value_int64(argv[0]);
    if (n >= 0) return sqlite3_result_int64(ctx, v);
    int64_t p = 1;
    for (int64_t k = 0; k < -n && k < 18; ++k) p *= 10;
    int64_t q = v / p * p;
    int64_t rem = v - q;
    if (!trunc && (rem * 2 >= p || rem * 2 <= -p)) q += rem > 0 ? p : -p;
    return sqlite3_result_int64(ctx, q);
  }
  // Decimal text keeps its exactness.
  if (sqlite3_value_type(argv[0]) == SQLITE_TEXT) {
    dec d;
    std::u16string t = text16(argv[0]);
    if (dec_parse(t, d, true) && n >= 0) {
      dec r = trunc ? dec_trunc(d, int(n)) : dec_round(d, int(n));
      r = dec_round(r, d.scale > int(n) ? d.scale : int(n));
      std::string s = dec_text(r);
      sqlite3_result_text(ctx, s.data(), int(s.size()), SQLITE_TRANSIENT);
      return;
    }
  }
  double v = sqlite3_value_double(argv[0]);
  double p = std::pow(10.0, double(n));
  double r = trunc ? std::trunc(v * p) / p : std::round(v * p) / p;
  sqlite3_result_double(ctx, r);
}

void f_math1(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  intptr_t which = reinterpret_cast<intptr_t>(sqlite3_user_data(ctx));
  if (which <= 1 && is_int_value(argv[0]))
    return sqlite3_result_int64(ctx, sqlite3_value_int64(argv[0]));
  double v = sqlite3_value_double(argv[0]);
  switch (which) {
    case 0:
      return sqlite3_result_double(ctx, std::floor(v));
    case 1:
      return sqlite3_result_double(ctx, std::ceil(v));
    case 2:
      if (v < 0) return fail(ctx, sql_error(3623, {}));
      return sqlite3_result_double(ctx, std::sqrt(v));
    case 3:
      if (v <= 0) return fail(ctx, sql_error(3623, {}));
      return sqlite3_result_double(ctx, std::log(v));
    case 4:
      return sqlite3_result_double(ctx, std::exp(v));
    case 5:
      if (v <= 0) return fail(ctx, sql_error(3623, {}));
      return sqlite3_result_double(ctx, std::log10(v));
    default:
      return sqlite3_result_null(ctx);
  }
}

void f_power(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
    return sqlite3_result_null(ctx);
  double r = std::pow(sqlite3_value_double(argv[0]), sqlite3_value_double(argv[1]));
  if (is_int_value(argv[0]) && std::fabs(r) < 9.2e18) return sqlite3_result_int64(ctx, int64_t(r));
  sqlite3_result_double(ctx, r);
}

void f_newid(sqlite3_context* ctx, int, sqlite3_value**) {
  static thread_local std::mt19937_64 rng{std::random_device{}()};
  std::string w(16, '\0');
  uint64_t a = rng(), b = rng();
  std::memcpy(&w[0], &a, 8);
  std::memcpy(&w[8], &b, 8);
  w[7] = char((w[7] & 0x0F) | 0x40);
  w[8] = char((w[8] & 0x3F) | 0x80);
  std::string s = to_utf8(guid_wire_to_text(w));
  sqlite3_result_text(ctx, s.data(), int(s.size()), SQLITE_TRANSIENT);
}

void f_isnumeric(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int t = sqlite3_value_type(argv[0]);
  if (t == SQLITE_NULL) return sqlite3_result_int(ctx, 0);
  if (t == SQLITE_INTEGER || t == SQLITE_FLOAT) return sqlite3_result_int(ctx, 1);
  std::u16string s = text16(argv[0]);
  std::u16string c;
  for (char16_t ch : s)
    if (ch != u'$' && ch != u',') c += ch;
  dec d;
  sqlite3_result_int(ctx, !c.empty() && dec_parse(c, d, true));
}

void f_replicate(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
    return sqlite3_result_null(ctx);
  std::u16string s = text16(argv[0]);
  int64_t n = sqlite3_value_int64(argv[1]);
  if (n < 0) return sqlite3_result_null(ctx);
  std::u16string out;
  for (int64_t k = 0; k < n && out.size() < 1000000; ++k) out += s;
  result16(ctx, out);
}

void f_reverse(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::u16string s = text16(argv[0]);
  result16(ctx, std::u16string(s.rbegin(), s.rend()));
}

void f_right(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
    return sqlite3_result_null(ctx);
  int64_t n = sqlite3_value_int64(argv[1]);
  if (n < 0) return fail(ctx, sql_error(536, {u"right"}));
  if (sqlite3_value_type(argv[0]) == SQLITE_BLOB) {
    std::string b(static_cast<const char*>(sqlite3_value_blob(argv[0])),
                  size_t(sqlite3_value_bytes(argv[0])));
    if (size_t(n) < b.size()) b = b.substr(b.size() - size_t(n));
    return sqlite3_result_blob(ctx, b.data(), int(b.size()), SQLITE_TRANSIENT);
  }
  std::u16string s = text16(argv[0]);
  if (size_t(n) < s.size()) s = s.substr(s.size() - size_t(n));
  result16(ctx, s);
}

void f_left(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
    return sqlite3_result_null(ctx);
  int64_t n = sqlite3_value_int64(argv[1]);
  if (n < 0) return fail(ctx, sql_error(536, {u"left"}));
  if (sqlite3_value_type(argv[0]) == SQLITE_BLOB) {
    std::string b(static_cast<const char*>(sqlite3_value_blob(argv[0])),
                  size_t(sqlite3_value_bytes(argv[0])));
    if (size_t(n) < b.size()) b.resize(size_t(n));
    return sqlite3_result_blob(ctx, b.data(), int(b.size()), SQLITE_TRANSIENT);
  }
  std::u16string s = text16(argv[0]);
  if (size_t(n) < s.size()) s.resize(size_t(n));
  result16(ctx, s);
}

// T-SQL SUBSTRING: positions before 1 eat into the length.
void f_substring(sqlite3_context* ctx, int, sqlite3_value** argv) {
  for (int i = 0; i < 3; ++i)
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  int64_t start = sqlite3_value_int64(argv[1]), len = sqlite3_value_int64(argv[2]);
  if (len < 0) return fail(ctx, sql_error(537, {u"substring"}));
  int64_t end = start + len;  // exclusive, 1-based
  if (start < 1) start = 1;
  if (sqlite3_value_type(argv[0]) == SQLITE_BLOB) {
    std::string b(static_cast<const char*>(sqlite3_value_blob(argv[0])),
                  size_t(sqlite3_value_bytes(argv[0])));
    int64_t e = std::min<int64_t>(end, int64_t(b.size()) + 1);
    std::string r = e > start ? b.substr(size_t(start - 1), size_t(e - start)) : std::string();
    return sqlite3_result_blob(ctx, r.data(), int(r.size()), SQLITE_TRANSIENT);
  }
  std::u16string s = text16(argv[0]);
  int64_t e = std::min<int64_t>(end, int64_t(s.size()) + 1);
  result16(ctx, e > start ? s.substr(size_t(start - 1), size_t(e - start)) : std::u16string());
}

void f_stuff(sqlite3_context* ctx, int, sqlite3_value** argv) {
  for (int i = 0; i < 3; ++i)
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::u16string s = text16(argv[0]);
  int64_t start = sqlite3_value_int64(argv[1]), len = sqlite3_value_int64(argv[2]);
  if (start < 1 || start > int64_t(s.size()) || len < 0) return sqlite3_result_null(ctx);
  std::u16string ins = sqlite3_value_type(argv[3]) == SQLITE_NULL ? u"" : text16(argv[3]);
  s.replace(size_t(start - 1), size_t(std::min<int64_t>(len, int64_t(s.size()) - start + 1)), ins);
  result16(ctx, s);
}

void f_fk_on(sqlite3_context* ctx, int, sqlite3_value**) {
  auto* c = static_cast<sqlfunc_context*>(sqlite3_user_data(ctx));
  sqlite3_result_int(ctx, c->fk_checks.load() ? 1 : 0);
}

// mssim_raise(number, arg1, arg2, ...): fails the statement with a SQL Server message.
void f_raise(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  int number = sqlite3_value_int(argv[0]);
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) args.push_back(text16(argv[i]));
  fail(ctx, sql_error(number, args));
}

// PATINDEX('%pat%', s): the first position from which the string matches the pattern.
void f_patindex(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
    return sqlite3_result_null(ctx);
  std::u16string p = text16(argv[0]), s = text16(argv[1]);
  std::u16string tail = p;
  if (!tail.empty() && tail[0] == u'%')
    tail.erase(0, 1);
  else
    return sqlite3_result_int64(ctx, like_match(s.data(), s.size(), p.data(), p.size(), 0) ? 1 : 0);
  for (size_t i = 0; i <= s.size(); ++i)
    if (like_match(s.data() + i, s.size() - i, tail.data(), tail.size(), 0))
      return sqlite3_result_int64(ctx, int64_t(i) + 1);
  sqlite3_result_int64(ctx, 0);
}

// ISDATE(s, date_order): 1 when the text reads as a datetime.
void f_isdate(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_int(ctx, 0);
  std::u16string s = text16(argv[0]);
  int32_t days;
  uint64_t ns;
  int rc =
      parse_datetime_text(s, date_order(sqlite3_value_int(argv[1])), col_type::datetime, days, ns);
  sqlite3_result_int(ctx, rc == 0 && fit_moment(col_type::datetime, 3, days, ns) ? 1 : 0);
}

void f_len(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  if (sqlite3_value_type(argv[0]) == SQLITE_BLOB)
    return sqlite3_result_int64(ctx, sqlite3_value_bytes(argv[0]));
  std::u16string s = text16(argv[0]);
  sqlite3_result_int64(ctx, int64_t(trimmed(s.data(), s.size())));
}

}  // namespace

int compare_ci(const char16_t* a, size_t an, const char16_t* b, size_t bn) {
  an = trimmed(a, an);
  bn = trimmed(b, bn);
  size_t n = an < bn ? an : bn;
  for (size_t i = 0; i < n; ++i) {
    char16_t x = fold_char(a[i]), y = fold_char(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return an == bn ? 0 : an < bn ? -1 : 1;
}

bool like_match(const char16_t* s, size_t sn, const char16_t* p, size_t pn, char16_t escape) {
  // Iterative matcher with backtracking on the last %.
  size_t si = 0, pi = 0, star_p = SIZE_MAX, star_s = 0;
  auto match_one = [&](size_t& pk, char16_t c) -> int {
    // returns 1 matched (pk advanced), 0 no match; handles [..] and escapes
    char16_t pc = p[pk];
    if (escape && pc == escape && pk + 1 < pn) {
      bool ok = fold_char(p[pk + 1]) == fold_char(c);
      pk += 2;
      return ok;
    }
    if (pc == u'_') {
      ++pk;
      return 1;
    }
    if (pc == u'[') {
      size_t k = pk + 1;
      bool neg = false;
      if (k < pn && p[k] == u'^') {
        neg = true;
        ++k;
      }
      bool found = false;
      size_t first = k;
      while (k < pn && (p[k] != u']' || k == first)) {
        char16_t lo = p[k];
        if (k + 2 < pn && p[k + 1] == u'-' && p[k + 2] != u']') {
          char16_t hi = p[k + 2];
          char16_t fc = fold_char(c);
          if ((c >= lo && c <= hi) || (fc >= fold_char(lo) && fc <= fold_char(hi))) found = true;
          k += 3;
        } else {
          if (fold_char(lo) == fold_char(c)) found = true;
          ++k;
        }
      }
      if (k >= pn) {  // no closing bracket: '[' is literal
        bool ok = c == u'[';
        ++pk;
        return ok;
      }
      pk = k + 1;
      return found != neg;
    }
    bool ok = fold_char(pc) == fold_char(c);
    ++pk;
    return ok;
  };
  while (si < sn) {
    if (pi < pn && p[pi] == u'%') {
      star_p = ++pi;
      star_s = si;
      continue;
    }
    if (pi < pn) {
      size_t pk = pi;
      if (match_one(pk, s[si])) {
        pi = pk;
        ++si;
        continue;
      }
    }
    if (star_p != SIZE_MAX) {
      pi = star_p;
      si = ++star_s;
      continue;
    }
    return false;
  }
  while (pi < pn && p[pi] == u'%') ++pi;
  return pi == pn;
}

void register_sql_functions(sqlite3* db, sqlfunc_context* ctx) {
  sqlite3_create_collation(db, "MSCI", SQLITE_UTF16_ALIGNED, nullptr, msci);
  sqlite3_create_collation(db, "MSNUM", SQLITE_UTF8, nullptr, msnum);
  const int det = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  const int det16 = SQLITE_UTF16 | SQLITE_DETERMINISTIC;
  sqlite3_create_function(db, "mssim_conv", 5, det, nullptr, f_conv, nullptr, nullptr);
  sqlite3_create_function(db, "mssim_like", 3, det16, nullptr, f_like, nullptr, nullptr);
  sqlite3_create_function(db, "mssim_div", 3, det, nullptr, f_div, nullptr, nullptr);
  sqlite3_create_function(db, "mssim_mod", 2, det, nullptr, f_mod, nullptr, nullptr);
  sqlite3_create_function(db, "mssim_now", 2, SQLITE_UTF8, nullptr, f_now, nullptr, nullptr);
  sqlite3_create_function(db, "mssim_dateadd", 4, det16, nullptr, f_dateadd, nullptr, nullptr);
  sqlite3_create_function(db, "mssim_datediff", 5, det16, nullptr, f_datediff, nullptr, nullptr);
  sqlite3_create_function(db, "mssim_datepart", 3, det16, nullptr, f_datepart, nullptr, nullptr);
  sqlite3_create_function(db, "mssim_datename", 3, det16, nullptr, f_datename, nullptr, nullptr);
  sqlite3_create_function(db, "mssim_upper", 1, det16, nullptr, f_upper, nullptr, nullptr);
  sqlite3_create_function(db, "mssim_lower", 1, det16, nullptr, f_lower, nullptr, nullptr);
  sqlite3_create_function(db, "mssim_replace", 3, det16, nullptr, f_replace, nullptr, nullptr);
  sqlite3_create_function(db, "mssim_charindex", 3, det16, nullptr, f_charindex, nullptr, nullptr);
  sqlite3_create_function(db, "mssim_round", 3, det16, nullptr, f_round, nullptr, nullptr);
  sqlite3_create_function(db, "mssim_floor", 1, det, reinterpret_cast<void*>(0), f_math1, nullptr,
                          nullptr);
  sqlite3_create_function(db, "mssim_ceiling", 1, det, reinterpret_cast<void*>(1), f_math1, nullptr,
                          nullptr);
  sqlite3_create_function(db, "mssim_sqrt", 1, det, reinterpret_cast<void*>(2), f_math1, nullptr,
                          nullptr);
  sqlite3_create_function(db, "mssim_log", 1, det, reinterpret_cast<void*>(3), f_math1, nullptr,
                          nullptr);
  sqlite3_create_function(db, "mssim_exp", 1, det, reinterpret_cast<void*>(4), f_math1, nullptr,
                          nullptr);
  sqlite3_create_function(db, "mssim_log10", 1, det, reinterpret_cast<void*>(5), f_math1, nullptr,
                          nullptr);
  sqlite3_create_function(db, "mssim_power", 2, det, nullptr, f_power, nullptr, nullptr);
  sqlite3_create_function(db, "mssim_newid", 0, SQLITE_UTF8, nullptr, f_newid, nullptr, nullptr);
  sqlite3_create_function(db, "mssim_isnumeric", 1, det16, nullptr, f_isnumeric, nullptr, nullptr);
  sqlite3_create_function(db, "mssim_replicate", 2, det16, nullptr, f_replicate, nullptr, nullptr);
  sqlite3_create_function(db, "mssim_reverse", 1, det16, nullptr, f_reverse, nullptr, nullptr);
  sqlite3_create_function(db, "mssim_left", 2, det16, nullptr, f_left, nullptr, nullptr);
  sqlite3_create_function(db, "mssim_right", 2, det16, nullptr, f_right, nullptr, nullptr);
  sqlite3_create_function(db, "mssim_substring", 3, det16, nullptr, f_substring, nullptr, nullptr);
  sqlite3_create_function(db, "mssim_stuff", 4, det16, nullptr, f_stuff, nullptr, nullptr);
  sqlite3_create_function(db, "mssim_len", 1, det16, nullptr, f_len, nullptr, nullptr);
  sqlite3_create_function(db, "mssim_patindex", 2, det16, nullptr, f_patindex, nullptr, nullptr);
  sqlite3_create_function(db, "mssim_isdate", 2, det16, nullptr, f_isdate, nullptr, nullptr);
  sqlite3_create_function(db, "mssim_fk_on", 0, SQLITE_UTF8, ctx, f_fk_on, nullptr, nullptr);
  sqlite3_create_function(db, "mssim_raise", -1, SQLITE_UTF16, nullptr, f_raise, nullptr, nullptr);
}

}  // namespace mssim
