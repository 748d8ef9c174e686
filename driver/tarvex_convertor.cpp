#include "tarvex_convertor.h"

#include <cstdio>

#include "error_handler.h"
#include "init_conversion.h"
#include "mss_db.h"
#include "mss_engi.h"
#include "mss_vali.h"
#include "odb_db.h"
#include "odb_exce.h"
#include "reg_settings.h"
#include "sql_database.h"
#include "sql_engine.h"
#include "tk_log.h"
#include "tk_string.h"
#include "udb_db.h"
#include "udb_profile.h"

namespace {

// The run's servers as the two engines serve them.
class engine_servers : public conversion_servers {
 public:
  engine_servers(sql_engine& mysql, mss_engine& mssql) : mysql_(mysql), mssql_(mssql) {}

  std::unique_ptr<udb_database> open_source(const std::u16string& name, int mode) override {
    return mysql_.open_db(name, mode);
  }
  void set_blob_to_text(bool on) override { mysql_.set_blob_to_text(on); }
  bool dest_exists(const std::u16string& name) override { return mssql_.is_db_exist(name); }
  std::unique_ptr<udb_database> open_dest(const std::u16string& name, int flags) override {
    return mssql_.open_db(name, flags);
  }
  std::unique_ptr<udb_database> create_dest(const std::u16string& name) override {
    return mssql_.create_db(name);
  }
  void drop_dest(const std::u16string& name) override { mssql_.delete_db(name); }
  int dest_version() override { return mssql_.get_version_code(); }
  bool dest_fast_load() override { return mssql_.is_fast_load(); }
  void enable_fast_load(udb_database& dest, bool on) override {
    if (auto* db = dynamic_cast<odb_database*>(&dest)) db->enable_fast_load(on);
  }

 private:
  sql_engine& mysql_;
  mss_engine& mssql_;
};

// The destination's answer to a row that repeats a unique or primary key.
constexpr int32_t integrity_violation = 0x80E2F;

constexpr const char16_t* not_conform_text =
    u"The structure of data source does not conform to the destination table.";

}  // namespace

tarvex_convertor::tarvex_convertor(bool console)
    : console_(console),
      engine_servers_(std::make_unique<engine_servers>(mysql_engine(), mssql_engine())) {}

tarvex_convertor::~tarvex_convertor() noexcept(false) = default;

conversion_servers& tarvex_convertor::servers() { return servers_ ? *servers_ : *engine_servers_; }

void tarvex_convertor::set_silent(bool on) { udb_converter::set_silent(on); }

void tarvex_convertor::check_dest() {
  tk_trace(1, "tarvex_convertor::check_dest()");
  if (mode == mode_overwrite_database && servers().dest_exists(dest_db))
    servers().drop_dest(dest_db);
}

void tarvex_convertor::get_all_tables(std::vector<std::u16string>& list) {
  tk_trace(2, "tarvex_convertor::get_all_tables");
  auto db = servers().open_source(src_db, 1);
  list = db->tables;
}

void tarvex_convertor::get_all_views(text_map& list) {
  tk_trace(2, "tarvex_converter::get_all_views");
  auto db = servers().open_source(src_db, 33);
  list = db->views;
}

bool tarvex_convertor::load_profile(const udb_profile& profile) {
  bool ok = udb_converter::load_profile(profile);
  ok = mysql_converter_impl::load_profile(profile) && ok;
  ok = mssql_converter_impl::load_profile(profile) && ok;
  profile.get_switch(udb_profile_keys::mysql_settings, u"BLOB to text",
                     udb_switch_rule::exactly_one, blob_to_text);
  return ok;
}

bool tarvex_convertor::store_profile(udb_profile& profile) const {
  bool ok = udb_converter::store_profile(profile);
  ok = mysql_converter_impl::store_profile(profile) && ok;
  ok = mssql_converter_impl::store_profile(profile) && ok;
  profile.set_switch(udb_profile_keys::mysql_settings, u"BLOB to text", blob_to_text);
  return ok;
}

