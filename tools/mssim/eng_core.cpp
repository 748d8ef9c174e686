// The engine and its sessions: databases, batches, messages, transactions, SET options, USE,
// variables and control flow. The statement executors live in eng_exec_*.cpp.
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "eng_parser.h"
#include "eng_query.h"
#include "eng_session.h"
#include "eng_storage.h"
#include "eng_types.h"
#include "eng_util.h"
#include "eng_write.h"

namespace mssim {

namespace {

const char16_t default_version[] =
    u"Microsoft SQL Server 2022 (RTM) - 16.0.1000.6 (X64) \n\tOct  8 2022 05:58:25 \n\tCopyright "
    u"(C) 2022 Microsoft Corporation\n\tDeveloper Edition (64-bit) on Windows Server 2022 "
    u"Standard 10.0 <X64> (Build 20348: ) (Hypervisor)\n";

// How long a statement waits for a database another session holds in its transaction.
constexpr int lock_timeout_ms = 30000;

version_info parse_version(const std::u16string& text) {
  version_info v;
  v.text = text;
  // "... - 16.0.1000.6 (X64)": the first dotted number after " - ".
  size_t dash = text.find(u" - ");
  size_t p = dash == std::u16string::npos ? 0 : dash + 3;
  while (p < text.size() && !(text[p] >= u'0' && text[p] <= u'9')) ++p;
  size_t e = p;
  while (e < text.size() && ((text[e] >= u'0' && text[e] <= u'9') || text[e] == u'.')) ++e;
  std::u16string token = text.substr(p, e - p);
  int parts[4] = {0, 0, 0, 0};
  int n = 0;
  size_t i = 0;
  while (i < token.size() && n < 4) {
    size_t j = token.find(u'.', i);
    if (j == std::u16string::npos) j = token.size();
    std::u16string piece = token.substr(i, j - i);
    parts[n++] = piece.empty() ? 0 : std::stoi(to_utf8(piece));
    i = j + 1;
  }
  if (n >= 1) {
    v.major = parts[0];
    v.minor = parts[1];
    v.build = parts[2];
    v.revision = parts[3];
    v.product_version = token;
  } else {
    v.product_version = u"16.0.1000.6";
  }
  return v;
}

std::string file_name_part(const std::u16string& name) {
  std::string u = to_utf8(fold(name)), out;
  static const char* hx = "0123456789abcdef";
  for (unsigned char c : u) {
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-') {
      out += char(c);
    } else {
      out += '%';
      out += hx[c >> 4];
      out += hx[c & 15];
    }
  }
  return out;
}

const char* const system_dbs[] = {"master", "tempdb", "model", "msdb"};

}  // namespace

// ---- engine ---------------------------------------------------------------------------------

engine::impl::impl(options o) : opts(std::move(o)) {
  ver = parse_version(opts.version_string.empty() ? std::u16string(default_version)
                                                  : opts.version_string);
  if (!opts.data_dir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(opts.data_dir, ec);
    if (!std::filesystem::is_directory(opts.data_dir))
      throw std::runtime_error("data folder " + opts.data_dir + " cannot be used");
  }
  for (const char* n : system_dbs) {
    std::u16string name = u16(n);
    bool persistent = name == u"master" && !opts.data_dir.empty();
    auto d = std::make_shared<mssim::database>(name, persistent ? file_for(name) : std::string());
    d->id = next_db_id++;
    d->system = true;
    dbs[fold(name)] = d;
  }
  if (!opts.data_dir.empty()) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(opts.data_dir)) {
      std::string f = entry.path().filename().string();
      if (f.size() > 7 && f.rfind("db_", 0) == 0 && f.substr(f.size() - 7) == ".sqlite")
        files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    for (const std::string& f : files) {
      if (f == file_for(u"master")) continue;
      auto d = std::make_shared<mssim::database>(u"", f);
      if (d->name.empty() || dbs.count(fold(d->name))) continue;
      d->id = next_db_id++;
      dbs[fold(d->name)] = d;
    }
  }
}

std::string engine::impl::file_for(const std::u16string& name) const {
  return (std::filesystem::path(opts.data_dir) / ("db_" + file_name_part(name) + ".sqlite"))
      .string();
}

std::shared_ptr<mssim::database> engine::impl::find_db(const std::u16string& name) {
  std::lock_guard<std::mutex> l(m);
  auto it = dbs.find(fold(name));
  return it == dbs.end() ? nullptr : it->second;
}

