// SELECT, INSERT, UPDATE, DELETE and TRUNCATE TABLE.
#include <sqlite3.h>

#include <algorithm>
#include <set>

#include "eng_query.h"
#include "eng_storage.h"
#include "eng_types.h"
#include "eng_util.h"
#include "eng_write.h"

namespace mssim {

namespace {

bool step_row(mssim::database& d, sqlite3_stmt* st) {
  int rc = sqlite3_step(st);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  d.raise_sqlite_error();
}

// Runs a compiled query and collects its rows in the result set's column types.
void fetch(session::impl& s, mssim::database& d, const std::string& sql,
           const std::vector<type_desc>& types, std::vector<std::vector<value>>& rows,
           int64_t limit = 0) {
  sqlite3_stmt* st = d.prepare(sql);
  size_t n = 0;
  while (step_row(d, st)) {
    std::vector<value> r;
    r.reserve(types.size());
    for (size_t i = 0; i < types.size(); ++i) r.push_back(read_column(st, int(i), types[i]));
    rows.push_back(std::move(r));
    if (++n % 1024 == 0) s.check_cancel();
    if (limit > 0 && int64_t(rows.size()) >= limit) break;
  }
  sqlite3_reset(st);
}

// The target of UPDATE/DELETE: a base table among the FROM sources (or the name alone).
struct dml_target {
  scope sc;
  std::string from_sql;
  const source* src = nullptr;
  object_info* table = nullptr;
};

void resolve_target(session::impl& s, compiler& c, const qname& name,
                    const std::vector<src_ptr>& from, dml_target& t) {
  if (from.empty()) {
    std::vector<src_ptr> one;
    auto ts = std::make_unique<table_src>();
    ts->kind = table_src::named;
    ts->name = name;
    one.push_back(std::move(ts));
    t.from_sql = c.from_clause(one, t.sc);
    t.src = &t.sc.sources[0];
  } else {
    t.from_sql = c.from_clause(from, t.sc);
    for (const auto& src : t.sc.sources)
      if (name.parts.size() == 1 && ieq(src.exposed, name.last())) t.src = &src;
    if (!t.src)
      for (const auto& src : t.sc.sources)
        if (src.obj && ieq(src.obj->name, name.last())) t.src = &src;
    if (!t.src) {
      // The target is not in FROM: SQL Server joins it to the FROM list.
      std::vector<src_ptr> one;
      auto ts = std::make_unique<table_src>();
      ts->kind = table_src::named;
      ts->name = name;
      one.push_back(std::move(ts));
      scope extra;
      std::string more = c.from_clause(one, extra);
      t.from_sql += ", " + more;
      t.sc.sources.push_back(extra.sources[0]);
      t.src = &t.sc.sources.back();
    }
  }
  if (!t.src->obj) throw sql_error(4405, {name.text});
  if (t.src->obj->kind != 'U') throw sql_error(4405, {name.text});
  t.table = t.src->obj;
}

}  // namespace

void session::impl::exec_select(select_statement& s) {
  bool into = !s.q->into.empty();
  mssim::database& d = *db;
  statement_scope scp(*this, d, into);
  compiler c(*this, d);
  compiled_query q = c.select(*s.q, nullptr, false);
  std::vector<type_desc> types;
  for (const auto& col : q.cols) types.push_back(col.type);
  std::string sql = c.finish(q.sql);

  bool assigns = false;
  for (const auto& it : s.q->items) assigns = assigns || it.assign;
  if (assigns) {
    std::vector<std::vector<value>> rows;
    fetch(*this, d, sql, types, rows);
    if (!rows.empty()) {
      const auto& last = rows.back();
      for (size_t i = 0; i < s.q->items.size() && i < last.size(); ++i) {
        auto vit = vars.find(fold(s.q->items[i].alias));
        if (vit == vars.end()) throw sql_error(137, {s.q->items[i].alias});
        vit->second.v = convert(last[i], types[i], vit->second.type, conversion());
      }
    }
    scp.commit();
    row_count(int64_t(rows.size()));
    return;
  }

  if (into) {
    std::vector<std::vector<value>> rows;
    if (!o.fmtonly) fetch(*this, d, sql, types, rows);
    std::vector<column> like;
    for (const auto& col : q.cols) {
      column cc;
      cc.name = col.name;
      cc.type = col.type;
      like.push_back(std::move(cc));
    }
    object_info& t = create_table_like(s.q->into, like);
    std::vector<int> positions;
    for (size_t i = 0; i < t.cols.size(); ++i) positions.push_back(int(i));
    row_writer w(*this, d, t, positions);
    for (const auto& r : rows) w.add(r, types);
    w.finish();
    scp.commit();
    row_count(w.count());
    return;
  }

  result_set rs;
  for (const auto& col : q.cols) {
    column cc;
    cc.name = col.name;
    cc.type = col.type;
    cc.table = col.table;
    rs.columns.push_back(std::move(cc));
  }
  if (!o.fmtonly) fetch(*this, d, sql, types, rs.rows, o.rowcount_limit);
  scp.commit();
  int64_t n = int64_t(rs.rows.size());
  emit_rows(std::move(rs));
  if (o.fmtonly) return emit_done(0, false);
  row_count(n);
}

void session::impl::exec_insert(insert_statement& s) {
  mssim::database& d = *db;
  if (s.exec) throw sql_error(50000, {u"INSERT ... EXEC is not supported by the stand-in."});
  statement_scope scp(*this, d, true);
  mssim::database* in = nullptr;
  object_info* tp = find_object(s.table, in);
  if (!tp) throw sql_error(208, {s.table.text});
  if (in != &d)
    throw sql_error(50000, {u"The stand-in does not support references to other databases ('" +
                            s.table.text + u"')."});
  if (tp->kind != 'U') throw sql_error(4405, {s.table.text});
  object_info& t = *tp;
  bool ii = ii_object == t.id && ii_db.get() == &d;
  int ident = t.identity_pos();

  std::vector<int> positions;
  if (s.has_cols) {
    std::set<int> seen;
    for (const auto& name : s.cols) {
      int p = t.find_col(name);
      if (p < 0) throw sql_error(207, {name});
      if (!seen.insert(p).second) throw sql_error(264, {t.cols[size_t(p)].name});
      positions.push_back(p);
    }
    bool has_ident = ident >= 0 && seen.count(ident);
    if (has_ident && !ii) throw sql_error(544, {t.name});
    if (ident >= 0 && ii && !has_ident) throw sql_error(545, {t.name});
  } else {
    if (ii && !s.default_values) throw sql_error(8101, {three_part(t, d)});
    for (size_t i = 0; i < t.cols.size(); ++i)
      if (int(i) != ident) positions.push_back(int(i));
  }
  if (o.fmtonly) {
    scp.commit();
    return emit_done(0, false);
  }

  row_writer w(*this, d, t, s.default_values ? std::vector<int>() : positions);
  int64_t extra = 0;
  if (s.default_values) {
    w.add({}, {});
  } else if (s.query) {
    compiler c(*this, d);
    compiled_query q = c.select(*s.query, nullptr, false);
    if (q.cols.size() != positions.size()) {
      if (!s.has_cols) throw sql_error(213, {});
      throw sql_error(q.cols.size() < positions.size() ? 120 : 121, {});
    }
    std::vector<type_desc> types;
    for (const auto& col : q.cols) types.push_back(col.type);
    std::vector<std::vector<value>> rows;
    fetch(*this, d, c.finish(q.sql), types, rows);
    for (const auto& r : rows) {
      check_cancel();
      w.add(r, types);
    }
  } else {
    for (auto& row : s.rows) {
      if (row.size() != positions.size()) {
        if (!s.has_cols) throw sql_error(213, {});
        throw sql_error(row.size() < positions.size() ? 109 : 110, {});
      }
    }
    // Values are computed before any row is written, as SQL Server binds the whole VALUES list.
    std::vector<std::vector<value>> vals;
    std::vector<std::vector<type_desc>> types;
    std::vector<std::vector<char>> defaults;
    for (auto& row : s.rows) {
      std::vector<value> v;
      std::vector<type_desc> ty;
      std::vector<char> def;
      for (auto& e : row) {
        type_desc t1 = int_type();
        if (!e) {
          v.push_back(value::make_null());
          ty.push_back(t1);
          def.push_back(1);
          continue;
        }
        v.push_back(evaluate(*e, d, t1));
        ty.push_back(t1);
        def.push_back(0);
      }
      vals.push_back(std::move(v));
      types.push_back(std::move(ty));
      defaults.push_back(std::move(def));
    }
    for (size_t r = 0; r < vals.size(); ++r) {
      check_cancel();
      bool any_default = std::find(defaults[r].begin(), defaults[r].end(), 1) != defaults[r].end();
      if (!any_default) {
        w.add(vals[r], types[r]);
        continue;
      }
      // DEFAULT in VALUES: the column takes its default (or NULL, or the next identity value).
      std::vector<int> pos;
      std::vector<value> v;
      std::vector<type_desc> ty;
      for (size_t i = 0; i < positions.size(); ++i)
        if (!defaults[r][i]) {
          pos.push_back(positions[i]);
          v.push_back(vals[r][i]);
          ty.push_back(types[r][i]);
        }
      row_writer one(*this, d, t, pos);
      one.add(v, ty);
      one.finish();
      ++extra;
    }
  }
  w.finish();
  int64_t n = w.count() + extra;
  scp.commit();
  row_count(n);
}

void session::impl::exec_update(update_statement& s) {
  mssim::database& d = *db;
  statement_scope scp(*this, d, true);
  compiler c(*this, d);
  dml_target t;
  resolve_target(*this, c, s.table, s.from, t);
  object_info& tab = *t.table;
  std::vector<int> cols;
  std::vector<cexpr> values;
  std::set<int> seen;
  std::string sel = "SELECT " + t.src->alias_sql + ".rowid";
  for (auto& set : s.sets) {
    int p = tab.find_col(set.col);
    if (p < 0) throw sql_error(207, {set.col});
    if (!seen.insert(p).second) throw sql_error(264, {tab.cols[size_t(p)].name});
    if (tab.cols[size_t(p)].type.identity) throw sql_error(8102, {tab.cols[size_t(p)].name});
    cols.push_back(p);
    if (!set.e) {
      values.push_back(cexpr());
      values.back().is_const = true;
      sel += ", NULL";
      continue;
    }
    cexpr v = c.expression(*set.e, t.sc, clause::other);
    if (v.is_bool) throw sql_error(102, {u"="});
    if (v.agg) throw sql_error(157, {});
    sel += ", " + v.sql;
    values.push_back(std::move(v));
  }
  sel += " FROM " + t.from_sql;
  if (s.where) sel += " WHERE " + c.condition(*s.where, t.sc, clause::where);
  if (s.top) {
    type_desc ty;
    value n = evaluate(*s.top, d, ty);
    value k = convert(n, ty, bigint_type(), conversion());
    sel += " LIMIT " + std::to_string(k.kind == value::null ? 0 : k.i);
  } else if (o.rowcount_limit > 0) {
    sel += " LIMIT " + std::to_string(o.rowcount_limit);
  }
  if (o.fmtonly) {
    scp.commit();
    return emit_done(0, false);
  }
  std::vector<type_desc> types = {bigint_type()};
  for (size_t i = 0; i < values.size(); ++i) types.push_back(values[i].type);
  std::vector<std::vector<value>> rows;
  fetch(*this, d, c.finish(sel), types, rows);
  // One change per target row, even when a join matches it more than once.
  std::vector<int64_t> rowids;
  std::set<int64_t> unique;
  std::vector<std::vector<value>> changes;
  for (auto& r : rows) {
    if (!unique.insert(r[0].i).second) continue;
    rowids.push_back(r[0].i);
    changes.push_back(std::move(r));
  }
  std::vector<row_image> olds = write::read_rows(d, tab, rowids), news = olds;
  for (size_t r = 0; r < rowids.size(); ++r) {
    for (size_t i = 0; i < cols.size(); ++i) {
      size_t col = size_t(cols[i]);
      if (!s.sets[i].e) {
        news[r][col] = write::column_default(*this, d, tab, col);
        continue;
      }
      news[r][col] = convert(changes[r][i + 1], values[i].type, tab.cols[col].type, conversion());
    }
  }
  write::update_rows(*this, d, tab, rowids, olds, news);
  scp.commit();
  row_count(int64_t(rowids.size()));
}

void session::impl::exec_delete(delete_statement& s) {
  mssim::database& d = *db;
  statement_scope scp(*this, d, true);
  compiler c(*this, d);
  dml_target t;
  resolve_target(*this, c, s.table, s.from, t);
  std::string sel = "SELECT DISTINCT " + t.src->alias_sql + ".rowid FROM " + t.from_sql;
  if (s.where) sel += " WHERE " + c.condition(*s.where, t.sc, clause::where);
  if (s.top) {
    type_desc ty;
    value n = evaluate(*s.top, d, ty);
    value k = convert(n, ty, bigint_type(), conversion());
    sel += " LIMIT " + std::to_string(k.kind == value::null ? 0 : k.i);
  } else if (o.rowcount_limit > 0) {
    sel += " LIMIT " + std::to_string(o.rowcount_limit);
  }
  if (o.fmtonly) {
    scp.commit();
    return emit_done(0, false);
  }
  std::vector<std::vector<value>> rows;
  fetch(*this, d, c.finish(sel), {bigint_type()}, rows);
  std::vector<int64_t> rowids;
  for (const auto& r : rows) rowids.push_back(r[0].i);
  int64_t n = write::delete_rows(*this, d, *t.table, rowids);
  scp.commit();
  row_count(n);
}

void session::impl::exec_truncate(name_statement& s) {
  mssim::database& d = *db;
  statement_scope scp(*this, d, true);
  mssim::database* in = nullptr;
  object_info* t = find_object(s.names[0], in);
  if (!t || t->kind != 'U' || in != &d) throw sql_error(4701, {s.names[0].text});
  for (const fk_info& fk : d.cat.fks)
    if (fk.ref_id == t->id && fk.table_id != t->id) throw sql_error(4712, {t->two_part()});
  d.exec("DELETE FROM " + t->sqlname());
  t->ident_used = false;
  t->ident_current = 0;
  catalog_save_identity(d.handle(), *t);
  scp.commit();
  emit_done(0, false);
}

}  // namespace mssim
