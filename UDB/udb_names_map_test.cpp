#include "udb_names_map.h"

#include <gtest/gtest.h>

#include "tk_string.h"

TEST(t_names_map, first_pair_wins_and_lookup_is_exact_or_case_ignored) {
  t_names_map map;
  map.add(u"Orders", u"orders_1");
  map.add(u"Orders", u"orders_2");
  EXPECT_EQ(map.size(), 1u);
  EXPECT_EQ(map.get_mapped_name(u"Orders", true), u"orders_1");
  EXPECT_EQ(map.get_mapped_name(u"ORDERS", true), u"ORDERS");
  EXPECT_EQ(map.get_mapped_name(u"ORDERS", false), u"orders_1");
  EXPECT_EQ(map.get_mapped_name(u"other", false), u"other");
}

TEST(udb_names_map, field_names_come_from_the_table_s_own_map) {
  udb_names_map names;
  t_names_map fields;
  fields.add(u"1st", u"_1st");
  names.add_fn_map(u"orders", fields);
  EXPECT_EQ(names.get_fn_mapped_name(u"orders", u"1st", true), u"_1st");
  EXPECT_EQ(names.get_fn_mapped_name(u"orders", u"other", true), u"other");
  EXPECT_EQ(names.get_fn_mapped_name(u"ORDERS", u"1st", true), u"1st");  // table by exact name
  EXPECT_EQ(names.get_fn_mapped_name(u"customers", u"1st", false), u"1st");

  names.add_tn_mapping(u"1orders", u"_1orders");
  EXPECT_EQ(names.get_tn_mapped_name(u"1ORDERS", false), u"_1orders");
  EXPECT_EQ(names.get_tn_mapped_name(u"1ORDERS", true), u"1ORDERS");
}

TEST(udb_names_map, replaces_whole_words_only) {
  t_names_map map;
  map.add(u"orders", u"orders");
  const struct {
    const char16_t* text;
    const char16_t* expected;
  } cases[] = {
      {u"select * from orders", u"select * from [orders]"},
      {u"ORDERS.id", u"[orders].id"},
      {u"order_orders2", u"order_orders2"},  // digit after
      {u"myorders", u"myorders"},            // letter before
      {u"x_orders", u"x_[orders]"},          // underscore delimits
      {u"$orders$", u"$[orders]$"},
      {u"\u00e9orders", u"\u00e9orders"},          // a letter outside ASCII
      {u"\U0001D400orders", u"\U0001D400orders"},  // a letter outside the BMP
      {u"orders,orders", u"[orders],[orders]"},
      {u"order", u"order"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(udb_names_map::do_global_replace2(c.text, map, u"[", u"]"), c.expected)
        << tk_wide_to_utf8(c.text);
}

TEST(udb_names_map, a_mapped_name_containing_its_source_is_not_replaced_again) {
  t_names_map map;
  map.add(u"orders", u"x_orders_x");
  EXPECT_EQ(udb_names_map::do_global_replace2(u"orders join orders", map, u"", u""),
            u"x_orders_x join x_orders_x");
  EXPECT_EQ(udb_names_map::do_global_replace2(u"orders", map, u"[", u"]"), u"[x_orders_x]");
}

TEST(udb_names_map, global_replace_does_tables_then_each_table_s_fields) {
  udb_names_map names;
  names.add_tn_mapping(u"1t", u"_1t");
  t_names_map a_fields, b_fields;
  a_fields.add(u"1c", u"_1c");
  b_fields.add(u"_1c", u"second");  // sees the result of the first table's map
  names.add_fn_map(u"a", a_fields);
  names.add_fn_map(u"b", b_fields);
  EXPECT_EQ(names.do_global_replace1(u"select 1t.1c from 1t", u"", u""),
            u"select _1t.second from _1t");
  EXPECT_EQ(names.do_global_replace1(u"select `1c` from 1t", u"[", u"]"),
            u"select `[[second]]` from [_1t]");
}

TEST(udb_names_map, an_empty_source_name_changes_nothing) {
  t_names_map map;
  map.add(u"", u"x");
  EXPECT_EQ(udb_names_map::do_global_replace2(u"a b", map, u"[", u"]"), u"a b");
}
