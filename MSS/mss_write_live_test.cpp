// Table creation and row writing against the stand-in, read back by pytds (a client nobody here
// wrote): the server types, identity, nullability and defaults of every field type; the index
// rules; the same rows written by the bulk path and by INSERT statements giving the same table;
// batches of 1000; a refused row in the bulk path; the older servers' column types.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "mss_db.h"
#include "mss_engi.h"
#include "mss_table.h"
#include "odb_exce.h"
#include "ole_date.h"
#include "peer_util.h"
#include "test_server.h"
#include "tk_exception.h"
#include "tk_string.h"

namespace {

using mssim::peer::python;

const char* const version_2000 =
    "Microsoft SQL Server  2000 - 8.00.2039 (Intel X86) \n\tMay  3 2005 23:18:38 \n\tCopyright "
    "(c) 1988-2003 Microsoft Corporation\n\tEnterprise Edition on Windows NT 5.2 (Build 3790: "
    "Service Pack 2)\n";
const char* const version_7 =
    "Microsoft SQL Server  7.00 - 7.00.623 (Intel X86) \n\tNov 27 1998 22:20:07 \n\tCopyright "
    "(c) 1988-1998 Microsoft Corporation\n\tStandard Edition on Windows NT 4.0 (Build 1381: "
    "Service Pack 6)\n";

// Rows of a query as pytds reads them, one line per row, values separated by "|": NULL, bytes
// in hex, datetimes with milliseconds, long values as their length and digest.
std::vector<std::string> read_back(uint16_t port, const std::string& database,
                                   const std::string& query) {
  const std::string code = R"py(
import sys, pytds, datetime, hashlib
conn = pytds.connect(server='127.0.0.1', port=int(sys.argv[1]), user='sa', password='Passw0rd!',
                     database=sys.argv[2], autocommit=True, login_timeout=10)
cur = conn.cursor()
def canon(v):
    if v is None: return 'NULL'
    if isinstance(v, bool): return str(int(v))
    if isinstance(v, (bytes, bytearray)):
        return ('len=%d md5=%s' % (len(v), hashlib.md5(v).hexdigest())) if len(v) > 64 else '0x' + v.hex()
    if isinstance(v, str) and len(v) > 64:
        return 'len=%d md5=%s' % (len(v), hashlib.md5(v.encode('utf-8')).hexdigest())
    if isinstance(v, datetime.datetime):
        return v.strftime('%Y-%m-%d %H:%M:%S.') + '%03d' % (v.microsecond // 1000)
    return str(v)
cur.execute(sys.argv[3])
for row in cur.fetchall():
    print('|'.join(canon(v) for v in row))
)py";
  mssim::peer::run_result r = python(code, port, {database, query});
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < r.out.size()) {
    size_t end = r.out.find('\n', at);
    if (end == std::string::npos) end = r.out.size();
    lines.push_back(r.out.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

t_ftd column(const char16_t* name, VARTYPE vt, uint32_t size = 0, bool not_null = false,
             int32_t reserved = 0, const char16_t* def = nullptr, bool identity = false) {
  t_ftd f(name, vt, size, not_null, reserved);
  if (def) f.default_value = ole_variant(def);
  f.auto_increment = identity;
  return f;
}

ole_variant date(uint16_t y, uint16_t mo, uint16_t d, uint16_t h = 0, uint16_t mi = 0,
                 uint16_t s = 0, uint16_t ms = 0) {
  SYSTEMTIME st;
  st.wYear = y;
  st.wMonth = mo;
  st.wDay = d;
  st.wHour = h;
  st.wMinute = mi;
  st.wSecond = s;
  st.wMilliseconds = ms;
  return ole_variant(st);
}

ole_variant null() {
  ole_variant v;
  v.set_null();
  return v;
}

// A record of the schema's columns with `values` in order.
udb_record record(const udb_schema& schema, const std::vector<ole_variant>& values) {
  udb_record r;
  for (size_t i = 0; i < values.size(); ++i) r.emplace_back(schema[i].name, 0, values[i]);
  return r;
}

// One stand-in, the engine connected to it, one database.
class write_live : public ::testing::Test {
 protected:
  void start(const std::vector<std::string>& args = {}) {
    server_ = std::make_unique<mssim::test_server>(args);
    engine().connect(u"127.0.0.1," + tk_utf8_to_wide(std::to_string(server_->port())), u"sa",
                     u"Passw0rd!", true);
    db_ = engine().create_db(u"w");
  }
  void TearDown() override {
    db_.reset();
    server_.reset();
  }
  static mss_engine& engine() {
    static mss_engine instance(false);
    return instance;
  }
  std::unique_ptr<udb_recordset> create(const std::u16string& name, const udb_schema& schema,
                                        const udb_indexes& indexes = {}) {
    return db_->create_table(name, schema, indexes);
  }
  std::vector<std::string> rows(const std::string& query) {
    return read_back(server_->port(), "w", query);
  }
  void fast_load(bool on) { ASSERT_TRUE(db_->enable_fast_load(on)); }

  std::unique_ptr<mssim::test_server> server_;
  std::unique_ptr<mss_database> db_;
};

TEST_F(write_live, every_field_type_creates_its_server_type) {
  start();
  udb_schema s;
  s.add(column(u"id", VT_I4, 11, true, 0, nullptr, true));
  s.add(column(u"c_i2", VT_I2));
  s.add(column(u"c_i1", VT_I1));
  s.add(column(u"c_ui2", VT_UI2));
  s.add(column(u"c_int", VT_INT));
  s.add(column(u"c_r4", VT_R4));
  s.add(column(u"c_r8", VT_R8, 0, false, 0, u"2.5"));
  s.add(column(u"c_cy", VT_CY));
  s.add(column(u"c_zero_date", VT_DATE, 0, true, 1, u"0000-00-00 00:00:00"));
  s.add(column(u"c_old_date", VT_DATE, 0, false, 2, u"1000-01-01"));
  s.add(column(u"c_txt", VT_BSTR, 20, false, 0, u"x'y"));
  s.add(column(u"c_memo", VT_BSTR, 0, false, 0, u"abc"));
  s.add(column(u"c_bool", VT_BOOL, 1, false, 0, u"1"));
  s.add(column(u"c_dec28", VT_DECIMAL, 0, false, 2 | 28 << 8, u"1.50"));
  s.add(column(u"c_dec30", VT_DECIMAL, 0, false, 2 | 30 << 8));
  s.add(column(u"c_ui1", VT_UI1));
  s.add(column(u"c_ui4", VT_UI4));
  s.add(column(u"c_i8", VT_I8, 20, false, 1));
  s.add(column(u"c_ui8", VT_UI8, 20, false, 2));
  s.add(column(u"c_uint", VT_UINT));
  s.add(column(u"c_blob", VT_BLOB, 255, false, 0, u"0x01"));
  s.add(column(u"c_longblob", VT_BLOB, 0));
  s.add(column(u"c_obj", VT_BLOB_OBJECT, 100));
  s.add(column(u"c_nn", VT_I4, 11, true, 0, u"0"));
  create(u"types", s).reset();

  const std::vector<std::string> expected = {
      "id|int identity|10|0|0|NULL",
      "c_i2|smallint|5|0|1|NULL",
      "c_i1|smallint|5|0|1|NULL",
      "c_ui2|int|10|0|1|NULL",
      "c_int|int|10|0|1|NULL",
      "c_r4|float|53|NULL|1|NULL",
      "c_r8|float|53|NULL|1|((2.5))",
      "c_cy|money|19|4|1|NULL",
      "c_zero_date|datetime|23|3|0|('9999-12-30')",
      "c_old_date|datetime|23|3|1|('9999-12-30')",
      "c_txt|nvarchar|20|NULL|1|('x''y')",
      "c_memo|nvarchar|0|NULL|1|NULL",
      "c_bool|bit|1|NULL|1|((1))",
      "c_dec28|numeric|28|2|1|((1.50))",
      "c_dec30|float|53|NULL|1|NULL",
      "c_ui1|tinyint|3|0|1|NULL",
      "c_ui4|bigint|19|0|1|NULL",
      "c_i8|bigint|19|0|1|NULL",
      "c_ui8|numeric|20|0|1|NULL",
      "c_uint|bigint|19|0|1|NULL",
      "c_blob|varbinary|255|NULL|1|NULL",
      "c_longblob|varbinary|0|NULL|1|NULL",
      "c_obj|varbinary|100|NULL|1|NULL",
      "c_nn|int|10|0|0|((0))",
  };
  const std::string code = R"py(
import sys, pytds
conn = pytds.connect(server='127.0.0.1', port=int(sys.argv[1]), user='sa', password='Passw0rd!',
                     database='w', autocommit=True, login_timeout=10)
cur = conn.cursor()
cur.callproc('sp_columns', {'@table_name': 'types', '@ODBCVer': 3})
for r in cur.fetchall():
    print('|'.join('NULL' if r[i] is None else str(r[i]) for i in (3, 5, 6, 8, 10, 12)))
)py";
  mssim::peer::run_result r = python(code, server_->port());
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> got;
  for (size_t at = 0, end; at < r.out.size(); at = end + 1) {
    end = r.out.find('\n', at);
    got.push_back(r.out.substr(at, end - at));
  }
  EXPECT_EQ(got, expected);
}

TEST_F(write_live, index_rules_and_the_clustered_primary_key) {
  start();
  udb_schema s;
  s.add(column(u"id", VT_I4, 11));  // nullable in the source: the primary key makes it NOT NULL
  s.add(column(u"s250a", VT_BSTR, 250));
  s.add(column(u"s250b", VT_BSTR, 250));
  s.add(column(u"s450", VT_BSTR, 450));
  s.add(column(u"s451", VT_BSTR, 451));
  s.add(column(u"flag", VT_BOOL, 1));
  udb_indexes indexes{
      {u"PRIMARY", true, true, {u"id"}},
      {u"two250", false, false, {u"s250a", u"s250b"}},
      {u"one450", true, false, {u"s450"}},
      {u"one451", false, false, {u"s451"}},
      {u"withflag", false, false, {u"id", u"flag"}},
  };
  std::unique_ptr<udb_recordset> t = create(u"orders", s, indexes);
  // The table's index list is the definition, not a reading of the server.
  ASSERT_EQ(t->indexes.size(), 5u);
  EXPECT_EQ(t->update_key, 0);
  t.reset();

  EXPECT_EQ(rows("SELECT COUNT(*) FROM orders"), std::vector<std::string>{"0"});
  const std::string code = R"py(
import sys, pytds
conn = pytds.connect(server='127.0.0.1', port=int(sys.argv[1]), user='sa', password='Passw0rd!',
                     database='w', autocommit=True, login_timeout=10)
cur = conn.cursor()
cur.callproc('sp_pkeys', {'@table_name': 'orders'})
print('pk', [(r[3], r[5]) for r in cur.fetchall()])
cur.callproc('sp_statistics', {'@table_name': 'orders'})
print('ix', sorted(set((r[5], r[3]) for r in cur.fetchall() if r[5] is not None)))
cur.callproc('sp_columns', {'@table_name': 'orders', '@column_name': 'id'})
print('id nullable', [r[10] for r in cur.fetchall()])
)py";
  mssim::peer::run_result r = python(code, server_->port());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("pk [('id', 'PK_orders')]"), std::string::npos) << r.out;
  // sp_statistics: (INDEX_NAME, NON_UNIQUE)
  EXPECT_NE(r.out.find("ix [('PK_orders', 0), ('one450', 0)]"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("id nullable [0]"), std::string::npos) << r.out;
}

// The rows of the row-writing tests: every value rule the two paths share.
struct sample {
  udb_schema schema;
  std::vector<udb_record> records;
};

sample sample_rows() {
  sample out;
  udb_schema& s = out.schema;
  s.add(column(u"id", VT_I4, 11, true, 0, nullptr, true));
  s.add(column(u"n_nn", VT_I4, 11, true));
  s.add(column(u"t_nn", VT_BSTR, 20, true));
  s.add(column(u"d", VT_DATE, 0, false, 1));
  s.add(column(u"d_nn", VT_DATE, 0, true, 1));
  s.add(column(u"r", VT_R8));
  s.add(column(u"dec", VT_DECIMAL, 0, false, 2 | 5 << 8));
  s.add(column(u"t", VT_BSTR, 60));
  s.add(column(u"b", VT_BLOB, 10));
  s.add(column(u"kn", VT_I4, 11, false, 0, u"5"));
  s.add(column(u"ui8", VT_UI8, 20, false, 2));
  s.add(column(u"flag", VT_BOOL, 1));
  s.add(column(u"money", VT_CY));
  s.add(column(u"memo", VT_BSTR, 0));
  s.add(column(u"blob", VT_BLOB, 0));

  std::u16string big_text;
  for (int i = 0; big_text.size() < 3'000'000; ++i)
    big_text += u"line " + tk_utf8_to_wide(std::to_string(i)) + u" \u00e4\u20ac\n";
  std::vector<uint8_t> big_bytes(4'000'000);
  for (size_t i = 0; i < big_bytes.size(); ++i)
    big_bytes[i] = static_cast<uint8_t>(i * 7 + i / 255);

  const std::u16string guid = u"guid: {6F9619FF-8B86-D011-B42D-00C04FC964FF} of the row";
  auto dec = [](const char* t) { return ole_variant::from_string(t, VT_DECIMAL); };
  auto cy = [](const char* t) { return ole_variant::from_string(t, VT_CY); };
  const std::vector<std::vector<ole_variant>> values = {
      {ole_variant(5), null(), null(), date(0, 0, 0), null(), ole_variant(1e-320), dec("12345.67"),
       ole_variant(u"O'Brien"), ole_variant(std::vector<uint8_t>{0x00, 0xFF}), null(),
       ole_variant(18446744073709551615ULL), ole_variant(true), cy("-12.3456"),
       ole_variant(big_text), ole_variant(big_bytes)},
      {ole_variant(7), ole_variant(3), ole_variant(u""), date(1000, 5, 6, 10, 20, 30),
       date(2011, 12, 31, 10, 20, 30, 123), ole_variant(-1.7976931348623157e308), dec("-12345.67"),
       ole_variant(guid), ole_variant(std::vector<uint8_t>{}), ole_variant(9),
       ole_variant(9007199254740993ULL), ole_variant(false), cy("922337203685477.5807"),
       ole_variant(u""), ole_variant(std::vector<uint8_t>{})},
      {ole_variant(100), ole_variant(-1), ole_variant(u"abc"), date(0, 0, 0, 23, 59, 58),
       date(1753, 1, 1), ole_variant(0.1 + 0.2), dec("123.45"), ole_variant(u"caf\u00e9 \u20ac"),
       null(), ole_variant(0), null(), null(), null(), null(), null()},
  };
  for (const auto& v : values) out.records.push_back(record(s, v));
  return out;
}

TEST_F(write_live, both_paths_write_the_same_table) {
  start();
  const sample data = sample_rows();
  for (const char16_t* name : {u"fast_t", u"slow_t"}) {
    const bool fast = name == std::u16string(u"fast_t");
    fast_load(fast);
    std::unique_ptr<udb_recordset> t = create(name, data.schema);
    for (const udb_record& r : data.records) t->append_record(r);
    auto* table = dynamic_cast<mss_table*>(t.get());
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->loader().is_open(), fast);
    t.reset();  // commits the bulk load
  }
  const std::vector<std::string> fast_rows = rows("SELECT * FROM fast_t ORDER BY id");
  const std::vector<std::string> slow_rows = rows("SELECT * FROM slow_t ORDER BY id");
  ASSERT_EQ(fast_rows.size(), 3u);
  EXPECT_EQ(fast_rows, slow_rows);

