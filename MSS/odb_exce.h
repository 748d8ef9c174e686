// The one exception of the destination layer. Its code is 0x80000 OR the low 16 bits of the
// HRESULT of the failed call (0x80040E37, table missing, gives 0x80E37), so that the destination
// message table and the callers that test codes can rely on it; its message is the description of
// the first diagnostic record that has one, and its source names who reported that record. The
// numeric HRESULT and SQLSTATE go to the trace only; the native error numbers are traced and also
// kept, for the few callers that must tell one server error from another of the same code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "odb_diag.h"
#include "tk_exception.h"

class odb_exception : public tk_exception {
 public:
  // A failed call with the records of its handle, read before any clean-up. No records: the
  // message stays "Unknown exception".
  odb_exception(int32_t hresult, const odb_diag_records& records);
  explicit odb_exception(int32_t hresult);

  // 0x80000 OR the low word of an HRESULT.
  static int32_t code_of(int32_t hresult) {
    return static_cast<int32_t>(0x80000u | (static_cast<uint32_t>(hresult) & 0xFFFFu));
  }

  const std::u16string& source() const { return source_; }
  // True when one of the failure's diagnostic records carries the server's error `number`.
  bool has_native_error(int32_t number) const;

 private:
  void extract_from_records(int32_t hresult, const odb_diag_records& records);

  std::u16string source_;
  std::vector<int32_t> native_errors_;
};
