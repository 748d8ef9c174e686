// qvxagent: one conversion from a MySQL database into an MS SQL database, unattended, from the
// command line, a table-list file and/or a profile.
//
// Exit codes: 0 the run ended and no error was reported; 1 the run ended but errors were
// reported (failed tables, rows, keys or views); -1 (255) usage or command-line errors, fatal
// errors, and a run that could not start (a failed connection).
#include <cstdio>
#include <exception>

#include "agent_cmd_line.h"
#include "error_handler.h"
#include "mss_msgs.h"
#include "tarvex_convertor.h"
#include "tk_exception.h"
#include "tk_log.h"

namespace {

int agent_main(int argc, char** argv) {
  tk_log log("", false, 3, false);
  error_handler handler(mss_error_item_count, mss_error_items);
  handler.load_err_map(mysql_error_count, mysql_error_items);
  tarvex_convertor drv(true);

  try {
    if (argc < 2 || !parse_cmd_line(argc, argv)) agent_fatal(usage_text());
    drv.connect_mssql_server();
    drv.connect_mysql_server();
    if (drv.convert_views) drv.get_all_views(drv.views);
    drv.check_dest();
  } catch (const tk_exception& e) {
    // Nothing has been converted: whatever stopped the start stops the program.
    handler.handle(e, false);
    return agent_exit_fatal;
  } catch (const std::exception& e) {
    agent_fatal(e.what());
  }

  try {
    drv();
  } catch (const tk_exception& e) {
    handler.handle(e, true);
    return agent_exit_fatal;
  } catch (const std::exception& e) {
    agent_fatal(e.what());
  }
  if (drv.run_failed()) return agent_exit_fatal;
  if (handler.errors_reported() > 0 || drv.problems_reported() > 0) return agent_exit_errors;
  return agent_exit_ok;
}

}  // namespace

int main(int argc, char** argv) {
  int code = agent_main(argc, argv);
  std::fflush(stdout);
  return code;
}
