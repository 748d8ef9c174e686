#include "odb_tab.h"

#include <cstdlib>

#include "mss_vali.h"
#include "odb_cmd.h"
#include "odb_exce.h"
#include "tk_log.h"
#include "tk_string.h"

odb_table::odb_table(const std::u16string& name, const odb_session& session, int32_t flags,
                     odb_database* database)
    : odb_recordset(name), session_(session), database_(database), flags_(flags) {
  tk_wtrace(2, u"odb_table::odb_table(%s)", name);
  open();
}

odb_table::odb_table(const std::u16string& name, const std::u16string& query,
                     const odb_session& session, int32_t flags, odb_database* database)
    : odb_recordset(name, query), session_(session), database_(database), flags_(flags) {
  tk_wtrace(2, u"odb_table::odb_table(%s)", name);
  open();
}

void odb_table::open() {
  try {
    internal_initialize(flags_);
  } catch (const odb_exception& e) {
    if ((e.code() & 0xFFFF) != 0x0E37 || is_query()) throw;
    tk_trace(1, "Got table_not_exists error");
    std::u16string table, owner;
    if (!mss_split_tab_name(name, table, owner)) throw;
    name = u"[dbo]." + mss_bracket(table);
    tk_wtrace(1, u"Creating %s", name);
    internal_initialize(flags_);
  }
  record_count = get_records_cnt();
  tk_trace(1, "Got %d records", static_cast<int>(record_count));
}

std::u16string odb_table::sql_name() const {
  return !name.empty() && name.front() == u'[' ? name : mss_bracket(name);
}

void odb_table::internal_initialize(int32_t flags) {
  tk_trace(2, "odb_table::internal_initialize");
  odb_command command(session_);
  if (is_query()) {
    std::unique_ptr<odb_rowset> rows;
    command.execute(source, &rows);
    set_rowset(std::move(rows));
    return;
  }
  if (flags & open_read_only) {
    tk_trace(1, "Open rowset in read_only mode");
  } else {
    tk_trace(1, "Open rowset in create/append mode");
  }
  // The columns come from a statement that returns none of the rows; the rows themselves are
  // read when the first of them is wanted, so an opened table holds no connection busy while
  // its count is taken or rows are written into it.
  const std::u16string table = sql_name();
  set_rowset(command.open(u"SELECT TOP 0 * FROM " + table, u"SELECT * FROM " + table));
}

int32_t odb_table::get_records_cnt() {
  tk_trace(2, "odb_table::get_records_cnt");
  std::u16string text = is_query() ? u"SELECT COUNT(*) FROM (" + source + u") as query"
                                   : u"SELECT COUNT(*) FROM " + sql_name();
  std::unique_ptr<odb_rowset> rows;
  odb_command(session_).execute(text, &rows);
  odb_recordset counted(std::move(rows));
  std::string digits = tk_wide_to_narrow(odb_first_value(counted));
  return static_cast<int32_t>(std::strtol(digits.c_str(), nullptr, 10));
}

bool odb_table::is_eof() {
  return static_cast<int64_t>(rows_read_) >= record_count || odb_recordset::is_eof();
}
