#include "mss_literal.h"

#include <gtest/gtest.h>

#include "ole_date.h"
#include "tk_exception.h"
#include "tk_string.h"

namespace {

std::string narrow(const std::u16string& s) { return tk_wide_to_utf8(s); }

ole_variant dec(const char* text) { return ole_variant::from_string(text, VT_DECIMAL); }

ole_variant date(uint16_t y, uint16_t mo, uint16_t d, uint16_t h = 0, uint16_t mi = 0,
                 uint16_t s = 0, uint16_t ms = 0) {
  SYSTEMTIME st;
  st.wYear = y;
  st.wMonth = mo;
  st.wDay = d;
  st.wHour = h;
  st.wMinute = mi;
  st.wSecond = s;
  st.wMilliseconds = ms;
  return ole_variant(st);
}

t_ftd decimal_field(int precision, int scale, bool not_null = false) {
  return t_ftd(u"d", VT_DECIMAL, 0, not_null, scale | precision << 8);
}

}  // namespace

TEST(to_mssql_str, literal_forms) {
  struct row {
    std::u16string text;
    VARTYPE type;
    std::u16string literal;
  } rows[] = {
      {u"", VT_BSTR, u"''"},
      {u"", VT_I4, u"''"},
      {u"O'Brien", VT_BSTR, u"N'O''Brien'"},
      {u"2011-12-31 10:20:30", VT_DATE, u"'20111231 10:20:30'"},
      {u"2011-12-31", VT_DATE, u"'20111231'"},
      {u"0000-00-00 10:20:30", VT_DATE, u"'18991230 10:20:30'"},
      {u"not a date", VT_DATE, u"''"},
      {u"0x00FF", VT_BLOB, u"0x00FF"},
      {u"0x00FF", VT_ARRAY_UI1, u"0x00FF"},
      {u"0x00fg", VT_BLOB, u"'0x00fg'"},
      {u"1x00", VT_BLOB, u"'1x00'"},
      {u"12345", VT_BLOB_OBJECT, u"12345"},
      {u"7", VT_BLOB, u""},
      {u"it's", VT_BLOB, u"'it''s'"},
      {u"-1.5", VT_R8, u"-1.5"},
      {u"a'b", VT_I4, u"a''b"},
  };
  for (const row& r : rows)
    EXPECT_EQ(narrow(to_mssql_str(r.text, r.type)), narrow(r.literal)) << narrow(r.text);
}

TEST(to_mssql_str, guid_texts) {
  const std::u16string text = u"guid: {6F9619FF-8B86-D011-B42D-00C04FC964FF} of the row";
  // A text keeps every character; a binary value that names a GUID becomes its 16 bytes.
  EXPECT_EQ(to_mssql_str(text, VT_BSTR), u"N'" + text + u"'");
  EXPECT_EQ(to_mssql_str(text, VT_BLOB), u"0x6F9619FF8B86D011B42D00C04FC964FF");
}

TEST(dec_is_out_of_range, against_precision_and_scale) {
  struct row {
    const char* value;
    int precision, scale;
    bool out;
  } rows[] = {
      {"999.99", 5, 2, false},   {"-999.99", 5, 2, false}, {"1000.00", 5, 2, true},
      {"12345.678", 5, 2, true}, {"999.994", 5, 2, false}, {"999.995", 5, 2, true},
      {"123.456", 5, 2, false},  {"0.50", 2, 2, false},    {"1.00", 2, 2, true},
      {"99", 2, 0, false},       {"100", 2, 0, true},      {"0", 1, 0, false},
  };
  for (const row& r : rows) {
    t_ftd f = decimal_field(r.precision, r.scale);
    EXPECT_EQ(dec_is_out_of_range(dec(r.value), &f), r.out)
        << r.value << " in (" << r.precision << "," << r.scale << ")";
  }
  t_ftd unknown(u"d", VT_DECIMAL);  // reserved 0: the column takes everything
  EXPECT_FALSE(dec_is_out_of_range(dec("123456789012345678901234567.8"), &unknown));
  EXPECT_THROW(dec_is_out_of_range(ole_variant(5), &unknown), tk_mail_assertion);
}

TEST(gen_dec_value, largest_value_of_the_column) {
  t_ftd f52 = decimal_field(5, 2), f30 = decimal_field(3, 0), f22 = decimal_field(2, 2);
  t_ftd none(u"d", VT_DECIMAL);
  EXPECT_EQ(gen_dec_value(&f52, false), u"999.99");
  EXPECT_EQ(gen_dec_value(&f52, true), u"-999.99");
  EXPECT_EQ(gen_dec_value(&f30, false), u"999.");
  EXPECT_EQ(gen_dec_value(&f22, true), u"-.99");
  EXPECT_EQ(gen_dec_value(&none, false), u".");
  EXPECT_THROW(gen_dec_value(nullptr, false), tk_mail_assertion);
}

