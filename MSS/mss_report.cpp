#include "mss_report.h"

#include <utility>

#include "tk_log.h"

namespace {
mss_reporter& installed() {
  static mss_reporter reporter;
  return reporter;
}
}  // namespace

mss_reporter mss_set_reporter(mss_reporter reporter) {
  return std::exchange(installed(), std::move(reporter));
}

void mss_report(const std::u16string& context, const tk_exception& error) {
  tk_wtrace(2, u"mss_report(%s)", context);
  if (installed()) {
    installed()(context, error);
    return;
  }
  tk_wtrace(3, u"%s: %S", context, error.message());
}
