// How SQL Server values sit in SQLite: integers and bit as INTEGER, real/float as REAL,
// numeric/money as decimal TEXT compared numerically (collation MSNUM), character types as TEXT
// compared case-insensitively (MSCI), binary as BLOB, date/time as fixed-width ISO TEXT that
// sorts chronologically, uniqueidentifier as upper-case TEXT.
#pragma once

#include <string>

#include "engine.h"

struct sqlite3_stmt;
struct sqlite3_value;
struct sqlite3_context;

namespace mssim {

std::string sql_column_decl(const type_desc& t);
void bind_value(sqlite3_stmt* s, int idx, const value& v, const type_desc& t);
value read_column(sqlite3_stmt* s, int col, const type_desc& t);
value read_sqlite_value(sqlite3_value* v, const type_desc& t);
void result_value(sqlite3_context* ctx, const value& v, const type_desc& t);
// A SQLite literal of `v` in the storage form of `t` (strings quoted, blobs as X'..').
std::string sql_literal(const value& v, const type_desc& t);
std::string sql_quote(const std::string& utf8);

}  // namespace mssim
