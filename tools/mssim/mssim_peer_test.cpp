// The stand-in proven by peers nobody here wrote: freebcp loads rows that pytds reads back
// exactly, tsql provokes SQL Server's errors, pytds calls the catalog procedures by RPC with
// named and positional parameters, and large values cross many packets both ways.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "peer_util.h"
#include "test_server.h"

namespace mssim {
namespace {

using peer::run_result;

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string l;
  while (std::getline(in, l)) out.push_back(l);
  return out;
}

// A pytds connection line shared by the scripts; the port is sys.argv[1].
const std::string py_connect = R"py(
import sys, pytds
conn = pytds.connect(server='127.0.0.1', port=int(sys.argv[1]), user='sa', password='Passw0rd!',
                     autocommit=True, login_timeout=10)
cur = conn.cursor()
)py";

// The canonical text of a value, for comparing what pytds reads with what was loaded.
const std::string py_canon = R"py(
import datetime, decimal
def canon(v):
    if v is None: return 'NULL'
    if isinstance(v, bool): return str(int(v))
    if isinstance(v, (bytes, bytearray)): return v.hex()
    if isinstance(v, datetime.datetime):
        return v.strftime('%Y-%m-%d %H:%M:%S.') + '%03d' % (v.microsecond // 1000)
    return str(v)
)py";

std::string two(int v) {
  char b[8];
  std::snprintf(b, sizeof b, "%02d", v);
  return b;
}

// Civil date from days since 1900-01-01.
std::string date_text(int days) {
  long z = days - 25567L + 719468L;  // days since 0000-03-01
  long era = (z >= 0 ? z : z - 146096) / 146097;
  long doe = z - era * 146097;
  long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long y = yoe + era * 400;
  long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long mp = (5 * doy + 2) / 153;
  long d = doy - (153 * mp + 2) / 5 + 1;
  long m = mp < 10 ? mp + 3 : mp - 9;
  if (m <= 2) ++y;
  return std::to_string(y) + "-" + two(static_cast<int>(m)) + "-" + two(static_cast<int>(d));
}

TEST(BulkCopy, FreebcpLoads100000RowsAndPytdsReadsThemBack) {
  test_server srv;
  peer::temp_dir dir;
  run_result made = peer::tsql(
      srv.port(),
      "create table bulk_t (id int not null primary key, big bigint null, name nvarchar(50) "
      "null, amount numeric(12,2) null, ts datetime null, flag bit null, data varbinary(64) "
      "null)\ngo\nexit\n");
  ASSERT_EQ(made.err.find("Msg "), std::string::npos) << made.err;

  // Deterministic rows; some columns NULL in a pattern that reaches every column.
  const int rows = 100000;
  std::string file, expect;
  static const char* const words[] = {
      "plain", "caf\xC3\xA9", "\xE2\x82\xAC uro", "\xE6\x97\xA5\xE6\x9C\xAC", "a'quote", "x"};
  for (int i = 1; i <= rows; ++i) {
    std::vector<std::string> f(7), e(7);
    f[0] = e[0] = std::to_string(i);
    long long big = (i % 3 == 0 ? -1LL : 1LL) * static_cast<long long>(i) * 92233720368LL;
    f[1] = e[1] = std::to_string(big);
    f[2] = e[2] = std::string(words[i % 6]) + " " + std::to_string(i);
    long long cents = (static_cast<long long>(i) * 7919) % 10000000000LL;
    std::string a = std::to_string(cents / 100) + "." + two(static_cast<int>(cents % 100));
    f[3] = e[3] = (i % 2 ? "-" : "") + a;
    int ms = (i % 100) * 10;
    std::string ts = date_text(i % 60000 - 20000) + " " + two(i % 24) + ":" + two(i % 60) + ":" +
                     two((i / 7) % 60) + "." + (ms < 100 ? (ms < 10 ? "00" : "0") : "") +
                     std::to_string(ms);
    f[4] = e[4] = ts;
    f[5] = e[5] = std::to_string(i % 2);
    std::string hex;
    for (int k = 0; k < 1 + i % 16; ++k) {
      char b[3];
      std::snprintf(b, sizeof b, "%02x", (i * 31 + k * 7) & 0xFF);
      hex += b;
    }
    f[6] = e[6] = hex;
    // NULLs: an empty field in character mode.
    if (i % 11 == 0) f[1 + (i / 11) % 6].clear(), e[1 + (i / 11) % 6] = "NULL";
    if (i % 97 == 0)
      for (int c = 1; c < 7; ++c) f[c].clear(), e[c] = "NULL";
    for (int c = 0; c < 7; ++c) {
      file += f[c] + (c < 6 ? "\t" : "\n");
      expect += e[c] + (c < 6 ? "\t" : "\n");
    }
  }
  peer::write_file(dir.file("rows.txt"), file);

  std::string conf = peer::freetds_conf(dir, srv.port());
  run_result bcp = peer::run({"freebcp", "bulk_t", "in", dir.file("rows.txt"), "-S", "mssim", "-U",
                              "sa", "-P", "Passw0rd!", "-c", "-t", "\t", "-r", "\n", "-b", "10000"},
                             "", 300000, {conf});
  EXPECT_EQ(bcp.status, 0) << bcp.out << bcp.err;
  EXPECT_NE(bcp.out.find("100000 rows copied."), std::string::npos) << bcp.out << bcp.err;

  run_result read = peer::python(py_connect + py_canon + R"py(
cur.execute('select id, big, name, amount, ts, flag, data from bulk_t order by id')
out = sys.stdout
for row in cur:
    out.write('\t'.join(canon(v) for v in row) + '\n')
)py",
                                 srv.port());
  ASSERT_EQ(read.status, 0) << read.err;
  std::vector<std::string> got = lines(read.out), want = lines(expect);
  ASSERT_EQ(got.size(), want.size());
  int shown = 0;
  for (size_t i = 0; i < got.size() && shown < 5; ++i)
    if (got[i] != want[i]) {
      ADD_FAILURE() << "row " << i + 1 << "\n got: " << got[i] << "\nwant: " << want[i];
      ++shown;
    }
}

