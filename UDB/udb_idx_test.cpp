#include "udb_idx.h"

#include <gtest/gtest.h>

#include "udb_rel.h"
#include "udb_test_support.h"

namespace {

udb_indexes sample_indexes() {
  udb_indexes list;
  list.push_back({u"PRIMARY", true, true, {u"id"}});
  list.push_back({u"uq_code", true, false, {u"Code"}});
  list.push_back({u"ix_ab", false, false, {u"a", u"b"}});
  return list;
}

}  // namespace

TEST(udb_index, starts_with_fields_compares_a_prefix_case_ignored) {
  const udb_index ab{u"ix", false, false, {u"a", u"b"}};
  const struct {
    udb_names fields;
    bool expected;
  } cases[] = {
      {{u"a"}, true},  {{u"A", u"B"}, true},        {{}, true},
      {{u"b"}, false}, {{u"a", u"b", u"c"}, false}, {{u"a", u"c"}, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ab.starts_with_fields(c.fields), c.expected) << c.fields.size();
}

TEST(udb_indexes, lookups_by_name_ignore_case) {
  const udb_indexes list = sample_indexes();
  EXPECT_FALSE(list.is_acceptable_name(u"UQ_CODE"));
  EXPECT_TRUE(list.is_acceptable_name(u"uq_code2"));
  EXPECT_EQ(list.get_index(u"Ix_AB").fields, (udb_names{u"a", u"b"}));
  EXPECT_EQ(assertion_source_of([&] { list.get_index(u"missing"); }), "..\\UDB/udb_idx");
  EXPECT_TRUE(list.has_index_on_fields({u"A"}));
  EXPECT_FALSE(list.has_index_on_fields({u"b"}));
}

TEST(udb_indexes, is_idx_field_is_exact_and_can_look_at_the_primary_key_only) {
  const udb_indexes list = sample_indexes();
  EXPECT_TRUE(list.is_idx_field(u"Code", false));
  EXPECT_FALSE(list.is_idx_field(u"Code", true));
  EXPECT_TRUE(list.is_idx_field(u"id", true));
  EXPECT_FALSE(list.is_idx_field(u"code", false));
  EXPECT_FALSE(list.is_idx_field(u"ID", true));
  EXPECT_FALSE(udb_indexes().is_idx_field(u"id", false));
}

TEST(udb_relationships, lookups_by_name_ignore_case) {
  udb_relationships keys;
  keys.push_back({u"fk_order_customer",
                  u"",
                  u"orders",
                  u"customers",
                  u"ON DELETE CASCADE",
                  {u"customer_id"},
                  {u"id"}});
  EXPECT_FALSE(keys.is_acceptable_name(u"FK_ORDER_CUSTOMER"));
  EXPECT_TRUE(keys.is_acceptable_name(u"fk_other"));
  EXPECT_EQ(keys.get_index(u"Fk_Order_Customer").ref_table, u"customers");
  EXPECT_EQ(assertion_source_of([&] { keys.get_index(u"fk_other"); }), "udb_rel");
}
