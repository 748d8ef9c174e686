#include "mss_rel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mss_msgs.h"
#include "mss_report.h"
#include "mss_vers.h"
#include "odb_diag.h"
#include "odb_exce.h"
#include "tk_string.h"

namespace {

std::string u8(const std::u16string& s) { return tk_wide_to_utf8(s); }

odb_diag_record rec(const char* state, int32_t native, const char16_t* message) {
  odb_diag_record r;
  r.sqlstate = state;
  r.native_error = native;
  r.message = message;
  r.source = u"[FreeTDS][SQL Server]";
  return r;
}

// What the server answers for a key whose cascades would make a cycle, and for orphaned rows.
odb_exception cascade_refusal() {
  odb_diag_records r = {
      rec("42000", 1785,
          u"Introducing FOREIGN KEY constraint 'fk' on table 'store' may cause cycles or multiple "
          u"cascade paths. Specify ON DELETE NO ACTION or ON UPDATE NO ACTION, or modify other "
          u"FOREIGN KEY constraints."),
      rec("42000", 1750, u"Could not create constraint or index. See previous errors.")};
  return odb_exception(odb_hresult_of(r), r);
}
odb_exception orphans() {
  odb_diag_records r = {rec("23000", 547,
                            u"The ALTER TABLE statement conflicted with the FOREIGN KEY "
                            u"constraint \"fk\".")};
  return odb_exception(odb_hresult_of(r), r);
}
odb_exception missing_table() {
  odb_diag_records r = {rec("42S02", 208, u"Invalid object name 'nowhere'.")};
  return odb_exception(odb_hresult_of(r), r);
}

udb_relationship key(const char16_t* name, const char16_t* table, const char16_t* ref_table,
                     udb_names fields, udb_names ref_fields, const char16_t* rules = u"") {
  udb_relationship k;
  k.name = name;
  k.table = table;
  k.ref_table = ref_table;
  k.fields = std::move(fields);
  k.ref_fields = std::move(ref_fields);
  k.rules = rules;
  return k;
}

struct report {
  std::string context, message;
  int32_t code;
};

// Installs a reporter that records what it is given, for the life of the fixture.
class reports : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = mss_set_reporter([this](const std::u16string& context, const tk_exception& e) {
      seen_.push_back({u8(context), e.message(), e.code()});
    });
  }
  void TearDown() override { mss_set_reporter(previous_); }

  std::vector<report> seen_;
  mss_reporter previous_;
};

TEST(mss_fk, allowed_actions_are_whole_single_clauses_case_ignored) {
  for (const char16_t* ok : {u"ON DELETE NO ACTION", u"on delete cascade", u"ON DELETE SET DEFAULT",
                             u"ON DELETE SET NULL", u"ON UPDATE NO ACTION", u"  On Update Cascade ",
                             u"ON UPDATE SET DEFAULT", u"ON UPDATE SET NULL"})
    EXPECT_TRUE(mss_is_valid_fk_props(ok)) << u8(ok);
  for (const char16_t* bad : {u"", u"CASCADE", u"ON DELETE RESTRICT",
                              u"ON DELETE CASCADE ON "
                              u"UPDATE CASCADE",
                              u"ON DELETE CASCADE;", u"ON INSERT CASCADE"})
    EXPECT_FALSE(mss_is_valid_fk_props(bad)) << u8(bad);
}

