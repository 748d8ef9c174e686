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

void odb_command::execute(const std::u16string& text, std::unique_ptr<odb_rowset>* rowset) {
  tk_wtrace(2, u"odb_command::execute(%s)", text);
  odb_data_source& ds = session_.data_source();
  odb_link& link = ds.free_link();
  odb_handle stmt = odb_handle::new_statement(link.dbc);
  std::u16string buffer = text;
  SQLRETURN rc = odb_check(SQLExecDirectW(stmt.get(), reinterpret_cast<SQLWCHAR*>(buffer.data()),
                                          static_cast<SQLINTEGER>(buffer.size())),
                           stmt);
  if (rowset) {
    auto rows = std::make_unique<odb_stmt_rowset>(session_.shared_data_source(), link,
                                                  std::move(stmt), text);
    if (rows->has_result()) {
      *rowset = std::move(rows);
    } else {
      rowset->reset();
    }
    return;
  }
  // No rows wanted: step over every result so that late errors surface here and the link is
  // free when the call returns.
  (void)rc;
  while (odb_check(SQLMoreResults(stmt.get()), stmt) != SQL_NO_DATA) {
  }
}
