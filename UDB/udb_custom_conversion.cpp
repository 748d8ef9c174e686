#include "udb_custom_conversion.h"

#include "tk_log.h"

bool udb_custom_conversion::is_acceptable1(const t_ftd&) {
  tk_trace(1, "udb_custom_conversion::is_acceptable1");
  return false;
}

bool udb_custom_conversion::is_acceptable2(const t_ftd&, const t_ftd&) {
  tk_trace(1, "udb_custom_conversion::is_acceptable2");
  return false;
}

void udb_custom_conversion::handle1(const t_ftd&, t_ftd&) {
  tk_trace(1, "udb_custom_conversion::handle1");
}

void udb_custom_conversion::handle1_1(t_ftd&) { tk_trace(1, "udb_custom_conversion::handle1_1"); }

void udb_custom_conversion::handle2(const t_ftd&, const t_ftd&, ole_variant&) {
  tk_trace(1, "udb_custom_conversion::handle2");
}
