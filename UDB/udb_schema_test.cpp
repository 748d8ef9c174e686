#include "udb_schema.h"

#include <gtest/gtest.h>

#include "tk_string.h"
#include "udb_record.h"
#include "udb_test_support.h"

TEST(t_ftd, conform_to_by_type_class_and_size) {
  const struct {
    VARTYPE src;
    uint32_t src_size;
    VARTYPE dest;
    uint32_t dest_size;
    bool expected;
  } cases[] = {
      {VT_I8, 0, VT_R8, 0, true},             // both numeric
      {VT_BOOL, 0, VT_I2, 0, true},           //
      {VT_I4, 0, VT_INT, 0, true},            // 22 takes numbers...
      {VT_INT, 0, VT_I4, 0, false},           // ...but is no numeric source
      {VT_BSTR, 10, VT_I4, 0, false},         //
      {VT_DATE, 0, VT_I4, 0, false},          //
      {VT_DECIMAL, 0, VT_CY, 0, true},        // equal by the money rule
      {VT_CY, 0, VT_DECIMAL, 0, true},        //
      {VT_BSTR, 19, VT_DATE, 0, true},        // a date written as text
      {VT_BSTR, 20, VT_DATE, 0, false},       //
      {VT_I4, 0, VT_DATE, 0, false},          //
      {VT_BSTR, 50, VT_BSTR, 40, false},      // size test
      {VT_BSTR, 50, VT_BSTR, 0, true},        // no limit
      {VT_BSTR, 40, VT_LPWSTR, 40, true},     //
      {VT_LPSTR, 41, VT_BSTR, 40, false},     //
      {VT_DATE, 0, VT_BSTR, 10, true},        // non-string source: no size test
      {VT_I4, 0, VT_BSTR, 1, true},           //
      {VT_BLOB, 0, VT_BSTR, 0, false},        // binary never into text
      {VT_I4, 0, VT_BLOB, 0, true},           //
      {VT_BSTR, 100, VT_BLOB, 50, false},     // text into binary: size test
      {VT_BSTR, 100, VT_ARRAY_UI1, 0, true},  //
      {VT_BLOB, 10, VT_BLOB_OBJECT, 5, false},
      {VT_BLOB, 10, VT_BLOB, 5, true},   // equal types, sizes not compared
      {VT_I4, 0, VT_VARIANT, 0, false},  // any other destination type
      {VT_I4, 0, VT_UNKNOWN, 0, false},
  };
  for (const auto& c : cases) {
    t_ftd src(u"s", c.src, c.src_size), dest(u"d", c.dest, c.dest_size);
    EXPECT_EQ(src.conform_to(dest), c.expected)
        << c.src << "/" << c.src_size << " -> " << c.dest << "/" << c.dest_size;
  }
}

TEST(t_ftd, equality_and_copies) {
  EXPECT_TRUE(t_ftd(u"a", VT_BSTR, 10) == t_ftd(u"b", VT_BSTR, 10));
  EXPECT_FALSE(t_ftd(u"a", VT_BSTR, 10) == t_ftd(u"a", VT_BSTR, 11));
  EXPECT_TRUE(t_ftd(u"a", VT_I4, 4) == t_ftd(u"a", VT_I4, 11));
  EXPECT_FALSE(t_ftd(u"a", VT_I4) == t_ftd(u"a", VT_I8));

  t_ftd with_default(u"qty", VT_I4, 11, true, 0);
  with_default.default_value = ole_variant(42);
  with_default.auto_increment = true;
  const t_ftd copy = with_default;
  EXPECT_EQ(copy.default_value.get_type(), VT_I4);
  EXPECT_EQ(copy.default_value.to_long(), 42);
  EXPECT_TRUE(copy.auto_increment && copy.b_not_null);
  EXPECT_EQ(copy.name, u"qty");
}

