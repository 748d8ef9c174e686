// The collations and functions the engine registers on every SQLite connection, so that
// translated T-SQL keeps SQL Server's semantics: case-insensitive text (MSCI), numeric order of
// decimal text (MSNUM), conversions with SQL Server's errors, LIKE with [] classes, date
// arithmetic, division by zero as an error.
#pragma once

#include <atomic>

struct sqlite3;

namespace mssim {

struct sqlfunc_context {
  std::atomic<bool> fk_checks{true};  // FOREIGN KEY triggers act only while set
};

void register_sql_functions(sqlite3* db, sqlfunc_context* ctx);

// Flags of mssim_conv's fourth argument.
constexpr int conv_explicit = 1;
constexpr int conv_ansi_warnings = 2;
// bits 4..6: date_order

// SQL Server LIKE: % _ [abc] [a-z] [^x], case-insensitive; `escape` 0 for none.
bool like_match(const char16_t* s, size_t sn, const char16_t* p, size_t pn, char16_t escape);
int compare_ci(const char16_t* a, size_t an, const char16_t* b, size_t bn);

}  // namespace mssim
