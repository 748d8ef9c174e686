// The bulk loader of one destination table: the driver's bulk copy (bcp) on the session's first
// link, standing where the provider's fast-load rowset stood. One row buffer is bound once, one
// slot per column in the column's own type; every row is bound into it and sent; every 1000 rows
// the loader commits a batch, and close_table commits the rest.
//
// Design:
//  1. Every column is bound with a 4-byte length prefix before its value (-1 = NULL), so one
//     binding serves NULLs, short values and empty values alike.
//  2. Long columns (no limit, or over 8000 bytes) are not in the row buffer: each row's value sits
//     in an in-memory stream (mss_stream.h) whose prefixed bytes the column is pointed at, so a
//     value of any size goes in whole.
//  3. Decimals travel as exact numeric structures (digits, never a double), rounded to the
//     column's scale half away from zero as the server rounds; currency the same with scale 4.
//  4. The load keeps identity values (the driver's keep-identity switch) and NULLs (the
//     KEEP_NULLS hint: without it the server would put a column's default in place of a NULL the
//     row carries).
//  5. From the first row to a commit the link carries the bulk data and cannot run a statement:
//     it is marked busy for that time, so statements of the session use another link.
//  6. A batch the server refuses is lost as a whole (the rows of a bulk batch commit together);
//     the loader then starts a new bulk operation with the next row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "odb_conn.h"
#include "odb_types.h"
#include "ole_types.h"
#include "udb_schema.h"

class mss_mem_stream;

// Host types of the driver's bulk copy (the published bcp type codes).
namespace mss_bcp_type {
inline constexpr int int1 = 48;
inline constexpr int int2 = 52;
inline constexpr int int4 = 56;
inline constexpr int int8 = 127;
inline constexpr int flt8 = 62;
inline constexpr int bit = 50;
inline constexpr int datetime = 61;
inline constexpr int numeric = 108;
inline constexpr int character = 47;  // text in the driver's client character set (UTF-8)
inline constexpr int binary = 45;
}  // namespace mss_bcp_type

// How one column is bound.
struct mss_bcp_column {
  int host_type = 0;
  bool stream = false;  // long column: bound through an in-memory stream
  bool nullable = true;
  size_t capacity = 0;    // bytes of the value slot (0 for a stream column)
  size_t offset = 0;      // of the slot's length prefix in the row buffer
  uint8_t precision = 0;  // numeric columns
  uint8_t scale = 0;
  uint32_t max_chars = 0;  // text columns: the column size (0 = no limit)
};

// The binding of every column of a table whose schema is `schema` and whose columns are
// `columns`, by the schema field's type:
//   VT_I2, VT_I1 int2; VT_I4, VT_UI2, VT_INT int4; VT_R4, VT_R8 flt8; VT_CY numeric(19,4);
//   VT_DATE datetime; VT_BOOL bit; VT_DECIMAL numeric of the column's precision and scale;
//   VT_UI1 int1; VT_I8, VT_UI4, VT_UINT int8 from version code 3 on, flt8 before (such columns
//   are floats there); binary types binary; anything else text.
// Text and binary columns that are long, or over 8000 bytes, are streams.
std::vector<mss_bcp_column> mss_bcp_plan(const udb_schema& schema, const odb_columns_info& columns,
                                         int version_code);

// The 19-byte numeric structure (precision, scale, sign 1 positive / 0 negative, 16 bytes of
// magnitude little-endian) of `value` at `scale` (rounded half away from zero). False when the
// rounded value has more than `precision` digits.
bool mss_encode_numeric(const DECIMAL& value, uint8_t precision, uint8_t scale, uint8_t out[19]);
// The datetime of a calendar record: days since 1900-01-01 and the time in 1/300 seconds,
// milliseconds rounded to the nearest tick (23:59:59.999 becomes the next day). False for a
// record that is no date of the years 1753..9999 with a valid time.
bool mss_encode_datetime(const SYSTEMTIME& record, int32_t& days, int32_t& ticks);

