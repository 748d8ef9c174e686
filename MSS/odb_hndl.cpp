#include "odb_hndl.h"

#include <sql.h>
#include <sqlext.h>

#include "odb_diag.h"
#include "odb_exce.h"

odb_handle odb_handle::new_environment() {
  SQLHANDLE h = SQL_NULL_HANDLE;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h)))
    throw odb_exception(odb_hr::e_fail);
  odb_handle env(environment, h);
  odb_check(SQLSetEnvAttr(h, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
            env);
  return env;
}

odb_handle odb_handle::new_connection(const odb_handle& env) {
  SQLHANDLE h = SQL_NULL_HANDLE;
  odb_check(SQLAllocHandle(SQL_HANDLE_DBC, env.get(), &h), env);
  return odb_handle(connection, h);
}

odb_handle odb_handle::new_statement(const odb_handle& dbc) {
  SQLHANDLE h = SQL_NULL_HANDLE;
  odb_check(SQLAllocHandle(SQL_HANDLE_STMT, dbc.get(), &h), dbc);
  return odb_handle(statement, h);
}

void odb_handle::reset() noexcept {
  if (!handle_) return;
  if (kind_ == connection && connected_) SQLDisconnect(handle_);
  SQLFreeHandle(static_cast<SQLSMALLINT>(kind_), handle_);
  handle_ = nullptr;
  connected_ = false;
}
