// One row as it travels from a source recordset to a destination: its values in column order,
// each with the column name and the length its reader reported.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ole_variant.h"

// One value of a row. The value itself is the ole_variant part.
class udb_field : public ole_variant {
 public:
  // No name, empty value.
  udb_field();
  udb_field(const std::u16string& name, int32_t size, const ole_variant& value = ole_variant());

  // The value's length as its reader reports it (bytes or characters; 0 for NULL).
  int32_t size = 0;
  std::u16string name;
  // Kept for the layout of the row model; every reader of this system leaves them false.
  bool flag1 = false;
  bool flag2 = false;
};

// The values of one row, in column order (the order of the table's schema).
class udb_record : public std::vector<udb_field> {
 public:
  using std::vector<udb_field>::vector;

  // Name lookups compare whole names case ignored.
  // True when a field has that name.
  bool find_field(const std::u16string& name) const;
  // The field of that name (the field form of find_field), or an empty field (no name, empty
  // value) when there is none.
  udb_field get_field(const std::u16string& name) const;
};
