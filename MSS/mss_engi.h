// The destination server: the server name and credentials the user entered, proven by one
// connect; the server's version code; the connection string of every later connection; and the
// databases, which it creates, opens, tests and drops. It keeps no connection between
// operations: each one makes a fresh data source. One per process (the singleton rule), reached
// from anywhere on the destination side through instance(). Used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "mss_vers.h"
#include "odb_conn.h"
#include "tk_singl.h"
#include "udb_db.h"

class mss_database;

class mss_engine : public tk_singleton<mss_engine>, public udb_engine {
 public:
  // Database flags given to open_db.
  static constexpr int32_t db_read_only = 0x01;
  static constexpr int32_t db_created = 0x02;
  static constexpr int32_t db_existing = 0x04;
  static constexpr int32_t db_append = 0x08;
  static constexpr int32_t db_no_views = 0x80;

  // `com_initialized`: the caller's thread is already set up for the platform (kept for the
  // callers; nothing needs doing here).
  explicit mss_engine(bool com_initialized = false);
  ~mss_engine() noexcept(false) override;

  // Proves the server and credentials by connecting once (Windows authentication, or a SQL
  // Server login), switches bulk load as asked, and learns the version code. Everything is
  // stored only when all of that succeeded; a failure (odb_exception, or tk_exception when the
  // driver cannot be loaded) leaves the previous state. A Windows-authentication connect forgets
  // an earlier login's user name and password.
  void connect(const std::u16string& server, bool fast_load);
  void connect(const std::u16string& server, const std::u16string& user,
               const std::u16string& password, bool fast_load);

  // A data source for `spec`, initialised: the server has been contacted and the credentials
  // verified.
  std::shared_ptr<odb_data_source> test_connection(const odb_connect_spec& spec);
  // The connection of later operations, with `database` as catalog (none when empty). Requires
  // a connected engine (tk_mail_assertion otherwise).
  odb_connect_spec get_connection_string(const std::u16string& database) const;
  // The version code of the server behind `data_source` (see mss_vers.h).
  int get_version(const std::shared_ptr<odb_data_source>& data_source);
  // Bulk load on or off for `data_source`; false when the driver refused, and then the engine's
  // fast-load flag is unchanged.
  bool enable_fast_load(const std::shared_ptr<odb_data_source>& data_source, bool flag);

  // Database operations; each requires a connected engine (tk_mail_assertion otherwise).
  // True when a connection with the database as catalog succeeds; any failure means false.
  bool is_db_exist(const std::u16string& name);
  // Creates the database and opens it with the flag db_created.
  std::unique_ptr<mss_database> create_db(const std::u16string& name);
  void delete_db(const std::u16string& name);
  std::unique_ptr<mss_database> open_db(const std::u16string& name, int32_t flags);

  void set_as_dbo(bool flag);
  // The owner-qualified bracketed name of a table: a bracketed name with an owner comes back
  // unchanged; otherwise the owner is the login (unless it is sa or connect-as-dbo is on, which
  // give dbo) and the table part goes into brackets.
  std::u16string get_safe_tname(const std::u16string& name) const;

  int get_version_code() const { return version_; }
  bool is_fast_load() const { return fast_load_; }
  const std::u16string& server_name() const { return server_; }
  const std::u16string& user_name() const { return user_; }
  const std::u16string& password() const { return password_; }
  bool is_connected() const { return connected_; }
  bool is_windows_auth() const { return windows_auth_; }
  bool as_dbo() const { return as_dbo_; }
  bool com_initialized() const { return com_initialized_; }

 private:
  void connect_with(const odb_connect_spec& spec, bool windows_auth, const std::u16string& user,
                    const std::u16string& password, bool fast_load);
  void require_connected(int line) const;

  int version_ = 0;
  std::u16string server_;
  std::u16string user_;
  std::u16string password_;
  bool connected_ = false;
  bool windows_auth_ = false;
  bool fast_load_ = false;
  bool com_initialized_;
  bool as_dbo_ = false;
};
