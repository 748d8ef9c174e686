// The T-SQL side of the SQL Server stand-in: an engine that keeps databases in SQLite and executes
// the subset of T-SQL that the migrator and its tests send, answering with the result sets,
// messages and row counts SQL Server would send. The wire side (TDS) only encodes what it gets
// here; nothing in this interface knows about packets.
//
// Threads: one `engine` per process; each `session` is used by one thread at a time. Sessions on
// different threads may run at once; the engine serialises their access to each database.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace mssim {

enum class col_type {
  tinyint,
  smallint,
  int_,
  bigint,
  bit,
  real,
  float_,
  money,
  smallmoney,
  numeric,  // decimal too, see type_desc::decimal_name
  datetime,
  smalldatetime,
  date,
  time,
  datetime2,
  nchar,
  nvarchar,
  ntext,
  char_,
  varchar,
  text,
  binary,
  varbinary,
  image,
  uniqueidentifier
};

// A SQL Server column type as the catalog and COLMETADATA need it.
struct type_desc {
  col_type type = col_type::int_;
  // nchar/nvarchar: characters; char/varchar/binary/varbinary: bytes; -1 = (max).
  // text/ntext/image: -1. Fixed-size types: their storage size in bytes (int 4, datetime 8, ...).
  int32_t length = 4;
  uint8_t precision = 0;  // numeric/decimal: 1..38; money 19, smallmoney 10
  uint8_t scale = 0;      // numeric/decimal; time/datetime2: fractional digits 0..7; money 4
  bool nullable = true;
  bool identity = false;
  bool decimal_name = false;  // numeric declared as `decimal`: only the reported type name differs
};

// One cell. Exactly the members named for `kind` are meaningful.
struct value {
  enum kind_t { null, i64, f64, numeric, text, bytes, datetime, guid };
  kind_t kind = null;
  int64_t i = 0;          // i64: tinyint..bigint, bit (0 or 1)
  double d = 0;           // f64: real, float
  std::string digits;     // numeric: magnitude as decimal digits, no point ("12345" + scale 2 =
  int scale = 0;          //   123.45); money/smallmoney come as numeric with scale 4
  bool negative = false;  // numeric
  std::u16string s;       // text: every character type (char/varchar too) as UTF-16
  std::string b;          // bytes: binary types; guid: 16 bytes in TDS wire order
  int32_t days = 0;       // datetime: days since 1900-01-01 (negative before it)
  uint32_t ticks = 0;     // datetime: 1/300 s since midnight (datetime, smalldatetime)
  uint64_t nanos100 = 0;  // datetime: 100 ns units since midnight (date, time, datetime2)
                          // make_datetime_* fill ticks and nanos100 consistently.

  static value make_null() { return value{}; }
  static value make_int(int64_t v) {
    value r;
    r.kind = i64;
    r.i = v;
    return r;
  }
  static value make_float(double v) {
    value r;
    r.kind = f64;
    r.d = v;
    return r;
  }
  static value make_numeric(std::string digits, int scale, bool negative) {
    value r;
    r.kind = numeric;
    r.digits = std::move(digits);
    r.scale = scale;
    r.negative = negative;
    return r;
  }
  static value make_text(std::u16string v) {
    value r;
    r.kind = text;
    r.s = std::move(v);
    return r;
  }
  static value make_bytes(std::string v) {
    value r;
    r.kind = bytes;
    r.b = std::move(v);
    return r;
  }
  static value make_guid(std::string wire16) {
    value r;
    r.kind = guid;
    r.b = std::move(wire16);
    return r;
  }
  // From datetime/smalldatetime wire values.
  static value make_datetime_ticks(int32_t days, uint32_t ticks) {
    value r;
    r.kind = datetime;
    r.days = days;
    r.ticks = ticks;
    r.nanos100 = (uint64_t(ticks) * 100000 + 1) / 3;
    return r;
  }
  // From date/time/datetime2 wire values (days since 1900-01-01; 0001-01-01 is -693595).
  static value make_datetime_ns(int32_t days, uint64_t nanos100) {
    value r;
    r.kind = datetime;
    r.days = days;
    r.nanos100 = nanos100;
    r.ticks = uint32_t((nanos100 * 3 + 50000) / 100000);
    return r;
  }
};

struct column {
  std::u16string name;
  type_desc type;
  std::u16string table;  // owning table (text/ntext/image COLMETADATA, bulk columns); may be empty
};

struct message {
  int32_t number = 0;
  uint8_t state = 1;
  uint8_t cls = 16;  // severity; <= 10 goes out as INFO, >= 20 ends the connection
  std::u16string text, server, proc;
  int32_t line = 1;
};