std::shared_ptr<mssim::database> engine::impl::create_db(const std::u16string& name) {
  std::lock_guard<std::mutex> l(m);
  if (dbs.count(fold(name))) throw sql_error(1801, {name});
  std::string path;
  if (!opts.data_dir.empty()) {
    path = file_for(name);
    std::error_code ec;
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix, ec);
  }
  auto d = std::make_shared<mssim::database>(name, path);
  d->id = next_db_id++;
  dbs[fold(name)] = d;
  return d;
}

void engine::impl::drop_db(const std::u16string& name) {
  std::shared_ptr<mssim::database> d;
  {
    std::lock_guard<std::mutex> l(m);
    auto it = dbs.find(fold(name));
    if (it == dbs.end()) throw sql_error(3701, {u"database", name}, 1);
    d = it->second;
    if (d->system) throw sql_error(3708, {d->name});
    if (d->users.load() > 0) throw sql_error(3702, {d->name}, 4);
    dbs.erase(it);
  }
  d->dropped = true;
  std::string path = d->path;
  d.reset();
  if (!path.empty()) {
    std::error_code ec;
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix, ec);
  }
}

std::vector<std::shared_ptr<mssim::database>> engine::impl::all_dbs() {
  std::lock_guard<std::mutex> l(m);
  std::vector<std::shared_ptr<mssim::database>> out;
  for (auto& [k, d] : dbs) out.push_back(d);
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a->id < b->id; });
  return out;
}

std::u16string engine::impl::product_level() const {
  const std::u16string& t = ver.text;
  size_t nl = t.find(u'\n');
  std::u16string first = t.substr(0, nl);
  for (const char16_t* lv : {u"(SP", u"(RTM", u"(CTP"}) {
    size_t p = first.find(lv);
    if (p != std::u16string::npos) {
      size_t e = first.find(u')', p);
      std::u16string inner = first.substr(p + 1, e == std::u16string::npos ? 0 : e - p - 1);
      size_t dash = inner.find(u'-');
      return dash == std::u16string::npos ? inner : inner.substr(0, dash);
    }
  }
  return u"RTM";
}

std::u16string engine::impl::edition() const {
  const std::u16string& t = ver.text;
  if (t.find(u"Azure") != std::u16string::npos) return u"SQL Azure";
  size_t p = t.find(u" Edition");
  if (p == std::u16string::npos) return u"Developer Edition (64-bit)";
  size_t b = t.rfind(u'\t', p);
  b = b == std::u16string::npos ? 0 : b + 1;
  std::u16string ed = t.substr(b, p + 8 - b);
  if (t.find(u"(64-bit)", p) == p + 8 + 1) ed += u" (64-bit)";
  return ed;
}

int engine::impl::engine_edition() const {
  std::u16string e = edition();
  if (e.find(u"Azure") != std::u16string::npos) return 5;
  if (e.find(u"Express") != std::u16string::npos) return 4;
  if (e.find(u"Standard") != std::u16string::npos) return 2;
  if (e.find(u"Personal") != std::u16string::npos || e.find(u"Desktop") != std::u16string::npos)
    return 1;
  return 3;
}

engine::engine(options opts) : impl_(std::make_unique<impl>(std::move(opts))) {}
engine::~engine() = default;
const version_info& engine::version() const { return impl_->ver; }
const options& engine::opts() const { return impl_->opts; }

std::unique_ptr<session> engine::open_session(const std::u16string& login,
                                              const std::u16string& database,
                                              std::vector<item>& out, bool odbc_defaults) {
  std::shared_ptr<mssim::database> d = impl_->find_db(database.empty() ? u"master" : database);
  if (!d) {
    sql_error e(4060, {database});
    message m = e.msg;
    m.server = impl_->opts.server_name;
    item it;
    it.what = item::error;
    it.msg = m;
    out.push_back(std::move(it));
    return nullptr;
  }
  auto p = std::make_unique<session::impl>(*impl_, login);
  p->spid = impl_->next_spid++;
  // ODBC and OLE DB logins get the ANSI defaults; DB-Library style logins do not.
  p->o.quoted_identifier = odbc_defaults;
  p->o.ansi_warnings = odbc_defaults;
  p->o.ansi_nulls = odbc_defaults;
  p->o.ansi_padding = odbc_defaults;
  p->o.ansi_null_dflt_on = odbc_defaults;
  p->o.concat_null_yields_null = odbc_defaults;
  p->set_database(d, false);
  item it;
  it.what = item::env_database;
  it.old_text = u"master";
  it.text = d->name;
  out.push_back(std::move(it));
  return std::unique_ptr<session>(new session(std::move(p)));
}

