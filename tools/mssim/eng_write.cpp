#include "eng_write.h"

#include <sqlite3.h>

#include "eng_parser.h"
#include "eng_storage.h"
#include "eng_types.h"
#include "eng_util.h"

namespace mssim {

namespace {

bool step_row(mssim::database& d, sqlite3_stmt* st) {
  int rc = sqlite3_step(st);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  d.raise_sqlite_error();
}

// Equal as SQL Server compares keys: case-insensitively for text.
bool same_value(const value& a, const value& b, const type_desc& t) {
  if (a.kind == value::null || b.kind == value::null) return a.kind == b.kind;
  std::u16string x = display_text(a, t), y = display_text(b, t);
  if (is_char(t.type)) return ieq(rtrim_spaces(x), rtrim_spaces(y));
  if (t.type == col_type::numeric || t.type == col_type::money || t.type == col_type::smallmoney)
    return dec_compare(to_dec(a), to_dec(b)) == 0;
  return x == y;
}

std::u16string column_part(const object_info& t, const std::vector<int>& cols) {
  if (cols.size() != 1) return u"";
  return u", column '" + t.cols[size_t(cols[0])].name + u"'";
}

bool integer_in_range(const type_desc& t, int64_t v) {
  switch (t.type) {
    case col_type::tinyint:
      return v >= 0 && v <= 255;
    case col_type::smallint:
      return v >= -32768 && v <= 32767;
    case col_type::int_:
      return v >= INT32_MIN && v <= INT32_MAX;
    case col_type::bigint:
      return true;
    case col_type::numeric: {
      std::string digits = std::to_string(v < 0 ? -(v + 1) : v);
      return int(digits.size()) <= t.precision;
    }
    default:
      return true;
  }
}

value identity_value(const type_desc& t, int64_t v) {
  if (t.type == col_type::numeric) return from_dec(dec_from_i64(v));
  return value::make_int(v);
}

void parent_actions(session::impl& s, mssim::database& d, object_info& parent,
                    const std::vector<row_image>& old_rows, const std::vector<row_image>* new_rows,
                    int depth);

}  // namespace

std::u16string key_text(const object_info& t, const index_info& ix, const std::vector<value>& row) {
  std::u16string out = u"(";
  for (size_t i = 0; i < ix.cols.size(); ++i) {
    if (i) out += u", ";
    size_t c = size_t(ix.cols[i]);
    out += display_text(row[c], t.cols[c].type);
  }
  return out + u")";
}

namespace write {

type_desc natural_type(const value& v) {
  switch (v.kind) {
    case value::null:
      return int_type();
    case value::i64:
      return bigint_type();
    case value::f64:
      return float_type();
    case value::numeric: {
      int digits = int(v.digits.size());
      int p = std::min(38, std::max(digits, v.scale + 1));
      return numeric_type(p, std::min(v.scale, p));
    }
    case value::text:
      return nvarchar_type(-1);
    case value::bytes:
      return make_type(col_type::varbinary, -1);
    case value::datetime:
      return make_type(col_type::datetime2, 0, 0, 7);
    case value::guid:
      return make_type(col_type::uniqueidentifier);
  }
  return int_type();
}

value column_default(session::impl& s, mssim::database& d, const object_info& t, size_t col) {
  const col_info& c = t.cols[col];
  if (c.default_text.empty()) return value::make_null();
  parser p(c.default_text, true);
  expr_ptr e = p.parse_single_expression();
  type_desc ty;
  value v = s.evaluate(*e, d, ty);
  return convert(v, ty, c.type, s.conversion());
}

std::vector<row_image> read_rows(mssim::database& d, const object_info& t,
                                 const std::vector<int64_t>& rowids) {
  std::string sql = "SELECT ";
  for (size_t i = 0; i < t.cols.size(); ++i) sql += (i ? ", " : "") + t.cols[i].sqlcol();
  sql += " FROM " + t.sqlname() + " WHERE rowid = ?";
  sqlite3_stmt* st = d.prepare(sql);
  std::vector<row_image> out;
  for (int64_t id : rowids) {
    sqlite3_reset(st);
    sqlite3_bind_int64(st, 1, id);
    row_image r;
    if (step_row(d, st))
      for (size_t i = 0; i < t.cols.size(); ++i)
        r.push_back(read_column(st, int(i), t.cols[i].type));
    else
      r.assign(t.cols.size(), value::make_null());
    out.push_back(std::move(r));
  }
  sqlite3_reset(st);
  return out;
}

void duplicate_error(session::impl& s, mssim::database& d, const object_info& t,
                     const row_image& row, int64_t except_rowid) {
  std::vector<const index_info*> order;
  for (int pass = 0; pass < 3; ++pass)
    for (const auto& ix : t.indexes) {
      if (!ix.unique) continue;
      int k = ix.kind == index_info::primary ? 0 : ix.kind == index_info::unique_constraint ? 1 : 2;
      if (k == pass) order.push_back(&ix);
    }
  for (const index_info* ix : order) {
    std::string sql = "SELECT 1 FROM " + t.sqlname() + " WHERE ";
    for (size_t i = 0; i < ix->cols.size(); ++i)
      sql += (i ? " AND " : "") + t.cols[size_t(ix->cols[i])].sqlcol() + " IS ?";
    if (except_rowid) sql += " AND rowid <> " + std::to_string(except_rowid);
    sql += " LIMIT 1";
    sqlite3_stmt* st = d.prepare(sql);
    for (size_t i = 0; i < ix->cols.size(); ++i) {
      size_t c = size_t(ix->cols[i]);
      bind_value(st, int(i + 1), row[c], t.cols[c].type);
    }
    bool hit = step_row(d, st);
    sqlite3_reset(st);
    if (!hit) continue;
    std::u16string dup;
    if (s.eng.ver.major >= 11) dup = u" The duplicate key value is " + key_text(t, *ix, row) + u".";
    if (ix->kind == index_info::plain) throw sql_error(2601, {t.two_part(), ix->name, dup});
    throw sql_error(2627, {ix->kind == index_info::primary ? u"PRIMARY KEY" : u"UNIQUE KEY",
                           ix->name, t.two_part(), dup});
  }
  d.raise_sqlite_error();
}

void check_parent_exists(session::impl& s, mssim::database& d, const object_info& t,
                         const row_image& row, const row_image* old_row, const char16_t* verb) {
  for (const fk_info& fk : d.cat.fks) {
    if (fk.table_id != t.id || !fk.enabled) continue;
    bool null = false, changed = old_row == nullptr;
    for (int c : fk.cols) {
      if (row[size_t(c)].kind == value::null) null = true;
      if (old_row && !same_value(row[size_t(c)], (*old_row)[size_t(c)], t.cols[size_t(c)].type))
        changed = true;
    }
    if (null || !changed) continue;
    const object_info* p = d.cat.by_id(fk.ref_id);
    if (!p) continue;
    std::string sql = "SELECT 1 FROM " + p->sqlname() + " WHERE ";
    for (size_t i = 0; i < fk.ref_cols.size(); ++i)
      sql += (i ? " AND " : "") + p->cols[size_t(fk.ref_cols[i])].sqlcol() + " = ?";
    sql += " LIMIT 1";
    sqlite3_stmt* st = d.prepare(sql);
    for (size_t i = 0; i < fk.cols.size(); ++i)
      bind_value(st, int(i + 1), row[size_t(fk.cols[i])], p->cols[size_t(fk.ref_cols[i])].type);
    bool hit = step_row(d, st);
    sqlite3_reset(st);
    if (!hit)
      throw sql_error(547, {verb, u"FOREIGN KEY", fk.name, d.name, p->two_part(),
                            column_part(*p, fk.ref_cols)});
  }
}

void check_constraints(session::impl& s, mssim::database& d, const object_info& t, int64_t rowid,
                       const char16_t* verb) {
  for (const check_info& c : d.cat.checks) {
    if (c.table_id != t.id || !c.enabled) continue;
    sqlite3_stmt* st =
        d.prepare("SELECT 1 FROM " + t.sqlname() + " WHERE rowid = ? AND NOT (" + c.sql + ")");
    sqlite3_bind_int64(st, 1, rowid);
    bool hit = step_row(d, st);
    sqlite3_reset(st);
    if (hit) throw sql_error(547, {verb, u"CHECK", c.name, d.name, t.two_part(), u""});
  }
}

int64_t delete_rows(session::impl& s, mssim::database& d, object_info& t,
                    const std::vector<int64_t>& rowids, int depth) {
  if (rowids.empty()) return 0;
  bool referenced = false;
  for (const fk_info& fk : d.cat.fks)
    if (fk.ref_id == t.id && fk.enabled) referenced = true;
  std::vector<row_image> old;
  if (referenced) old = read_rows(d, t, rowids);
  sqlite3_stmt* st = d.prepare("DELETE FROM " + t.sqlname() + " WHERE rowid = ?");
  int64_t n = 0;
  for (int64_t id : rowids) {
    s.check_cancel();
    sqlite3_reset(st);
    sqlite3_bind_int64(st, 1, id);
    step_row(d, st);
    n += sqlite3_changes(d.handle());
  }
  sqlite3_reset(st);
  if (referenced) parent_actions(s, d, t, old, nullptr, depth);
  return n;
}

void update_rows(session::impl& s, mssim::database& d, object_info& t,
                 const std::vector<int64_t>& rowids, const std::vector<row_image>& old_rows,
                 const std::vector<row_image>& new_rows, int depth) {
  std::string sql = "UPDATE " + t.sqlname() + " SET ";
  for (size_t i = 0; i < t.cols.size(); ++i) sql += (i ? ", " : "") + t.cols[i].sqlcol() + " = ?";
  sql += " WHERE rowid = ?";
  for (size_t r = 0; r < rowids.size(); ++r) {
    s.check_cancel();
    const row_image& nr = new_rows[r];
    for (size_t i = 0; i < t.cols.size(); ++i)
      if (!t.cols[i].type.nullable && nr[i].kind == value::null)
        throw sql_error(515, {t.cols[i].name, s.three_part(t, d), u"UPDATE"});
    sqlite3_stmt* st = d.prepare(sql);
    for (size_t i = 0; i < t.cols.size(); ++i) bind_value(st, int(i + 1), nr[i], t.cols[i].type);
    sqlite3_bind_int64(st, int(t.cols.size() + 1), rowids[r]);
    int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if ((rc & 0xFF) == SQLITE_CONSTRAINT) duplicate_error(s, d, t, nr, rowids[r]);
    if (rc != SQLITE_DONE) d.raise_sqlite_error();
  }
  for (size_t r = 0; r < rowids.size(); ++r) {
    check_parent_exists(s, d, t, new_rows[r], &old_rows[r], u"UPDATE");
    check_constraints(s, d, t, rowids[r], u"UPDATE");
  }
  parent_actions(s, d, t, old_rows, &new_rows, depth);
}

}  // namespace write

namespace {

void parent_actions(session::impl& s, mssim::database& d, object_info& parent,
                    const std::vector<row_image>& old_rows, const std::vector<row_image>* new_rows,
                    int depth) {
  if (depth > 32) throw sql_error(50000, {u"Cascading actions nest too deeply."});
  std::vector<fk_info> fks;
  for (const fk_info& fk : d.cat.fks)
    if (fk.ref_id == parent.id && fk.enabled) fks.push_back(fk);
  for (const fk_info& fk : fks) {
    object_info* child = d.cat.by_id(fk.table_id);
    if (!child) continue;
    ref_action action = new_rows ? fk.on_update : fk.on_delete;
    for (size_t r = 0; r < old_rows.size(); ++r) {
      const row_image& old = old_rows[r];
      bool null = false, changed = new_rows == nullptr;
      for (int c : fk.ref_cols) {
        if (old[size_t(c)].kind == value::null) null = true;
        if (new_rows &&
            !same_value(old[size_t(c)], (*new_rows)[r][size_t(c)], parent.cols[size_t(c)].type))
          changed = true;
      }
      if (null || !changed) continue;
      // Another parent row may still carry the key (a unique index over nullable columns).
      std::string still = "SELECT 1 FROM " + parent.sqlname() + " WHERE ";
      for (size_t i = 0; i < fk.ref_cols.size(); ++i)
        still += (i ? " AND " : "") + parent.cols[size_t(fk.ref_cols[i])].sqlcol() + " = ?";
      still += " LIMIT 1";
      sqlite3_stmt* st = d.prepare(still);
      for (size_t i = 0; i < fk.ref_cols.size(); ++i) {
        size_t c = size_t(fk.ref_cols[i]);
        bind_value(st, int(i + 1), old[c], parent.cols[c].type);
      }
      bool kept = step_row(d, st);
      sqlite3_reset(st);
      if (kept) continue;
      std::string find = "SELECT rowid FROM " + child->sqlname() + " WHERE ";
      for (size_t i = 0; i < fk.cols.size(); ++i)
        find += (i ? " AND " : "") + child->cols[size_t(fk.cols[i])].sqlcol() + " = ?";
      st = d.prepare(find);
      for (size_t i = 0; i < fk.cols.size(); ++i)
        bind_value(st, int(i + 1), old[size_t(fk.ref_cols[i])],
                   child->cols[size_t(fk.cols[i])].type);
      std::vector<int64_t> kids;
      while (step_row(d, st)) kids.push_back(sqlite3_column_int64(st, 0));
      sqlite3_reset(st);
      if (kids.empty()) continue;
      if (action == ref_action::no_action)
        throw sql_error(547, {new_rows ? u"UPDATE" : u"DELETE", u"REFERENCE", fk.name, d.name,
                              child->two_part(), column_part(*child, fk.cols)});
      if (action == ref_action::cascade && !new_rows) {
        write::delete_rows(s, d, *child, kids, depth + 1);
        continue;
      }
      std::vector<row_image> olds = write::read_rows(d, *child, kids), news = olds;
      for (auto& img : news)
        for (size_t i = 0; i < fk.cols.size(); ++i) {
          size_t c = size_t(fk.cols[i]);
          if (action == ref_action::cascade) {
            img[c] = (*new_rows)[r][size_t(fk.ref_cols[i])];
          } else if (action == ref_action::set_null) {
            img[c] = value::make_null();
          } else {
            img[c] = write::column_default(s, d, *child, c);
          }
        }
      write::update_rows(s, d, *child, kids, olds, news, depth + 1);
    }
  }
}

}  // namespace

row_writer::row_writer(session::impl& s, mssim::database& d, object_info& t,
                       std::vector<int> positions)
    : s_(s), d_(d), t_(t), positions_(std::move(positions)) {
  identity_pos_ = t_.identity_pos();
  for (int p : positions_)
    if (p == identity_pos_) identity_given_ = true;
  default_state_.assign(t_.cols.size(), 0);
  default_cache_.assign(t_.cols.size(), value::make_null());
  insert_sql_ = "INSERT INTO " + t_.sqlname() + "(";
  std::string marks;
  for (size_t i = 0; i < t_.cols.size(); ++i) {
    insert_sql_ += (i ? ", " : "") + t_.cols[i].sqlcol();
    marks += i ? ", ?" : "?";
  }
  insert_sql_ += ") VALUES(" + marks + ")";
}

value row_writer::default_for(size_t col) {
  const col_info& c = t_.cols[col];
  if (c.default_text.empty()) return value::make_null();
  if (default_state_[col] == 1) return default_cache_[col];
  parser p(c.default_text, true);
  expr_ptr e = p.parse_single_expression();
  type_desc ty;
  value v = s_.evaluate(*e, d_, ty);
  value r = convert(v, ty, c.type, s_.conversion());
  if (default_state_[col] == 0) {
    // Constant defaults are computed once per statement; getdate() and friends every row.
    bool constant =
        e->kind == expr::literal || (e->kind == expr::unary && e->args[0]->kind == expr::literal);
    default_state_[col] = constant ? 1 : 2;
    if (constant) default_cache_[col] = r;
  }
  return r;
}

void row_writer::add(const std::vector<value>& vals, const std::vector<type_desc>& types) {
  const size_t ncols = t_.cols.size();
  row_.assign(ncols, value::make_null());
  given_.assign(ncols, 0);
  for (size_t k = 0; k < positions_.size() && k < vals.size(); ++k) {
    size_t pos = size_t(positions_[k]);
    const col_info& c = t_.cols[pos];
    const value& v = vals[k];
    given_[pos] = 1;
    if (v.kind == value::null) {
      if (!keep_nulls && !c.default_text.empty()) row_[pos] = default_for(pos);
      continue;
    }
    try {
      row_[pos] = convert(v, types[k], c.type, s_.conversion());
    } catch (const sql_error& e) {
      if (bulk && e.msg.number == 8152) throw sql_error(4815, {num(int64_t(k + 1))});
      throw;
    }
  }
  for (size_t i = 0; i < ncols; ++i) {
    if (given_[i]) continue;
    if (int(i) == identity_pos_) {
      const col_info& c = t_.cols[i];
      int64_t next = t_.ident_used ? t_.ident_current + c.increment : c.seed;
      if (!integer_in_range(c.type, next)) throw sql_error(8115, {u"IDENTITY", type_name(c.type)});
      t_.ident_current = next;
      t_.ident_used = true;
      ident_moved_ = true;
      row_[i] = identity_value(c.type, next);
    } else {
      row_[i] = default_for(i);
    }
  }
  for (size_t i = 0; i < ncols; ++i)
    if (!t_.cols[i].type.nullable && row_[i].kind == value::null)
      throw sql_error(515, {t_.cols[i].name, s_.three_part(t_, d_), u"INSERT"});
  int64_t ident = 0;
  if (identity_pos_ >= 0) {
    const col_info& c = t_.cols[size_t(identity_pos_)];
    const value& v = row_[size_t(identity_pos_)];
    if (v.kind == value::i64)
      ident = v.i;
    else
      dec_to_i64(to_dec(v), ident);
    if (identity_given_) {
      bool later = c.increment > 0 ? ident > t_.ident_current : ident < t_.ident_current;
      if (!t_.ident_used || later) {
        t_.ident_current = ident;
        t_.ident_used = true;
        ident_moved_ = true;
      }
    }
  }
  if (sink) {
    ++count_;
    return;
  }
  sqlite3_stmt* st = d_.prepare(insert_sql_);
  for (size_t i = 0; i < ncols; ++i) bind_value(st, int(i + 1), row_[i], t_.cols[i].type);
  int rc = sqlite3_step(st);
  sqlite3_reset(st);
  if ((rc & 0xFF) == SQLITE_CONSTRAINT) write::duplicate_error(s_, d_, t_, row_, 0);
  if (rc != SQLITE_DONE) d_.raise_sqlite_error();
  int64_t rowid = sqlite3_last_insert_rowid(d_.handle());
  if (check_fks) write::check_parent_exists(s_, d_, t_, row_, nullptr, u"INSERT");
  if (check_checks) write::check_constraints(s_, d_, t_, rowid, u"INSERT");
  if (identity_pos_ >= 0) {
    s_.has_identity = s_.has_scope_identity = true;
    s_.last_identity = s_.scope_identity = ident;
  }
  ++count_;
}

void row_writer::finish() {
  if (ident_moved_ && !sink) catalog_save_identity(d_.handle(), t_);
  ident_moved_ = false;
}

}  // namespace mssim
