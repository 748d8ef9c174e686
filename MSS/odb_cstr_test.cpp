#include "odb_cstr.h"

#include <gtest/gtest.h>

#include "odb_exce.h"

namespace {

odb_connect_spec login(std::u16string server, std::u16string catalog = u"",
                       std::u16string user = u"sa", std::u16string password = u"pw") {
  odb_connect_spec s;
  s.server = std::move(server);
  s.catalog = std::move(catalog);
  s.user = std::move(user);
  s.password = std::move(password);
  return s;
}

}  // namespace

TEST(odb_connection_string, server_forms) {
  struct row {
    std::u16string server, expected;
  } rows[] = {
      {u"db1", u"Driver={FreeTDS};Server={db1};Port=1433;UID={sa};PWD={pw};TDS_Version=7.4;"},
      {u"db1,14330",
       u"Driver={FreeTDS};Server={db1};Port=14330;UID={sa};PWD={pw};TDS_Version=7.4;"},
      {u" 10.0.0.5 , 2000 ",
       u"Driver={FreeTDS};Server={10.0.0.5};Port=2000;UID={sa};PWD={pw};TDS_Version=7.4;"},
      {u"db1\\SQLEXPRESS",
       u"Driver={FreeTDS};Server={db1\\SQLEXPRESS};UID={sa};PWD={pw};TDS_Version=7.4;"},
      {u"tcp:db1,1500",
       u"Driver={FreeTDS};Server={db1};Port=1500;UID={sa};PWD={pw};TDS_Version=7.4;"},
      {u"(local)",
       u"Driver={FreeTDS};Server={127.0.0.1};Port=1433;UID={sa};PWD={pw};TDS_Version=7.4;"},
      {u".,1444",
       u"Driver={FreeTDS};Server={127.0.0.1};Port=1444;UID={sa};PWD={pw};TDS_Version=7.4;"},
  };
  for (const row& r : rows) EXPECT_EQ(odb_odbc_connection_string(login(r.server)), r.expected);
}

TEST(odb_connection_string, catalog_and_credentials_are_braced_so_they_cannot_add_keys) {
  std::u16string text =
      odb_odbc_connection_string(login(u"h,1", u"my db]x", u"u;x", u"p;}{;UID=evil"));
  EXPECT_EQ(text,
            u"Driver={FreeTDS};Server={h};Port=1;Database={my db]x};UID={u;x};"
            u"PWD={p;}}{;UID=evil};TDS_Version=7.4;");
  EXPECT_EQ(odb_brace(u"}}"), u"{}}}}}");
  EXPECT_EQ(odb_brace(u""), u"{}");
}

TEST(odb_connection_string, integrated_login_sends_no_credentials) {
  odb_connect_spec s = login(u"h", u"db", u"ignored", u"ignored");
  s.integrated = true;
  EXPECT_EQ(odb_odbc_connection_string(s),
            u"Driver={FreeTDS};Server={h};Port=1433;Database={db};Trusted_Connection=Yes;"
            u"TDS_Version=7.4;");
}

TEST(odb_connection_string, bad_server_names_fail_like_an_unreachable_server) {
  for (std::u16string server : {u"h,", u"h,abc", u"h,0", u"h,65536", u"h,123456", u"h\\"}) {
    try {
      odb_odbc_connection_string(login(server));
      ADD_FAILURE() << "accepted a bad server name";
    } catch (const odb_exception& e) {
      EXPECT_EQ(e.code(), 0x84005);
      EXPECT_NE(std::string(e.what()).find("Invalid server name"), std::string::npos);
    }
  }
}
