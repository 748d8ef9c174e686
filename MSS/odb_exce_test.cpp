#include "odb_exce.h"

#include <gtest/gtest.h>

#include <set>

#include "mss_msgs.h"
#include "tk_errco.h"

namespace {

odb_diag_record rec(const char* state, int32_t native, std::u16string message = u"",
                    std::u16string source = u"") {
  odb_diag_record r;
  r.sqlstate = state;
  r.native_error = native;
  r.message = std::move(message);
  r.source = std::move(source);
  return r;
}

}  // namespace

TEST(odb_exception, code_is_the_low_word_of_the_hresult_with_0x80000) {
  EXPECT_EQ(odb_exception(static_cast<int32_t>(0x80040E37)).code(), 0x80E37);
  EXPECT_EQ(odb_exception(static_cast<int32_t>(0x80040E2F)).code(), 0x80E2F);
  EXPECT_EQ(odb_exception(odb_hr::e_fail).code(), 0x84005);
}

TEST(odb_exception, without_records_keeps_the_default_message) {
  odb_exception e(odb_hr::e_fail);
  EXPECT_STREQ(e.what(), "Unknown exception");
  EXPECT_TRUE(e.source().empty());
  EXPECT_EQ(e.level(), 0);
}

TEST(odb_exception, first_record_with_a_description_wins) {
  odb_diag_records records = {
      rec("01000", 0, u"", u"[first]"),
      rec("23000", 2627, u"Violation of PRIMARY KEY constraint 'PK_t'.", u"[FreeTDS][SQL Server]"),
      rec("01000", 3621, u"The statement has been terminated.", u"[third]"),
  };
  odb_exception e(odb_hresult_of(records), records);
  EXPECT_STREQ(e.what(), "Violation of PRIMARY KEY constraint 'PK_t'.");
  EXPECT_EQ(e.source(), u"[FreeTDS][SQL Server]");
  EXPECT_EQ(e.code(), 0x80E2F);
}

TEST(odb_exception, records_without_any_description_give_the_default_message) {
  odb_diag_records records = {rec("08001", 0), rec("01000", 20002)};
  odb_exception e(odb_hresult_of(records), records);
  EXPECT_STREQ(e.what(), "Unknown exception");
  EXPECT_EQ(e.code(), 0x84005);
}

// The codes the callers rely on, from the records FreeTDS gives for each situation.
TEST(odb_hresult, mapping_from_diagnostic_records) {
  struct row {
    const char* what;
    odb_diag_records records;
    uint32_t hresult;
  } rows[] = {
      {"duplicate key", {rec("23000", 2627), rec("01000", 3621)}, 0x80040E2F},
      {"duplicate key row", {rec("23000", 2601)}, 0x80040E2F},
      {"foreign key conflict", {rec("23000", 547)}, 0x80040E2F},
      {"other constraint (SQLSTATE class 23)", {rec("23000", 3604)}, 0x80040E2F},
      {"NULL into NOT NULL is not a key violation", {rec("23000", 515)}, 0x80040E14},
      {"explicit identity is not a key violation", {rec("23000", 544)}, 0x80040E14},
      {"missing table", {rec("42S02", 208)}, 0x80040E37},
      {"missing table, ODBC 2 state", {rec("S0002", 208)}, 0x80040E37},
      {"existing table", {rec("42S01", 2714)}, 0x80040E3F},
      {"login failed, then the connect record", {rec("28000", 18456), rec("08001", 0)}, 0x80040E4D},
      {"unknown database of the login", {rec("42000", 4060), rec("08001", 0)}, 0x80004005},
      {"nothing listening", {rec("08S01", 20009), rec("08001", 0)}, 0x80004005},
      {"closed at once", {rec("08001", 0), rec("01000", 20002)}, 0x80004005},
      {"login timeout", {rec("HYT00", 0), rec("08001", 0)}, 0x80004005},
      {"truncation", {rec("22001", 8152)}, 0x80040E57},
      {"overflow under ODBC 3", {rec("HY019", 8115)}, 0x80040E57},
      {"conversion failed", {rec("22018", 245)}, 0x80040E07},
      {"out-of-range date", {rec("22007", 242)}, 0x80040E07},
      {"syntax error", {rec("42000", 102)}, 0x80040E14},
      {"warnings are stepped over", {rec("01000", 5701), rec("42S02", 208)}, 0x80040E37},
      {"driver manager cannot load the driver", {rec("01000", 0)}, 0x80004005},
      {"no records at all", {}, 0x80004005},
  };
  for (const row& r : rows)
    EXPECT_EQ(static_cast<uint32_t>(odb_hresult_of(r.records)), r.hresult) << r.what;
}

