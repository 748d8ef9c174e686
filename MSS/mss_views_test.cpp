#include "mss_views.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mss_msgs.h"
#include "mss_report.h"
#include "odb_diag.h"
#include "odb_exce.h"
#include "tk_string.h"

namespace {

std::string u8(const std::u16string& s) { return tk_wide_to_utf8(s); }

TEST(mss_views, icomparer_matches_case_ignored_and_not_at_the_end) {
  const icomparer now(u"now");
  EXPECT_EQ(now.compare(u"select now()", 7), 0);
  EXPECT_EQ(now.compare(u"select NoW()", 7), 0);
  EXPECT_EQ(now.compare(u"select new()", 7), 1);
  // The keyword ending at the last character, or beyond it, does not count.
  EXPECT_EQ(now.compare(u"select now", 7), -1);
  EXPECT_EQ(now.compare(u"select no", 7), -1);
  EXPECT_EQ(now.compare(u"select now ", 7), 0);
}

TEST(mss_views, rewriting_of_view_texts) {
  struct {
    const char16_t* mysql;
    const char* tsql;
  } cases[] = {
      {u"select now() AS `n`", "select getdate() AS [n]"},
      {u"select NOW() AS `n`", "select getdate() AS [n]"},
      {u"select isnull(`t`.`x`) AS `f` from `t`", "select ([t].[x]) is null AS [f] from [t]"},
      {u"select isnull(concat(`a`,`b`)) AS `x` from `t`",
       "select (concat([a],[b])) is null AS [x] from [t]"},
      {u"select from_unixtime(`t`.`ts`) + 1 AS `d` from `t`",
       "select DateAdd(ss,([t].[ts]),'01-01-1970') + 1 AS [d] from [t]"},
      // Character-set introducers are dropped up to their string.
      {u"select concat(`a`,_utf8mb4' ',`b`) AS `n` from `t`",
       "select concat([a],' ',[b]) AS [n] from [t]"},
      {u"select _utf8'abc' AS `u`, _latin1'x' AS `l`, _cp1251'y' AS `c`",
       "select 'abc' AS [u], 'x' AS [l], 'y' AS [c]"},
      // Nothing inside a string is rewritten, quotes doubled inside it included.
      {u"select 'now() and isnull(x), it''s _utf8' AS `s` from `t`",
       "select 'now() and isnull(x), it''s _utf8' AS [s] from [t]"},
      // Nor inside a quoted name, nor a name that only begins like a keyword.
      {u"select `t`.`nowhere` AS `now_x`, `isnull` from `t`",
       "select [t].[nowhere] AS [now_x], [isnull] from [t]"},
      {u"select nowhere, isnullable from t", "select nowhere, isnullable from t"},
      // A "]" in a name is doubled, a doubled backtick is one backtick.
      {u"select `a]b`, `c``d` from `t`", "select [a]]b], [c`d] from [t]"},
      // A keyword at the very start, or ending at the last character, is not recognised.
      {u"now() x", "now() x"},
      {u"select a, now", "select a, now"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(u8(mss_refine_view(c.mysql, udb_names_map())), c.tsql) << u8(c.mysql);
}

TEST(mss_views, generated_names_replace_the_source_names) {
  udb_names_map names;
  names.add_tn_mapping(u"1t", u"_1t");
  EXPECT_EQ(u8(mss_refine_view(u"select `1t`.`a` AS `a` from `1t` where `a` = '1t'", names)),
            "select [_1t].[a] AS [a] from [_1t] where [a] = '_1t'");
}

TEST(mss_views, select_text_of_a_definition_the_server_keeps) {
  struct {
    const char16_t* definition;
    const char* select;
  } cases[] = {
      {u"CREATE VIEW [v] AS\r\n  SELECT   a,\tb\n FROM dbo.t  ", "SELECT a, b FROM t"},
      {u"create view v as select x AS y from [dbo].[t]", "select x AS y from [t]"},
      // The first " as " whatever its case: the view's own, not an alias after it.
      {u"CREATE VIEW v AS select x as y from t", "select x as y from t"},
      // Not inside a bracketed name, and blanks inside strings stay.
      {u"CREATE VIEW [my as view] AS SELECT 'a  as  b' AS c", "SELECT 'a  as  b' AS c"},
      {u"CREATE VIEW v AS SELECT TOP 100 PERCENT a FROM t ORDER BY a",
       "SELECT  a FROM t ORDER BY a"},
      {u"CREATE VIEW v AS SELECT TOP (100) PERCENT a FROM t ORDER BY a",
       "SELECT  a FROM t ORDER BY a"},
      // An owner prefix only where it begins a name.
      {u"CREATE VIEW v AS SELECT a FROM mydbo.t, dbo.u", "SELECT a FROM mydbo.t, u"},
      {u"SELECT a FROM t", "SELECT a FROM t"},
  };
  for (const auto& c : cases) EXPECT_EQ(u8(mss_view_select(c.definition)), c.select);
}

TEST(mss_views, each_view_on_its_own_and_a_leading_digit_renamed) {
  std::vector<std::string> contexts;
  std::vector<std::string> messages;
  mss_reporter previous =
      mss_set_reporter([&](const std::u16string& context, const tk_exception& e) {
        contexts.push_back(u8(context));
        messages.push_back(e.message());
      });
  const udb_views views = {
      {u"1v", u"select 1 AS `a`"},
      {u"b", u"select `a` from `1v`"},
      {u"bad", u"select group_concat(`a` separator ',') AS `g` from `t`"},
      {u"c", u"select now() AS `n`"},
  };
  udb_names_map names;
  std::vector<std::string> sent;
  mss_create_views(views, names, [&](const std::u16string& statement) {
    sent.push_back(u8(statement));
    if (statement.find(u"group_concat") != std::u16string::npos) {
      odb_diag_records r(1);
      r[0].sqlstate = "42000";
      r[0].native_error = 195;
      r[0].message = u"'group_concat' is not a recognized built-in function name.";
      throw odb_exception(odb_hresult_of(r), r);
    }
  });
  mss_set_reporter(previous);

  const std::vector<std::string> expected = {
      "CREATE VIEW [_1v] AS select 1 AS [a]",
      "CREATE VIEW [b] AS select [a] from [_1v]",
      "CREATE VIEW [bad] AS select group_concat([a] separator ',') AS [g] from [t]",
      "CREATE VIEW [c] AS select getdate() AS [n]",
  };
  EXPECT_EQ(sent, expected);
  EXPECT_EQ(u8(names.get_tn_mapped_name(u"1v", true)), "_1v");
  EXPECT_EQ(contexts, std::vector<std::string>{"View 'bad'"});
  EXPECT_EQ(messages, std::vector<std::string>{mss_msg_cant_create_view});
}

}  // namespace
