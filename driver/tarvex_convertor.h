// The conversion driver: the one object that holds every setting of a conversion and performs
// it. A run opens the source and the destination database, converts every selected table and
// stored query in name order (creating the destination table, applying the mode to a table that
// exists, copying the rows), then creates the foreign keys and, when asked, the views. Every
// failure goes to the error handler with the table (and row) as context; the run goes on past a
// failed row or table unless the handler stops it.
//
// One per process. Settings are filled before a run (pages, command line, profile) and must not
// change while it goes on; the counters of udb_converter may be read from another thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "conversion_servers.h"
#include "mssql_converter_impl.h"
#include "mysql_converter_impl.h"
#include "tk_singl.h"
#include "udb_converter.h"

class mss_tn_validator;
class tk_reg_root;
class udb_database;
class udb_recordset;

class tarvex_convertor : public udb_converter,
                         public mysql_converter_impl,
                         public mssql_converter_impl,
                         public tk_singleton<tarvex_convertor> {
 public:
  // `console`: the console program's run (all tables when none is selected, missing tables and
  // progress reported on the console). The desktop program passes false.
  explicit tarvex_convertor(bool console = true);
  ~tarvex_convertor() noexcept(false) override;

  // The run, from opening both databases to the views. Reports, never raises, except that the
  // error handler may end the process.
  void operator()();
  void run() override { (*this)(); }
  void set_silent(bool on) override;

  // Drops an existing destination database when the mode is 0. Called once before the run.
  void check_dest();
  // The source database's tables, and its views (name to text).
  void get_all_tables(std::vector<std::u16string>& list);
  void get_all_views(text_map& list);

  // Every section of a profile: the generic, MySQL and MS SQL settings and "BLOB to text".
  bool load_profile(const udb_profile& profile);
  bool store_profile(udb_profile& profile) const;

  // The desktop program's remembered settings (the console program never uses them).
  bool load_settings(const tk_reg_root* root = nullptr);
  bool store_settings(const tk_reg_root* root = nullptr);

  // Puts other servers in place of the engines (tests); null goes back to the engines.
  void set_servers(conversion_servers* servers) { servers_ = servers; }

  // Outcome of the last run, for the program's exit code: whether it stopped before converting
  // (a database could not be opened, or an unexpected exception ended it), and how many problems
  // it reported itself (tables missing from the source, an unexpected exception).
  bool run_failed() const { return run_failed_; }
  int problems_reported() const { return problems_; }

  bool blob_to_text = false;

 private:
  conversion_servers& servers();
  void convert_entry(udb_database& src, udb_database& dest, mss_tn_validator& names, bool fast_load,
                     const std::u16string& name, const std::u16string& query);
  void copy_rows(udb_recordset& src, udb_recordset& dest, const std::u16string& name);

  bool console_;
  bool run_failed_ = false;
  int problems_ = 0;
  std::unique_ptr<conversion_servers> engine_servers_;
  conversion_servers* servers_ = nullptr;
};
