// The MySQL side's exceptions. Every failure the client library or the server reports surfaces as
// `sql_exception`, carrying the library's text and the MySQL error number in the form the error
// maps key it by.
#pragma once

#include <string>

#include "tk_exception.h"

struct st_mysql;

// Level 0: the item being read failed; whether the run goes on is the error handler's choice.
class sql_exception : public tk_exception {
 public:
  // The last error of the connection: mysql_error's text, code 0x400000 | (mysql_errno & 0xFFFF).
  explicit sql_exception(st_mysql* mysql);
  sql_exception(const std::string& message, unsigned error_number);

  // The MySQL (server or client library) error number.
  unsigned error_number() const { return error_number_; }

  static int32_t make_code(unsigned error_number) {
    return static_cast<int32_t>(0x400000u | (error_number & 0xFFFFu));
  }

 private:
  unsigned error_number_;
};

// Level 1: a 4.1.0 server asks for an authentication protocol this program does not speak.
class sql_auth_not_supported_exception : public tk_exception {
 public:
  sql_auth_not_supported_exception();
};
