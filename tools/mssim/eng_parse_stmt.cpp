// Statements of a batch.
#include "eng_errors.h"
#include "eng_parser.h"
#include "eng_types.h"
#include "eng_util.h"

namespace mssim {

namespace {

template <class T>
std::unique_ptr<T> make_stmt(stmt::kind_t k, const token& t) {
  auto s = std::make_unique<T>();
  s->kind = k;
  s->line = t.line;
  s->begin = t.begin;
  return s;
}

}  // namespace

std::vector<stmt_ptr> parser::parse_batch() {
  std::vector<stmt_ptr> out;
  bool first = true;
  while (!at_end()) {
    if (accept_op(";")) continue;
    size_t start = pos_;
    stmt_ptr s = statement(first);
    s->end = toks_[pos_ > start ? pos_ - 1 : start].end;
    first = false;
    out.push_back(std::move(s));
  }
  return out;
}

stmt_ptr parser::statement(bool first_in_batch) {
  const token& t = cur();
  if (t.kind != tok::ident) {
    if (is_op("(") && starts_query()) return select_statement_();
    if (first_in_batch && is_name_token()) return exec_statement_();
    syntax_error();
  }
  if (is_kw("SELECT")) return select_statement_();
  if (is_kw("INSERT")) {
    if (is_kw_at(1, "BULK")) return insert_bulk_statement_();
    return insert_statement_();
  }
  if (is_kw("UPDATE")) return update_statement_();
  if (is_kw("DELETE")) return delete_statement_();
  if (is_kw("TRUNCATE")) return truncate_statement();
  if (is_kw("CREATE")) {
    ++pos_;
    return create_statement(t, first_in_batch);
  }
  if (is_kw("DROP")) return drop_statement();
  if (is_kw("ALTER")) return alter_statement();
  if (is_kw("SET")) return set_statement_();
  if (is_kw("DECLARE")) return declare_statement_();
  if (is_kw("EXEC") || is_kw("EXECUTE")) return exec_statement_();
  if (is_kw("USE")) {
    ++pos_;
    auto s = make_stmt<name_statement>(stmt::use, t);
    qname q;
    q.parts.push_back(name());
    q.text = toks_[pos_ - 1].text;
    s->names.push_back(std::move(q));
    return s;
  }
  if (is_kw("BEGIN")) {
    if (is_kw_at(1, "TRAN") || is_kw_at(1, "TRANSACTION") || is_kw_at(1, "DISTRIBUTED")) {
      ++pos_;
      accept_kw("DISTRIBUTED");
      ++pos_;
      auto s = make_stmt<tran_statement>(stmt::begin_tran, t);
      if (is_name_token() || cur().kind == tok::variable) s->name = cur().val, ++pos_;
      if (accept_kw("WITH")) {
        expect_kw("MARK");
        if (cur().kind == tok::string || cur().kind == tok::nstring) ++pos_;
      }
      return s;
    }
    if (is_kw_at(1, "TRY") || is_kw_at(1, "CATCH")) syntax_error_at(peek());
    ++pos_;
    auto s = make_stmt<block_statement>(stmt::block, t);
    while (!is_kw("END")) {
      if (at_end()) syntax_error();
      if (accept_op(";")) continue;
      s->list.push_back(statement(false));
    }
    ++pos_;
    return s;
  }
  if (is_kw("COMMIT") || is_kw("ROLLBACK") || is_kw("SAVE")) {
    stmt::kind_t k = is_kw("COMMIT")     ? stmt::commit
                     : is_kw("ROLLBACK") ? stmt::rollback
                                         : stmt::save_tran;
    ++pos_;
    auto s = make_stmt<tran_statement>(k, t);
    if (k == stmt::save_tran) {
      if (!accept_kw("TRAN") && !accept_kw("TRANSACTION")) syntax_error();
      if (!is_name_token() && cur().kind != tok::variable) syntax_error();
      s->name = cur().val;
      ++pos_;
      return s;
    }
    if (accept_kw("TRAN") || accept_kw("TRANSACTION")) {
      if (is_name_token() || cur().kind == tok::variable) s->name = cur().val, ++pos_;
    } else {
      accept_kw("WORK");
    }
    return s;
  }
  if (is_kw("IF")) {
    ++pos_;
    auto s = make_stmt<if_statement>(stmt::if_, t);
    s->cond = expression();
    s->then_list.push_back(statement(false));
    accept_op(";");
    if (accept_kw("ELSE")) s->else_list.push_back(statement(false));
    return s;
  }
  if (is_kw("PRINT")) {
    ++pos_;
    auto s = make_stmt<print_statement>(stmt::print, t);
    s->e = expression();
    return s;
  }
  // A name alone at the start of a batch is an EXEC without the keyword.
  if (first_in_batch && is_name_token()) return exec_statement_();
  syntax_error();
}

stmt_ptr parser::select_statement_() {
  const token& t = cur();
  auto s = make_stmt<select_statement>(stmt::select, t);
  s->q = select_query(true);
  return s;
}

stmt_ptr parser::insert_statement_() {
  const token& t = cur();
  ++pos_;
  auto s = make_stmt<insert_statement>(stmt::insert, t);
  accept_kw("INTO");
  s->table = multipart_name();
  if (is_kw("WITH") && peek().kind == tok::op && peek().val == u"(") {
    ++pos_;
    skip_parenthesized();
  }
  if (is_op("(") && !starts_query()) {
    ++pos_;
    s->has_cols = true;
    do {
      qname c = multipart_name();
      s->cols.push_back(c.last());
    } while (accept_op(","));
    expect_op(")");
  }
  if (accept_kw("VALUES")) {
    do {
      expect_op("(");
      std::vector<expr_ptr> row;
      do {
        if (accept_kw("DEFAULT"))
          row.push_back(nullptr);
        else
          row.push_back(expression());
      } while (accept_op(","));
      expect_op(")");
      s->rows.push_back(std::move(row));
    } while (accept_op(","));
  } else if (is_kw("DEFAULT")) {
    ++pos_;
    expect_kw("VALUES");
    s->default_values = true;
  } else if (starts_query()) {
    s->query = select_query();
  } else if (is_kw("EXEC") || is_kw("EXECUTE")) {
    stmt_ptr e = exec_statement_();
    s->exec.reset(static_cast<exec_statement*>(e.release()));
  } else {
    syntax_error();
  }
  return s;
}

stmt_ptr parser::update_statement_() {
  const token& t = cur();
  ++pos_;
  auto s = make_stmt<update_statement>(stmt::update, t);
  if (accept_kw("TOP")) {
    expect_op("(");
    s->top = expression();
    expect_op(")");
  }
  s->table = multipart_name();
  if (is_kw("WITH") && peek().kind == tok::op && peek().val == u"(") {
    ++pos_;
    skip_parenthesized();
  }
  expect_kw("SET");
  do {
    set_clause c;
    c.col_name = multipart_name();
    c.col = c.col_name.last();
    expect_op("=");
    if (accept_kw("DEFAULT"))
      c.e = nullptr;
    else
      c.e = expression();
    s->sets.push_back(std::move(c));
  } while (accept_op(","));
  if (accept_kw("FROM")) s->from = from_list();
  if (accept_kw("WHERE")) s->where = expression();
  return s;
}

stmt_ptr parser::delete_statement_() {
  const token& t = cur();
  ++pos_;
  auto s = make_stmt<delete_statement>(stmt::delete_, t);
  if (accept_kw("TOP")) {
    expect_op("(");
    s->top = expression();
    expect_op(")");
  }
  accept_kw("FROM");
  s->table = multipart_name();
  if (accept_kw("FROM")) s->from = from_list();
  if (accept_kw("WHERE")) s->where = expression();
  return s;
}

stmt_ptr parser::truncate_statement() {
  const token& t = cur();
  ++pos_;
  expect_kw("TABLE");
  auto s = make_stmt<name_statement>(stmt::truncate, t);
  s->names.push_back(multipart_name());
  return s;
}

void parser::key_columns(std::vector<key_column>& cols, bool allow_order) {
  expect_op("(");
  do {
    key_column k;
    k.name = name();
    if (allow_order) {
      if (accept_kw("DESC"))
        k.desc = true;
      else
        accept_kw("ASC");
    }
    cols.push_back(std::move(k));
  } while (accept_op(","));
  expect_op(")");
}

void parser::skip_index_options() {
  // WITH (PAD_INDEX = OFF, ...), WITH FILLFACTOR = n, ON [PRIMARY], TEXTIMAGE_ON x
  for (;;) {
    if (is_kw("WITH") && peek().kind == tok::op && peek().val == u"(") {
      ++pos_;
      skip_parenthesized();
    } else if (is_kw("WITH") && is_kw_at(1, "FILLFACTOR")) {
      pos_ += 2;
      expect_op("=");
      if (cur().kind != tok::integer) syntax_error();
      ++pos_;
    } else if (is_kw("ON") && (peek().kind == tok::qident ||
                               (peek().kind == tok::ident && ieq_ascii(peek().val, "PRIMARY")))) {
      pos_ += 2;
    } else if (is_kw("TEXTIMAGE_ON")) {
      ++pos_;
      if (is_kw("PRIMARY"))
        ++pos_;
      else
        name();
    } else {
      break;
    }
  }
}

void parser::references_clause(constraint_def& c) {
  expect_kw("REFERENCES");
  c.ref_table = multipart_name();
  if (is_op("(")) {
    std::vector<key_column> cols;
    key_columns(cols, false);
    for (auto& k : cols) c.ref_cols.push_back(k.name);
  }
  for (;;) {
    if (is_kw("ON") && (is_kw_at(1, "DELETE") || is_kw_at(1, "UPDATE"))) {
      bool del = is_kw_at(1, "DELETE");
      pos_ += 2;
      ref_action a;
      if (is_kw("NO")) {
        ++pos_;
        if (!accept_kw("ACTION")) syntax_error();
        a = ref_action::no_action;
      } else if (accept_kw("CASCADE")) {
        a = ref_action::cascade;
      } else if (is_kw("SET") && (is_kw_at(1, "NULL") || is_kw_at(1, "DEFAULT"))) {
        a = is_kw_at(1, "NULL") ? ref_action::set_null : ref_action::set_default;
        pos_ += 2;
      } else {
        syntax_error();
      }
      (del ? c.on_delete : c.on_update) = a;
    } else if (is_kw("NOT") && is_kw_at(1, "FOR") && is_kw_at(2, "REPLICATION")) {
      pos_ += 3;
    } else {
      break;
    }
  }
}

void parser::column_constraint(column_def& col, constraint_def& c) {
  c.line = cur().line;
  if (accept_kw("PRIMARY")) {
    expect_kw("KEY");
    c.kind = constraint_def::primary;
  } else if (accept_kw("UNIQUE")) {
    c.kind = constraint_def::unique;
  } else if (is_kw("REFERENCES") || is_kw("FOREIGN")) {
    if (accept_kw("FOREIGN")) expect_kw("KEY");
    c.kind = constraint_def::foreign;
    c.cols.push_back({col.name, false});
    references_clause(c);
    return;
  } else if (accept_kw("CHECK")) {
    c.kind = constraint_def::check;
    if (is_kw("NOT")) pos_ += 3;  // NOT FOR REPLICATION
    expect_op("(");
    size_t b = cur().begin;
    c.e = expression();
    c.e_text = source_text(b, toks_[pos_ - 1].end);
    expect_op(")");
    return;
  } else if (accept_kw("DEFAULT")) {
    c.kind = constraint_def::default_;
    size_t b = cur().begin;
    c.e = expression();
    c.e_text = source_text(b, toks_[pos_ - 1].end);
    return;
  } else {
    syntax_error();
  }
  if (accept_kw("CLUSTERED"))
    c.clustered_given = c.clustered = true;
  else if (accept_kw("NONCLUSTERED"))
    c.clustered_given = true;
  c.cols.push_back({col.name, false});
  skip_index_options();
}

void parser::column_definition(column_def& c) {
  c.line = cur().line;
  c.name = name();
  type_spec(c.type_name, c.type_args);
  for (;;) {
    if (accept_kw("COLLATE")) {
      name();
    } else if (is_kw("NOT") && is_kw_at(1, "NULL")) {
      pos_ += 2;
      c.null_given = true;
      c.nullable = false;
    } else if (accept_kw("NULL")) {
      c.null_given = true;
      c.nullable = true;
    } else if (accept_kw("IDENTITY")) {
      c.identity = true;
      if (accept_op("(")) {
        auto signed_int = [&]() -> int64_t {
          bool neg = accept_op("-");
          if (!neg) accept_op("+");
          if (cur().kind != tok::integer && cur().kind != tok::decimal) syntax_error();
          int64_t v = std::stoll(to_utf8(cur().val));
          ++pos_;
          return neg ? -v : v;
        };
        c.seed = signed_int();
        expect_op(",");
        c.increment = signed_int();
        expect_op(")");
      }
      if (is_kw("NOT") && is_kw_at(1, "FOR")) pos_ += 3;
    } else if (accept_kw("ROWGUIDCOL") || accept_kw("SPARSE")) {
    } else if (is_kw("CONSTRAINT") || is_kw("PRIMARY") || is_kw("UNIQUE") || is_kw("REFERENCES") ||
               is_kw("FOREIGN") || is_kw("CHECK") || is_kw("DEFAULT")) {
      constraint_def k;
      if (accept_kw("CONSTRAINT")) k.name = name();
      column_constraint(c, k);
      c.constraints.push_back(std::move(k));
    } else {
      break;
    }
  }
}

bool parser::table_constraint(constraint_def& c) {
  size_t save = pos_;
  c.line = cur().line;
  if (accept_kw("CONSTRAINT")) c.name = name();
  if (accept_kw("PRIMARY")) {
    expect_kw("KEY");
    c.kind = constraint_def::primary;
  } else if (accept_kw("UNIQUE")) {
    c.kind = constraint_def::unique;
  } else if (accept_kw("FOREIGN")) {
    expect_kw("KEY");
    c.kind = constraint_def::foreign;
    key_columns(c.cols, false);
    references_clause(c);
    return true;
  } else if (accept_kw("CHECK")) {
    c.kind = constraint_def::check;
    if (is_kw("NOT")) pos_ += 3;
    expect_op("(");
    size_t b = cur().begin;
    c.e = expression();
    c.e_text = source_text(b, toks_[pos_ - 1].end);
    expect_op(")");
    return true;
  } else if (accept_kw("DEFAULT")) {
    c.kind = constraint_def::default_;
    size_t b = cur().begin;
    c.e = expression();
    c.e_text = source_text(b, toks_[pos_ - 1].end);
    expect_kw("FOR");
    c.for_col = name();
    return true;
  } else {
    if (pos_ != save) syntax_error();
    return false;
  }
  if (accept_kw("CLUSTERED"))
    c.clustered_given = c.clustered = true;
  else if (accept_kw("NONCLUSTERED"))
    c.clustered_given = true;
  key_columns(c.cols, true);
  skip_index_options();
  return true;
}

stmt_ptr parser::create_statement(const token& t, bool first_in_batch) {
  if (accept_kw("TABLE")) {
    auto s = make_stmt<create_table_statement>(stmt::create_table, t);
    s->table = multipart_name();
    expect_op("(");
    do {
      if (is_op(")")) break;  // trailing comma is allowed by SQL Server
      constraint_def c;
      if (table_constraint(c)) {
        s->constraints.push_back(std::move(c));
        continue;
      }
      column_def col;
      column_definition(col);
      s->cols.push_back(std::move(col));
    } while (accept_op(","));
    expect_op(")");
    skip_index_options();
    return s;
  }
  if (is_kw("UNIQUE") || is_kw("CLUSTERED") || is_kw("NONCLUSTERED") || is_kw("INDEX")) {
    auto s = make_stmt<create_index_statement>(stmt::create_index, t);
    if (accept_kw("UNIQUE")) s->unique = true;
    if (accept_kw("CLUSTERED"))
      s->clustered_given = s->clustered = true;
    else if (accept_kw("NONCLUSTERED"))
      s->clustered_given = true;
    expect_kw("INDEX");
    s->name = name();
    expect_kw("ON");
    s->table = multipart_name();
    key_columns(s->cols, true);
    if (accept_kw("INCLUDE")) {
      std::vector<key_column> inc;
      key_columns(inc, false);
    }
    skip_index_options();
    return s;
  }
  if (is_kw("VIEW")) {
    if (!first_in_batch) {
      sql_error e(111, {u"CREATE VIEW"});
      e.msg.line = t.line;
      throw e;
    }
    ++pos_;
    auto s = make_stmt<create_view_statement>(stmt::create_view, t);
    s->view = multipart_name();
    if (accept_op("(")) {
      do {
        s->cols.push_back(name());
      } while (accept_op(","));
      expect_op(")");
    }
    if (accept_kw("WITH")) {
      do {
        name();  // SCHEMABINDING, ENCRYPTION, VIEW_METADATA
      } while (accept_op(","));
    }
    expect_kw("AS");
    s->q = select_query();
    if (is_kw("WITH") && is_kw_at(1, "CHECK")) {
      pos_ += 2;
      expect_kw("OPTION");
      s->check_option = true;
    }
    accept_op(";");
    if (!at_end()) syntax_error();
    s->text = source_text(t.begin, toks_[pos_ - 1].end);
    s->quoted_identifier = qi_;
    return s;
  }
  if (accept_kw("DATABASE")) {
    auto s = make_stmt<name_statement>(stmt::create_database, t);
    qname q;
    q.parts.push_back(name());
    q.text = toks_[pos_ - 1].text;
    s->names.push_back(std::move(q));
    // ON (...) / LOG ON (...) / COLLATE x: accepted, the engine keeps no files of that kind.
    while (!at_end() && !is_op(";")) {
      if (accept_kw("COLLATE")) {
        name();
      } else if (accept_kw("ON") || (is_kw("LOG") && (pos_++, accept_kw("ON")))) {
        accept_kw("PRIMARY");
        while (is_op("(")) {
          skip_parenthesized();
          accept_op(",");
        }
      } else {
        break;
      }
    }
    return s;
  }
  if (is_kw("PROC") || is_kw("PROCEDURE") || is_kw("FUNCTION") || is_kw("TRIGGER")) {
    syntax_error();
  }
  syntax_error();
}

stmt_ptr parser::drop_statement() {
  const token& t = cur();
  ++pos_;
  stmt::kind_t k;
  if (accept_kw("TABLE"))
    k = stmt::drop_table;
  else if (accept_kw("VIEW"))
    k = stmt::drop_view;
  else if (accept_kw("DATABASE"))
    k = stmt::drop_database;
  else if (accept_kw("INDEX")) {
    auto s = make_stmt<drop_index_statement>(stmt::drop_index, t);
    do {
      qname q = multipart_name();
      if (accept_kw("ON")) {
        if (q.parts.size() != 1) syntax_error();
        s->indexes.push_back({q.last(), multipart_name()});
      } else {
        // table.index (the old form)
        if (q.parts.size() < 2) syntax_error();
        std::u16string ix = q.parts.back();
        q.parts.pop_back();
        s->indexes.push_back({ix, q});
      }
    } while (accept_op(","));
    return s;
  } else {
    syntax_error();
  }
  auto s = make_stmt<name_statement>(k, t);
  if (is_kw("IF") && is_kw_at(1, "EXISTS")) {
    pos_ += 2;
    s->if_exists = true;
  }
  do {
    s->names.push_back(multipart_name());
  } while (accept_op(","));
  return s;
}

stmt_ptr parser::alter_statement() {
  const token& t = cur();
  ++pos_;
  if (accept_kw("DATABASE")) {
    auto s = make_stmt<name_statement>(stmt::alter_database, t);
    qname q;
    q.parts.push_back(name());
    s->names.push_back(q);
    // SET SINGLE_USER [WITH ROLLBACK IMMEDIATE] | MULTI_USER | other options: accepted
    while (!at_end() && !is_op(";") && !is_kw("GO")) {
      const token& x = cur();
      if (x.kind == tok::ident &&
          (ieq_ascii(x.val, "SELECT") || ieq_ascii(x.val, "DROP") || ieq_ascii(x.val, "CREATE") ||
           ieq_ascii(x.val, "USE") || ieq_ascii(x.val, "INSERT") || ieq_ascii(x.val, "ALTER")))
        break;
      ++pos_;
    }
    return s;
  }
  expect_kw("TABLE");
  auto s = make_stmt<alter_table_statement>(stmt::alter_add, t);
  s->table = multipart_name();
  if (is_kw("WITH") && (is_kw_at(1, "CHECK") || is_kw_at(1, "NOCHECK"))) {
    ++pos_;
    s->with_nocheck = is_kw("NOCHECK");
    ++pos_;
  }
  if (accept_kw("ADD")) {
    s->kind = stmt::alter_add;
    do {
      constraint_def c;
      if (table_constraint(c)) {
        s->constraints.push_back(std::move(c));
        continue;
      }
      column_def col;
      column_definition(col);
      s->cols.push_back(std::move(col));
    } while (accept_op(","));
    return s;
  }
  if (accept_kw("DROP")) {
    s->kind = stmt::alter_drop;
    if (accept_kw("COLUMN"))
      s->drop_columns = true;
    else
      accept_kw("CONSTRAINT");
    do {
      s->names.push_back(name());
    } while (accept_op(","));
    return s;
  }
  if (is_kw("CHECK") || is_kw("NOCHECK")) {
    s->kind = stmt::alter_check;
    s->enable = is_kw("CHECK");
    ++pos_;
    expect_kw("CONSTRAINT");
    if (accept_kw("ALL"))
      s->all = true;
    else {
      do {
        s->names.push_back(name());
      } while (accept_op(","));
    }
    return s;
  }
  syntax_error();
}

stmt_ptr parser::set_statement_() {
  const token& t = cur();
  ++pos_;
  if (cur().kind == tok::variable) {
    auto s = make_stmt<set_statement>(stmt::set_variable, t);
    s->var = cur().val;
    ++pos_;
    expect_op("=");
    s->e = expression();
    return s;
  }
  if (accept_kw("IDENTITY_INSERT")) {
    auto s = make_stmt<set_statement>(stmt::set_identity_insert, t);
    s->table = multipart_name();
    if (accept_kw("ON"))
      s->on = true;
    else if (accept_kw("OFF"))
      s->on = false;
    else
      syntax_error();
    return s;
  }
  auto s = make_stmt<set_statement>(stmt::set_option, t);
  if (cur().kind != tok::ident) syntax_error();
  // SET TRANSACTION ISOLATION LEVEL READ COMMITTED
  if (accept_kw("TRANSACTION")) {
    expect_kw("ISOLATION");
    expect_kw("LEVEL");
    s->options.push_back(u"TRANSACTION ISOLATION LEVEL");
    while (cur().kind == tok::ident && !is_kw("SET") && !is_kw("SELECT")) {
      s->value += (s->value.empty() ? u"" : u" ") + upper(cur().val);
      ++pos_;
      if (s->value.size() > 20) break;
    }
    return s;
  }
  do {
    if (cur().kind != tok::ident) syntax_error();
    s->options.push_back(upper(cur().val));
    ++pos_;
  } while (accept_op(","));
  const token& v = cur();
  if (v.kind == tok::ident && s->options.size() == 1 && s->options[0] == u"QUOTED_IDENTIFIER" &&
      (ieq_ascii(v.val, "ON") || ieq_ascii(v.val, "OFF")))
    qi_ = ieq_ascii(v.val, "ON");
  if (v.kind == tok::ident || v.kind == tok::integer || v.kind == tok::string ||
      v.kind == tok::nstring || v.kind == tok::variable || v.kind == tok::qident) {
    s->value = v.kind == tok::ident ? upper(v.val) : v.val;
    if (v.kind == tok::ident && (ieq_ascii(v.val, "ON") || ieq_ascii(v.val, "OFF")))
      s->on = ieq_ascii(v.val, "ON");
    ++pos_;
  } else if (v.kind == tok::op && v.val == u"-" && peek().kind == tok::integer) {
    s->value = u"-" + peek().val;
    pos_ += 2;
  } else {
    syntax_error();
  }
  return s;
}

stmt_ptr parser::declare_statement_() {
  const token& t = cur();
  ++pos_;
  auto s = make_stmt<declare_statement>(stmt::declare, t);
  do {
    if (cur().kind != tok::variable) syntax_error();
    declare_var v;
    v.name = cur().val;
    ++pos_;
    accept_kw("AS");
    qname tn;
    std::vector<std::u16string> args;
    type_spec(tn, args);
    v.type = resolve_type(tn, args, 1, v.name, false);
    if (accept_op("=")) v.init = expression();
    s->vars.push_back(std::move(v));
  } while (accept_op(","));
  return s;
}

std::vector<declare_var> parser::parse_param_list() {
  std::vector<declare_var> out;
  if (at_end()) return out;
  do {
    if (cur().kind != tok::variable) syntax_error();
    declare_var v;
    v.name = cur().val;
    ++pos_;
    accept_kw("AS");
    qname tn;
    std::vector<std::u16string> args;
    type_spec(tn, args);
    v.type = resolve_type(tn, args, int(out.size() + 1), v.name, false);
    if (accept_op("=")) v.init = expression();
    if (!accept_kw("OUTPUT")) accept_kw("OUT");
    out.push_back(std::move(v));
  } while (accept_op(","));
  if (!at_end()) syntax_error();
  return out;
}

stmt_ptr parser::exec_statement_() {
  const token& t = cur();
  if (is_kw("EXEC") || is_kw("EXECUTE")) ++pos_;
  auto s = make_stmt<exec_statement>(stmt::exec, t);
  if (is_op("(")) {
    ++pos_;
    s->dynamic = expression();
    expect_op(")");
    return s;
  }
  if (cur().kind == tok::variable && peek().kind == tok::op && peek().val == u"=") {
    s->status_var = cur().val;
    pos_ += 2;
  }
  s->proc = multipart_name();
  bool first = true;
  while (!at_end() && !is_op(";")) {
    if (!first && !accept_op(",")) break;
    if (first && cur().kind == tok::ident && is_reserved(cur().val) && !is_kw("DEFAULT") &&
        !is_kw("NULL"))
      break;  // the next statement
    exec_arg a;
    if (cur().kind == tok::variable && peek().kind == tok::op && peek().val == u"=") {
      a.name = cur().val;
      pos_ += 2;
    }
    const token& v = cur();
    if (accept_kw("DEFAULT")) {
      a.is_default = true;
    } else if (v.kind == tok::qident || (v.kind == tok::dquote && qi_) ||
               (v.kind == tok::ident && !is_reserved(v.val) &&
                !(peek().kind == tok::op && (peek().val == u"(" || peek().val == u".")))) {
      // A bare or bracketed name stands for its text as an nvarchar value.
      ++pos_;
      auto e = std::make_unique<expr>();
      e->kind = expr::literal;
      e->line = v.line;
      e->lit = value::make_text(v.val);
      e->lit_type = nvarchar_type(std::max<int32_t>(1, int32_t(v.val.size())));
      a.e = std::move(e);
    } else {
      a.e = expression();
    }
    if (accept_kw("OUTPUT") || accept_kw("OUT")) a.output = true;
    s->args.push_back(std::move(a));
    first = false;
  }
  return s;
}

stmt_ptr parser::insert_bulk_statement_() {
  const token& t = cur();
  pos_ += 2;
  auto s = make_stmt<insert_bulk_statement>(stmt::insert_bulk, t);
  s->table = multipart_name();
  if (accept_op("(")) {
    do {
      bulk_column c;
      c.name = name();
      type_spec(c.type_name, c.type_args);
      if (accept_kw("COLLATE")) name();
      // some clients add NULL / NOT NULL
      if (is_kw("NOT") && is_kw_at(1, "NULL"))
        pos_ += 2;
      else
        accept_kw("NULL");
      s->cols.push_back(std::move(c));
    } while (accept_op(","));
    expect_op(")");
  }
  if (accept_kw("WITH")) {
    expect_op("(");
    do {
      if (cur().kind != tok::ident) syntax_error();
      std::u16string h = upper(cur().val);
      ++pos_;
      if (accept_op("=")) {
        h += u"=" + cur().val;
        ++pos_;
      } else if (is_op("(")) {
        skip_parenthesized();
      }
      s->hints.push_back(h);
    } while (accept_op(","));
    expect_op(")");
  }
  return s;
}

}  // namespace mssim
