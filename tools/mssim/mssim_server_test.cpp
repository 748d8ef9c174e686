// The mssim program as tests and tools start it: command line, port line, clean stop on
// signals, logins, fault options and attention, driven by the peers tsql and pytds.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <thread>

#include "peer_util.h"
#include "test_server.h"

namespace mssim {
namespace {

using peer::run;
using peer::run_result;

int connect_tcp(uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

TEST(CommandLine, HelpDocumentsEveryOptionAndTheFaults) {
  run_result r = run({test_server::binary(), "--help"});
  EXPECT_EQ(r.status, 0);
  for (const char* opt :
       {"--port", "--data", "--login", "--version-string", "--sink", "--drop-after-rows",
        "--drop-after-statements", "--delay-ms", "--refuse-logins", "SIGTERM"})
    EXPECT_NE(r.out.find(opt), std::string::npos) << opt;
}

TEST(CommandLine, RefusesBadOptionsWithExitStatus2) {
  const std::vector<std::vector<std::string>> cases = {
      {"--bogus"},        {"--port", "x"}, {"--port", "70000"},  {"--login", "nopw"},
      {"--login", ":pw"}, {"--delay-ms"},  {"--delay-ms", "-1"}, {"--drop-after-rows", "0"}};
  for (const auto& args : cases) {
    std::vector<std::string> argv = {test_server::binary()};
    argv.insert(argv.end(), args.begin(), args.end());
    run_result r = run(argv, "", 10000);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_NE(r.err.find("mssim: "), std::string::npos) << args[0];
    EXPECT_TRUE(r.out.empty()) << args[0] << ": " << r.out;
  }
}

TEST(Lifecycle, PortLineFirstThenCleanStopOnSigtermAndSigint) {
  for (int sig : {SIGTERM, SIGINT}) {
    test_server srv;
    ASSERT_GT(srv.port(), 0);
    // An idle connection and one that stopped inside its login must not hold the stop up.
    int idle = connect_tcp(srv.port());
    ASSERT_GE(idle, 0);
    int half = connect_tcp(srv.port());
    ASSERT_GE(half, 0);
    ASSERT_EQ(::write(half, "\x12\x01\x00", 3), 3);
    auto t0 = std::chrono::steady_clock::now();
    ::kill(srv.pid(), sig);
    int status = srv.stop(5000);
    auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
            .count();
    EXPECT_EQ(status, 0) << "signal " << sig;
    EXPECT_LT(ms, 3000);
    ::close(idle);
    ::close(half);
    // Nothing listens there any more.
    EXPECT_LT(connect_tcp(srv.port()), 0);
  }
}

TEST(Lifecycle, TakenPortFailsWithAMessage) {
  test_server srv;
  run_result r = run({test_server::binary(), "--port", std::to_string(srv.port())}, "", 10000);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("bind"), std::string::npos) << r.err;
}

TEST(Logins, RightPasswordInWrongOneRefusedWith18456) {
  test_server srv;
  run_result ok = peer::tsql(srv.port(), "select 1\ngo\nexit\n");
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(ok.err.find("Msg 18456"), std::string::npos) << ok.err;
  EXPECT_NE(ok.out.find("(1 row affected)"), std::string::npos) << ok.out;

  for (const auto& [user, password] : std::vector<std::pair<std::string, std::string>>{
           {"sa", "wrong"}, {"sa", "passw0rd!"}, {"nobody", "Passw0rd!"}}) {
    run_result bad = peer::tsql(srv.port(), "select 1\ngo\nexit\n", password, user);
    EXPECT_NE(bad.status, 0);
    EXPECT_NE(bad.err.find("Msg 18456 (severity 14, state 1)"), std::string::npos) << bad.err;
    EXPECT_NE(bad.err.find("Login failed for user '" + user + "'."), std::string::npos) << bad.err;
  }
  // Login names are not case-sensitive, passwords are.
  run_result upper = peer::tsql(srv.port(), "select 1\ngo\nexit\n", "Passw0rd!", "SA");
  EXPECT_EQ(upper.status, 0) << upper.err;
}

TEST(Logins, OwnLoginsReplaceTheDefaultAndUnknownDatabaseIs4060) {
  test_server srv({"--login", "loader:s3cr;t}", "--login", "reader:r"});
  EXPECT_EQ(peer::tsql(srv.port(), "select 1\ngo\nexit\n", "s3cr;t}", "loader").status, 0);
  EXPECT_EQ(peer::tsql(srv.port(), "select 1\ngo\nexit\n", "r", "reader").status, 0);
  run_result sa = peer::tsql(srv.port(), "select 1\ngo\nexit\n");
  EXPECT_NE(sa.err.find("Msg 18456"), std::string::npos) << sa.err;

  run_result r = peer::python(R"py(
import sys, pytds
try:
    pytds.connect(server='127.0.0.1', port=int(sys.argv[1]), user='reader', password='r',
                  database='nosuchdb', login_timeout=10)
    print('connected')
except pytds.OperationalError as e:
    for m in e.messages if hasattr(e, 'messages') else []:
        print(m['msgno'], m['severity'])
    print('msg', e.msg_no, e)
)py",
                              srv.port());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Cannot open database \"nosuchdb\" requested by the login. The login "
                       "failed."),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Login failed for user 'reader'."), std::string::npos) << r.out;
}

