// Schema rowsets: the primary key, the foreign keys pointing at a table, the indexes of a table,
// and the tables of an owner, with the columns and column names of the provider's schema
// rowsets (PRIMARY_KEYS, FOREIGN_KEYS, INDEXES, TABLES). They are read from the driver's catalog
// functions and reshaped here: the driver's column names differ, it has no PRIMARY_KEY column
// for indexes, and it reports table statistics as an index row. Restrictions are exact names.
// The rows are read at construction; the recordset then holds no connection.
#pragma once

#include <array>
#include <string>

#include "odb_conn.h"
#include "odb_recs.h"
#include "ole_variant.h"
#include "tk_exception.h"
#include "tk_log.h"

enum class odb_schema { primary_keys, foreign_keys, indexes, tables };

// The rows of one schema rowset under `restrictions` (empty values restrict nothing).
std::unique_ptr<odb_rowset> odb_get_schema_rowset(const odb_session& session, odb_schema schema,
                                                  const std::vector<ole_variant>& restrictions);

template <odb_schema Schema, size_t Count>
class odb_meta_data : public odb_recordset {
 public:
  static constexpr size_t restriction_count = Count;

  const std::array<ole_variant, Count>& restrictions() const { return restrictions_; }

 protected:
  explicit odb_meta_data(const odb_session& session)
      : odb_recordset(std::u16string()), session_(session) {
    tk_trace(2, "odb_meta_data::ctor");
    if (!session_) throw tk_mail_assertion("..\\MSS/odb_mdat", __LINE__);
  }
  // A restriction string.
  void restrict(size_t i, const std::u16string& value) { restrictions_[i] = ole_variant(value); }
  void internal_initialize() {
    tk_trace(1, "Step #1");
    std::vector<ole_variant> r(restrictions_.begin(), restrictions_.end());
    tk_trace(1, "Step #2");
    std::unique_ptr<odb_rowset> rows = odb_get_schema_rowset(session_, Schema, r);
    tk_trace(1, "Step #3");
    set_rowset(std::move(rows));
  }

  odb_session session_;
  std::array<ole_variant, Count> restrictions_;
};

// Columns of the table's primary key, in key order (PK_NAME, COLUMN_NAME, ORDINAL, ...).
class odb_pk_meta_data : public odb_meta_data<odb_schema::primary_keys, 3> {
 public:
  odb_pk_meta_data(const odb_session& session, const std::u16string& table,
                   const std::u16string& owner);
};

// The foreign keys that reference the table (PK_TABLE_NAME is the table), one row per column
// pair (FK_NAME, PK_NAME, FK_TABLE_NAME, PK_TABLE_NAME, FK_COLUMN_NAME, PK_COLUMN_NAME, ...).
class odb_fk_meta_data : public odb_meta_data<odb_schema::foreign_keys, 6> {
 public:
  odb_fk_meta_data(const odb_session& session, const std::u16string& table,
                   const std::u16string& owner);
};

// The table's indexes, one row per index column (INDEX_NAME, COLUMN_NAME, UNIQUE, PRIMARY_KEY,
// ORDINAL_POSITION, ...).
class odb_id_meta_data : public odb_meta_data<odb_schema::indexes, 5> {
 public:
  odb_id_meta_data(const odb_session& session, const std::u16string& table,
                   const std::u16string& owner);
};

// The owner's base tables (TABLE_CATALOG, TABLE_SCHEMA, TABLE_NAME, TABLE_TYPE, ...).
class odb_tl_meta_data : public odb_meta_data<odb_schema::tables, 4> {
 public:
  odb_tl_meta_data(const odb_session& session, const std::u16string& owner);
};
