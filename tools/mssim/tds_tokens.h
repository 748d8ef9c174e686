// Writing the server's reply tokens: login (LOGINACK, ENVCHANGE, FEATUREEXTACK), messages
// (ERROR, INFO), statement ends (DONE, DONEPROC, DONEINPROC, RETURNSTATUS) and results
// (COLMETADATA, ROW, NBCROW) from the engine's columns and values.
//
// Column types go out as SQL Server sends them: fixed-length types (INT4, FLT8, DATETIME, ...)
// for NOT NULL columns and their nullable forms (INTN, FLTN, DATETIMN, ...) otherwise; numeric
// always as NUMERICN/DECIMALN; (max) types as PLP; character types with the server collation,
// the non-Unicode ones encoded in its code page (1252).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine.h"
#include "tds_wire.h"

namespace mssim {

// The negotiated TDS version decides a few field widths.
struct tds_format {
  uint32_t version = tds_version::v7_4;
  bool at_least(uint32_t v) const { return version >= v; }
};

// A value does not fit the column it is sent in (an engine fault, never the client's).
class tds_encode_error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

void write_envchange(tds_writer& w, uint8_t type, std::u16string_view new_value,
                     std::u16string_view old_value);
// ENVCHANGE 7 (SQL collation) with the server collation.
void write_envchange_collation(tds_writer& w);
// ERROR for severity >= 11, INFO otherwise. An empty server name becomes `server`.
void write_message(tds_writer& w, const tds_format& f, const message& m,
                   std::u16string_view server);
void write_loginack(tds_writer& w, uint32_t tds_version, std::u16string_view prog_name,
                    const version_info& v);
// An empty FEATUREEXTACK: no feature is acknowledged.
void write_featureextack(tds_writer& w);
void write_done(tds_writer& w, const tds_format& f, uint8_t token_type, uint16_t status,
                uint16_t cur_cmd, uint64_t count);
void write_returnstatus(tds_writer& w, int32_t status);

// Everything a successful login answers, in SQL Server's order: ENVCHANGE database, INFO 5701,
// the engine's own messages, ENVCHANGE collation, ENVCHANGE language, ENVCHANGE packet size,
// INFO 5703, LOGINACK, FEATUREEXTACK (when asked for), DONE.
struct login_reply {
  std::u16string database, old_database;
  std::u16string server;  // ServerName in the INFO messages
  size_t packet_size = 4096, old_packet_size = 4096;
  uint32_t tds_version = tds_version::v7_4;
  std::u16string prog_name = u"Microsoft SQL Server";
  version_info version;
  bool feature_ext_ack = false;
  std::vector<message> messages;  // from the engine's open_session
};
void write_login_reply(tds_writer& w, const tds_format& f, const login_reply& r);

// COLMETADATA for `cols`.
void write_colmetadata(tds_writer& w, const tds_format& f, const std::vector<column>& cols);
// One row as ROW, or as NBCROW when it holds a NULL and the version has NBCROW. Throws
// tds_encode_error when a value cannot be sent in its column's type.
void write_row(tds_writer& w, const tds_format& f, const std::vector<column>& cols,
               const std::vector<value>& row);

// The number of bytes a decimal/numeric value takes for a precision (5, 9, 13 or 17).
uint8_t numeric_size(uint8_t precision);

// Exact decimal helpers shared with the decoders. The magnitude of `v` (numeric or i64) at
// `scale` decimal places, rounded half away from zero when `v` has more places; throws
// tds_encode_error when it needs more than 38 digits.
unsigned __int128 scaled_magnitude(const value& v, int scale, bool& negative);
std::string u128_to_digits(unsigned __int128 v);

}  // namespace mssim
