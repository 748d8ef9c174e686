#include "sql_exception.h"

#include <mysql.h>

#include "tk_log.h"

sql_exception::sql_exception(st_mysql* mysql)
    : sql_exception(mysql ? mysql_error(mysql) : "", mysql ? mysql_errno(mysql) : 0) {}

sql_exception::sql_exception(const std::string& message, unsigned error_number)
    : tk_exception(message, 0), error_number_(error_number) {
  set_code(make_code(error_number));
  tk_trace(1, "sql_exception: %u %s", error_number, this->message().c_str());
}

sql_auth_not_supported_exception::sql_auth_not_supported_exception()
    : tk_exception(
          "The program does not support authentication protocol requested by server. See "
          "'Troubleshooting' article of the product documentation.",
          1) {}
