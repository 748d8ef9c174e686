// Catalogue bookkeeping and its persistence. The whole catalogue is rewritten after each DDL
// statement inside that statement's transaction, so the file never holds a half-changed schema;
// identity counters are written per statement.
#include "eng_catalog.h"

#include <sqlite3.h>

#include <stdexcept>

#include "eng_types.h"
#include "eng_util.h"

namespace mssim {

std::string col_info::sqlcol() const { return "c" + std::to_string(ordinal); }

std::string object_info::sqlname() const { return (kind == 'V' ? "v" : "t") + std::to_string(id); }

int object_info::find_col(const std::u16string& n) const {
  for (size_t i = 0; i < cols.size(); ++i)
    if (ieq(cols[i].name, n)) return int(i);
  return -1;
}

const col_info* object_info::identity_col() const {
  int p = identity_pos();
  return p < 0 ? nullptr : &cols[size_t(p)];
}

int object_info::identity_pos() const {
  for (size_t i = 0; i < cols.size(); ++i)
    if (cols[i].type.identity) return int(i);
  return -1;
}

const index_info* object_info::primary_key() const {
  for (const auto& ix : indexes)
    if (ix.kind == index_info::primary) return &ix;
  return nullptr;
}

const index_info* object_info::clustered_index() const {
  for (const auto& ix : indexes)
    if (ix.clustered) return &ix;
  return nullptr;
}

std::u16string catalog::key(const std::u16string& schema, const std::u16string& name) {
  return fold(schema) + u"\x1F" + fold(name);
}

object_info* catalog::find(const std::u16string& schema, const std::u16string& name) {
  auto it = objects.find(key(schema, name));
  return it == objects.end() ? nullptr : it->second.get();
}

object_info* catalog::by_id(int64_t id) {
  for (auto& [k, o] : objects)
    if (o->id == id) return o.get();
  return nullptr;
}

bool catalog::name_in_use(const std::u16string& schema, const std::u16string& name) {
  if (find(schema, name)) return true;
  for (auto& [k, o] : objects) {
    if (!ieq(o->schema, schema)) continue;
    for (const auto& ix : o->indexes)
      if (ix.kind != index_info::plain && ieq(ix.name, name)) return true;
    for (const auto& c : o->cols)
      if (!c.default_name.empty() && ieq(c.default_name, name)) return true;
  }
  for (const auto& f : fks) {
    object_info* t = by_id(f.table_id);
    if (t && ieq(t->schema, schema) && ieq(f.name, name)) return true;
  }
  for (const auto& c : checks) {
    object_info* t = by_id(c.table_id);
    if (t && ieq(t->schema, schema) && ieq(c.name, name)) return true;
  }
  return false;
}

namespace {

void exec(sqlite3* db, const char* sql) {
  char* err = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
    std::string m = err ? err : "?";
    sqlite3_free(err);
    throw std::runtime_error("catalog: " + m);
  }
}

struct stmt_owner {
  sqlite3_stmt* s = nullptr;
  stmt_owner(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK)
      throw std::runtime_error(std::string("catalog: ") + sqlite3_errmsg(db));
  }
  ~stmt_owner() { sqlite3_finalize(s); }
  void bind(int i, int64_t v) { sqlite3_bind_int64(s, i, v); }
  void bind(int i, const std::u16string& v) {
    sqlite3_bind_text16(s, i, v.data(), int(v.size() * 2), SQLITE_TRANSIENT);
  }
  void bind(int i, const std::string& v) {
    sqlite3_bind_text(s, i, v.data(), int(v.size()), SQLITE_TRANSIENT);
  }
  void run() {
    if (sqlite3_step(s) != SQLITE_DONE)
      throw std::runtime_error(std::string("catalog: ") + sqlite3_errmsg(sqlite3_db_handle(s)));
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
  }
  bool row() { return sqlite3_step(s) == SQLITE_ROW; }
  int64_t i(int c) { return sqlite3_column_int64(s, c); }
  std::u16string t(int c) {
    const void* p = sqlite3_column_text16(s, c);
    int n = sqlite3_column_bytes16(s, c);
    return p ? std::u16string(static_cast<const char16_t*>(p), size_t(n) / 2) : std::u16string();
  }
  std::string a(int c) {
    const unsigned char* p = sqlite3_column_text(s, c);
    return p ? std::string(reinterpret_cast<const char*>(p)) : std::string();
  }
};

std::string join_positions(const std::vector<int>& v, const std::vector<bool>* desc = nullptr) {
  std::string out;
  for (size_t i = 0; i < v.size(); ++i) {
    if (i) out += ',';
    out += std::to_string(v[i]);
    if (desc && i < desc->size() && (*desc)[i]) out += 'd';
  }
  return out;
}

std::vector<int> split_positions(const std::string& s, std::vector<bool>* desc = nullptr) {
  std::vector<int> out;
  size_t i = 0;
  while (i < s.size()) {
    size_t j = s.find(',', i);
    if (j == std::string::npos) j = s.size();
    std::string part = s.substr(i, j - i);
    bool d = !part.empty() && part.back() == 'd';
    if (d) part.pop_back();
    out.push_back(std::stoi(part));
    if (desc) desc->push_back(d);
    i = j + 1;
  }
  return out;
}

}  // namespace

