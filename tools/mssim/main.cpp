// mssim: a SQL Server stand-in for tests and demos. Speaks TDS 7.4 on 127.0.0.1 and executes
// T-SQL on SQLite. The first line on standard output is the port, printed once connections are
// accepted; SIGTERM or SIGINT ends it cleanly.
#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <thread>

#include "engine.h"
#include "server.h"

namespace {

const char usage_text[] =
    "Usage: mssim [options]\n"
    "A SQL Server stand-in: TDS 7.4 on 127.0.0.1, T-SQL executed on SQLite.\n"
    "The first line printed on standard output is the port, once connections are accepted.\n"
    "SIGTERM or SIGINT stops it cleanly.\n"
    "\n"
    "Options:\n"
    "  --port N                 listen on port N; 0 (the default) picks a free port\n"
    "  --data DIR               keep each database as a file in DIR (default: all in memory)\n"
    "  --login NAME:PASSWORD    accept this SQL Server login; repeatable (default: one login\n"
    "                           sa with password Passw0rd!)\n"
    "  --version-string TEXT    the @@VERSION text to pose as (default: a current SQL Server)\n"
    "  --server-name NAME       the server name in messages and @@SERVERNAME (default MSSIM)\n"
    "  --sink                   bulk-loaded rows are decoded, checked and counted, then dropped\n"
    "  --help                   print this text and exit\n"
    "\n"
    "Fault options (for reliability tests; counters are shared by all connections):\n"
    "  --drop-after-rows N      close the connection that would send or receive row N+1\n"
    "                           (result rows sent plus bulk-loaded rows received)\n"
    "  --drop-after-statements N\n"
    "                           close the connection that sends request N+1 (SQL batches and\n"
    "                           RPC calls, counted from the start) without answering it\n"
    "  --delay-ms N             wait N milliseconds before answering each request (an\n"
    "                           attention cuts the wait short)\n"
    "  --refuse-logins          refuse every login with error 18456\n";

[[noreturn]] void usage_error(const std::string& text) {
  std::fprintf(stderr, "mssim: %s\nTry 'mssim --help'.\n", text.c_str());
  std::exit(2);
}

long long parse_number(const std::string& option, const char* text, long long min, long long max) {
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(text, &end, 10);
  if (!*text || *end || errno || v < min || v > max)
    usage_error(option + " needs a number from " + std::to_string(min) + " to " +
                std::to_string(max) + ", not '" + text + "'");
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  mssim::options eng_opts;
  mssim::server_options srv_opts;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto arg = [&]() -> const char* {
      if (i + 1 >= argc) usage_error(a + " needs a value");
      return argv[++i];
    };
    if (a == "--help" || a == "-h") {
      std::fputs(usage_text, stdout);
      return 0;
    } else if (a == "--port") {
      srv_opts.port = static_cast<uint16_t>(parse_number(a, arg(), 0, 65535));
    } else if (a == "--data") {
      eng_opts.data_dir = arg();
      if (eng_opts.data_dir.empty()) usage_error("--data needs a folder");
    } else if (a == "--login") {
      std::string v = arg();
      size_t colon = v.find(':');
      if (colon == std::string::npos || colon == 0)
        usage_error("--login needs NAME:PASSWORD, not '" + v + "'");
      srv_opts.logins.push_back(
          {mssim::from_utf8(v.substr(0, colon)), mssim::from_utf8(v.substr(colon + 1))});
    } else if (a == "--version-string") {
      eng_opts.version_string = mssim::from_utf8(arg());
    } else if (a == "--server-name") {
      eng_opts.server_name = mssim::from_utf8(arg());
      if (eng_opts.server_name.empty()) usage_error("--server-name needs a name");
    } else if (a == "--sink") {
      eng_opts.sink = true;
    } else if (a == "--drop-after-rows") {
      srv_opts.faults.drop_after_rows = parse_number(a, arg(), 1, INT64_MAX);
    } else if (a == "--drop-after-statements") {
      srv_opts.faults.drop_after_statements = parse_number(a, arg(), 1, INT64_MAX);
    } else if (a == "--delay-ms") {
      srv_opts.faults.delay_ms = static_cast<int>(parse_number(a, arg(), 0, 3600000));
    } else if (a == "--refuse-logins") {
      srv_opts.faults.refuse_logins = true;
    } else {
      usage_error("unknown option '" + a + "'");
    }
  }
  if (srv_opts.logins.empty()) srv_opts.logins.push_back({u"sa", u"Passw0rd!"});

  // Signals are taken by one thread with sigwait; every other thread has them blocked, so a
  // stop never interrupts an engine call halfway.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  try {
    mssim::engine eng(eng_opts);
    mssim::server srv(eng, srv_opts);
    uint16_t port = srv.listen();
    std::thread signals([&] {
      int sig = 0;
      sigwait(&stop_signals, &sig);
      srv.stop();
    });
    std::printf("%u\n", static_cast<unsigned>(port));
    std::fflush(stdout);
    srv.run();
    signals.join();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "mssim: %s\n", e.what());
    return 1;
  }
  return 0;
}
