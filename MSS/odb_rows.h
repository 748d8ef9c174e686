// Rowsets: the rows of one result, read forward one at a time and restartable, with the column
// information of OLE DB. Two kinds: the rows of a statement still arriving from the server
// (odb_stmt_rowset), and rows the layer holds itself (odb_memory_rowset), which the schema
// rowsets use after reshaping the driver's catalog results into the provider's columns.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "odb_conn.h"
#include "odb_types.h"

class odb_rowset {
 public:
  virtual ~odb_rowset() = default;

  const odb_columns_info& columns() const { return columns_; }

  // Steps to the next row; false after the last one.
  virtual bool fetch() = 0;
  // Back to before the first row.
  virtual void restart() = 0;
  // Column `index` (from 0) of the current row: as UTF-16 text, or as bytes with `as_bytes`. The
  // value goes to `slot` (at most `capacity` bytes; text is followed by a NUL when it fits) and
  // its byte length to `length`. A value that does not fit goes whole to `overflow`, and `length`
  // is then its full length. Returns false for NULL.
  virtual bool get_data(size_t index, bool as_bytes, uint8_t* slot, size_t capacity,
                        uint32_t& length, std::vector<uint8_t>& overflow) = 0;

 protected:
  odb_columns_info columns_;
};

// The OLE DB description of an ODBC result column: type code, size, precision and scale as the
// SQL Server provider reports them for the same server type.
struct odb_column_shape {
  uint16_t type;
  uint32_t column_size;
  uint8_t precision;
  uint8_t scale;
  bool is_long;
};
odb_column_shape odb_shape_of(int sql_type, const std::u16string& type_name, uint64_t column_size,
                              int decimal_digits);

// The rows of one executed statement. While rows are pending the rowset holds its link (see
// odb_conn.h); reaching the end consumes the statement's remaining results and frees the link.
class odb_stmt_rowset : public odb_rowset {
 public:
  // Takes `stmt`, just executed on `link`, and moves to its first result that has columns.
  // `restart_text` is executed again by restart(). has_result() is false when the statement
  // gave no rows at all; its results are then consumed and the link is free.
  odb_stmt_rowset(std::shared_ptr<odb_data_source> data_source, odb_link& link, odb_handle stmt,
                  std::u16string restart_text);
  ~odb_stmt_rowset() override;

  bool has_result() const { return has_result_; }
  // Ends the current result without reading its rows (the column information stays).
  void close();
  // Ends the current result and leaves the rows for later: the first fetch executes the
  // restart text. A rowset opened only to learn its columns holds no link meanwhile.
  void defer_rows();

  bool fetch() override;
  void restart() override;
  bool get_data(size_t index, bool as_bytes, uint8_t* slot, size_t capacity, uint32_t& length,
                std::vector<uint8_t>& overflow) override;

 private:
  bool find_result();
  void describe();
  void finish();

  std::shared_ptr<odb_data_source> data_source_;
  odb_link* link_;
  odb_handle stmt_;
  std::u16string restart_text_;
  bool has_result_ = false;
  bool pending_ = false;
  bool on_row_ = false;
  bool deferred_ = false;
};

// One value of a rowset held in memory.
struct odb_cell {
  bool is_null = true;
  std::u16string text;  // the value of a text column
  std::string bytes;    // the value of a binary column
  static odb_cell null() { return {}; }
  static odb_cell of(std::u16string t) { return {false, std::move(t), {}}; }
  static odb_cell of_bytes(std::string b) { return {false, {}, std::move(b)}; }
};
using odb_cells = std::vector<odb_cell>;

class odb_memory_rowset : public odb_rowset {
 public:
  odb_memory_rowset(odb_columns_info columns, std::vector<odb_cells> rows);

  // Every remaining row of `source`, each column read as text (bytes for a binary column).
  static std::vector<odb_cells> read_all(odb_rowset& source);

  bool fetch() override;
  void restart() override { next_ = 0; }
  bool get_data(size_t index, bool as_bytes, uint8_t* slot, size_t capacity, uint32_t& length,
                std::vector<uint8_t>& overflow) override;

  const std::vector<odb_cells>& rows() const { return rows_; }

 private:
  std::vector<odb_cells> rows_;
  size_t next_ = 0;  // the row after the current one
};
