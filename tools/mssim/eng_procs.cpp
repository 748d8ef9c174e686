// Procedures: sp_executesql and the catalog procedures (sp_columns, sp_tables, sp_tableswc,
// sp_pkeys, sp_fkeys, sp_statistics) with the result columns, order and values of SQL Server,
// for RPC calls and EXEC alike.
#include <sqlite3.h>

#include <algorithm>

#include "eng_parser.h"
#include "eng_sqlfuncs.h"
#include "eng_types.h"
#include "eng_util.h"
#include "eng_write.h"

namespace mssim {

namespace {

using params_t = std::vector<std::pair<std::u16string, value>>;

// Parameters matched to a procedure's declared names: named ones in any order and case,
// positional ones in declaration order.
struct bound_params {
  std::vector<value> v;
  std::vector<bool> given;

  bool has(size_t i) const { return given[i] && v[i].kind != value::null; }
  std::u16string text(size_t i) const {
    if (!has(i)) return u"";
    if (v[i].kind == value::text) return v[i].s;
    if (v[i].kind == value::i64) return num(v[i].i);
    return to_text(v[i], write::natural_type(v[i]), 0);
  }
  int64_t number(size_t i, int64_t dflt) const {
    if (!has(i)) return dflt;
    if (v[i].kind == value::i64) return v[i].i;
    if (v[i].kind == value::text) return std::atoll(to_utf8(v[i].s).c_str());
    return dflt;
  }
};

bound_params bind_params(const std::u16string& proc, const std::vector<const char*>& names,
                         const params_t& params) {
  bound_params b;
  b.v.assign(names.size(), value::make_null());
  b.given.assign(names.size(), false);
  size_t positional = 0;
  for (const auto& [name, val] : params) {
    if (name.empty()) {
      if (positional >= names.size()) throw sql_error(8144, {proc});
      b.v[positional] = val;
      b.given[positional] = true;
      ++positional;
      continue;
    }
    std::u16string n = name[0] == u'@' ? name : u"@" + name;
    size_t k = names.size();
    for (size_t i = 0; i < names.size(); ++i)
      if (ieq_ascii(n, names[i])) k = i;
    if (k == names.size()) throw sql_error(8145, {n, proc});
    b.v[k] = val;
    b.given[k] = true;
  }
  return b;
}

bool has_wildcards(const std::u16string& s) {
  return s.find_first_of(u"%_[") != std::u16string::npos;
}

bool like(const std::u16string& s, const std::u16string& pattern) {
  return like_match(s.data(), s.size(), pattern.data(), pattern.size(), 0);
}

type_desc sysname() { return nvarchar_type(128); }

column col(const char* name, type_desc t) {
  column c;
  c.name = u16(name);
  c.type = t;
  c.type.nullable = true;
  return c;
}

value txt(const std::u16string& s) { return value::make_text(s); }
value nul() { return value::make_null(); }
value iv(int64_t v) { return value::make_int(v); }

// What sp_columns reports for a column type.
struct col_meta {
  int data_type = 0;
  std::u16string type_name;
  value precision, length, scale, radix, sql_data_type, datetime_sub, octet;
  int ss_type = 0;
};

col_meta describe(const col_info& c, bool odbc3) {
  const type_desc& t = c.type;
  col_meta m;
  m.type_name = type_name(t);
  m.scale = nul();
  m.radix = nul();
  m.octet = nul();
  m.datetime_sub = nul();
  bool nn = !t.nullable;
  auto exact = [&](int dt, int p, int len, int ss_null, int ss_nn) {
    m.data_type = dt;
    m.precision = iv(p);
    m.length = iv(len);
    m.scale = iv(0);
    m.radix = iv(10);
    m.ss_type = nn ? ss_nn : ss_null;
  };
  switch (t.type) {
    case col_type::bit:
      m.data_type = -7;
      m.precision = iv(1);
      m.length = iv(1);
      m.ss_type = 50;
      break;
    case col_type::tinyint:
      exact(-6, 3, 1, 38, 48);
      break;
    case col_type::smallint:
      exact(5, 5, 2, 38, 52);
      break;
    case col_type::int_:
      exact(4, 10, 4, 38, 56);
      break;
    case col_type::bigint:
      exact(-5, 19, 8, 108, 63);
      break;
    case col_type::numeric:
      exact(t.decimal_name ? 3 : 2, t.precision, t.precision + 2, t.decimal_name ? 106 : 108,
            t.decimal_name ? 55 : 63);
      m.scale = iv(t.scale);
      break;
    case col_type::money:
      exact(3, 19, 21, 110, 60);
      m.scale = iv(4);
      break;
    case col_type::smallmoney:
      exact(3, 10, 12, 110, 122);
      m.scale = iv(4);
      break;
    case col_type::float_:
      m.data_type = 6;
      m.precision = iv(odbc3 ? 53 : 15);
      m.length = iv(8);
      m.radix = iv(odbc3 ? 2 : 10);
      m.ss_type = nn ? 62 : 109;
      break;
    case col_type::real:
      m.data_type = 7;
      m.precision = iv(odbc3 ? 24 : 7);
      m.length = iv(4);
      m.radix = iv(odbc3 ? 2 : 10);
      m.ss_type = nn ? 59 : 109;
      break;
    case col_type::datetime:
    case col_type::smalldatetime: {
      bool small = t.type == col_type::smalldatetime;
      m.data_type = odbc3 ? 93 : 11;
      m.precision = iv(small ? 16 : 23);
      m.length = iv(16);
      m.scale = iv(small ? 0 : 3);
      m.datetime_sub = iv(3);
      m.ss_type = nn ? (small ? 58 : 61) : 111;
      break;
    }
    case col_type::date:
    case col_type::time:
    case col_type::datetime2: {
      // Down-level clients see the 2008 types as Unicode text of their literal length.
      int len = t.type == col_type::date   ? 10
                : t.type == col_type::time ? 8 + (t.scale ? t.scale + 1 : 0)
                                           : 19 + (t.scale ? t.scale + 1 : 0);
      m.data_type = -9;
      m.precision = iv(len);
      m.length = iv(2 * len);
      m.octet = iv(2 * len);
      m.ss_type = 0;
      break;
    }
    case col_type::char_:
    case col_type::varchar:
    case col_type::nchar:
    case col_type::nvarchar: {
      bool uni = is_unicode(t.type), fixed = is_fixed_len(t.type);
      m.data_type = t.type == col_type::char_     ? 1
                    : t.type == col_type::varchar ? 12
                    : t.type == col_type::nchar   ? -8
                                                  : -9;
      int64_t n = t.length < 0 ? 0 : t.length;
      m.precision = iv(n);
      m.length = iv(uni ? 2 * n : n);
      m.octet = iv(uni ? 2 * n : n);
      m.ss_type = fixed && nn ? 47 : 39;
      break;
    }
    case col_type::text:
      m.data_type = -1;
      m.precision = m.length = m.octet = iv(2147483647);
      m.ss_type = 35;
      break;
    case col_type::ntext:
      m.data_type = -10;
      m.precision = iv(1073741823);
      m.length = m.octet = iv(2147483646);
      m.ss_type = 35;
      break;
    case col_type::binary:
    case col_type::varbinary: {
      m.data_type = t.type == col_type::binary ? -2 : -3;
      int64_t n = t.length < 0 ? 0 : t.length;
      m.precision = m.length = m.octet = iv(n);
      m.ss_type = t.type == col_type::binary && nn ? 45 : 37;
      break;
    }
    case col_type::image:
      m.data_type = -4;
      m.precision = m.length = m.octet = iv(2147483647);
      m.ss_type = 34;
      break;
    case col_type::uniqueidentifier:
      m.data_type = -11;
      m.precision = iv(36);
      m.length = iv(16);
      m.ss_type = 37;
      break;
  }
  if (t.identity) {
    m.type_name =
        t.type == col_type::numeric ? type_name(t) + u"() identity" : type_name(t) + u" identity";
    m.scale = iv(0);
  }
  m.sql_data_type =
      iv(t.type == col_type::datetime || t.type == col_type::smalldatetime ? 9 : m.data_type);
  return m;
}

int64_t table_row_count(mssim::database& d, const object_info& o) {
  sqlite3_stmt* st = d.prepare("SELECT count(*) FROM " + o.sqlname());
  int64_t n = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : 0;
  sqlite3_reset(st);
  return n;
}

// The database lock for a procedure's reads, with the same patience as a statement.
struct proc_lock {
  mssim::database& d;
  const void* owner;
  proc_lock(mssim::database& db, const void* o) : d(db), owner(o) {
    if (!d.lock(owner, 30000)) throw sql_error(1222, {});
  }
  ~proc_lock() { d.unlock(owner); }
  proc_lock(const proc_lock&) = delete;
  proc_lock& operator=(const proc_lock&) = delete;
};

std::vector<const object_info*> sorted_objects(const mssim::database& d) {
  std::vector<const object_info*> v;
  for (const auto& [k, o] : d.cat.objects) v.push_back(o.get());
  std::sort(v.begin(), v.end(), [](const object_info* a, const object_info* b) {
    int c = compare_ci(a->schema.data(), a->schema.size(), b->schema.data(), b->schema.size());
    if (c) return c < 0;
    return compare_ci(a->name.data(), a->name.size(), b->name.data(), b->name.size()) < 0;
  });
  return v;
}

}  // namespace

// ---- dispatch ----------------------------------------------------------------------------------

void session::impl::call_proc(const std::u16string& name, const params_t& params, bool from_rpc) {
  qname q = parse_object_name(name);
  if (q.empty()) {
    emit_error(sql_error(2812, {name}));
    emit_done(0, false, true);
    return;
  }
  std::shared_ptr<mssim::database> saved;
  if (q.parts.size() >= 3 && !q.part_from_end(2).empty() && !ieq(q.part_from_end(2), db->name)) {
    auto other = eng.find_db(q.part_from_end(2));
    if (!other) {
      emit_error(sql_error(911, {q.part_from_end(2)}));
      emit_done(0, false, true);
      return;
    }
    saved = db;
    set_database(other, false);
  }
  struct restore {
    session::impl& s;
    std::shared_ptr<mssim::database> db;
    ~restore() {
      if (db) s.set_database(db, false);
    }
  } back{*this, saved};
  const std::u16string proc = q.last();
  try {
    if (ieq_ascii(proc, "sp_executesql")) {
      sp_executesql(params);
    } else if (!run_catalog_proc(proc, params)) {
      sql_error e(2812, {q.text});
      emit_error(e);
      emit_done(0, false, true);
      return;
    }
  } catch (sql_error& e) {
    if (e.msg.line <= 1) e.msg.line = 1;
    e.msg.proc = proc;
    emit_error(e);
    emit_done(0, false, true);
    if (e.msg.number == 201 || e.msg.number == 8145 || e.msg.number == 8144 ||
        e.msg.number == 8178 || e.msg.number == 214)
      return;
  }
  item rs;
  rs.what = item::return_status;
  rs.status = 0;
  out->push_back(std::move(rs));
  if (!from_rpc) emit_done(0, false);
}

void session::impl::sp_executesql(const params_t& params) {
  if (params.empty()) throw sql_error(201, {u"sp_executesql", u"@statement"});
  size_t i = 0;
  const value& st = params[0].second;
  if (st.kind != value::text) {
    if (st.kind == value::null) {
      emit_done(0, false);
      return;
    }
    throw sql_error(214, {u"@statement", u"ntext/nchar/nvarchar"});
  }
  ++i;
  std::u16string decl;
  if (params.size() > 1 && (params[1].first.empty() || ieq_ascii(params[1].first, "@params"))) {
    if (params[1].second.kind == value::text)
      decl = params[1].second.s;
    else if (params[1].second.kind != value::null)
      throw sql_error(214, {u"@params", u"ntext/nchar/nvarchar"});
    ++i;
  }
  std::vector<declare_var> declared;
  if (!decl.empty()) {
    parser p(decl, o.quoted_identifier);
    declared = p.parse_param_list();
  }
  vars.clear();
  std::vector<bool> set(declared.size(), false);
  size_t positional = 0;
  for (; i < params.size(); ++i) {
    const auto& [pname, val] = params[i];
    size_t k = declared.size();
    if (pname.empty()) {
      k = positional++;
    } else {
      for (size_t j = 0; j < declared.size(); ++j)
        if (ieq(declared[j].name, pname)) k = j;
    }
    if (k >= declared.size()) {
      if (pname.empty()) throw sql_error(8144, {u"sp_executesql"});
      throw sql_error(8145, {pname, u"sp_executesql"});
    }
    variable v;
    v.type = declared[k].type;
    v.v = convert(val, write::natural_type(val), v.type, conversion(true));
    vars[fold(declared[k].name)] = std::move(v);
    set[k] = true;
  }
  for (size_t k = 0; k < declared.size(); ++k) {
    if (set[k]) continue;
    if (!declared[k].init) throw sql_error(8178, {u"(" + decl + u")" + st.s, declared[k].name});
    variable v;
    v.type = declared[k].type;
    type_desc t;
    statement_scope sc(*this, *db, false);
    value x = evaluate(*declared[k].init, *db, t);
    sc.commit();
    v.v = convert(x, t, v.type, conversion());
    vars[fold(declared[k].name)] = std::move(v);
  }
  run_batch(st.s, *out, true);
}

// ---- the catalog procedures ------------------------------------------------------------------

bool session::impl::run_catalog_proc(const std::u16string& proc, const params_t& params) {
  mssim::database& d = *db;
  auto qualifier_check = [&](const bound_params& b, size_t i) {
    if (b.has(i) && !ieq(b.text(i), d.name)) throw sql_error(15250, {});
  };
  auto finish = [&](result_set rs) {
    int64_t n = int64_t(rs.rows.size());
    emit_rows(std::move(rs));
    last_rowcount = n;
    emit_done(n, true);
  };
  proc_lock guard(d, this);

  if (ieq_ascii(proc, "sp_columns") || ieq_ascii(proc, "sp_columns_90")) {
    bound_params b = bind_params(
        proc, {"@table_name", "@table_owner", "@table_qualifier", "@column_name", "@ODBCVer"},
        params);
    if (!b.given[0]) throw sql_error(201, {proc, u"@table_name"});
    qualifier_check(b, 2);
    bool odbc3 = b.number(4, 2) == 3;
    std::u16string tname = b.has(0) ? b.text(0) : u"%";
    std::u16string owner = b.text(1);
    std::u16string cname = b.has(3) ? b.text(3) : u"%";
    std::vector<const object_info*> objs;
    bool exact = !has_wildcards(tname) && !has_wildcards(owner);
    if (exact) {
      const object_info* o = d.cat.find(owner.empty() ? u"dbo" : owner, tname);
      if (o) objs.push_back(o);
    } else {
      for (const object_info* o : sorted_objects(d))
        if (like(o->name, tname) && like(o->schema, owner.empty() ? u"%" : owner))
          objs.push_back(o);
    }
    result_set rs;
    rs.columns = {col("TABLE_QUALIFIER", sysname()),
                  col("TABLE_OWNER", sysname()),
                  col("TABLE_NAME", sysname()),
                  col("COLUMN_NAME", sysname()),
                  col("DATA_TYPE", make_type(col_type::smallint)),
                  col("TYPE_NAME", sysname()),
                  col("PRECISION", int_type()),
                  col("LENGTH", int_type()),
                  col("SCALE", make_type(col_type::smallint)),
                  col("RADIX", make_type(col_type::smallint)),
                  col("NULLABLE", make_type(col_type::smallint)),
                  col("REMARKS", varchar_type(254)),
                  col("COLUMN_DEF", nvarchar_type(4000)),
                  col("SQL_DATA_TYPE", make_type(col_type::smallint)),
                  col("SQL_DATETIME_SUB", make_type(col_type::smallint)),
                  col("CHAR_OCTET_LENGTH", int_type()),
                  col("ORDINAL_POSITION", int_type()),
                  col("IS_NULLABLE", varchar_type(254)),
                  col("SS_DATA_TYPE", make_type(col_type::tinyint))};
    for (const object_info* o : objs)
      for (size_t i = 0; i < o->cols.size(); ++i) {
        const col_info& c = o->cols[i];
        if (!like(c.name, cname)) continue;
        col_meta m = describe(c, odbc3);
        rs.rows.push_back({txt(d.name), txt(o->schema), txt(o->name), txt(c.name), iv(m.data_type),
                           txt(m.type_name), m.precision, m.length, m.scale, m.radix,
                           iv(c.type.nullable ? 1 : 0), nul(),
                           c.default_text.empty() ? nul() : txt(c.default_text), m.sql_data_type,
                           m.datetime_sub, m.octet, iv(int64_t(i + 1)),
                           txt(c.type.nullable ? u"YES" : u"NO"), iv(m.ss_type)});
      }
    finish(std::move(rs));
    return true;
  }

  if (ieq_ascii(proc, "sp_tables") || ieq_ascii(proc, "sp_tableswc")) {
    bound_params b = bind_params(
        proc, {"@table_name", "@table_owner", "@table_qualifier", "@table_type", "@fUsePattern"},
        params);
    bool wc = ieq_ascii(proc, "sp_tableswc");
    result_set rs;
    rs.columns = {col("TABLE_QUALIFIER", sysname()), col("TABLE_OWNER", sysname()),
                  col("TABLE_NAME", sysname()), col("TABLE_TYPE", varchar_type(32)),
                  col("REMARKS", varchar_type(254))};
    bool given_empty[3];
    for (size_t i = 0; i < 3; ++i)
      given_empty[i] = b.given[i] && b.v[i].kind == value::text && b.v[i].s.empty();
    std::u16string name = b.text(0), owner = b.text(1), qual = b.text(2), types = b.text(3);
    // The ODBC special forms: lists of databases, owners or table types.
    if (qual == u"%" && given_empty[0] && given_empty[1]) {
      for (const auto& db2 : eng.all_dbs())
        rs.rows.push_back({txt(db2->name), nul(), nul(), nul(), nul()});
      std::sort(rs.rows.begin(), rs.rows.end(), [](const auto& a, const auto& c) {
        return compare_ci(a[0].s.data(), a[0].s.size(), c[0].s.data(), c[0].s.size()) < 0;
      });
      finish(std::move(rs));
      return true;
    }
    if (owner == u"%" && given_empty[0] && (!b.given[2] || given_empty[2])) {
      rs.rows.push_back({txt(d.name), txt(u"dbo"), nul(), nul(), nul()});
      finish(std::move(rs));
      return true;
    }
    if (types == u"%" && given_empty[0] && given_empty[1] && (!b.given[2] || given_empty[2])) {
      for (const char16_t* t : {u"SYSTEM TABLE", u"TABLE", u"VIEW"})
        rs.rows.push_back({nul(), nul(), nul(), txt(t), nul()});
      finish(std::move(rs));
      return true;
    }
    bool pattern = b.number(4, 1) != 0;
    std::vector<std::shared_ptr<mssim::database>> dbs;
    if (wc && has_wildcards(qual)) {
      for (const auto& db2 : eng.all_dbs())
        if (like(db2->name, qual)) dbs.push_back(db2);
    } else {
      qualifier_check(b, 2);
      for (const auto& db2 : eng.all_dbs())
        if (db2.get() == &d) dbs.push_back(db2);
    }
    std::vector<std::u16string> wanted;
    if (!types.empty()) {
      size_t i = 0;
      while (i <= types.size()) {
        size_t j = types.find(u',', i);
        if (j == std::u16string::npos) j = types.size();
        std::u16string t = types.substr(i, j - i);
        while (!t.empty() && t.front() == u' ') t.erase(0, 1);
        while (!t.empty() && t.back() == u' ') t.pop_back();
        if (t.size() >= 2 && t.front() == u'\'' && t.back() == u'\'') t = t.substr(1, t.size() - 2);
        wanted.push_back(upper(t));
        i = j + 1;
      }
    }
    auto type_ok = [&](const std::u16string& t) {
      return wanted.empty() || std::find(wanted.begin(), wanted.end(), t) != wanted.end();
    };
    auto matches = [&](const std::u16string& v, const std::u16string& p) {
      if (p.empty()) return true;
      return pattern ? like(v, p) : ieq(v, p);
    };
    for (const auto& db2 : dbs) {
      std::unique_ptr<proc_lock> other;
      if (db2.get() != &d) other = std::make_unique<proc_lock>(*db2, this);
      for (const object_info* o : sorted_objects(*db2)) {
        std::u16string tt = o->kind == 'V' ? u"VIEW" : u"TABLE";
        if (!type_ok(tt) || !matches(o->name, name) || !matches(o->schema, owner)) continue;
        rs.rows.push_back({txt(db2->name), txt(o->schema), txt(o->name), txt(tt), nul()});
      }
    }
    std::stable_sort(rs.rows.begin(), rs.rows.end(), [](const auto& a, const auto& c) {
      for (size_t k : {3, 0, 1, 2}) {
        int r = compare_ci(a[k].s.data(), a[k].s.size(), c[k].s.data(), c[k].s.size());
        if (r) return r < 0;
      }
      return false;
    });
    finish(std::move(rs));
    return true;
  }

  if (ieq_ascii(proc, "sp_pkeys")) {
    bound_params b = bind_params(proc, {"@table_name", "@table_owner", "@table_qualifier"}, params);
    if (!b.given[0]) throw sql_error(201, {proc, u"@table_name"});
    qualifier_check(b, 2);
    result_set rs;
    rs.columns = {col("TABLE_QUALIFIER", sysname()),
                  col("TABLE_OWNER", sysname()),
                  col("TABLE_NAME", sysname()),
                  col("COLUMN_NAME", sysname()),
                  col("KEY_SEQ", make_type(col_type::smallint)),
                  col("PK_NAME", sysname())};
    std::u16string owner = b.has(1) ? b.text(1) : u"dbo";
    const object_info* o = b.has(0) ? d.cat.find(owner, b.text(0)) : nullptr;
    if (o)
      if (const index_info* pk = o->primary_key())
        for (size_t i = 0; i < pk->cols.size(); ++i)
          rs.rows.push_back({txt(d.name), txt(o->schema), txt(o->name),
                             txt(o->cols[size_t(pk->cols[i])].name), iv(int64_t(i + 1)),
                             txt(pk->name)});
    finish(std::move(rs));
    return true;
  }

  if (ieq_ascii(proc, "sp_fkeys")) {
    bound_params b = bind_params(proc,
                                 {"@pktable_name", "@pktable_owner", "@pktable_qualifier",
                                  "@fktable_name", "@fktable_owner", "@fktable_qualifier"},
                                 params);
    if (!b.has(0) && !b.has(3)) throw sql_error(15252, {});
    qualifier_check(b, 2);
    qualifier_check(b, 5);
    const object_info* pk_t = nullptr;
    const object_info* fk_t = nullptr;
    if (b.has(0)) pk_t = d.cat.find(b.has(1) ? b.text(1) : u"dbo", b.text(0));
    if (b.has(3)) fk_t = d.cat.find(b.has(4) ? b.text(4) : u"dbo", b.text(3));
    result_set rs;
    type_desc sm = make_type(col_type::smallint);
    rs.columns = {col("PKTABLE_QUALIFIER", sysname()),
                  col("PKTABLE_OWNER", sysname()),
                  col("PKTABLE_NAME", sysname()),
                  col("PKCOLUMN_NAME", sysname()),
                  col("FKTABLE_QUALIFIER", sysname()),
                  col("FKTABLE_OWNER", sysname()),
                  col("FKTABLE_NAME", sysname()),
                  col("FKCOLUMN_NAME", sysname()),
                  col("KEY_SEQ", sm),
                  col("UPDATE_RULE", sm),
                  col("DELETE_RULE", sm),
                  col("FK_NAME", sysname()),
                  col("PK_NAME", sysname()),
                  col("DEFERRABILITY", sm)};
    auto rule = [](ref_action a) {
      switch (a) {
        case ref_action::cascade:
          return 0;
        case ref_action::no_action:
          return 1;
        case ref_action::set_null:
          return 2;
        case ref_action::set_default:
          return 3;
      }
      return 1;
    };
    bool missing = (b.has(0) && !pk_t) || (b.has(3) && !fk_t);
    std::vector<const fk_info*> keys;
    if (!missing)
      for (const fk_info& f : d.cat.fks) {
        if (pk_t && f.ref_id != pk_t->id) continue;
        if (fk_t && f.table_id != fk_t->id) continue;
        keys.push_back(&f);
      }
    std::sort(keys.begin(), keys.end(), [&](const fk_info* a, const fk_info* c) {
      const object_info* ta = d.cat.by_id(a->table_id);
      const object_info* tc = d.cat.by_id(c->table_id);
      int r = compare_ci(ta->name.data(), ta->name.size(), tc->name.data(), tc->name.size());
      if (r) return r < 0;
      return compare_ci(a->name.data(), a->name.size(), c->name.data(), c->name.size()) < 0;
    });
    for (const fk_info* f : keys) {
      const object_info* p = d.cat.by_id(f->ref_id);
      const object_info* c = d.cat.by_id(f->table_id);
      if (!p || !c) continue;
      for (size_t i = 0; i < f->cols.size(); ++i)
        rs.rows.push_back({txt(d.name), txt(p->schema), txt(p->name),
                           txt(p->cols[size_t(f->ref_cols[i])].name), txt(d.name), txt(c->schema),
                           txt(c->name), txt(c->cols[size_t(f->cols[i])].name), iv(int64_t(i + 1)),
                           iv(rule(f->on_update)), iv(rule(f->on_delete)), txt(f->name),
                           txt(f->ref_index), iv(7)});
    }
    finish(std::move(rs));
    return true;
  }

  if (ieq_ascii(proc, "sp_statistics")) {
    bound_params b = bind_params(proc,
                                 {"@table_name", "@table_owner", "@table_qualifier", "@index_name",
                                  "@is_unique", "@accuracy"},
                                 params);
    if (!b.given[0]) throw sql_error(201, {proc, u"@table_name"});
    qualifier_check(b, 2);
    std::u16string ixname = b.has(3) ? b.text(3) : u"%";
    bool unique_only = ieq_ascii(b.text(4), "Y");
    type_desc sm = make_type(col_type::smallint);
    result_set rs;
    rs.columns = {col("TABLE_QUALIFIER", sysname()),
                  col("TABLE_OWNER", sysname()),
                  col("TABLE_NAME", sysname()),
                  col("NON_UNIQUE", sm),
                  col("INDEX_QUALIFIER", sysname()),
                  col("INDEX_NAME", sysname()),
                  col("TYPE", sm),
                  col("SEQ_IN_INDEX", sm),
                  col("COLUMN_NAME", sysname()),
                  col("COLLATION", make_type(col_type::char_, 1)),
                  col("CARDINALITY", int_type()),
                  col("PAGES", int_type()),
                  col("FILTER_CONDITION", varchar_type(128))};
    const object_info* o =
        b.has(0) ? d.cat.find(b.has(1) ? b.text(1) : u"dbo", b.text(0)) : nullptr;
    if (o && o->kind == 'U') {
      int64_t rows = table_row_count(d, *o);
      rs.rows.push_back({txt(d.name), txt(o->schema), txt(o->name), nul(), nul(), nul(), iv(0),
                         nul(), nul(), nul(), iv(rows), iv((rows * 64 + 8191) / 8192), nul()});
      struct entry {
        int non_unique, type;
        std::u16string name;
        const index_info* ix;
      };
      std::vector<entry> list;
      for (const auto& ix : o->indexes) {
        if (unique_only && !ix.unique) continue;
        if (!like(ix.name, ixname)) continue;
        list.push_back({ix.unique ? 0 : 1, ix.clustered ? 1 : 3, ix.name, &ix});
      }
      std::sort(list.begin(), list.end(), [](const entry& a, const entry& c) {
        if (a.non_unique != c.non_unique) return a.non_unique < c.non_unique;
        if (a.type != c.type) return a.type < c.type;
        return compare_ci(a.name.data(), a.name.size(), c.name.data(), c.name.size()) < 0;
      });
      for (const entry& e : list)
        for (size_t i = 0; i < e.ix->cols.size(); ++i)
          rs.rows.push_back({txt(d.name), txt(o->schema), txt(o->name), iv(e.non_unique),
                             txt(o->name), txt(e.name), iv(e.type), iv(int64_t(i + 1)),
                             txt(o->cols[size_t(e.ix->cols[i])].name),
                             txt(i < e.ix->desc.size() && e.ix->desc[i] ? u"D" : u"A"),
                             e.ix->unique ? iv(rows) : nul(), nul(), nul()});
    }
    finish(std::move(rs));
    return true;
  }
  return false;
}

}  // namespace mssim