bool tarvex_convertor::load_settings(const tk_reg_root* root) {
  reg_settings s;
  s.as_dbo = mssql_engine().as_dbo();
  s.blob_to_text = blob_to_text;
  s.convert_views = convert_views;
  s.skip_indexes = skip_indexes;
  s.only_definitions = only_definitions;
  s.windows_authentication = windows_authentication;
  s.port = port;
  s.host = host;
  s.src_db = src_db;
  s.dest_db = dest_db;
  s.user = user;
  s.password = mysql_converter_impl::password;
  s.server = server;
  s.mssql_password = mssql_converter_impl::password;
  s.login = login;
  bool ok = serialize(s, false, root ? root : tk_reg_root::current_user());
  mssql_engine().set_as_dbo(s.as_dbo);
  blob_to_text = s.blob_to_text;
  convert_views = s.convert_views;
  skip_indexes = s.skip_indexes;
  only_definitions = s.only_definitions;
  windows_authentication = s.windows_authentication;
  port = s.port;
  host = s.host;
  src_db = s.src_db;
  dest_db = s.dest_db;
  user = s.user;
  mysql_converter_impl::password = s.password;
  server = s.server;
  mssql_converter_impl::password = s.mssql_password;
  login = s.login;
  return ok;
}

bool tarvex_convertor::store_settings(const tk_reg_root* root) {
  reg_settings s;
  s.as_dbo = mssql_engine().as_dbo();
  s.blob_to_text = blob_to_text;
  s.convert_views = convert_views;
  s.skip_indexes = skip_indexes;
  s.only_definitions = only_definitions;
  s.windows_authentication = windows_authentication;
  s.port = port;
  s.host = host;
  s.src_db = src_db;
  s.dest_db = dest_db;
  s.user = user;
  s.password = mysql_converter_impl::password;
  s.server = server;
  s.mssql_password = mssql_converter_impl::password;
  s.login = login;
  return serialize(s, true, root ? root : tk_reg_root::current_user());
}

// The run. Numbers refer to its steps:
//  1. the guard writes the start line now and the end line (and the finished flag) at the end;
//  2-5. the source and the destination database are opened (the destination created when it is
//     missing; an existing one is opened for appending unless the mode overwrites it);
//  6-9. the work list: the stored queries and the selected tables (all tables of the source when
//     the console program was given neither), by name, a query winning over a table of its name;
//  10-12. every entry converted on its own (convert_entry), its failures reported with its name;
//  13-15. the foreign keys and, when asked, the views.
// Failures outside the entries end the run: the handler reports them without stopping anything.
void tarvex_convertor::operator()() {
  tk_trace(2, "tarvex_convertor::operator()");
  run_failed_ = false;
  problems_ = 0;
  init_conversion guard(*this);
  std::unique_ptr<udb_database> src, dest;
  std::unique_ptr<mss_tn_validator> names;
  bool started = false;
  try {
    conversion_servers& sv = servers();
    sv.set_blob_to_text(blob_to_text);
    src = sv.open_source(src_db, 1);
    if (sv.dest_exists(dest_db))
      dest = sv.open_dest(dest_db, mode != mode_overwrite_database ? 8 : 4);
    else
      dest = sv.create_dest(dest_db);
    bool fast_load = sv.dest_fast_load();

    std::vector<std::u16string> tables = selected_tables;
    if (console_ && tables.empty() && queries.empty()) tables = src->tables;
    tables_total = static_cast<int32_t>(tables.size());
    tk_wtrace(3, u"Converting database %s (%d tables)", src_db, tables_total.load());
    if (console_ && !silent_) {
      std::printf("Converting database %s(%d tables)\n", tk_wide_to_narrow(src_db).c_str(),
                  tables_total.load());
      std::fflush(stdout);
    }

    names = std::make_unique<mss_tn_validator>(tables, dest->tables);
    for (const auto& q : queries) names->add_name_in_use(q.first);

    // The work of this run; the settings themselves stay as they were, so a second run (or a
    // profile saved afterwards) sees the user's selection, not this run's merged list.
    text_map work = queries;
    for (const auto& t : tables) work.emplace(t, std::u16string());
    started = true;

    for (const auto& [name, query] : work) {
      try {
        convert_entry(*src, *dest, *names, fast_load, name, query);
      } catch (const tk_exception& e) {
        get_error_handler().set_context(name);
        get_error_handler().handle(e, false);
      }
      ++tables_done;
    }
    get_error_handler().set_context(u"");
    tables_done = 0;
    tables_total = 0;
    records_total = 0;
    records_done = 0;

    dest->create_relationships(src->relationships);
    if (convert_views) dest->create_views(views);
  } catch (const tk_final_exception&) {
    // The handler stopped the run; it has said why.
  } catch (const tk_exception& e) {
    if (!started) run_failed_ = true;
    get_error_handler().handle(e, true);
  } catch (const std::exception& e) {
    run_failed_ = true;
    tk_trace(3, "ERROR:\n%s", e.what());
    if (!silent_) {
      std::fprintf(stderr, "%s\n", e.what());
      std::fflush(stderr);
    }
  }
  // Steps 16 and 1: the validator, then the destination, then the source; then the guard.
  names.reset();
  dest.reset();
  src.reset();
}

