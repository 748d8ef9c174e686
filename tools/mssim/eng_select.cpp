// Queries: FROM sources (tables, views, derived tables, joins, the INFORMATION_SCHEMA and sys
// views), the select list, grouping with SQL Server's check that every column is grouped or
// aggregated (SQLite would pick any row), ORDER BY, TOP and UNION. The SQLite SELECT names its
// output columns k1..kn.
#include <algorithm>
#include <set>

#include "eng_parser.h"
#include "eng_query.h"
#include "eng_storage.h"
#include "eng_types.h"
#include "eng_util.h"

namespace mssim {
namespace {

std::string k(size_t i) { return "k" + std::to_string(i + 1); }

bool is_null_const(const cexpr& c) { return c.is_const && c.cval.kind == value::null; }

bool plain_lob(const type_desc& t) {
  return t.type == col_type::text || t.type == col_type::ntext || t.type == col_type::image;
}

// A virtual table (catalogue views): its columns and rows, turned into a SQLite subquery.
struct virtual_table {
  std::vector<std::pair<std::u16string, type_desc>> cols;
  std::vector<std::vector<value>> rows;

  void col(const char* name, type_desc t, bool nullable = false) {
    t.nullable = nullable;
    cols.push_back({u16(name), t});
  }
  std::string sql() const {
    std::string out;
    if (rows.empty()) {
      out = "SELECT ";
      for (size_t i = 0; i < cols.size(); ++i)
        out += (i ? ", NULL AS c" : "NULL AS c") + std::to_string(i + 1);
      return out + " WHERE 0";
    }
    out = "SELECT ";
    for (size_t i = 0; i < cols.size(); ++i)
      out += (i ? ", column" : "column") + std::to_string(i + 1) + " AS c" + std::to_string(i + 1);
    out += " FROM (VALUES ";
    for (size_t r = 0; r < rows.size(); ++r) {
      out += r ? ", (" : "(";
      for (size_t i = 0; i < cols.size(); ++i) {
        if (i) out += ", ";
        out += sql_literal(rows[r][i], cols[i].second);
      }
      out += ")";
    }
    return out + ")";
  }
};

value txt(const std::u16string& s) { return value::make_text(s); }
value nul() { return value::make_null(); }
value i64v(int64_t v) { return value::make_int(v); }

type_desc sysname() { return nvarchar_type(128); }

}  // namespace

std::string compiler::from_clause(const std::vector<src_ptr>& from, scope& sc) {
  std::string out;
  for (size_t i = 0; i < from.size(); ++i) {
    if (i) out += ", ";
    out += table_source(*from[i], sc);
  }
  return out;
}

std::string compiler::table_source(const table_src& t, scope& sc) {
  std::string sql;
  switch (t.kind) {
    case table_src::named:
      add_named_source(t, sc, sql);
      return sql;
    case table_src::derived: {
      compiled_query q = select(*t.sub, sc.outer, true);
      source src;
      src.exposed = t.alias;
      src.alias_sql = new_alias();
      std::set<std::u16string> seen;
      for (size_t i = 0; i < q.cols.size(); ++i) {
        src_col c;
        c.name = i < t.col_aliases.size() ? t.col_aliases[i] : q.cols[i].name;
        if (c.name.empty()) throw sql_error(8155, {num(int64_t(i + 1)), t.alias});
        if (!seen.insert(fold(c.name)).second) throw sql_error(8156, {c.name, t.alias});
        c.type = q.cols[i].type;
        c.sql = src.alias_sql + "." + k(i);
        src.cols.push_back(std::move(c));
      }
      if (!t.col_aliases.empty() && t.col_aliases.size() != q.cols.size())
        throw sql_error(8158, {t.alias});
      for (const auto& s : sc.sources)
        if (ieq(s.exposed, src.exposed)) throw sql_error(1011, {src.exposed});
      sc.sources.push_back(std::move(src));
      return "(" + q.sql + ") AS " + sc.sources.back().alias_sql;
    }
    case table_src::join: {
      size_t before = sc.sources.size();
      std::string l = table_source(*t.left, sc);
      size_t mid = sc.sources.size();
      std::string r = table_source(*t.right, sc);
      if (t.right->kind == table_src::join) r = "(" + r + ")";
      size_t after_ = sc.sources.size();
      auto nullable = [&](size_t a, size_t b) {
        for (size_t i = a; i < b; ++i)
          for (auto& c : sc.sources[i].cols) c.type.nullable = true;
      };
      const char* kw = " JOIN ";
      switch (t.jt) {
        case table_src::j_inner:
          kw = " JOIN ";
          break;
        case table_src::j_left:
          kw = " LEFT JOIN ";
          nullable(mid, after_);
          break;
        case table_src::j_right:
          kw = " RIGHT JOIN ";
          nullable(before, mid);
          break;
        case table_src::j_full:
          kw = " FULL JOIN ";
          nullable(before, after_);
          break;
        case table_src::j_cross:
          kw = " CROSS JOIN ";
          break;
      }
      std::string sql_ = l + kw + r;
      if (t.on) sql_ += " ON " + condition(*t.on, sc, clause::on);
      return sql_;
    }
    case table_src::values_:
      break;
  }
  throw sql_error(102, {u"("});
}

void compiler::add_named_source(const table_src& t, scope& sc, std::string& sql) {
  const qname& n = t.name;
  std::u16string alias = t.alias.empty() ? n.last() : t.alias;
  for (const auto& s : sc.sources)
    if (ieq(s.exposed, alias)) {
      if (t.alias.empty()) throw sql_error(1013, {s.exposed, alias});
      throw sql_error(1011, {alias});
    }
  if (add_virtual_source(n, alias, sc, sql)) return;
  mssim::database* in = nullptr;
  object_info* o = s_.find_object(n, in);
  if (!o) throw sql_error(208, {n.text});
  if (in != &db_)
    throw sql_error(50000, {u"The stand-in does not support references to other "
                            u"databases ('" +
                            n.text + u"')."});
  source src;
  src.exposed = alias;
  src.table = o->name;
  src.obj = o;
  src.alias_sql = new_alias();
  if (o->kind == 'V') {
    if (++view_depth_ > 16) throw sql_error(4413, {o->name});
    compiled_query q = compile_view(*o);
    --view_depth_;
    for (size_t i = 0; i < q.cols.size(); ++i) {
      src_col c;
      c.name = q.cols[i].name;
      c.type = q.cols[i].type;
      c.type.identity = false;
      c.sql = src.alias_sql + "." + k(i);
      src.cols.push_back(std::move(c));
    }
    sql = "(" + q.sql + ") AS " + src.alias_sql;
  } else {
    for (const auto& col : o->cols) {
      src_col c;
      c.name = col.name;
      c.type = col.type;
      c.sql = src.alias_sql + "." + col.sqlcol();
      src.cols.push_back(std::move(c));
    }
    sql = o->sqlname() + " AS " + src.alias_sql;
  }
  sc.sources.push_back(std::move(src));
}

compiled_query compiler::compile_view(const object_info& o) {
  parser p(o.definition, o.quoted_identifier);
  std::vector<stmt_ptr> stmts = p.parse_batch();
  if (stmts.size() != 1 || stmts[0]->kind != stmt::create_view) throw sql_error(4413, {o.name});
  auto& v = static_cast<create_view_statement&>(*stmts[0]);
  compiled_query q = select(*v.q, nullptr, true);
  for (size_t i = 0; i < q.cols.size() && i < v.cols.size(); ++i) q.cols[i].name = v.cols[i];
  return q;
}

bool compiler::add_virtual_source(const qname& n, const std::u16string& alias, scope& sc,
                                  std::string& sql) {
  if (n.parts.size() < 2) return false;
  const std::u16string& schema = n.part_from_end(1);
  bool is = ieq_ascii(schema, "INFORMATION_SCHEMA"), sys = ieq_ascii(schema, "sys");
  if (!is && !sys) return false;
  mssim::database* d = &db_;
  std::shared_ptr<mssim::database> other;
  if (n.parts.size() >= 3 && !n.part_from_end(2).empty()) {
    other = s_.eng.find_db(n.part_from_end(2));
    if (!other) throw sql_error(208, {n.text});
    d = other.get();
  }
  const std::u16string& what = n.last();
  virtual_table vt;
  std::vector<const object_info*> objs;
  for (const auto& [key, o] : d->cat.objects) objs.push_back(o.get());
  std::sort(objs.begin(), objs.end(),
            [](const object_info* a, const object_info* b) { return a->id < b->id; });
  if (is && ieq_ascii(what, "TABLES")) {
    vt.col("TABLE_CATALOG", sysname(), true);
    vt.col("TABLE_SCHEMA", sysname(), true);
    vt.col("TABLE_NAME", sysname());
    vt.col("TABLE_TYPE", varchar_type(10), true);
    for (const object_info* o : objs)
      vt.rows.push_back({txt(d->name), txt(o->schema), txt(o->name),
                         txt(o->kind == 'V' ? u"VIEW" : u"BASE TABLE")});
  } else if (is && ieq_ascii(what, "VIEWS")) {
    vt.col("TABLE_CATALOG", sysname(), true);
    vt.col("TABLE_SCHEMA", sysname(), true);
    vt.col("TABLE_NAME", sysname());
    vt.col("VIEW_DEFINITION", nvarchar_type(4000), true);
    vt.col("CHECK_OPTION", varchar_type(7), true);
    vt.col("IS_UPDATABLE", varchar_type(2), true);
    for (const object_info* o : objs)
      if (o->kind == 'V')
        vt.rows.push_back({txt(d->name), txt(o->schema), txt(o->name),
                           txt(o->definition.substr(0, 4000)),
                           txt(o->check_option ? u"CASCADE" : u"NONE"), txt(u"NO")});
  } else if (is && ieq_ascii(what, "COLUMNS")) {
    vt.col("TABLE_CATALOG", sysname(), true);
    vt.col("TABLE_SCHEMA", sysname(), true);
    vt.col("TABLE_NAME", sysname());
    vt.col("COLUMN_NAME", sysname(), true);
    vt.col("ORDINAL_POSITION", int_type(), true);
    vt.col("COLUMN_DEFAULT", nvarchar_type(4000), true);
    vt.col("IS_NULLABLE", varchar_type(3), true);
    vt.col("DATA_TYPE", sysname(), true);
    vt.col("CHARACTER_MAXIMUM_LENGTH", int_type(), true);
    vt.col("CHARACTER_OCTET_LENGTH", int_type(), true);
    vt.col("NUMERIC_PRECISION", make_type(col_type::tinyint), true);
    vt.col("NUMERIC_PRECISION_RADIX", make_type(col_type::smallint), true);
    vt.col("NUMERIC_SCALE", int_type(), true);
    vt.col("DATETIME_PRECISION", make_type(col_type::smallint), true);
    vt.col("CHARACTER_SET_NAME", sysname(), true);
    vt.col("COLLATION_NAME", sysname(), true);
    for (const object_info* o : objs) {
      for (size_t i = 0; i < o->cols.size(); ++i) {
        const col_info& c = o->cols[i];
        const type_desc& t = c.type;
        std::vector<value> r = {txt(d->name),
                                txt(o->schema),
                                txt(o->name),
                                txt(c.name),
                                i64v(int64_t(i + 1)),
                                c.default_text.empty() ? nul() : txt(c.default_text),
                                txt(t.nullable ? u"YES" : u"NO"),
                                txt(type_name(t))};
        bool chars = is_char(t.type), bin = is_binary(t.type);
        if (chars || bin) {
          int64_t len = t.type == col_type::text || t.type == col_type::image ? 2147483647
                        : t.type == col_type::ntext                           ? 1073741823
                        : t.length < 0                                        ? -1
                                                                              : t.length;
          int64_t oct = len < 0 ? -1 : is_unicode(t.type) ? len * 2 : len;
          if (t.type == col_type::ntext) oct = 2147483646;
          r.push_back(i64v(len));
          r.push_back(i64v(oct));
        } else {
          r.push_back(nul());
          r.push_back(nul());
        }
        if (is_numeric_family(t.type) && t.type != col_type::bit) {
          int p = t.type == col_type::tinyint    ? 3
                  : t.type == col_type::smallint ? 5
                  : t.type == col_type::int_     ? 10
                  : t.type == col_type::bigint   ? 19
                  : t.type == col_type::real     ? 24
                  : t.type == col_type::float_   ? 53
                                                 : t.precision;
          r.push_back(i64v(p));
          r.push_back(i64v(t.type == col_type::real || t.type == col_type::float_ ? 2 : 10));
          r.push_back(t.type == col_type::real || t.type == col_type::float_ ? nul()
                                                                             : i64v(t.scale));
        } else {
          r.push_back(nul());
          r.push_back(nul());
          r.push_back(nul());
        }
        if (is_temporal(t.type))
          r.push_back(i64v(t.type == col_type::datetime        ? 3
                           : t.type == col_type::smalldatetime ? 0
                           : t.type == col_type::date          ? 0
                                                               : t.scale));
        else
          r.push_back(nul());
        if (chars) {
          r.push_back(txt(is_unicode(t.type) ? u"UNICODE" : u"iso_1"));
          r.push_back(txt(u"SQL_Latin1_General_CP1_CI_AS"));
        } else {
          r.push_back(nul());
          r.push_back(nul());
        }
        vt.rows.push_back(std::move(r));
      }
    }
  } else if (sys && ieq_ascii(what, "databases")) {
    vt.col("name", sysname());
    vt.col("database_id", int_type());
    vt.col("state_desc", nvarchar_type(60), true);
    for (const auto& db : s_.eng.all_dbs())
      vt.rows.push_back({txt(db->name), i64v(db->id), txt(u"ONLINE")});
  } else if (sys && (ieq_ascii(what, "objects") || ieq_ascii(what, "tables") ||
                     ieq_ascii(what, "views"))) {
    vt.col("name", sysname());
    vt.col("object_id", int_type());
    vt.col("schema_id", int_type());
    vt.col("type", make_type(col_type::char_, 2));
    vt.col("type_desc", nvarchar_type(60), true);
    for (const object_info* o : objs) {
      if (ieq_ascii(what, "tables") && o->kind != 'U') continue;
      if (ieq_ascii(what, "views") && o->kind != 'V') continue;
      vt.rows.push_back({txt(o->name), i64v(o->id), i64v(1), txt(o->kind == 'V' ? u"V " : u"U "),
                         txt(o->kind == 'V' ? u"VIEW" : u"USER_TABLE")});
    }
  } else if (sys && ieq_ascii(what, "columns")) {
    vt.col("object_id", int_type());
    vt.col("name", sysname(), true);
    vt.col("column_id", int_type());
    vt.col("is_nullable", bit_type(), true);
    vt.col("is_identity", bit_type(), true);
    vt.col("max_length", make_type(col_type::smallint));
    vt.col("precision", make_type(col_type::tinyint));
    vt.col("scale", make_type(col_type::tinyint));
    for (const object_info* o : objs)
      for (size_t i = 0; i < o->cols.size(); ++i) {
        const type_desc& t = o->cols[i].type;
        int64_t ml = is_char(t.type) || is_binary(t.type) ? (t.length < 0         ? -1
                                                             : is_unicode(t.type) ? 2 * t.length
                                                                                  : t.length)
                                                          : fixed_size(t);
        if (plain_lob(t)) ml = 16;
        vt.rows.push_back({i64v(o->id), txt(o->cols[i].name), i64v(int64_t(i + 1)),
                           i64v(t.nullable), i64v(t.identity), i64v(ml), i64v(t.precision),
                           i64v(t.scale)});
      }
  } else if (sys && ieq_ascii(what, "schemas")) {
    vt.col("name", sysname());
    vt.col("schema_id", int_type());
    vt.rows.push_back({txt(u"dbo"), i64v(1)});
  } else {
    throw sql_error(208, {n.text});
  }
  source src;
  src.exposed = alias;
  src.table = what;
  src.alias_sql = new_alias();
  for (size_t i = 0; i < vt.cols.size(); ++i) {
    src_col c;
    c.name = vt.cols[i].first;
    c.type = vt.cols[i].second;
    c.sql = src.alias_sql + ".c" + std::to_string(i + 1);
    src.cols.push_back(std::move(c));
  }
  sql = "(" + vt.sql() + ") AS " + src.alias_sql;
  sc.sources.push_back(std::move(src));
  return true;
}

compiled_query compiler::select(const select_stmt& q, const scope* outer, bool nested) {
  if (!q.union_next) return select_core(q, outer, nested, false);
  std::vector<compiled_query> parts;
  std::vector<bool> alls;
  for (const select_stmt* p = &q; p; p = p->union_next.get()) {
    if (!p->into.empty() && p != &q) throw sql_error(196, {});
    parts.push_back(select_core(*p, outer, nested, true));
    alls.push_back(p->union_all);
  }
  size_t ncols = parts[0].cols.size();
  for (const auto& p : parts)
    if (p.cols.size() != ncols) throw sql_error(205, {});
  std::vector<type_desc> types;
  for (size_t i = 0; i < ncols; ++i) {
    type_desc t = parts[0].cols[i].type;
    for (size_t b = 1; b < parts.size(); ++b) t = common_type(t, parts[b].cols[i].type);
    t.identity = false;
    bool nullable = false;
    for (const auto& p : parts) nullable = nullable || p.cols[i].type.nullable;
    t.nullable = nullable;
    types.push_back(t);
  }
  compiled_query out;
  for (size_t i = 0; i < ncols; ++i) {
    out_col c = parts[0].cols[i];
    c.type = types[i];
    out.cols.push_back(c);
  }
  std::string sql;
  for (size_t b = 0; b < parts.size(); ++b) {
    std::string branch = "SELECT ";
    for (size_t i = 0; i < ncols; ++i) {
      cexpr c;
      c.sql = "u." + k(i);
      c.type = parts[b].cols[i].type;
      cexpr conv = coerce(c, types[i]);
      if (i) branch += ", ";
      branch += conv.sql + " AS " + k(i);
    }
    branch += " FROM (" + parts[b].sql + ") AS u";
    if (b) sql += alls[b - 1] ? " UNION ALL " : " UNION ";
    sql += branch;
  }
  if (!q.order_by.empty()) {
    std::string order;
    for (const auto& o : q.order_by) {
      size_t pos = SIZE_MAX;
      const expr& e = *o.e;
      if (e.kind == expr::literal && e.lit.kind == value::i64) {
        if (e.lit.i < 1 || size_t(e.lit.i) > ncols) throw sql_error(108, {num(e.lit.i)});
        pos = size_t(e.lit.i - 1);
      } else if (e.kind == expr::column) {
        for (size_t i = 0; i < ncols; ++i)
          if (ieq(out.cols[i].name, e.name.last())) {
            pos = i;
            break;
          }
      }
      if (pos == SIZE_MAX) throw sql_error(104, {});
      if (plain_lob(types[pos])) throw sql_error(306, {});
      if (!order.empty()) order += ", ";
      order += k(pos);
      if (is_char(types[pos].type)) order += " COLLATE MSCI";
      if (o.desc) order += " DESC";
    }
    sql += " ORDER BY " + order;
  }
  out.sql = sql;
  return out;
}

compiled_query compiler::select_core(const select_stmt& q, const scope* outer, bool nested,
                                     bool has_union) {
  scope sc;
  sc.outer = outer;
  std::string from = q.from.empty() ? "" : from_clause(q.from, sc);
  std::string where;
  if (q.where) where = condition(*q.where, sc, clause::where);

  // Grouping: GROUP BY, or aggregates anywhere in the select list, HAVING or ORDER BY.
  std::vector<std::string> group_sql;
  for (const auto& g : q.group_by) {
    cexpr c = expression(*g, sc, clause::group_by);
    if (c.is_bool) throw sql_error(4145, {u"GROUP"});
    if (plain_lob(c.type)) throw sql_error(306, {});
    if (c.is_const) throw sql_error(164, {});
    group_sql.push_back(c.sql);
  }
  bool grouped = !q.group_by.empty() || q.having;
  for (const auto& it : q.items)
    if (it.e && contains_aggregate(*it.e)) grouped = true;
  if (!has_union)
    for (const auto& o : q.order_by)
      if (contains_aggregate(*o.e)) grouped = true;
  sc.grouped = grouped;
  sc.group_sql = group_sql;

  auto check_grouped = [&](const cexpr& c, int number) {
    if (!grouped) return;
    for (const auto& u : c.ungrouped)
      if (std::find(group_sql.begin(), group_sql.end(), u.second) == group_sql.end())
        throw sql_error(number, {u.first});
  };

  compiled_query out;
  std::vector<std::string> item_sql;
  std::vector<std::string> item_expr;
  bool assigns = false, retrieves = false;
  for (const auto& it : q.items) {
    if (it.star) {
      retrieves = true;
      if (sc.sources.empty()) throw sql_error(263, {});
      bool found = it.star_of.empty();
      for (const auto& src : sc.sources) {
        if (!it.star_of.empty()) {
          if (!ieq(src.exposed, it.star_of.last())) continue;
          found = true;
        }
        for (const auto& c : src.cols) {
          if (grouped && std::find(group_sql.begin(), group_sql.end(), c.sql) == group_sql.end())
            throw sql_error(8120, {src.exposed + u"." + c.name});
          out_col oc;
          oc.name = c.name;
          oc.type = c.type;
          oc.table = src.table;
          out.cols.push_back(oc);
          item_expr.push_back(c.sql);
          item_sql.push_back(c.sql + " AS " + k(item_sql.size()));
        }
      }
      if (!found) throw sql_error(4104, {it.star_of.text});
      continue;
    }
    cexpr c = expression(*it.e, sc, clause::select_list);
    if (c.is_bool) throw sql_error(102, {u"="});
    check_grouped(c, 8120);
    (it.assign ? assigns : retrieves) = true;
    out_col oc;
    oc.name = it.has_alias ? it.alias : (c.is_column ? c.col_name : u"");
    oc.type = c.type;
    if (c.is_column)
      oc.table = c.col_table;
    else
      oc.type.identity = false;
    out.cols.push_back(oc);
    item_expr.push_back(c.sql);
    item_sql.push_back(c.sql + " AS " + k(item_sql.size()));
  }
  if (assigns && retrieves) throw sql_error(141, {});

  std::string having;
  if (q.having) {
    cexpr c = expression(*q.having, sc, clause::having);
    if (!c.is_bool) throw sql_error(4145, {u"HAVING"});
    check_grouped(c, 8121);
    having = c.sql;
  }

  std::string order;
  if (!has_union && !q.order_by.empty()) {
    if (nested && !q.top) throw sql_error(1033, {});
    size_t position = 0;
    for (const auto& o : q.order_by) {
      ++position;
      const expr& e = *o.e;
      std::string term;
      type_desc t;
      if (e.kind == expr::literal && e.lit.kind == value::i64 && e.op == u"num") {
        if (e.lit.i < 1 || size_t(e.lit.i) > out.cols.size()) throw sql_error(108, {num(e.lit.i)});
        size_t pos = size_t(e.lit.i - 1);
        term = k(pos);
        t = out.cols[pos].type;
      } else {
        size_t pos = SIZE_MAX;
        if (e.kind == expr::column && e.name.parts.size() == 1)
          for (size_t i = 0; i < q.items.size() && i < out.cols.size(); ++i)
            if (q.items[i].has_alias && ieq(q.items[i].alias, e.name.last())) {
              pos = i;
              break;
            }
        if (pos != SIZE_MAX) {
          term = k(pos);
          t = out.cols[pos].type;
        } else {
          cexpr c = expression(e, sc, clause::order_by);
          if (c.is_bool) throw sql_error(102, {u"="});
          check_grouped(c, 8127);
          if (c.is_const) {
            if (c.cval.kind == value::i64) throw sql_error(108, {num(c.cval.i)});
            throw sql_error(408, {num(int64_t(position))});
          }
          auto hit = std::find(item_expr.begin(), item_expr.end(), c.sql);
          if (q.distinct && hit == item_expr.end()) throw sql_error(145, {});
          term = hit != item_expr.end() ? k(size_t(hit - item_expr.begin())) : c.sql;
          t = c.type;
        }
      }
      if (plain_lob(t)) throw sql_error(306, {});
      if (is_char(t.type)) term += " COLLATE MSCI";
      if (o.desc) term += " DESC";
      if (!order.empty()) order += ", ";
      order += term;
    }
  }

  std::string limit;
  std::string percent;
  if (q.top) {
    scope empty;
    empty.outer = nullptr;
    cexpr c = expression(*q.top, empty, clause::other);
    if (!c.is_const) throw sql_error(1060, {});
    if (q.top_percent) {
      value v = convert(c.cval, c.type, float_type(), s_.conversion());
      if (v.kind == value::null || v.d < 0 || v.d > 100) throw sql_error(1060, {});
      percent = std::to_string(v.d);
    } else {
      value v = convert(c.cval, c.type, bigint_type(), s_.conversion());
      if (v.kind == value::null || v.i < 0) throw sql_error(1060, {});
      limit = std::to_string(v.i);
    }
  }

  std::string sql = q.distinct ? "SELECT DISTINCT " : "SELECT ";
  for (size_t i = 0; i < item_sql.size(); ++i) {
    if (i) sql += ", ";
    sql += item_sql[i];
  }
  if (!from.empty()) sql += " FROM " + from;
  if (!where.empty()) sql += " WHERE " + where;
  if (!group_sql.empty()) {
    sql += " GROUP BY ";
    for (size_t i = 0; i < group_sql.size(); ++i) sql += (i ? ", " : "") + group_sql[i];
  }
  if (!having.empty()) sql += " HAVING " + having;
  if (!order.empty()) sql += " ORDER BY " + order;
  if (!limit.empty()) sql += " LIMIT " + limit;
  if (!percent.empty()) {
    std::string inner = sql;
    sql = "SELECT * FROM (" + inner + ") LIMIT (SELECT CAST((count(*) * " + percent +
          " + 99.9999999) / 100 AS INTEGER) FROM (" + inner + "))";
  }
  out.sql = sql;
  return out;
}

}  // namespace mssim