// ---- session (public) -------------------------------------------------------------------

session::session(std::unique_ptr<impl> p) : impl_(std::move(p)) {}
session::~session() = default;

void session::execute(const std::u16string& batch, std::vector<item>& out) {
  impl_->cancelled = false;
  if (impl_->bulk.pending) impl_->bulk_drop();
  impl_->run_batch(batch, out, false);
}

void session::call(const std::u16string& proc,
                   const std::vector<std::pair<std::u16string, value>>& params,
                   std::vector<item>& out) {
  impl_->cancelled = false;
  if (impl_->bulk.pending) impl_->bulk_drop();
  impl_->out = &out;
  impl_->vars.clear();
  impl_->in_proc = true;
  try {
    impl_->call_proc(proc, params, true);
  } catch (const cancel_signal&) {
  }
  impl_->in_proc = false;
}

bool session::bulk_pending() const { return impl_->bulk.pending; }
const std::vector<column>& session::bulk_columns() const { return impl_->bulk.cols; }

void session::bulk_rows(const std::vector<std::vector<value>>& rows, std::vector<item>& out) {
  impl_->cancelled = false;
  for (const auto& r : rows) impl_->bulk_add_row(r);
  impl_->bulk_finish(out);
}

void session::bulk_row(const std::vector<value>& row) { impl_->bulk_add_row(row); }

void session::bulk_end(std::vector<item>& out) {
  impl_->cancelled = false;
  impl_->bulk_finish(out);
}

void session::bulk_abort() { impl_->bulk_drop(); }

void session::cancel() { impl_->cancelled = true; }
const std::u16string& session::database() const { return impl_->db->name; }
const std::u16string& session::login() const { return impl_->login; }

// ---- session internals ----------------------------------------------------------------------

session::impl::~impl() {
  try {
    bulk_drop();
    if (trancount > 0 || !tx_dbs.empty()) end_transaction(false);
  } catch (...) {
  }
  if (db) --db->users;
}

void session::impl::set_database(std::shared_ptr<mssim::database> d, bool announce) {
  std::u16string old = db ? db->name : u"master";
  if (db) --db->users;
  db = std::move(d);
  ++db->users;
  if (announce && out) {
    item it;
    it.what = item::env_database;
    it.old_text = old;
    it.text = db->name;
    out->push_back(std::move(it));
  }
}

conv_opts session::impl::conversion(bool explicit_) const {
  conv_opts c;
  c.explicit_ = explicit_;
  c.ansi_warnings = o.ansi_warnings;
  c.order = o.dateformat;
  return c;
}

void session::impl::check_cancel() const {
  if (cancelled.load()) throw cancel_signal{};
}

message session::impl::make_message(const sql_error& e) const {
  message m = e.msg;
  if (m.server.empty()) m.server = eng.opts.server_name;
  return m;
}

void session::impl::emit_message(message m) {
  if (m.server.empty()) m.server = eng.opts.server_name;
  item it;
  it.what = m.cls <= 10 ? item::info : item::error;
  it.msg = std::move(m);
  out->push_back(std::move(it));
}

void session::impl::emit_error(const sql_error& e) {
  for (const message& b : e.before) {
    message m = b;
    if (m.line <= 1) m.line = stmt_line;
    emit_message(m);
  }
  message m = make_message(e);
  emit_message(m);
  last_error = e.msg.number;
}

void session::impl::emit_info(int number, std::vector<std::u16string> args) {
  sql_error e(number, std::move(args));
  message m = make_message(e);
  m.line = stmt_line;
  emit_message(m);
}

void session::impl::emit_rows(result_set rs) {
  item it;
  it.what = item::rows;
  it.rs = std::move(rs);
  out->push_back(std::move(it));
}

void session::impl::emit_done(int64_t count, bool has_count, bool failed) {
  item it;
  it.what = item::done;
  it.count = count;
  it.has_count = has_count && !o.nocount;
  it.failed = failed;
  out->push_back(std::move(it));
}

void session::impl::row_count(int64_t n) {
  last_rowcount = n;
  emit_done(n, true);
}

