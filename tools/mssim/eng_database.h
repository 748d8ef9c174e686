// One database: its SQLite connection, its catalogue, and the lock that serialises the sessions
// working in it. A session holds the lock for one statement, or from BEGIN TRANSACTION to its end,
// or across a bulk-load message, so each of those is atomic towards other sessions.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <unordered_map>

#include "eng_catalog.h"
#include "eng_sqlfuncs.h"

struct sqlite3;
struct sqlite3_stmt;

namespace mssim {

class database {
 public:
  // Opens `path` (empty: in memory), creating the catalogue tables when missing.
  database(const std::u16string& name, const std::string& path);
  ~database();
  database(const database&) = delete;
  database& operator=(const database&) = delete;

  std::u16string name;
  const std::string path;
  int id = 0;           // DB_ID()
  bool system = false;  // master, tempdb, model, msdb
  catalog cat;
  std::atomic<int> users{0};  // sessions whose current database this is
  std::atomic<bool> dropped{false};

  sqlite3* handle() const { return db_; }
  sqlfunc_context& funcs() { return funcs_; }

  // Reentrant for one owner (a session). False when `timeout_ms` passed without the lock.
  bool lock(const void* owner, int timeout_ms = -1);
  void unlock(const void* owner);
  bool held_by(const void* owner) const { return owner_ == owner; }

  // A cached prepared statement, reset and unbound; throws sql_error on a SQLite error.
  sqlite3_stmt* prepare(const std::string& sql);
  void exec(const std::string& sql);
  // While set, a running SQLite statement stops (SQLITE_INTERRUPT) once the flag turns true.
  void watch_cancel(const std::atomic<bool>* flag) { cancel_flag_.store(flag); }
  // Drops cached statements (after DDL changes a table they may refer to).
  void clear_cache();
  // Turns the current SQLite error into sql_error (an encoded SQL Server message, or 50000).
  [[noreturn]] void raise_sqlite_error() const;

 private:
  sqlite3* db_ = nullptr;
  sqlfunc_context funcs_;
  std::mutex m_;
  std::condition_variable cv_;
  const void* owner_ = nullptr;
  int depth_ = 0;
  std::unordered_map<std::string, sqlite3_stmt*> cache_;
  std::atomic<const std::atomic<bool>*> cancel_flag_{nullptr};
  static int progress(void* self);
};

class db_guard {
 public:
  db_guard(database& d, const void* owner) : d_(d), owner_(owner) {
    d_.lock(owner_);
  }  // no timeout
  ~db_guard() { d_.unlock(owner_); }
  db_guard(const db_guard&) = delete;
  db_guard& operator=(const db_guard&) = delete;

 private:
  database& d_;
  const void* owner_;
};

}  // namespace mssim
