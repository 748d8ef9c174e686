// The toolkit's part of the conversion driver: the state every runnable converter has (the
// finished and silent flags, the two database names, the log file name) and the run protocol.
#pragma once

#include <string>

class tk_converter {
 public:
  virtual ~tk_converter() noexcept(false) = default;

  // The base run calls step until is_done answers true, then finish. A converter with a run of
  // its own replaces it.
  virtual void run();
  virtual bool is_done() { return false; }
  // The base step waits 100 ms.
  virtual void step();
  virtual void finish() {}
  // No console output when set.
  virtual void set_silent(bool on) { silent_ = on; }

  // Validates the path, records it and points the (enabled) trace log at it. An empty path is
  // recorded and leaves the log as it was. Raises tk_exception (level 1) for a read-only file or
  // a missing directory.
  void set_logfile(const std::string& path);
  const std::string& logfile() const { return logfile_; }

  // Set when a run has ended, whatever its outcome. Written by the running thread only.
  bool finished() const { return finished_; }
  void set_finished(bool on) { finished_ = on; }
  bool silent() const { return silent_; }

  std::u16string src_db;   // source database name
  std::u16string dest_db;  // destination database name

 protected:
  bool finished_ = false;
  bool silent_ = false;

 private:
  std::string logfile_;
};