struct sql_error {
  int number, severity;
  std::string text;
};

// tsql prints server messages as: Msg N (severity S, state T) from SERVER Line L:\n\t"TEXT"
std::vector<sql_error> tsql_messages(const std::string& err) {
  std::vector<sql_error> out;
  size_t pos = 0;
  while ((pos = err.find("Msg ", pos)) != std::string::npos) {
    sql_error e{};
    int state = 0;
    if (std::sscanf(err.c_str() + pos, "Msg %d (severity %d, state %d)", &e.number, &e.severity,
                    &state) == 3) {
      size_t q = err.find("\t\"", pos);
      size_t end = q == std::string::npos ? q : err.find("\"\n", q + 2);
      if (end != std::string::npos) e.text = err.substr(q + 2, end - q - 2);
      out.push_back(e);
    }
    pos += 4;
  }
  return out;
}

TEST(Errors, EachArrivesWithSqlServersNumberClassAndText) {
  test_server srv;
  const std::string setup =
      "set ansi_warnings on\ngo\n"
      "create table p (id int not null constraint pk_p primary key, name nvarchar(5) not null, "
      "code int null, amount numeric(5,2) null, d datetime null)\ngo\n"
      "create unique index ux_code on p (code)\ngo\n"
      "create table c (id int identity(1,1) not null primary key, pid int not null)\ngo\n"
      "alter table c add constraint fk_c_p foreign key (pid) references p (id)\ngo\n"
      "insert into p values (1, N'a', 1, 1, null)\ngo\n";
  run_result ok = peer::tsql(srv.port(), setup + "exit\n");
  ASSERT_TRUE(tsql_messages(ok.err).empty()) << ok.err;

  const std::vector<std::pair<std::string, sql_error>> cases = {
      {"insert into p values (1, N'b', 2, null, null)",
       {2627, 14,
        "Violation of PRIMARY KEY constraint 'pk_p'. Cannot insert duplicate key in object "
        "'dbo.p'. The duplicate key value is (1)."}},
      {"insert into p values (2, N'b', 1, null, null)",
       {2601, 14,
        "Cannot insert duplicate key row in object 'dbo.p' with unique index 'ux_code'. The "
        "duplicate key value is (1)."}},
      {"insert into p (id, name) values (3, NULL)",
       {515, 16,
        "Cannot insert the value NULL into column 'name', table 'master.dbo.p'; column does not "
        "allow nulls. INSERT fails."}},
      {"insert into p values (4, N'toolong', null, null, null)",
       {8152, 16, "String or binary data would be truncated."}},
      {"insert into p values (5, N'x', null, 12345.678, null)",
       {8115, 16, "Arithmetic overflow error converting numeric to data type numeric."}},
      {"insert into p values (6, N'x', null, null, '1752-12-31')",
       {242, 16,
        "The conversion of a varchar data type to a datetime data type resulted in an "
        "out-of-range value."}},
      {"insert into c (id, pid) values (5, 1)",
       {544, 16,
        "Cannot insert explicit value for identity column in table 'c' when IDENTITY_INSERT is "
        "set to OFF."}},
      {"insert into c (pid) values (99)",
       {547, 16,
        "The INSERT statement conflicted with the FOREIGN KEY constraint \"fk_c_p\". The "
        "conflict occurred in database \"master\", table \"dbo.p\", column 'id'."}},
      {"select * from nosuch", {208, 16, "Invalid object name 'nosuch'."}},
      {"create table p (x int)",
       {2714, 16, "There is already an object named 'p' in the database."}},
      {"create table t2 (id int auto_increment)",
       {102, 15, "Incorrect syntax near 'auto_increment'."}},
      {"select group_concat(name) from p",
       {195, 15, "'group_concat' is not a recognized built-in function name."}},
  };
  std::string script;
  for (const auto& c : cases) script += c.first + "\ngo\n";
  // The same connection goes on after every error.
  script += "select count(*) from p\ngo\nexit\n";
  run_result r = peer::tsql(srv.port(), script);
  std::vector<sql_error> got;
  for (const sql_error& e : tsql_messages(r.err))
    if (e.number != 3621) got.push_back(e);  // "The statement has been terminated." follows some
  ASSERT_EQ(got.size(), cases.size()) << r.err;
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(got[i].number, cases[i].second.number) << cases[i].first;
    EXPECT_EQ(got[i].severity, cases[i].second.severity) << cases[i].first;
    EXPECT_EQ(got[i].text, cases[i].second.text) << cases[i].first;
  }
  EXPECT_NE(r.out.find("\n1\n"), std::string::npos) << r.out;
}

