// The console program's command line, its table-list file and its usage text. Options write
// straight into the conversion driver's settings; nothing here connects to a server.
#pragma once

#include <string>

// Scans the arguments left to right, one action per argument ("--profile=", "--tab_file=" and
// "--logfile=" act when they are met, so their order against other options counts). Answers
// false when an argument was not recognised (the caller shows the usage text), true when the
// settings are complete. Ends the process with -1 for "--help", an invalid mode, a missing
// database name and a missing table-list file. Exceptions of the profile and the log file pass
// out to the caller.
bool parse_cmd_line(int argc, const char* const* argv);

// Replaces the driver's selected tables by the names in the file, one a line, in file order.
// A file whose first non-empty line begins with the UTF-8 byte-order mark is read as UTF-8, any
// other in the ANSI code page. Empty lines are skipped; blanks belong to the names; a line keeps
// at most 254 bytes. Ends the process with -1 when the file does not exist.
void process_tab_file(const std::string& path);

// The usage text, without a final line end.
std::string usage_text();

// Writes the message to the trace log (level 3) and, unless the driver is silent, to the standard
// error stream with a line end; ends the process with exit code -1.
[[noreturn]] void agent_fatal(const std::string& message);

// Exit codes of the program.
inline constexpr int agent_exit_ok = 0;      // the run ended and no error was reported
inline constexpr int agent_exit_errors = 1;  // the run ended, and errors were reported on the way
inline constexpr int agent_exit_fatal = -1;  // usage, command-line, fatal error, no run possible
