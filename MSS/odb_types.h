// The OLE DB vocabulary the destination layer keeps: type codes of columns and bindings, column
// flags and the column information of a rowset. Callers above the layer (the schema readers, the
// table creation) speak in these codes; the layer derives them from what the ODBC driver reports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dbtype {
inline constexpr uint16_t empty = 0;
inline constexpr uint16_t null = 1;
inline constexpr uint16_t i2 = 2;
inline constexpr uint16_t i4 = 3;
inline constexpr uint16_t r4 = 4;
inline constexpr uint16_t r8 = 5;
inline constexpr uint16_t cy = 6;
inline constexpr uint16_t date = 7;
inline constexpr uint16_t bstr = 8;
inline constexpr uint16_t error = 10;
inline constexpr uint16_t boolean = 11;
inline constexpr uint16_t variant = 12;
inline constexpr uint16_t decimal = 14;
inline constexpr uint16_t i1 = 16;
inline constexpr uint16_t ui1 = 17;
inline constexpr uint16_t ui2 = 18;
inline constexpr uint16_t ui4 = 19;
inline constexpr uint16_t i8 = 20;
inline constexpr uint16_t ui8 = 21;
inline constexpr uint16_t guid = 72;
inline constexpr uint16_t bytes = 128;
inline constexpr uint16_t str = 129;
inline constexpr uint16_t wstr = 130;
inline constexpr uint16_t numeric = 131;
inline constexpr uint16_t dbdate = 133;
inline constexpr uint16_t dbtime = 134;
inline constexpr uint16_t dbtimestamp = 135;
}  // namespace dbtype

// Column flags of the column information.
namespace dbcolumnflags {
inline constexpr uint32_t write = 0x04;
inline constexpr uint32_t isfixedlength = 0x10;
inline constexpr uint32_t isnullable = 0x20;
inline constexpr uint32_t maybenull = 0x40;
inline constexpr uint32_t islong = 0x80;
}  // namespace dbcolumnflags

// One column of a rowset, as GetColumnInfo describes it.
struct odb_column_info {
  std::u16string name;
  uint32_t ordinal = 0;  // from 1
  uint32_t flags = 0;
  // Characters for text columns, bytes for binary ones, the value's size for fixed types;
  // 0xFFFFFFFF for a long column without a declared limit.
  uint32_t column_size = 0;
  uint16_t type = dbtype::empty;
  uint8_t precision = 0;
  uint8_t scale = 0;
};
using odb_columns_info = std::vector<odb_column_info>;
