// CREATE/DROP TABLE, indexes, ALTER TABLE (keys, foreign keys with their checks, defaults,
// columns), CREATE/DROP VIEW and SELECT INTO's table. Every change goes to the in-memory
// catalogue and, inside the statement's transaction, to the catalogue tables of the file; a
// failed statement rolls both back.
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <set>

#include "eng_parser.h"
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

std::u16string hex_id(uint64_t v, int digits) {
  static const char* hx = "0123456789ABCDEF";
  std::u16string out;
  for (int i = digits - 1; i >= 0; --i) out += char16_t(hx[(v >> (4 * i)) & 15]);
  return out;
}

uint64_t mix(uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdULL;
  x ^= x >> 33;
  x *= 0xc4ceb9fe1a85ec53ULL;
  x ^= x >> 33;
  return x;
}

// Names SQL Server gives unnamed constraints: PK__table__16HEX, FK__table__col__8HEX, ...
std::u16string system_name(const char* kind, const object_info& t, const std::u16string& col,
                           uint64_t seed) {
  std::u16string k = u16(kind);
  uint64_t h = mix(seed * 1000003 + uint64_t(t.id));
  if (k == u"PK" || k == u"UQ") return k + u"__" + t.name.substr(0, 8) + u"__" + hex_id(h, 16);
  return k + u"__" + t.name.substr(0, 9) + u"__" + col.substr(0, 5) + u"__" + hex_id(h, 8);
}

// The text SQL Server keeps for a DEFAULT: numbers in double parentheses, the rest in one pair,
// built-in function names in lower case.
std::u16string default_definition(const expr& e, const std::u16string& written) {
  std::u16string t = written;
  auto strip = [](std::u16string& s) {
    for (;;) {
      while (!s.empty() && s.front() == u' ') s.erase(0, 1);
      while (!s.empty() && s.back() == u' ') s.pop_back();
      if (s.size() < 2 || s.front() != u'(' || s.back() != u')') return;
      int depth = 0;
      for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == u'(') ++depth;
        if (s[i] == u')' && --depth == 0 && i + 1 < s.size()) return;
      }
      s = s.substr(1, s.size() - 2);
    }
  };
  strip(t);
  const expr* x = &e;
  bool negative = false;
  if (x->kind == expr::unary && x->op == u"-" && x->args[0]->kind == expr::literal) {
    negative = true;
    x = x->args[0].get();
  }
  if (x->kind == expr::literal && x->lit.kind != value::null &&
      (x->lit.kind == value::i64 || x->lit.kind == value::numeric || x->lit.kind == value::f64) &&
      (x->lit_type.type != col_type::money)) {
    std::u16string n;
    for (char16_t c : t)
      if (c != u' ' && c != u'(' && c != u')') n += c;
    (void)negative;
    return u"((" + n + u"))";
  }
  if (x->kind == expr::literal && x->lit.kind == value::null) return u"(NULL)";
  if (x->kind == expr::func && x->args.empty() && x->name.parts.size() == 1) {
    std::u16string f = lower(x->name.parts[0]);
    if (f == u"current_timestamp") f = u"getdate";
    return u"(" + f + u"())";
  }
  return u"(" + t + u")";
}

bool has_column_ref(const expr& e, std::u16string& name) {
  if (e.kind == expr::column) {
    name = e.name.text;
    return true;
  }
  for (const auto& a : e.args)
    if (a && has_column_ref(*a, name)) return true;
  return false;
}

int key_limit(const session::impl& s, bool clustered) {
  return clustered || s.eng.ver.major < 13 ? 900 : 1700;
}

// A source over a table's own columns (unqualified SQLite names), for CHECK constraints.
scope table_scope(const object_info& t) {
  scope sc;
  source src;
  src.exposed = t.name;
  src.table = t.name;
  for (const auto& c : t.cols) {
    src_col sc_;
    sc_.name = c.name;
    sc_.type = c.type;
    sc_.sql = c.sqlcol();
    src.cols.push_back(std::move(sc_));
  }
  sc.sources.push_back(std::move(src));
  return sc;
}

sql_error with_1750(sql_error first) {
  sql_error e(1750, {});
  e.before.push_back(first.msg);
  e.terminated = first.terminated;
  return e;
}

}  // namespace

// ---- pieces shared by CREATE TABLE and ALTER TABLE ------------------------------------------

namespace {

struct ddl {
  session::impl& s;
  mssim::database& d;

  std::u16string check_name(const object_info& t, const std::u16string& name, const char* kind,
                            const std::u16string& col) {
    if (name.empty()) {
      std::u16string n;
      uint64_t seed = uint64_t(d.cat.next_seq++);
      do {
        n = system_name(kind, t, col, seed++);
      } while (d.cat.name_in_use(t.schema, n));
      return n;
    }
    if (d.cat.name_in_use(t.schema, name)) throw with_1750(sql_error(2714, {name}, 5));
    return name;
  }

