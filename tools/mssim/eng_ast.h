// The parsed form of a batch: statements, queries and expressions as written, names unresolved.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine.h"

namespace mssim {

// A multi-part name as written: [db.][schema.]object, or a column [table.]column. Empty parts
// stand for omitted ones (db..t).
struct qname {
  std::vector<std::u16string> parts;
  std::u16string text;  // as written, for messages
  bool empty() const { return parts.empty(); }
  const std::u16string& last() const { return parts.back(); }
  std::u16string part_from_end(size_t k) const {
    return k < parts.size() ? parts[parts.size() - 1 - k] : std::u16string();
  }
};

struct select_stmt;
struct expr;
using expr_ptr = std::unique_ptr<expr>;

struct expr {
  enum kind_t {
    literal,     // lit / lit_type
    column,      // name
    variable,    // name.parts[0] = "@x"
    sysvar,      // @@VERSION ...
    unary,       // op "-", "+", "~"; args[0]
    binary,      // op + - * / % & | ^; args[0], args[1]
    compare,     // op = <> != < > <= >= !< !>
    logical,     // op "AND"/"OR"
    not_,        // args[0]
    func,        // name(args); star for COUNT(*); distinct for aggregates
    case_,       // has_operand: args[0] operand; then pairs when/then; has_else: last
    cast,        // CAST(args[0] AS target) / CONVERT(target, args[0][, args[1] style])
    is_null,     // args[0] IS [NOT] NULL (negate)
    in_list,     // args[0] [NOT] IN (args[1..])
    in_select,   // args[0] [NOT] IN (sub)
    between,     // args[0] [NOT] BETWEEN args[1] AND args[2]
    like,        // args[0] [NOT] LIKE args[1] [ESCAPE args[2]]
    exists,      // [NOT] EXISTS (sub)
    subquery,    // (sub) as a value
    quantified,  // args[0] op ANY/ALL (sub): op in `op`, all in `distinct`
  };
  kind_t kind = literal;
  int line = 1;
  size_t begin = 0, end = 0;  // source span
  value lit;
  type_desc lit_type;
  qname name;
  std::u16string op;
  std::vector<expr_ptr> args;
  bool negate = false;
  bool distinct = false;
  bool star = false;
  bool has_operand = false, has_else = false;
  type_desc target;
  bool convert_style = false;  // CONVERT with a style argument in args[1]
  std::unique_ptr<select_stmt> sub;
};

struct table_src;
using src_ptr = std::unique_ptr<table_src>;

struct table_src {
  enum kind_t { named, derived, join, values_ } kind = named;
  qname name;
  std::u16string alias;
  std::unique_ptr<select_stmt> sub;
  std::vector<std::u16string> col_aliases;
  enum join_t { j_inner, j_left, j_right, j_full, j_cross } jt = j_inner;
  src_ptr left, right;
  expr_ptr on;
  int line = 1;
};

struct select_item {
  expr_ptr e;
  std::u16string alias;
  bool has_alias = false;
  bool star = false;
  qname star_of;        // t.* : the qualifier
  bool assign = false;  // SELECT @v = e: `alias` holds the variable
};

struct order_item {
  expr_ptr e;
  bool desc = false;
};

struct select_stmt {
  bool distinct = false;
  expr_ptr top;
  bool top_percent = false;
  std::vector<select_item> items;
  std::vector<src_ptr> from;
  expr_ptr where;
  std::vector<expr_ptr> group_by;
  expr_ptr having;
  std::vector<order_item> order_by;  // on the first select of a UNION chain: for all of it
  std::unique_ptr<select_stmt> union_next;
  bool union_all = false;
  qname into;
  int line = 1;
  size_t begin = 0, end = 0;
};

enum class ref_action { no_action, cascade, set_null, set_default };

struct key_column {
  std::u16string name;
  bool desc = false;
};

struct constraint_def {
  enum kind_t { primary, unique, foreign, check, default_ } kind = primary;
  std::u16string name;  // empty: the server picks one
  bool clustered_given = false, clustered = false;
  std::vector<key_column> cols;
  qname ref_table;
  std::vector<std::u16string> ref_cols;
  ref_action on_delete = ref_action::no_action, on_update = ref_action::no_action;
  expr_ptr e;              // CHECK condition or DEFAULT value
  std::u16string e_text;   // its source text
  std::u16string for_col;  // ALTER TABLE ADD DEFAULT ... FOR col
  int line = 1;
};

struct column_def {
  std::u16string name;
  qname type_name;                        // as written
  std::vector<std::u16string> type_args;  // "(n)", "(p,s)", "max"
  bool null_given = false, nullable = true;
  bool identity = false;
  int64_t seed = 1, increment = 1;
  std::vector<constraint_def>
      constraints;  // inline PRIMARY KEY / UNIQUE / REFERENCES / DEFAULT / CHECK
  int line = 1;
};

struct stmt {
  enum kind_t {
    select,
    insert,
    update,
    delete_,
    truncate,
    create_table,
    drop_table,
    create_index,
    drop_index,
    alter_add,    // ALTER TABLE t ADD <column defs and/or constraints>
    alter_drop,   // ALTER TABLE t DROP CONSTRAINT c / COLUMN c
    alter_check,  // ALTER TABLE t [NO]CHECK CONSTRAINT c|ALL
    create_view,
    drop_view,
    create_database,
    drop_database,
    alter_database,
    use,
    set_option,  // SET <option> ON|OFF|value
    set_identity_insert,
    set_variable,  // SET @x = e / SELECT @x = e
    declare,
    exec,
    begin_tran,
    commit,
    rollback,
    insert_bulk,
    print,
    if_,
    block,
    save_tran,
    noop,
  };
  kind_t kind = noop;
  int line = 1;
  size_t begin = 0, end = 0;
  virtual ~stmt() = default;
};
using stmt_ptr = std::unique_ptr<stmt>;

struct select_statement : stmt {
  std::unique_ptr<select_stmt> q;
  // SELECT @v = expr, ... assigns instead of returning rows
  std::vector<std::u16string> assign_vars;
};

struct insert_statement : stmt {
  qname table;
  std::vector<std::u16string> cols;
  bool has_cols = false;
  std::vector<std::vector<expr_ptr>> rows;  // VALUES (...), (...)
  std::unique_ptr<select_stmt> query;       // INSERT ... SELECT
  bool default_values = false;
  std::unique_ptr<struct exec_statement> exec;  // INSERT ... EXEC is refused
};

struct set_clause {
  std::u16string col;
  qname col_name;
  expr_ptr e;  // null: DEFAULT
};

struct update_statement : stmt {
  qname table;  // target (name or alias)
  std::vector<set_clause> sets;
  std::vector<src_ptr> from;
  expr_ptr where;
  expr_ptr top;
};

struct delete_statement : stmt {
  qname table;
  std::vector<src_ptr> from;
  expr_ptr where;
  expr_ptr top;
};

struct create_table_statement : stmt {
  qname table;
  std::vector<column_def> cols;
  std::vector<constraint_def> constraints;
};

struct name_statement : stmt {  // DROP TABLE/VIEW/DATABASE, TRUNCATE, USE, CREATE DATABASE
  std::vector<qname> names;
  bool if_exists = false;
};

struct create_index_statement : stmt {
  bool unique = false, clustered_given = false, clustered = false;
  std::u16string name;
  qname table;
  std::vector<key_column> cols;
};

struct drop_index_statement : stmt {
  std::vector<std::pair<std::u16string, qname>> indexes;  // index, table
};

struct alter_table_statement : stmt {
  qname table;
  std::vector<column_def> cols;
  std::vector<constraint_def> constraints;
  bool with_nocheck = false;
  std::vector<std::u16string> names;  // DROP CONSTRAINT / COLUMN names; CHECK CONSTRAINT names
  bool drop_columns = false;
  bool enable = true;  // CHECK vs NOCHECK
  bool all = false;    // CHECK CONSTRAINT ALL
};

struct create_view_statement : stmt {
  qname view;
  std::vector<std::u16string> cols;
  std::unique_ptr<select_stmt> q;
  std::u16string text;  // the whole statement as written
  bool quoted_identifier = true;
  bool check_option = false;
};

struct set_statement : stmt {
  std::vector<std::u16string> options;  // upper-cased option names
  std::u16string value;                 // ON / OFF / a value as written
  qname table;                          // IDENTITY_INSERT
  bool on = false;
  std::u16string var;  // SET @x = e
  expr_ptr e;
};

struct declare_var {
  std::u16string name;
  type_desc type;
  expr_ptr init;
};

struct declare_statement : stmt {
  std::vector<declare_var> vars;
};

struct exec_arg {
  std::u16string name;  // "@x" or empty
  expr_ptr e;           // a constant, variable, or a bare identifier as text (lit)
  bool output = false;
  bool is_default = false;
};

struct exec_statement : stmt {
  qname proc;
  std::vector<exec_arg> args;
  expr_ptr dynamic;           // EXEC ('...') / EXEC (@s)
  std::u16string status_var;  // EXEC @r = proc
};

struct bulk_column {
  std::u16string name;
  qname type_name;
  std::vector<std::u16string> type_args;
};

struct insert_bulk_statement : stmt {
  qname table;
  std::vector<bulk_column> cols;
  std::vector<std::u16string> hints;  // upper-cased, e.g. "KEEP_NULLS", "TABLOCK"
};

struct print_statement : stmt {
  expr_ptr e;
};

// BEGIN/COMMIT/ROLLBACK/SAVE TRANSACTION with an optional name.
struct tran_statement : stmt {
  std::u16string name;
};

struct if_statement : stmt {
  expr_ptr cond;
  std::vector<stmt_ptr> then_list, else_list;
};

struct block_statement : stmt {  // BEGIN ... END
  std::vector<stmt_ptr> list;
};

}  // namespace mssim
