// The one place where an exception caught during a conversion becomes a report, and where it is
// decided whether the conversion goes on. Callers catch the system's exceptions around a unit of
// work (a table, a row, a key, a view), name the unit with a context, and hand the exception to
// `handle`.
//
// The message is the context (when set) and ": ", then the friendly text the message tables hold
// for the exception's code, or the exception's own text when they hold none; line feeds become
// blanks so that a report is one line (the trace log keeps the line feeds).
//
// This is the console program's handler: reports go to standard output, a level-1 error or an
// internal error ends the process with exit code -1, and a recoverable error returns so the
// caller goes on. It counts the reports it makes, so the program can tell a clean run from one
// that reported errors.
#pragma once

#include <cstdint>
#include <string>

#include "tk_errco.h"
#include "tk_exception.h"
#include "tk_singl.h"

class error_handler : public tk_singleton<error_handler> {
 public:
  // Registers the process-wide handler (a second one is a defect) with a first message table.
  error_handler(uint32_t count, const tk_error_item* items);

  // Adds a further table; a code already present keeps its earlier text.
  void load_err_map(uint32_t count, const tk_error_item* items);

  // The unit of work the next reports are about; an empty text clears it.
  void set_context(const std::u16string& text);
  // "<table>, record #<number>".
  void set_record_context(const std::u16string& table, int record);
  const std::string& context() const { return context_; }

  // Once set, reports of recoverable and level-1 errors are no longer printed (the process still
  // ends after a level-1 error). The console program sets it for silent mode; it is never cleared.
  void set_dont_show(bool on) { dont_show_ = dont_show_ || on; }
  bool dont_show() const { return dont_show_; }

  // Reports `e`. Level 2 (a defect): prints "Internal error: " and the text, ends with -1.
  // Level 1: prints the report, ends with -1. Any other level: prints the report and returns.
  // `no_throw` asks a handler that would stop the run by raising not to raise; this one never
  // raises, so it changes nothing here.
  void handle(const tk_exception& e, bool no_throw);

  // The one-line message `handle` reports for `e` (context, table text or own text).
  std::string message_for(const tk_exception& e) const;

  // How many recoverable errors have been reported so far, silently or not.
  int errors_reported() const { return errors_reported_; }

  const tk_error_converter& converter() const { return converter_; }

 private:
  std::string context_;
  bool dont_show_ = false;
  tk_error_converter converter_;
  int errors_reported_ = 0;
};

// The handler; using it before it exists is a defect.
inline error_handler& get_error_handler() { return error_handler::service_instance(); }

// The MySQL message table: code 0x400000 OR the MySQL error number, friendly text.
extern const tk_error_item mysql_error_items[];
extern const uint32_t mysql_error_count;
