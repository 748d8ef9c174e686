// The database-neutral settings of a conversion and the state of a run: the mode, the switches,
// the selected tables and the queries, and the progress counters a user interface may poll.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "tk_conv.h"

class udb_profile;

// What the mode does to an existing destination database and to an existing table there.
enum udb_conversion_mode : int32_t {
  mode_overwrite_database = 0,  // the database is dropped before the run and created anew
  mode_overwrite_tables = 1,    // an existing table is dropped and created anew
  mode_skip_tables = 2,         // an existing table is left alone
  mode_merge = 3,               // rows are appended; duplicates are ignored
  mode_synchronize = 4,         // rows are appended; a duplicate overwrites the row of its key
};

class udb_converter : public tk_converter {
 public:
  // Names are ordered code unit by code unit (case-sensitive): "B" comes before "a".
  using text_map = std::map<std::u16string, std::u16string>;

  // No range check: callers pass what they have checked.
  void set_mode(int32_t mode);

  // Takes the tables, queries and generic settings a profile holds; only non-empty values replace
  // settings. May raise the errors of set_logfile. Answers true.
  bool load_profile(const udb_profile& profile);
  bool store_profile(udb_profile& profile) const;

  // The entry being converted. Written by the running thread, read by any.
  std::u16string current_table() const;
  void set_current_table(const std::u16string& name);

  int32_t mode = mode_overwrite_database;
  std::atomic<int32_t> records_total{0};
  std::atomic<int32_t> records_done{0};
  std::atomic<int32_t> tables_total{0};
  std::atomic<int32_t> tables_done{0};
  std::vector<std::u16string> selected_tables;
  // A user SELECT stored as a table of its name.
  text_map queries;
  // The views to create at the end of the run.
  text_map views;
  // Every query the user has defined, selected or not.
  text_map available_queries;
  bool only_definitions = false;
  bool skip_indexes = false;
  bool convert_views = false;

 private:
  mutable std::mutex current_table_lock_;
  std::u16string current_table_;
};
