// The accessor of a rowset: how the values of one row are laid out in the client's row buffer,
// and the reading of one row into it. Per column the buffer holds a 4-byte status, a 4-byte
// length and the value slot; every value travels as wide text except binary columns, which
// travel as bytes. A slot never exceeds 20,000,000 bytes; a longer value is still read whole,
// into a side buffer of its column, never cut.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "odb_rows.h"
#include "odb_types.h"

class odb_record;

// Status of a bound value.
namespace dbstatus {
inline constexpr uint32_t s_ok = 0;
inline constexpr uint32_t s_isnull = 3;
}  // namespace dbstatus

// One column's place in the row buffer.
struct odb_binding {
  uint32_t ordinal = 0;  // from 1
  size_t ob_value = 0;   // offsets into the row buffer
  size_t ob_length = 0;
  size_t ob_status = 0;
  size_t max_length = 0;  // the slot size
  uint16_t type = 0;      // the bound type: dbtype::bytes or dbtype::wstr
  uint8_t precision = 0;
  uint8_t scale = 0;
};

class odb_accessor {
 public:
  // The largest value slot.
  static constexpr size_t max_slot = 20000000;

  odb_accessor() = default;
  odb_accessor(const odb_accessor&) = delete;
  odb_accessor& operator=(const odb_accessor&) = delete;
  ~odb_accessor();

  // The slot size of a column of this type and size.
  static size_t slot_size(uint16_t type, uint32_t column_size);

  // Lays out the buffer for the columns of `rowset` (`info` is its column information, not
  // owned and kept for decoding).
  void bind(odb_rowset& rowset, size_t column_count, const odb_columns_info* info);
  // Reads the current row of `rowset` into the buffer and decodes it into a new record.
  std::unique_ptr<odb_record> get_record(odb_rowset& rowset);

  size_t column_count() const { return column_count_; }
  size_t row_size() const { return row_size_; }
  const std::vector<odb_binding>& bindings() const { return bindings_; }

 private:
  size_t column_count_ = 0;
  size_t row_size_ = 0;
  bool bound_ = false;
  std::vector<odb_binding> bindings_;
  std::unique_ptr<uint8_t[]> buffer_;
  std::vector<uint32_t> statuses_;
  std::vector<std::vector<uint8_t>> overflow_;
  const odb_columns_info* info_ = nullptr;
};