void session::impl::run_batch(const std::u16string& batch, std::vector<item>& sink,
                              bool keep_vars) {
  std::vector<item>* saved = out;
  out = &sink;
  if (!keep_vars) vars.clear();
  std::vector<stmt_ptr> stmts;
  try {
    parser p(batch, o.quoted_identifier);
    stmts = p.parse_batch();
  } catch (const sql_error& e) {
    emit_error(e);
    emit_done(0, false, true);
    out = saved;
    return;
  }
  ++depth;
  bool stop = false;
  try {
    run_list(stmts, stop);
  } catch (const cancel_signal&) {
    --depth;
    out = saved;
    if (depth > 0) throw;
    return;
  }
  --depth;
  out = saved;
}

void session::impl::run_list(std::vector<stmt_ptr>& list, bool& stop) {
  for (auto& sp : list) {
    if (stop) return;
    check_cancel();
    stmt& s = *sp;
    stmt_line = s.line;
    if (s.kind == stmt::if_) {
      exec_if(static_cast<if_statement&>(s), stop);
      continue;
    }
    if (s.kind == stmt::block) {
      run_list(static_cast<block_statement&>(s).list, stop);
      continue;
    }
    try {
      last_error = 0;
      run(s);
    } catch (sql_error& e) {
      if (e.msg.line <= 1) e.msg.line = s.line;
      emit_error(e);
      if (e.terminated) emit_info(3621, {});
      emit_done(0, false, true);
      // Errors of severity 20 and above end the connection; XACT_ABORT rolls the transaction
      // back and ends the batch on any error.
      if (o.xact_abort && trancount > 0) {
        end_transaction(false);
        stop = true;
      }
      if (e.abort_batch || e.msg.cls >= 20) stop = true;
    }
  }
}

void session::impl::run(stmt& s) {
  switch (s.kind) {
    case stmt::select:
      return exec_select(static_cast<select_statement&>(s));
    case stmt::insert:
      return exec_insert(static_cast<insert_statement&>(s));
    case stmt::update:
      return exec_update(static_cast<update_statement&>(s));
    case stmt::delete_:
      return exec_delete(static_cast<delete_statement&>(s));
    case stmt::truncate:
      return exec_truncate(static_cast<name_statement&>(s));
    case stmt::create_table:
      return exec_create_table(static_cast<create_table_statement&>(s));
    case stmt::drop_table:
      return exec_drop_table(static_cast<name_statement&>(s), false);
    case stmt::drop_view:
      return exec_drop_table(static_cast<name_statement&>(s), true);
    case stmt::create_index:
      return exec_create_index(static_cast<create_index_statement&>(s));
    case stmt::drop_index:
      return exec_drop_index(static_cast<drop_index_statement&>(s));
    case stmt::alter_add:
      return exec_alter_add(static_cast<alter_table_statement&>(s));
    case stmt::alter_drop:
      return exec_alter_drop(static_cast<alter_table_statement&>(s));
    case stmt::alter_check:
      return exec_alter_check(static_cast<alter_table_statement&>(s));
    case stmt::create_view:
      return exec_create_view(static_cast<create_view_statement&>(s));
    case stmt::create_database:
      return exec_create_database(static_cast<name_statement&>(s));
    case stmt::drop_database:
      return exec_drop_database(static_cast<name_statement&>(s));
    case stmt::alter_database: {
      auto& n = static_cast<name_statement&>(s);
      if (!eng.find_db(n.names[0].last())) throw sql_error(911, {n.names[0].last()});
      return emit_done(0, false);
    }
    case stmt::use:
      return exec_use(static_cast<name_statement&>(s));
    case stmt::set_option:
      return exec_set(static_cast<set_statement&>(s));
    case stmt::set_identity_insert:
      return exec_set_identity_insert(static_cast<set_statement&>(s));
    case stmt::set_variable:
      return exec_set_variable(static_cast<set_statement&>(s));
    case stmt::declare:
      return exec_declare(static_cast<declare_statement&>(s));
    case stmt::exec:
      return exec_exec(static_cast<exec_statement&>(s));
    case stmt::begin_tran:
    case stmt::commit:
    case stmt::rollback:
    case stmt::save_tran:
      return exec_transaction(s);
    case stmt::insert_bulk:
      return exec_insert_bulk(static_cast<insert_bulk_statement&>(s));
    case stmt::print:
      return exec_print(static_cast<print_statement&>(s));
    case stmt::if_:
    case stmt::block:
    case stmt::noop:
      return;
  }
}

