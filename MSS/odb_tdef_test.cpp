#include "odb_tdef.h"

#include <gtest/gtest.h>

#include "mss_vers.h"
#include "odb_exce.h"
#include "tk_string.h"

namespace {

std::string narrow(const std::u16string& s) { return tk_wide_to_utf8(s); }

t_ftd field(const char16_t* name, VARTYPE vt, uint32_t size = 0, bool not_null = false,
            int32_t reserved = 0) {
  return t_ftd(name, vt, size, not_null, reserved);
}

t_ftd with_default(t_ftd f, const ole_variant& value) {
  f.default_value = value;
  return f;
}

t_ftd auto_inc(t_ftd f) {
  f.auto_increment = true;
  return f;
}

// The column part of a CREATE TABLE text for one field.
std::string column_ddl(const t_ftd& f, int version, const udb_indexes& indexes = {}) {
  udb_schema schema;
  schema.add(f);
  const std::u16string text =
      odb_create_table_text(u"[t]", odb_make_column_descs(schema, indexes, version), version);
  const std::u16string prefix = u"CREATE TABLE [t] (";
  return narrow(text.substr(prefix.size(), text.size() - prefix.size() - 1));
}

}  // namespace

TEST(odb_create_table_text, every_field_type) {
  const int v = mss_version_2012_or_later;
  struct row {
    t_ftd f;
    std::string ddl;
  } rows[] = {
      {field(u"a", VT_I2), "[a] smallint NULL"},
      {field(u"a", VT_I1), "[a] smallint NULL"},
      {field(u"a", VT_I4, 11, true), "[a] int NOT NULL"},
      {field(u"a", VT_UI2), "[a] int NULL"},
      {field(u"a", VT_INT), "[a] int NULL"},
      {field(u"a", VT_R4), "[a] float NULL"},
      {field(u"a", VT_R8), "[a] float NULL"},
      {field(u"a", VT_CY), "[a] money NULL"},
      {field(u"a", VT_DATE, 19, false, 1), "[a] datetime NULL"},
      {field(u"a", VT_BSTR, 50), "[a] nvarchar(50) NULL"},
      {field(u"a", VT_BSTR, 4000), "[a] nvarchar(4000) NULL"},
      {field(u"a", VT_BSTR, 4001), "[a] nvarchar(max) NULL"},
      {field(u"a", VT_BSTR, 0), "[a] nvarchar(max) NULL"},
      {field(u"a", VT_BOOL), "[a] bit NULL"},
      {field(u"a", VT_DECIMAL, 0, false, 2 | 28 << 8), "[a] numeric(28,2) NULL"},
      {field(u"a", VT_DECIMAL, 0, false, 2 | 30 << 8), "[a] float NULL"},
      {field(u"a", VT_UI1), "[a] tinyint NULL"},
      {field(u"a", VT_UI4), "[a] bigint NULL"},
      {field(u"a", VT_I8, 20, false, 1), "[a] bigint NULL"},
      {field(u"a", VT_UI8, 20, false, 2), "[a] numeric(20,0) NULL"},
      {field(u"a", VT_UINT), "[a] bigint NULL"},
      {field(u"a", VT_LPSTR, 10), "[a] nvarchar(10) NULL"},
      {field(u"a", VT_BLOB, 255), "[a] varbinary(255) NULL"},
      {field(u"a", VT_BLOB_OBJECT, 8000), "[a] varbinary(8000) NULL"},
      {field(u"a", VT_BLOB, 0), "[a] varbinary(max) NULL"},
      {field(u"a]b", VT_I4), "[a]]b] int NULL"},
  };
  for (const row& r : rows)
    EXPECT_EQ(column_ddl(r.f, v), r.ddl) << "vt=" << r.f.vartype << " size=" << r.f.size;
}

TEST(odb_create_table_text, older_servers) {
  // Before 2005 long columns are ntext and image; before 2000 there are no 64-bit columns.
  EXPECT_EQ(column_ddl(field(u"a", VT_BSTR, 0), mss_version_2000), "[a] ntext NULL");
  EXPECT_EQ(column_ddl(field(u"a", VT_BLOB, 0), mss_version_2000), "[a] image NULL");
  EXPECT_EQ(column_ddl(field(u"a", VT_BSTR, 0), mss_version_2005), "[a] nvarchar(max) NULL");
  EXPECT_EQ(column_ddl(field(u"a", VT_I8), mss_version_7), "[a] float NULL");
  EXPECT_EQ(column_ddl(field(u"a", VT_UI8), mss_version_7), "[a] float NULL");
  EXPECT_EQ(column_ddl(field(u"a", VT_UI8), mss_version_other), "[a] float NULL");
}

