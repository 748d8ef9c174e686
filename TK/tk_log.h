// The process-wide trace log. Every operation traces itself ("class::operation") at a level:
// 1 details, 2 entry into an operation, 3 what a reader of the log should see. Only calls at or
// above the threshold reach the file; each line is opened, written and closed, so it is on disk
// when the call returns. The first call after enabling empties the file, once per process.
#pragma once

#include <string>

#include "tk_singl.h"
#include "tk_wformat.h"

class tk_log : public tk_singleton<tk_log> {
 public:
  // An empty file name stands for the program's own path with the extension ".log".
  tk_log(const std::string& file_name, bool enabled, int threshold, bool time_stamps);

  static std::string default_file_name();

  const std::string& file_name() const { return file_name_; }
  void set_file_name(const std::string& name) { file_name_ = name; }
  int threshold() const { return threshold_; }
  bool enabled() const { return enabled_; }
  void enable(bool on) { enabled_ = on; }
  bool line_end() const { return line_end_; }
  void set_line_end(bool on) { line_end_ = on; }
  bool time_stamps() const { return time_stamps_; }

  // True when a call of this level is to be written; empties the file on the first call
  // after enabling, whatever the level.
  bool accepts(int level);
  // Appends one message (already formatted) with the time stamp and line end.
  void write(const std::string& bytes);

 private:
  std::string file_name_;
  int threshold_;
  bool line_end_ = true;
  bool enabled_;
  bool truncated_ = false;
  bool time_stamps_;
};

// Narrow trace: printf-style, text in the ANSI code page, no length limit.
void tk_trace(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Wide messages are cut to this many UTF-16 units before they are written as UTF-8.
inline constexpr size_t tk_wtrace_limit = 10240;

void tk_wtrace_write(tk_log& log, std::u16string message);

// Wide trace: "%s" takes a wide string, "%S" a narrow one (see tk_wformat). Arguments are only
// formatted when the line is going to be written.
template <class... Args>
void tk_wtrace(int level, const char16_t* format, const Args&... args) {
  tk_log* log = tk_log::instance_or_null();
  if (!log || !log->accepts(level)) return;
  tk_wtrace_write(*log, tk_wformat(format, args...));
}
