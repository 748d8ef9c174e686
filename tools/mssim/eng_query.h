// Translation of T-SQL queries and expressions into SQLite SQL. Every expression is typed as SQL
// Server types it, implicit conversions are made explicit (mssim_conv) where the stored forms
// differ, constants are converted at compile time, and the checks SQL Server makes while binding
// a query (208, 207, 209, 4104, 195, 8120, 1033, ...) are made here.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "eng_ast.h"
#include "eng_session.h"

namespace mssim {

struct src_col {
  std::u16string name;
  type_desc type;
  std::string sql;  // "a1.c3"
};

struct source {
  std::u16string exposed;  // alias, or the table name
  std::u16string table;    // base table/view name (for result metadata)
  std::vector<src_col> cols;
  std::string alias_sql;  // "a1"
  object_info* obj = nullptr;
};

struct scope {
  std::vector<source> sources;
  const scope* outer = nullptr;
  bool grouped = false;
  std::vector<std::string> group_sql;
};

// A compiled expression.
struct cexpr {
  std::string sql;
  type_desc type;
  bool is_const = false;  // a known value, in `cval`
  value cval;
  bool is_bool = false;    // a condition (comparison, AND, EXISTS ...)
  bool agg = false;        // contains an aggregate of this query level
  bool is_column = false;  // a bare column reference
  std::u16string col_name, col_table;
  // column references outside aggregates, for the GROUP BY check: display name, SQL
  std::vector<std::pair<std::u16string, std::string>> ungrouped;
};

struct out_col {
  std::u16string name;
  type_desc type;
  std::u16string table;
};

struct compiled_query {
  std::string sql;  // without the WITH prefix
  std::vector<out_col> cols;
};

enum class clause { select_list, where, having, order_by, group_by, on, other };

class compiler {
 public:
  compiler(session::impl& s, database& db) : s_(s), db_(db) {}

  // `nested`: a derived table, view or subquery (ORDER BY needs TOP there: 1033).
  compiled_query select(const select_stmt& q, const scope* outer, bool nested);
  cexpr expression(const expr& e, scope& sc, clause where);
  std::string condition(const expr& e, scope& sc, clause where);  // must be boolean (4145)
  // Converts `e` to `to`: at compile time for constants, else through mssim_conv.
  cexpr coerce(const cexpr& e, const type_desc& to, bool explicit_ = false, int style = 0);
  // A value-producing expression in a scope without tables (INSERT VALUES, SET, defaults).
  cexpr scalar(const expr& e);
  // The complete SQL to run: common table expressions prepended.
  std::string finish(const std::string& sql) const;
  // Adds the FROM sources of `from` to `sc`, returning the FROM clause SQL.
  std::string from_clause(const std::vector<src_ptr>& from, scope& sc);
  std::string sql_string(const std::u16string& s) const;
  // A view's query, compiled afresh from its stored text (so a dropped table shows as 208).
  compiled_query compile_view(const object_info& o);

 private:
  friend struct function_table;
  std::string table_source(const table_src& t, scope& sc);
  void add_named_source(const table_src& t, scope& sc, std::string& sql);
  bool add_virtual_source(const qname& n, const std::u16string& alias, scope& sc, std::string& sql);
  compiled_query select_core(const select_stmt& q, const scope* outer, bool nested, bool has_union);
  cexpr column_ref(const expr& e, scope& sc, clause where);
  cexpr function(const expr& e, scope& sc, clause where);
  cexpr aggregate(const expr& e, scope& sc, clause where);
  cexpr arithmetic(const expr& e, scope& sc, clause where);
  cexpr comparison(const std::u16string& op, cexpr a, cexpr b);
  cexpr subquery_value(const expr& e, scope& sc);
  void after(cexpr& c, const scope& sc);
  std::string new_alias() { return "a" + std::to_string(++alias_count_); }

  session::impl& s_;
  database& db_;
  int alias_count_ = 0;
  int agg_depth_ = 0;
  int view_depth_ = 0;
  std::vector<std::string> ctes_;
};

bool is_aggregate_name(const std::u16string& name);
bool contains_aggregate(const expr& e);
std::string int_literal(int64_t v);

}  // namespace mssim
