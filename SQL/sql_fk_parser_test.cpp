// Foreign keys read from CREATE TABLE texts as the server prints them.
#include "sql_fk_parser.h"

#include <gtest/gtest.h>

#include "tk_string.h"

namespace {

std::string u8(const std::u16string& s) { return tk_wide_to_utf8(s); }

std::string joined(const udb_names& names) {
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : ",") + u8(n);
  return out;
}

TEST(sql_fk_parser, reads_every_key_line_in_order_and_nothing_else) {
  const char16_t* text =
      u"CREATE TABLE `child` (\n"
      u"  `id` int(11) NOT NULL,\n"
      u"  `parent_id` int(11) DEFAULT NULL,\n"
      u"  `k1` int(11) DEFAULT NULL,\n"
      u"  `k2` int(11) DEFAULT NULL,\n"
      u"  PRIMARY KEY (`id`),\n"
      u"  KEY `fk_child_parent` (`parent_id`),\n"
      u"  CONSTRAINT `fk_child_parent` FOREIGN KEY (`parent_id`) REFERENCES `parent` (`id`),\n"
      u"  CONSTRAINT `fk child``keys` FOREIGN KEY (`k1`, `k2`) REFERENCES `parent` (`k1`, `k2`) "
      u"ON DELETE SET NULL ON UPDATE CASCADE,\n"
      u"  CONSTRAINT `CONSTRAINT_1` CHECK (json_valid(`j`))\n"
      u") ENGINE=InnoDB DEFAULT CHARSET=utf8mb4";
  udb_relationships keys;
  sql_fk_parser(u"child", text).do_parse(keys);
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(u8(keys[0].name), "fk_child_parent");
  EXPECT_EQ(u8(keys[0].table), "child");
  EXPECT_EQ(u8(keys[0].ref_table), "parent");
  EXPECT_EQ(joined(keys[0].fields), "parent_id");
  EXPECT_EQ(joined(keys[0].ref_fields), "id");
  EXPECT_EQ(u8(keys[0].rules), "");
  EXPECT_EQ(u8(keys[0].ref_key_name), "");
  EXPECT_EQ(u8(keys[1].name), "fk child`keys");
  EXPECT_EQ(joined(keys[1].fields), "k1,k2");
  EXPECT_EQ(joined(keys[1].ref_fields), "k1,k2");
  EXPECT_EQ(u8(keys[1].rules), "ON DELETE SET NULL ON UPDATE CASCADE");
}

TEST(sql_fk_parser, line_forms) {
  struct {
    const char16_t* line;
    bool is_key;
    const char* ref_table;
    const char* rules;
  } cases[] = {
      {u"  CONSTRAINT `f` FOREIGN KEY (`a`) REFERENCES `db2`.`t` (`b`) ON DELETE CASCADE", true,
       "t", "ON DELETE CASCADE"},
      {u"CONSTRAINT f FOREIGN KEY (a) REFERENCES t (b) ON UPDATE NO ACTION,", true, "t",
       "ON UPDATE NO ACTION"},
      {u"  FOREIGN KEY (`a`) REFERENCES `t` (`b`)", true, "t", ""},
      {u"  KEY `idx` (`a`)", false, "", ""},
      {u"  CONSTRAINT `f` FOREIGN KEY (`a`, `b`) REFERENCES `t` (`x`)", false, "", ""},
      {u"  CONSTRAINT `unterminated FOREIGN KEY (`a`) REFERENCES `t` (`b`)", false, "", ""},
      {u"", false, "", ""},
  };
  for (const auto& c : cases) {
    udb_relationship key;
    EXPECT_EQ(sql_fk_parser::parse_line(c.line, key), c.is_key) << u8(c.line);
    if (c.is_key) {
      EXPECT_EQ(u8(key.ref_table), c.ref_table) << u8(c.line);
      EXPECT_EQ(u8(key.rules), c.rules) << u8(c.line);
    }
  }
}

}  // namespace
