// Shared pieces of the live tests: what the server itself says (through the client library
// directly, as root, never through the reader under test), the reader connected as the
// read-only test account, and small helpers to compare values byte for byte.
#pragma once

#include <mysql.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mdb_testenv.h"
#include "ole_variant.h"
#include "sql_database.h"
#include "sql_engine.h"

using live_row = std::vector<std::optional<std::string>>;

// A root connection to a server, for the answers the tests compare with.
class live_root {
 public:
  explicit live_root(const mdb_server& server);
  ~live_root();
  live_root(const live_root&) = delete;
  live_root& operator=(const live_root&) = delete;

  std::vector<live_row> rows(const std::string& sql);
  // The first column of the first row; throws when there is none or it is NULL.
  std::string scalar(const std::string& sql);
  std::vector<std::string> column(const std::string& sql);

 private:
  MYSQL* mysql_;
};

// The engine connected as the server's read-only test account.
class live_reader {
 public:
  explicit live_reader(const mdb_server& server = mdb_shared_server());
  sql_engine& engine() { return engine_; }
  std::unique_ptr<sql_database> open(const std::u16string& name, int32_t mode = 1);

 private:
  sql_engine engine_;
};

std::string hex_of(const std::string& bytes);
// The bytes of a value as the server holds them: a byte array's bytes, a text's UTF-8.
std::string bytes_of(const ole_variant& value);
uint32_t crc32_of(const std::string& bytes);
std::string u8(const std::u16string& text);
