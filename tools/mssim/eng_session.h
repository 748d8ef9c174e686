// Engine and session internals shared by the statement executors.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "eng_ast.h"
#include "eng_convert.h"
#include "eng_database.h"
#include "eng_errors.h"
#include "engine.h"

struct sqlite3_stmt;

namespace mssim {

struct engine::impl {
  options opts;
  version_info ver;
  std::mutex m;
  std::map<std::u16string, std::shared_ptr<mssim::database>> dbs;  // key: fold(name)
  std::atomic<int> next_spid{51};
  int next_db_id = 1;

  explicit impl(options o);
  std::shared_ptr<mssim::database> find_db(const std::u16string& name);
  // 1801 when it exists.
  std::shared_ptr<mssim::database> create_db(const std::u16string& name);
  // 3701, 3702 (in use by any session, the caller's too), 3708 (system database).
  void drop_db(const std::u16string& name);
  std::vector<std::shared_ptr<mssim::database>> all_dbs();
  std::string file_for(const std::u16string& name) const;

  // What the @@VERSION text says about the product.
  std::u16string product_level() const;
  std::u16string edition() const;
  int engine_edition() const;
};

struct variable {
  type_desc type;
  value v;
};

struct session_options {
  bool quoted_identifier = true;
  bool ansi_warnings = true;
  bool ansi_nulls = true;
  bool ansi_padding = true;
  bool ansi_null_dflt_on = true;
  bool concat_null_yields_null = true;
  bool arithabort = true;
  bool nocount = false;
  bool fmtonly = false;
  bool xact_abort = false;
  bool implicit_transactions = false;
  date_order dateformat = date_order::mdy;
  int datefirst = 7;
  std::u16string language = u"us_english";
  int64_t textsize = 2147483647;
  int64_t rowcount_limit = 0;
};

class row_writer;

// A pending `insert bulk`: the target, the column mapping and the state of the current message.
struct bulk_state {
  bool pending = false;
  bool started = false;  // the first row arrived: the database is locked, a transaction open
  std::shared_ptr<mssim::database> db;
  int64_t object_id = 0;
  std::vector<column> cols;
  std::vector<int> positions;  // table column of each bulk column
  bool keep_nulls = false, check_constraints = false;
  int64_t rows = 0;
  bool failed = false;
  sql_error error{0, {}};
  std::shared_ptr<row_writer> writer;
  std::shared_ptr<class statement_scope> scope;
};

struct session::impl {
  engine::impl& eng;
  std::u16string login;
  std::shared_ptr<mssim::database> db;
  session_options o;
  int spid = 51;
  std::map<std::u16string, variable> vars;  // key: fold(name); one batch
  // IDENTITY_INSERT: at most one table per session
  std::shared_ptr<mssim::database> ii_db;
  int64_t ii_object = 0;
  // Session counters behind @@ROWCOUNT, @@IDENTITY, SCOPE_IDENTITY(), @@ERROR, @@TRANCOUNT.
  int64_t last_rowcount = 0;
  bool has_identity = false;
  int64_t last_identity = 0;
  bool has_scope_identity = false;
  int64_t scope_identity = 0;
  int last_error = 0;
  int trancount = 0;
  // The databases an explicit transaction has written to: locked until it ends.
  std::vector<std::shared_ptr<mssim::database>> tx_dbs;
  std::vector<std::u16string> savepoints;
  bulk_state bulk;
  std::atomic<bool> cancelled{false};
  std::vector<item>* out = nullptr;
  int stmt_line = 1;
  bool in_proc = false;
  int depth = 0;  // nested batches (EXEC of a string, sp_executesql)

  impl(engine::impl& e, std::u16string l) : eng(e), login(std::move(l)) {}
  ~impl();

