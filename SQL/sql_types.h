// Owners of the client library's handles, declared without the library's header: only SQL/
// sources see mysql.h. Destructors never throw.
#pragma once

#include <memory>

struct st_mysql;
struct st_mysql_res;

struct sql_mysql_closer {
  void operator()(st_mysql* mysql) const noexcept;  // mysql_close
};
// A connection handle, initialised, connected or not.
using sql_mysql_ptr = std::unique_ptr<st_mysql, sql_mysql_closer>;

struct sql_result_freer {
  void operator()(st_mysql_res* result) const noexcept;  // mysql_free_result
};
// A result set. Freeing an unbuffered result reads and discards the rows still on the wire.
using sql_result_ptr = std::unique_ptr<st_mysql_res, sql_result_freer>;