  // What both wrote.
  EXPECT_EQ(rows("SELECT id, n_nn, t_nn, d, d_nn, dec, t, b, kn FROM fast_t WHERE id = 5"),
            std::vector<std::string>{
                "5|0||1899-12-30 00:00:00.000|1900-01-01 00:00:00.000|999.99|O'Brien|0x00ff|NULL"});
  EXPECT_EQ(rows("SELECT d, dec, t, b, ui8 FROM slow_t WHERE id = 7"),
            std::vector<std::string>{"1899-12-30 10:20:30.000|-999.99|guid: "
                                     "{6F9619FF-8B86-D011-B42D-00C04FC964FF} of the row|0x|"
                                     "9007199254740993"});
  EXPECT_EQ(rows("SELECT ui8, money, r FROM fast_t WHERE id = 5"),
            std::vector<std::string>{"18446744073709551615|-12.3456|2.23e-308"});
  EXPECT_EQ(rows("SELECT d_nn, d, r, t FROM fast_t WHERE id = 7 OR id = 100 ORDER BY id"),
            (std::vector<std::string>{
                "2011-12-31 10:20:30.123|1899-12-30 10:20:30.000|-1.79e+308|"
                "guid: {6F9619FF-8B86-D011-B42D-00C04FC964FF} of the row",
                "1753-01-01 00:00:00.000|1899-12-30 23:59:58.000|0.30000000000000004|caf\xC3\xA9 "
                "\xE2\x82\xAC"}));
  const std::vector<std::string> long_values = rows("SELECT memo, blob FROM slow_t WHERE id = 5");
  ASSERT_EQ(long_values.size(), 1u);
  EXPECT_EQ(long_values[0].rfind("len=", 0), 0u) << long_values[0];
}

