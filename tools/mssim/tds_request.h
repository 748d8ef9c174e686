// Decoding the request messages: SQL batch (ALL_HEADERS + UTF-16 text) and RPC (one or more
// procedure calls, by name or by the well-known ids, with typed parameters).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine.h"
#include "tds_tokens.h"

namespace mssim {

struct rpc_call {
  std::u16string proc;  // by name as sent, or the name of the well-known id
  uint16_t option_flags = 0;
  std::vector<std::pair<std::u16string, value>> params;  // name ("@x") or empty, in order
  // A parameter whose type the server does not take: its position (1-based) and type code.
  // The call is refused with error 8009 when set.
  int bad_param = 0;
  uint8_t bad_type = 0;
  std::u16string bad_param_name;
};

// The SQL text of a batch. Throws tds_protocol_error for a malformed ALL_HEADERS block.
std::u16string parse_sql_batch(const std::string& payload, const tds_format& f);

// Every call of an RPC message. Throws tds_protocol_error for a malformed message.
std::vector<rpc_call> parse_rpc(const std::string& payload, const tds_format& f);

// A transaction manager request (packet type 14), the way clients such as pytds begin, commit
// and roll back transactions without SQL text.
struct tm_request {
  enum : uint16_t {
    get_dtc_address = 0,
    propagate = 1,
    begin = 5,
    promote = 6,
    commit = 7,
    rollback = 8,
    save = 9
  };
  uint16_t type = 0;
  uint8_t isolation = 0;      // begin: 0 = unchanged, 1..5 = read uncommitted .. snapshot
  std::u16string name;        // transaction or savepoint name, may be empty
  bool begin_after = false;   // commit/rollback: start a new transaction at once
  uint8_t new_isolation = 0;  // with begin_after
  std::u16string new_name;    // with begin_after
};

// Throws tds_protocol_error for a malformed request.
tm_request parse_tm(const std::string& payload, const tds_format& f);

// The procedure names of RPC ProcIDs 1..15 (sp_cursor .. sp_unprepare); empty for other ids.
std::u16string proc_id_name(uint16_t id);

}  // namespace mssim
