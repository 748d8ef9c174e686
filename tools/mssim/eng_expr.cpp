// Expressions: literals, names, operators, predicates, CASE, CAST/CONVERT, subqueries. Functions
// are in eng_functions.cpp, queries in eng_select.cpp.
#include <algorithm>

#include "eng_query.h"
#include "eng_storage.h"
#include "eng_types.h"
#include "eng_util.h"

namespace mssim {
namespace {

enum class rep { integer, real, num, text, blob, dt_full, dt_date, dt_time, guid };

rep rep_of(col_type t) {
  if (is_integer(t) || t == col_type::bit) return rep::integer;
  if (t == col_type::real || t == col_type::float_) return rep::real;
  if (t == col_type::numeric || t == col_type::money || t == col_type::smallmoney) return rep::num;
  if (is_char(t)) return rep::text;
  if (is_binary(t)) return rep::blob;
  if (t == col_type::date) return rep::dt_date;
  if (t == col_type::time) return rep::dt_time;
  if (is_temporal(t)) return rep::dt_full;
  return rep::guid;
}

bool numeric_rep(rep r) { return r == rep::integer || r == rep::real || r == rep::num; }

cexpr constant(const value& v, const type_desc& t) {
  cexpr c;
  c.is_const = true;
  c.cval = v;
  c.type = t;
  c.sql = sql_literal(v, t);
  return c;
}

void merge_flags(cexpr& into, const cexpr& from) {
  into.agg = into.agg || from.agg;
  into.ungrouped.insert(into.ungrouped.end(), from.ungrouped.begin(), from.ungrouped.end());
}

std::u16string op_text(const expr& e) { return e.op; }

}  // namespace

std::string int_literal(int64_t v) { return std::to_string(v); }

std::string compiler::sql_string(const std::u16string& s) const { return sql_quote(to_utf8(s)); }

std::string compiler::finish(const std::string& sql) const {
  if (ctes_.empty()) return sql;
  std::string out = "WITH ";
  for (size_t i = 0; i < ctes_.size(); ++i) {
    if (i) out += ", ";
    out += ctes_[i];
  }
  return out + " " + sql;
}

cexpr compiler::coerce(const cexpr& e, const type_desc& to, bool explicit_, int style) {
  if (e.is_const) {
    conv_opts o = s_.conversion(explicit_);
    o.style = style;
    value v = convert(e.cval, e.type, to, o);
    cexpr c = constant(v, to);
    c.type.nullable = e.type.nullable;
    return c;
  }
  if (!explicit_ && !implicit_allowed(e.type, to)) {
    if (is_char(e.type.type) && is_binary(to.type))
      throw sql_error(257, {type_name(e.type), type_name(to)});
    throw sql_error(206, {type_name(e.type), type_name(to)});
  }
  rep a = rep_of(e.type.type), b = rep_of(to.type);
  bool same_type = e.type.type == to.type && e.type.length == to.length &&
                   e.type.precision == to.precision && e.type.scale == to.scale;
  cexpr c = e;
  c.type = to;
  c.type.nullable = e.type.nullable;
  c.type.identity = false;
  c.is_column = false;
  if (same_type) return c;
  if (!explicit_ && (a == b || (numeric_rep(a) && numeric_rep(b))) && a != rep::dt_full) return c;
  if (!explicit_ && a == b && a == rep::dt_full && e.type.type != col_type::smalldatetime &&
      to.type != col_type::smalldatetime)
    return c;
  int flags = (explicit_ ? conv_explicit : 0) | (s_.o.ansi_warnings ? conv_ansi_warnings : 0) |
              (int(s_.o.dateformat) << 4);
  c.sql = "mssim_conv(" + e.sql + ", " + std::to_string(pack_type(e.type)) + ", " +
          std::to_string(pack_type(to)) + ", " + std::to_string(flags) + ", " +
          std::to_string(style) + ")";
  return c;
}

void compiler::after(cexpr& c, const scope& sc) {
  if (!sc.grouped || c.ungrouped.empty()) return;
  if (std::find(sc.group_sql.begin(), sc.group_sql.end(), c.sql) != sc.group_sql.end())
    c.ungrouped.clear();
}

std::string compiler::condition(const expr& e, scope& sc, clause where) {
  cexpr c = expression(e, sc, where);
  if (!c.is_bool) {
    std::u16string near = u"";
    throw sql_error(4145, {near});
  }
  return c.sql;
}

cexpr compiler::scalar(const expr& e) {
  scope sc;
  cexpr c = expression(e, sc, clause::other);
  if (c.is_bool) throw sql_error(102, {u"="});
  return c;
}

cexpr compiler::column_ref(const expr& e, scope& sc, clause where) {
  const auto& parts = e.name.parts;
  const std::u16string& col = parts.back();
  bool qualified = parts.size() > 1;
  bool qualifier_found = false;
  for (const scope* s = &sc; s; s = s->outer) {
    const source* hit_src = nullptr;
    const src_col* hit = nullptr;
    int hits = 0;
    for (const auto& src : s->sources) {
      if (qualified) {
        const std::u16string& q = parts[parts.size() - 2];
        if (!ieq(src.exposed, q)) continue;
        if (parts.size() > 2 && src.obj && !parts[parts.size() - 3].empty() &&
            !ieq(parts[parts.size() - 3], src.obj->schema))
          continue;
        qualifier_found = true;
      }
      for (const auto& c : src.cols) {
        if (ieq(c.name, col)) {
          if (!hit || hit_src != &src) ++hits;
          hit = &c;
          hit_src = &src;
          break;
        }
      }
    }
    if (hits > 1) throw sql_error(209, {col});
    if (hit) {
      cexpr r;
      r.sql = hit->sql;
      r.type = hit->type;
      r.is_column = true;
      r.col_name = hit->name;
      r.col_table = hit_src->table;
      if (s == &sc && agg_depth_ == 0 && sc.grouped)
        r.ungrouped.push_back({hit_src->exposed + u"." + hit->name, hit->sql});
      (void)where;
      return r;
    }
    if (qualified && qualifier_found) throw sql_error(207, {col});
  }
  if (qualified) throw sql_error(4104, {e.name.text});
  throw sql_error(207, {col});
}

cexpr compiler::comparison(const std::u16string& op, cexpr a, cexpr b) {
  if (a.is_bool || b.is_bool) throw sql_error(102, {op});
  if (is_lob(a.type) && (a.type.type == col_type::text || a.type.type == col_type::ntext ||
                         a.type.type == col_type::image))
    throw sql_error(306, {});
  if (is_lob(b.type) && (b.type.type == col_type::text || b.type.type == col_type::ntext ||
                         b.type.type == col_type::image))
    throw sql_error(306, {});
  bool a_null = a.is_const && a.cval.kind == value::null;
  bool b_null = b.is_const && b.cval.kind == value::null;
  if (!a_null && !b_null) {
    rep ra = rep_of(a.type.type), rb = rep_of(b.type.type);
    bool same = ra == rb || (numeric_rep(ra) && numeric_rep(rb));
    if (!same || (ra == rep::dt_full && a.type.type != b.type.type)) {
      bool a_wins = precedence(a.type.type) >= precedence(b.type.type);
      type_desc t = a_wins ? a.type : b.type;
      if (a_wins)
        b = coerce(b, t);
      else
        a = coerce(a, t);
    }
  }
  std::string o = op == u"!=" ? "<>" : op == u"!<" ? ">=" : op == u"!>" ? "<=" : to_utf8(op);
  cexpr r;
  bool text = is_char(a.type.type) && is_char(b.type.type);
  r.sql = "(" + a.sql + (text ? " COLLATE MSCI " : " ") + o + " " + b.sql + ")";
  r.is_bool = true;
  r.type = bit_type();
  merge_flags(r, a);
  merge_flags(r, b);
  return r;
}

cexpr compiler::arithmetic(const expr& e, scope& sc, clause where) {
  cexpr a = expression(*e.args[0], sc, where);
  cexpr b = expression(*e.args[1], sc, where);
  if (a.is_bool || b.is_bool) throw sql_error(102, {e.op});
  const std::u16string& op = e.op;
  cexpr r;
  merge_flags(r, a);
  merge_flags(r, b);
  bool a_null = a.is_const && a.cval.kind == value::null;
  bool b_null = b.is_const && b.cval.kind == value::null;
  col_type ta = a.type.type, tb = b.type.type;
  // string concatenation
  if (op == u"+" && (is_char(ta) || a_null) && (is_char(tb) || b_null) && !(a_null && b_null)) {
    if (ta == col_type::text || ta == col_type::ntext || tb == col_type::text ||
        tb == col_type::ntext)
      throw sql_error(402, {type_name(a.type), type_name(b.type), u"add"});
    bool uni = is_unicode(ta) || is_unicode(tb);
    int32_t la = a_null ? 0 : a.type.length, lb = b_null ? 0 : b.type.length;
    int32_t len = (la < 0 || lb < 0) ? -1 : la + lb;
    int32_t cap = uni ? 4000 : 8000;
    if (len > cap) len = -1;
    r.type = make_type(uni ? col_type::nvarchar : col_type::varchar,
                       std::max<int32_t>(len, len < 0 ? -1 : 1));
    r.sql = "(" + a.sql + " || " + b.sql + ")";
    if (a.is_const && b.is_const) {
      if (a_null || b_null) return constant(value::make_null(), r.type);
      return constant(value::make_text(a.cval.s + b.cval.s), r.type);
    }
    return r;
  }
  if (op == u"+" && (is_binary(ta) && is_binary(tb))) {
    r.type = make_type(col_type::varbinary, -1);
    r.sql = "(" + a.sql + " || " + b.sql + ")";
    return r;
  }
  // date arithmetic: datetime +/- number of days
  if ((op == u"+" || op == u"-") && (ta == col_type::datetime || ta == col_type::smalldatetime) &&
      (is_numeric_family(tb) || b_null)) {
    r.type = a.type;
    std::string n = "CAST(round((" + b.sql + ") * 86400000.0) AS INTEGER)";
    if (op == u"-") n = "(-" + n + ")";
    r.sql =
        "mssim_dateadd('ms', " + n + ", " + a.sql + ", " + std::to_string(pack_type(a.type)) + ")";
    return r;
  }
  if (op == u"+" && (tb == col_type::datetime || tb == col_type::smalldatetime) &&
      is_numeric_family(ta)) {
    r.type = b.type;
    r.sql = "mssim_dateadd('ms', CAST(round((" + a.sql + ") * 86400000.0) AS INTEGER), " + b.sql +
            ", " + std::to_string(pack_type(b.type)) + ")";
    return r;
  }
  // numbers: strings convert to the numeric side
  if (!a_null && !is_numeric_family(ta)) {
    if (is_char(ta) && (is_numeric_family(tb) || b_null))
      a = coerce(a, b_null ? int_type() : b.type);
    else
      throw sql_error(8117, {type_name(a.type), op == u"+"   ? u"add"
                                                : op == u"-" ? u"subtract"
                                                : op == u"*" ? u"multiply"
                                                : op == u"/" ? u"divide"
                                                             : u"modulo"});
  }
  if (!b_null && !is_numeric_family(tb)) {
    if (is_char(tb) && is_numeric_family(a.type.type))
      b = coerce(b, a.type);
    else
      throw sql_error(8117, {type_name(b.type), op == u"+"   ? u"add"
                                                : op == u"-" ? u"subtract"
                                                : op == u"*" ? u"multiply"
                                                : op == u"/" ? u"divide"
                                                             : u"modulo"});
  }
  ta = a_null ? b.type.type : a.type.type;
  tb = b_null ? a.type.type : b.type.type;
  type_desc t = common_type(a_null ? b.type : a.type, b_null ? a.type : b.type);
  if (t.type == col_type::bit) t = int_type();
  if (t.type == col_type::numeric) {
    auto ps = [](const type_desc& x, int& p, int& s) {
      if (x.type == col_type::numeric || x.type == col_type::money ||
          x.type == col_type::smallmoney) {
        p = x.precision;
        s = x.scale;
      } else {
        p = x.type == col_type::tinyint    ? 3
            : x.type == col_type::smallint ? 5
            : x.type == col_type::bigint   ? 19
                                           : 10;
        s = 0;
      }
    };
    int p1, s1, p2, s2;
    ps(a_null ? b.type : a.type, p1, s1);
    ps(b_null ? a.type : b.type, p2, s2);
    int p = 0, s = 0;
    if (op == u"+" || op == u"-") {
      s = std::max(s1, s2);
      p = std::max(p1 - s1, p2 - s2) + s + 1;
    } else if (op == u"*") {
      p = p1 + p2 + 1;
      s = s1 + s2;
    } else if (op == u"/") {
      s = std::max(6, s1 + p2 + 1);
      p = p1 - s1 + s2 + s;
    } else {
      s = std::max(s1, s2);
      p = std::min(p1 - s1, p2 - s2) + s;
    }
    if (p > 38) {
      int intd = p - s;
      s = std::max(std::min(s, 38 - intd), std::min(s, 6));
      p = 38;
    }
    t = numeric_type(std::max(1, p), std::min(s, std::max(1, p)));
  }
  t.nullable = true;
  r.type = t;
  bool ints = is_integer(t.type);
  std::string as = a.sql, bs = b.sql;
  if (op == u"+" || op == u"-" || op == u"*") {
    r.sql = "(" + as + " " + to_utf8(op) + " " + bs + ")";
  } else if (op == u"/") {
    bool safe = b.is_const && b.cval.kind != value::null &&
                !(b.cval.kind == value::i64 && b.cval.i == 0) &&
                !(b.cval.kind == value::f64 && b.cval.d == 0) &&
                !(b.cval.kind == value::numeric && dec_is_zero(to_dec(b.cval)));
    if (ints)
      r.sql = safe ? "(" + as + " / " + bs + ")" : "mssim_div(" + as + ", " + bs + ", 1)";
    else
      r.sql =
          safe ? "(CAST(" + as + " AS REAL) / " + bs + ")" : "mssim_div(" + as + ", " + bs + ", 0)";
  } else if (op == u"%") {
    if (!ints && !(is_exact(ta) && is_exact(tb)))
      throw sql_error(402, {type_name(a.type), type_name(b.type), u"modulo"});
    r.sql = "mssim_mod(" + as + ", " + bs + ")";
  } else if (op == u"&" || op == u"|" || op == u"^") {
    if (!ints)
      throw sql_error(402, {type_name(a.type), type_name(b.type),
                            u"boolean " + std::u16string(op == u"&"   ? u"AND"
                                                         : op == u"|" ? u"OR"
                                                                      : u"XOR")});
    if (op == u"^")
      r.sql = "((" + as + " | " + bs + ") - (" + as + " & " + bs + "))";
    else
      r.sql = "(" + as + " " + to_utf8(op) + " " + bs + ")";
  }
  return r;
}

cexpr compiler::subquery_value(const expr& e, scope& sc) {
  compiled_query q = select(*e.sub, &sc, true);
  if (q.cols.size() != 1) throw sql_error(116, {});
  cexpr r;
  r.type = q.cols[0].type;
  r.type.nullable = true;
  r.type.identity = false;
  // More than one row is an error in SQL Server (512), not "the first row".
  r.sql = "(SELECT CASE WHEN count(*) > 1 THEN mssim_raise(512) ELSE max(q.k1) END FROM (" + q.sql +
          ") AS q)";
  return r;
}

cexpr compiler::expression(const expr& e, scope& sc, clause where) {
  cexpr r;
  switch (e.kind) {
    case expr::literal:
      r = constant(e.lit, e.lit_type);
      if (e.lit.kind == value::null) r.sql = "NULL";
      return r;
    case expr::column:
      r = column_ref(e, sc, where);
      break;
    case expr::variable: {
      auto it = s_.vars.find(fold(e.name.parts[0]));
      if (it == s_.vars.end()) throw sql_error(137, {e.name.parts[0]});
      r = constant(it->second.v, it->second.type);
      if (it->second.v.kind == value::null) r.sql = "NULL";
      return r;
    }
    case expr::sysvar:
    case expr::func:
      r = function(e, sc, where);
      break;
    case expr::unary: {
      cexpr a = expression(*e.args[0], sc, where);
      if (a.is_bool) throw sql_error(102, {e.op});
      if (!is_numeric_family(a.type.type)) {
        if (is_char(a.type.type))
          a = coerce(a, numeric_type(38, 10));
        else
          throw sql_error(8117, {type_name(a.type), e.op == u"~" ? u"~" : u"minus"});
      }
      if (e.op == u"~" && !is_integer(a.type.type) && a.type.type != col_type::bit)
        throw sql_error(8117, {type_name(a.type), u"~"});
      r = a;
      r.is_column = false;
      r.is_const = false;
      r.type.identity = false;
      r.sql = e.op == u"+" ? a.sql : "(" + to_utf8(e.op) + a.sql + ")";
      if (a.is_const && a.cval.kind != value::null && e.op == u"-") {
        value v = a.cval;
        if (v.kind == value::i64)
          v.i = -v.i;
        else if (v.kind == value::f64)
          v.d = -v.d;
        else if (v.kind == value::numeric)
          v.negative = !v.negative;
        r = constant(v, a.type);
      }
      break;
    }
    case expr::binary:
      r = arithmetic(e, sc, where);
      break;
    case expr::compare: {
      cexpr a = expression(*e.args[0], sc, where);
      cexpr b = expression(*e.args[1], sc, where);
      r = comparison(e.op, std::move(a), std::move(b));
      break;
    }
    case expr::logical: {
      cexpr a = expression(*e.args[0], sc, where);
      cexpr b = expression(*e.args[1], sc, where);
      if (!a.is_bool || !b.is_bool) throw sql_error(4145, {op_text(e)});
      r.sql = "(" + a.sql + " " + to_utf8(e.op) + " " + b.sql + ")";
      r.is_bool = true;
      r.type = bit_type();
      merge_flags(r, a);
      merge_flags(r, b);
      break;
    }
    case expr::not_: {
      cexpr a = expression(*e.args[0], sc, where);
      if (!a.is_bool) throw sql_error(4145, {u"NOT"});
      r.sql = "(NOT " + a.sql + ")";
      r.is_bool = true;
      r.type = bit_type();
      merge_flags(r, a);
      break;
    }
    case expr::is_null: {
      cexpr a = expression(*e.args[0], sc, where);
      if (a.is_bool) throw sql_error(156, {u"IS"});
      r.sql = "(" + a.sql + (e.negate ? " IS NOT NULL)" : " IS NULL)");
      r.is_bool = true;
      r.type = bit_type();
      merge_flags(r, a);
      break;
    }
    case expr::between: {
      cexpr a = expression(*e.args[0], sc, where);
      cexpr lo = expression(*e.args[1], sc, where);
      cexpr hi = expression(*e.args[2], sc, where);
      cexpr c1 = comparison(u">=", a, lo);
      cexpr c2 = comparison(u"<=", a, hi);
      r.sql = "(" + c1.sql + " AND " + c2.sql + ")";
      if (e.negate) r.sql = "(NOT " + r.sql + ")";
      r.is_bool = true;
      r.type = bit_type();
      merge_flags(r, c1);
      merge_flags(r, c2);
      break;
    }
    case expr::in_list: {
      cexpr a = expression(*e.args[0], sc, where);
      std::string list;
      for (size_t i = 1; i < e.args.size(); ++i) {
        cexpr c = comparison(u"=", a, expression(*e.args[i], sc, where));
        if (i > 1) list += " OR ";
        list += c.sql;
        merge_flags(r, c);
      }
      r.sql = "(" + list + ")";
      if (e.negate) r.sql = "(NOT " + r.sql + ")";
      r.is_bool = true;
      r.type = bit_type();
      break;
    }
    case expr::in_select: {
      cexpr a = expression(*e.args[0], sc, where);
      compiled_query q = select(*e.sub, &sc, true);
      if (q.cols.size() != 1) throw sql_error(116, {});
      cexpr inner;
      inner.sql = "q.k1";
      inner.type = q.cols[0].type;
      cexpr c = comparison(u"=", a, inner);
      r.sql = "(EXISTS (SELECT 1 FROM (" + q.sql + ") AS q WHERE " + c.sql + "))";
      if (e.negate) {
        // NOT IN is unknown when the list holds a NULL.
        r.sql = "(NOT " + r.sql + " AND NOT EXISTS (SELECT 1 FROM (" + q.sql +
                ") AS q WHERE q.k1 IS NULL) AND " + a.sql + " IS NOT NULL)";
      }
      r.is_bool = true;
      r.type = bit_type();
      merge_flags(r, a);
      break;
    }
    case expr::like: {
      cexpr a = expression(*e.args[0], sc, where);
      cexpr p = expression(*e.args[1], sc, where);
      if (a.is_bool || p.is_bool) throw sql_error(102, {u"LIKE"});
      std::string esc = "NULL";
      if (e.args.size() > 2) esc = expression(*e.args[2], sc, where).sql;
      if (!is_char(a.type.type)) a = coerce(a, varchar_type(8000), true);
      if (!is_char(p.type.type)) p = coerce(p, varchar_type(8000), true);
      r.sql = "mssim_like(" + a.sql + ", " + p.sql + ", " + esc + ")";
      if (e.negate) r.sql = "(NOT " + r.sql + ")";
      r.is_bool = true;
      r.type = bit_type();
      merge_flags(r, a);
      merge_flags(r, p);
      break;
    }
    case expr::exists: {
      compiled_query q = select(*e.sub, &sc, true);
      r.sql = std::string(e.negate ? "(NOT " : "(") + "EXISTS (" + q.sql + "))";
      r.is_bool = true;
      r.type = bit_type();
      break;
    }
    case expr::quantified: {
      cexpr a = expression(*e.args[0], sc, where);
      compiled_query q = select(*e.sub, &sc, true);
      if (q.cols.size() != 1) throw sql_error(116, {});
      cexpr inner;
      inner.sql = "q.k1";
      inner.type = q.cols[0].type;
      cexpr c = comparison(e.op, a, inner);
      if (e.distinct)  // ALL
        r.sql = "(NOT EXISTS (SELECT 1 FROM (" + q.sql + ") AS q WHERE NOT coalesce(" + c.sql +
                ", 0)))";
      else
        r.sql = "(EXISTS (SELECT 1 FROM (" + q.sql + ") AS q WHERE " + c.sql + "))";
      r.is_bool = true;
      r.type = bit_type();
      merge_flags(r, a);
      break;
    }
    case expr::subquery:
      r = subquery_value(e, sc);
      break;
    case expr::case_: {
      size_t i = 0;
      cexpr operand;
      if (e.has_operand) operand = expression(*e.args[i++], sc, where);
      std::vector<std::pair<cexpr, cexpr>> arms;
      size_t end = e.args.size() - (e.has_else ? 1 : 0);
      for (; i + 1 < end + 1 && i < end; i += 2) {
        cexpr w = e.has_operand ? comparison(u"=", operand, expression(*e.args[i], sc, where))
                                : expression(*e.args[i], sc, where);
        if (!w.is_bool) throw sql_error(4145, {u"THEN"});
        cexpr t = expression(*e.args[i + 1], sc, where);
        if (t.is_bool) throw sql_error(102, {u"THEN"});
        arms.push_back({std::move(w), std::move(t)});
      }
      cexpr els;
      bool has_else = e.has_else;
      if (has_else) els = expression(*e.args.back(), sc, where);
      // result type: highest precedence among THEN/ELSE values that are not NULL literals
      type_desc t;
      bool first = true;
      auto consider = [&](const cexpr& c) {
        if (c.is_const && c.cval.kind == value::null) return;
        t = first ? c.type : common_type(t, c.type);
        first = false;
      };
      for (auto& a : arms) consider(a.second);
      if (has_else) consider(els);
      if (first) t = int_type();
      t.nullable = true;
      t.identity = false;
      std::string sql = "CASE";
      for (auto& a : arms) {
        cexpr v = coerce(a.second, t);
        sql += " WHEN " + a.first.sql + " THEN " + v.sql;
        merge_flags(r, a.first);
        merge_flags(r, v);
      }
      if (has_else) {
        cexpr v = coerce(els, t);
        sql += " ELSE " + v.sql;
        merge_flags(r, v);
      }
      sql += " END";
      if (e.has_operand) merge_flags(r, operand);
      r.sql = sql;
      r.type = t;
      break;
    }
    case expr::cast: {
      cexpr a = expression(*e.args[0], sc, where);
      if (a.is_bool) throw sql_error(156, {u"AS"});
      int style = 0;
      if (e.convert_style) {
        cexpr st = expression(*e.args[1], sc, where);
        if (!st.is_const || st.cval.kind != value::i64)
          throw sql_error(8116, {type_name(st.type), u"3", u"convert"});
        style = int(st.cval.i);
      }
      if (a.is_const && a.cval.kind == value::null) {
        r = constant(value::make_null(), e.target);
        r.sql = "NULL";
        return r;
      }
      cexpr c = coerce(a, e.target, true, style);
      c.ungrouped = a.ungrouped;
      c.agg = a.agg;
      r = c;
      r.is_column = false;
      break;
    }
  }
  after(r, sc);
  return r;
}

}  // namespace mssim
