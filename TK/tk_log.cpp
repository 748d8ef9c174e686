#include "tk_log.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "tk_fname.h"
#include "tk_string.h"

tk_log::tk_log(const std::string& file_name, bool enabled, int threshold, bool time_stamps)
    : file_name_(file_name.empty() ? default_file_name() : file_name),
      threshold_(threshold),
      enabled_(enabled),
      time_stamps_(time_stamps) {}

std::string tk_log::default_file_name() {
  tk_file_name parts;
  parts.initialize(tk_module_path());
  return parts.directory() + parts.fname() + ".log";
}

bool tk_log::accepts(int level) {
  if (!enabled_) return false;
  if (!truncated_) {
    if (FILE* f = std::fopen(file_name_.c_str(), "wb")) std::fclose(f);
    truncated_ = true;
  }
  return level >= threshold_;
}

void tk_log::write(const std::string& bytes) {
  FILE* f = std::fopen(file_name_.c_str(), "ab");
  if (!f) return;
  if (time_stamps_) {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    std::fprintf(f, "%02d:%02d:%02d ", t.tm_hour, t.tm_min, t.tm_sec);
  }
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  if (line_end_) std::fputs("\r\n", f);
  std::fclose(f);
}

void tk_trace(int level, const char* format, ...) {
  tk_log* log = tk_log::instance_or_null();
  if (!log || !log->accepts(level)) return;
  va_list ap;
  va_start(ap, format);
  va_list copy;
  va_copy(copy, ap);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text;
  if (n > 0) {
    text.resize(n);
    std::vsnprintf(text.data(), n + 1, format, ap);
  }
  va_end(ap);
  log->write(text);
}

void tk_wtrace_write(tk_log& log, std::u16string message) {
  if (message.size() > tk_wtrace_limit) message.resize(tk_wtrace_limit);
  log.write(tk_wide_to_utf8(message));
}
