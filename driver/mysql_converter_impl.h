// The MySQL connection settings of a conversion and the MySQL engine they connect.
#pragma once

#include <memory>
#include <string>

class sql_engine;
class udb_profile;

class mysql_converter_impl {
 public:
  mysql_converter_impl();
  virtual ~mysql_converter_impl() noexcept(false);

  // Stores the four values without blanks at either end; an empty port becomes "3306".
  void store_mysql_settings(const std::string& host, const std::string& user,
                            const std::string& password, const std::string& port);
  // Connects the engine. A port text whose decimal prefix is 0 (or that has none) raises
  // tk_exception "Invalid port number" (level 1); connection failures are the engine's.
  void connect_mysql_server();

  bool load_profile(const udb_profile& profile);
  bool store_profile(udb_profile& profile) const;

  sql_engine& mysql_engine() { return *engine_; }

  // Empty host: the local server. Texts are UTF-8 when they come from a profile.
  std::string host;
  std::string user;
  std::string password;
  std::string port = "3306";
  // Settings of the MySQL-side writer, kept in profiles; the conversion does not use them.
  bool dump_line_break = false;
  bool dump_new_version = false;
  bool dump_add_lock_to_insert = false;
  bool dump_insert_comments = false;
  bool dump_create_database = false;
  bool dump_create_table = false;

 private:
  std::unique_ptr<sql_engine> engine_;
};

// The port number by the decimal-prefix rule: leading blanks, an optional sign, the leading
// digits; 0 when there are none.
long mysql_port_number(const std::string& text);
