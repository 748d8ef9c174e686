#include "tk_exception.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tk_log.h"
#include "tk_string.h"

namespace {
constexpr const char* default_message = "Unknown exception";
}

tk_exception::tk_exception(int level) : message_(default_message), level_(level) {}

tk_exception::tk_exception(const std::string& message, int level)
    : message_(message.empty() ? default_message : message), level_(level) {}

tk_exception::tk_exception(const char* message, int level)
    : tk_exception(std::string(message ? message : ""), level) {}

tk_exception::tk_exception(const std::u16string& message, int level)
    : tk_exception(tk_wide_to_message(message), level) {}

void tk_exception::set_message(const std::string& message) {
  message_ = message.empty() ? default_message : message;
}

tk_exception_ex::tk_exception_ex() : tk_exception(1) {
  int err = errno;  // read before the trace call can touch it
  tk_trace(2, "tk_exception_ex::ctor");
  set_code(err);
  char buf[256];
  const char* text = strerror_r(err, buf, sizeof buf);
  // glibc answers "Unknown error N" for numbers it has no text for: that is no text.
  if (text && *text && std::strncmp(text, "Unknown error", 13) != 0) {
    tk_trace(2, "GetLastError: %s", text);
    set_message(text);
  }
}

tk_mail_assertion::tk_mail_assertion(const char* source, int line) : tk_exception(2) {
  std::string location = tk_format("%s\\%d", source, line);
  std::string message = "Internal error: \ncode=";
  for (unsigned char c : location) message += tk_format("%02x", c);
  set_message(message);
  tk_trace(2, "tk_mail_assertion::ctor(%s)", source);
}

tk_final_exception::tk_final_exception() { tk_trace(2, "tk_final_exception::ctor"); }
