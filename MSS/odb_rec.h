// One row of a destination rowset as the system's values, and the type mappings between the
// provider's column types and the system's field types.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "odb_acc.h"
#include "odb_types.h"
#include "ole_types.h"
#include "udb_record.h"

// One value with its column's name and size; its text form is the value's.
class odb_field : public udb_field {
 public:
  odb_field(const std::u16string& name, int32_t size, const ole_variant& value = ole_variant());
};

class odb_record : public udb_record {
 public:
  // Decodes one row from `buffer` laid out by `bindings`; `overflow` holds the values that did
  // not fit their slots (empty vectors for the others). A column whose status is not OK becomes
  // a NULL (empty) value, never an error.
  odb_record(size_t column_count, const uint8_t* buffer, const odb_columns_info* info,
             const std::vector<odb_binding>* bindings,
             const std::vector<std::vector<uint8_t>>* overflow);

  // Column type to field type, used when reading.
  static VARTYPE get_vartype(uint16_t oledb_type);
  // Field type to column type, used when creating tables. Unsigned 32-bit and 64-bit integers
  // become 64-bit columns from version code 3 on, floats before. The second form takes the
  // version code of the connected server.
  static uint16_t get_oledb_type(VARTYPE vt, int version_code);
  static uint16_t get_oledb_type(VARTYPE vt);

  // The value of column `info` from its wide text.
  static std::unique_ptr<odb_field> get_field(const odb_column_info& info,
                                              const std::u16string& text);

  size_t column_count() const { return column_count_; }

 private:
  size_t column_count_;
  const uint8_t* buffer_;
  const odb_columns_info* info_;
  const std::vector<odb_binding>* bindings_;
};
