// Decoding what clients send: TYPE_INFO and the value that follows it, in RPC parameters and in
// the rows of a BULK LOAD message. The two differ only for text/ntext/image, which carry a text
// pointer and timestamp in rows and a plain four-byte length in parameters.
#pragma once

#include <cstdint>
#include <string>

#include "engine.h"
#include "tds_wire.h"

namespace mssim {

// A TYPE_INFO as the client described it.
struct wire_column {
  uint8_t code = 0;
  uint32_t max_length = 0;  // the length field of TYPE_INFO (bytes); 0xFFFF for PLP
  uint8_t precision = 0, scale = 0;
  uint8_t collation[5] = {0, 0, 0, 0, 0};
  bool plp = false;
  std::u16string name;
};

// A type the server does not take from clients (sql_variant, xml, UDT, table-valued
// parameters, legacy fixed-length types). `code` names it for the error text.
class tds_type_error : public std::runtime_error {
 public:
  explicit tds_type_error(uint8_t code)
      : std::runtime_error("unsupported data type 0x" + hex_dump(std::string(1, char(code)))),
        type_code(code) {}
  uint8_t type_code;
};

enum class value_context { rpc, bulk_row };

// Reads TYPE_INFO. In bulk COLMETADATA, text/ntext/image are followed by a table name, which
// this also reads (and drops). Throws tds_type_error for a type it does not decode.
wire_column read_type_info(tds_reader& r, value_context ctx);

// Reads one value of `col`. Throws tds_protocol_error for a length that does not fit the type,
// tds_short_read when the data ends early.
value read_value(tds_reader& r, const wire_column& col, value_context ctx);

}  // namespace mssim