// ---- statement scope ------------------------------------------------------------------------

statement_scope::statement_scope(session::impl& s, mssim::database& d, bool writes) : s_(s), d_(d) {
  bool in_tx =
      std::any_of(s.tx_dbs.begin(), s.tx_dbs.end(), [&](const auto& p) { return p.get() == &d; });
  if (!in_tx && s.trancount > 0 && writes) {
    if (!d.lock(&s, lock_timeout_ms)) throw sql_error(1222, {});
    try {
      d.exec("BEGIN");
      for (const auto& sp : s.savepoints) d.exec("SAVEPOINT \"u_" + to_utf8(sp) + "\"");
    } catch (...) {
      d.unlock(&s);
      throw;
    }
    for (auto& p : s.eng.all_dbs())
      if (p.get() == &d) s.tx_dbs.push_back(p);
    in_tx = true;
  }
  if (in_tx) {
    savepoint_ = true;
    d.exec("SAVEPOINT stmt");
  } else {
    if (!d.lock(&s, lock_timeout_ms)) throw sql_error(1222, {});
    try {
      d.exec("BEGIN");
    } catch (...) {
      d.unlock(&s);
      throw;
    }
  }
  d.watch_cancel(&s.cancelled);
}

void statement_scope::commit() {
  if (done_) return;
  done_ = true;
  d_.watch_cancel(nullptr);
  if (savepoint_) {
    d_.exec("RELEASE stmt");
    return;
  }
  try {
    d_.exec("COMMIT");
  } catch (...) {
    try {
      d_.exec("ROLLBACK");
    } catch (...) {
    }
    s_.reload_catalog(d_);
    d_.unlock(&s_);
    throw;
  }
  d_.unlock(&s_);
}

statement_scope::~statement_scope() {
  if (done_) return;
  d_.watch_cancel(nullptr);
  try {
    if (savepoint_) {
      d_.exec("ROLLBACK TO stmt");
      d_.exec("RELEASE stmt");
    } else {
      d_.exec("ROLLBACK");
    }
  } catch (...) {
  }
  s_.reload_catalog(d_);
  if (!savepoint_) d_.unlock(&s_);
}

void session::impl::reload_catalog(mssim::database& d) {
  // Identity values handed out are not given back by a rollback, as in SQL Server.
  std::map<int64_t, std::pair<int64_t, bool>> ident;
  for (const auto& [k, o] : d.cat.objects) ident[o->id] = {o->ident_current, o->ident_used};
  std::u16string name;
  try {
    catalog_load(d.handle(), d.cat, name);
  } catch (...) {
  }
  for (auto& [k, o] : d.cat.objects) {
    auto it = ident.find(o->id);
    if (it == ident.end() || !it->second.second) continue;
    const col_info* c = o->identity_col();
    if (!c) continue;
    bool later = !o->ident_used || (c->increment > 0 ? it->second.first > o->ident_current
                                                     : it->second.first < o->ident_current);
    if (later) {
      o->ident_current = it->second.first;
      o->ident_used = true;
    }
  }
  d.clear_cache();
}

void session::impl::end_transaction(bool commit) {
  std::vector<std::shared_ptr<mssim::database>> dbs;
  dbs.swap(tx_dbs);
  trancount = 0;
  savepoints.clear();
  sql_error failure(0, {});
  bool failed = false;
  for (auto& d : dbs) {
    try {
      d->exec(commit ? "COMMIT" : "ROLLBACK");
    } catch (const sql_error& e) {
      failed = true;
      failure = e;
      try {
        d->exec("ROLLBACK");
      } catch (...) {
      }
    }
    if (!commit || failed) reload_catalog(*d);
    d->unlock(this);
  }
  if (failed) throw failure;
}

