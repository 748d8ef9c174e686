#include "tk_cmdli.h"

#include <gtest/gtest.h>

#include <vector>

#include "tk_exception.h"

namespace {

const tk_cmd_option options[] = {
    {0, "--as_dbo"}, {2, "--dest="}, {5, "--mode="}, {13, "--silent"}, {17, "--tab_file="}, {0, ""},
};

struct seen {
  int id;
  std::string value;
};

std::vector<seen> scan(std::vector<const char*> args, int* unrecognised = nullptr) {
  args.insert(args.begin(), "prog");
  std::vector<seen> out;
  tk_cmdli cl(static_cast<int>(args.size()), args.data(), options);
  for (; cl.has_more(); cl.next()) out.push_back({cl.id(), cl.value()});
  if (unrecognised) *unrecognised = cl.unrecognised_count();
  return out;
}

}  // namespace

TEST(tk_cmdli, matches_by_prefix_in_table_order_and_keeps_the_rest_as_value) {
  int bad = 0;
  auto got = scan(
      {"--dest=sakila db", "--silentxyz", "--dest=", "--mode=3", "--tab_file", "plain", "--as_dbo"},
      &bad);
  ASSERT_EQ(got.size(), 7u);
  EXPECT_EQ(got[0].id, 2);
  EXPECT_EQ(got[0].value, "sakila db");
  EXPECT_EQ(got[1].id, 13);  // an option without value ignores what follows its text
  EXPECT_EQ(got[2].id, 2);
  EXPECT_EQ(got[2].value, "");
  EXPECT_EQ(got[3].id, 5);
  EXPECT_EQ(got[3].value, "3");
  EXPECT_EQ(got[4].id, -1);  // no option text is a prefix of "--tab_file"
  EXPECT_EQ(got[5].id, -1);
  EXPECT_EQ(got[6].id, 0);
  EXPECT_EQ(bad, 2);
}

TEST(tk_cmdli, nothing_to_scan_and_use_past_the_end_are_defects) {
  const char* argv[] = {"prog"};
  tk_cmdli cl(1, argv, options);
  EXPECT_FALSE(cl.has_more());
  EXPECT_THROW(cl.next(), tk_mail_assertion);
  EXPECT_THROW(cl.value(), tk_mail_assertion);

  const char* two[] = {"prog", "--silent"};
  tk_cmdli one(2, two, options);
  ASSERT_TRUE(one.has_more());
  one.next();
  EXPECT_FALSE(one.has_more());
  EXPECT_THROW(one.next(), tk_mail_assertion);
}

TEST(tk_cmdli, room_for_twenty_unrecognised_arguments) {
  std::vector<const char*> twenty(20, "junk");
  int bad = 0;
  EXPECT_EQ(scan(twenty, &bad).size(), 20u);
  EXPECT_EQ(bad, 20);
  std::vector<const char*> more(21, "junk");
  try {
    scan(more);
    FAIL() << "the 21st unrecognised argument was accepted";
  } catch (const tk_mail_assertion& e) {
    // "..\TK/tk_cmdli\52" as hex digits
    EXPECT_NE(std::string(e.what()).find("2e2e5c544b2f746b5f636d646c695c3532"), std::string::npos)
        << e.what();
  }
}