// One value as the bulk path binds it: NULL, or the bytes of the column's host type (text in
// UTF-8, numbers little-endian, decimals as the numeric structure, dates as days and ticks).
struct mss_bound_value {
  bool is_null = false;
  std::string bytes;
};

// The bound form of `value` (already of the column's type) for column `field`, bound as `bind`;
// `column` (from 1) names it in messages. The rules of the statement path apply (mss_literal.h):
// a NULL for a NOT NULL column becomes its default or the zero of its type, early dates move to
// 1899-12-30, floats are clamped, a decimal that does not fit becomes the column's largest value.
// A date that is no calendar date raises odb_exception (cannot convert, 0x80E07) as the server
// refuses it; a NULL that must not be NULL and has no substitute raises odb_exception (integrity
// violation, 0x80E2F); a decimal the numeric structure cannot hold raises tk_exception with the
// "Cannot cast types." message. Text is cut to the column size.
mss_bound_value mss_fast_value(const ole_variant& value, const t_ftd& field,
                               const mss_bcp_column& bind, size_t column);

class mss_fast_load {
 public:
  mss_fast_load();
  mss_fast_load(const mss_fast_load&) = delete;
  mss_fast_load& operator=(const mss_fast_load&) = delete;
  // Releases the bound streams. An open load is abandoned, not committed: the owner commits it
  // with close_table first.
  ~mss_fast_load();

  // Starts the bulk load of `table_id` (the bracketed name) on the first link of `session`, with
  // the columns of the table (trace "mss_fast_load::open_table", then "b_open_table->true").
  // Opening an open loader or giving no session is a defect (tk_mail_assertion "mss_floa"); a
  // failure of the driver raises odb_exception (traced "open_rowset->OpenRowset failed: %08X").
  void open_table(const odb_session& session, const std::u16string& table_id,
                  const udb_schema& schema, const odb_columns_info& columns, int version_code);
  bool is_open() const { return open_; }

  // Binds the next row's value of `column` (from 1): `length` is the value's length as bound,
  // `count` the bytes copied from `source` into the slot; both 0 with no source bind NULL (trace
  // "mss_fast_load::BindData(%d,%d,%d)"). Requires an open loader; more bytes than the slot
  // holds is a defect (tk_mail_assertion "mss_floa").
  void BindData(const void* source, size_t count, size_t length, size_t column);
  // Binds the value held by `stream` to the long `column`, taking over one reference; the
  // previous row's stream of that column is released first.
  void bind_stream(mss_mem_stream* stream, size_t column);

  // Sends the bound row (trace "mss_fast_load::insert_data"); every 1000th row commits the batch.
  // A refused row or batch raises odb_exception (traced "m_spFastLoad->InsertRow failed: %08X"
  // or "m_spFastLoad->Commit failed: %08X"); the loader stays open.
  void insert_data();
  // The final commit (trace "mss_fast_load::close_table"). A failing commit raises tk_exception
  // with the "Generic error occurred while migrating the data." message; the loader is closed
  // either way. Requires an open loader.
  void close_table();

  const std::vector<mss_bcp_column>& plan() const { return plan_; }
  // Rows committed by batches so far and the number of intermediate commits.
  int64_t committed_rows() const { return committed_rows_; }
  int intermediate_commits() const { return intermediate_commits_; }

 private:
  void start();  // the driver's bulk operation: init, control, bind
  void finish_batch(bool final_commit);
  void set_busy(bool busy);
  void release_streams();
  void* dbc() const;

  odb_session session_;
  odb_link* link_ = nullptr;
  std::u16string table_id_;
  std::vector<mss_bcp_column> plan_;
  std::vector<uint8_t> row_;
  std::vector<mss_mem_stream*> streams_;  // per column, the stream bound for the current row
  std::vector<uint8_t> null_prefix_;      // what stream columns point at when their value is NULL
  bool open_ = false;
  bool started_ = false;  // the driver's bulk operation is initialised
  bool sending_ = false;  // rows went out since the last commit
  int counter_ = 0;       // rows modulo 1000
  int64_t committed_rows_ = 0;
  int intermediate_commits_ = 0;
};
