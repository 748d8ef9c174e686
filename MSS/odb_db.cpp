#include "odb_db.h"

#include "mss_engi.h"
#include "odb_cmd.h"
#include "odb_recs.h"
#include "tk_log.h"

odb_database::odb_database(udb_engine* engine, const std::u16string& name,
                           std::shared_ptr<odb_data_source> data_source, const odb_session& session,
                           int32_t mode)
    : udb_database(engine, name, mode), session_(session), data_source_(std::move(data_source)) {
  tk_trace(2, "odb_database::ctor");
}

odb_database::~odb_database() noexcept(false) = default;

std::unique_ptr<udb_recordset> odb_database::query(const std::u16string& text) {
  tk_wtrace(2, u"odb_database::query(%s)", text);
  std::unique_ptr<odb_rowset> rows;
  odb_command(session_).execute(text, &rows);
  return std::make_unique<odb_recordset>(std::move(rows));
}

bool odb_database::execute_sql(const std::u16string& text) {
  try {
    odb_command(session_).execute(text);
    return true;
  } catch (const std::exception& e) {
    tk_trace(1, "%s", e.what());
    return false;
  }
}

bool odb_database::enable_fast_load(bool flag) {
  return mss_engine::instance().enable_fast_load(data_source_, flag);
}
