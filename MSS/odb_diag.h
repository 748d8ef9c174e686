// Diagnostic records of the ODBC driver and the HRESULT the SQL Server OLE DB provider would have
// raised for them. Callers above this layer rely on the provider's codes (0x80000 OR the low word
// of the HRESULT, see odb_exception): a key violation, a missing or existing table, a refused
// login and an unreachable server must keep meaning what they meant there. The mapping is one
// table, odb_hresult_rules, read from the top.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class odb_handle;

// The HRESULTs the layer produces.
namespace odb_hr {
inline constexpr int32_t e_fail = static_cast<int32_t>(0x80004005);
inline constexpr int32_t errors_in_command = static_cast<int32_t>(0x80040E14);
inline constexpr int32_t cant_convert_value = static_cast<int32_t>(0x80040E07);
inline constexpr int32_t integrity_violation = static_cast<int32_t>(0x80040E2F);
inline constexpr int32_t no_table = static_cast<int32_t>(0x80040E37);
inline constexpr int32_t duplicate_table = static_cast<int32_t>(0x80040E3F);
inline constexpr int32_t auth_failed = static_cast<int32_t>(0x80040E4D);
inline constexpr int32_t data_overflow = static_cast<int32_t>(0x80040E57);
}  // namespace odb_hr

// One record as SQLGetDiagRec gives it. The driver's text starts with the names of the components
// that reported it ("[FreeTDS][SQL Server]..."): they are kept apart as the source, so that the
// message is the server's or driver's own sentence.
struct odb_diag_record {
  std::string sqlstate;  // five characters, empty when the driver gave none
  int32_t native_error = 0;
  std::u16string message;  // empty: the record carries no description
  std::u16string source;
};
using odb_diag_records = std::vector<odb_diag_record>;

// One row of the mapping. A row with a native error number matches records with that number; a
// row without one (0) matches records whose SQLSTATE begins with `sqlstate`.
struct odb_hresult_rule {
  int32_t native_error;
  const char* sqlstate;
  int32_t hresult;
};
extern const odb_hresult_rule odb_hresult_rules[];
extern const size_t odb_hresult_rule_count;

// The HRESULT of one record: the first rule that matches it, or 0 when none does (warnings,
// driver-manager notes).
int32_t odb_hresult_of(const odb_diag_record& record);
// The HRESULT of a failed call: that of the first record some rule matches, so that a login
// failure followed by the driver's generic "unable to connect" record keeps its login code; E_FAIL
// when no record matches or there are none.
int32_t odb_hresult_of(const odb_diag_records& records);

// Splits a driver text into its leading "[component]" names and the sentence after them.
void odb_split_message(const std::u16string& text, std::u16string& source, std::u16string& message);

// Every diagnostic record of `handle`, in order. Must run before any other call on the handle.
odb_diag_records odb_read_diag(const odb_handle& handle);

// The provider call convention: a call that failed (SQL_ERROR) has its records read at once, is
// traced as "Error code: %08X" with the derived HRESULT and raises odb_exception. Success with
// information and "no data" are successes. An invalid handle is a defect (tk_mail_assertion).
// Returns the return code for callers that tell success from "no data".
short odb_check(short rc, const odb_handle& handle);