void tarvex_convertor::convert_entry(udb_database& src, udb_database& dest, mss_tn_validator& names,
                                     bool fast_load, const std::u16string& name,
                                     const std::u16string& query) {
  set_current_table(name);
  records_total = 0;
  records_done = 0;

  std::unique_ptr<udb_recordset> source;
  if (query.empty()) {
    if (console_ && !src.is_table_exist(name)) {
      tk_wtrace(3, u"Table %s not exists", name);
      if (!silent_) {
        std::fprintf(stderr, "Table %s not exists\n", tk_wide_to_narrow(name).c_str());
        std::fflush(stderr);
      }
      ++problems_;
      return;
    }
    source = src.get_table(name, 1);
  } else {
    source = src.get_table(name, query, 1);
  }

  std::u16string dest_name = names.is_acceptable(name) ? name : names.get_safe_name(name);
  if (dest_name != name) names.add_name_in_use(dest_name);
  servers().enable_fast_load(dest, fast_load);

  bool existed = dest.is_table_exist(dest_name);
  if (existed) {
    switch (mode) {
      case mode_skip_tables:
        return;
      case mode_overwrite_tables:
        dest.delete_tab(dest_name);
        break;
      case mode_merge:
      case mode_synchronize:
        // Rows go in one by one, so that a duplicate is recognised row by row.
        servers().enable_fast_load(dest, false);
        break;
      default:
        break;
    }
  }

  // 64-bit integers stay 64-bit wherever the destination has such a type (code 3, the 2000
  // server, and every later one); only older servers get doubles.
  udb_schema schema;
  bool narrow_int64 = servers().dest_version() < 3;
  for (const t_ftd* f : source->schema) {
    auto copy = std::make_unique<t_ftd>(*f);
    if (narrow_int64 && (copy->vartype == VT_I8 || copy->vartype == VT_UI8)) {
      tk_trace(2, "Change VT_(U)I8 to VT_R8");
      copy->vartype = VT_R8;
    }
    schema.add(std::move(copy));
  }
  udb_indexes indexes;
  if (!skip_indexes) indexes = source->indexes;

  // The table is made under the name the names map will give it, so that foreign keys and views
  // rewritten through the map find it.
  std::unique_ptr<udb_recordset> target = dest.create_table(dest_name, schema, indexes);
  if (mode == mode_merge && existed && !source->schema.conform_to(target->schema))
    throw tk_exception(tk_wide_to_narrow(not_conform_text), 0);

  if (dest_name != name) {
    tk_wtrace(2, u"Store generated table name '%s'", dest_name);
    dest.names_map.add_tn_mapping(name, dest_name);
  }

  records_total = source->record_count;
  tk_wtrace(3, u"Converting table %s (%d records)", name, records_total.load());
  if (console_ && !silent_) {
    std::printf("Converting table %s(%d records)\n", tk_wide_to_narrow(name).c_str(),
                records_total.load());
    std::fflush(stdout);
  }
  if (!only_definitions) copy_rows(*source, *target, name);

  // The destination table first: closing it commits what it holds, and a failure there is this
  // entry's failure.
  target.reset();
}

void tarvex_convertor::copy_rows(udb_recordset& src, udb_recordset& dest,
                                 const std::u16string& name) {
  error_handler& handler = get_error_handler();
  auto report = [&](const odb_exception& e) {
    handler.set_record_context(name, records_done + 1);
    handler.handle(e, false);
  };
  src.reset();
  while (!src.is_eof()) {
    tk_trace(1, "Converting %d record", records_done.load());
    try {
      dest.append_record(src.get_item());
    } catch (const odb_exception& e) {
      tk_trace(2, "n_mode=%d, error=%d", mode, e.code());
      if (mode == mode_synchronize && e.code() == integrity_violation) {
        try {
          dest.update(src.get_item());
        } catch (const odb_exception& u) {
          report(u);
        }
      } else if (!(mode == mode_merge && e.code() == integrity_violation)) {
        report(e);
      }
    }
    src.next();
    ++records_done;
  }
}
