// The foreign keys of a database. The source reader gathers them, the destination creates them
// after all tables are filled, translating table and column names through the names map.
#pragma once

#include <string>
#include <vector>

#include "udb_idx.h"

// One foreign key.
struct udb_relationship {
  // The constraint name.
  std::u16string name;
  // The primary key or unique constraint the key points at. Filled when an existing destination
  // database is read; creating a key does not use it.
  std::u16string ref_key_name;
  // The table that holds the key.
  std::u16string table;
  std::u16string ref_table;
  // The referential actions as text ("ON DELETE CASCADE", ...), empty when there are none.
  std::u16string rules;
  // The key's columns in `table`, and the matching columns of `ref_table` in the same order.
  udb_names fields;
  udb_names ref_fields;
};

// Foreign keys in the order they were found. Names are compared case ignored.
class udb_relationships : public std::vector<udb_relationship> {
 public:
  using std::vector<udb_relationship>::vector;

  // True when no foreign key has this name.
  bool is_acceptable_name(const std::u16string& name) const;
  // The foreign key of that name; a missing name is a defect of the caller (tk_mail_assertion).
  const udb_relationship& get_index(const std::u16string& name) const;
  udb_relationship& get_index(const std::u16string& name);
};