TEST(Catalog, ProceduresReturnTheDocumentedColumnsByRpc) {
  test_server srv;
  run_result r = peer::python(py_connect + R"py(
for sql in ["create table cat_p (id int not null constraint pk_cat_p primary key, "
            "name nvarchar(30) null default ('x'), qty int not null default 0)",
            "create table cat_c (id int identity(1,1) not null primary key, pid int null)",
            "alter table cat_c add constraint fk_cat foreign key (pid) references cat_p (id)",
            "create index ix_name on cat_p (name)"]:
    cur.execute(sql)
def show(name, params, keep):
    cur.callproc(name, params)
    print(name, ','.join(d[0] for d in cur.description))
    for row in cur.fetchall():
        print(' ', '|'.join('' if row[i] is None else str(row[i]) for i in keep))
    print(' status', cur.return_value)
show('sp_columns', {'@table_name': 'cat_p'}, [2, 3, 5, 10, 12, 16])
show('sp_columns', ('cat_c',), [3, 5])
show('sp_pkeys', {'@table_name': 'cat_p'}, [2, 3, 4, 5])
show('sp_fkeys', {'@pktable_name': 'cat_p'}, [2, 3, 6, 7, 11])
show('sp_statistics', ('cat_p',), [2, 3, 5, 6, 7, 8])
show('sp_tables', {'@table_name': 'cat[_]%', '@table_type': "'TABLE'"}, [2, 3])
)py",
                              srv.port());
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string out = r.out;
  auto has = [&](const std::string& s) {
    EXPECT_NE(out.find(s), std::string::npos) << s << "\n" << out;
  };
  has("sp_columns TABLE_QUALIFIER,TABLE_OWNER,TABLE_NAME,COLUMN_NAME,DATA_TYPE,TYPE_NAME,"
      "PRECISION,LENGTH,SCALE,RADIX,NULLABLE,REMARKS,COLUMN_DEF,SQL_DATA_TYPE,SQL_DATETIME_SUB,"
      "CHAR_OCTET_LENGTH,ORDINAL_POSITION,IS_NULLABLE,SS_DATA_TYPE\n"
      "  cat_p|id|int|0||1\n  cat_p|name|nvarchar|1|('x')|2\n  cat_p|qty|int|0|((0))|3\n");
  has("  cat_c|int identity\n  cat_c|int\n");
  has("sp_pkeys TABLE_QUALIFIER,TABLE_OWNER,TABLE_NAME,COLUMN_NAME,KEY_SEQ,PK_NAME\n"
      "  cat_p|id|1|pk_cat_p\n");
  has("sp_fkeys PKTABLE_QUALIFIER,PKTABLE_OWNER,PKTABLE_NAME,PKCOLUMN_NAME,FKTABLE_QUALIFIER,"
      "FKTABLE_OWNER,FKTABLE_NAME,FKCOLUMN_NAME,KEY_SEQ,UPDATE_RULE,DELETE_RULE,FK_NAME,PK_NAME,"
      "DEFERRABILITY\n  cat_p|id|cat_c|pid|fk_cat\n");
  has("sp_statistics TABLE_QUALIFIER,TABLE_OWNER,TABLE_NAME,NON_UNIQUE,INDEX_QUALIFIER,"
      "INDEX_NAME,TYPE,SEQ_IN_INDEX,COLUMN_NAME,COLLATION,CARDINALITY,PAGES,FILTER_CONDITION\n");
  has("  cat_p|0|cat_p|pk_cat_p|1|1\n");
  has("  cat_p|1|cat_p|ix_name|3|1\n");
  has("sp_tables TABLE_QUALIFIER,TABLE_OWNER,TABLE_NAME,TABLE_TYPE,REMARKS\n"
      "  cat_c|TABLE\n  cat_p|TABLE\n");
  has(" status 0\n");
}