TEST(odb_create_table_text, identity_and_nullability) {
  struct row {
    t_ftd f;
    int version;
    std::string ddl;
  } rows[] = {
      {auto_inc(field(u"id", VT_I4)), mss_version_7, "[id] int IDENTITY(1,1) NOT NULL"},
      {auto_inc(field(u"id", VT_UI1)), mss_version_7, "[id] tinyint IDENTITY(1,1) NOT NULL"},
      {auto_inc(field(u"id", VT_I8)), mss_version_2000, "[id] bigint IDENTITY(1,1) NOT NULL"},
      {auto_inc(field(u"id", VT_I8)), mss_version_7, "[id] float NULL"},
      {auto_inc(field(u"id", VT_UI4)), mss_version_2008, "[id] bigint IDENTITY(1,1) NOT NULL"},
      {auto_inc(field(u"id", VT_UI8)), mss_version_2012_or_later,
       "[id] numeric(20,0) IDENTITY(1,1) NOT NULL"},
      // No identity on a decimal or text column; the NOT NULL of the source stays.
      {auto_inc(field(u"id", VT_DECIMAL, 0, true, 10 << 8)), mss_version_2005,
       "[id] numeric(10,0) NOT NULL"},
      // An identity column takes no default.
      {with_default(auto_inc(field(u"id", VT_I4)), ole_variant(u"5")), mss_version_2005,
       "[id] int IDENTITY(1,1) NOT NULL"},
  };
  for (const row& r : rows) EXPECT_EQ(column_ddl(r.f, r.version), r.ddl);

  udb_indexes pk{{u"PRIMARY", true, true, {u"id"}}};
  EXPECT_EQ(column_ddl(field(u"id", VT_I4), mss_version_2005, pk), "[id] int NOT NULL");
  // The primary-key test compares names exactly.
  EXPECT_EQ(column_ddl(field(u"ID", VT_I4), mss_version_2005, pk), "[ID] int NULL");
}

TEST(set_def_value, defaults) {
  const int v = mss_version_2012_or_later;
  struct row {
    t_ftd f;
    std::string ddl;
  } rows[] = {
      {with_default(field(u"a", VT_BSTR, 20), ole_variant(u"x'y")),
       "[a] nvarchar(20) NULL DEFAULT 'x''y'"},
      {with_default(field(u"a", VT_BSTR, 20), ole_variant(u"")), "[a] nvarchar(20) NULL"},
      {with_default(field(u"a", VT_BSTR, 0), ole_variant(u"abc")), "[a] nvarchar(max) NULL"},
      {with_default(field(u"a", VT_I4), ole_variant(u"-12")), "[a] int NULL DEFAULT -12"},
      {with_default(field(u"a", VT_DECIMAL, 0, false, 2 | 10 << 8), ole_variant(u"1.50")),
       "[a] numeric(10,2) NULL DEFAULT 1.50"},
      {with_default(field(u"a", VT_R8), ole_variant(u"2.5")), "[a] float NULL DEFAULT 2.5"},
      {with_default(field(u"a", VT_BOOL), ole_variant(u"1")), "[a] bit NULL DEFAULT 1"},
      {with_default(field(u"a", VT_UI8, 20), ole_variant(u"18446744073709551615")),
       "[a] numeric(20,0) NULL DEFAULT 18446744073709551615"},
      {with_default(field(u"a", VT_DATE, 0, true, 2), ole_variant(u"0000-00-00")),
       "[a] datetime NOT NULL DEFAULT '9999-12-30'"},
      {with_default(field(u"a", VT_DATE, 0, false, 1), ole_variant(u"1000-01-01 10:00:00")),
       "[a] datetime NULL DEFAULT '9999-12-30'"},
      {with_default(field(u"a", VT_DATE, 0, false, 1), ole_variant(u"2011-12-31 10:20:30")),
       "[a] datetime NULL DEFAULT '2011-12-31 10:20:30'"},
      // Not a date: no default rather than an invented one.
      {with_default(field(u"a", VT_DATE, 0, false, 1), ole_variant(u"CURRENT_TIMESTAMP")),
       "[a] datetime NULL"},
      {with_default(field(u"a", VT_DECIMAL, 0, false, 2 | 10 << 8), ole_variant(u"abc")),
       "[a] numeric(10,2) NULL"},
      // Binary columns never get a default.
      {with_default(field(u"a", VT_BLOB, 10), ole_variant(u"0x01")), "[a] varbinary(10) NULL"},
  };
  for (const row& r : rows) EXPECT_EQ(column_ddl(r.f, v), r.ddl);
  EXPECT_THROW(set_def_value(nullptr, nullptr), tk_mail_assertion);
}

