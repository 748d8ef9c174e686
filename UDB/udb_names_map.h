// The record of which source name became which destination name. Table and column creation add
// a pair for every name that had to be generated; foreign keys and view texts are then rewritten
// through it so that they refer to the generated names.
#pragma once

#include <map>
#include <string>

// Source name to mapped name, ordered by the exact source name. Adding a source name that is
// already present keeps the first pair.
class t_names_map : public std::map<std::u16string, std::u16string> {
 public:
  void add(const std::u16string& source, const std::u16string& mapped);
  // The mapped name of the first pair in map order whose source name equals `name` (exactly when
  // `exact`, case ignored otherwise); `name` itself when there is none.
  std::u16string get_mapped_name(const std::u16string& name, bool exact) const;
};

class udb_names_map {
 public:
  void add_tn_mapping(const std::u16string& source, const std::u16string& mapped);
  // As t_names_map::get_mapped_name over the table pairs.
  std::u16string get_tn_mapped_name(const std::u16string& name, bool exact) const;
  // Stores the field map of a table (exact table name); a table that has one keeps it.
  void add_fn_map(const std::u16string& table, const t_names_map& fields);
  // The mapped field name from the field map of `table` (found by exact name), or `field` itself
  // when the table has no field map or the map has no pair for it.
  std::u16string get_fn_mapped_name(const std::u16string& table, const std::u16string& field,
                                    bool exact) const;

  // Replaces every whole-word occurrence of a source name (case ignored) in `text` by open +
  // mapped name + close: first the table pairs, then the field map of every table in table-name
  // order.
  std::u16string do_global_replace1(const std::u16string& text, const std::u16string& open,
                                    const std::u16string& close) const;
  // The replacement with one map, its pairs in map order. An occurrence is a whole word when the
  // characters on both sides of it are not letters or digits (Unicode's alphanumeric class), so
  // "_" and "$" delimit names. The search goes on after each inserted replacement, so a mapped
  // name that contains its source name is not replaced again.
  static std::u16string do_global_replace2(const std::u16string& text, const t_names_map& map,
                                           const std::u16string& open, const std::u16string& close);

  const t_names_map& tables() const { return tables_; }
  const std::map<std::u16string, t_names_map>& fields() const { return fields_; }

 private:
  t_names_map tables_;
  std::map<std::u16string, t_names_map> fields_;
};