struct result_set {
  std::vector<column> columns;
  std::vector<std::vector<value>> rows;
};

// One piece of a reply, in the order it is to be sent.
//   rows:          a result set (COLMETADATA + rows); with FMTONLY ON it has no rows
//   error / info:  `msg` (an INFO for cls <= 10)
//   done:          the end of one statement: `count` valid when `has_count`; `failed` = DONE_ERROR.
//                  Inside call() (RPC) these are DONEINPROC; the wire side adds the final DONEPROC
//                  after the return_status item, and DONE_MORE on all but the last DONE of a batch.
//   env_database:  the current database changed from `old_text` to `text` (ENVCHANGE type 1)
//   return_status: `status` (RPC only, always last)
struct item {
  enum kind_t { rows, error, info, done, env_database, return_status } what = done;
  result_set rs;
  message msg;
  int64_t count = 0;
  bool has_count = false;
  bool failed = false;
  std::u16string text, old_text;
  int32_t status = 0;
};

struct options {
  std::string data_dir;           // empty: every database lives in memory
  bool sink = false;              // bulk rows are decoded, checked and counted, then dropped
  std::u16string version_string;  // @@VERSION; empty: a current SQL Server version text
  std::u16string server_name = u"MSSIM";  // ServerName in messages, @@SERVERNAME
};

// What @@VERSION poses as, for LOGINACK's ProgVersion and SERVERPROPERTY.
struct version_info {
  int major = 16, minor = 0, build = 1000, revision = 6;
  std::u16string product_version;  // SERVERPROPERTY('ProductVersion'), e.g. "16.0.1000.6"
  std::u16string text;             // @@VERSION
};

class session;

class engine {
 public:
  // Opens (or creates) the data folder; throws std::runtime_error when it cannot be used.
  explicit engine(options opts);
  ~engine();
  engine(const engine&) = delete;
  engine& operator=(const engine&) = delete;

  // A session for an authenticated login, in `database` (empty: master). On an unknown database
  // appends error 4060 to `out` and returns nullptr (the wire side then adds 18456). On success
  // appends env_database (master -> database). `odbc_defaults` is LOGIN7's fODBC flag: it turns
  // QUOTED_IDENTIFIER and ANSI_WARNINGS on as SQL Server does for ODBC clients.
  std::unique_ptr<session> open_session(const std::u16string& login, const std::u16string& database,
                                        std::vector<item>& out, bool odbc_defaults = true);

  const version_info& version() const;
  const options& opts() const;

  struct impl;
  impl& internals() { return *impl_; }

 private:
  std::unique_ptr<impl> impl_;
};

class session {
 public:
  ~session();
  session(const session&) = delete;
  session& operator=(const session&) = delete;

  // A SQL batch. Syntax errors (102, 156, 105, ...) refuse the whole batch before anything runs.
  void execute(const std::u16string& batch, std::vector<item>& out);

  // An RPC by name: sp_executesql (@stmt, @params, then the declared parameters), sp_columns,
  // sp_tables, sp_pkeys, sp_fkeys, sp_statistics, ... Names may carry `[db]..`, `db.dbo.` prefixes.
  // Parameters are named ("@table_name", any case) or positional (empty name), in call order.
  void call(const std::u16string& proc, const std::vector<std::pair<std::u16string, value>>& params,
            std::vector<item>& out);

  // After a successful `insert bulk` statement the session expects one BULK LOAD message.
  bool bulk_pending() const;
  // The columns named by the insert bulk statement, in its order, with the table's types.
  const std::vector<column>& bulk_columns() const;
  // A whole BULK LOAD message at once: checks and stores the rows as one unit (all or none),
  // then appends the reply (errors, and a done with the count of rows stored).
  void bulk_rows(const std::vector<std::vector<value>>& rows, std::vector<item>& out);
  // The same in a stream, for messages too large to hold: bulk_row() per decoded row (values in
  // bulk_columns() order), then bulk_end() once the message is complete. bulk_abort() drops the
  // rows sent so far (connection lost, attention) and ends the pending state.
  void bulk_row(const std::vector<value>& row);
  void bulk_end(std::vector<item>& out);
  void bulk_abort();

  // Attention: the statement running on this session stops as soon as it can; safe to call from
  // another thread.
  void cancel();
  const std::u16string& database() const;
  const std::u16string& login() const;

  struct impl;

 private:
  friend class engine;
  explicit session(std::unique_ptr<impl> p);
  std::unique_ptr<impl> impl_;
};

// UTF-8 <-> UTF-16, for command-line texts and logs (invalid sequences become U+FFFD).
std::string to_utf8(const std::u16string& s);
std::u16string from_utf8(const std::string& s);

}  // namespace mssim
