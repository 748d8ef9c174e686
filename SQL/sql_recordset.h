// The rows of one MySQL table or user query, read once, in the server's order, through one
// unbuffered SELECT that streams to its end: each row is read exactly once, whatever order the
// server chooses, and a table costs one pass however large it is. At most 256 rows (one chunk)
// are held at a time.
//
// The record count is taken with COUNT(*) when the recordset is built; reading stops there, or
// earlier when the server has fewer rows by then. A user query yields all its rows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sql_database.h"
#include "sql_record.h"
#include "udb_recordset.h"

class sql_recordset : public udb_recordset {
 public:
  static constexpr size_t chunk_size = 256;

  // Over a table (the name as listed) or a user query stored under `name`. Counts the rows,
  // sends the SELECT, reads the first chunk and describes the columns from the result.
  // Throws sql_exception.
  sql_recordset(sql_database& db, const std::u16string& name);
  sql_recordset(sql_database& db, const std::u16string& name, const std::u16string& query);
  ~sql_recordset() noexcept(false) override;

  // The source is read-only: tk_mail_assertion "sql_recs".
  void append_record(const udb_record& record) override;
  // The row at the position; an empty record before reset or past the rows.
  const udb_record& get_item() override;
  bool is_eof() override;
  // Moves on one row; when the chunk is used up the next chunk is read from the stream.
  void next() override;
  // One row back within the chunk (no chunk is read again); nothing at the first row.
  void prev() override;
  // Back to the first row. The first chunk is kept while the stream has not gone past it;
  // otherwise the SELECT is sent again.
  void reset() override;

  int32_t get_rec_count();
  // The columns as the result describes them.
  const std::vector<sql_column>& columns() const { return columns_; }

 protected:
  void initialize();
  sql_database& db_;

 private:
  std::string select_statement() const;
  void open_stream();
  void fill_chunk();

  std::unique_ptr<sql_database::sql_limited_query> stream_;
  std::vector<sql_column> columns_;
  std::vector<sql_record> chunk_;
  // Rows in the chunk, the current index in it, and the row number of its first row.
  size_t filled_ = 0;
  size_t index_ = 0;
  int64_t chunk_start_ = 0;
};

// A table: the recordset plus the catalogue's refinements of sizes, types and defaults, the
// indexes and the foreign keys (which go to the database's relationships).
class sql_table : public sql_recordset {
 public:
  sql_table(sql_database& db, const std::u16string& name);

  void initialize();
};

// Every row of one result held in memory: the catalogue and metadata statements.
class sql_tmp_recordset : public udb_recordset {
 public:
  // Reads the whole (unbuffered) result of the statement just sent on `mysql`, then frees it.
  // A read error throws sql_exception.
  sql_tmp_recordset(st_mysql* mysql, sql_result_ptr result, bool blob_to_text);

  void append_record(const udb_record& record) override;  // tk_mail_assertion "sql_recs"
  const udb_record& get_item() override;
  bool is_eof() override;
  void next() override;
  void prev() override;  // nothing
  void reset() override;

  const std::vector<sql_column>& columns() const { return columns_; }
  size_t size() const { return rows_.size(); }
  const sql_record& row(size_t i) const { return rows_.at(i); }

 private:
  std::vector<sql_column> columns_;
  std::vector<sql_record> rows_;
};