void session::impl::exec_transaction(stmt& st) {
  auto& s = static_cast<tran_statement&>(st);
  switch (s.kind) {
    case stmt::begin_tran:
      ++trancount;
      break;
    case stmt::commit:
      if (trancount == 0) throw sql_error(3902, {});
      if (--trancount == 0) end_transaction(true);
      break;
    case stmt::rollback:
      if (trancount == 0) throw sql_error(3903, {});
      if (!s.name.empty()) {
        auto it = std::find_if(savepoints.rbegin(), savepoints.rend(),
                               [&](const std::u16string& n) { return ieq(n, s.name); });
        if (it != savepoints.rend()) {
          std::u16string name = *it;
          savepoints.erase(std::next(it).base(), savepoints.end());
          savepoints.push_back(name);  // the savepoint itself stays, as in SQL Server
          for (auto& d : tx_dbs) {
            d->exec("ROLLBACK TO \"u_" + to_utf8(name) + "\"");
            reload_catalog(*d);
          }
          break;
        }
        // The name of the outermost transaction rolls everything back; other names are unknown.
      }
      end_transaction(false);
      break;
    case stmt::save_tran:
      if (trancount == 0) throw sql_error(628, {});
      savepoints.push_back(s.name);
      for (auto& d : tx_dbs) d->exec("SAVEPOINT \"u_" + to_utf8(s.name) + "\"");
      break;
    default:
      break;
  }
  emit_done(0, false);
}

// ---- names ---------------------------------------------------------------------------------

qname parse_object_name(const std::u16string& s) {
  // A name alone parses as an EXEC of a procedure of that name.
  qname q;
  try {
    parser p(s, true);
    std::vector<stmt_ptr> st = p.parse_batch();
    if (st.size() == 1 && st[0]->kind == stmt::exec) {
      auto& e = static_cast<exec_statement&>(*st[0]);
      if (e.args.empty() && !e.dynamic) q = e.proc;
    }
  } catch (const sql_error&) {
  }
  return q;
}

object_info* session::impl::find_object(const qname& n, mssim::database*& in_db) {
  in_db = db.get();
  if (n.parts.size() > 3) return nullptr;
  std::u16string schema = n.parts.size() >= 2 ? n.part_from_end(1) : u"";
  if (schema.empty()) schema = u"dbo";
  if (n.parts.size() == 3 && !n.parts[0].empty() && !ieq(n.parts[0], db->name)) {
    auto other = eng.find_db(n.parts[0]);
    if (!other) return nullptr;
    in_db = other.get();
    return other->cat.find(schema, n.last());
  }
  return db->cat.find(schema, n.last());
}

object_info& session::impl::require_table(const qname& n, mssim::database& d) {
  mssim::database* in = nullptr;
  object_info* o = find_object(n, in);
  if (!o) throw sql_error(208, {n.text});
  if (in != &d)
    throw sql_error(50000, {u"The stand-in does not support references to other databases ('" +
                            n.text + u"')."});
  return *o;
}

std::u16string session::impl::three_part(const object_info& o, const mssim::database& d) const {
  return d.name + u"." + o.schema + u"." + o.name;
}

// ---- evaluation outside tables --------------------------------------------------------------

value session::impl::evaluate(const expr& e, mssim::database& d, type_desc& type) {
  compiler c(*this, d);
  cexpr x = c.scalar(e);
  type = x.type;
  if (x.is_const) return x.cval;
  sqlite3_stmt* st = d.prepare(c.finish("SELECT " + x.sql));
  int rc = sqlite3_step(st);
  if (rc != SQLITE_ROW) d.raise_sqlite_error();
  value v = read_column(st, 0, x.type);
  sqlite3_reset(st);
  return v;
}

bool session::impl::evaluate_condition(const expr& e, mssim::database& d) {
  compiler c(*this, d);
  scope sc;
  std::string cond = c.condition(e, sc, clause::other);
  sqlite3_stmt* st = d.prepare(c.finish("SELECT CASE WHEN " + cond + " THEN 1 ELSE 0 END"));
  int rc = sqlite3_step(st);
  if (rc != SQLITE_ROW) d.raise_sqlite_error();
  bool r = sqlite3_column_int(st, 0) != 0;
  sqlite3_reset(st);
  return r;
}

void session::impl::exec_if(if_statement& s, bool& stop) {
  bool yes = false;
  try {
    statement_scope sc(*this, *db, false);
    yes = evaluate_condition(*s.cond, *db);
    sc.commit();
  } catch (sql_error& e) {
    if (e.msg.line <= 1) e.msg.line = s.line;
    emit_error(e);
    emit_done(0, false, true);
    if (e.abort_batch) stop = true;
    return;
  }
  run_list(yes ? s.then_list : s.else_list, stop);
}

// ---- databases -------------------------------------------------------------------------------

