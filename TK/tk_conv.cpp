#include "tk_conv.h"

#include <chrono>
#include <thread>

#include "tk_exception.h"
#include "tk_fname.h"
#include "tk_log.h"

void tk_converter::set_logfile(const std::string& path) {
  tk_trace(1, "tk_convertor::set_logfile(%s)", path.c_str());
  if (!path.empty()) {
    if (tk_is_file_exist(path) && !tk_is_file_exist(path, 1))
      throw tk_exception("Logfile name specifies an existing read-only file.", 1);
    tk_file_name parts;
    parts.initialize(path);
    if (!tk_is_path_exist(parts.directory()))
      throw tk_exception("Logfile path does not exist.\nPlease verify the correct path was given.",
                         1);
  }
  logfile_ = path;
  if (path.empty()) return;
  // A program without a trace log (the wizard) only records the name.
  if (tk_log* log = tk_log::instance_or_null()) {
    log->set_file_name(path);
    log->enable(true);
  }
}

void tk_converter::run() {
  while (!is_done()) step();
  finish();
}

void tk_converter::step() { std::this_thread::sleep_for(std::chrono::milliseconds(100)); }