TEST_F(write_live, bulk_commits_every_1000_rows_and_at_close) {
  start();
  fast_load(true);
  udb_schema s;
  s.add(column(u"id", VT_I4, 11, true));
  s.add(column(u"name", VT_BSTR, 20));
  std::unique_ptr<udb_recordset> t = create(u"batches", s, {{u"PRIMARY", true, true, {u"id"}}});
  for (int i = 1; i <= 1001; ++i)
    t->append_record(record(s, {ole_variant(i), ole_variant(u"row")}));
  const mss_fast_load& loader = dynamic_cast<mss_table&>(*t).loader();
  EXPECT_EQ(loader.intermediate_commits(), 1);
  EXPECT_EQ(loader.committed_rows(), 1000);
  // Committed rows are there before the load is closed.
  EXPECT_EQ(rows("SELECT COUNT(*) FROM batches"), std::vector<std::string>{"1000"});
  t.reset();
  EXPECT_EQ(rows("SELECT COUNT(*), MAX(id) FROM batches"), std::vector<std::string>{"1001|1001"});
}

TEST_F(write_live, a_refused_row_in_the_bulk_path_is_reported_and_the_load_goes_on) {
  start();
  fast_load(true);
  udb_schema s;
  s.add(column(u"id", VT_I4, 11, true));
  s.add(column(u"d", VT_DATE, 0, false, 1));
  std::unique_ptr<udb_recordset> t = create(u"refused", s);
  t->append_record(record(s, {ole_variant(1), date(2011, 2, 28)}));
  try {
    t->append_record(record(s, {ole_variant(2), date(2011, 2, 30)}));
    ADD_FAILURE() << "no exception";
  } catch (const odb_exception& e) {
    EXPECT_EQ(e.code(), 0x80E07);
  }
  t->append_record(record(s, {ole_variant(3), date(2012, 2, 29)}));
  t.reset();
  EXPECT_EQ(rows("SELECT id, d FROM refused ORDER BY id"),
            (std::vector<std::string>{"1|2011-02-28 00:00:00.000", "3|2012-02-29 00:00:00.000"}));
}

