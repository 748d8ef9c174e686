// Helpers shared by the model's unit tests.
#pragma once

#include <string>

#include "tk_exception.h"

// The source name an assertion was raised with: its message ends in the hex digits of
// "<source>\<line>".
inline std::string assertion_source(const tk_mail_assertion& e) {
  std::string message = e.what();
  size_t at = message.find("code=");
  if (at == std::string::npos) return {};
  std::string location;
  for (size_t i = at + 5; i + 1 < message.size(); i += 2)
    location += static_cast<char>(std::stoi(message.substr(i, 2), nullptr, 16));
  return location.substr(0, location.rfind('\\'));
}

// Runs `f`, which must raise tk_mail_assertion, and answers the source it names ("" when
// nothing or something else was raised).
template <class F>
std::string assertion_source_of(F f) {
  try {
    f();
  } catch (const tk_mail_assertion& e) {
    return assertion_source(e);
  }
  return {};
}