void session::impl::exec_create_database(name_statement& s) {
  if (trancount > 0) throw sql_error(226, {u"CREATE DATABASE"});
  eng.create_db(s.names[0].last());
  emit_done(0, false);
}

void session::impl::exec_drop_database(name_statement& s) {
  if (trancount > 0) throw sql_error(226, {u"DROP DATABASE"});
  for (const qname& n : s.names) {
    if (s.if_exists && !eng.find_db(n.last())) continue;
    eng.drop_db(n.last());
  }
  emit_done(0, false);
}

void session::impl::exec_use(name_statement& s) {
  auto d = eng.find_db(s.names[0].last());
  if (!d) throw sql_error(911, {s.names[0].last()});
  if (d != db) set_database(d, true);
  emit_done(0, false);
}

// ---- SET ----------------------------------------------------------------------------------------

void session::impl::exec_set(set_statement& s) {
  const std::u16string& v = s.value;
  bool on = ieq_ascii(v, "ON");
  bool onoff = on || ieq_ascii(v, "OFF");
  auto need_onoff = [&] {
    if (!onoff) throw sql_error(102, {v});
  };
  for (const std::u16string& opt : s.options) {
    if (opt == u"TRANSACTION ISOLATION LEVEL" || opt == u"DEADLOCK_PRIORITY" ||
        opt == u"LOCK_TIMEOUT" || opt == u"QUERY_GOVERNOR_COST_LIMIT" || opt == u"CONTEXT_INFO")
      continue;
    if (opt == u"DATEFORMAT") {
      std::u16string f = lower(v);
      static const std::pair<const char*, date_order> forms[] = {
          {"mdy", date_order::mdy}, {"dmy", date_order::dmy}, {"ymd", date_order::ymd},
          {"ydm", date_order::ydm}, {"myd", date_order::myd}, {"dym", date_order::dym}};
      bool found = false;
      for (const auto& [n, d] : forms)
        if (f == u16(n)) o.dateformat = d, found = true;
      if (!found) throw sql_error(2741, {});
      continue;
    }
    if (opt == u"DATEFIRST") {
      int n = std::atoi(to_utf8(v).c_str());
      if (n < 1 || n > 7) throw sql_error(2741, {});
      o.datefirst = n;
      continue;
    }
    if (opt == u"LANGUAGE") {
      if (!ieq_ascii(v, "us_english") && !ieq_ascii(v, "english"))
        throw sql_error(50000,
                        {u"The stand-in knows only the language us_english, not '" + v + u"'."});
      o.language = u"us_english";
      continue;
    }
    if (opt == u"TEXTSIZE") {
      int64_t n = std::atoll(to_utf8(v).c_str());
      o.textsize = n <= 0 ? 2147483647 : n;
      continue;
    }
    if (opt == u"ROWCOUNT") {
      o.rowcount_limit = std::max<int64_t>(0, std::atoll(to_utf8(v).c_str()));
      continue;
    }
    need_onoff();
    if (opt == u"QUOTED_IDENTIFIER")
      o.quoted_identifier = on;
    else if (opt == u"ANSI_WARNINGS")
      o.ansi_warnings = on;
    else if (opt == u"ANSI_NULLS")
      o.ansi_nulls = on;
    else if (opt == u"ANSI_PADDING")
      o.ansi_padding = on;
    else if (opt == u"ANSI_NULL_DFLT_ON")
      o.ansi_null_dflt_on = on;
    else if (opt == u"ANSI_NULL_DFLT_OFF")
      o.ansi_null_dflt_on = !on;
    else if (opt == u"CONCAT_NULL_YIELDS_NULL")
      o.concat_null_yields_null = on;
    else if (opt == u"ARITHABORT")
      o.arithabort = on;
    else if (opt == u"NOCOUNT")
      o.nocount = on;
    else if (opt == u"FMTONLY")
      o.fmtonly = on;
    else if (opt == u"XACT_ABORT")
      o.xact_abort = on;
    else if (opt == u"IMPLICIT_TRANSACTIONS")
      o.implicit_transactions = on;
    else if (opt == u"ANSI_DEFAULTS") {
      o.quoted_identifier = o.ansi_warnings = o.ansi_nulls = o.ansi_padding = o.ansi_null_dflt_on =
          on;
    } else if (opt == u"ARITHIGNORE" || opt == u"NUMERIC_ROUNDABORT" ||
               opt == u"CURSOR_CLOSE_ON_COMMIT" || opt == u"NOEXEC" || opt == u"PARSEONLY" ||
               opt == u"STATISTICS" || opt == u"SHOWPLAN_ALL" || opt == u"SHOWPLAN_TEXT" ||
               opt == u"SHOWPLAN_XML" || opt == u"FORCEPLAN" ||
               opt == u"REMOTE_PROC_TRANSACTIONS" || opt == u"NO_BROWSETABLE") {
      // accepted; they change nothing the stand-in models
    } else {
      throw sql_error(195, {opt, u"SET option"});
    }
  }
  emit_done(0, false);
}

