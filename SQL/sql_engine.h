// The system's one connection to the MySQL server being migrated. It sets the client options,
// connects, learns the server version and derives every version-dependent choice of the MySQL
// side from it, lists the databases and opens one as a sql_database. It never changes anything
// on the server: the only statements it sends set session variables.
//
// Version gates (server version as major << 16 | minor << 8 | patch):
//   3.23.44 and later   foreign keys are read (SHOW CREATE TABLE per table)
//   exactly 4.1.0       a non-empty password is refused (sql_auth_not_supported_exception)
//   4.1.0 and later     names are backquoted
//   5.0.1 and later     base tables are listed with SHOW FULL TABLES
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sql_database.h"
#include "sql_types.h"
#include "tk_singl.h"
#include "udb_db.h"

class sql_engine : public udb_engine, public tk_singleton<sql_engine> {
 public:
  static constexpr uint32_t version_fk = 0x03172C;
  static constexpr uint32_t version_41 = 0x040100;
  static constexpr uint32_t version_full_tables = 0x050001;

  // Registers the singleton, then initialize().
  sql_engine();
  // Turns foreign-key checks back on (a failure is traced and ignored) and closes.
  ~sql_engine() noexcept(false) override;

  // Writing to MySQL is not part of this system: both raise tk_mail_assertion.
  virtual std::unique_ptr<sql_database> create_db(const std::u16string& name);
  // A new database object for `name`, owned by the caller; bit 7 of `mode` set means no views.
  // A database that cannot be selected throws sql_exception.
  virtual std::unique_ptr<sql_database> open_db(const std::u16string& name, int32_t mode);
  virtual void db_delete(const std::u16string& name);
  // True when the database can be selected; the selection stays in force.
  virtual bool is_db_exist(const std::u16string& name);

  // A fresh client handle with the option-file group "QN MySQL Lib" and a 10-second connect
  // timeout.
  void initialize();
  // Connects (closing an earlier connection first) over TCP to host:port, or to the local
  // server when host is empty; asks for utf8mb4, falling back to utf8; reads the version;
  // turns foreign-key checks off for the session. Failures throw sql_exception.
  void connect(const std::string& host, const std::string& user, const std::string& password,
               unsigned port);
  // The database names in server order. Throws sql_exception.
  std::vector<std::u16string> get_contents();

  // For servers from 4.1.0 on, the name between backquotes with inner backquotes doubled;
  // otherwise the name unchanged.
  std::u16string quote_name(const std::u16string& name) const;
  std::string quote_name_utf8(const std::string& name) const;

  // Steps 5 to 8 of connect on a version text: scans "%d.%d.%d" (a text with fewer numbers is
  // a defect: tk_mail_assertion "sql_engi"), stores the version and the foreign-key flag, and
  // refuses a non-empty password on a 4.1.0 server. An empty text leaves the version as it is.
  void set_server_version(const std::string& text, const std::string& password);

  bool is_connected() const { return connected_; }
  uint32_t version() const { return version_; }
  bool has_foreign_keys() const { return foreign_keys_; }
  bool blob_to_text() const { return blob_to_text_; }
  void set_blob_to_text(bool on) { blob_to_text_ = on; }
  // The connection's character set: "utf8mb4", "utf8", or empty when neither could be set.
  const std::string& charset() const { return charset_; }

  // The client handle of the connection (internal to the MySQL side).
  st_mysql* handle() const { return mysql_.get(); }
  // A second connection with the same settings, with `database` (UTF-8) selected: the row
  // streams run on it so that counts and catalogue statements can go on on the first.
  // Throws sql_exception.
  sql_mysql_ptr open_connection(const std::string& database);

 private:
  void close();
  void set_charset(st_mysql* mysql, bool trace_steps);

  sql_mysql_ptr mysql_;
  bool connected_ = false;
  bool blob_to_text_ = false;
  uint32_t version_ = 0;
  bool foreign_keys_ = false;
  // A handle can be connected once; a new connect takes a fresh one.
  bool handle_used_ = false;
  std::string charset_;
  std::string host_, user_, password_;
  unsigned port_ = 0;
};
