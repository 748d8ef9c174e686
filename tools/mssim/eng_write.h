// Writing rows with SQL Server's checks: conversion to the column types, identity values,
// defaults, NOT NULL, unique keys (one NULL per key, as SQL Server counts NULLs equal), FOREIGN
// KEY and CHECK constraints, and the cascading actions of foreign keys. INSERT, UPDATE, DELETE
// and bulk loads all write through here, so a refused row gets the same error whichever way it
// came in.
#pragma once

#include <string>
#include <vector>

#include "eng_session.h"

namespace mssim {

// The values and provenance of one row in table column order.
using row_image = std::vector<value>;

class row_writer {
 public:
  // `positions`: the table column each incoming value belongs to, in the order they arrive.
  row_writer(session::impl& s, mssim::database& d, object_info& t, std::vector<int> positions);

  bool check_fks = true;     // FOREIGN KEY constraints of the new row
  bool check_checks = true;  // CHECK constraints
  bool keep_nulls = true;    // false (bulk without KEEP_NULLS): NULL takes the column default
  bool bulk = false;         // errors carry bulk numbers (4815 for too long values)
  bool sink = false;         // convert and check, store nothing

  // Converts, completes and stores one row. Throws sql_error for a refused row.
  void add(const std::vector<value>& vals, const std::vector<type_desc>& types);
  int64_t count() const { return count_; }
  // Writes the identity counter back to the catalogue (when it moved).
  void finish();

 private:
  value default_for(size_t col);
  session::impl& s_;
  mssim::database& d_;
  object_info& t_;
  std::vector<int> positions_;
  std::vector<char> given_;
  bool identity_given_ = false;
  int identity_pos_ = -1;
  std::vector<int> default_state_;  // 0 unknown, 1 constant cached, 2 evaluated per row
  std::vector<value> default_cache_;
  std::string insert_sql_;
  int64_t count_ = 0;
  bool ident_moved_ = false;
  row_image row_;
};

// Table-level operations shared by the DML executors and the cascading actions.
namespace write {

// The current values of rows by rowid (column order of the table).
std::vector<row_image> read_rows(mssim::database& d, const object_info& t,
                                 const std::vector<int64_t>& rowids);

// Checks a stored row against the table's unique indexes after SQLite refused it: throws
// 2627/2601 for the index that holds the duplicate.
[[noreturn]] void duplicate_error(session::impl& s, mssim::database& d, const object_info& t,
                                  const row_image& row, int64_t except_rowid);

// FOREIGN KEY constraints where `t` is the referencing table, for a new or changed row.
void check_parent_exists(session::impl& s, mssim::database& d, const object_info& t,
                         const row_image& row, const row_image* old_row, const char16_t* verb);
// CHECK constraints of a stored row.
void check_constraints(session::impl& s, mssim::database& d, const object_info& t, int64_t rowid,
                       const char16_t* verb);

// Deletes rows, then applies the foreign keys that reference the table (547 for NO ACTION,
// cascades otherwise). Returns the rows deleted from `t`.
int64_t delete_rows(session::impl& s, mssim::database& d, object_info& t,
                    const std::vector<int64_t>& rowids, int depth = 0);

// Writes new values of rows (all columns), with the checks of an UPDATE and the actions of the
// foreign keys that reference changed keys.
void update_rows(session::impl& s, mssim::database& d, object_info& t,
                 const std::vector<int64_t>& rowids, const std::vector<row_image>& old_rows,
                 const std::vector<row_image>& new_rows, int depth = 0);

// The value of a column's default (NULL when it has none).
value column_default(session::impl& s, mssim::database& d, const object_info& t, size_t col);

// Source type of a value that arrived without one (RPC parameters, bulk rows).
type_desc natural_type(const value& v);

}  // namespace write
}  // namespace mssim