TEST(Views, TsqlTextIsSelectableAndGroupConcatIs195) {
  test_server srv;
  run_result r = peer::python(py_connect + R"py(
cur.execute("create table [v_a] ([id] int not null primary key, [name] nvarchar(20) null, "
            "[d] datetime null)")
cur.execute("create table [v_b] ([aid] int not null, [qty] int not null)")
cur.execute("insert into [v_a] values (1, N'one', '20111231 10:20:30')")
cur.execute("insert into [v_a] values (2, NULL, NULL)")
cur.execute("insert into [v_b] values (1, 5)")
cur.execute("insert into [v_b] values (1, 7)")
cur.execute("create view [v_sum] as select [a].[id], isnull([a].[name], N'-') + N'!' as [label], "
            "DateAdd(day, 1, [a].[d]) as [next_day], count([b].[qty]) as [n] from [v_a] [a] "
            "left join [v_b] [b] on [b].[aid] = [a].[id] where [a].[d] is null or [a].[d] < getdate() "
            "group by [a].[id], [a].[name], [a].[d]")
cur.execute("create view [v_cross] as select [a].[id], [b].[qty] from [v_a] [a] cross join [v_b] [b]")
cur.execute("select * from [v_sum] order by [id]")
for row in cur.fetchall(): print('|'.join(str(v) for v in row))
cur.execute("select count(*) from [v_cross]")
print('cross', cur.fetchone()[0])
try:
    cur.execute("create view [v_bad] as select group_concat([name]) as [g] from [v_a]")
    print('accepted')
except pytds.ProgrammingError as e:
    print('error', e.msg_no)
)py",
                              srv.port());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1|one!|2012-01-01 10:20:30|2\n2|-!|None|0\ncross 4\nerror 195\n");
}

TEST(LargeValues, PlpValuesCrossManyPacketsBothWays) {
  test_server srv;
  run_result r = peer::python(py_connect + R"py(
cur.execute("create table lv (id int not null, t nvarchar(max) null, b varbinary(max) null, "
            "s nvarchar(4000) null)")
text = ''.join(chr(0x41 + i % 26) + ('\u00e9' if i % 7 == 0 else '') + ('\u20ac' if i % 13 == 0 else '')
               for i in range(150000))
blob = bytes((i * 131) & 0xFF for i in range(1500000))
mid = 'x' * 4000
cur.execute("insert into lv values (%s, %s, %s, %s)", (1, text, blob, mid))
cur.execute("insert into lv values (%s, %s, %s, %s)", (2, '', b'', ''))
cur.execute("insert into lv values (%s, %s, %s, %s)", (3, None, None, None))
cur.execute("select id, t, b, s from lv order by id")
rows = cur.fetchall()
print(rows[0][1] == text, rows[0][2] == blob, rows[0][3] == mid, len(rows[0][1]), len(rows[0][2]))
print(repr(rows[1][1:]), repr(rows[2][1:]))
cur.execute("select datalength(t), datalength(b) from lv where id = 1")
print(tuple(cur.fetchone()) == (2 * len(text), len(blob)))
)py",
                              srv.port());
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> l = lines(r.out);
  ASSERT_GE(l.size(), 3u) << r.out;
  EXPECT_EQ(l[0].substr(0, 16), "True True True 1") << l[0];
  EXPECT_EQ(l[1], "('', b'', '') (None, None, None)");
  EXPECT_EQ(l[2], "True");
}

}  // namespace
}  // namespace mssim
