#include "odb_conn.h"

#include <sql.h>
#include <sqlext.h>
// The driver's bulk-copy switch (a connection attribute of its own). The header uses NULL without
// declaring it.
#include <cstddef>
#define TDSODBC_BCP
#include <odbcss.h>

#include "mss_msgs.h"
#include "odb_diag.h"
#include "odb_exce.h"
#include "tk_log.h"

namespace {

[[noreturn]] void support_library_missing(int32_t hr) {
  tk_trace(1, "%08X", static_cast<unsigned>(hr));
  throw tk_exception(mss_msg_no_support_library, 1);
}

// The driver manager's records when it cannot load the driver named in the connection string.
bool driver_missing(const odb_diag_records& records) {
  for (const odb_diag_record& r : records) {
    if (r.source.find(u"[Driver Manager]") == std::u16string::npos) continue;
    if (r.sqlstate == "IM002" || r.sqlstate == "IM003" ||
        r.message.find(u"Can't open lib") != std::u16string::npos)
      return true;
  }
  return false;
}

}  // namespace

odb_data_source::odb_data_source(const odb_connect_spec& spec)
    : spec_(spec), odbc_text_(odb_odbc_connection_string(spec)) {
  try {
    env_ = odb_handle::new_environment();
  } catch (const odb_exception&) {
    support_library_missing(odb_hr::e_fail);
  }
}

odb_data_source::~odb_data_source() {
  // Links before the environment they belong to.
  links_.clear();
}

std::unique_ptr<odb_link> odb_data_source::open_link() {
  auto link = std::make_unique<odb_link>();
  link->dbc = odb_handle::new_connection(env_);
  SQLHDBC dbc = link->dbc.get();
  odb_check(SQLSetConnectAttr(
                dbc, SQL_ATTR_LOGIN_TIMEOUT,
                reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(odb_login_timeout_seconds)),
                SQL_IS_UINTEGER),
            link->dbc);
  if (bulk_copy_)
    odb_check(SQLSetConnectAttr(dbc, SQL_COPT_SS_BCP, reinterpret_cast<SQLPOINTER>(SQL_BCP_ON),
                                SQL_IS_INTEGER),
              link->dbc);
  std::u16string text = odbc_text_;
  SQLSMALLINT out_length = 0;
  SQLRETURN rc = SQLDriverConnectW(dbc, nullptr, reinterpret_cast<SQLWCHAR*>(text.data()),
                                   static_cast<SQLSMALLINT>(text.size()), nullptr, 0, &out_length,
                                   SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    odb_diag_records records = odb_read_diag(link->dbc);
    int32_t hr = odb_hresult_of(records);
    if (driver_missing(records)) support_library_missing(hr);
    tk_trace(2, "Error code: %08X", static_cast<unsigned>(hr));
    throw odb_exception(hr, records);
  }
  link->dbc.set_connected(true);
  return link;
}

void odb_data_source::initialize() {
  if (!links_.empty()) return;
  links_.push_back(open_link());
}

bool odb_data_source::set_bulk_copy(bool on) {
  for (auto& link : links_) {
    SQLRETURN rc = SQLSetConnectAttr(
        link->dbc.get(), SQL_COPT_SS_BCP,
        reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(on ? SQL_BCP_ON : SQL_BCP_OFF)),
        SQL_IS_INTEGER);
    if (!SQL_SUCCEEDED(rc)) {
      odb_diag_records records = odb_read_diag(link->dbc);
      int32_t hr = odb_hresult_of(records);
      tk_trace(2, "Error code: %08X", static_cast<unsigned>(hr));
      return false;
    }
  }
  bulk_copy_ = on;
  return true;
}

odb_link& odb_data_source::primary_link() {
  if (links_.empty()) throw tk_mail_assertion("odb_conn", __LINE__);
  return *links_.front();
}

odb_link& odb_data_source::free_link() {
  if (links_.empty()) throw tk_mail_assertion("odb_conn", __LINE__);
  for (auto& link : links_)
    if (!link->busy_with) return *link;
  tk_trace(1, "Opening a further connection: %d are busy with results",
           static_cast<int>(links_.size()));
  links_.push_back(open_link());
  return *links_.back();
}
