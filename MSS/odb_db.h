// The destination database at the access layer: a data source and a session on it, kept for the
// life of the database, and the operations every destination database has: statements with and
// without rows, and the bulk-load switch. mss_database builds the rest on it.
#pragma once

#include <memory>
#include <string>

#include "odb_conn.h"
#include "udb_db.h"

class odb_database : public udb_database {
 public:
  odb_database(udb_engine* engine, const std::u16string& name,
               std::shared_ptr<odb_data_source> data_source, const odb_session& session,
               int32_t mode);
  ~odb_database() noexcept(false) override;

  // The rows `text` returns (an empty recordset for a statement without rows), owned by the
  // caller. Failures raise odb_exception.
  std::unique_ptr<udb_recordset> query(const std::u16string& text) override;
  // Runs `text`; false when anything failed (the failure is traced, not raised).
  bool execute_sql(const std::u16string& text) override;
  // Bulk load on or off for this database's data source (see mss_engine::enable_fast_load).
  bool enable_fast_load(bool flag);

  const odb_session& session() const { return session_; }
  const std::shared_ptr<odb_data_source>& data_source() const { return data_source_; }

 protected:
  odb_session session_;
  std::shared_ptr<odb_data_source> data_source_;
};