void catalog_init(sqlite3* db) {
  exec(db,
       "CREATE TABLE IF NOT EXISTS mssim_info(key TEXT PRIMARY KEY, value);"
       "CREATE TABLE IF NOT EXISTS mssim_objects(id INTEGER PRIMARY KEY, schema_name TEXT, name "
       "TEXT, kind TEXT, definition TEXT, quoted_identifier INTEGER, ident_current INTEGER, "
       "ident_used INTEGER, created INTEGER, check_option INTEGER);"
       "CREATE TABLE IF NOT EXISTS mssim_columns(object_id INTEGER, position INTEGER, ordinal "
       "INTEGER, name TEXT, type_code INTEGER, nullable INTEGER, is_identity INTEGER, seed "
       "INTEGER, increment INTEGER, default_text TEXT, default_name TEXT);"
       "CREATE TABLE IF NOT EXISTS mssim_indexes(object_id INTEGER, position INTEGER, name TEXT, "
       "kind INTEGER, is_unique INTEGER, clustered INTEGER, sqlname TEXT, cols TEXT);"
       "CREATE TABLE IF NOT EXISTS mssim_fkeys(position INTEGER, name TEXT, table_id INTEGER, "
       "ref_id INTEGER, cols TEXT, ref_cols TEXT, on_delete INTEGER, on_update INTEGER, enabled "
       "INTEGER, ref_index TEXT);"
       "CREATE TABLE IF NOT EXISTS mssim_checks(position INTEGER, name TEXT, table_id INTEGER, "
       "text TEXT, sql TEXT, enabled INTEGER);");
}

void catalog_set_name(sqlite3* db, const std::u16string& db_name) {
  stmt_owner s(db, "INSERT OR REPLACE INTO mssim_info(key, value) VALUES('name', ?)");
  s.bind(1, db_name);
  s.run();
}

void catalog_load(sqlite3* db, catalog& cat, std::u16string& db_name) {
  cat = catalog();
  {
    stmt_owner s(db, "SELECT value FROM mssim_info WHERE key='name'");
    if (s.row()) db_name = s.t(0);
  }
  {
    stmt_owner s(
        db,
        "SELECT id, schema_name, name, kind, definition, quoted_identifier, ident_current, "
        "ident_used, created, check_option FROM mssim_objects ORDER BY id");
    while (s.row()) {
      auto o = std::make_unique<object_info>();
      o->id = s.i(0);
      o->schema = s.t(1);
      o->name = s.t(2);
      o->kind = s.a(3).empty() ? 'U' : s.a(3)[0];
      o->definition = s.t(4);
      o->quoted_identifier = s.i(5) != 0;
      o->check_option = s.i(9) != 0;
      o->ident_current = s.i(6);
      o->ident_used = s.i(7) != 0;
      o->created = s.i(8);
      cat.next_id = std::max(cat.next_id, o->id + 1);
      cat.next_seq = std::max(cat.next_seq, o->created + 1);
      std::u16string k = catalog::key(o->schema, o->name);
      cat.objects[k] = std::move(o);
    }
  }
  {
    stmt_owner s(db,
                 "SELECT object_id, ordinal, name, type_code, nullable, is_identity, seed, "
                 "increment, default_text, default_name FROM mssim_columns ORDER BY object_id, "
                 "position");
    while (s.row()) {
      object_info* o = cat.by_id(s.i(0));
      if (!o) continue;
      col_info c;
      c.ordinal = int(s.i(1));
      c.name = s.t(2);
      c.type = unpack_type(s.i(3));
      c.type.nullable = s.i(4) != 0;
      c.type.identity = s.i(5) != 0;
      c.seed = s.i(6);
      c.increment = s.i(7);
      c.default_text = s.t(8);
      c.default_name = s.t(9);
      o->cols.push_back(std::move(c));
    }
  }
  {
    stmt_owner s(db,
                 "SELECT object_id, name, kind, is_unique, clustered, sqlname, cols FROM "
                 "mssim_indexes ORDER BY object_id, position");
    while (s.row()) {
      object_info* o = cat.by_id(s.i(0));
      if (!o) continue;
      index_info ix;
      ix.name = s.t(1);
      ix.kind = index_info::kind_t(s.i(2));
      ix.unique = s.i(3) != 0;
      ix.clustered = s.i(4) != 0;
      ix.sqlname = s.a(5);
      ix.cols = split_positions(s.a(6), &ix.desc);
      o->indexes.push_back(std::move(ix));
    }
  }
  {
    stmt_owner s(db,
                 "SELECT name, table_id, ref_id, cols, ref_cols, on_delete, on_update, enabled, "
                 "ref_index FROM mssim_fkeys ORDER BY position");
    while (s.row()) {
      fk_info f;
      f.name = s.t(0);
      f.table_id = s.i(1);
      f.ref_id = s.i(2);
      f.cols = split_positions(s.a(3));
      f.ref_cols = split_positions(s.a(4));
      f.on_delete = ref_action(s.i(5));
      f.on_update = ref_action(s.i(6));
      f.enabled = s.i(7) != 0;
      f.ref_index = s.t(8);
      cat.fks.push_back(std::move(f));
    }
  }
  {
    stmt_owner s(db,
                 "SELECT name, table_id, text, sql, enabled FROM mssim_checks ORDER BY position");
    while (s.row()) {
      check_info c;
      c.name = s.t(0);
      c.table_id = s.i(1);
      c.text = s.t(2);
      c.sql = s.a(3);
      c.enabled = s.i(4) != 0;
      cat.checks.push_back(std::move(c));
    }
  }
}

