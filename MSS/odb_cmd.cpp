#include "odb_cmd.h"

#include <sql.h>
#include <sqlext.h>

#include "odb_diag.h"
#include "tk_exception.h"
#include "tk_log.h"

odb_command::odb_command(const odb_session& session) : session_(session) {
  tk_trace(2, "odb_command::ctor(1)");
  prepare();
}

odb_command::odb_command(const std::shared_ptr<odb_data_source>& data_source)
    : session_(data_source) {
  tk_trace(2, "odb_command::ctor(2)");
  prepare();
}

void odb_command::prepare() {
  if (!session_ || !session_.data_source().initialized())
    throw tk_mail_assertion("..\\OLE/ole_ptr", __LINE__);
}

std::unique_ptr<odb_stmt_rowset> odb_command::run(const std::u16string& text,
                                                  const std::u16string& restart_text,
                                                  bool want_rows) {
  odb_link& link = session_.data_source().free_link();
  odb_handle stmt = odb_handle::new_statement(link.dbc);
  std::u16string buffer = text;
  odb_check(SQLExecDirectW(stmt.get(), reinterpret_cast<SQLWCHAR*>(buffer.data()),
                           static_cast<SQLINTEGER>(buffer.size())),
            stmt);
  if (!want_rows) {
    // Step over every result so that late errors surface here and the link is free when the
    // call returns.
    while (odb_check(SQLMoreResults(stmt.get()), stmt) != SQL_NO_DATA) {
    }
    return nullptr;
  }
  auto rows = std::make_unique<odb_stmt_rowset>(session_.shared_data_source(), link,
                                                std::move(stmt), restart_text);
  if (!rows->has_result()) return nullptr;
  return rows;
}

void odb_command::execute(const std::u16string& text, std::unique_ptr<odb_rowset>* rowset) {
  tk_wtrace(2, u"odb_command::execute(%s)", text);
  std::unique_ptr<odb_stmt_rowset> rows = run(text, text, rowset != nullptr);
  if (rowset) *rowset = std::move(rows);
}

std::unique_ptr<odb_rowset> odb_command::open(const std::u16string& describe_text,
                                              const std::u16string& read_text) {
  tk_wtrace(2, u"odb_command::execute(%s)", describe_text);
  std::unique_ptr<odb_stmt_rowset> rows = run(describe_text, read_text, true);
  if (rows) rows->defer_rows();
  return rows;
}
