// A dictionary from error code to a user-facing message, filled from static tables compiled into
// the program. The first message loaded for a code wins; an empty result means "no friendly text".
#pragma once

#include <cstdint>
#include <map>
#include <string>

struct tk_error_item {
  uint32_t code;
  const char* message;
};

class tk_error_converter {
 public:
  tk_error_converter(uint32_t count, const tk_error_item* items);

  void load_map(uint32_t count, const tk_error_item* items);
  std::string convert(uint32_t code) const;

 private:
  std::map<uint32_t, std::string> map_;
};
