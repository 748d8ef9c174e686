#include "sql_live_support.h"

#include <stdexcept>

#include "tk_string.h"

live_root::live_root(const mdb_server& server) : mysql_(mysql_init(nullptr)) {
  if (!mysql_real_connect(mysql_, server.host.c_str(), server.root_user.c_str(),
                          server.root_password.c_str(), nullptr, server.port, nullptr, 0) ||
      mysql_set_character_set(mysql_, "utf8mb4") != 0) {
    std::string error = mysql_error(mysql_);
    mysql_close(mysql_);
    throw std::runtime_error("root connection: " + error);
  }
}

live_root::~live_root() { mysql_close(mysql_); }

std::vector<live_row> live_root::rows(const std::string& sql) {
  if (mysql_real_query(mysql_, sql.data(), sql.size()) != 0) {
    throw std::runtime_error(sql + ": " + mysql_error(mysql_));
  }
  std::vector<live_row> out;
  MYSQL_RES* result = mysql_store_result(mysql_);
  if (!result) return out;
  unsigned n = mysql_num_fields(result);
  while (MYSQL_ROW row = mysql_fetch_row(result)) {
    unsigned long* lengths = mysql_fetch_lengths(result);
    live_row r;
    for (unsigned i = 0; i < n; ++i) {
      if (row[i]) {
        r.emplace_back(std::string(row[i], lengths[i]));
      } else {
        r.emplace_back(std::nullopt);
      }
    }
    out.push_back(std::move(r));
  }
  mysql_free_result(result);
  return out;
}

std::string live_root::scalar(const std::string& sql) {
  auto r = rows(sql);
  if (r.empty() || r[0].empty() || !r[0][0]) throw std::runtime_error(sql + ": no value");
  return *r[0][0];
}

std::vector<std::string> live_root::column(const std::string& sql) {
  std::vector<std::string> out;
  for (const live_row& r : rows(sql)) out.push_back(r.at(0).value_or("\\N"));
  return out;
}

live_reader::live_reader(const mdb_server& server) {
  engine_.connect(server.host, server.user, server.password, server.port);
}

std::unique_ptr<sql_database> live_reader::open(const std::u16string& name, int32_t mode) {
  return engine_.open_db(name, mode);
}

std::string hex_of(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string bytes_of(const ole_variant& value) {
  if (value.get_type() == VT_ARRAY_UI1) {
    const uint8_t* p = nullptr;
    size_t n = value.get_bytes(p);
    return std::string(reinterpret_cast<const char*>(p), n);
  }
  if (value.get_type() == VT_BSTR) return tk_wide_to_utf8(value.get_bstr());
  return value.to_string();
}

uint32_t crc32_of(const std::string& bytes) {
  static uint32_t table[256] = {};
  if (!table[1]) {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[i] = c;
    }
  }
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : bytes) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

std::string u8(const std::u16string& text) { return tk_wide_to_utf8(text); }