TEST(Faults, RefuseLogins) {
  test_server srv({"--refuse-logins"});
  run_result r = peer::tsql(srv.port(), "select 1\ngo\nexit\n");
  EXPECT_NE(r.err.find("Msg 18456 (severity 14, state 1)"), std::string::npos) << r.err;
}

// A pytds script that runs statements one by one on one connection and prints, for each,
// "ok <rows>" or "lost <error class>"; it stops at the first lost connection.
const char statements_script[] = R"py(
import sys, pytds
conn = pytds.connect(server='127.0.0.1', port=int(sys.argv[1]), user='sa',
                     password='Passw0rd!', autocommit=True, login_timeout=10, timeout=30)
cur = conn.cursor()
for sql in sys.argv[2:]:
    try:
        cur.execute(sql)
        rows = cur.fetchall() if cur.description else []
        print('ok', len(rows), flush=True)
    except (pytds.OperationalError, pytds.InterfaceError, ConnectionError, OSError, EOFError) as e:
        print('lost', type(e).__name__, flush=True)
        break
)py";

TEST(Faults, DropAfterStatements) {
  test_server srv({"--drop-after-statements", "3"});
  run_result r =
      peer::python(statements_script, srv.port(), {"select 1", "select 2", "select 3", "select 4"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, 15), "ok 1\nok 1\nok 1\n") << r.out;
  EXPECT_NE(r.out.find("lost"), std::string::npos) << r.out;
  // The server itself keeps running for the next client, which is dropped too (the count is
  // shared and already past 3).
  EXPECT_TRUE(srv.running());
  run_result again = peer::python(statements_script, srv.port(), {"select 5"});
  EXPECT_NE(again.out.find("lost"), std::string::npos) << again.out;
}

TEST(Faults, DropAfterRows) {
  test_server srv({"--drop-after-rows", "5"});
  std::string create = "create table t (i int not null)";
  std::string insert;
  for (int i = 1; i <= 8; ++i) insert += "insert into t values (" + std::to_string(i) + ") ";
  run_result r = peer::python(statements_script, srv.port(),
                              {create, insert, "select * from t where i <= 3", "select * from t"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("ok 3\nlost"), std::string::npos) << r.out;
}

TEST(Attention, CancelCutsADelayShortAndTheConnectionGoesOn) {
  test_server srv({"--delay-ms", "3000"});
  run_result r = peer::python(R"py(
import sys, time, pytds
conn = pytds.connect(server='127.0.0.1', port=int(sys.argv[1]), user='sa',
                     password='Passw0rd!', autocommit=True, login_timeout=10, timeout=0.5)
cur = conn.cursor()
t = time.time()
try:
    cur.execute('select 1')
    print('not cancelled')
except pytds.TimeoutError:
    print('cancelled after %.1f' % (time.time() - t))
conn._conn.sock.settimeout(10)
t = time.time()
cur.execute('select 42')
print('then', cur.fetchone()[0], 'after %.1f' % (time.time() - t))
)py",
                              srv.port());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("cancelled after 0.5"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("then 42 after 3."), std::string::npos) << r.out;
}

TEST(Data, DatabasesPersistInTheDataFolder) {
  peer::temp_dir dir;
  {
    test_server srv({"--data", dir.path()});
    run_result r = peer::tsql(srv.port(),
                              "create database [keep]\ngo\nuse [keep]\ngo\n"
                              "create table t (i int not null, s nvarchar(10) null)\ngo\n"
                              "insert into t values (7, N'sieben')\ngo\nexit\n");
    EXPECT_EQ(r.err.find("Msg "), std::string::npos) << r.err;
    EXPECT_EQ(srv.stop(), 0);
  }
  test_server srv({"--data", dir.path()});
  run_result r =
      peer::tsql(srv.port(), "select i, s from t\ngo\nexit\n", "Passw0rd!", "sa", "keep");
  EXPECT_NE(r.out.find("7\tsieben"), std::string::npos) << r.out << r.err;
}

TEST(Version, VersionStringAndLoginAckAgree) {
  const std::string v2000 =
      "Microsoft SQL Server  2000 - 8.00.2039 (Intel X86) \n\tMay  3 2005 23:18:38 \n\t"
      "Copyright (c) 1988-2003 Microsoft Corporation\n\tEnterprise Edition on Windows NT 5.2 "
      "(Build 3790: Service Pack 1)\n";
  test_server srv({"--version-string", v2000});
  run_result r = peer::python(R"py(
import sys, pytds
conn = pytds.connect(server='127.0.0.1', port=int(sys.argv[1]), user='sa',
                     password='Passw0rd!', login_timeout=10)
cur = conn.cursor()
cur.execute('select @@VERSION')
print(repr(cur.fetchone()[0]))
print('prog', hex(conn.product_version))
)py",
                              srv.port());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Microsoft SQL Server  2000 - 8.00.2039 (Intel X86) \\n\\tMay"),
            std::string::npos)
      << r.out;
  // LOGINACK ProgVersion: 8.0, build 2039.
  EXPECT_NE(r.out.find("prog 0x80007f7"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace mssim
