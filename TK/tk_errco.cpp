#include "tk_errco.h"

#include "tk_exception.h"
#include "tk_log.h"

tk_error_converter::tk_error_converter(uint32_t count, const tk_error_item* items) {
  tk_trace(2, "tk_error_converter::ctor (map size=%d)", static_cast<int>(count));
  load_map(count, items);
}

void tk_error_converter::load_map(uint32_t count, const tk_error_item* items) {
  tk_trace(2, "tk_error_converter::load_map (map size=%d)", static_cast<int>(count));
  if (!items) throw tk_mail_assertion("tk_errco", 43);
  for (uint32_t i = 0; i < count; ++i)
    map_.try_emplace(items[i].code, items[i].message ? items[i].message : "");
}

std::string tk_error_converter::convert(uint32_t code) const {
  tk_trace(2, "tk_error_converter::convert(%d)", static_cast<int>(code));
  auto it = map_.find(code);
  if (it == map_.end()) {
    tk_trace(1, "Error message not found!");
    return {};
  }
  tk_trace(1, "Error message has been found: %s", it->second.c_str());
  return it->second;
}
