// The path the migrator uses: unixODBC with the FreeTDS ODBC driver against the stand-in,
// with a DSN-less connection string, statements and results, the driver's bulk copy through
// odbcss.h, and a query timeout that sends an attention.
// odbcss.h comes first: its bcp wrappers return SUCCEED/FAIL, names GoogleTest takes for
// macros of its own.
#include <sql.h>
#include <sqlext.h>

#include <cstddef>  // odbcss.h uses NULL without including it
#define TDSODBC_BCP
#include <odbcss.h>
#undef SUCCEED
#undef FAIL

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "test_server.h"

namespace mssim {
namespace {

constexpr RETCODE bcp_ok = 1;  // the wrappers' SUCCEED

std::string diagnostics(SQLSMALLINT type, SQLHANDLE h) {
  std::string out;
  for (SQLSMALLINT i = 1;; ++i) {
    SQLCHAR state[6] = {0}, text[1024] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(type, h, i, state, &native, text, sizeof text, &len))) break;
    out += std::string(reinterpret_cast<char*>(state)) + " " + std::to_string(native) + " " +
           reinterpret_cast<char*>(text) + "\n";
  }
  return out;
}

// Environment and connection handles, freed in order.
struct odbc_conn {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  bool connected = false;
  odbc_conn() {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(10), 0);
  }
  ~odbc_conn() {
    if (connected) SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  SQLRETURN connect(const std::string& cs) {
    SQLCHAR out[1024];
    SQLSMALLINT len;
    SQLRETURN rc =
        SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(cs.c_str())),
                         SQL_NTS, out, sizeof out, &len, SQL_DRIVER_NOPROMPT);
    connected = SQL_SUCCEEDED(rc);
    return rc;
  }
  std::string diag() const { return diagnostics(SQL_HANDLE_DBC, dbc); }
};

struct odbc_stmt {
  SQLHSTMT h = SQL_NULL_HSTMT;
  explicit odbc_stmt(const odbc_conn& c) { SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &h); }
  ~odbc_stmt() { SQLFreeHandle(SQL_HANDLE_STMT, h); }
  SQLRETURN exec(const std::string& sql) {
    SQLFreeStmt(h, SQL_CLOSE);
    return SQLExecDirect(h, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
  }
  std::string diag() const { return diagnostics(SQL_HANDLE_STMT, h); }
  // Column `c` of the current row as text; "NULL" for NULL.
  std::string text(SQLUSMALLINT c) {
    char buf[4096];
    SQLLEN ind = 0;
    if (!SQL_SUCCEEDED(SQLGetData(h, c, SQL_C_CHAR, buf, sizeof buf, &ind))) return "<error>";
    return ind == SQL_NULL_DATA ? "NULL" : std::string(buf);
  }
};

TEST(Odbc, DsnLessConnectStatementAndResult) {
  test_server srv;
  odbc_conn c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.connect(srv.odbc_connection_string()))) << c.diag();
  odbc_stmt s(c);
  ASSERT_TRUE(
      SQL_SUCCEEDED(s.exec("create table t (id int not null primary key, "
                           "name nvarchar(20) null, amount numeric(10,2) null)")))
      << s.diag();
  ASSERT_TRUE(SQL_SUCCEEDED(
      s.exec("insert into t values (1, N'\xC3\xA4pfel', 12.50); insert into t values (2, NULL, "
             "NULL)")))
      << s.diag();
  ASSERT_TRUE(SQL_SUCCEEDED(s.exec("select id, name, amount from t order by id"))) << s.diag();
  SQLSMALLINT cols = 0;
  SQLNumResultCols(s.h, &cols);
  EXPECT_EQ(cols, 3);
  std::vector<std::string> rows;
  while (SQL_SUCCEEDED(SQLFetch(s.h)))
    rows.push_back(s.text(1) + "|" + s.text(2) + "|" + s.text(3));
  EXPECT_EQ(rows, (std::vector<std::string>{"1|\xC3\xA4pfel|12.50", "2|NULL|NULL"}));

  // An error keeps its number and SQLSTATE through the driver.
  EXPECT_FALSE(SQL_SUCCEEDED(s.exec("select * from missing_table")));
  EXPECT_NE(s.diag().find("42S02 208 "), std::string::npos) << s.diag();
  EXPECT_NE(s.diag().find("Invalid object name 'missing_table'."), std::string::npos);
}

TEST(Odbc, WrongPasswordArrivesAs18456) {
  test_server srv;
  odbc_conn c;
  EXPECT_FALSE(SQL_SUCCEEDED(c.connect(srv.odbc_connection_string("master", "sa", "nope"))));
  // The driver files 18456 under SQLSTATE 42000 (its table has no entry for it), then adds
  // 08001 for the failed connect.
  EXPECT_NE(c.diag().find(" 18456 [FreeTDS][SQL Server]Login failed for user 'sa'."),
            std::string::npos)
      << c.diag();
  EXPECT_NE(c.diag().find("08001 "), std::string::npos) << c.diag();
}

