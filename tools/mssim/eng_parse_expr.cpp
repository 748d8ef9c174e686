// Expressions and queries.
#include <algorithm>

#include "eng_convert.h"
#include "eng_errors.h"
#include "eng_parser.h"
#include "eng_types.h"
#include "eng_util.h"

namespace mssim {

parser::parser(const std::u16string& src, bool quoted_identifier)
    : src_(src), toks_(lex(src)), qi_(quoted_identifier) {}

bool parser::is_kw(const char* kw) const { return is_kw_at(0, kw); }

bool parser::is_kw_at(size_t k, const char* kw) const {
  const token& t = peek(k);
  return t.kind == tok::ident && ieq_ascii(t.val, kw);
}

bool parser::accept_kw(const char* kw) {
  if (!is_kw(kw)) return false;
  ++pos_;
  return true;
}

void parser::expect_kw(const char* kw) {
  if (!accept_kw(kw)) syntax_error();
}

bool parser::is_op(const char* op) const {
  const token& t = cur();
  if (t.kind != tok::op) return false;
  size_t i = 0;
  for (; op[i]; ++i)
    if (i >= t.val.size() || t.val[i] != char16_t(op[i])) return false;
  return i == t.val.size();
}

bool parser::accept_op(const char* op) {
  if (!is_op(op)) return false;
  ++pos_;
  return true;
}

void parser::expect_op(const char* op) {
  if (!accept_op(op)) syntax_error();
}

void parser::syntax_error() const { syntax_error_at(cur()); }

void parser::syntax_error_at(const token& t0) const {
  const token* t = &t0;
  if (t->kind == tok::end) {
    // At the end of the batch SQL Server names the last token it read.
    if (toks_.size() < 2) {
      sql_error e(102, {u""});
      e.msg.line = t->line;
      throw e;
    }
    t = &toks_[toks_.size() - 2];
  }
  std::u16string near = t->kind == tok::qident || t->kind == tok::dquote ||
                                t->kind == tok::string || t->kind == tok::nstring
                            ? t->val
                            : t->text;
  sql_error e = (t->kind == tok::ident && is_reserved(t->val)) ? sql_error(156, {t->val})
                                                               : sql_error(102, {near});
  e.msg.line = t->line;
  throw e;
}

bool parser::is_name_token() const {
  const token& t = cur();
  if (t.kind == tok::qident) return true;
  if (t.kind == tok::dquote) return qi_;
  return t.kind == tok::ident && !is_reserved(t.val);
}

std::u16string parser::name() {
  if (!is_name_token()) syntax_error();
  const token& t = cur();
  if ((t.kind == tok::qident || t.kind == tok::dquote) && t.val.empty()) {
    sql_error e(1038, {});
    e.msg.line = t.line;
    throw e;
  }
  ++pos_;
  return t.val;
}

qname parser::multipart_name() {
  qname q;
  size_t begin = cur().begin;
  q.parts.push_back(name());
  while (is_op(".")) {
    ++pos_;
    if (is_op(".")) {  // db..t
      q.parts.push_back(u"");
      continue;
    }
    q.parts.push_back(name());
  }
  if (q.parts.size() > 4) syntax_error();
  q.text = source_text(begin, toks_[pos_ - 1].end);
  return q;
}

std::u16string parser::source_text(size_t begin, size_t end) const {
  if (end < begin) return u"";
  return src_.substr(begin, end - begin);
}

expr_ptr parser::parse_single_expression() {
  expr_ptr e = expression();
  if (!at_end()) syntax_error();
  return e;
}

expr_ptr parser::expression() { return or_expr(); }

namespace {

expr_ptr make(expr::kind_t k, const token& t) {
  auto e = std::make_unique<expr>();
  e->kind = k;
  e->line = t.line;
  e->begin = t.begin;
  e->end = t.end;
  return e;
}

expr_ptr binary(expr::kind_t k, std::u16string op, expr_ptr a, expr_ptr b) {
  auto e = std::make_unique<expr>();
  e->kind = k;
  e->op = std::move(op);
  e->line = a->line;
  e->begin = a->begin;
  e->end = b->end;
  e->args.push_back(std::move(a));
  e->args.push_back(std::move(b));
  return e;
}

}  // namespace

expr_ptr parser::or_expr() {
  expr_ptr e = and_expr();
  while (is_kw("OR")) {
    ++pos_;
    e = binary(expr::logical, u"OR", std::move(e), and_expr());
  }
  return e;
}

expr_ptr parser::and_expr() {
  expr_ptr e = not_expr();
  while (is_kw("AND")) {
    ++pos_;
    e = binary(expr::logical, u"AND", std::move(e), not_expr());
  }
  return e;
}

expr_ptr parser::not_expr() {
  if (is_kw("NOT")) {
    const token& t = cur();
    ++pos_;
    auto e = make(expr::not_, t);
    e->args.push_back(not_expr());
    e->end = e->args[0]->end;
    return e;
  }
  return predicate();
}

expr_ptr parser::predicate() {
  expr_ptr left = additive();
  for (;;) {
    const token& t = cur();
    if (is_kw("IS")) {
      ++pos_;
      auto e = make(expr::is_null, t);
      e->negate = accept_kw("NOT");
      expect_kw("NULL");
      e->begin = left->begin;
      e->end = toks_[pos_ - 1].end;
      e->args.push_back(std::move(left));
      left = std::move(e);
      continue;
    }
    bool neg = false;
    if (is_kw("NOT") && (is_kw_at(1, "BETWEEN") || is_kw_at(1, "IN") || is_kw_at(1, "LIKE"))) {
      neg = true;
      ++pos_;
    }
    if (accept_kw("BETWEEN")) {
      auto e = make(expr::between, t);
      e->negate = neg;
      e->begin = left->begin;
      e->args.push_back(std::move(left));
      e->args.push_back(additive());
      expect_kw("AND");
      e->args.push_back(additive());
      e->end = e->args.back()->end;
      left = std::move(e);
      continue;
    }
    if (accept_kw("IN")) {
      expect_op("(");
      expr_ptr e;
      if (starts_query()) {
        e = make(expr::in_select, t);
        e->sub = select_query();
      } else {
        e = make(expr::in_list, t);
        e->args.push_back(nullptr);
        do {
          e->args.push_back(expression());
        } while (accept_op(","));
      }
      expect_op(")");
      e->negate = neg;
      e->begin = left->begin;
      e->end = toks_[pos_ - 1].end;
      e->args[0] = std::move(left);
      left = std::move(e);
      continue;
    }
    if (accept_kw("LIKE")) {
      auto e = make(expr::like, t);
      e->negate = neg;
      e->begin = left->begin;
      e->args.push_back(std::move(left));
      e->args.push_back(additive());
      if (accept_kw("ESCAPE")) e->args.push_back(additive());
      e->end = e->args.back()->end;
      left = std::move(e);
      continue;
    }
    if (neg) syntax_error();
    static const char* const cmp[] = {"=", "<>", "!=", "<", ">", "<=", ">=", "!<", "!>"};
    const char* found = nullptr;
    for (const char* c : cmp)
      if (is_op(c)) found = c;
    if (!found) break;
    ++pos_;
    if (is_kw("ANY") || is_kw("SOME") || is_kw("ALL")) {
      bool all = is_kw("ALL");
      ++pos_;
      expect_op("(");
      auto e = make(expr::quantified, t);
      e->op = u16(found);
      e->distinct = all;
      e->sub = select_query();
      expect_op(")");
      e->begin = left->begin;
      e->end = toks_[pos_ - 1].end;
      e->args.push_back(std::move(left));
      left = std::move(e);
      continue;
    }
    left = binary(expr::compare, u16(found), std::move(left), additive());
  }
  return left;
}

expr_ptr parser::additive() {
  expr_ptr e = multiplicative();
  for (;;) {
    const char* op = is_op("+")   ? "+"
                     : is_op("-") ? "-"
                     : is_op("&") ? "&"
                     : is_op("|") ? "|"
                     : is_op("^") ? "^"
                                  : nullptr;
    if (!op) break;
    ++pos_;
    e = binary(expr::binary, u16(op), std::move(e), multiplicative());
  }
  return e;
}

expr_ptr parser::multiplicative() {
  expr_ptr e = unary();
  for (;;) {
    const char* op = is_op("*") ? "*" : is_op("/") ? "/" : is_op("%") ? "%" : nullptr;
    if (!op) break;
    ++pos_;
    e = binary(expr::binary, u16(op), std::move(e), unary());
  }
  return e;
}

expr_ptr parser::unary() {
  const token& t = cur();
  if (is_op("-") || is_op("+") || is_op("~")) {
    ++pos_;
    expr_ptr operand = unary();
    // A signed numeric constant stays a constant (so -2147483648 is an int).
    if (t.val == u"-" && operand->kind == expr::literal && operand->lit.kind != value::null &&
        (operand->lit.kind == value::i64 || operand->lit.kind == value::numeric ||
         operand->lit.kind == value::f64) &&
        operand->op == u"num") {
      if (operand->lit.kind == value::i64)
        operand->lit.i = -operand->lit.i;
      else if (operand->lit.kind == value::f64)
        operand->lit.d = -operand->lit.d;
      else
        operand->lit.negative = !operand->lit.negative;
      operand->begin = t.begin;
      return operand;
    }
    auto e = make(expr::unary, t);
    e->op = t.val;
    e->end = operand->end;
    e->args.push_back(std::move(operand));
    return e;
  }
  return primary();
}

expr_ptr parser::literal_from(const token& t) {
  auto e = make(expr::literal, t);
  switch (t.kind) {
    case tok::integer: {
      std::u16string v = t.val;
      size_t z = v.find_first_not_of(u'0');
      v = z == std::u16string::npos ? u"0" : v.substr(z);
      e->op = u"num";
      if (v.size() <= 10 && std::stoll(to_utf8(v)) <= 2147483648LL) {
        // 2147483648 is an int only after a unary minus; the minus folding handles that.
        long long x = std::stoll(to_utf8(v));
        if (x <= 2147483647LL) {
          e->lit = value::make_int(x);
          e->lit_type = int_type();
          return e;
        }
      }
      if (v.size() > 38) {
        e->lit = value::make_float(std::stod(to_utf8(v)));
        e->lit_type = float_type();
        return e;
      }
      e->lit = value::make_numeric(to_utf8(v), 0, false);
      e->lit_type = numeric_type(int(v.size()), 0);
      return e;
    }
    case tok::decimal: {
      dec d;
      dec_parse(t.val, d);
      size_t dot = t.val.find(u'.');
      int scale = int(t.val.size() - dot - 1);
      std::u16string intpart = t.val.substr(0, dot);
      size_t z = intpart.find_first_not_of(u'0');
      int intd = z == std::u16string::npos ? 0 : int(intpart.size() - z);
      int p = std::max(1, intd + scale);
      e->op = u"num";
      if (p > 38) {
        e->lit = value::make_float(dec_to_double(d));
        e->lit_type = float_type();
        return e;
      }
      e->lit = from_dec(dec_round(d, scale));
      e->lit_type = numeric_type(p, scale);
      return e;
    }
    case tok::real: {
      std::string s = to_utf8(t.val);
      if (!s.empty() && (s.back() == 'e' || s.back() == 'E' || s.back() == '+' || s.back() == '-'))
        s += "0";
      e->op = u"num";
      e->lit = value::make_float(std::strtod(s.c_str(), nullptr));
      e->lit_type = float_type();
      return e;
    }
    case tok::money: {
      dec d;
      std::u16string v = t.val;
      if (!dec_parse(v, d)) d = dec();
      e->op = u"num";
      e->lit = from_dec(dec_round(d, 4));
      e->lit_type = make_type(col_type::money);
      return e;
    }
    case tok::binary: {
      std::u16string h = t.val;
      if (h.size() % 2) h = u"0" + h;
      std::string b;
      auto nib = [](char16_t c) { return c <= u'9' ? c - u'0' : (c | 32) - u'a' + 10; };
      for (size_t k = 0; k < h.size(); k += 2) b += char(nib(h[k]) * 16 + nib(h[k + 1]));
      e->lit_type = make_type(col_type::varbinary,
                              b.size() > 8000 ? -1 : std::max<int32_t>(1, int32_t(b.size())));
      e->lit = value::make_bytes(std::move(b));
      return e;
    }
    case tok::string:
    case tok::dquote:
      e->lit = value::make_text(t.val);
      e->lit_type =
          make_type(col_type::varchar,
                    t.val.size() > 8000 ? -1 : std::max<int32_t>(1, int32_t(t.val.size())));
      return e;
    case tok::nstring:
      e->lit = value::make_text(t.val);
      e->lit_type =
          make_type(col_type::nvarchar,
                    t.val.size() > 4000 ? -1 : std::max<int32_t>(1, int32_t(t.val.size())));
      return e;
    default:
      syntax_error_at(t);
  }
}

bool parser::starts_query() const {
  if (is_kw("SELECT")) return true;
  if (is_op("(")) {
    size_t k = 0;
    while (peek(k).kind == tok::op && peek(k).val == u"(") ++k;
    return peek(k).kind == tok::ident && ieq_ascii(peek(k).val, "SELECT");
  }
  return false;
}

expr_ptr parser::primary() {
  const token& t = cur();
  switch (t.kind) {
    case tok::integer:
    case tok::decimal:
    case tok::real:
    case tok::money:
    case tok::binary:
    case tok::string:
    case tok::nstring:
      ++pos_;
      return literal_from(t);
    case tok::dquote:
      if (!qi_) {
        ++pos_;
        return literal_from(t);
      }
      break;
    case tok::variable: {
      ++pos_;
      auto e = make(expr::variable, t);
      e->name.parts.push_back(t.val);
      e->name.text = t.val;
      return e;
    }
    case tok::sysvar: {
      ++pos_;
      auto e = make(expr::sysvar, t);
      e->name.parts.push_back(upper(t.val));
      e->name.text = t.val;
      return e;
    }
    case tok::op:
      if (t.val == u"(") {
        if (starts_query()) {
          ++pos_;
          auto e = make(expr::subquery, t);
          e->sub = select_query();
          expect_op(")");
          e->end = toks_[pos_ - 1].end;
          return e;
        }
        ++pos_;
        expr_ptr inner = expression();
        expect_op(")");
        inner->begin = t.begin;
        inner->end = toks_[pos_ - 1].end;
        if (inner->kind == expr::literal) inner->op = u"";  // (-1) is no longer a bare constant
        return inner;
      }
      if (t.val == u"{") {
        // ODBC escapes: {d '...'}, {t '...'}, {ts '...'}, {fn f(...)}
        ++pos_;
        if (accept_kw("fn")) {
          expr_ptr e = primary();
          expect_op("}");
          return e;
        }
        if (is_kw("d") || is_kw("t") || is_kw("ts")) {
          std::u16string kind = lower(cur().val);
          ++pos_;
          if (cur().kind != tok::string) syntax_error();
          const token& s = cur();
          ++pos_;
          expect_op("}");
          auto e = make(expr::cast, s);
          e->args.push_back(literal_from(s));
          e->target = kind == u"d"   ? make_type(col_type::date)
                      : kind == u"t" ? make_type(col_type::time, 0, 0, 7)
                                     : datetime_type();
          if (kind == u"t") e->target.scale = 7, e->target.length = 5;
          return e;
        }
        syntax_error();
      }
      break;
    case tok::ident: {
      if (ieq_ascii(t.val, "NULL")) {
        ++pos_;
        auto e = make(expr::literal, t);
        e->lit_type = int_type();
        return e;
      }
      if (ieq_ascii(t.val, "CASE")) return case_expr();
      if (ieq_ascii(t.val, "CAST") || ieq_ascii(t.val, "TRY_CAST")) {
        if (!(peek().kind == tok::op && peek().val == u"(")) break;
        pos_ += 2;
        auto e = make(expr::cast, t);
        e->args.push_back(expression());
        expect_kw("AS");
        e->target = cast_type();
        expect_op(")");
        e->end = toks_[pos_ - 1].end;
        return e;
      }
      if (ieq_ascii(t.val, "CONVERT") || ieq_ascii(t.val, "TRY_CONVERT")) {
        pos_++;
        expect_op("(");
        auto e = make(expr::cast, t);
        e->target = cast_type();
        expect_op(",");
        e->args.push_back(expression());
        if (accept_op(",")) {
          e->args.push_back(expression());
          e->convert_style = true;
        }
        expect_op(")");
        e->end = toks_[pos_ - 1].end;
        return e;
      }
      if (ieq_ascii(t.val, "EXISTS")) {
        ++pos_;
        expect_op("(");
        auto e = make(expr::exists, t);
        e->sub = select_query();
        expect_op(")");
        e->end = toks_[pos_ - 1].end;
        return e;
      }
      // Reserved words that are also functions without parentheses.
      static const char* const niladic[] = {"CURRENT_TIMESTAMP", "CURRENT_USER", "SESSION_USER",
                                            "SYSTEM_USER", "USER"};
      for (const char* w : niladic) {
        if (ieq_ascii(t.val, w)) {
          ++pos_;
          auto e = make(expr::func, t);
          e->name.parts.push_back(t.val);
          e->name.text = t.val;
          return e;
        }
      }
      // Reserved words usable as function names.
      static const char* const reserved_funcs[] = {"LEFT", "RIGHT", "COALESCE", "NULLIF"};
      for (const char* w : reserved_funcs) {
        if (ieq_ascii(t.val, w) && peek().kind == tok::op && peek().val == u"(") {
          ++pos_;
          qname q;
          q.parts.push_back(t.val);
          q.text = t.val;
          return function_call(std::move(q), t);
        }
      }
      break;
    }
    default:
      break;
  }
  if (!is_name_token()) syntax_error();
  qname q = multipart_name();
  if (is_op("(")) return function_call(std::move(q), t);
  // t.* is handled by the select list; here a trailing ".*" is a syntax error.
  auto e = make(expr::column, t);
  e->name = std::move(q);
  e->end = toks_[pos_ - 1].end;
  return e;
}

expr_ptr parser::function_call(qname fname, const token& start) {
  expect_op("(");
  auto e = make(expr::func, start);
  e->name = std::move(fname);
  if (accept_op(")")) {
    e->end = toks_[pos_ - 1].end;
    return e;
  }
  if (is_op("*")) {
    ++pos_;
    e->star = true;
    expect_op(")");
    e->end = toks_[pos_ - 1].end;
    return e;
  }
  if (accept_kw("DISTINCT"))
    e->distinct = true;
  else
    accept_kw("ALL");
  // DATEADD(day, ...): the first argument is a bare date part name, kept as a column reference.
  do {
    e->args.push_back(expression());
  } while (accept_op(","));
  expect_op(")");
  e->end = toks_[pos_ - 1].end;
  return e;
}

expr_ptr parser::case_expr() {
  const token& t = cur();
  ++pos_;
  auto e = make(expr::case_, t);
  if (!is_kw("WHEN")) {
    e->has_operand = true;
    e->args.push_back(expression());
  }
  if (!is_kw("WHEN")) syntax_error();
  while (accept_kw("WHEN")) {
    e->args.push_back(expression());
    expect_kw("THEN");
    e->args.push_back(expression());
  }
  if (accept_kw("ELSE")) {
    e->has_else = true;
    e->args.push_back(expression());
  }
  expect_kw("END");
  e->end = toks_[pos_ - 1].end;
  return e;
}

void parser::type_spec(qname& tname, std::vector<std::u16string>& args) {
  size_t begin = cur().begin;
  if (!is_name_token() && !(cur().kind == tok::ident)) syntax_error();
  // Type names are not reserved words, but a few multi-word ones exist.
  std::u16string first = cur().val;
  if (cur().kind == tok::ident && is_reserved(first) && !ieq_ascii(first, "DOUBLE") &&
      !ieq_ascii(first, "NATIONAL"))
    syntax_error();
  ++pos_;
  tname.parts.push_back(first);
  while (is_op(".") && peek().kind != tok::end) {
    ++pos_;
    tname.parts.push_back(name());
  }
  std::u16string& last = tname.parts.back();
  if (ieq_ascii(last, "double") && accept_kw("PRECISION"))
    last += u" precision";
  else if (ieq_ascii(last, "national")) {
    if (accept_kw("char") || accept_kw("character"))
      last += u" char";
    else if (accept_kw("text"))
      last += u" text";
    else
      syntax_error();
    if (accept_kw("varying")) last += u" varying";
  } else if ((ieq_ascii(last, "char") || ieq_ascii(last, "character") ||
              ieq_ascii(last, "binary")) &&
             accept_kw("VARYING")) {
    last += u" varying";
  }
  tname.text = source_text(begin, toks_[pos_ - 1].end);
  if (accept_op("(")) {
    do {
      const token& a = cur();
      if (a.kind == tok::integer || (a.kind == tok::ident && ieq_ascii(a.val, "max"))) {
        args.push_back(a.val);
        ++pos_;
      } else if (a.kind == tok::op && a.val == u"-" && peek().kind == tok::integer) {
        args.push_back(u"-" + peek().val);
        pos_ += 2;
      } else {
        syntax_error();
      }
    } while (accept_op(","));
    expect_op(")");
  }
}

type_desc parser::cast_type() {
  qname tn;
  std::vector<std::u16string> args;
  type_spec(tn, args);
  return resolve_type(tn, args, 1, u"", true);
}

// ---- queries

std::unique_ptr<select_stmt> parser::select_query(bool allow_into) {
  std::unique_ptr<select_stmt> first;
  if (is_op("(")) {
    ++pos_;
    first = select_query();
    expect_op(")");
  } else {
    first = select_core(allow_into);
  }
  select_stmt* last = first.get();
  while (is_kw("UNION") || is_kw("EXCEPT") || is_kw("INTERSECT")) {
    if (!is_kw("UNION")) syntax_error();
    ++pos_;
    bool all = accept_kw("ALL");
    std::unique_ptr<select_stmt> next;
    if (is_op("(")) {
      ++pos_;
      next = select_query();
      expect_op(")");
    } else {
      next = select_core(false);
    }
    if (!next->order_by.empty()) syntax_error();
    last->union_all = all;
    last->union_next = std::move(next);
    last = last->union_next.get();
  }
  if (is_kw("ORDER")) order_by(first->order_by);
  first->end = toks_[pos_ - 1].end;
  return first;
}

void parser::order_by(std::vector<order_item>& out) {
  expect_kw("ORDER");
  expect_kw("BY");
  do {
    order_item o;
    o.e = expression();
    if (accept_kw("DESC"))
      o.desc = true;
    else
      accept_kw("ASC");
    out.push_back(std::move(o));
  } while (accept_op(","));
}

std::unique_ptr<select_stmt> parser::select_core(bool allow_into) {
  auto q = std::make_unique<select_stmt>();
  q->line = cur().line;
  q->begin = cur().begin;
  expect_kw("SELECT");
  if (accept_kw("DISTINCT"))
    q->distinct = true;
  else
    accept_kw("ALL");
  if (accept_kw("TOP")) {
    if (accept_op("(")) {
      q->top = expression();
      expect_op(")");
    } else {
      const token& t = cur();
      if (t.kind != tok::integer && t.kind != tok::decimal && t.kind != tok::variable)
        syntax_error();
      q->top = primary();
    }
    if (accept_kw("PERCENT")) q->top_percent = true;
    if (is_kw("WITH") && is_kw_at(1, "TIES")) syntax_error();
  }
  do {
    select_item it;
    if (is_op("*")) {
      ++pos_;
      it.star = true;
    } else if (is_name_token() && peek().kind == tok::op && peek().val == u"." && [&] {
                 // a.*, a.b.*: find ".*" after a name chain
                 size_t k = 0;
                 while (peek(k).kind == tok::qident || peek(k).kind == tok::ident ||
                        peek(k).kind == tok::dquote) {
                   if (!(peek(k + 1).kind == tok::op && peek(k + 1).val == u".")) return false;
                   if (peek(k + 2).kind == tok::op && peek(k + 2).val == u"*") return true;
                   k += 2;
                 }
                 return false;
               }()) {
      size_t begin = cur().begin;
      it.star = true;
      it.star_of.parts.push_back(name());
      while (accept_op(".")) {
        if (accept_op("*")) break;
        it.star_of.parts.push_back(name());
      }
      it.star_of.text = source_text(begin, toks_[pos_ - 2].end);
    } else if ((is_name_token() || cur().kind == tok::string) && peek().kind == tok::op &&
               peek().val == u"=") {
      // alias = expression
      const token& a = cur();
      ++pos_;
      ++pos_;
      it.alias = a.val;
      it.has_alias = true;
      it.e = expression();
    } else if (cur().kind == tok::variable && peek().kind == tok::op && peek().val == u"=") {
      // SELECT @v = expr: handled by the statement; keep the variable as the alias marker
      it.alias = cur().val;
      it.has_alias = true;
      pos_ += 2;
      it.e = expression();
      it.assign = true;
    } else {
      it.e = expression();
      if (accept_kw("AS")) {
        if (cur().kind == tok::string || cur().kind == tok::nstring) {
          it.alias = cur().val;
          ++pos_;
        } else {
          it.alias = name();
        }
        it.has_alias = true;
      } else if (is_name_token() || cur().kind == tok::string) {
        it.alias = cur().val;
        it.has_alias = true;
        if (cur().kind != tok::string && cur().val.empty()) name();
        ++pos_;
      }
    }
    q->items.push_back(std::move(it));
  } while (accept_op(","));
  if (is_kw("INTO")) {
    if (!allow_into) syntax_error();
    ++pos_;
    q->into = multipart_name();
  }
  if (accept_kw("FROM")) q->from = from_list();
  if (accept_kw("WHERE")) q->where = expression();
  if (is_kw("GROUP")) {
    ++pos_;
    expect_kw("BY");
    do {
      q->group_by.push_back(expression());
    } while (accept_op(","));
  }
  if (accept_kw("HAVING")) q->having = expression();
  q->end = toks_[pos_ - 1].end;
  return q;
}

std::vector<src_ptr> parser::from_list() {
  std::vector<src_ptr> out;
  do {
    out.push_back(table_source());
  } while (accept_op(","));
  return out;
}

src_ptr parser::table_source() {
  src_ptr left = table_primary();
  for (;;) {
    table_src::join_t jt;
    if (is_kw("CROSS")) {
      ++pos_;
      if (accept_kw("APPLY")) syntax_error_at(toks_[pos_ - 1]);
      expect_kw("JOIN");
      jt = table_src::j_cross;
    } else if (is_kw("INNER") || is_kw("JOIN")) {
      accept_kw("INNER");
      expect_kw("JOIN");
      jt = table_src::j_inner;
    } else if (is_kw("LEFT") || is_kw("RIGHT") || is_kw("FULL")) {
      jt = is_kw("LEFT")    ? table_src::j_left
           : is_kw("RIGHT") ? table_src::j_right
                            : table_src::j_full;
      ++pos_;
      accept_kw("OUTER");
      expect_kw("JOIN");
    } else {
      break;
    }
    auto j = std::make_unique<table_src>();
    j->kind = table_src::join;
    j->jt = jt;
    j->line = left->line;
    j->left = std::move(left);
    j->right = table_primary();
    if (jt != table_src::j_cross) {
      expect_kw("ON");
      j->on = expression();
    }
    left = std::move(j);
  }
  return left;
}

src_ptr parser::table_primary() {
  auto s = std::make_unique<table_src>();
  s->line = cur().line;
  if (is_op("(")) {
    if (starts_query()) {
      ++pos_;
      s->kind = table_src::derived;
      s->sub = select_query();
      expect_op(")");
    } else {
      // ( joined tables )
      ++pos_;
      src_ptr inner = table_source();
      expect_op(")");
      return inner;
    }
  } else {
    s->kind = table_src::named;
    s->name = multipart_name();
  }
  bool alias_required = s->kind == table_src::derived;
  if (accept_kw("AS")) {
    s->alias = name();
  } else if (is_name_token() && !is_kw("OUTER") && !is_kw("APPLY") && !is_kw("CROSS")) {
    // Non-reserved words that begin the next clause are not aliases.
    static const char* const not_alias[] = {"FULL",  "INNER", "LEFT",  "RIGHT",  "JOIN",  "WHERE",
                                            "GROUP", "ORDER", "UNION", "OPTION", "HAVING"};
    bool stop = false;
    for (const char* w : not_alias)
      if (is_kw(w)) stop = true;
    if (!stop) s->alias = name();
  }
  if (s->kind == table_src::derived && accept_op("(")) {
    do {
      s->col_aliases.push_back(name());
    } while (accept_op(","));
    expect_op(")");
  }
  if (alias_required && s->alias.empty()) syntax_error();
  // Table hints: WITH (NOLOCK), (NOLOCK)
  if (s->kind == table_src::named && is_kw("WITH") && peek().kind == tok::op &&
      peek().val == u"(") {
    ++pos_;
    skip_parenthesized();
  }
  return s;
}

void parser::skip_parenthesized() {
  expect_op("(");
  int depth = 1;
  while (depth > 0) {
    if (at_end()) syntax_error();
    if (is_op("("))
      ++depth;
    else if (is_op(")"))
      --depth;
    ++pos_;
  }
}

}  // namespace mssim
