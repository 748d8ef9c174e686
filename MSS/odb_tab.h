// A destination table read by name, or the rows of a query stored under a name. The record count
// is the table's (or query's) COUNT(*) when it was opened, and the table is at its end after
// that many rows.
#pragma once

#include <cstdint>
#include <string>

#include "odb_conn.h"
#include "odb_recs.h"

class odb_database;

class odb_table : public odb_recordset {
 public:
  // Open flags.
  static constexpr int32_t open_read_only = 0x01;

  // A table by name. A bracketed name that the server reports missing is tried once more under
  // the owner dbo. Failures raise odb_exception.
  odb_table(const std::u16string& name, const odb_session& session, int32_t flags,
            odb_database* database);
  // The rows of `query`, stored under `name`.
  odb_table(const std::u16string& name, const std::u16string& query, const odb_session& session,
            int32_t flags, odb_database* database);

  // True once as many rows were stepped over as the count gave (or the rows ran out first).
  bool is_eof() override;

  int32_t get_records_cnt();

  // The name as it goes into statement text: as given when it is bracketed (it may be owner
  // qualified), else in brackets.
  std::u16string sql_name() const;

  const odb_session& session() const { return session_; }
  odb_database* database() const { return database_; }
  int32_t open_flags() const { return flags_; }

 protected:
  void internal_initialize(int32_t flags);

  odb_session session_;
  odb_database* database_;
  int32_t flags_;

 private:
  void open();
};