TEST(mss_fk, actions_are_split_mapped_and_kept_by_server_version) {
  struct {
    const char16_t* rules;
    int version;
    const char* actions;
  } cases[] = {
      // The usual MySQL form, all of Sakila's keys: both clauses, RESTRICT read as NO ACTION.
      {u"ON DELETE RESTRICT ON UPDATE CASCADE", mss_version_2000,
       "ON DELETE NO ACTION ON UPDATE CASCADE"},
      {u"ON DELETE RESTRICT ON UPDATE CASCADE", mss_version_2005,
       "ON DELETE NO ACTION ON UPDATE CASCADE"},
      {u"ON DELETE RESTRICT ON UPDATE CASCADE", mss_version_2012_or_later,
       "ON DELETE NO ACTION ON UPDATE CASCADE"},
      {u"on delete cascade", mss_version_2008, "ON DELETE CASCADE"},
      {u"ON UPDATE RESTRICT", mss_version_2000, "ON UPDATE NO ACTION"},
      // No actions before 2000.
      {u"ON DELETE CASCADE", mss_version_7, ""},
      {u"ON DELETE CASCADE", mss_version_other, ""},
      // SET NULL and SET DEFAULT from 2005 on; on 2000 the other clause stays.
      {u"ON DELETE SET NULL ON UPDATE CASCADE", mss_version_2000, "ON UPDATE CASCADE"},
      {u"ON DELETE SET NULL ON UPDATE CASCADE", mss_version_2005,
       "ON DELETE SET NULL ON UPDATE CASCADE"},
      {u"ON UPDATE SET DEFAULT", mss_version_2000, ""},
      {u"ON UPDATE SET DEFAULT", mss_version_2008, "ON UPDATE SET DEFAULT"},
      // Blanks of any kind and number; an unknown clause is left out, the other kept.
      {u"  ON  DELETE\tNO   ACTION ", mss_version_2005, "ON DELETE NO ACTION"},
      {u"ON DELETE FROB ON UPDATE CASCADE", mss_version_2005, "ON UPDATE CASCADE"},
      {u"CASCADE", mss_version_2005, ""},
      {u"", mss_version_2005, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(u8(mss_fk_actions(c.rules, c.version)), c.actions)
        << u8(c.rules) << " / version " << c.version;
}

TEST(mss_fk, statement_takes_names_through_the_map) {
  udb_names_map names;
  names.add_tn_mapping(u"1child", u"_1child");
  t_names_map fields;
  fields.add(u"2nd", u"_2nd");
  names.add_fn_map(u"_1child", fields);

  EXPECT_EQ(u8(mss_fk_statement(key(u"fk_c", u"1child", u"parent", {u"a", u"2nd"}, {u"x", u"y"}),
                                names, u"ON UPDATE CASCADE")),
            "ALTER TABLE [_1child] ADD CONSTRAINT [fk_c] FOREIGN KEY ([a], [_2nd]) REFERENCES "
            "[parent]([x], [y]) ON UPDATE CASCADE");
  // A "]" is doubled inside brackets; a key without a name is named by the server.
  EXPECT_EQ(u8(mss_fk_statement(key(u"fk]x", u"c", u"p", {u"a]"}, {u"b"}), names, u"")),
            "ALTER TABLE [c] ADD CONSTRAINT [fk]]x] FOREIGN KEY ([a]]]) REFERENCES [p]([b])");
  EXPECT_EQ(u8(mss_fk_statement(key(u"", u"c", u"p", {u"a"}, {u"b"}), names, u"")),
            "ALTER TABLE [c] ADD FOREIGN KEY ([a]) REFERENCES [p]([b])");
}

TEST_F(reports, each_key_on_its_own_with_refused_actions_retried_and_orphans_named) {
  udb_relationships keys = {
      key(u"fk_ok", u"a", u"b", {u"b_id"}, {u"id"}, u"ON DELETE RESTRICT ON UPDATE CASCADE"),
      key(u"fk_cycle", u"store", u"staff", {u"manager"}, {u"id"},
          u"ON DELETE RESTRICT ON UPDATE CASCADE"),
      key(u"fk_orphans", u"c", u"b", {u"b_id"}, {u"id"}),
      key(u"fk_missing", u"nowhere", u"b", {u"b_id"}, {u"id"}),
      key(u"fk_last", u"d", u"b", {u"b_id"}, {u"id"}, u"ON DELETE CASCADE"),
  };
  std::vector<std::string> sent;
  mss_create_keys(keys, udb_names_map(), mss_version_2005, [&](const std::u16string& statement) {
    sent.push_back(u8(statement));
    if (statement.find(u"[store]") != std::u16string::npos &&
        statement.find(u"CASCADE") != std::u16string::npos)
      throw cascade_refusal();
    if (statement.find(u"[c]") != std::u16string::npos) throw orphans();
    if (statement.find(u"[nowhere]") != std::u16string::npos) throw missing_table();
  });

  const std::vector<std::string> expected = {
      "ALTER TABLE [a] ADD CONSTRAINT [fk_ok] FOREIGN KEY ([b_id]) REFERENCES [b]([id]) ON DELETE "
      "NO ACTION ON UPDATE CASCADE",
      "ALTER TABLE [store] ADD CONSTRAINT [fk_cycle] FOREIGN KEY ([manager]) REFERENCES "
      "[staff]([id]) ON DELETE NO ACTION ON UPDATE CASCADE",
      "ALTER TABLE [store] ADD CONSTRAINT [fk_cycle] FOREIGN KEY ([manager]) REFERENCES "
      "[staff]([id])",
      "ALTER TABLE [c] ADD CONSTRAINT [fk_orphans] FOREIGN KEY ([b_id]) REFERENCES [b]([id])",
      "ALTER TABLE [nowhere] ADD CONSTRAINT [fk_missing] FOREIGN KEY ([b_id]) REFERENCES [b]([id])",
      "ALTER TABLE [d] ADD CONSTRAINT [fk_last] FOREIGN KEY ([b_id]) REFERENCES [b]([id]) ON "
      "DELETE CASCADE",
  };
  EXPECT_EQ(sent, expected);

  ASSERT_EQ(seen_.size(), 3u);
  EXPECT_EQ(seen_[0].context, "Foreign key 'fk_cycle'");
  EXPECT_EQ(seen_[0].message,
            mss_fk_without_actions_text(u"ON DELETE NO ACTION ON UPDATE CASCADE"));
  EXPECT_NE(seen_[0].message.find("(ON DELETE NO ACTION ON UPDATE CASCADE)"), std::string::npos);
  EXPECT_EQ(seen_[1].context, "Foreign key 'fk_orphans'");
  EXPECT_EQ(seen_[1].message, mss_msg_orphaned_records);
  EXPECT_EQ(seen_[2].context, "Foreign key 'fk_missing'");
  EXPECT_EQ(seen_[2].message, "Invalid object name 'nowhere'.");
  EXPECT_EQ(seen_[2].code, 0x80E37);
}

TEST_F(reports, a_retried_key_over_orphans_gets_the_orphans_message_only) {
  udb_relationships keys = {key(u"fk", u"a", u"b", {u"x"}, {u"y"}, u"ON UPDATE CASCADE")};
  int calls = 0;
  mss_create_keys(keys, udb_names_map(), mss_version_2008, [&](const std::u16string& statement) {
    ++calls;
    if (statement.find(u"CASCADE") != std::u16string::npos) throw cascade_refusal();
    throw orphans();
  });
  EXPECT_EQ(calls, 2);
  ASSERT_EQ(seen_.size(), 1u);
  EXPECT_EQ(seen_[0].message, mss_msg_orphaned_records);
}

TEST_F(reports, a_cascade_refusal_without_actions_to_drop_is_reported_as_it_is) {
  // Nothing left to drop: the refusal is the key's failure (not retried).
  udb_relationships keys = {key(u"fk", u"a", u"b", {u"x"}, {u"y"}, u"ON DELETE SET NULL")};
  int calls = 0;
  mss_create_keys(keys, udb_names_map(), mss_version_2000, [&](const std::u16string&) {
    ++calls;
    throw cascade_refusal();
  });
  EXPECT_EQ(calls, 1);
  ASSERT_EQ(seen_.size(), 1u);
  EXPECT_NE(seen_[0].message.find("may cause cycles"), std::string::npos);
}

TEST(mss_fk, a_reporter_that_stops_the_run_stops_the_loop) {
  struct stop {};
  mss_reporter previous =
      mss_set_reporter([](const std::u16string&, const tk_exception&) { throw stop(); });
  udb_relationships keys = {key(u"k1", u"a", u"b", {u"x"}, {u"y"}),
                            key(u"k2", u"a", u"b", {u"x"}, {u"y"})};
  int calls = 0;
  EXPECT_THROW(mss_create_keys(keys, udb_names_map(), mss_version_2005,
                               [&](const std::u16string&) {
                                 ++calls;
                                 throw orphans();
                               }),
               stop);
  EXPECT_EQ(calls, 1);
  mss_set_reporter(previous);
}

}  // namespace
