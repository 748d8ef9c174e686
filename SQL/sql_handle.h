// Helpers over the client library shared by the MySQL side's sources. Internal: only SQL/
// sources include this header (it brings in mysql.h).
#pragma once

#include <errmsg.h>
#include <mysql.h>

#include <string>
#include <vector>

#include "sql_record.h"
#include "sql_types.h"

// Backquotes a name, doubling every backquote inside it (UTF-8 in, UTF-8 out).
std::string sql_backquote(const std::string& name_utf8);

// The text as a quoted SQL string literal, escaped by the client library for the connection's
// character set.
std::string sql_literal(MYSQL* mysql, const std::string& text_utf8);

// The column descriptions of a result, decided once per result (see sql_column).
std::vector<sql_column> sql_describe_columns(MYSQL_RES* result, bool blob_to_text);
