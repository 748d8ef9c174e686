// Recursive-descent parser of the T-SQL subset. A whole batch is parsed before any of it runs, as
// SQL Server compiles a batch first: a syntax error anywhere refuses all of it.
#pragma once

#include <string>
#include <vector>

#include "eng_ast.h"
#include "eng_lexer.h"

namespace mssim {

class parser {
 public:
  // `quoted_identifier`: the session's setting at the start of the batch; SET QUOTED_IDENTIFIER
  // inside the batch changes how later double quotes are read, as in SQL Server.
  parser(const std::u16string& src, bool quoted_identifier);

  std::vector<stmt_ptr> parse_batch();
  // Pieces used outside batches: a default expression's text, an `insert bulk` type list.
  expr_ptr parse_single_expression();
  // sp_executesql's @params: "@a int, @b nvarchar(10) = N'x' OUTPUT".
  std::vector<declare_var> parse_param_list();

 private:
  friend struct parse_access;
  // tokens
  const token& cur() const { return toks_[pos_]; }
  const token& peek(size_t k = 1) const { return toks_[std::min(pos_ + k, toks_.size() - 1)]; }
  bool at_end() const { return cur().kind == tok::end; }
  bool is_kw(const char* kw) const;  // current token is the (unquoted) word kw
  bool is_kw_at(size_t k, const char* kw) const;
  bool accept_kw(const char* kw);
  void expect_kw(const char* kw);
  bool is_op(const char* op) const;
  bool accept_op(const char* op);
  void expect_op(const char* op);
  [[noreturn]] void syntax_error() const;  // 102/156 near the current token
  [[noreturn]] void syntax_error_at(const token& t) const;
  bool is_name_token() const;  // identifier usable as a name here
  std::u16string name();       // one name part
  qname multipart_name();      // a.b.c, a..c
  std::u16string source_text(size_t begin, size_t end) const;

  // expressions (eng_parse_expr.cpp)
  expr_ptr expression();
  expr_ptr or_expr();
  expr_ptr and_expr();
  expr_ptr not_expr();
  expr_ptr predicate();
  expr_ptr additive();
  expr_ptr multiplicative();
  expr_ptr unary();
  expr_ptr primary();
  expr_ptr literal_from(const token& t);
  expr_ptr function_call(qname fname, const token& start);
  expr_ptr case_expr();
  void type_spec(qname& tname, std::vector<std::u16string>& args);
  type_desc cast_type();

  // queries
  std::unique_ptr<select_stmt> select_query(bool allow_into = false);
  std::unique_ptr<select_stmt> select_core(bool allow_into);
  std::vector<src_ptr> from_list();
  src_ptr table_source();
  src_ptr table_primary();
  void order_by(std::vector<order_item>& out);
  bool starts_query() const;

  // statements (eng_parse_stmt.cpp)
  stmt_ptr statement(bool first_in_batch);
  stmt_ptr select_statement_();
  stmt_ptr insert_statement_();
  stmt_ptr update_statement_();
  stmt_ptr delete_statement_();
  stmt_ptr create_statement(const token& start, bool first_in_batch);
  stmt_ptr drop_statement();
  stmt_ptr alter_statement();
  stmt_ptr set_statement_();
  stmt_ptr declare_statement_();
  stmt_ptr exec_statement_();
  stmt_ptr insert_bulk_statement_();
  stmt_ptr truncate_statement();
  void column_definition(column_def& c);
  bool table_constraint(constraint_def& c);
  void column_constraint(column_def& col, constraint_def& c);
  void key_columns(std::vector<key_column>& cols, bool allow_order);
  void references_clause(constraint_def& c);
  void skip_index_options();
  void skip_parenthesized();

  std::u16string src_;
  std::vector<token> toks_;
  size_t pos_ = 0;
  bool qi_;
};

}  // namespace mssim
