// The system's exceptions. Every layer raises `tk_exception` or a class derived from it; the
// level tells the error handler whether the run may go on:
//   0 the current item failed, the run goes on; 1 the run cannot go on; 2 a defect of the program.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

class tk_exception : public std::exception {
 public:
  explicit tk_exception(int level);
  tk_exception(const std::string& message, int level);
  tk_exception(const char* message, int level);
  tk_exception(const std::u16string& message, int level);

  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& message() const { return message_; }
  int32_t code() const { return code_; }
  void set_code(int32_t code) { code_ = code; }
  int level() const { return level_; }

 protected:
  void set_message(const std::string& message);

 private:
  std::string message_;
  int32_t code_ = 0;
  int level_ = 0;
};

// Level 1; code and message from the calling thread's last system error (errno).
class tk_exception_ex : public tk_exception {
 public:
  tk_exception_ex();
};

// Level 2: a broken internal rule. The message ends in a location code made of the hex digits of
// "<source>\<line>", so a report identifies the check without exposing paths.
class tk_mail_assertion : public tk_exception {
 public:
  tk_mail_assertion(const char* source, int line);
};

// Abandons a conversion without any further message. Deliberately not a tk_exception, so that
// per-row and per-table guards let it pass to the outermost guard of the run.
class tk_final_exception : public std::exception {
 public:
  tk_final_exception();
  const char* what() const noexcept override { return "tk_final_exception"; }
};
