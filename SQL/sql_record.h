// One row read from MySQL, and the rules by which a column's bytes become a value.
//
// A result's columns are described once (sql_column) from the client library's field
// descriptions; every row is then turned into values by those descriptions:
//   - text columns (CHAR, VARCHAR, TEXT, ENUM, SET, JSON: every string or BLOB type whose
//     character set is not binary, and every BLOB type while the BLOB-to-text switch is on) are
//     UTF-8 decoded, by their length, NULs included, into VT_BSTR;
//   - binary columns (BINARY, VARBINARY, BLOB, GEOMETRY: string and BLOB types of the binary
//     character set, number 63) keep their bytes exactly, as a byte array (field type VT_BLOB);
//   - BIT(1) is a boolean (the one byte is not 0); BIT(n > 1) is the unsigned integer of its
//     whole bit string (VT_UI1, VT_UI2, VT_UI4 or VT_UI8 by n);
//   - numbers, dates, times and years arrive as ASCII text and are parsed into the column's type
//     (ole_variant::from_string): dates that are no calendar date keep their record (zero
//     dates), times past the 60-hour limit become empty;
//   - SQL NULL is VT_EMPTY with size 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ole_variant.h"
#include "udb_record.h"
#include "udb_schema.h"

// How one column's bytes become a value.
enum class sql_extract : uint8_t { scalar, text, binary, bit_bool, bit_integer };

struct sql_column {
  std::u16string name;
  // From the client library: type code, flags, character set number, display length (bytes, for
  // the connection's character set), decimals.
  int type = 0;
  unsigned flags = 0;
  unsigned charsetnr = 0;
  unsigned long length = 0;
  unsigned decimals = 0;
  // The field type of the column (the t_ftd vartype) and its marker.
  VARTYPE vartype = VT_BSTR;
  int32_t reserved = 0;
  sql_extract how = sql_extract::scalar;

  static sql_column describe(std::u16string name, int type, unsigned flags, unsigned charsetnr,
                             unsigned long length, unsigned decimals, bool blob_to_text);

  bool not_null() const { return flags & 1; }
  bool is_unsigned() const { return flags & 32; }
  bool auto_increment() const { return flags & 512; }
  // The descriptor the column gets from its result metadata alone.
  t_ftd to_ftd() const;
};

// The value of one column from the bytes the server sent (null `data` for SQL NULL).
ole_variant sql_get_variant(const sql_column& column, const char* data, unsigned long length);

// A default value as SHOW COLUMNS prints it, in the column's type: text stays text for text and
// date columns, b'...' literals of BIT columns are read as bits, anything else is parsed like a
// value of the column.
ole_variant sql_default_value(const sql_column& column, VARTYPE vartype, const std::string& text);

// One value of a row read from MySQL: the udb_field with the column name and the value's length
// in bytes as the client library reports it (0 for NULL). Adds nothing to udb_field.
class sql_field : public udb_field {
 public:
  sql_field(const std::u16string& name, int32_t size, const ole_variant& value);
};

// One row: a field per result column, in column order.
class sql_record : public udb_record {
 public:
  sql_record() = default;
  // `row` and `lengths` are the client library's row and value lengths (MYSQL_ROW).
  sql_record(const std::vector<sql_column>& columns, const unsigned long* lengths, char** row);

  // Takes the next row of the same result into this record, reusing its fields.
  void load(const std::vector<sql_column>& columns, const unsigned long* lengths, char** row);
};
