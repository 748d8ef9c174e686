// Table and index definition. The SQL Server provider created a table from a list of column
// descriptions (name, OLE DB type, size, precision and scale, identity, nullability, default)
// and an index from an index description; here the layer writes the DDL the provider sent for
// them and runs it. This file holds both halves: the descriptions and their DDL text, and the
// creation of a destination table from the system's own table description (odb_create_table),
// which decides the descriptions and skips the indexes the server could not hold.
//
// Server types, by OLE DB type and column size (version code from mss_vers.h):
//   BOOL bit, UI1 tinyint, I2 smallint, I4 int, I8 bigint, R4 real, R8 float, CY money,
//   DBTIMESTAMP datetime, NUMERIC numeric(p,s), GUID uniqueidentifier,
//   WSTR nvarchar(n) up to 4000 characters, STR varchar(n) and BYTES varbinary(n) up to 8000
//   bytes; longer (or long) columns nvarchar(max), varchar(max), varbinary(max) from version code
//   4 on and ntext, text, image before.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "odb_conn.h"
#include "odb_types.h"
#include "ole_variant.h"
#include "udb_idx.h"
#include "udb_schema.h"

// One column of a table to create.
struct odb_column_desc {
  std::u16string name;
  uint16_t type = dbtype::empty;  // OLE DB type
  uint32_t size = 0;              // characters for text, bytes for binary; 8001 marks a long column
  uint8_t precision = 0;          // decimals only
  uint8_t scale = 0;
  bool autoincrement = false;  // an identity column, IDENTITY(1,1)
  bool nullable = true;
  // The default, when the column has one: a text is written as it stands (set_def_value quotes
  // texts and dates), any other value as its literal.
  bool has_default = false;
  ole_variant default_value;
};
using odb_column_descs = std::vector<odb_column_desc>;

// One index of a table to create.
struct odb_index_desc {
  std::u16string name;
  udb_names columns;  // ascending, in key order
  bool primary = false;
  bool unique = false;
  bool clustered = false;
};

// The OLE DB type a field type is created as: odb_record::get_oledb_type, except that VT_UI8 is
// NUMERIC (created as numeric(20,0), exact over the whole unsigned range) from version code 3 on.
uint16_t odb_column_type(VARTYPE vt, int version_code);

// The server type text of a column. A type the server has no column for raises odb_exception
// (bad type 0x80040E3D); a numeric precision outside 1..38 or a scale above it raises bad
// precision (0x80040E3A) or bad scale (0x80040E3B), as the provider refused them.
std::u16string odb_server_type(const odb_column_desc& column, int version_code);
// "CREATE TABLE <table> ([a] int IDENTITY(1,1) NOT NULL, [b] nvarchar(50) NULL DEFAULT 'x', ...)"
// with `table` written as it is given (already bracketed) and every column name bracketed.
std::u16string odb_create_table_text(const std::u16string& table, const odb_column_descs& columns,
                                     int version_code);
// "ALTER TABLE <table> ADD CONSTRAINT [PK_x] PRIMARY KEY CLUSTERED ([a], [b])" for a primary key,
// "CREATE UNIQUE INDEX [ix] ON <table> ([a])" for a unique index, "CREATE INDEX ..." otherwise.
std::u16string odb_create_index_text(const std::u16string& table, const odb_index_desc& index);

// Adds the column default of `field` to `column` when it can be expressed (trace
// "odb_database::set_def_value"): the default's text converted to the field's type and made safe
// for SQL Server (mssql_get_safe_variant); texts and dates become a quoted string with every
// "'" doubled, other types keep the converted value. An empty text, or one that does not convert
// (trace "Invalid default value"), gives no default. Null pointers are a defect
// (tk_mail_assertion "mss_db").
void set_def_value(const t_ftd* field, odb_column_desc* column);

// The column descriptions of `schema`, in order:
//   - identity when the field is auto-increment and of type VT_I1, VT_I2, VT_I4, VT_INT, VT_UI1,
//     VT_UI2 or VT_BOOL, or from version code 3 on VT_UI4, VT_I8, VT_UINT or VT_UI8;
//   - not nullable for a primary-key field, an identity field or a NOT NULL field;
//   - decimals with the precision and scale of `reserved`, except that a precision of 29 or more
//     makes a float column;
//   - a text or binary field of size 0 is a long column: size 8001 and no default;
//   - every other field gets set_def_value, except identity and binary columns.
odb_column_descs odb_make_column_descs(const udb_schema& schema, const udb_indexes& indexes,
                                       int version_code);

// The description of one index of table `table_name` (unbracketed), or false when the index
// must be skipped (traces "Index '%s' has been skipped", "Skip index '%s'"): its key reaches 901
// bytes (text counting two bytes a character), or it includes a boolean column, or a text or
// binary column whose size is 0 or over 8000 bytes. An index column missing from the schema is
// a defect (tk_mail_assertion).
bool odb_make_index_desc(const std::u16string& table_name, const udb_index& index,
                         const udb_schema& schema, odb_index_desc& out);

// Creates table `name` of `schema` with `indexes` in the login's default schema (no owner is
// written), then its indexes in definition order, skipping those odb_make_index_desc refuses.
// Traces "odb_database::create_table(%s)". Server errors raise odb_exception: an existing table
// 0x80E3F, a type, precision or scale the server refuses, a failing index.
void odb_create_table(const odb_session& session, const std::u16string& name,
                      const udb_schema& schema, const udb_indexes& indexes, int version_code);