TEST(Odbc, BulkCopyThroughTheDriverInBatches) {
  test_server srv;
  {
    odbc_conn setup;
    ASSERT_TRUE(SQL_SUCCEEDED(setup.connect(srv.odbc_connection_string()))) << setup.diag();
    odbc_stmt s(setup);
    ASSERT_TRUE(
        SQL_SUCCEEDED(s.exec("create table b (id int not null primary key, "
                             "name nvarchar(40) null, big bigint null)")))
        << s.diag();
  }
  odbc_conn c;
  SQLSetConnectAttr(c.dbc, SQL_COPT_SS_BCP, reinterpret_cast<SQLPOINTER>(SQL_BCP_ON),
                    SQL_IS_INTEGER);
  ASSERT_TRUE(SQL_SUCCEEDED(c.connect(srv.odbc_connection_string()))) << c.diag();
  const char16_t table[] = u"b";
  ASSERT_EQ(bcp_initW(c.dbc, reinterpret_cast<const SQLWCHAR*>(table), nullptr, nullptr,
                      BCP_DIRECTION_IN),
            bcp_ok)
      << c.diag();
  // Each nullable column carries a 4-byte length prefix (-1 = NULL) before its data.
  int32_t id = 0;
  struct {
    int32_t len;
    char data[64];
  } name{};
  struct {
    int32_t len;
    int64_t v;
  } big{};
  ASSERT_EQ(bcp_bind(c.dbc, reinterpret_cast<const unsigned char*>(&id), 0, -1, nullptr, 0,
                     BCP_TYPE_SQLINT4, 1),
            bcp_ok);
  ASSERT_EQ(bcp_bind(c.dbc, reinterpret_cast<const unsigned char*>(&name), 4, SQL_VARLEN_DATA,
                     nullptr, 0, BCP_TYPE_SQLCHAR, 2),
            bcp_ok);
  ASSERT_EQ(bcp_bind(c.dbc, reinterpret_cast<const unsigned char*>(&big), 4, SQL_VARLEN_DATA,
                     nullptr, 0, BCP_TYPE_SQLINT8, 3),
            bcp_ok);
  const int total = 2500;
  long long committed = 0;
  for (int i = 1; i <= total; ++i) {
    id = i;
    if (i % 10 == 0) {
      name.len = -1;
      big.len = -1;
    } else {
      std::string n = "name " + std::to_string(i) + " \xC3\xBC";
      std::memcpy(name.data, n.data(), n.size());
      name.len = static_cast<int32_t>(n.size());
      big.len = 8;
      big.v = int64_t{1} << 40 | i;
    }
    ASSERT_EQ(bcp_sendrow(c.dbc), bcp_ok) << "row " << i << ": " << c.diag();
    if (i % 1000 == 0) {
      int n = bcp_batch(c.dbc);
      EXPECT_EQ(n, 1000) << c.diag();
      committed += n;
    }
  }
  int rest = bcp_done(c.dbc);
  EXPECT_EQ(rest, 500) << c.diag();
  committed += rest;
  EXPECT_EQ(committed, total);

  odbc_conn check;
  ASSERT_TRUE(SQL_SUCCEEDED(check.connect(srv.odbc_connection_string())));
  odbc_stmt s(check);
  ASSERT_TRUE(SQL_SUCCEEDED(s.exec("select count(*), count(name), count(big) from b"))) << s.diag();
  ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(s.h)));
  EXPECT_EQ(s.text(1), "2500");
  EXPECT_EQ(s.text(2), "2250");
  EXPECT_EQ(s.text(3), "2250");
  ASSERT_TRUE(SQL_SUCCEEDED(s.exec("select name, big from b where id = 7"))) << s.diag();
  ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(s.h)));
  EXPECT_EQ(s.text(1), "name 7 \xC3\xBC");
  EXPECT_EQ(s.text(2), std::to_string(int64_t{1} << 40 | 7));
}

TEST(Odbc, QueryTimeoutSendsAnAttentionAndTheConnectionStaysUsable) {
  test_server srv({"--delay-ms", "2000"});
  odbc_conn c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.connect(srv.odbc_connection_string()))) << c.diag();
  odbc_stmt s(c);
  SQLSetStmtAttr(s.h, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(1), 0);
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(SQL_SUCCEEDED(s.exec("select 1")));
  auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
          .count();
  EXPECT_NE(s.diag().find("HYT00"), std::string::npos) << s.diag();
  EXPECT_LT(ms, 1900);
  SQLSetStmtAttr(s.h, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(0), 0);
  ASSERT_TRUE(SQL_SUCCEEDED(s.exec("select 42"))) << s.diag();
  ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(s.h)));
  EXPECT_EQ(s.text(1), "42");
}

}  // namespace
}  // namespace mssim