TEST_F(write_live, statement_path_turns_identity_insert_off_for_the_next_table) {
  start();
  fast_load(false);
  udb_schema s;
  s.add(column(u"id", VT_I4, 11, true, 0, nullptr, true));
  s.add(column(u"v", VT_BSTR, 10));
  for (const char16_t* name : {u"first", u"second"}) {
    std::unique_ptr<udb_recordset> t = create(name, s);
    t->append_record(record(s, {ole_variant(42), ole_variant(u"x")}));
    t->append_record(record(s, {ole_variant(7), ole_variant(u"y")}));
  }
  EXPECT_EQ(rows("SELECT id, v FROM second ORDER BY id"),
            (std::vector<std::string>{"7|y", "42|x"}));
}

TEST_F(write_live, servers_before_2005_get_ntext_and_image) {
  start({"--version-string", version_2000});
  ASSERT_EQ(engine().get_version_code(), 3);
  udb_schema s;
  s.add(column(u"id", VT_I8, 20, true, 1, nullptr, true));
  s.add(column(u"memo", VT_BSTR, 0));
  s.add(column(u"blob", VT_BLOB, 0));
  s.add(column(u"u", VT_UI8, 20, false, 2));
  std::vector<uint8_t> bytes(100'000, 0xAB);
  std::u16string text(50'000, u'\u00e9');
  for (bool fast : {true, false}) {
    fast_load(fast);
    std::unique_ptr<udb_recordset> t = create(fast ? u"old_fast" : u"old_slow", s);
    t->append_record(record(s, {ole_variant(int64_t{1} << 40), ole_variant(text),
                                ole_variant(bytes), ole_variant(18446744073709551615ULL)}));
  }
  const std::string code = R"py(
import sys, pytds
conn = pytds.connect(server='127.0.0.1', port=int(sys.argv[1]), user='sa', password='Passw0rd!',
                     database='w', autocommit=True, login_timeout=10)
cur = conn.cursor()
cur.callproc('sp_columns', {'@table_name': 'old_fast'})
print(','.join(r[5] for r in cur.fetchall()))
)py";
  mssim::peer::run_result r = python(code, server_->port());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "bigint identity,ntext,image,numeric\n");
  EXPECT_EQ(rows("SELECT * FROM old_fast"), rows("SELECT * FROM old_slow"));
  EXPECT_EQ(rows("SELECT id, u FROM old_fast"),
            std::vector<std::string>{"1099511627776|18446744073709551615"});
}

TEST_F(write_live, servers_without_64_bit_integers_take_them_as_floats) {
  start({"--version-string", version_7});
  ASSERT_EQ(engine().get_version_code(), 2);
  udb_schema s;
  s.add(column(u"id", VT_I8, 20, true, 1, nullptr, true));  // no identity on a float column
  s.add(column(u"n", VT_UI4, 10));
  for (bool fast : {true, false}) {
    fast_load(fast);
    std::unique_ptr<udb_recordset> t = create(fast ? u"f7_fast" : u"f7_slow", s);
    t->append_record(record(s, {ole_variant(int64_t{123456789}), ole_variant(4000000000u)}));
  }
  EXPECT_EQ(rows("SELECT id, n FROM f7_fast"),
            std::vector<std::string>{"123456789.0|4000000000.0"});
  EXPECT_EQ(rows("SELECT * FROM f7_fast"), rows("SELECT * FROM f7_slow"));
}

}  // namespace