TEST(odb_hresult, split_of_component_names) {
  struct row {
    std::u16string text, source, message;
  } rows[] = {
      {u"[FreeTDS][SQL Server]Login failed for user 'sa'.", u"[FreeTDS][SQL Server]",
       u"Login failed for user 'sa'."},
      {u"[unixODBC][Driver Manager]Data source name not found", u"[unixODBC][Driver Manager]",
       u"Data source name not found"},
      {u"[FreeTDS][SQL Server][dbo].[t] is busy", u"[FreeTDS][SQL Server]", u"[dbo].[t] is busy"},
      {u"plain text", u"", u"plain text"},
      {u"[unclosed text", u"", u"[unclosed text"},
  };
  for (const row& r : rows) {
    std::u16string source, message;
    odb_split_message(r.text, source, message);
    EXPECT_EQ(source, r.source);
    EXPECT_EQ(message, r.message);
  }
}

TEST(mss_messages, table_has_27_distinct_codes_in_order) {
  ASSERT_EQ(mss_error_item_count, 27u);
  std::set<uint32_t> codes;
  for (uint32_t i = 0; i < mss_error_item_count; ++i) {
    codes.insert(mss_error_items[i].code);
    EXPECT_EQ(mss_error_items[i].code & 0xFFF00u, 0x80E00u);
    if (i) {
      EXPECT_LT(mss_error_items[i - 1].code, mss_error_items[i].code);
    }
  }
  EXPECT_EQ(codes.size(), 27u);
  EXPECT_EQ(mss_error_items[0].code, 0x80E03u);
  EXPECT_EQ(mss_error_items[26].code, 0x80EDAu);
}

TEST(mss_messages, support_sentence_is_attached_where_each_row_says) {
  tk_error_converter map(mss_error_item_count, mss_error_items);
  const std::string contact = std::string("Contact to ") + TVX_SUPPORT_ADDRESS_FOR_TESTS;
  EXPECT_EQ(map.convert(0x80E4D), "Invalid user name or password.");
  EXPECT_EQ(map.convert(0x80E07), "A literal value could not be converted to the correct type." +
                                      contact + " for the solution.");
  EXPECT_EQ(map.convert(0x80E11), "Invalid column ID. " + contact + " for the solution.");
  EXPECT_EQ(map.convert(0x80E57),
            "A literal value overflowed the range of the type of the associated column.\n" +
                contact + " for the solution.");
  EXPECT_EQ(map.convert(0x80E72), "The index ID is invalid. " + contact + "\nfor the solution.");
  EXPECT_EQ(map.convert(0x80E3F),
            "The specified table already exists. Try to connect as database owner\nusing the "
            "appropriate checkbox on 'Connect to MS SQL server' wizard page.");
  EXPECT_EQ(map.convert(0x84005), "");  // E_FAIL is the caller's host message, not a table row
  EXPECT_EQ(std::string(mss_msg_cant_create_view),
            "Can't create view. " + contact + " for the solution.");
  EXPECT_EQ(std::string(mss_msg_generic_migration_error),
            "Generic error occurred while migrating the data.\n" + contact + " for the solution.");
}
