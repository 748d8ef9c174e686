// The SQL Server messages the engine raises: number, severity, usual state and text, and what the
// error does to the rest of the batch. Everything that refuses a statement throws sql_error.
#pragma once

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine.h"

namespace mssim {

class sql_error : public std::exception {
 public:
  sql_error(int number, std::vector<std::u16string> args, int state = -1);
  const char* what() const noexcept override { return utf8_.c_str(); }

  message msg;
  bool abort_batch = false;     // the rest of the batch does not run
  bool terminated = false;      // followed by INFO 3621 "The statement has been terminated."
  std::vector<message> before;  // messages that precede this one (e.g. 2714 before 1750)

 private:
  std::string utf8_;
};

// Thrown when an attention stops the running statement: the batch ends without a message.
struct cancel_signal {};

// The text of message `number` with %1.. filled from args.
std::u16string message_text(int number, const std::vector<std::u16string>& args);

// Raised from inside SQLite callbacks: an encoded error travels through sqlite3_result_error and
// decode_sqlite_error() rebuilds it from the statement's error text.
std::string encode_for_sqlite(const sql_error& e);
bool decode_sqlite_error(const char* text, sql_error& out);

}  // namespace mssim
