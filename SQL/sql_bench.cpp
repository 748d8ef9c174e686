// Reads one table (or one query) through sql_recordset, as the conversion does, and prints what
// it cost: rows, seconds, rows per second and the process's peak resident memory.
//
//   sql_bench --host H --port P --user U --password W --db D (--table T | --query Q)
//
// Output: one line of key=value pairs, for tools/mariadb/bench_read.sh to read.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sql_engine.h"
#include "sql_exception.h"
#include "sql_recordset.h"
#include "tk_string.h"

int main(int argc, char** argv) {
  std::string host = "127.0.0.1", user, password, db, table, query;
  unsigned port = 3306;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string k = argv[i], v = argv[i + 1];
    if (k == "--host")
      host = v;
    else if (k == "--port")
      port = static_cast<unsigned>(std::atoi(v.c_str()));
    else if (k == "--user")
      user = v;
    else if (k == "--password")
      password = v;
    else if (k == "--db")
      db = v;
    else if (k == "--table")
      table = v;
    else if (k == "--query")
      query = v;
    else {
      std::fprintf(stderr, "unknown option %s\n", k.c_str());
      return 2;
    }
  }
  if (db.empty() || (table.empty() == query.empty())) {
    std::fprintf(stderr,
                 "usage: sql_bench --host H --port P --user U --password W --db D "
                 "(--table T | --query Q)\n");
    return 2;
  }
  try {
    sql_engine engine;
    engine.connect(host, user, password, port);
    auto database = engine.open_db(tk_utf8_to_wide(db), 0x80 | 1);
    auto start = std::chrono::steady_clock::now();
    std::unique_ptr<udb_recordset> rs =
        query.empty() ? database->get_table(tk_utf8_to_wide(table), 1)
                      : database->get_table(u"query", tk_utf8_to_wide(query), 1);
    long long counted = rs->record_count, rows = 0, bytes = 0;
    for (rs->reset(); !rs->is_eof(); rs->next()) {
      for (const udb_field& f : rs->get_item()) bytes += f.size;
      ++rows;
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rs.reset();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("rows=%lld bytes=%lld seconds=%.3f rows_per_second=%.0f peak_rss_kb=%ld\n", rows,
                bytes, seconds, seconds > 0 ? rows / seconds : 0.0, usage.ru_maxrss);
    if (rows != counted) {
      std::fprintf(stderr, "sql_bench: %lld rows read, %lld counted\n", rows, counted);
      return 1;
    }
    return 0;
  } catch (const tk_exception& e) {
    std::fprintf(stderr, "sql_bench: %s (code %08X)\n", e.what(), e.code());
    return 1;
  }
}