namespace {

udb_schema make_schema(std::initializer_list<std::pair<const char16_t*, VARTYPE>> columns) {
  udb_schema schema;
  for (const auto& [name, vt] : columns) schema.add(new t_ftd(name, vt, vt == VT_BSTR ? 20 : 0));
  return schema;
}

}  // namespace

TEST(udb_schema, conform_to_matches_columns_by_position) {
  const udb_schema src = make_schema({{u"id", VT_I4}, {u"name", VT_BSTR}});
  EXPECT_TRUE(src.conform_to(make_schema({{u"other", VT_I8}, {u"names", VT_BSTR}})));
  EXPECT_FALSE(src.conform_to(make_schema({{u"name", VT_BSTR}, {u"id", VT_I4}})));
  EXPECT_FALSE(src.conform_to(make_schema({{u"id", VT_I4}})));
  EXPECT_FALSE(src.conform_to(make_schema({{u"id", VT_I4}, {u"name", VT_BSTR}, {u"x", VT_I4}})));
  EXPECT_TRUE(udb_schema().conform_to(udb_schema()));
}

TEST(udb_schema, lookups_ignore_case_and_missing_names_are_defects) {
  const udb_schema schema = make_schema({{u"Id", VT_I4}, {u"\u00c4rger", VT_BSTR}});
  EXPECT_EQ(schema.get_field_idx(u"ID"), 0);
  EXPECT_EQ(schema.get_field_idx(u"\u00e4RGER"), 1);
  EXPECT_EQ(schema.get_field_idx(u"none"), -1);
  EXPECT_TRUE(schema.find_field(u"id"));
  EXPECT_FALSE(schema.find_field(u"i"));
  EXPECT_EQ(&schema.get_field(u"iD"), &schema[0]);
  EXPECT_EQ(schema.get_field_size(u"\u00c4RGER"), 20u);
  EXPECT_EQ(schema.get_field_type(u"id"), VT_I4);
  EXPECT_EQ(assertion_source_of([&] { schema.get_field(u"none"); }), "udb_sche");
  EXPECT_EQ(assertion_source_of([&] { schema.get_field_size(u"none"); }), "udb_sche");
  EXPECT_EQ(assertion_source_of([&] { schema.get_field_type(u"none"); }), "udb_sche");
  EXPECT_EQ(assertion_source_of([&] { schema[2]; }), "udb_sche");
}

TEST(udb_schema, copies_are_deep_and_own_their_descriptors) {
  t_ftd outside(u"kept", VT_I4);
  udb_schema view(false);
  view.add(&outside);
  EXPECT_EQ(assertion_source_of([&] { view.add(t_ftd(u"copy", VT_I4)); }), "udb_sche");

  udb_schema copy = view;
  EXPECT_TRUE(copy.owns_fields());
  copy[0].name = u"changed";
  EXPECT_EQ(outside.name, u"kept");

  udb_schema moved = std::move(copy);
  EXPECT_EQ(moved[0].name, u"changed");
  EXPECT_TRUE(copy.empty());
  moved = view;
  EXPECT_EQ(moved[0].name, u"kept");
  EXPECT_NE(&moved[0], &outside);
  view.clear();  // refers only: `outside` lives on
  EXPECT_EQ(outside.name, u"kept");
}

TEST(udb_record, lookups_ignore_case_and_a_missing_name_gives_an_empty_field) {
  udb_record row;
  row.emplace_back(u"Id", 1, ole_variant(7));
  row.emplace_back(u"name", 3, ole_variant(u"abc"));
  EXPECT_TRUE(row.find_field(u"ID"));
  EXPECT_FALSE(row.find_field(u"nam"));
  const udb_field found = row.get_field(u"NAME");
  EXPECT_EQ(found.to_wstring(), u"abc");
  EXPECT_EQ(found.size, 3);
  const udb_field missing = row.get_field(u"none");
  EXPECT_EQ(missing.name, u"");
  EXPECT_EQ(missing.get_type(), VT_EMPTY);
}
