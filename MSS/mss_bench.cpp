// Writes sbtest-shaped rows (id, k, c char(120), pad char(60)) into a new destination table, as
// the conversion does, through the bulk path or INSERT statements, and prints what it cost.
//
//   mss_bench --port P [--rows N] [--mode fast|slow] [--db NAME]
//
// Output: one line of key=value pairs (rows, seconds, rows_per_second), for MSS/bench_write.sh.
// The server is a running stand-in (login sa / Passw0rd!); with --sink it measures the writer.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "mss_db.h"
#include "mss_engi.h"
#include "tk_exception.h"
#include "tk_string.h"

int main(int argc, char** argv) {
  std::string port, mode = "fast", db = "bench";
  long rows = 100000;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string k = argv[i], v = argv[i + 1];
    if (k == "--port") {
      port = v;
    } else if (k == "--rows") {
      rows = std::atol(v.c_str());
    } else if (k == "--mode") {
      mode = v;
    } else if (k == "--db") {
      db = v;
    } else {
      std::fprintf(stderr, "unknown option %s\n", k.c_str());
      return 2;
    }
  }
  if (port.empty() || (mode != "fast" && mode != "slow")) {
    std::fprintf(stderr, "usage: mss_bench --port P [--rows N] [--mode fast|slow] [--db NAME]\n");
    return 2;
  }
  try {
    mss_engine engine(false);
    engine.connect(u"127.0.0.1," + tk_utf8_to_wide(port), u"sa", u"Passw0rd!", true);
    std::unique_ptr<mss_database> database = engine.create_db(tk_utf8_to_wide(db));
    if (!database->enable_fast_load(mode == "fast")) {
      std::fprintf(stderr, "the driver refused bulk load\n");
      return 1;
    }
    udb_schema schema;
    schema.add(t_ftd(u"id", VT_I4, 11, true));
    schema.add(t_ftd(u"k", VT_I4, 11, true));
    schema.add(t_ftd(u"c", VT_BSTR, 120, true));
    schema.add(t_ftd(u"pad", VT_BSTR, 60, true));
    udb_indexes indexes{{u"PRIMARY", true, true, {u"id"}}};
    const auto t0 = std::chrono::steady_clock::now();
    {
      std::unique_ptr<udb_recordset> table = database->create_table(u"sbtest1", schema, indexes);
      udb_record row;
      for (const t_ftd* f : schema) row.emplace_back(f->name, 0, ole_variant());
      for (long i = 1; i <= rows; ++i) {
        row[0] = udb_field(u"id", 4, ole_variant(static_cast<int>(i)));
        row[1] = udb_field(u"k", 4, ole_variant(static_cast<int>(i * 7 % 100000)));
        std::string c;
        for (int j = 0; j < 10; ++j)
          c += std::to_string(10000000000LL + (i * 31 + j) % 89999999999LL) + "-";
        c.resize(119);
        row[2] = udb_field(u"c", 119, ole_variant(tk_utf8_to_wide(c)));
        row[3] = udb_field(u"pad", 59, ole_variant(tk_utf8_to_wide(c.substr(0, 59))));
        table->append_record(row);
      }
    }  // the final commit
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("mode=%s rows=%ld seconds=%.3f rows_per_second=%.0f\n", mode.c_str(), rows, s,
                s > 0 ? rows / s : 0.0);
    return 0;
  } catch (const tk_exception& e) {
    std::fprintf(stderr, "failed: %s (code %08X)\n", e.what(), static_cast<unsigned>(e.code()));
    return 1;
  }
}
