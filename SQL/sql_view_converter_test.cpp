// View definitions as MySQL stores them, cleaned for the destination.
#include "sql_view_converter.h"

#include <gtest/gtest.h>

#include "tk_string.h"

namespace {

struct view_case {
  const char* what;
  const char16_t* in;
  const char16_t* out;
};

class view_conversion : public testing::TestWithParam<view_case> {};

TEST_P(view_conversion, converts) {
  const view_case& c = GetParam();
  EXPECT_EQ(tk_wide_to_utf8(sql_view_converter(c.in).convert_to_ansi()), tk_wide_to_utf8(c.out))
      << c.what;
}

const view_case view_cases[] = {
    {"join and where: the join becomes a cross join",
     u"select `a`.`id` AS `id` from (`a` join `b`) where (`a`.`id` = `b`.`id`)",
     u"select `a`.`id` AS `id` from (`a` cross join `b`) where (`a`.`id` = `b`.`id`)"},
    {"join without where stays", u"select * from `a` join `b` on `a`.`id` = `b`.`id`",
     u"select * from `a` join `b` on `a`.`id` = `b`.`id`"},
    {"where without join stays", u"select * from `a` where `a`.`id` > 1",
     u"select * from `a` where `a`.`id` > 1"},
    {"only where and join inside backquoted names: unchanged", u"select `join` AS `where` from `t`",
     u"select `join` AS `where` from `t`"},
    {"only where and join inside double-quoted names: unchanged", u"select \"join\" from \"where\"",
     u"select \"join\" from \"where\""},
    {"every join is rewritten, left join and the letters inside a word too",
     u"select * from a LEFT JOIN b on a.x = b.x join c where rejoin = 1",
     u"select * from a LEFT cross join b on a.x = b.x cross join c where recross join = 1"},
    {"a closing ORDER BY is removed, any case", u"select `id` from `t` ORDER BY `id`",
     u"select `id` from `t`"},
    {"a closing order by is removed", u"select `id` from `t` where `id` > 2 order by `id` desc",
     u"select `id` from `t` where `id` > 2"},
    {"an ORDER BY inside an aggregate or a subquery is part of the view and stays",
     u"select group_concat(`f`.`title` order by `f`.`title` ASC separator ', ') AS `x` from `f`",
     u"select group_concat(`f`.`title` order by `f`.`title` ASC separator ', ') AS `x` from `f`"},
    {"quoted names and string literals are never rewritten",
     u"select `join x` AS `a`, 'join' AS `b` from (`t` join `u`) where `t`.`v` = 'join'",
     u"select `join x` AS `a`, 'join' AS `b` from (`t` cross join `u`) where `t`.`v` = 'join'"},
    {"a literal where decides as plain text does (literals stay in the skeleton)",
     u"select 'where' AS `w` from (`t` join `u`)",
     u"select 'where' AS `w` from (`t` cross join `u`)"},
};
INSTANTIATE_TEST_SUITE_P(cases, view_conversion, testing::ValuesIn(view_cases));

TEST(sql_view_converter, skeleton_drops_quoted_names_and_keeps_literals) {
  sql_view_converter v(u"select `a``b` AS \"x\", 'it''s `q`' from `t`");
  EXPECT_EQ(tk_wide_to_utf8(v.skeleton()), "select  AS , 'it''s `q`' from ");
}

TEST(sql_view_converter, qualifiers_and_the_leading_comment_are_removed) {
  EXPECT_EQ(tk_wide_to_utf8(sql_view_converter::strip_qualifiers(
                u"/* ALGORITHM=UNDEFINED */ select `Shop`.`t`.`id` from `shop`.`t`", u"`shop`.")),
            " select `t`.`id` from `t`");
  // The qualifier of a name with a backquote is written with the backquote doubled.
  EXPECT_EQ(tk_wide_to_utf8(
                sql_view_converter::strip_qualifiers(u"select * from `a``b`.`t`", u"`a``b`.")),
            "select * from `t`");
  // Another database's qualifier stays.
  EXPECT_EQ(tk_wide_to_utf8(
                sql_view_converter::strip_qualifiers(u"select * from `other`.`t`", u"`shop`.")),
            "select * from `other`.`t`");
}

}  // namespace