void catalog_save(sqlite3* db, const catalog& cat) {
  exec(db,
       "DELETE FROM mssim_objects; DELETE FROM mssim_columns; DELETE FROM mssim_indexes; DELETE "
       "FROM mssim_fkeys; DELETE FROM mssim_checks;");
  stmt_owner so(db,
                "INSERT INTO mssim_objects(id, schema_name, name, kind, definition, "
                "quoted_identifier, ident_current, ident_used, created, check_option) "
                "VALUES(?,?,?,?,?,?,?,?,?,?)");
  stmt_owner sc(db,
                "INSERT INTO mssim_columns(object_id, position, ordinal, name, type_code, "
                "nullable, is_identity, seed, increment, default_text, default_name) "
                "VALUES(?,?,?,?,?,?,?,?,?,?,?)");
  stmt_owner si(db,
                "INSERT INTO mssim_indexes(object_id, position, name, kind, is_unique, clustered, "
                "sqlname, cols) VALUES(?,?,?,?,?,?,?,?)");
  for (const auto& [k, o] : cat.objects) {
    so.bind(1, o->id);
    so.bind(2, o->schema);
    so.bind(3, o->name);
    so.bind(4, std::string(1, o->kind));
    so.bind(5, o->definition);
    so.bind(6, int64_t(o->quoted_identifier));
    so.bind(7, o->ident_current);
    so.bind(8, int64_t(o->ident_used));
    so.bind(9, o->created);
    so.bind(10, int64_t(o->check_option));
    so.run();
    for (size_t i = 0; i < o->cols.size(); ++i) {
      const col_info& c = o->cols[i];
      sc.bind(1, o->id);
      sc.bind(2, int64_t(i));
      sc.bind(3, int64_t(c.ordinal));
      sc.bind(4, c.name);
      sc.bind(5, pack_type(c.type));
      sc.bind(6, int64_t(c.type.nullable));
      sc.bind(7, int64_t(c.type.identity));
      sc.bind(8, c.seed);
      sc.bind(9, c.increment);
      sc.bind(10, c.default_text);
      sc.bind(11, c.default_name);
      sc.run();
    }
    for (size_t i = 0; i < o->indexes.size(); ++i) {
      const index_info& ix = o->indexes[i];
      si.bind(1, o->id);
      si.bind(2, int64_t(i));
      si.bind(3, ix.name);
      si.bind(4, int64_t(ix.kind));
      si.bind(5, int64_t(ix.unique));
      si.bind(6, int64_t(ix.clustered));
      si.bind(7, ix.sqlname);
      si.bind(8, join_positions(ix.cols, &ix.desc));
      si.run();
    }
  }
  stmt_owner sf(db,
                "INSERT INTO mssim_fkeys(position, name, table_id, ref_id, cols, ref_cols, "
                "on_delete, on_update, enabled, ref_index) VALUES(?,?,?,?,?,?,?,?,?,?)");
  for (size_t i = 0; i < cat.fks.size(); ++i) {
    const fk_info& f = cat.fks[i];
    sf.bind(1, int64_t(i));
    sf.bind(2, f.name);
    sf.bind(3, f.table_id);
    sf.bind(4, f.ref_id);
    sf.bind(5, join_positions(f.cols));
    sf.bind(6, join_positions(f.ref_cols));
    sf.bind(7, int64_t(f.on_delete));
    sf.bind(8, int64_t(f.on_update));
    sf.bind(9, int64_t(f.enabled));
    sf.bind(10, f.ref_index);
    sf.run();
  }
  stmt_owner sk(db,
                "INSERT INTO mssim_checks(position, name, table_id, text, sql, enabled) "
                "VALUES(?,?,?,?,?,?)");
  for (size_t i = 0; i < cat.checks.size(); ++i) {
    const check_info& c = cat.checks[i];
    sk.bind(1, int64_t(i));
    sk.bind(2, c.name);
    sk.bind(3, c.table_id);
    sk.bind(4, c.text);
    sk.bind(5, c.sql);
    sk.bind(6, int64_t(c.enabled));
    sk.run();
  }
}

void catalog_save_identity(sqlite3* db, const object_info& o) {
  stmt_owner s(db, "UPDATE mssim_objects SET ident_current=?, ident_used=? WHERE id=?");
  s.bind(1, o.ident_current);
  s.bind(2, int64_t(o.ident_used));
  s.bind(3, o.id);
  s.run();
}

}  // namespace mssim
