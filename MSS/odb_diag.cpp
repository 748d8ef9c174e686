#include "odb_diag.h"

#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "odb_exce.h"
#include "odb_hndl.h"
#include "tk_log.h"

// Read from the top; the first row that matches a record decides. Server error numbers come
// first, then SQLSTATE classes for everything the numbers do not name. Key and reference
// violations alone are integrity violations: merge and synchronize treat that code as "the row is
// already there", so a NULL in a NOT NULL column (515) or an explicit identity value (544) must not
// carry it, or the row would vanish without a word.
const odb_hresult_rule odb_hresult_rules[] = {
    {2627, "", odb_hr::integrity_violation},  // duplicate key (PRIMARY KEY, UNIQUE constraint)
    {2601, "", odb_hr::integrity_violation},  // duplicate key row (unique index)
    {547, "", odb_hr::integrity_violation},   // FOREIGN KEY, REFERENCE or CHECK conflict
    {515, "", odb_hr::errors_in_command},     // NULL into a NOT NULL column
    {544, "", odb_hr::errors_in_command},     // explicit identity value refused
    {208, "", odb_hr::no_table},              // invalid object name
    {2714, "", odb_hr::duplicate_table},      // there is already an object named ...
    {18456, "", odb_hr::auth_failed},         // login failed
    {4060, "", odb_hr::e_fail},               // cannot open the database of the login
    {20009, "", odb_hr::e_fail},              // client: server unavailable or does not exist
    {20002, "", odb_hr::e_fail},              // client: connection failed
    {20003, "", odb_hr::e_fail},              // client: timeout
    {20004, "", odb_hr::e_fail},              // client: read from the server failed
    {20006, "", odb_hr::e_fail},              // client: write to the server failed
    {8152, "", odb_hr::data_overflow},        // string or binary data would be truncated
    {2628, "", odb_hr::data_overflow},        // ... truncated in table/column (2019 and later)
    {8115, "", odb_hr::data_overflow},        // arithmetic overflow converting
    {220, "", odb_hr::data_overflow},         // arithmetic overflow for data type
    {232, "", odb_hr::data_overflow},         // arithmetic overflow for type
    {244, "", odb_hr::data_overflow},         // conversion overflowed a small integer column
    {248, "", odb_hr::data_overflow},         // conversion overflowed an int column
    {245, "", odb_hr::cant_convert_value},    // conversion failed
    {8114, "", odb_hr::cant_convert_value},   // error converting data type
    {241, "", odb_hr::cant_convert_value},    // date/time from character string
    {242, "", odb_hr::cant_convert_value},    // out-of-range date/time value
    {0, "28", odb_hr::auth_failed},           // invalid authorization
    {0, "08", odb_hr::e_fail},                // connection errors
    {0, "HYT", odb_hr::e_fail},               // login or query timeout
    {0, "23", odb_hr::integrity_violation},   // other constraint violations
    {0, "22001", odb_hr::data_overflow},      // right truncation
    {0, "22003", odb_hr::data_overflow},      // numeric value out of range
    {0, "HY019", odb_hr::data_overflow},      // the driver's name for 22003 under ODBC 3
    {0, "22", odb_hr::cant_convert_value},    // other data exceptions
    {0, "42S02", odb_hr::no_table},           // base table or view not found
    {0, "42S01", odb_hr::duplicate_table},    // base table or view already exists
    {0, "42", odb_hr::errors_in_command},     // syntax and access rule violations
    {0, "IM", odb_hr::e_fail},                // driver manager: driver missing or unusable
    {0, "HY", odb_hr::e_fail},                // driver errors
};
const size_t odb_hresult_rule_count = sizeof odb_hresult_rules / sizeof odb_hresult_rules[0];

int32_t odb_hresult_of(const odb_diag_record& record) {
  for (size_t i = 0; i < odb_hresult_rule_count; ++i) {
    const odb_hresult_rule& rule = odb_hresult_rules[i];
    if (rule.native_error != 0) {
      if (rule.native_error == record.native_error) return rule.hresult;
    } else if (!record.sqlstate.empty() &&
               record.sqlstate.compare(0, std::strlen(rule.sqlstate), rule.sqlstate) == 0) {
      return rule.hresult;
    }
  }
  return 0;
}

int32_t odb_hresult_of(const odb_diag_records& records) {
  for (const odb_diag_record& r : records)
    if (int32_t hr = odb_hresult_of(r)) return hr;
  return odb_hr::e_fail;
}

void odb_split_message(const std::u16string& text, std::u16string& source,
                       std::u16string& message) {
  // "[unixODBC][Driver Manager]..." and "[FreeTDS][SQL Server]...": the component names end
  // with the layer that speaks ("SQL Server", "Driver Manager"); a server sentence that itself
  // begins with a bracketed name ("[dbo].[t] ...") is not taken for one.
  size_t pos = 0;
  for (int groups = 0; groups < 3 && pos < text.size() && text[pos] == u'['; ++groups) {
    size_t close = text.find(u']', pos);
    if (close == std::u16string::npos || text.find(u'[', pos + 1) < close) break;
    std::u16string name = text.substr(pos + 1, close - pos - 1);
    pos = close + 1;
    if (name == u"SQL Server" || name == u"Driver Manager") break;
  }
  source = text.substr(0, pos);
  message = text.substr(pos);
}

namespace {

std::u16string from_sqlwchar(const SQLWCHAR* text, size_t length) {
  std::u16string out;
  out.reserve(length);
  for (size_t i = 0; i < length && text[i]; ++i) out.push_back(static_cast<char16_t>(text[i]));
  return out;
}

}  // namespace

odb_diag_records odb_read_diag(const odb_handle& handle) {
  odb_diag_records records;
  if (!handle) return records;
  auto type = static_cast<SQLSMALLINT>(handle.kind());
  for (SQLSMALLINT rec = 1;; ++rec) {
    SQLWCHAR state[6] = {0};
    SQLINTEGER native = 0;
    std::vector<SQLWCHAR> text(512);
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRecW(type, handle.get(), rec, state, &native, text.data(),
                                  static_cast<SQLSMALLINT>(text.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(text.size())) {
      text.resize(static_cast<size_t>(length) + 1);
      rc = SQLGetDiagRecW(type, handle.get(), rec, state, &native, text.data(),
                          static_cast<SQLSMALLINT>(text.size()), &length);
    }
    if (!SQL_SUCCEEDED(rc)) break;
    odb_diag_record r;
    for (int i = 0; i < 5 && state[i]; ++i) {
      // SQLSTATEs are ASCII by definition; anything else means the record is corrupt.
      if (state[i] > 0x7F) throw tk_mail_assertion("odb_exce", __LINE__);
      r.sqlstate.push_back(static_cast<char>(state[i]));
    }
    r.native_error = native;
    odb_split_message(from_sqlwchar(text.data(), static_cast<size_t>(length)), r.source, r.message);
    records.push_back(std::move(r));
  }
  return records;
}

short odb_check(short rc, const odb_handle& handle) {
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA) return rc;
  if (rc == SQL_INVALID_HANDLE) throw tk_mail_assertion("odb_exce", __LINE__);
  odb_diag_records records = odb_read_diag(handle);
  int32_t hr = odb_hresult_of(records);
  tk_trace(2, "Error code: %08X", static_cast<unsigned>(hr));
  throw odb_exception(hr, records);
}
