// A recordset over a destination rowset: the rows of a query, a table or a schema rowset, read
// through a row cache of five rows. Callers iterate reset(), then while !is_eof(): get_item(),
// next(). A recordset without a rowset (a statement that gave no rows) is empty.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "odb_acc.h"
#include "odb_rec.h"
#include "odb_rows.h"
#include "udb_recordset.h"

class odb_recordset : public udb_recordset {
 public:
  static constexpr size_t cache_size = 5;

  // Takes the rowset (may be null) and describes its columns in the schema.
  explicit odb_recordset(std::unique_ptr<odb_rowset> rowset, const std::u16string& name = {},
                         const std::u16string& source = {});
  ~odb_recordset() noexcept(false) override;

  // A plain recordset is read-only: appending is a defect of the caller.
  void append_record(const udb_record& record) override;
  // The record at the cache position; the cache must hold it.
  const udb_record& get_item() override;
  // True unless there is a rowset and the cache holds at least one row.
  bool is_eof() override;
  void next() override;
  void prev() override;
  // Back to the first row: the cache is refilled, restarting the rowset only when something has
  // been read.
  void reset() override;

  size_t column_count() const { return column_count_; }
  const odb_columns_info& columns_info() const { return columns_; }
  size_t rows_read() const { return rows_read_; }

 protected:
  // A recordset whose rowset comes later (tables, schema rowsets): set_rowset then describes it.
  explicit odb_recordset(const std::u16string& name, const std::u16string& source = {});
  void set_rowset(std::unique_ptr<odb_rowset> rowset);
  bool has_rowset() const { return rowset_ != nullptr; }

  void initialize();
  void fill_cache();
  void free_cache();

  std::unique_ptr<odb_rowset> rowset_;
  size_t column_count_ = 0;
  odb_columns_info columns_;
  odb_accessor accessor_;
  std::array<std::unique_ptr<odb_record>, cache_size> cache_;
  size_t cached_ = 0;
  size_t local_pos_ = 0;
  size_t rows_read_ = 0;
  bool fetched_ = false;  // rows were taken from the rowset since it was last (re)started
};

// The text of the first column of the first row of `rows` (empty when there is none).
std::u16string odb_first_value(odb_recordset& rows);
