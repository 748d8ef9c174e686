#include "agent_cmd_line.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "error_handler.h"
#include "mss_engi.h"
#include "tarvex_convertor.h"
#include "tk_cmdli.h"
#include "tk_fname.h"
#include "tk_log.h"
#include "tk_string.h"
#include "tk_wformat.h"
#include "udb_profile.h"

namespace {

enum option_id {
  opt_as_dbo = 0,
  opt_blob2text = 1,
  opt_dest = 2,
  opt_help = 3,
  opt_logfile = 4,
  opt_mode = 5,
  opt_mssqlh = 6,
  opt_mssqlu = 7,
  opt_mssqlp = 8,
  opt_mysqlh = 9,
  opt_mysqlu = 10,
  opt_mysqlp = 11,
  opt_port = 12,
  opt_silent = 13,
  opt_skip_idx = 14,
  opt_src = 15,
  opt_tab_def = 16,
  opt_tab_file = 17,
  opt_profile = 18,
  opt_views = 19,
};

// The order decides which entry wins when several texts begin one argument.
const tk_cmd_option options[] = {
    {opt_as_dbo, "--as_dbo"},
    {opt_blob2text, "--blob2text"},
    {opt_dest, "--dest="},
    {opt_help, "--help"},
    {opt_logfile, "--logfile="},
    {opt_mode, "--mode="},
    {opt_mssqlh, "--mssqlh="},
    {opt_mssqlu, "--mssqlu="},
    {opt_mssqlp, "--mssqlp="},
    {opt_mysqlh, "--mysqlh="},
    {opt_mysqlu, "--mysqlu="},
    {opt_mysqlp, "--mysqlp="},
    {opt_port, "--port="},
    {opt_profile, "--profile="},
    {opt_silent, "--silent"},
    {opt_skip_idx, "--skip_idx"},
    {opt_src, "--src="},
    {opt_tab_def, "--tab_def"},
    {opt_tab_file, "--tab_file="},
    {opt_views, "--views"},
    {0, ""},
};

constexpr int version_major = 5;
constexpr int version_minor = 1;
constexpr const char* version_suffix = "";

constexpr const char* usage_format =
    "QVXAGENT v%d.%d%s, MySQL to MS SQL Server conversion agent. Copyright (c) Quillon.\n"
    "Usage: QVXAGENT.EXE OPTIONS\n"
    "\n"
    "   --as_dbo       connect to MS SQL server as database owner\n"
    "   --blob2text    convert BLOB to text\n"
    "   --dest=...     MS SQL database name\n"
    "   --help         display this help message and exit\n"
    "   --logfile=...  path to the file where execution trace will be written\n"
    "   --mode=...     how to process an existing MS SQL database\n"
    "                  (0 - overwrite the entire database, 1 - overwrite\n"
    "                  existing tables only, 2 - skip existing tables,\n"
    "                  3 - merge, 4 - synchronize)\n"
    "   --mssqlh=...   MS SQL server IP address or network name\n"
    "   --mssqlu=...   MS SQL user name\n"
    "   --mssqlp=...   MS SQL user password\n"
    "   --mysqlh=...   MySQL server IP address or network name\n"
    "   --mysqlu=...   MySQL user name\n"
    "   --mysqlp=...   MySQL user password\n"
    "   --port=...     MySQL port\n"
    "   --profile=...  path to the file to load conversion settings from\n"
    "   --silent       disable program output\n"
    "   --skip_idx     skip converting indexes\n"
    "   --src=...      MySQL database name\n"
    "   --tab_def      convert table definitions only\n"
    "   --tab_file=... file containing the list of tables to convert\n"
    "                  (one table name per line)\n"
    "   --views        convert MySQL views into MS SQL\n"
    "\n"
    "NOTES:\n"
    "   1) You can omit 'mssqlh' or 'mysqlh' to connect local database server.\n"
    "   2) You can omit 'mssqlu' and 'mssqlp' parameters to connect to MS SQL\n"
    "      server using Windows authentication.\n"
    "   3) It is necessary to specify 'port' parameter only if it deffers from\n"
    "      the default MySQL port 3306.\n"
    "   4) If you omit 'tab_file' parameter, all database tables will be converted.\n"
    "   5) If you omit 'mode' parameter, default mode 'overwrite the entire\n"
    "      database' will be used.";

// The mode is taken only in its plain decimal form: "2", not "02", "+2" or " 2".
bool parse_mode(const char* text, int32_t& mode) {
  errno = 0;
  char* end = nullptr;
  long n = std::strtol(text, &end, 10);
  if (errno == ERANGE) return false;
  if (std::to_string(n) != text) return false;
  if (n < mode_overwrite_database || n > mode_synchronize) return false;
  mode = static_cast<int32_t>(n);
  return true;
}

constexpr size_t tab_line_limit = 254;

}  // namespace

std::string usage_text() {
  return tk_format(usage_format, version_major, version_minor, version_suffix);
}

void agent_fatal(const std::string& message) {
  tk_trace(3, "%s", message.c_str());
  tarvex_convertor* drv = tarvex_convertor::instance_or_null();
  if (!drv || !drv->silent()) {
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
  }
  std::fflush(stdout);
  std::exit(agent_exit_fatal);
}

