// In-memory servers for the driver's tests: a source database and a destination database over
// plain tables, with a journal of the calls the driver makes and hooks to make them fail.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "conversion_servers.h"
#include "odb_exce.h"
#include "tk_exception.h"
#include "tk_string.h"
#include "udb_db.h"

struct fake_column {
  const char16_t* name;
  VARTYPE vartype;
  uint32_t size = 0;
};

struct fake_table {
  udb_schema schema;
  udb_indexes indexes;
  std::vector<udb_record> rows;
  udb_relationships keys;  // foreign keys the reader finds when it opens the table
};

struct fake_store {
  std::map<std::u16string, fake_table> tables;
  udb_views views;
  std::vector<std::string> journal;
  // Hooks: a failure raised when the driver opens this table (source) or appends this row
  // (destination, 1-based per table); the exception is thrown as returned.
  std::function<void(const std::u16string& table)> on_open;
  std::function<void(const std::u16string& table, int row)> on_append;
  std::function<void(const std::u16string& table, int row)> on_read;

  void note(const std::string& what) { journal.push_back(what); }
  bool saw(const std::string& what) const {
    for (const auto& j : journal)
      if (j == what) return true;
    return false;
  }
};

inline std::string narrow(const std::u16string& s) { return tk_wide_to_utf8(s); }

inline fake_table make_table(std::vector<fake_column> columns,
                             std::vector<std::vector<ole_variant>> rows, bool primary_on_first) {
  fake_table t;
  for (const auto& c : columns) t.schema.add(t_ftd(c.name, c.vartype, c.size));
  if (primary_on_first) {
    udb_index pk;
    pk.name = u"PRIMARY";
    pk.primary = pk.unique = true;
    pk.fields.push_back(columns.front().name);
    t.indexes.push_back(pk);
  }
  for (const auto& r : rows) {
    udb_record rec;
    for (size_t i = 0; i < r.size(); ++i) rec.emplace_back(columns[i].name, 0, r[i]);
    t.rows.push_back(rec);
  }
  return t;
}

class fake_source_recordset : public udb_recordset {
 public:
  fake_source_recordset(fake_store& store, const std::u16string& name, const fake_table& t,
                        const std::u16string& query)
      : udb_recordset(name, query), store_(store), rows_(t.rows) {
    schema = t.schema;
    indexes = t.indexes;
    record_count = static_cast<int32_t>(rows_.size());
  }
  ~fake_source_recordset() noexcept(false) override { store_.note("close source " + narrow(name)); }
  void append_record(const udb_record&) override { throw tk_mail_assertion("fake_src", __LINE__); }
  const udb_record& get_item() override {
    if (store_.on_read) store_.on_read(name, position + 1);
    return rows_.at(position);
  }
  bool is_eof() override { return position < 0 || position >= static_cast<int>(rows_.size()); }
  void next() override { ++position; }
  void reset() override { position = 0; }

 private:
  fake_store& store_;
  std::vector<udb_record> rows_;
};

class fake_source_db : public udb_database {
 public:
  fake_source_db(fake_store& store, const std::u16string& name)
      : udb_database(nullptr, name), store_(store) {
    for (const auto& t : store.tables) tables.push_back(t.first);
    views = store.views;
  }
  std::unique_ptr<udb_recordset> create_table(const std::u16string&, const udb_schema&,
                                              const udb_indexes&) override {
    throw tk_mail_assertion("fake_src", __LINE__);
  }
  std::unique_ptr<udb_recordset> get_table(const std::u16string& name, int32_t flags) override {
    store_.note("get_table " + narrow(name));
    if (store_.on_open) store_.on_open(name);
    auto it = store_.tables.find(name);
    if (it == store_.tables.end()) throw tk_exception("no such table", 0);
    for (const auto& k : it->second.keys) relationships.push_back(k);
    return std::make_unique<fake_source_recordset>(store_, name, it->second, u"");
  }
  std::unique_ptr<udb_recordset> get_table(const std::u16string& name, const std::u16string& query,
                                           int32_t flags) override {
    store_.note("query " + narrow(name) + " " + narrow(query));
    if (store_.on_open) store_.on_open(name);
    // A query answers with the rows of the table its text names after "FROM ".
    auto from = query.find(u"FROM ");
    auto it = store_.tables.find(query.substr(from + 5));
    if (from == std::u16string::npos || it == store_.tables.end())
      throw tk_exception("bad query", 0);
    return std::make_unique<fake_source_recordset>(store_, name, it->second, query);
  }
  bool execute_sql(const std::u16string&) override { return false; }

 private:
  fake_store& store_;
};