TEST(mssql_get_safe_variant, dates_and_floats) {
  EXPECT_EQ(mssql_get_safe_variant(date(1000, 1, 1)).to_string(), "9999-12-30");
  EXPECT_EQ(mssql_get_safe_variant(date(0, 0, 0)).to_string(), "9999-12-30");
  EXPECT_EQ(mssql_get_safe_variant(date(1753, 1, 1, 1, 2, 3)).to_string(), "1753-01-01 01:02:03");
  struct row {
    double in, out;
  } rows[] = {{1e-320, 2.23e-308},
              {-1e-320, -2.23e-308},
              {1.7976931348623157e308, 1.79e308},
              {-1.7976931348623157e308, -1.79e308},
              {0.0, 0.0},
              {2.5, 2.5}};
  for (const row& r : rows) EXPECT_EQ(mssql_get_safe_variant(ole_variant(r.in)).to_double(), r.out);
}

TEST(get_fld_append_str, values_and_nulls) {
  t_ftd text_null(u"t", VT_BSTR, 20);
  t_ftd text_nn(u"t", VT_BSTR, 20, true);
  t_ftd int_nn(u"i", VT_I4, 0, true);
  t_ftd int_def(u"i", VT_I4, 0, true);
  int_def.default_value = ole_variant(7);
  t_ftd date_nn(u"d", VT_DATE, 0, true, 1);
  t_ftd date_def(u"d", VT_DATE, 0, true, 1);
  date_def.default_value = ole_date("9999-12-30").to_variant();
  t_ftd bin_nn(u"b", VT_BLOB, 10, true);
  t_ftd bin_null(u"b", VT_BLOB, 10);
  t_ftd dec_nn = decimal_field(5, 2, true);
  t_ftd bool_nn(u"f", VT_BOOL, 0, true);
  t_ftd real(u"r", VT_R8);

  ole_variant null;
  null.set_null();
  struct row {
    ole_variant value;
    const t_ftd* field;
    std::u16string literal;
  } rows[] = {
      {null, &text_null, u"NULL"},
      {ole_variant(), &text_null, u"NULL"},
      {null, &text_nn, u"''"},
      {null, &int_nn, u"0"},
      {null, &int_def, u"7"},
      {null, &date_nn, u"'19000101'"},
      {null, &date_def, u"'99991230'"},
      {null, &bin_nn, u"0x"},
      {null, &dec_nn, u"0"},
      {null, &bool_nn, u"0"},
      {ole_variant(u"O'Brien"), &text_null, u"N'O''Brien'"},
      {ole_variant(u""), &text_null, u"''"},
      {ole_variant(std::vector<uint8_t>{0x00, 0xFF}), &bin_null, u"0x00FF"},
      {ole_variant(std::vector<uint8_t>{}), &bin_null, u"0x"},
      {dec("12345.67"), &dec_nn, u"999.99"},
      {dec("-12345.67"), &dec_nn, u"-999.99"},
      {dec("123.45"), &dec_nn, u"123.45"},
      {date(2011, 12, 31, 10, 20, 30), &date_nn, u"'20111231 10:20:30'"},
      {date(2011, 12, 31, 10, 20, 30, 123), &date_nn, u"'20111231 10:20:30.123'"},
      {date(0, 0, 0, 10, 20, 30), &date_nn, u"'18991230 10:20:30'"},
      {date(1000, 5, 6, 7, 8, 9), &date_nn, u"'18991230 07:08:09'"},
      {ole_variant(1e-320), &real, u"2.23e-308"},
      {ole_variant(-1.7976931348623157e308), &real, u"-1.79e+308"},
      {ole_variant(0.1 + 0.2), &real, u"0.30000000000000004"},
      {ole_variant(true), &bool_nn, u"1"},
  };
  for (const row& r : rows)
    EXPECT_EQ(narrow(get_fld_append_str(&r.value, r.field)), narrow(r.literal))
        << r.value.to_string() << " for " << narrow(r.field->name);
  EXPECT_THROW(get_fld_append_str(nullptr, &real), tk_mail_assertion);
  EXPECT_THROW(get_fld_append_str(&null, nullptr), tk_mail_assertion);
}

TEST(mss_insert_statement, statement_text) {
  udb_schema schema;
  schema.add(t_ftd(u"id", VT_I4, 0, true));
  schema.add(t_ftd(u"na]me", VT_BSTR, 20));
  udb_record record;
  // Found by name, not by position.
  record.emplace_back(u"NA]ME", 7, ole_variant(u"O'Brien"));
  record.emplace_back(u"id", 4, ole_variant(5));
  EXPECT_EQ(narrow(mss_insert_statement(u"[dbo].[t]", true, schema, record)),
            "SET QUOTED_IDENTIFIER OFF; SET IDENTITY_INSERT [dbo].[t] ON; INSERT INTO "
            "[dbo].[t]([id], [na]]me]) VALUES( 5, N'O''Brien')");
  EXPECT_EQ(narrow(mss_insert_statement(u"[t]", false, schema, record)),
            "SET QUOTED_IDENTIFIER OFF; INSERT INTO [t]([id], [na]]me]) VALUES( 5, N'O''Brien')");

  udb_record missing = record;
  missing[0].name = u"other";
  udb_record short_record(record.begin(), record.begin() + 1);
  for (const udb_record* bad : {&missing, &short_record}) {
    try {
      mss_insert_statement(u"[t]", false, schema, *bad);
      ADD_FAILURE() << "no exception";
    } catch (const tk_exception& e) {
      EXPECT_EQ(e.message(),
                "The structure of data source does not conform to the destination table.");
    }
  }
  EXPECT_EQ(mss_insert_statement(u"[t]", false, udb_schema(), udb_record()), u"");
}
