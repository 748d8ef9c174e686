// The indexes of one table as both sides describe them: the source reader fills the list in the
// order it finds the indexes, the destination creates them from it. At most one index of a table
// is the primary key; a writer chooses the statement by primary before unique before plain.
#pragma once

#include <string>
#include <vector>

using udb_names = std::vector<std::u16string>;

struct udb_index {
  std::u16string name;
  bool unique = false;
  bool primary = false;
  // Column names in key order.
  udb_names fields;

  // True when this index has at least as many fields as `fields` and its first fields equal them
  // one by one, case ignored. An index serves a foreign key or a lookup on such a prefix.
  bool starts_with_fields(const udb_names& fields) const;
};

// The indexes of one table, in the reader's order. Index names are compared case ignored.
class udb_indexes : public std::vector<udb_index> {
 public:
  using std::vector<udb_index>::vector;

  // True when no index has this name; writers use it to keep index names distinct.
  bool is_acceptable_name(const std::u16string& name) const;
  // The index of that name; a missing name is a defect of the caller (tk_mail_assertion).
  const udb_index& get_index(const std::u16string& name) const;
  udb_index& get_index(const std::u16string& name);
  // True when a field of some index (of the primary key only, when `primary_only`) has exactly
  // this name. Unlike the other lookups this one is case-sensitive.
  bool is_idx_field(const std::u16string& name, bool primary_only) const;
  // True when some index starts with these fields (udb_index::starts_with_fields).
  bool has_index_on_fields(const udb_names& fields) const;
};
