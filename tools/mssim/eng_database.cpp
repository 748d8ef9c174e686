#include "eng_database.h"

#include <sqlite3.h>

#include <chrono>
#include <stdexcept>

#include "eng_errors.h"
#include "eng_util.h"

namespace mssim {

database::database(const std::u16string& n, const std::string& p) : name(n), path(p) {
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  std::string target = p.empty() ? ":memory:" : p;
  if (sqlite3_open_v2(target.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    std::string m = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    db_ = nullptr;
    throw std::runtime_error("cannot open database file " + target + ": " + m);
  }
  register_sql_functions(db_, &funcs_);
  sqlite3_progress_handler(db_, 1000, &database::progress, this);
  char* err = nullptr;
  // WAL keeps readers and the writer apart; synchronous NORMAL is durable enough for test
  // equipment and keeps bulk loads fast.
  const char* pragmas = p.empty() ? "PRAGMA foreign_keys=OFF; PRAGMA recursive_triggers=OFF;"
                                  : "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; "
                                    "PRAGMA foreign_keys=OFF; PRAGMA recursive_triggers=OFF;";
  if (sqlite3_exec(db_, pragmas, nullptr, nullptr, &err) != SQLITE_OK) {
    std::string m = err ? err : "?";
    sqlite3_free(err);
    sqlite3_close(db_);
    db_ = nullptr;
    throw std::runtime_error("cannot set up database file " + target + ": " + m);
  }
  catalog_init(db_);
  std::u16string stored;
  catalog_load(db_, cat, stored);
  if (stored.empty())
    catalog_set_name(db_, name);
  else
    name = stored;
}

database::~database() {
  clear_cache();
  if (db_) sqlite3_close_v2(db_);
}

bool database::lock(const void* owner, int timeout_ms) {
  std::unique_lock<std::mutex> l(m_);
  if (owner_ == owner && depth_ > 0) {
    ++depth_;
    return true;
  }
  if (timeout_ms < 0) {
    cv_.wait(l, [&] { return depth_ == 0; });
  } else if (!cv_.wait_for(l, std::chrono::milliseconds(timeout_ms), [&] { return depth_ == 0; })) {
    return false;
  }
  owner_ = owner;
  depth_ = 1;
  return true;
}

int database::progress(void* self) {
  const std::atomic<bool>* f = static_cast<database*>(self)->cancel_flag_.load();
  return f && f->load() ? 1 : 0;
}

void database::unlock(const void* owner) {
  std::unique_lock<std::mutex> l(m_);
  if (owner_ != owner || depth_ == 0) return;
  if (--depth_ == 0) {
    owner_ = nullptr;
    l.unlock();
    cv_.notify_one();
  }
}

sqlite3_stmt* database::prepare(const std::string& sql) {
  auto it = cache_.find(sql);
  if (it != cache_.end()) {
    sqlite3_reset(it->second);
    sqlite3_clear_bindings(it->second);
    return it->second;
  }
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), int(sql.size()), &s, nullptr) != SQLITE_OK) {
    raise_sqlite_error();
  }
  if (cache_.size() > 500) clear_cache();
  cache_[sql] = s;
  return s;
}

void database::clear_cache() {
  for (auto& [k, s] : cache_) sqlite3_finalize(s);
  cache_.clear();
}

void database::exec(const std::string& sql) {
  char* err = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
    std::string m = err ? err : "?";
    sqlite3_free(err);
    if (sqlite3_errcode(db_) == SQLITE_INTERRUPT) throw cancel_signal{};
    sql_error e(50000, {});
    if (decode_sqlite_error(m.c_str(), e)) throw e;
    e = sql_error(50000, {from_utf8("Internal error of the stand-in: " + m)});
    throw e;
  }
}

void database::raise_sqlite_error() const {
  if (sqlite3_errcode(db_) == SQLITE_INTERRUPT) throw cancel_signal{};
  const char* m = sqlite3_errmsg(db_);
  sql_error e(50000, {});
  if (decode_sqlite_error(m, e)) throw e;
  throw sql_error(50000,
                  {from_utf8(std::string("Internal error of the stand-in: ") + (m ? m : "?"))});
}

}  // namespace mssim
