#include "odb_exce.h"

#include "tk_log.h"
#include "tk_string.h"

odb_exception::odb_exception(int32_t hresult) : odb_exception(hresult, odb_diag_records{}) {}

odb_exception::odb_exception(int32_t hresult, const odb_diag_records& records) : tk_exception(0) {
  tk_trace(2, "odb_exception::odb_exception(%08X)", static_cast<unsigned>(hresult));
  set_code(code_of(hresult));
  if (records.empty()) {
    tk_trace(1, "dump_error: GetErrorInfo failed");
    return;
  }
  tk_trace(1, "Got IErrorRecords");
  extract_from_records(hresult, records);
}

void odb_exception::extract_from_records(int32_t hresult, const odb_diag_records& records) {
  tk_trace(2, "odb_exception::extract_from_records");
  tk_trace(1, "Got %d record(s)", static_cast<int>(records.size()));
  std::string message;
  for (const odb_diag_record& r : records) native_errors_.push_back(r.native_error);
  for (size_t i = 0; i < records.size(); ++i) {
    const odb_diag_record& r = records[i];
    int32_t record_hr = odb_hresult_of(r);
    tk_trace(1, "HRESULT:\t0x%08X", static_cast<unsigned>(record_hr ? record_hr : hresult));
    tk_trace(1, "SQLSTATE:\t%s", r.sqlstate.c_str());
    tk_trace(1, "Native Error:\t%ld", static_cast<long>(r.native_error));

    // The record's own error information: its source and description.
    tk_trace(2, "odb_exception::error_info_dispatcher::ctor");
    if (!r.source.empty()) {
      tk_trace(1, "Processing source");
      tk_wtrace(1, u"Source:\t\t%s\n", r.source);
    }
    if (!r.message.empty()) {
      tk_trace(1, "Processing description");
      tk_wtrace(1, u"Error message:\t%s", r.message);
    }
    message = tk_wide_to_message(r.message);
    source_ = r.source;
    tk_wtrace(1, u"Process %d record: msg=%S, source=%s", static_cast<int>(i), message, source_);
    if (!message.empty()) break;  // the first record with a description wins
  }
  set_message(message);
}

bool odb_exception::has_native_error(int32_t number) const {
  for (int32_t n : native_errors_)
    if (n == number) return true;
  return false;
}
