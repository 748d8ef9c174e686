// The abstract database the conversion driver sees: the MySQL source and the SQL Server
// destination both implement it, and the driver never talks to either server in another way.
//
// Calling order the driver relies on, per table:
//   1. source get_table(name, 1), or get_table(name, query text, 1) for a stored query; the
//      recordset it returns already holds schema, indexes and record count;
//   2. destination is_table_exist(name); possibly delete_tab(name); create_table(name, schema
//      copy, indexes or an empty list), which also returns the table when it exists and is to be
//      appended to;
//   3. source reset(), then while not is_eof(): destination append_record (or update) of the
//      source's get_item(), source next();
//   4. at the end, destination create_relationships and create_views;
//   5. the driver destroys both recordsets, then both databases, each exactly once.
// Ownership: every recordset a database returns belongs to the caller and must be destroyed
// before the database. A database is used by one thread at a time.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "udb_idx.h"
#include "udb_names_map.h"
#include "udb_recordset.h"
#include "udb_rel.h"
#include "udb_schema.h"

// The engine a database belongs to (the MySQL or the SQL Server engine). The model never calls
// it; it lets a database name its origin, and the implementations reach their engine through it.
class udb_engine {
 public:
  virtual ~udb_engine() noexcept(false) = default;
};

// View name to view text, ordered by the exact view name.
using udb_views = std::map<std::u16string, std::u16string>;

class udb_database {
 public:
  // `mode` is the flags the engine opened or created the database with (each engine defines
  // its bits); `engine` may be null for a database that is not tied to one.
  udb_database(udb_engine* engine, const std::u16string& name, int32_t mode = 0,
               bool case_sensitive = false);
  udb_database(const udb_database&) = delete;
  udb_database& operator=(const udb_database&) = delete;

  // Slot 0.
  virtual ~udb_database() noexcept(false);
  // Slot 1. A new table created from `fields` with `indexes`, opened for appending; an
  // implementation adds the name to `tables`.
  virtual std::unique_ptr<udb_recordset> create_table(const std::u16string& name,
                                                      const udb_schema& fields,
                                                      const udb_indexes& indexes) = 0;
  // Slot 2. Base: removes the name from `tables` (by the case rule of is_table_exist); a name
  // that is not there is a defect of the caller (tk_mail_assertion). Implementations drop the
  // table and then call this.
  virtual void delete_tab(const std::u16string& name);
  // Slot 3. A new recordset over the rows of the table.
  virtual std::unique_ptr<udb_recordset> get_table(const std::u16string& name, int32_t flags) = 0;
  // Slot 4. A new recordset over the rows of `query`, stored under `name`.
  virtual std::unique_ptr<udb_recordset> get_table(const std::u16string& name,
                                                   const std::u16string& query, int32_t flags) = 0;
  // Slot 5. Runs one statement that returns no rows; true on success.
  virtual bool execute_sql(const std::u16string& text) = 0;
  // Slot 6. A new recordset over the rows the statement returns. Base: unsupported
  // (tk_mail_assertion).
  virtual std::unique_ptr<udb_recordset> query(const std::u16string& text);
  // Slot 7. Creates the views. Base: nothing.
  virtual void create_views(const udb_views& views);
  // Slot 8. Creates the foreign keys. Base: nothing.
  virtual void create_relationships(const udb_relationships& relationships);
  // Slot 9. Whether `tables` holds the name: exactly when `case_sensitive`, case ignored
  // otherwise. It answers from the list, not from the server. Implementations do not override it.
  virtual bool is_table_exist(const std::u16string& name);

  // The engine the database belongs to; may be null.
  udb_engine* engine;
  std::u16string name;
  // When false, table names are compared case ignored; when true, exactly.
  bool case_sensitive;
  // Filled by the implementation when the database is opened with views asked for.
  udb_views views;
  // The database's tables, filled by the implementation when it opens the database; it adds a
  // name when it creates a table and removes it in delete_tab.
  std::vector<std::u16string> tables;
  // The generated table and field names of this database: filled by the driver and the table
  // creation, read when foreign keys and views are created.
  udb_names_map names_map;
  udb_relationships relationships;
  // The flags the engine opened or created the database with.
  int32_t mode;

 protected:
  bool same_table_name(const std::u16string& a, const std::u16string& b) const;
};
