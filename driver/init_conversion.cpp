#include "init_conversion.h"

#include <ctime>

#include "tk_conv.h"
#include "tk_log.h"

namespace {
void trace_time(const char* what) {
  std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  tk_trace(3, "Conversion %s on %02d/%02d/%04d at %02d:%02d:%02d\n", what, t.tm_mday, t.tm_mon + 1,
           t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
}
}  // namespace

// There is no COM to initialise for the thread here; the lines and the flag are what callers see.
init_conversion::init_conversion(tk_converter& converter) : converter_(converter) {
  converter_.set_finished(false);
  trace_time("started");
}

init_conversion::~init_conversion() {
  trace_time("ended");
  converter_.set_finished(true);
}
