// Connection strings. The system builds and traces the OLE DB text of the SQL Server provider
// ("Provider=sqloledb;Data Source=...;..."); what actually reaches the server is an ODBC string
// for the FreeTDS driver made from the same pieces. The pieces travel apart from the OLE DB text,
// so that a password holding ";", "{" or "}" can neither break the translation nor add keys.
#pragma once

#include <string>

// How long a connection attempt may take before it fails with a timeout, in seconds (the SQL
// Server provider's default). Without a limit a server that accepts and never answers would hold
// the caller for good.
inline constexpr int odb_login_timeout_seconds = 15;

struct odb_connect_spec {
  std::u16string oledb_text;  // the provider's connection string, as built and traced
  std::u16string server;      // "host", "host,port" or "host\instance"
  std::u16string catalog;     // empty: the login's default database
  std::u16string user;
  std::u16string password;
  bool integrated = false;  // Windows authentication: the driver's integrated (Kerberos) login
};

// The ODBC connection string for `spec`:
//   Driver={FreeTDS};Server={host};Port=1433;Database={db};UID={user};PWD={password};
//   TDS_Version=7.4;
// with Trusted_Connection=Yes in place of UID and PWD for an integrated login, no Port for a
// named instance (the driver asks the server's browser for it), and no Database without a
// catalog. Values are braced with "}" doubled. "(local)", "." and an empty name mean this machine;
// a "tcp:" prefix is dropped. A port that is not a number from 1 to 65535 raises odb_exception
// with E_FAIL, the code of a server that cannot be reached.
std::u16string odb_odbc_connection_string(const odb_connect_spec& spec);

// "{" + value + "}" with every "}" doubled: the ODBC form of a value that may hold any character.
std::u16string odb_brace(const std::u16string& value);
