#include "sql_engine.h"

#include <cstdio>

#include "sql_database.h"
#include "sql_exception.h"
#include "sql_handle.h"
#include "tk_log.h"
#include "tk_string.h"

namespace {

constexpr const char* option_group = "QN MySQL Lib";
constexpr unsigned connect_timeout = 10;
// A row stream waits while the destination writes what it was given; the server must not give
// up on a client that reads slowly.
constexpr const char* stream_timeout = "SET SESSION net_write_timeout = 31536000";

void set_options(MYSQL* mysql) {
  mysql_options(mysql, MYSQL_READ_DEFAULT_GROUP, option_group);
  mysql_options(mysql, MYSQL_OPT_CONNECT_TIMEOUT, &connect_timeout);
}

}  // namespace

sql_engine::sql_engine() { initialize(); }

sql_engine::~sql_engine() noexcept(false) {
  if (connected_) {
    if (mysql_query(mysql_.get(), "SET FOREIGN_KEY_CHECKS = 1") != 0) {
      sql_exception e(mysql_.get());
      tk_trace(2, "Cannot turn ON foreign key check: %s", e.what());
    }
  }
  close();
}

void sql_engine::initialize() {
  tk_trace(1, "sql_engine::initialize");
  mysql_.reset(mysql_init(nullptr));
  if (!mysql_) throw sql_exception("The client library cannot allocate a connection", 2008);
  handle_used_ = false;
  tk_trace(1, "sql_engine::initialize - 1");
  mysql_options(mysql_.get(), MYSQL_READ_DEFAULT_GROUP, option_group);
  tk_trace(1, "sql_engine::initialize - 2");
  mysql_options(mysql_.get(), MYSQL_OPT_CONNECT_TIMEOUT, &connect_timeout);
  tk_trace(1, "sql_engine::initialize - END");
}

void sql_engine::close() {
  mysql_.reset();
  connected_ = false;
}

void sql_engine::connect(const std::string& host, const std::string& user,
                         const std::string& password, unsigned port) {
  tk_trace(2, "sql_engine::connect(%s,%s,%s)", host.c_str(), user.c_str(), password.c_str());
  if (connected_) {
    tk_trace(2, "Connection was established already - disconnecting...");
    close();
  }
  // The options are set on a fresh handle before every connection.
  if (!mysql_ || handle_used_) initialize();
  handle_used_ = true;
  charset_.clear();

  tk_trace(3, "Connecting to MySQL server...");
  if (!mysql_real_connect(mysql_.get(), host.empty() ? nullptr : host.c_str(), user.c_str(),
                          password.c_str(), nullptr, port, nullptr, 0)) {
    throw sql_exception(mysql_.get());
  }
  connected_ = true;
  host_ = host;
  user_ = user;
  password_ = password;
  port_ = port;

  set_charset(mysql_.get(), true);

  const char* text = mysql_get_server_info(mysql_.get());
  if (!text || !*text) return;
  set_server_version(text, password);

  if (mysql_query(mysql_.get(), "SET FOREIGN_KEY_CHECKS = 0") != 0) {
    sql_exception e(mysql_.get());
    tk_trace(2, "Cannot turn off foreign key check: %s", e.what());
  }
}

// "SET NAMES UTF8" is three-byte UTF-8 on MySQL and MariaDB: four-byte characters would arrive
// as "?". utf8mb4 is asked for first; a server without it (MySQL before 5.5.3) gets utf8. The
// library's own call is used so that it escapes for the same character set.
void sql_engine::set_charset(st_mysql* mysql, bool trace_steps) {
  if (trace_steps) tk_trace(3, "Setting UTF-8 collation...");
  if (mysql_set_character_set(mysql, "utf8mb4") == 0) {
    charset_ = "utf8mb4";
    return;
  }
  {
    sql_exception e(mysql);
    tk_trace(2, "Cannot set UTF-8 collation: %s", e.what());
  }
  if (mysql_set_character_set(mysql, "utf8") == 0) {
    charset_ = "utf8";
    return;
  }
  sql_exception e(mysql);
  tk_trace(3, "Failed");
  tk_trace(2, "Cannot set UTF-8 collation: %s", e.what());
  charset_.clear();
}

