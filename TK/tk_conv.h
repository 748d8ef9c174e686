// The toolkit's part of the conversion driver: the log file name the run writes to.
#pragma once

#include <string>

class tk_converter {
 public:
  virtual ~tk_converter() noexcept(false) = default;

  // Validates the path, records it and points the (enabled) trace log at it. An empty path is
  // recorded and leaves the log as it was. Raises tk_exception (level 1) for a read-only file or
  // a missing directory.
  void set_logfile(const std::string& path);
  const std::string& logfile() const { return logfile_; }

 private:
  std::string logfile_;
};