  void set_database(std::shared_ptr<mssim::database> d, bool announce);
  void run_batch(const std::u16string& batch, std::vector<item>& out, bool keep_vars);
  void run_list(std::vector<stmt_ptr>& list, bool& stop);
  void run(stmt& s);
  void emit_rows(result_set rs);
  void emit_done(int64_t count, bool has_count, bool failed = false);
  void emit_info(int number, std::vector<std::u16string> args);
  void emit_error(const sql_error& e);
  void emit_message(message m);
  message make_message(const sql_error& e) const;
  void row_count(int64_t n);  // @@ROWCOUNT and the done of a row-affecting statement

  // executors
  void exec_select(select_statement& s);
  void exec_insert(insert_statement& s);
  void exec_update(update_statement& s);
  void exec_delete(delete_statement& s);
  void exec_truncate(name_statement& s);
  void exec_create_table(create_table_statement& s);
  void exec_drop_table(name_statement& s, bool view);
  void exec_create_index(create_index_statement& s);
  void exec_drop_index(drop_index_statement& s);
  void exec_alter_add(alter_table_statement& s);
  void exec_alter_drop(alter_table_statement& s);
  void exec_alter_check(alter_table_statement& s);
  void exec_create_view(create_view_statement& s);
  void exec_create_database(name_statement& s);
  void exec_drop_database(name_statement& s);
  void exec_use(name_statement& s);
  void exec_set(set_statement& s);
  void exec_set_identity_insert(set_statement& s);
  void exec_declare(declare_statement& s);
  void exec_set_variable(set_statement& s);
  void exec_exec(exec_statement& s);
  void exec_insert_bulk(insert_bulk_statement& s);
  void exec_transaction(stmt& s);
  void exec_print(print_statement& s);
  void exec_if(if_statement& s, bool& stop);
  // SELECT ... INTO: a new table with the columns of a result.
  object_info& create_table_like(const qname& name, const std::vector<column>& cols);

  // Transactions: an explicit one ends here; `commit` false rolls back.
  void end_transaction(bool commit);
  void reload_catalog(mssim::database& d);

  // RPC and EXEC
  void call_proc(const std::u16string& name,
                 const std::vector<std::pair<std::u16string, value>>& params, bool from_rpc);
  bool run_catalog_proc(const std::u16string& name,
                        const std::vector<std::pair<std::u16string, value>>& params);
  void sp_executesql(const std::vector<std::pair<std::u16string, value>>& params);

  // helpers
  object_info* find_object(const qname& n, mssim::database*& in_db);  // nullptr when missing
  object_info& require_table(const qname& n, mssim::database& d);     // 208 when missing
  std::u16string three_part(const object_info& o, const mssim::database& d) const;
  conv_opts conversion(bool explicit_ = false) const;
  void check_cancel() const;
  // The value of an expression without table references (VALUES, SET, defaults, IF).
  value evaluate(const expr& e, mssim::database& d, type_desc& type);
  bool evaluate_condition(const expr& e, mssim::database& d);

  // bulk (eng_bulk.cpp)
  void bulk_add_row(const std::vector<value>& row);
  void bulk_finish(std::vector<item>& out);
  void bulk_drop();
};

// One statement's atomicity: a savepoint inside an explicit transaction, else a transaction of
// its own. The database lock is held for the statement, or for the rest of an explicit
// transaction once it writes.
class statement_scope {
 public:
  statement_scope(session::impl& s, mssim::database& d, bool writes);
  ~statement_scope();
  statement_scope(const statement_scope&) = delete;
  statement_scope& operator=(const statement_scope&) = delete;
  void commit();

 private:
  session::impl& s_;
  mssim::database& d_;
  bool savepoint_ = false;  // inside the session's transaction
  bool done_ = false;
};

// Key values of a row in a unique index, as SQL Server prints them in 2627/2601/1505.
std::u16string key_text(const object_info& t, const index_info& ix, const std::vector<value>& row);

// Names inside strings: OBJECT_ID('dbo.t'), IDENT_CURRENT('[t]'), sp_columns parameters.
qname parse_object_name(const std::u16string& s);

}  // namespace mssim