  // Key size and type checks of an index or key over `cols`; 1945 goes out as a warning.
  void check_key(const object_info& t, const std::u16string& name, const std::vector<int>& cols,
                 bool clustered, bool constraint) {
    int max_cols = s.eng.ver.major >= 13 ? 32 : 16;
    if (int(cols.size()) > max_cols) {
      sql_error e(1904, {name, t.two_part(), num(int64_t(cols.size())), num(max_cols)});
      throw constraint ? with_1750(e) : e;
    }
    int64_t fixed = 0, maximum = 0;
    bool variable = false;
    for (int c : cols) {
      const type_desc& ty = t.cols[size_t(c)].type;
      if (is_lob(ty)) {
        sql_error e(1919, {t.cols[size_t(c)].name, t.name});
        throw constraint ? with_1750(e) : e;
      }
      int32_t b = key_bytes(ty);
      if (ty.type == col_type::varchar || ty.type == col_type::nvarchar ||
          ty.type == col_type::varbinary)
        variable = true;
      else
        fixed += b;
      maximum += b;
    }
    int limit = key_limit(s, clustered);
    if (fixed > limit) {
      sql_error e(1944, {name, num(fixed), num(limit)});
      throw constraint ? with_1750(e) : e;
    }
    if (variable && maximum > limit) s.emit_info(1945, {num(limit), name, num(maximum)});
  }