class fake_dest_table : public udb_recordset {
 public:
  fake_dest_table(fake_store& store, const std::u16string& name, fake_table& t)
      : udb_recordset(name), store_(store), table_(t) {
    schema = t.schema;
    indexes = t.indexes;
  }
  ~fake_dest_table() noexcept(false) override { store_.note("close dest " + narrow(name)); }
  void append_record(const udb_record& record) override {
    ++appended_;
    if (store_.on_append) store_.on_append(name, appended_);
    if (record.size() != schema.size()) throw tk_exception("column count", 0);
    if (find_key(record) >= 0) throw odb_exception(static_cast<int32_t>(0x80040E2F));
    table_.rows.push_back(record);
  }
  void update(const udb_record& record) override {
    int at = find_key(record);
    store_.note("update " + narrow(name) + " " + narrow(record[0].to_wstring()));
    if (at >= 0) table_.rows[at] = record;
  }

 private:
  // The row whose primary key equals the record's, or -1 (no key: never a duplicate).
  int find_key(const udb_record& record) const {
    for (const auto& idx : indexes) {
      if (!idx.primary) continue;
      int col = schema.get_field_idx(idx.fields.front());
      for (size_t i = 0; i < table_.rows.size(); ++i)
        if (table_.rows[i][col].to_wstring() == record[col].to_wstring())
          return static_cast<int>(i);
    }
    return -1;
  }

  fake_store& store_;
  fake_table& table_;
  int appended_ = 0;
};

class fake_dest_db : public udb_database {
 public:
  fake_dest_db(fake_store& store, const std::u16string& name, int32_t flags)
      : udb_database(nullptr, name, flags), store_(store) {
    for (const auto& t : store.tables) tables.push_back(t.first);
  }
  ~fake_dest_db() noexcept(false) override { store_.note("close dest db"); }
  std::unique_ptr<udb_recordset> create_table(const std::u16string& name, const udb_schema& fields,
                                              const udb_indexes& indexes) override {
    const std::u16string& dest = name;
    store_.note("create_table " + narrow(dest));
    auto it = store_.tables.find(dest);
    if (it == store_.tables.end()) {
      fake_table t;
      t.schema = fields;
      t.indexes = indexes;
      it = store_.tables.emplace(dest, std::move(t)).first;
      tables.push_back(dest);
    }
    return std::make_unique<fake_dest_table>(store_, dest, it->second);
  }
  void delete_tab(const std::u16string& name) override {
    store_.note("delete_tab " + narrow(name));
    store_.tables.erase(name);
    udb_database::delete_tab(name);
  }
  std::unique_ptr<udb_recordset> get_table(const std::u16string&, int32_t) override {
    throw tk_mail_assertion("fake_dst", __LINE__);
  }
  std::unique_ptr<udb_recordset> get_table(const std::u16string&, const std::u16string&,
                                           int32_t) override {
    throw tk_mail_assertion("fake_dst", __LINE__);
  }
  bool execute_sql(const std::u16string&) override { return false; }
  void create_relationships(const udb_relationships& keys) override {
    std::string names;
    for (const auto& k : keys) names += " " + narrow(k.name);
    store_.note("create_relationships" + names);
  }
  void create_views(const udb_views& views) override {
    store_.note("create_views " + std::to_string(views.size()));
  }

 private:
  fake_store& store_;
};

class fake_servers : public conversion_servers {
 public:
  fake_store source;
  fake_store dest;
  bool dest_present = false;
  int version = 6;
  bool fast_load = true;
  std::vector<std::string> calls;
  std::function<void()> on_open_source;

  std::unique_ptr<udb_database> open_source(const std::u16string& name, int mode) override {
    calls.push_back("open_source " + narrow(name) + " " + std::to_string(mode));
    if (on_open_source) on_open_source();
    return std::make_unique<fake_source_db>(source, name);
  }
  void set_blob_to_text(bool on) override { calls.push_back("blob2text " + std::to_string(on)); }
  bool dest_exists(const std::u16string&) override { return dest_present; }
  std::unique_ptr<udb_database> open_dest(const std::u16string& name, int flags) override {
    calls.push_back("open_dest " + std::to_string(flags));
    return std::make_unique<fake_dest_db>(dest, name, flags);
  }
  std::unique_ptr<udb_database> create_dest(const std::u16string& name) override {
    calls.push_back("create_dest");
    dest_present = true;
    return std::make_unique<fake_dest_db>(dest, name, 2);
  }
  void drop_dest(const std::u16string&) override {
    calls.push_back("drop_dest");
    dest.tables.clear();
    dest_present = false;
  }
  int dest_version() override { return version; }
  bool dest_fast_load() override { return fast_load; }
  void enable_fast_load(udb_database&, bool on) override {
    dest.note("fast_load " + std::to_string(on));
  }
};
