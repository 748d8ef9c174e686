// The abstract row set the conversion driver reads from and writes to: a source table or query
// (read-only) or a destination table (written). See udb_db.h for the calling order.
#pragma once

#include <cstdint>
#include <string>

#include "udb_idx.h"
#include "udb_record.h"
#include "udb_schema.h"

class udb_recordset {
 public:
  // `source` is the query text of a recordset built from a query, empty for a table.
  explicit udb_recordset(const std::u16string& name, const std::u16string& source = {});
  udb_recordset(const udb_recordset&) = delete;
  udb_recordset& operator=(const udb_recordset&) = delete;

  // Slot 0.
  virtual ~udb_recordset() noexcept(false);
  // Slot 1. Writes one row; a destination converts a copy of it to its column types
  // (convert_record). Read-only sources raise tk_mail_assertion.
  virtual void append_record(const udb_record& record) = 0;
  // Slot 2. Overwrites the row with the same key (see update_key). Base: nothing but the trace.
  virtual void update(const udb_record& record);
  // Slot 3. The current row. The reference stays valid until the recordset moves (next, prev,
  // reset) or is destroyed. Base: an empty record.
  virtual const udb_record& get_item();
  // Slot 4. True past the last row. Base: true (no rows).
  virtual bool is_eof();
  // Slot 5. True when the recordset was built from a query (`source` is not empty).
  // Implementations do not override it.
  virtual bool is_query();
  // Slots 6 to 8: move to the next row, the previous row, the first row. Base: nothing.
  virtual void next();
  virtual void prev();
  virtual void reset();

  // Changes the value at each position i of `record` to the type of schema column i (positions
  // are matched by index, not by name). A record with more values than the schema has columns
  // is a defect of the caller (tk_mail_assertion); a conversion that the value layer refuses
  // raises its exception, leaving the remaining values as they were.
  void convert_record(udb_record& record) const;
  // Appends the index unless an index of that name (case ignored) is already there. The first
  // primary or unique index appended becomes the update key.
  void add_index(const udb_index& index);
  // Empties the index list and forgets the update key.
  void clean_indexes();

  // The query text of a recordset built from a query; empty for a table.
  std::u16string source;
  // The table name or, for a query, the name its rows are stored under.
  std::u16string name;
  // The columns; the schema owns its descriptors.
  udb_schema schema{true};
  udb_indexes indexes;
  // The number of rows.
  int32_t record_count = 0;
  // -1 before the first row.
  int32_t position = -1;
  // The position in `indexes` of the key update() matches rows by: the first primary or unique
  // index that add_index appended; -1 when none.
  int32_t update_key = -1;
};
