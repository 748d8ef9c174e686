// Calendar arithmetic and the date/time texts SQL Server reads and writes. Days count from
// 1900-01-01 (negative before it); times are 100 ns units since midnight; datetime keeps 1/300 s
// ticks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine.h"

namespace mssim {

enum class date_order { mdy, dmy, ymd, ydm, myd, dym };

constexpr uint64_t ns100_per_day = 864000000000ULL;
constexpr uint32_t ticks_per_day = 25920000;  // 300 per second

int32_t days_from_civil(int y, int m, int d);
void civil_from_days(int32_t days, int& y, int& m, int& d);
bool valid_civil(int y, int m, int d);

// Reads a date/time string for a column of type `target`. Returns 0 and the moment, or the error
// number SQL Server raises: 241 (not a date) or 242 (a date outside the type's range).
int parse_datetime_text(std::u16string_view s, date_order order, col_type target, int32_t& days,
                        uint64_t& ns100);

// Rounds a moment to what `target` can hold (1/300 s, minutes, the fraction digits of `scale`);
// false when the result falls outside the type's range.
bool fit_moment(col_type target, int scale, int32_t& days, uint64_t& ns100);

// The text kept in SQLite: "YYYY-MM-DD HH:MM:SS.fffffff" (date: "YYYY-MM-DD", time: the time).
std::string storage_text(col_type t, int32_t days, uint64_t ns100);
bool parse_storage_text(std::string_view s, int32_t& days, uint64_t& ns100);

// Texts as CONVERT writes them: style 0 ("Dec 31 2011 10:20AM") and the numbered styles.
// Returns false for a style the engine does not know.
bool format_moment(col_type t, int scale, int32_t days, uint64_t ns100, int style,
                   std::u16string& out);

// ISO form with `digits` fraction digits: "2011-12-31 10:20:30.123".
std::u16string iso_text(col_type t, int scale, int32_t days, uint64_t ns100);

}  // namespace mssim