void session::impl::exec_set_identity_insert(set_statement& s) {
  mssim::database* in = nullptr;
  object_info* t = find_object(s.table, in);
  if (!t || t->kind != 'U') throw sql_error(1088, {s.table.text});
  std::shared_ptr<mssim::database> d;
  for (auto& p : eng.all_dbs())
    if (p.get() == in) d = p;
  if (!t->identity_col()) throw sql_error(8106, {s.table.text});
  if (s.on) {
    if (ii_object && !(ii_db == d && ii_object == t->id)) {
      object_info* cur = ii_db ? ii_db->cat.by_id(ii_object) : nullptr;
      if (cur) throw sql_error(8107, {three_part(*cur, *ii_db), s.table.text});
    }
    ii_db = d;
    ii_object = t->id;
  } else if (ii_db == d && ii_object == t->id) {
    ii_db.reset();
    ii_object = 0;
  }
  emit_done(0, false);
}

// ---- variables, PRINT, EXEC ---------------------------------------------------------------

void session::impl::exec_declare(declare_statement& s) {
  for (auto& v : s.vars) {
    std::u16string key = fold(v.name);
    if (vars.count(key)) throw sql_error(134, {v.name});
    variable var;
    var.type = v.type;
    if (v.init) {
      statement_scope sc(*this, *db, false);
      type_desc t;
      value x = evaluate(*v.init, *db, t);
      var.v = convert(x, t, v.type, conversion());
      sc.commit();
    }
    vars[key] = std::move(var);
  }
}

void session::impl::exec_set_variable(set_statement& s) {
  auto it = vars.find(fold(s.var));
  if (it == vars.end()) throw sql_error(137, {s.var});
  statement_scope sc(*this, *db, false);
  type_desc t;
  value x = evaluate(*s.e, *db, t);
  it->second.v = convert(x, t, it->second.type, conversion());
  sc.commit();
  emit_done(0, false);
}

void session::impl::exec_print(print_statement& s) {
  statement_scope sc(*this, *db, false);
  type_desc t;
  value x = evaluate(*s.e, *db, t);
  sc.commit();
  std::u16string text = x.kind == value::null ? u"" : to_text(x, t, 0);
  message m;
  m.number = 0;
  m.state = 1;
  m.cls = 0;
  m.text = text;
  m.line = s.line;
  emit_message(m);
  emit_done(0, false);
}

void session::impl::exec_exec(exec_statement& s) {
  if (s.dynamic) {
    type_desc t;
    value text;
    {
      statement_scope sc(*this, *db, false);
      text = evaluate(*s.dynamic, *db, t);
      sc.commit();
    }
    if (text.kind == value::null) return emit_done(0, false);
    value str = convert(text, t, nvarchar_type(-1), conversion(true));
    // Dynamic SQL runs as a batch of its own, without the caller's variables.
    std::map<std::u16string, variable> saved;
    saved.swap(vars);
    try {
      run_batch(str.s, *out, false);
    } catch (...) {
      vars.swap(saved);
      throw;
    }
    vars.swap(saved);
    return;
  }
  std::vector<std::pair<std::u16string, value>> params;
  {
    statement_scope sc(*this, *db, false);
    for (auto& a : s.args) {
      if (a.is_default) continue;
      type_desc t;
      value v = evaluate(*a.e, *db, t);
      // Parameters travel as their natural wire types.
      if (v.kind == value::text && !is_unicode(t.type)) v = value::make_text(v.s);
      params.push_back({a.name, v});
    }
    sc.commit();
  }
  bool saved = in_proc;
  in_proc = true;
  try {
    call_proc(s.proc.text, params, false);
  } catch (...) {
    in_proc = saved;
    throw;
  }
  in_proc = saved;
}

}  // namespace mssim
