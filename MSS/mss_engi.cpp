#include "mss_engi.h"

#include "mss_db.h"
#include "mss_msgs.h"
#include "mss_vali.h"
#include "odb_cmd.h"
#include "odb_exce.h"
#include "odb_recs.h"
#include "tk_log.h"
#include "tk_string.h"

mss_engine::mss_engine(bool com_initialized) : com_initialized_(com_initialized) {
  tk_trace(2, "mss_engine::ctor");
}

mss_engine::~mss_engine() noexcept(false) { tk_trace(2, "mss_engine::dtor"); }

void mss_engine::require_connected(int line) const {
  if (!connected_) throw tk_mail_assertion("mss_engi", line);
}

std::shared_ptr<odb_data_source> mss_engine::test_connection(const odb_connect_spec& spec) {
  tk_wtrace(2, u"mss_engine::test_connection(%s)", spec.oledb_text);
  // A driver manager or driver that cannot be loaded raises the support-library message here.
  auto ds = std::make_shared<odb_data_source>(spec);
  ds->initialize();
  return ds;
}

odb_connect_spec mss_engine::get_connection_string(const std::u16string& database) const {
  require_connected(__LINE__);
  odb_connect_spec spec;
  spec.server = server_;
  spec.catalog = database;
  spec.integrated = windows_auth_;
  spec.oledb_text = u"Provider=sqloledb;Data Source=" + server_;
  if (!database.empty()) spec.oledb_text += u";Initial Catalog=" + database;
  if (windows_auth_) {
    spec.oledb_text += u";Integrated Security=SSPI;";
  } else {
    spec.user = user_;
    spec.password = password_;
    spec.oledb_text += u";User ID=" + user_ + u";Password=" + password_ + u";";
  }
  return spec;
}

void mss_engine::connect(const std::u16string& server, bool fast_load) {
  tk_wtrace(2, u"mss_engine::connect( %s )", server);
  tk_trace(3, "Connecting to MS SQL server...");
  odb_connect_spec spec;
  spec.server = server;
  spec.integrated = true;
  spec.oledb_text = u"Provider=sqloledb;Data Source=" + server + u";Integrated Security=SSPI;";
  connect_with(spec, true, u"", u"", fast_load);
}

void mss_engine::connect(const std::u16string& server, const std::u16string& user,
                         const std::u16string& password, bool fast_load) {
  tk_wtrace(2, u"mss_engine::connect( %s, %s, %s )", server, user, password);
  tk_trace(3, "Connecting to MS SQL server...");
  odb_connect_spec spec;
  spec.server = server;
  spec.user = user;
  spec.password = password;
  spec.oledb_text = u"Provider=sqloledb;Data Source=" + server + u";User Id=" + user +
                    u";Password=" + password + u";";
  connect_with(spec, false, user, password, fast_load);
}

void mss_engine::connect_with(const odb_connect_spec& spec, bool windows_auth,
                              const std::u16string& user, const std::u16string& password,
                              bool fast_load) {
  std::shared_ptr<odb_data_source> ds = test_connection(spec);
  // The flag follows the request when the driver accepted it: asking for no bulk load must not
  // switch it on.
  const bool previous = fast_load_;
  bool accepted = enable_fast_load(ds, fast_load);
  fast_load_ = previous;
  int version = get_version(ds);
  server_ = spec.server;
  user_ = user;
  password_ = password;
  windows_auth_ = windows_auth;
  connected_ = true;
  fast_load_ = accepted && fast_load;
  version_ = version;
}

int mss_engine::get_version(const std::shared_ptr<odb_data_source>& data_source) {
  tk_trace(2, "mss_engine::get_version(priv)");
  std::unique_ptr<odb_rowset> rows;
  odb_command(data_source).execute(u"SELECT @@VERSION", &rows);
  odb_recordset version(std::move(rows));
  std::u16string text = odb_first_value(version);
  tk_wtrace(1, u"MS SQL version string: %s", text);
  return mss_version_code(text);
}

bool mss_engine::enable_fast_load(const std::shared_ptr<odb_data_source>& data_source, bool flag) {
  tk_trace(2, "mss_engine::enable_fast_load(%d)", flag ? 1 : 0);
  if (!data_source) throw tk_mail_assertion("mss_engi", __LINE__);
  if (!data_source->set_bulk_copy(flag)) return false;
  fast_load_ = flag;
  return true;
}

bool mss_engine::is_db_exist(const std::u16string& name) {
  tk_wtrace(2, u"mss_engine::is_db_exist(%s)", name);
  require_connected(__LINE__);
  bool exists;
  try {
    test_connection(get_connection_string(name));
    exists = true;
  } catch (const odb_exception&) {
    exists = false;
  }
  tk_trace(2, "mss_engine::is_db_exist -- end");
  return exists;
}

std::unique_ptr<mss_database> mss_engine::create_db(const std::u16string& name) {
  tk_wtrace(2, u"mss_engine::create_db(%s)", name);
  require_connected(__LINE__);
  tk_wtrace(3, u"Creating MS SQL database '%s'", name);
  {
    std::shared_ptr<odb_data_source> ds = test_connection(get_connection_string(u""));
    odb_command(ds).execute(u"CREATE DATABASE " + mss_bracket(name));
  }
  return open_db(name, db_created);
}

void mss_engine::delete_db(const std::u16string& name) {
  tk_wtrace(2, u"mss_engine::delete_db(%s)", name);
  require_connected(__LINE__);
  tk_wtrace(3, u"Deleting MS SQL database '%s'", name);
  std::shared_ptr<odb_data_source> ds = test_connection(get_connection_string(u""));
  odb_command(ds).execute(u"DROP DATABASE " + mss_bracket(name));
}

std::unique_ptr<mss_database> mss_engine::open_db(const std::u16string& name, int32_t flags) {
  tk_wtrace(2, u"mss_engine::open_db(%s)", name);
  require_connected(__LINE__);
  tk_wtrace(3, u"Opening MS SQL database '%s'", name);
  odb_connect_spec spec = get_connection_string(name);
  tk_wtrace(1, u"Connection string=%s", spec.oledb_text);
  std::shared_ptr<odb_data_source> ds = test_connection(spec);
  odb_session session(ds);
  tk_trace(3, "Connection to the database was establish successfully");
  return std::make_unique<mss_database>(name, ds, session, flags);
}

void mss_engine::set_as_dbo(bool flag) {
  tk_trace(2, "mss_engine::set_as_dbo(%d)", flag ? 1 : 0);
  as_dbo_ = flag;
}

std::u16string mss_engine::get_safe_tname(const std::u16string& name) const {
  tk_wtrace(2, u"mss_engine::get_safe_tname(%s)", name);
  std::u16string table, owner;
  bool split = mss_split_tab_name(name, table, owner);
  if (split && !owner.empty()) {
    tk_trace(1, "This is a full canonized table name");
    return name;
  }
  if (!split) table = name;
  std::u16string prefix = !user_.empty() && !as_dbo_ && !tk_iequal(user_, u"sa")
                              ? mss_bracket(user_) + u"."
                              : std::u16string(u"[dbo].");
  std::u16string result = prefix + mss_bracket(table);
  tk_wtrace(1, u"result=%s", result);
  return result;
}