void process_tab_file(const std::string& path) {
  tk_trace(1, "process_tab_file(%s)", path.c_str());
  if (!tk_is_file_exist(path))
    agent_fatal("Table names file does not exist.\nPlease verify the correct path/name was given.");
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f)
    agent_fatal("Table names file does not exist.\nPlease verify the correct path/name was given.");
  std::vector<std::u16string> names;
  enum { undecided, utf8, ansi } encoding = undecided;
  std::string line;
  bool at_end = false;
  while (!at_end) {
    line.clear();
    int c;
    while ((c = std::fgetc(f)) != EOF && c != '\n') line += static_cast<char>(c);
    at_end = c == EOF;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (encoding == undecided) {
      if (line.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        encoding = utf8;
        line.erase(0, 3);
      } else {
        encoding = ansi;
      }
      if (line.empty()) continue;
    }
    if (line.size() > tab_line_limit) {
      tk_trace(1, "process_tab_file: line cut to %d bytes", static_cast<int>(tab_line_limit));
      line.resize(tab_line_limit);
    }
    names.push_back(encoding == utf8 ? tk_utf8_to_wide(line) : tk_ansi_to_wide(line));
  }
  std::fclose(f);
  tarvex_convertor::instance().selected_tables = std::move(names);
}

bool parse_cmd_line(int argc, const char* const* argv) {
  tk_trace(2, "parse_cmd_line (argc=%d)", argc);
  for (int i = 0; i < argc; ++i) tk_trace(1, "parameter #%d: %s", i, argv[i] ? argv[i] : "");
  tarvex_convertor& drv = tarvex_convertor::instance();

  // Connection values are applied only after the scan, and only when no profile was loaded.
  std::u16string mssqlh, mssqlu, mssqlp;
  std::string mysqlh, mysqlu, mysqlp, port = "3306";
  bool profile_loaded = false;

  tk_cmdli cl(argc, argv, options);
  for (; cl.has_more(); cl.next()) {
    const char* value = cl.value();
    switch (cl.id()) {
      case opt_as_dbo:
        tk_trace(2, "\tconnecting as DBO");
        drv.mssql_engine().set_as_dbo(true);
        break;
      case opt_blob2text:
        drv.blob_to_text = true;
        tk_trace(2, "\tset blob2text -> true");
        break;
      case opt_dest:
        drv.dest_db = tk_ansi_to_wide(value);
        tk_wtrace(1, u"parse_cmd_line - got dest %s", drv.dest_db);
        break;
      case opt_help:
        agent_fatal(usage_text());
      case opt_logfile:
        tk_trace(1, "parse_cmd_line - got logfile %s", value);
        drv.set_logfile(value);
        break;
      case opt_mode: {
        int32_t mode = 0;
        if (!parse_mode(value, mode)) agent_fatal("Invalid merge/overwrite mode");
        tk_trace(2, "\tgot mode %d", mode);
        drv.set_mode(mode);
        break;
      }
      case opt_mssqlh:
        mssqlh = tk_ansi_to_wide(value);
        break;
      case opt_mssqlu:
        mssqlu = tk_ansi_to_wide(value);
        break;
      case opt_mssqlp:
        mssqlp = tk_ansi_to_wide(value);
        break;
      case opt_mysqlh:
        mysqlh = value;
        break;
      case opt_mysqlu:
        mysqlu = value;
        break;
      case opt_mysqlp:
        mysqlp = value;
        break;
      case opt_port:
        port = value;
        break;
      case opt_profile: {
        std::u16string path = tk_ansi_to_wide(value);
        tk_wtrace(1, u"parse_cmd_line - got profile %s", path);
        udb_profile profile;
        profile_loaded = profile.load(path) && drv.load_profile(profile);
        break;
      }
      case opt_silent:
        drv.set_silent(true);
        get_error_handler().set_dont_show(true);
        tk_trace(1, "parse_cmd_line - silent mode is ON");
        break;
      case opt_skip_idx:
        drv.skip_indexes = true;
        tk_trace(2, "\tskip converting indexes");
        break;
      case opt_src:
        drv.src_db = tk_ansi_to_wide(value);
        tk_wtrace(1, u"parse_cmd_line - got src %s", drv.src_db);
        break;
      case opt_tab_def:
        drv.only_definitions = true;
        tk_trace(2, "\tconvert table definitions only");
        break;
      case opt_tab_file:
        tk_trace(2, "\tparse_cmd_line - got tab_file %s", value);
        process_tab_file(value);
        break;
      case opt_views:
        // Every view of the source is converted; the program fills the list once MySQL is
        // connected.
        drv.convert_views = true;
        tk_trace(2, "\tcovnerting views is ON");
        break;
      default:  // unrecognised: only counted here
        break;
    }
  }

  if (cl.unrecognised_count() > 0) return false;
  if (drv.src_db.empty()) agent_fatal("You should enter source MySQL database name");
  if (drv.dest_db.empty()) agent_fatal("You should enter destination MS SQL database name");
  if (profile_loaded) return true;

  tk_trace(1, "Step #1: mysqlp=%s", mysqlp.c_str());
  mssql_converter_impl& mssql = drv;
  mssql.windows_authentication = mssqlu.empty() && mssqlp.empty();
  mssql.server = mssqlh;
  mssql.login = mssqlu;
  mssql.password = mssqlp;
  tk_trace(1, "Step #2: mysqlp=%s", mysqlp.c_str());
  drv.store_mysql_settings(mysqlh, mysqlu, mysqlp, port);
  tk_trace(1, "Step #3: mysqlp=%s", mysqlp.c_str());
  return true;
}
