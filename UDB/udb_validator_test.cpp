#include "udb_validator.h"

#include <gtest/gtest.h>

#include "udb_test_support.h"

TEST(udb_validator, without_rules_every_name_is_kept) {
  udb_validator v(0);
  for (const char16_t* name : {u"orders", u"1 odd name!", u""}) {
    EXPECT_TRUE(v.is_acceptable(name));
    EXPECT_FALSE(v.is_duplicated(name));
    EXPECT_EQ(v.get_safe_name(name), name);
  }
}

TEST(udb_validator, is_acceptable_checks_length_restricted_names_and_characters) {
  udb_validator v(8);
  v.add_restricted_name(u"select");
  v.add_illegal_char(u'.');
  EXPECT_TRUE(v.is_acceptable(u"12345678"));
  EXPECT_FALSE(v.is_acceptable(u"123456789"));
  EXPECT_FALSE(v.is_acceptable(u"SELECT"));
  EXPECT_TRUE(v.is_acceptable(u"selects"));
  EXPECT_FALSE(v.is_acceptable(u"a.b"));
}

TEST(udb_validator, duplicates_ignore_case) {
  udb_validator v(0);
  v.add_name_in_use(u"Orders");
  v.add_name_in_use(u"\u00c4rger");
  EXPECT_TRUE(v.is_duplicated(u"ORDERS"));
  EXPECT_TRUE(v.is_duplicated(u"\u00e4RGER"));
  EXPECT_FALSE(v.is_duplicated(u"Orders2"));
  EXPECT_EQ(v.get_safe_name(u"orders"), u"orders00000");
}

TEST(udb_validator, safe_name_cuts_to_the_maximum_and_keeps_the_counter_within_it) {
  udb_validator v(64);
  const std::u16string name(70, u'n');
  const std::u16string cut63(63, u'n');
  EXPECT_EQ(v.get_safe_name(name), cut63);

  v.add_name_in_use(cut63);
  const std::u16string counted = std::u16string(58, u'n') + u"00000";
  EXPECT_EQ(v.get_safe_name(name), counted);
  EXPECT_EQ(counted.size(), 63u);

  v.add_name_in_use(counted);
  EXPECT_EQ(v.get_safe_name(name), std::u16string(58, u'n') + u"00001");
}

TEST(udb_validator, safe_name_replaces_illegal_characters_and_counts_past_restricted_names) {
  udb_validator v(0);
  v.add_illegal_char(u' ');
  v.add_illegal_char(u'-');
  v.add_restricted_name(u"order");
  EXPECT_EQ(v.get_safe_name(u"my table-2"), u"my_table_2");
  EXPECT_EQ(v.get_safe_name(u"ORDER"), u"ORDER00000");
}

TEST(udb_validator, a_cut_never_splits_a_surrogate_pair) {
  udb_validator v(4);
  // Three units of the name's first four would split the pair at units 3 and 4.
  const std::u16string name = u"ab\U0001F600cd";
  EXPECT_EQ(v.get_safe_name(name), u"ab");
}

TEST(udb_validator, gives_up_after_all_counters_are_taken) {
  struct everything_taken : udb_validator {
    everything_taken() : udb_validator(0) {}
    bool is_duplicated(const std::u16string&) override { return true; }
  } v;
  EXPECT_EQ(assertion_source_of([&] { v.get_safe_name(u"x"); }), "udb_vali");
}
