// A destination table: opened by name (its columns from the rowset, completed from the server's
// column listing: defaults, identity, decimal digits; its keys and indexes from the schema
// rowsets), or over the rows of a query. Rows are written one at a time, through the bulk loader
// when the engine's fast-load flag is on and as INSERT statements otherwise; both paths make each
// value one SQL Server accepts in the same way (see mss_literal.h), so a row arrives the same
// whichever path wrote it. update() rewrites a row by the table's update key.
//
// Destroying the table commits an open bulk load; a failing final commit comes out of the
// destructor as the "Generic error occurred while migrating the data." tk_exception (unless an
// exception is already on its way, when it is traced). A table that turned SET IDENTITY_INSERT on
// turns it off again when destroyed, so that the next table of the session can turn it on.
#pragma once

#include <cstdint>
#include <string>

#include "mss_fast_load.h"
#include "odb_cmd.h"
#include "odb_tab.h"

class mss_database;

class mss_table : public odb_table {
 public:
  // Open flags beyond odb_table's: both together skip reading indexes and foreign keys.
  static constexpr int32_t open_skip_indexes = 0x20 | 0x40;

  // The table `name` (owner-qualified and bracketed, as mss_engine::get_safe_tname gives it).
  mss_table(const std::u16string& name, const odb_session& session, int32_t flags,
            mss_database* database);
  // The rows of `query`, stored under `name`.
  mss_table(const std::u16string& name, const std::u16string& query, const odb_session& session,
            int32_t flags, mss_database* database);
  ~mss_table() noexcept(false) override;

  // Writes one row (a copy converted to the column types): through the bulk loader when the
  // engine's fast-load flag is on, else as an INSERT. A record whose size differs from the
  // schema's raises the "does not conform" tk_exception.
  void append_record(const udb_record& record) override;
  // Rewrites the row whose update-key columns equal the record's values; without an update key,
  // or without a key value in the record, nothing is sent.
  void update(const udb_record& record) override;

  // The two ways of writing a row; `record` is already converted to the column types.
  void fast_append(const udb_record& record);
  void slow_record(const udb_record& record);

  // The literal forms (mss_literal.h), under the names the table's callers use.
  static std::u16string get_fld_append_str(const ole_variant* value, const t_ftd* field);
  static std::u16string to_mssql_str(const std::u16string& text, VARTYPE type);
  static bool dec_is_out_of_range(const ole_variant& value, const t_ftd* field);
  static std::u16string gen_dec_value(const t_ftd* field, bool negative);
  // A default as the server lists it ("((0))", "('x''y')", "(getdate())") as a value of `type`;
  // VT_EMPTY when it is no value of the type.
  static ole_variant get_def_value(VARTYPE type, const std::u16string& text);

  bool has_identity() const { return has_identity_; }
  const mss_fast_load& loader() const { return loader_; }

 private:
  void init_schema();
  void init_indexes(const std::u16string& table, const std::u16string& owner);
  void close_load_and_identity();

  odb_command command_;
  mss_fast_load loader_;
  bool has_identity_ = false;
  bool identity_insert_on_ = false;
};
