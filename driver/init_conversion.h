// Brackets one run: writes the start line to the trace log when made and the end line when
// destroyed, and marks the converter finished then, however the run ended.
#pragma once

class tk_converter;

class init_conversion {
 public:
  explicit init_conversion(tk_converter& converter);
  ~init_conversion();
  init_conversion(const init_conversion&) = delete;
  init_conversion& operator=(const init_conversion&) = delete;

 private:
  tk_converter& converter_;
};
