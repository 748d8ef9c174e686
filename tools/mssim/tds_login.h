// The two messages that open a connection: PRELOGIN (the server's answer always says that
// encryption is not supported) and LOGIN7 (decoded into `login7_request`, with the password
// unscrambled).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mssim {

// PRELOGIN encryption values.
namespace encrypt {
constexpr uint8_t off = 0x00;
constexpr uint8_t on = 0x01;
constexpr uint8_t not_supported = 0x02;
constexpr uint8_t required = 0x03;
constexpr uint8_t client_cert = 0x80;
}  // namespace encrypt

struct prelogin_request {
  bool has_version = false;
  uint8_t encryption = encrypt::not_supported;  // as sent; NOT_SUP when the option is missing
  bool mars = false;
};

// Decodes a client PRELOGIN payload. Throws tds_protocol_error when the option table points
// outside the payload or VERSION is not the first option.
prelogin_request parse_prelogin(const std::string& payload);

// The server's PRELOGIN answer: VERSION (the server version major.minor.build), ENCRYPTION
// NOT_SUP, INSTOPT (empty instance name), THREADID (empty), MARS off.
std::string build_prelogin_response(uint8_t major, uint8_t minor, uint16_t build);

struct login7_request {
  uint32_t tds_version = 0;
  uint32_t packet_size = 0;
  uint32_t client_prog_version = 0;
  uint32_t client_pid = 0;
  uint8_t option_flags1 = 0, option_flags2 = 0, type_flags = 0, option_flags3 = 0;
  std::u16string host_name, user_name, password, app_name, server_name, library_name, language,
      database, attach_db_file, change_password;
  size_t sspi_length = 0;  // bytes of an integrated-security token

  // The client asked for integrated (Windows) authentication.
  bool integrated_security() const { return (option_flags2 & 0x80) != 0 || sspi_length > 0; }
  // The client is an ODBC driver: the session starts with the ANSI defaults on.
  bool odbc() const { return (option_flags2 & 0x02) != 0; }
  // The LOGIN7 carried a FeatureExt block; the answer then carries FEATUREEXTACK.
  bool has_feature_ext = false;
  std::vector<uint8_t> features;  // feature ids requested, in order
};

// Decodes a LOGIN7 payload. Throws tds_protocol_error for a record whose lengths or offsets
// point outside it.
login7_request parse_login7(const std::string& payload);

// Reverses the LOGIN7 password scrambling (each byte: XOR 0xA5, then swap the nibbles).
std::string unscramble_password(std::string bytes);
// The scrambling itself (each byte: swap the nibbles, then XOR 0xA5); used by tests.
std::string scramble_password(std::string bytes);

}  // namespace mssim