void sql_engine::set_server_version(const std::string& text, const std::string& password) {
  if (text.empty()) return;
  tk_trace(2, "Got MySQL server version: %s", text.c_str());
  int major = 0, minor = 0, patch = 0;
  if (std::sscanf(text.c_str(), "%d.%d.%d", &major, &minor, &patch) < 3) {
    tk_trace(3, "Invalid MySQL version: %s", text.c_str());
    throw tk_mail_assertion("sql_engi", __LINE__);
  }
  version_ = static_cast<uint32_t>((major & 0xFF) << 16 | (minor & 0xFF) << 8 | (patch & 0xFF));
  tk_trace(1, "Hex version: %08X", version_);
  foreign_keys_ = version_ >= version_fk;
  if (version_ == version_41 && !password.empty()) throw sql_auth_not_supported_exception();
}

std::vector<std::u16string> sql_engine::get_contents() {
  sql_result_ptr result(mysql_list_dbs(mysql_.get(), nullptr));
  if (!result) throw sql_exception(mysql_.get());
  std::vector<std::u16string> names;
  while (MYSQL_ROW row = mysql_fetch_row(result.get())) {
    unsigned long* lengths = mysql_fetch_lengths(result.get());
    std::u16string name = row[0] ? tk_utf8_to_wide(row[0], lengths[0]) : std::u16string();
    tk_wtrace(2, u"Got database %s", name);
    names.push_back(std::move(name));
  }
  return names;
}

bool sql_engine::is_db_exist(const std::u16string& name) {
  tk_wtrace(2, u"sql_engine::is_db_exist(%s)", name);
  return mysql_select_db(mysql_.get(), tk_wide_to_utf8(name).c_str()) == 0;
}

std::unique_ptr<sql_database> sql_engine::open_db(const std::u16string& name, int32_t mode) {
  tk_wtrace(2, u"sql_engine::open_db (%s)", name);
  tk_wtrace(3, u"Opening MySQL database '%s'", name);
  if (mysql_select_db(mysql_.get(), tk_wide_to_utf8(name).c_str()) != 0) {
    throw sql_exception(mysql_.get());
  }
  return std::make_unique<sql_database>(*this, name, mode);
}

std::unique_ptr<sql_database> sql_engine::create_db(const std::u16string&) {
  throw tk_mail_assertion("sql_engi", __LINE__);
}

void sql_engine::db_delete(const std::u16string&) { throw tk_mail_assertion("sql_engi", __LINE__); }

std::u16string sql_engine::quote_name(const std::u16string& name) const {
  return tk_utf8_to_wide(quote_name_utf8(tk_wide_to_utf8(name)));
}

std::string sql_engine::quote_name_utf8(const std::string& name) const {
  if (version_ < version_41) return name;
  return sql_backquote(name);
}

sql_mysql_ptr sql_engine::open_connection(const std::string& database) {
  tk_trace(2, "sql_engine::open_connection(%s)", database.c_str());
  sql_mysql_ptr m(mysql_init(nullptr));
  if (!m) throw sql_exception("The client library cannot allocate a connection", 2008);
  set_options(m.get());
  if (!mysql_real_connect(m.get(), host_.empty() ? nullptr : host_.c_str(), user_.c_str(),
                          password_.c_str(), nullptr, port_, nullptr, 0)) {
    throw sql_exception(m.get());
  }
  // The same character set as the main connection, so that both read the same text.
  if (!charset_.empty() && mysql_set_character_set(m.get(), charset_.c_str()) != 0) {
    throw sql_exception(m.get());
  }
  if (mysql_select_db(m.get(), database.c_str()) != 0) throw sql_exception(m.get());
  if (mysql_query(m.get(), stream_timeout) != 0) {
    sql_exception e(m.get());
    tk_trace(2, "Cannot lengthen the write timeout: %s", e.what());
  }
  return m;
}