  // Creates the SQLite index behind an index or key. Unique ones count NULLs as equal, as
  // SQL Server does (one NULL per key), and refuse existing duplicates with 1505.
  void build_index(object_info& t, index_info& ix, bool constraint) {
    ix.sqlname = "i" + std::to_string(t.id) + "_" + std::to_string(d.cat.next_seq++);
    std::string cols;
    for (size_t i = 0; i < ix.cols.size(); ++i) {
      const col_info& c = t.cols[size_t(ix.cols[i])];
      if (i) cols += ", ";
      std::string desc = i < ix.desc.size() && ix.desc[i] ? " DESC" : "";
      if (ix.unique && c.type.nullable) {
        std::string coll = is_char(c.type.type) ? " COLLATE MSCI"
                           : (c.type.type == col_type::numeric || c.type.type == col_type::money ||
                              c.type.type == col_type::smallmoney)
                               ? " COLLATE MSNUM"
                               : "";
        cols += "(" + c.sqlcol() + " IS NULL), ifnull(" + c.sqlcol() + ", 0)" + coll + desc;
      } else {
        cols += c.sqlcol() + desc;
      }
    }
    if (ix.unique) {
      std::string group;
      for (size_t i = 0; i < ix.cols.size(); ++i)
        group += (i ? ", " : "") + t.cols[size_t(ix.cols[i])].sqlcol();
      sqlite3_stmt* st = d.prepare("SELECT " + group + " FROM " + t.sqlname() + " GROUP BY " +
                                   group + " HAVING count(*) > 1 LIMIT 1");
      if (step_row(d, st)) {
        row_image row(t.cols.size(), value::make_null());
        for (size_t i = 0; i < ix.cols.size(); ++i) {
          size_t c = size_t(ix.cols[i]);
          row[c] = read_column(st, int(i), t.cols[c].type);
        }
        sqlite3_reset(st);
        std::u16string dup = key_text(t, ix, row);
        sql_error e(1505, {t.two_part(), ix.name, dup});
        if (s.eng.ver.major < 11) {
          e.msg.text = e.msg.text.substr(0, e.msg.text.find(u" The duplicate key value"));
        }
        if (constraint) throw with_1750(e);
        throw e;
      }
      sqlite3_reset(st);
    }
    d.exec(std::string(ix.unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") + ix.sqlname + " ON " +
           t.sqlname() + "(" + cols + ")");
  }

  std::vector<int> key_positions(const object_info& t, const std::vector<key_column>& kc,
                                 std::vector<bool>* desc, bool constraint) {
    std::vector<int> out;
    for (const auto& k : kc) {
      int p = t.find_col(k.name);
      if (p < 0) {
        sql_error e(1911, {k.name});
        throw constraint ? with_1750(e) : e;
      }
      if (std::find(out.begin(), out.end(), p) != out.end()) {
        sql_error e(1909, {k.name, t.name});
        throw constraint ? with_1750(e) : e;
      }
      out.push_back(p);
      if (desc) desc->push_back(k.desc);
    }
    return out;
  }

  void add_key(object_info& t, const constraint_def& c) {
    bool primary = c.kind == constraint_def::primary;
    if (primary && t.primary_key()) throw with_1750(sql_error(1779, {t.name}));
    index_info ix;
    ix.kind = primary ? index_info::primary : index_info::unique_constraint;
    ix.unique = true;
    ix.cols = key_positions(t, c.cols, &ix.desc, true);
    ix.clustered = c.clustered_given ? c.clustered : (primary && !t.clustered_index());
    if (ix.clustered && t.clustered_index()) {
      const index_info* other = t.clustered_index();
      throw with_1750(sql_error(1902, {u"table", t.two_part(), other->name}));
    }
    if (primary)
      for (int p : ix.cols)
        if (t.cols[size_t(p)].type.nullable) throw with_1750(sql_error(8111, {t.name}));
    ix.name = check_name(t, c.name, primary ? "PK" : "UQ", u"");
    for (const auto& other : t.indexes)
      if (ieq(other.name, ix.name)) throw with_1750(sql_error(1913, {ix.name, t.two_part()}));
    check_key(t, ix.name, ix.cols, ix.clustered, true);
    build_index(t, ix, true);
    t.indexes.push_back(std::move(ix));
  }

  // Would a new cascading foreign key open a second cascade path, or a cycle?
  static bool cascade_conflict(const catalog& cat, const fk_info& added, bool on_delete) {
    auto cascading = [&](const fk_info& f) {
      return (on_delete ? f.on_delete : f.on_update) != ref_action::no_action;
    };
    if (!cascading(added)) return false;
    std::map<int64_t, std::vector<int64_t>> edges;
    for (const fk_info& f : cat.fks)
      if (cascading(f)) edges[f.ref_id].push_back(f.table_id);
    edges[added.ref_id].push_back(added.table_id);
    // Paths from every table: a cycle, or two paths to one table, is a conflict.
    std::set<int64_t> nodes;
    for (const auto& [from, to] : edges) {
      nodes.insert(from);
      for (int64_t t : to) nodes.insert(t);
    }
    for (int64_t start : nodes) {
      std::map<int64_t, int> visits;
      std::vector<std::pair<int64_t, int>> stack = {{start, 0}};
      int steps = 0;
      while (!stack.empty()) {
        auto [n, depth] = stack.back();
        stack.pop_back();
        if (++steps > 100000 || depth > 64) return true;
        for (int64_t next : edges[n]) {
          if (next == start) return true;
          if (++visits[next] > 1) return true;
          stack.push_back({next, depth + 1});
        }
      }
    }
    return false;
  }

  void add_foreign_key(object_info& t, const constraint_def& c, bool check_rows) {
    fk_info fk;
    fk.table_id = t.id;
    fk.on_delete = c.on_delete;
    fk.on_update = c.on_update;
    std::u16string first_col = c.cols.empty() ? u"" : c.cols[0].name;
    fk.name = check_name(t, c.name, "FK", first_col);
    if (c.ref_table.parts.size() == 3 && !c.ref_table.parts[0].empty() &&
        !ieq(c.ref_table.parts[0], d.name))
      throw with_1750(sql_error(1763, {fk.name}));
    std::u16string schema = c.ref_table.parts.size() >= 2 ? c.ref_table.part_from_end(1) : u"";
    object_info* p = d.cat.find(schema.empty() ? u"dbo" : schema, c.ref_table.last());
    if (!p || p->kind != 'U') throw with_1750(sql_error(1767, {fk.name, c.ref_table.text}));
    fk.ref_id = p->id;
    for (const auto& k : c.cols) {
      int pos = t.find_col(k.name);
      if (pos < 0) throw with_1750(sql_error(1769, {fk.name, k.name, t.name}));
      fk.cols.push_back(pos);
    }
    if (c.ref_cols.empty()) {
      const index_info* pk = p->primary_key();
      if (pk) fk.ref_cols = pk->cols;
    } else {
      for (const auto& n : c.ref_cols) {
        int pos = p->find_col(n);
        if (pos < 0) throw with_1750(sql_error(1770, {fk.name, n, p->name}));
        fk.ref_cols.push_back(pos);
      }
    }
    if (fk.ref_cols.size() != fk.cols.size() && !fk.ref_cols.empty())
      throw with_1750(sql_error(8139, {t.name}));
    const index_info* target = nullptr;
    for (const auto& ix : p->indexes) {
      if (!ix.unique || ix.cols.size() != fk.ref_cols.size()) continue;
      std::vector<int> a = ix.cols, b = fk.ref_cols;
      std::sort(a.begin(), a.end());
      std::sort(b.begin(), b.end());
      if (a == b && !a.empty()) {
        target = &ix;
        break;
      }
    }
    if (!target) throw with_1750(sql_error(1776, {p->name, fk.name}));
    fk.ref_index = target->name;
    for (size_t i = 0; i < fk.cols.size(); ++i) {
      const col_info& cc = t.cols[size_t(fk.cols[i])];
      const col_info& pc = p->cols[size_t(fk.ref_cols[i])];
      bool same = cc.type.type == pc.type.type;
      if (same && cc.type.type == col_type::numeric)
        same = cc.type.precision == pc.type.precision && cc.type.scale == pc.type.scale;
      if (!same)
        throw with_1750(
            sql_error(1778, {p->name + u"." + pc.name, t.name + u"." + cc.name, fk.name}));
    }
    for (ref_action a : {fk.on_delete, fk.on_update}) {
      if (a == ref_action::set_null)
        for (int pos : fk.cols)
          if (!t.cols[size_t(pos)].type.nullable) throw with_1750(sql_error(1761, {fk.name}));
      if (a == ref_action::set_default)
        for (int pos : fk.cols)
          if (!t.cols[size_t(pos)].type.nullable && t.cols[size_t(pos)].default_text.empty())
            throw with_1750(sql_error(1762, {fk.name}));
    }
    if (cascade_conflict(d.cat, fk, true) || cascade_conflict(d.cat, fk, false))
      throw with_1750(sql_error(1785, {fk.name, t.name}));
    if (check_rows) {
      std::string sql = "SELECT 1 FROM " + t.sqlname() + " AS c WHERE ";
      for (size_t i = 0; i < fk.cols.size(); ++i)
        sql += (i ? " AND " : "") + std::string("c.") + t.cols[size_t(fk.cols[i])].sqlcol() +
               " IS NOT NULL";
      sql += " AND NOT EXISTS (SELECT 1 FROM " + p->sqlname() + " AS p WHERE ";
      for (size_t i = 0; i < fk.cols.size(); ++i)
        sql += (i ? " AND " : "") + std::string("p.") + p->cols[size_t(fk.ref_cols[i])].sqlcol() +
               " = c." + t.cols[size_t(fk.cols[i])].sqlcol();
      sql += ") LIMIT 1";
      sqlite3_stmt* st = d.prepare(sql);
      bool orphan = step_row(d, st);
      sqlite3_reset(st);
      if (orphan) {
        std::u16string col = fk.ref_cols.size() == 1
                                 ? u", column '" + p->cols[size_t(fk.ref_cols[0])].name + u"'"
                                 : u"";
        throw sql_error(547, {u"ALTER TABLE", u"FOREIGN KEY", fk.name, d.name, p->two_part(), col});
      }
    }
    d.cat.fks.push_back(std::move(fk));
  }

  void add_check(object_info& t, const constraint_def& c, bool check_rows) {
    check_info ck;
    ck.table_id = t.id;
    ck.name = check_name(t, c.name, "CK", c.cols.empty() ? u"" : c.cols[0].name);
    compiler comp(s, d);
    scope sc = table_scope(t);
    ck.sql = comp.condition(*c.e, sc, clause::other);
    ck.text = u"(" + c.e_text + u")";
    if (check_rows) {
      sqlite3_stmt* st =
          d.prepare("SELECT 1 FROM " + t.sqlname() + " WHERE NOT (" + ck.sql + ") LIMIT 1");
      bool bad = step_row(d, st);
      sqlite3_reset(st);
      if (bad) throw sql_error(547, {u"ALTER TABLE", u"CHECK", ck.name, d.name, t.two_part(), u""});
    }
    d.cat.checks.push_back(std::move(ck));
  }

  void add_default(object_info& t, col_info& col, const constraint_def& c) {
    if (col.type.identity) throw with_1750(sql_error(1754, {t.name, col.name}));
    if (!col.default_text.empty()) throw with_1750(sql_error(1781, {}));
    std::u16string ref;
    if (has_column_ref(*c.e, ref)) throw sql_error(128, {ref});
    // The value must be computable: a bad function or variable fails here, as in SQL Server.
    compiler comp(s, d);
    comp.scalar(*c.e);
    col.default_name = check_name(t, c.name, "DF", col.name);
    col.default_text = default_definition(*c.e, c.e_text);
  }

  col_info make_column(const object_info& t, column_def& def, int colno, bool in_pk) {
    col_info c;
    c.name = def.name;
    c.type = resolve_type(def.type_name, def.type_args, colno, def.name);
    if (def.identity) {
      bool ok = is_integer(c.type.type) || (c.type.type == col_type::numeric && c.type.scale == 0);
      if (!ok) throw sql_error(2749, {def.name});
      if (def.null_given && def.nullable) throw sql_error(8147, {def.name, t.name});
      if (def.increment == 0) throw sql_error(2749, {def.name});
      c.type.identity = true;
      c.seed = def.seed;
      c.increment = def.increment;
      c.type.nullable = false;
    } else if (def.null_given) {
      c.type.nullable = def.nullable;
    } else {
      c.type.nullable = in_pk ? false : s.o.ansi_null_dflt_on;
    }
    if (in_pk && def.null_given && def.nullable) throw with_1750(sql_error(8111, {t.name}));
    return c;
  }

  void save() {
    catalog_save(d.handle(), d.cat);
    d.clear_cache();
  }
};

bool column_in_key(const std::u16string& col, const std::vector<constraint_def>& table_cons,
                   const std::vector<column_def>& cols) {
  for (const auto& c : table_cons)
    if (c.kind == constraint_def::primary)
      for (const auto& k : c.cols)
        if (ieq(k.name, col)) return true;
  for (const auto& cd : cols)
    if (ieq(cd.name, col))
      for (const auto& c : cd.constraints)
        if (c.kind == constraint_def::primary) return true;
  return false;
}

}  // namespace

// ---- CREATE TABLE -------------------------------------------------------------------------

void session::impl::exec_create_table(create_table_statement& s) {
  mssim::database& d = *db;
  statement_scope scp(*this, d, true);
  const qname& n = s.table;
  if (n.parts.size() == 3 && !n.parts[0].empty() && !ieq(n.parts[0], d.name))
    throw sql_error(
        50000, {u"The stand-in creates tables in the current database only ('" + n.text + u"')."});
  std::u16string schema = n.parts.size() >= 2 ? n.part_from_end(1) : u"";
  if (schema.empty()) schema = u"dbo";
  if (!ieq_ascii(schema, "dbo")) throw sql_error(2760, {schema});
  if (n.last().size() > 128) throw sql_error(103, {n.last().substr(0, 128)});
  if (d.cat.name_in_use(u"dbo", n.last())) throw sql_error(2714, {n.last()});
  if (s.cols.empty()) throw sql_error(102, {u")"});
  ddl x{*this, d};

  auto o = std::make_unique<object_info>();
  o->id = d.cat.next_id++;
  o->created = d.cat.next_seq++;
  o->schema = u"dbo";
  o->name = n.last();
  o->kind = 'U';
  std::set<std::u16string> seen;
  int identities = 0;
  for (size_t i = 0; i < s.cols.size(); ++i) {
    column_def& def = s.cols[i];
    if (!seen.insert(fold(def.name)).second) throw sql_error(2705, {def.name, n.text});
    bool in_pk = column_in_key(def.name, s.constraints, s.cols);
    col_info c = x.make_column(*o, def, int(i + 1), in_pk);
    c.ordinal = int(i + 1);
    if (c.type.identity && ++identities > 1) throw sql_error(2744, {o->name});
    o->cols.push_back(std::move(c));
  }
  std::string sql = "CREATE TABLE " + o->sqlname() + " (";
  for (size_t i = 0; i < o->cols.size(); ++i)
    sql += (i ? ", " : "") + o->cols[i].sqlcol() + " " + sql_column_decl(o->cols[i].type);
  sql += ")";
  d.exec(sql);
  object_info& t = *o;
  d.cat.objects[catalog::key(o->schema, o->name)] = std::move(o);

  // Keys first (a foreign key may reference the table itself), then the rest in order.
  std::vector<std::pair<const constraint_def*, size_t>> all;  // constraint, column (or npos)
  for (size_t i = 0; i < s.cols.size(); ++i)
    for (auto& c : s.cols[i].constraints) all.push_back({&c, i});
  for (auto& c : s.constraints) all.push_back({&c, std::string::npos});
  for (auto& [c, col] : all)
    if (c->kind == constraint_def::primary || c->kind == constraint_def::unique) x.add_key(t, *c);
  for (auto& [c, col] : all) {
    switch (c->kind) {
      case constraint_def::default_:
        x.add_default(t, t.cols[col], *c);
        break;
      case constraint_def::check: {
        constraint_def copy;
        copy.name = c->name;
        copy.kind = c->kind;
        copy.e_text = c->e_text;
        if (col != std::string::npos) copy.cols.push_back({t.cols[col].name, false});
        constraint_def& cc = const_cast<constraint_def&>(*c);
        copy.e = std::move(cc.e);
        x.add_check(t, copy, false);
        cc.e = std::move(copy.e);
        break;
      }
      default:
        break;
    }
  }
  for (auto& [c, col] : all)
    if (c->kind == constraint_def::foreign) x.add_foreign_key(t, *c, false);
  x.save();
  scp.commit();
  emit_done(0, false);
}

object_info& session::impl::create_table_like(const qname& n, const std::vector<column>& cols) {
  mssim::database& d = *db;
  std::u16string schema = n.parts.size() >= 2 ? n.part_from_end(1) : u"";
  if (!schema.empty() && !ieq_ascii(schema, "dbo")) throw sql_error(2760, {schema});
  if (d.cat.name_in_use(u"dbo", n.last())) throw sql_error(2714, {n.last()});
  auto o = std::make_unique<object_info>();
  o->id = d.cat.next_id++;
  o->created = d.cat.next_seq++;
  o->name = n.last();
  std::set<std::u16string> seen;
  for (size_t i = 0; i < cols.size(); ++i) {
    if (cols[i].name.empty()) throw sql_error(1038, {});
    if (!seen.insert(fold(cols[i].name)).second) throw sql_error(2705, {cols[i].name, n.text});
    col_info c;
    c.name = cols[i].name;
    c.type = cols[i].type;
    c.ordinal = int(i + 1);
    o->cols.push_back(std::move(c));
  }
  std::string sql = "CREATE TABLE " + o->sqlname() + " (";
  for (size_t i = 0; i < o->cols.size(); ++i)
    sql += (i ? ", " : "") + o->cols[i].sqlcol() + " " + sql_column_decl(o->cols[i].type);
  d.exec(sql + ")");
  object_info& t = *o;
  d.cat.objects[catalog::key(o->schema, o->name)] = std::move(o);
  catalog_save(d.handle(), d.cat);
  d.clear_cache();
  return t;
}

// ---- DROP TABLE / VIEW ----------------------------------------------------------------------

void session::impl::exec_drop_table(name_statement& s, bool view) {
  mssim::database& d = *db;
  statement_scope scp(*this, d, true);
  for (const qname& n : s.names) {
    mssim::database* in = nullptr;
    object_info* t = find_object(n, in);
    if (!t || in != &d || t->kind != (view ? 'V' : 'U')) {
      if (s.if_exists) continue;
      throw sql_error(3701, {view ? u"view" : u"table", n.text});
    }
    if (!view)
      for (const fk_info& fk : d.cat.fks)
        if (fk.ref_id == t->id && fk.table_id != t->id)
          throw sql_error(3726, {t->two_part(), fk.name});
    int64_t id = t->id;
    if (!view) d.exec("DROP TABLE " + t->sqlname());
    auto& fks = d.cat.fks;
    fks.erase(
        std::remove_if(fks.begin(), fks.end(), [&](const fk_info& f) { return f.table_id == id; }),
        fks.end());
    auto& cks = d.cat.checks;
    cks.erase(std::remove_if(cks.begin(), cks.end(),
                             [&](const check_info& c) { return c.table_id == id; }),
              cks.end());
    if (ii_object == id && ii_db.get() == &d) {
      ii_object = 0;
      ii_db.reset();
    }
    d.cat.objects.erase(catalog::key(t->schema, t->name));
  }
  catalog_save(d.handle(), d.cat);
  d.clear_cache();
  scp.commit();
  emit_done(0, false);
}

// ---- indexes ----------------------------------------------------------------------------------

void session::impl::exec_create_index(create_index_statement& s) {
  mssim::database& d = *db;
  statement_scope scp(*this, d, true);
  mssim::database* in = nullptr;
  object_info* tp = find_object(s.table, in);
  if (!tp || in != &d) throw sql_error(1088, {s.table.text});
  if (tp->kind != 'U') throw sql_error(1939, {s.name, tp->name});
  object_info& t = *tp;
  ddl x{*this, d};
  for (const auto& ix : t.indexes)
    if (ieq(ix.name, s.name)) throw sql_error(1913, {s.name, t.two_part()});
  index_info ix;
  ix.kind = index_info::plain;
  ix.name = s.name;
  ix.unique = s.unique;
  ix.clustered = s.clustered;
  ix.cols = x.key_positions(t, s.cols, &ix.desc, false);
  if (ix.clustered && t.clustered_index())
    throw sql_error(1902, {u"table", t.two_part(), t.clustered_index()->name});
  x.check_key(t, ix.name, ix.cols, ix.clustered, false);
  x.build_index(t, ix, false);
  t.indexes.push_back(std::move(ix));
  x.save();
  scp.commit();
  emit_done(0, false);
}

void session::impl::exec_drop_index(drop_index_statement& s) {
  mssim::database& d = *db;
  statement_scope scp(*this, d, true);
  for (const auto& [name, table] : s.indexes) {
    mssim::database* in = nullptr;
    object_info* t = find_object(table, in);
    auto it = t ? std::find_if(t->indexes.begin(), t->indexes.end(),
                               [&](const index_info& ix) { return ieq(ix.name, name); })
                : std::vector<index_info>::iterator();
    if (!t || in != &d || it == t->indexes.end())
      throw sql_error(3701, {u"index", table.text + u"." + name});
    if (it->kind != index_info::plain)
      throw sql_error(3723, {table.text + u"." + name,
                             it->kind == index_info::primary ? u"PRIMARY KEY" : u"UNIQUE KEY"});
    d.exec("DROP INDEX " + it->sqlname);
    t->indexes.erase(it);
  }
  catalog_save(d.handle(), d.cat);
  d.clear_cache();
  scp.commit();
  emit_done(0, false);
}

// ---- ALTER TABLE ------------------------------------------------------------------------------

void session::impl::exec_alter_add(alter_table_statement& s) {
  mssim::database& d = *db;
  statement_scope scp(*this, d, true);
  object_info& t = require_table(s.table, d);
  if (t.kind != 'U') throw sql_error(4916, {t.name});
  ddl x{*this, d};
  bool has_rows = false;
  {
    sqlite3_stmt* st = d.prepare("SELECT 1 FROM " + t.sqlname() + " LIMIT 1");
    has_rows = step_row(d, st);
    sqlite3_reset(st);
  }
  for (auto& def : s.cols) {
    if (t.find_col(def.name) >= 0) throw sql_error(2705, {def.name, s.table.text});
    bool in_pk = false;
    for (const auto& c : def.constraints)
      if (c.kind == constraint_def::primary) in_pk = true;
    col_info c = x.make_column(t, def, int(t.cols.size() + 1), in_pk);
    if (c.type.identity && t.identity_col()) throw sql_error(2744, {t.name});
    int ord = 0;
    for (const auto& e : t.cols) ord = std::max(ord, e.ordinal);
    c.ordinal = ord + 1;
    const constraint_def* def_c = nullptr;
    for (const auto& k : def.constraints)
      if (k.kind == constraint_def::default_) def_c = &k;
    if (has_rows && !c.type.nullable && !def_c && !c.type.identity)
      throw sql_error(4901, {c.name, t.name});
    d.exec("ALTER TABLE " + t.sqlname() + " ADD COLUMN " + c.sqlcol() + " " +
           sql_column_decl(c.type));
    t.cols.push_back(std::move(c));
    col_info& added = t.cols.back();
    size_t pos = t.cols.size() - 1;
    if (def_c) x.add_default(t, added, *def_c);
    if (has_rows && (!added.type.nullable || added.type.identity)) {
      // Existing rows get the default (NOT NULL columns) or the next identity values.
      std::vector<int64_t> rowids;
      sqlite3_stmt* st = d.prepare("SELECT rowid FROM " + t.sqlname() + " ORDER BY rowid");
      while (step_row(d, st)) rowids.push_back(sqlite3_column_int64(st, 0));
      sqlite3_reset(st);
      std::vector<row_image> olds = write::read_rows(d, t, rowids), news = olds;
      for (auto& r : news) {
        if (added.type.identity) {
          int64_t next = t.ident_used ? t.ident_current + added.increment : added.seed;
          t.ident_current = next;
          t.ident_used = true;
          r[pos] = added.type.type == col_type::numeric ? from_dec(dec_from_i64(next))
                                                        : value::make_int(next);
        } else {
          r[pos] = write::column_default(*this, d, t, pos);
        }
      }
      write::update_rows(*this, d, t, rowids, olds, news);
    }
    for (auto& k : def.constraints) {
      if (k.kind == constraint_def::primary || k.kind == constraint_def::unique) {
        k.cols = {{added.name, false}};
        x.add_key(t, k);
      } else if (k.kind == constraint_def::foreign) {
        x.add_foreign_key(t, k, !s.with_nocheck);
      } else if (k.kind == constraint_def::check) {
        k.cols = {{added.name, false}};
        x.add_check(t, k, !s.with_nocheck);
      }
    }
  }
  for (auto& c : s.constraints) {
    switch (c.kind) {
      case constraint_def::primary:
      case constraint_def::unique:
        x.add_key(t, c);
        break;
      case constraint_def::foreign:
        x.add_foreign_key(t, c, !s.with_nocheck);
        break;
      case constraint_def::check:
        x.add_check(t, c, !s.with_nocheck);
        break;
      case constraint_def::default_: {
        int p = t.find_col(c.for_col);
        if (p < 0) throw with_1750(sql_error(1752, {c.for_col, t.name}));
        x.add_default(t, t.cols[size_t(p)], c);
        break;
      }
    }
  }
  x.save();
  scp.commit();
  emit_done(0, false);
}

void session::impl::exec_alter_drop(alter_table_statement& s) {
  mssim::database& d = *db;
  statement_scope scp(*this, d, true);
  object_info& t = require_table(s.table, d);
  auto drop_failed = [](sql_error e, int then) {
    sql_error f(then, {});
    f.before.push_back(e.msg);
    return f;
  };
  for (const std::u16string& name : s.names) {
    if (s.drop_columns) {
      int p = t.find_col(name);
      if (p < 0) throw sql_error(4924, {name, t.name});
      const col_info& c = t.cols[size_t(p)];
      if (!c.default_name.empty())
        throw drop_failed(sql_error(5074, {u"object", c.default_name, c.name}), 4922);
      for (const auto& ix : t.indexes)
        if (std::find(ix.cols.begin(), ix.cols.end(), p) != ix.cols.end())
          throw drop_failed(sql_error(5074, {ix.kind == index_info::plain ? u"index" : u"object",
                                             ix.name, c.name}),
                            4922);
      for (const auto& fk : d.cat.fks)
        if ((fk.table_id == t.id &&
             std::find(fk.cols.begin(), fk.cols.end(), p) != fk.cols.end()) ||
            (fk.ref_id == t.id &&
             std::find(fk.ref_cols.begin(), fk.ref_cols.end(), p) != fk.ref_cols.end()))
          throw drop_failed(sql_error(5074, {u"object", fk.name, c.name}), 4922);
      if (t.cols.size() == 1) throw sql_error(4923, {c.name, t.name});
      d.exec("ALTER TABLE " + t.sqlname() + " DROP COLUMN " + c.sqlcol());
      // Positions after it move down by one.
      auto shift = [&](std::vector<int>& v) {
        for (int& x : v)
          if (x > p) --x;
      };
      for (auto& ix : t.indexes) shift(ix.cols);
      for (auto& fk : d.cat.fks) {
        if (fk.table_id == t.id) shift(fk.cols);
        if (fk.ref_id == t.id) shift(fk.ref_cols);
      }
      t.cols.erase(t.cols.begin() + p);
      continue;
    }
    bool found = false;
    for (auto it = t.indexes.begin(); it != t.indexes.end(); ++it) {
      if (it->kind == index_info::plain || !ieq(it->name, name)) continue;
      for (const auto& fk : d.cat.fks)
        if (fk.ref_id == t.id && ieq(fk.ref_index, it->name)) {
          object_info* child = d.cat.by_id(fk.table_id);
          throw drop_failed(sql_error(3725, {it->name, child ? child->name : u"", fk.name}), 3727);
        }
      d.exec("DROP INDEX " + it->sqlname);
      t.indexes.erase(it);
      found = true;
      break;
    }
    auto& fks = d.cat.fks;
    for (auto it = fks.begin(); !found && it != fks.end(); ++it)
      if (it->table_id == t.id && ieq(it->name, name)) {
        fks.erase(it);
        found = true;
        break;
      }
    auto& cks = d.cat.checks;
    for (auto it = cks.begin(); !found && it != cks.end(); ++it)
      if (it->table_id == t.id && ieq(it->name, name)) {
        cks.erase(it);
        found = true;
        break;
      }
    for (auto& c : t.cols)
      if (!found && ieq(c.default_name, name)) {
        c.default_name.clear();
        c.default_text.clear();
        found = true;
      }
    if (!found) throw drop_failed(sql_error(3728, {name}), 3727);
  }
  catalog_save(d.handle(), d.cat);
  d.clear_cache();
  scp.commit();
  emit_done(0, false);
}

void session::impl::exec_alter_check(alter_table_statement& s) {
  mssim::database& d = *db;
  statement_scope scp(*this, d, true);
  object_info& t = require_table(s.table, d);
  auto wanted = [&](const std::u16string& name) {
    if (s.all) return true;
    for (const auto& n : s.names)
      if (ieq(n, name)) return true;
    return false;
  };
  std::set<std::u16string> seen;
  for (auto& fk : d.cat.fks)
    if (fk.table_id == t.id && wanted(fk.name)) {
      fk.enabled = s.enable;
      seen.insert(fold(fk.name));
    }
  for (auto& c : d.cat.checks)
    if (c.table_id == t.id && wanted(c.name)) {
      c.enabled = s.enable;
      seen.insert(fold(c.name));
    }
  for (const auto& n : s.names)
    if (!seen.count(fold(n))) throw sql_error(4917, {n});
  catalog_save(d.handle(), d.cat);
  scp.commit();
  emit_done(0, false);
}

// ---- views
// ---------------------------------------------------------------------------------------

void session::impl::exec_create_view(create_view_statement& s) {
  mssim::database& d = *db;
  statement_scope scp(*this, d, true);
  const qname& n = s.view;
  std::u16string schema = n.parts.size() >= 2 ? n.part_from_end(1) : u"";
  if (!schema.empty() && !ieq_ascii(schema, "dbo")) throw sql_error(2760, {schema});
  if (n.parts.size() == 3 && !n.parts[0].empty() && !ieq(n.parts[0], d.name))
    throw sql_error(166, {});
  if (d.cat.name_in_use(u"dbo", n.last())) throw sql_error(2714, {n.last()});
  compiler c(*this, d);
  compiled_query q = c.select(*s.q, nullptr, true);
  if (!s.cols.empty() && s.cols.size() != q.cols.size())
    throw sql_error(s.cols.size() < q.cols.size() ? 8158 : 8159, {n.last()});
  auto o = std::make_unique<object_info>();
  o->id = d.cat.next_id++;
  o->created = d.cat.next_seq++;
  o->name = n.last();
  o->kind = 'V';
  o->definition = s.text;
  o->quoted_identifier = s.quoted_identifier;
  o->check_option = s.check_option;
  std::set<std::u16string> seen;
  for (size_t i = 0; i < q.cols.size(); ++i) {
    col_info ci;
    ci.name = i < s.cols.size() ? s.cols[i] : q.cols[i].name;
    if (ci.name.empty()) throw sql_error(4511, {num(int64_t(i + 1))});
    if (!seen.insert(fold(ci.name)).second) throw sql_error(4506, {ci.name, o->name});
    ci.type = q.cols[i].type;
    ci.type.identity = false;
    ci.ordinal = int(i + 1);
    o->cols.push_back(std::move(ci));
  }
  d.cat.objects[catalog::key(o->schema, o->name)] = std::move(o);
  catalog_save(d.handle(), d.cat);
  scp.commit();
  emit_done(0, false);
}

}  // namespace mssim