TEST(odb_server_type, refusals) {
  odb_column_desc c;
  c.name = u"n";
  c.type = dbtype::numeric;
  c.precision = 0;
  struct row {
    uint8_t precision, scale;
    int32_t code;
  } rows[] = {{0, 0, 0x80E3A}, {39, 0, 0x80E3A}, {5, 6, 0x80E3B}};
  for (const row& r : rows) {
    c.precision = r.precision;
    c.scale = r.scale;
    try {
      odb_server_type(c, mss_version_2005);
      ADD_FAILURE() << "no exception";
    } catch (const odb_exception& e) {
      EXPECT_EQ(e.code(), r.code);
    }
  }
  c.type = dbtype::variant;
  try {
    odb_server_type(c, mss_version_2005);
    ADD_FAILURE() << "no exception";
  } catch (const odb_exception& e) {
    EXPECT_EQ(e.code(), 0x80E3D);
  }
}

TEST(odb_make_index_desc, skip_rules) {
  udb_schema schema;
  schema.add(field(u"id", VT_I4, 11));
  schema.add(field(u"s250a", VT_BSTR, 250));
  schema.add(field(u"s250b", VT_BSTR, 250));
  schema.add(field(u"s450", VT_BSTR, 450));
  schema.add(field(u"s451", VT_BSTR, 451));
  schema.add(field(u"flag", VT_BOOL, 1));
  schema.add(field(u"memo", VT_BSTR, 0));
  schema.add(field(u"b8000", VT_BLOB, 8000));
  schema.add(field(u"b8001", VT_BLOB, 8001));
  schema.add(field(u"s4001", VT_BSTR, 4001));
  struct row {
    udb_index index;
    bool created;
  } rows[] = {
      {{u"two250", false, false, {u"s250a", u"s250b"}}, false},
      {{u"one450", true, false, {u"s450"}}, true},
      {{u"one451", false, false, {u"s451"}}, false},
      {{u"withflag", false, false, {u"id", u"flag"}}, false},
      {{u"memo", false, false, {u"memo"}}, false},
      {{u"bin", false, false, {u"b8000"}}, false},  // 8000 bytes: past the key limit
      {{u"bin2", false, false, {u"b8001"}}, false},
      {{u"wide", false, false, {u"s4001"}}, false},
      {{u"ID_CASE", false, false, {u"ID"}}, true},  // schema lookups ignore case
      {{u"none", false, false, {}}, false},
  };
  for (const row& r : rows) {
    odb_index_desc desc;
    EXPECT_EQ(odb_make_index_desc(u"orders", r.index, schema, desc), r.created)
        << narrow(r.index.name);
  }
  odb_index_desc desc;
  EXPECT_THROW(odb_make_index_desc(u"orders", {u"x", false, false, {u"nope"}}, schema, desc),
               tk_mail_assertion);
}

TEST(odb_create_index_text, statements) {
  udb_schema schema;
  schema.add(field(u"id", VT_I4));
  schema.add(field(u"code", VT_BSTR, 10));
  struct row {
    udb_index index;
    std::string text;
  } rows[] = {
      {{u"PRIMARY", true, true, {u"id", u"code"}},
       "ALTER TABLE [orders] ADD CONSTRAINT [PK_orders] PRIMARY KEY CLUSTERED ([id], [code])"},
      {{u"ux", true, false, {u"code"}}, "CREATE UNIQUE INDEX [ux] ON [orders] ([code])"},
      {{u"i]x", false, false, {u"code", u"id"}}, "CREATE INDEX [i]]x] ON [orders] ([code], [id])"},
  };
  for (const row& r : rows) {
    odb_index_desc desc;
    ASSERT_TRUE(odb_make_index_desc(u"orders", r.index, schema, desc));
    EXPECT_EQ(narrow(odb_create_index_text(u"[orders]", desc)), r.text);
  }
}
