// Reads the foreign keys of one table out of its CREATE TABLE text as the server prints it: one
// key per line, "CONSTRAINT `name` FOREIGN KEY (`a`, ...) REFERENCES `t` (`x`, ...)" followed by
// the ON DELETE / ON UPDATE clauses, if any.
#pragma once

#include <string>
#include <vector>

#include "udb_rel.h"

class sql_fk_parser {
 public:
  sql_fk_parser(const std::u16string& table, const std::u16string& create_text);

  // Appends one foreign key per foreign-key line, in line order: constraint name, this table,
  // the referenced table, both column lists (names without their quotes) and the rules text as
  // written (empty when the line has none). Lines of any other kind add nothing.
  void do_parse(udb_relationships& out) const;

  // One line; false when it declares no foreign key.
  static bool parse_line(const std::u16string& line, udb_relationship& key);

 private:
  std::u16string table_;
  std::vector<std::u16string> lines_;
};
