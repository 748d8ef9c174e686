// The catalogue of one database: SQL Server's view of its tables, views, columns, indexes,
// constraints and identity state. SQLite has no such types, so the engine keeps this catalogue in
// tables of its own (mssim_*) inside the database file and a copy in memory.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "eng_ast.h"
#include "engine.h"

struct sqlite3;

namespace mssim {

struct col_info {
  std::u16string name;
  type_desc type;  // nullable and identity live here
  int64_t seed = 1, increment = 1;
  std::u16string default_text;  // as stored: "((0))", "(N'x')", "(getdate())"; empty: none
  std::u16string default_name;  // its constraint name
  std::string sqlcol() const;   // SQLite column: c<ordinal>
  int ordinal = 0;              // 1-based; stable for the table's life
};

struct index_info {
  enum kind_t { plain, primary, unique_constraint } kind = plain;
  std::u16string name;
  bool unique = false;
  bool clustered = false;
  std::vector<int> cols;  // positions in object_info::cols
  std::vector<bool> desc;
  std::string sqlname;  // SQLite index name
};

struct fk_info {
  std::u16string name;
  int64_t table_id = 0, ref_id = 0;  // referencing (child) and referenced (parent) tables
  std::vector<int> cols, ref_cols;   // positions
  ref_action on_delete = ref_action::no_action, on_update = ref_action::no_action;
  bool enabled = true;
  std::u16string ref_index;  // the PRIMARY KEY / UNIQUE constraint or unique index it relies on
};

struct check_info {
  std::u16string name;
  int64_t table_id = 0;
  std::u16string text;  // "([a]>(0))"-like stored text (as written, in parentheses)
  std::string sql;      // translated condition over the table's SQLite columns
  bool enabled = true;
};

struct object_info {
  int64_t id = 0;
  std::u16string schema = u"dbo";
  std::u16string name;
  char kind = 'U';  // 'U' table, 'V' view
  std::vector<col_info> cols;
  std::vector<index_info> indexes;
  std::u16string definition;      // view: the CREATE VIEW text as written
  bool quoted_identifier = true;  // view: the setting its text was written under
  bool check_option = false;      // view: WITH CHECK OPTION
  int64_t ident_current = 0;      // last identity value handed out or inserted
  bool ident_used = false;        // false: the next generated value is the seed
  int64_t created = 0;            // creation order

  std::string sqlname() const;                     // t<id> or v<id>
  int find_col(const std::u16string& name) const;  // -1 when missing
  const col_info* identity_col() const;
  int identity_pos() const;
  const index_info* primary_key() const;
  const index_info* clustered_index() const;
  std::u16string two_part() const { return schema + u"." + name; }
};

struct catalog {
  std::map<std::u16string, std::unique_ptr<object_info>> objects;  // key: fold(schema.name)
  std::vector<fk_info> fks;
  std::vector<check_info> checks;
  int64_t next_id = 1;
  int64_t next_seq = 1;

  object_info* find(const std::u16string& schema, const std::u16string& name);
  object_info* by_id(int64_t id);
  // Constraint names live in the schema's object namespace (2714).
  bool name_in_use(const std::u16string& schema, const std::u16string& name);
  static std::u16string key(const std::u16string& schema, const std::u16string& name);
};

// Creates the mssim_* tables when missing, reads them into `cat`, writes `cat` back.
void catalog_init(sqlite3* db);
void catalog_load(sqlite3* db, catalog& cat, std::u16string& db_name);
void catalog_save(sqlite3* db, const catalog& cat);
void catalog_save_identity(sqlite3* db, const object_info& o);
void catalog_set_name(sqlite3* db, const std::u16string& db_name);

}  // namespace mssim
