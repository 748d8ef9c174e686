#include "ole_variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
#include <sstream>

#include "ole_date.h"
#include "ole_numeric.h"
#include "tk_exception.h"
#include "tk_log.h"
#include "tk_string.h"

namespace {

std::u16string w(const char* s) { return std::u16string(s, s + strlen(s)); }

DECIMAL dec(const char* text) {
  DECIMAL d;
  EXPECT_EQ(ole_numeric::dec_from_text(text, d), ole_s_ok) << text;
  return d;
}

SYSTEMTIME record(uint16_t y, uint16_t m, uint16_t d, uint16_t h = 0, uint16_t mi = 0,
                  uint16_t s = 0) {
  SYSTEMTIME st;
  st.wYear = y, st.wMonth = m, st.wDay = d, st.wHour = h, st.wMinute = mi, st.wSecond = s;
  return st;
}

std::vector<uint8_t> bytes_of(const ole_variant& v) {
  const uint8_t* data = nullptr;
  size_t n = v.get_bytes(data);
  return std::vector<uint8_t>(data, data + n);
}

// ---- construction and text forms ----------------------------------------------------------------

TEST(ole_variant, construction_and_text_form_of_every_tag) {
  struct {
    ole_variant v;
    VARTYPE vt;
    const char* text;
  } cases[] = {
      {ole_variant(), VT_EMPTY, ""},
      {ole_variant(true), VT_BOOL, "1"},
      {ole_variant(false), VT_BOOL, "0"},
      {ole_variant(static_cast<char>(-5)), VT_I1, "-5"},
      {ole_variant(static_cast<unsigned char>(200)), VT_UI1, "200"},
      {ole_variant(static_cast<short>(-32768)), VT_I2, "-32768"},
      {ole_variant(static_cast<unsigned short>(65535)), VT_UI2, "65535"},
      {ole_variant(-2147483647 - 1), VT_I4, "-2147483648"},
      {ole_variant(4000000000u), VT_UI4, "4000000000"},
      {ole_variant(static_cast<long long>(INT64_MIN)), VT_I8, "-9223372036854775808"},
      {ole_variant(static_cast<unsigned long long>(UINT64_MAX)), VT_UI8, "18446744073709551615"},
      {ole_variant(1.5f), VT_R4, "1.500000e+00"},
      {ole_variant(-0.1f), VT_R4, "-1.000000e-01"},
      {ole_variant(3.5), VT_R8, "3.500000000000000e+00"},
      {ole_variant(1e-300), VT_R8, "1.000000000000000e-300"},
      {ole_variant(CY{50000}), VT_CY, "5"},
      {ole_variant(CY{-25000}), VT_CY, "-2.5"},
      {ole_variant(dec("12.50")), VT_DECIMAL, "12.50"},
      {ole_variant(dec("-1234567890123456789012345678")), VT_DECIMAL,
       "-1234567890123456789012345678"},
      {ole_variant(record(2011, 12, 31, 10, 20, 30)), VT_DATE, "2011-12-31 10:20:30"},
      {ole_variant(record(2011, 12, 31)), VT_DATE, "2011-12-31"},
      {ole_variant(record(0, 0, 0, 10, 20, 30)), VT_DATE, "0000-00-00 10:20:30"},
      {ole_variant(u"abc"), VT_BSTR, "abc"},
      {ole_variant("narrow"), VT_BSTR, "narrow"},
      {ole_variant(std::string("caf\xc3\xa9")), VT_BSTR, "caf\xc3\xa9"},
      {ole_variant(std::vector<uint8_t>{0x0A, 0xFF}), VT_ARRAY_UI1, "0x0AFF"},
      {ole_variant(std::vector<uint8_t>{}), VT_ARRAY_UI1, ""},
  };
  for (auto& c : cases) {
    EXPECT_EQ(c.v.get_type(), c.vt) << c.text;
    EXPECT_EQ(c.v.to_string(), c.text);
    EXPECT_EQ(c.v.to_wstring(), tk_utf8_to_wide(c.text)) << c.text;
  }
}

TEST(ole_variant, text_keeps_embedded_nuls_but_prints_to_the_first) {
  std::u16string text(u"ab\0cd", 5);
  ole_variant v(text);
  EXPECT_EQ(v.get_bstr().size(), 5u);
  EXPECT_EQ(v.to_wstring(), u"ab");
  ole_variant c(text.c_str());  // NUL-terminated text
  EXPECT_EQ(c.get_bstr(), u"ab");
  ole_variant n(static_cast<const char16_t*>(nullptr));
  EXPECT_EQ(n.get_type(), VT_BSTR);
  EXPECT_EQ(n.get_bstr(), u"");
}

TEST(ole_variant, copies_are_deep_and_moves_leave_empty) {
  std::vector<ole_variant> originals;
  originals.emplace_back(std::vector<uint8_t>{1, 2, 3});
  originals.emplace_back(u"a text longer than any small-string buffer");
  originals.emplace_back(record(0, 0, 0, 1, 2, 3));
  originals.emplace_back(static_cast<long long>(-7));
  originals.emplace_back(static_cast<unsigned long long>(7));
  originals.emplace_back(dec("-0.5"));
  for (const ole_variant& o : originals) {
    ole_variant copy(o);
    EXPECT_EQ(copy.get_type(), o.get_type());
    EXPECT_EQ(copy.to_string(), o.to_string());
    ole_variant assigned(5);
    assigned = o;
    EXPECT_EQ(assigned.to_string(), o.to_string());
    EXPECT_EQ(assigned.get_int64(), o.get_int64());
    EXPECT_EQ(assigned.get_uint64(), o.get_uint64());
    ole_variant moved(std::move(assigned));
    EXPECT_EQ(moved.to_string(), o.to_string());
    EXPECT_EQ(assigned.get_type(), VT_EMPTY);
  }
  ole_variant bytes(std::vector<uint8_t>{1, 2, 3});
  ole_variant copy(bytes);
  bytes.allocate_safe_array(1)[0] = 9;
  EXPECT_EQ(bytes_of(copy), (std::vector<uint8_t>{1, 2, 3}));
  ole_variant& self = copy;
  copy = self;
  EXPECT_EQ(bytes_of(copy), (std::vector<uint8_t>{1, 2, 3}));
  copy = u"text";
  EXPECT_EQ(copy.get_type(), VT_BSTR);
  EXPECT_EQ(copy.get_int64(), 0);
  ole_variant big(static_cast<long long>(5));
  big = ole_variant(1.0);
  EXPECT_EQ(big.get_int64(), 0);  // the slot is released with the old content
}

// ---- readings -----------------------------------------------------------------------------------

TEST(ole_variant, readings_by_tag) {
  ole_variant null;
  null.set_null();
  struct {
    ole_variant v;
    int32_t as_long;
    double as_double;
    bool as_bool;
  } cases[] = {
      {ole_variant(), 0, 0, false},
      {null, 0, 0, false},
      {ole_variant(true), -1, -1, true},
      {ole_variant(static_cast<char>(-5)), -5, -5, true},
      {ole_variant(static_cast<unsigned char>(200)), 200, 200, true},
      {ole_variant(static_cast<short>(-3)), -3, -3, true},
      {ole_variant(static_cast<unsigned short>(65535)), 65535, 65535, true},
      {ole_variant(0), 0, 0, false},
      {ole_variant(4000000000u), -294967296, 4000000000.0, true},
      {ole_variant(-2.9), -2, -2.9, true},
      {ole_variant(2.9f), 2, 2.9f, true},
      {ole_variant(1e12), INT32_MAX, 1e12, true},
      {ole_variant(dec("2.5")), 2, 2.5, true},
      {ole_variant(dec("0.4")), 0, 0.4, true},
      {ole_variant(dec("1e12")), 0, 1e12, true},  // too large for to_long, still true
      {ole_variant(static_cast<long long>(0x100000005LL)), 5, 4294967301.0, true},
      {ole_variant(static_cast<unsigned long long>(UINT64_MAX)), -1, 18446744073709551615.0, true},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.v.get_type());
    EXPECT_EQ(c.v.to_long(), c.as_long);
    EXPECT_DOUBLE_EQ(c.v.to_double(), c.as_double);
    EXPECT_EQ(c.v.to_bool(), c.as_bool);
  }
  EXPECT_EQ(ole_variant(CY{25000}).to_double(), 2.5);
  EXPECT_FALSE(ole_variant(std::nan("")).to_long());
}

TEST(ole_variant, unsupported_readings_are_assertions) {
  ole_variant text(u"1");
  ole_variant date(record(2011, 1, 1));
  ole_variant bytes(std::vector<uint8_t>{1});
  ole_variant cy(CY{1});
  std::function<void()> calls[] = {
      [&] { text.to_long(); },
      [&] { date.to_long(); },
      [&] { bytes.to_long(); },
      [&] { cy.to_long(); },
      [&] { text.to_double(); },
      [&] { date.to_double(); },
      [&] { cy.to_bool(); },
      [&] { text.to_bool(); },
      [&] { date.to_bool(); },
      [&] { bytes.to_bool(); },
      [&] {
        const uint8_t* p;
        text.get_bytes(p);
      },
      [&] { text.get_cy(); },
      [&] { cy.get_decimal(); },
      [&] { cy.get_bstr(); },
  };
  for (auto& call : calls) EXPECT_THROW(call(), tk_mail_assertion);
  const uint8_t* p = reinterpret_cast<const uint8_t*>(1);
  EXPECT_EQ(ole_variant().get_bytes(p), 0u);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(ole_variant(5).get_systemtime(), SYSTEMTIME{});
  EXPECT_EQ(date.get_systemtime(), record(2011, 1, 1));
}

TEST(ole_variant, date_number_only_for_calendar_dates) {
  double n = 0;
  EXPECT_TRUE(ole_variant(record(1899, 12, 31, 12)).get_date_number(n));
  EXPECT_DOUBLE_EQ(n, 1.5);
  EXPECT_FALSE(ole_variant(record(0, 0, 0)).get_date_number(n));
  EXPECT_FALSE(ole_variant(1.5).get_date_number(n));
}

// ---- byte arrays --------------------------------------------------------------------------------

TEST(ole_variant, byte_arrays) {
  ole_variant v;
  uint8_t data[] = {1, 2, 3, 4};
  v.attach_binary(4, data);
  EXPECT_EQ(v.get_type(), VT_ARRAY_UI1);
  EXPECT_EQ(bytes_of(v), (std::vector<uint8_t>{1, 2, 3, 4}));
  v.allocate_safe_array(6);  // a resize keeps what fits
  EXPECT_EQ(bytes_of(v), (std::vector<uint8_t>{1, 2, 3, 4, 0, 0}));
  v.allocate_safe_array(2);
  EXPECT_EQ(bytes_of(v), (std::vector<uint8_t>{1, 2}));
  const uint8_t* own;
  v.get_bytes(own);
  v.attach_binary(2, own);  // its own bytes
  EXPECT_EQ(bytes_of(v), (std::vector<uint8_t>{1, 2}));
  EXPECT_THROW(v.attach_binary(3, nullptr), tk_mail_assertion);
  v.attach_binary(0, nullptr);
  EXPECT_EQ(v.get_type(), VT_ARRAY_UI1);
  EXPECT_EQ(bytes_of(v).size(), 0u);

  ole_variant t(u"text");
  t.allocate_safe_array(3);  // anything else is replaced
  EXPECT_EQ(bytes_of(t), (std::vector<uint8_t>{0, 0, 0}));

  ole_safe_array a;
  EXPECT_EQ(ole_variant::get_safe_array_size(a), 0u);
  a.bytes.resize(5);
  a.lower_bound = 3;
  EXPECT_EQ(ole_variant::get_safe_array_size(a), 5u);
  EXPECT_EQ(ole_variant(std::vector<uint8_t>(3)).get_safe_array()->lower_bound, 0);
  EXPECT_EQ(ole_variant(5).get_safe_array(), nullptr);

  for (VARTYPE vt : {VT_BLOB, VT_BLOB_OBJECT, VT_ARRAY_UI1})
    EXPECT_TRUE(ole_variant::is_blob_type(vt));
  for (VARTYPE vt : {VT_EMPTY, VT_UI1, VT_BSTR, VT_ARRAY, VT_I4})
    EXPECT_FALSE(ole_variant::is_blob_type(vt));

  std::vector<uint8_t> big(10000001, 0xAB);
  std::string printed = ole_variant(big).to_string();
  EXPECT_EQ(printed.size(), 2u + 2u * 10000000u);  // at most the first ten million bytes
}

// ---- from_string --------------------------------------------------------------------------------

struct parse_case {
  const char* text;
  VARTYPE vt;
  VARTYPE result;
  const char* printed;
};

TEST(ole_variant, from_string_every_tag) {
  const parse_case cases[] = {
      {"", VT_I4, VT_EMPTY, ""},
      {"", VT_DATE, VT_EMPTY, ""},
      {"", VT_BSTR, VT_BSTR, ""},
      {"12abc", VT_I4, VT_I4, "12"},
      {"  -7x", VT_I2, VT_I2, "-7"},
      {"abc", VT_I4, VT_I4, "0"},
      {"+5", VT_I1, VT_I1, "5"},
      {"255", VT_UI1, VT_UI1, "255"},
      {"65535", VT_UI2, VT_UI2, "65535"},
      {"4294967295", VT_UI4, VT_UI4, "4294967295"},
      {"x", VT_UI4, VT_UI4, "0"},
      {"-9223372036854775808", VT_I8, VT_I8, "-9223372036854775808"},
      {"18446744073709551615", VT_UI8, VT_UI8, "18446744073709551615"},
      {"3,5", VT_R8, VT_R8, "3.500000000000000e+00"},
      {"2.5e3xyz", VT_R8, VT_R8, "2.500000000000000e+03"},
      {"none", VT_R8, VT_R8, "0.000000000000000e+00"},
      {" 0,25", VT_R4, VT_R4, "2.500000e-01"},
      {"1e400", VT_R8, VT_R8, "inf"},
      {"12.50", VT_DECIMAL, VT_DECIMAL, "12.50"},
      {"1,5", VT_DECIMAL, VT_DECIMAL, "1.5"},
      {"-0.1234567890123456789012345678", VT_DECIMAL, VT_DECIMAL,
       "-0.1234567890123456789012345678"},
      {"abc", VT_DECIMAL, VT_EMPTY, ""},
      {"1e30", VT_DECIMAL, VT_EMPTY, ""},  // does not fit
      {"1,234.5", VT_DECIMAL, VT_EMPTY, ""},
      {"2,5", VT_CY, VT_CY, "2.5"},
      {"x", VT_CY, VT_EMPTY, ""},
      {"TRUE", VT_BOOL, VT_BOOL, "1"},
      {"Yes", VT_BOOL, VT_BOOL, "1"},
      {"No", VT_BOOL, VT_BOOL, "0"},
      {"false", VT_BOOL, VT_BOOL, "0"},
      {"2", VT_BOOL, VT_BOOL, "1"},
      {"abc", VT_BOOL, VT_BOOL, "0"},
      {"0x0A0B", VT_ARRAY_UI1, VT_ARRAY_UI1, "0x0A0B"},
      {"0A0B", VT_ARRAY_UI1, VT_ARRAY_UI1, "0x0A0B"},
      {"0Xff00", VT_BLOB, VT_ARRAY_UI1, "0xFF00"},
      {"0a0", VT_ARRAY_UI1, VT_EMPTY, ""},  // odd length
      {"0x0G", VT_ARRAY_UI1, VT_EMPTY, ""},
      {"2011-12-31 10:20:30", VT_DATE, VT_DATE, "2011-12-31 10:20:30"},
      {"0000-00-00", VT_DATE, VT_DATE, "0000-00-00 00:00:00"},
      {"not a date", VT_DATE, VT_EMPTY, ""},
      {"hello", VT_BSTR, VT_BSTR, "hello"},
      {"42", VT_INT, VT_INT, "42"},
      {" 7 ", VT_UINT, VT_UINT, "7"},
      {"whatever", VT_EMPTY, VT_EMPTY, ""},
  };
  for (auto& c : cases) {
    ole_variant v = ole_variant::from_string(c.text, c.vt);
    EXPECT_EQ(v.get_type(), c.result) << c.text << " as " << c.vt;
    EXPECT_EQ(v.to_string(), c.printed) << c.text << " as " << c.vt;
  }
  EXPECT_EQ(bytes_of(ole_variant::from_string("0x0A0B", VT_ARRAY_UI1)),
            (std::vector<uint8_t>{0x0A, 0x0B}));
  EXPECT_EQ(ole_variant::from_string("3,5", VT_R8).to_double(), 3.5);
}

TEST(ole_variant, from_string_refusals_throw_type_exception) {
  const std::pair<const char*, VARTYPE> cases[] = {
      {"4x", VT_INT}, {"abc", VT_ERROR}, {"abc", VT_NULL}, {"-1", VT_UINT}};
  for (auto& [text, vt] : cases) {
    try {
      ole_variant::from_string(text, vt);
      ADD_FAILURE() << text << " as " << vt;
    } catch (const ole_type_exception& e) {
      EXPECT_STREQ(e.what(), "The operating type is not supported yet");
      EXPECT_EQ(e.level(), 1);
    }
  }
}

TEST(ole_variant, from_wstring) {
  ole_variant t = ole_variant::from_wstring(u"h\u00e9llo", VT_BSTR);
  EXPECT_EQ(t.get_bstr(), u"h\u00e9llo");
  std::u16string with_nul(u"ab\0c", 4);
  EXPECT_EQ(ole_variant::from_wstring(with_nul, VT_BSTR).get_bstr(), u"ab");
  std::u16string moved(u"a text that is moved into the value, not copied");
  EXPECT_EQ(ole_variant::from_wstring(std::move(moved), VT_BSTR).to_wstring(),
            u"a text that is moved into the value, not copied");
  EXPECT_EQ(ole_variant::from_wstring(u"12", VT_I4).to_long(), 12);
  EXPECT_EQ(ole_variant::from_wstring(u"12\u00e9", VT_I4).to_long(), 12);
  EXPECT_EQ(ole_variant::from_wstring(u"2011-12-31", VT_DATE).get_type(), VT_DATE);
  EXPECT_EQ(ole_variant::from_wstring(u"", VT_I4).get_type(), VT_EMPTY);
}

// ---- change_type --------------------------------------------------------------------------------

struct change_case {
  ole_variant from;
  VARTYPE to;
  VARTYPE result;  // VT_ERROR: refused
  const char* printed;
};

void check_changes(const std::vector<change_case>& cases) {
  for (const auto& c : cases) {
    ole_variant v(c.from);
    std::string before = c.from.to_string();
    SCOPED_TRACE(before + " (" + std::to_string(c.from.get_type()) + ") to " +
                 std::to_string(c.to));
    if (c.result == VT_ERROR) {
      try {
        v.change_type(c.to);
        ADD_FAILURE() << "no cast failure, got " << v.get_type() << " " << v.to_string();
      } catch (const ole_cast_exception& e) {
        EXPECT_STREQ(e.what(), "Cannot cast from source type to destination type");
        EXPECT_EQ(e.level(), 1);
      }
      EXPECT_EQ(v.get_type(), c.from.get_type());  // left as it was
      EXPECT_EQ(v.to_string(), before);
      continue;
    }
    v.change_type(c.to);
    EXPECT_EQ(v.get_type(), c.result);
    EXPECT_EQ(v.to_string(), c.printed);
  }
}

ole_variant i8(long long v) { return ole_variant(v); }
ole_variant ui8(unsigned long long v) { return ole_variant(v); }

TEST(ole_variant, change_type_nothing_to_do) {
  ole_variant null;
  null.set_null();
  check_changes({
      {ole_variant(5), VT_I4, VT_I4, "5"},
      {ole_variant(), VT_I4, VT_EMPTY, ""},
      {null, VT_BSTR, VT_NULL, ""},
      {ole_variant(std::vector<uint8_t>{1}), VT_BLOB, VT_ARRAY_UI1, "0x01"},
      {ole_variant(std::vector<uint8_t>{1}), VT_BLOB_OBJECT, VT_ARRAY_UI1, "0x01"},
  });
}

TEST(ole_variant, change_type_from_64_bit) {
  check_changes({
      {i8(5), VT_CY, VT_CY, "5"},
      {i8(65536), VT_BOOL, VT_BOOL, "1"},
      {i8(0), VT_BOOL, VT_BOOL, "0"},
      {i8(65536), VT_I2, VT_ERROR, ""},  // does not fit
      {i8(-32768), VT_I2, VT_I2, "-32768"},
      {i8(65535), VT_UI2, VT_UI2, "65535"},
      {i8(-1), VT_I4, VT_I4, "-1"},
      {i8(4294967296), VT_UI4, VT_ERROR, ""},
      {i8(-5), VT_INT, VT_INT, "-5"},
      {i8(5), VT_UINT, VT_UINT, "5"},
      {i8(-128), VT_I1, VT_I1, "-128"},
      {i8(256), VT_UI1, VT_ERROR, ""},
      {i8(5), VT_R8, VT_R8, "5.000000000000000e+00"},
      {i8(5), VT_R4, VT_R4, "5.000000e+00"},
      {i8(INT64_MAX), VT_DECIMAL, VT_DECIMAL, "9223372036854775807"},
      {i8(INT64_MIN), VT_DECIMAL, VT_DECIMAL, "-9223372036854775808"},
      {i8(-42), VT_BSTR, VT_BSTR, "-42"},
      {i8(922337203685477), VT_CY, VT_CY, "922337203685477"},
      {i8(922337203685478), VT_CY, VT_ERROR, ""},
      {i8(-1), VT_UI8, VT_ERROR, ""},
      {i8(7), VT_UI8, VT_UI8, "7"},
      {i8(5), VT_DATE, VT_ERROR, ""},
      {i8(5), VT_ERROR, VT_ERROR, ""},
      {ui8(UINT64_MAX), VT_BSTR, VT_BSTR, "18446744073709551615"},
      {ui8(UINT64_MAX), VT_R8, VT_R8, "1.844674407370955e+19"},
      {ui8(UINT64_MAX), VT_DECIMAL, VT_DECIMAL, "18446744073709551615"},
      {ui8(UINT64_MAX), VT_I8, VT_ERROR, ""},
      {ui8(INT64_MAX), VT_I8, VT_I8, "9223372036854775807"},
      {ui8(3), VT_I2, VT_I2, "3"},
  });
  ole_variant v = i8(5);
  v.change_type(VT_CY);
  EXPECT_EQ(v.get_cy().value, 50000);  // 5.0000
  EXPECT_EQ(v.get_int64(), 0);
}

TEST(ole_variant, change_type_to_64_bit) {
  check_changes({
      {ole_variant(CY{25000}), VT_I8, VT_I8, "3"},
      {ole_variant(CY{24000}), VT_I8, VT_I8, "2"},
      {ole_variant(CY{-25000}), VT_I8, VT_I8, "-2"},
      {ole_variant(CY{-26000}), VT_I8, VT_I8, "-3"},
      {ole_variant(CY{-25001}), VT_I8, VT_I8, "-3"},
      {ole_variant(CY{-4000}), VT_UI8, VT_UI8, "0"},
      {ole_variant(CY{-26000}), VT_UI8, VT_ERROR, ""},
      {ole_variant(dec("2.5")), VT_I8, VT_I8, "3"},
      {ole_variant(dec("-2.5")), VT_I8, VT_I8, "-2"},
      // beyond the currency range, still a 64-bit number
      {ole_variant(dec("9223372036854775807")), VT_I8, VT_I8, "9223372036854775807"},
      {ole_variant(dec("10000000000000000000")), VT_UI8, VT_UI8, "10000000000000000000"},
      {ole_variant(dec("1e20")), VT_UI8, VT_ERROR, ""},
      {ole_variant(-5), VT_I8, VT_I8, "-5"},
      {ole_variant(-5), VT_UI8, VT_ERROR, ""},
      {ole_variant(static_cast<short>(-5)), VT_I8, VT_I8, "-5"},
      {ole_variant(4000000000u), VT_I8, VT_I8, "4000000000"},
      {ole_variant(static_cast<unsigned char>(200)), VT_UI8, VT_UI8, "200"},
      {ole_variant(true), VT_I8, VT_I8, "-1"},
      {ole_variant(true), VT_UI8, VT_UI8, "18446744073709551615"},
      {ole_variant(2.9), VT_I8, VT_I8, "2"},  // truncated
      {ole_variant(-2.9), VT_I8, VT_I8, "-2"},
      {ole_variant(-0.5), VT_UI8, VT_UI8, "0"},
      {ole_variant(1e30), VT_I8, VT_ERROR, ""},
      {ole_variant(std::nan("")), VT_I8, VT_ERROR, ""},
      {ole_variant(u"12"), VT_I8, VT_ERROR, ""},
      {ole_variant(record(2011, 1, 1)), VT_I8, VT_ERROR, ""},
  });
}

TEST(ole_variant, change_type_dates) {
  check_changes({
      {ole_variant(record(2011, 12, 31, 10, 20, 30)), VT_BSTR, VT_BSTR, "2011-12-31 10:20:30"},
      {ole_variant(record(0, 0, 0, 10, 20, 30)), VT_BSTR, VT_BSTR, "0000-00-00 10:20:30"},
      {ole_variant(record(0, 0, 0)), VT_BSTR, VT_BSTR, "0000-00-00 00:00:00"},
      {ole_variant(record(2011, 12, 31)), VT_I4, VT_ERROR, ""},
      {ole_variant(record(2011, 12, 31)), VT_R8, VT_ERROR, ""},
      {ole_variant(u"2011-12-31 10:20:30"), VT_DATE, VT_DATE, "2011-12-31 10:20:30"},
      {ole_variant(u"2011-13-31 10:20:30"), VT_DATE, VT_EMPTY, ""},  // 19 characters, no date
      {ole_variant(u"2011-12-31"), VT_DATE, VT_ERROR, ""},
      {ole_variant(5), VT_DATE, VT_ERROR, ""},
  });
}

TEST(ole_variant, change_type_to_bytes) {
  struct {
    ole_variant from;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {ole_variant(static_cast<char>(-1)), {0xFF}},
      {ole_variant(static_cast<unsigned char>(7)), {7}},
      {ole_variant(static_cast<short>(0x0102)), {0x02, 0x01}},
      {ole_variant(true), {0xFF, 0xFF}},
      {ole_variant(static_cast<unsigned short>(0x0102)), {0x02, 0x01}},
      {ole_variant(0x01020304), {4, 3, 2, 1}},
      {ole_variant(1.0f), {0, 0, 0x80, 0x3F}},
      {ole_variant(1.0), {0, 0, 0, 0, 0, 0, 0xF0, 0x3F}},
      {ole_variant(CY{1}), {1, 0, 0, 0, 0, 0, 0, 0}},
      {i8(-2), {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {ui8(0x0102), {2, 1, 0, 0, 0, 0, 0, 0}},
      {ole_variant(dec("-1.5")), {0, 0, 1, 0x80, 0, 0, 0, 0, 15, 0, 0, 0, 0, 0, 0, 0}},
      {ole_variant(record(2011, 12, 31, 10)),
       {0xDB, 0x07, 12, 0, 0, 0, 31, 0, 10, 0, 0, 0, 0, 0, 0, 0}},
      {ole_variant(u"\u00e9t\u00e9"), {0xC3, 0xA9, 't', 0xC3, 0xA9}},  // UTF-8, uncut
  };
  for (auto& c : cases) {
    for (VARTYPE to : {VT_ARRAY_UI1, VT_BLOB, VT_BLOB_OBJECT}) {
      ole_variant v(c.from);
      v.change_type(to);
      EXPECT_EQ(v.get_type(), VT_ARRAY_UI1);
      EXPECT_EQ(bytes_of(v), c.bytes) << c.from.to_string();
    }
  }
  ole_variant text(u"x");
  text.change_type(VT_ARRAY_UI1);
  EXPECT_EQ(text.to_string(), "0x78");
}

TEST(ole_variant, change_type_general) {
  check_changes({
      {ole_variant(70000), VT_I2, VT_ERROR, ""},
      {ole_variant(-1), VT_UI4, VT_ERROR, ""},
      {ole_variant(static_cast<unsigned char>(255)), VT_I1, VT_ERROR, ""},
      {ole_variant(4000000000u), VT_I4, VT_ERROR, ""},
      {ole_variant(2.5), VT_I4, VT_I4, "2"},  // to nearest, ties to even
      {ole_variant(3.5), VT_I4, VT_I4, "4"},
      {ole_variant(-2.5), VT_I2, VT_I2, "-2"},
      {ole_variant(std::nan("")), VT_I4, VT_ERROR, ""},
      {ole_variant(3e9), VT_I4, VT_ERROR, ""},
      {ole_variant(CY{25000}), VT_I4, VT_I4, "2"},
      {ole_variant(CY{35000}), VT_I2, VT_I2, "4"},
      {ole_variant(dec("2.5")), VT_UI1, VT_UI1, "2"},
      {ole_variant(dec("1e12")), VT_I4, VT_ERROR, ""},
      {ole_variant(true), VT_I2, VT_I2, "-1"},
      {ole_variant(true), VT_UI1, VT_UI1, "255"},
      {ole_variant(5), VT_BOOL, VT_BOOL, "1"},
      {ole_variant(0.0), VT_BOOL, VT_BOOL, "0"},
      {ole_variant(dec("0.00")), VT_BOOL, VT_BOOL, "0"},
      {ole_variant(CY{1}), VT_BOOL, VT_BOOL, "1"},
      {ole_variant(5), VT_R8, VT_R8, "5.000000000000000e+00"},
      {ole_variant(1e39), VT_R4, VT_ERROR, ""},
      {ole_variant(0.5), VT_R4, VT_R4, "5.000000e-01"},
      {ole_variant(dec("12.5")), VT_R8, VT_R8, "1.250000000000000e+01"},
      {ole_variant(CY{-25000}), VT_R8, VT_R8, "-2.500000000000000e+00"},
      {ole_variant(5), VT_CY, VT_CY, "5"},
      {ole_variant(0.1), VT_CY, VT_CY, "0.1"},
      {ole_variant(1e300), VT_CY, VT_ERROR, ""},
      {ole_variant(dec("1.23455")), VT_CY, VT_CY, "1.2346"},
      {ole_variant(true), VT_CY, VT_CY, "-1"},
      {ole_variant(5), VT_DECIMAL, VT_DECIMAL, "5"},
      {ole_variant(0.1), VT_DECIMAL, VT_DECIMAL, "0.1"},
      {ole_variant(0.1f), VT_DECIMAL, VT_DECIMAL, "0.1"},
      {ole_variant(CY{50000}), VT_DECIMAL, VT_DECIMAL, "5.0000"},
      {ole_variant(1e300), VT_DECIMAL, VT_ERROR, ""},
      {ole_variant(5), VT_BSTR, VT_BSTR, "5"},
      {ole_variant(true), VT_BSTR, VT_BSTR, "-1"},
      {ole_variant(false), VT_BSTR, VT_BSTR, "0"},
      {ole_variant(3.5), VT_BSTR, VT_BSTR, "3.5"},
      {ole_variant(1e20), VT_BSTR, VT_BSTR, "1E+20"},
      {ole_variant(0.1f), VT_BSTR, VT_BSTR, "0.1"},
      {ole_variant(CY{25000}), VT_BSTR, VT_BSTR, "2.5"},
      {ole_variant(dec("12.50")), VT_BSTR, VT_BSTR, "12.50"},
      {ole_variant(u" 12 "), VT_I4, VT_I4, "12"},
      {ole_variant(u"12abc"), VT_I4, VT_ERROR, ""},
      {ole_variant(u""), VT_I4, VT_ERROR, ""},
      {ole_variant(u"2.5"), VT_I4, VT_I4, "2"},
      {ole_variant(u"1e3"), VT_I2, VT_I2, "1000"},
      {ole_variant(u"99999"), VT_I2, VT_ERROR, ""},
      {ole_variant(u"true"), VT_BOOL, VT_BOOL, "1"},
      {ole_variant(u"False"), VT_BOOL, VT_BOOL, "0"},
      {ole_variant(u"0.0"), VT_BOOL, VT_BOOL, "0"},
      {ole_variant(u"maybe"), VT_BOOL, VT_ERROR, ""},
      {ole_variant(u"1e3"), VT_R8, VT_R8, "1.000000000000000e+03"},
      {ole_variant(u"1,5"), VT_R8, VT_ERROR, ""},
      {ole_variant(u"1e999"), VT_R8, VT_ERROR, ""},
      {ole_variant(u"inf"), VT_R8, VT_ERROR, ""},
      {ole_variant(u"1e-999"), VT_R8, VT_R8, "0.000000000000000e+00"},
      {ole_variant(u"12.345"), VT_DECIMAL, VT_DECIMAL, "12.345"},
      {ole_variant(u"1.23455"), VT_CY, VT_CY, "1.2346"},
      {ole_variant(u"\u00e912"), VT_I4, VT_ERROR, ""},
      {ole_variant(5), VT_EMPTY, VT_EMPTY, ""},
      {ole_variant(5), VT_NULL, VT_ERROR, ""},
      {ole_variant(std::vector<uint8_t>{1}), VT_BSTR, VT_ERROR, ""},
      {ole_variant(std::vector<uint8_t>{1}), VT_I4, VT_ERROR, ""},
  });
}

// ---- GUIDs --------------------------------------------------------------------------------------

TEST(ole_guid_extractor, finds_announced_guids_only) {
  const char* guid = "{6B29FC40-CA47-1067-B31D-00DD010662DA}";
  struct {
    std::string text;
    bool found;
  } cases[] = {
      {std::string("interface guid = ") + guid, true},
      {std::string("INTERFACE GUID = ") + guid + " and more", true},
      {std::string("guid") + guid + "..", false},           // 44 characters: too short
      {std::string("guid") + guid + "...", true},           // 45
      {std::string("the id is ") + guid + " here", false},  // no word
      {std::string("a guid but {not a guid at all, just braces}"), false},
      {std::string("guid {6B29FC40-CA47-1067-B31D-00DD010662D} is one digit short"), false},
      {std::string("{6B29FC40-CA47-1067-B31D-00DD010662DA} before the guid word"), false},
  };
  for (auto& c : cases) {
    ole_guid_extractor narrow(c.text);
    ole_guid_extractor wide(tk_utf8_to_wide(c.text));
    EXPECT_EQ(narrow.is_found(), c.found) << c.text;
    EXPECT_EQ(wide.is_found(), c.found) << c.text;
    if (c.found) {
      EXPECT_EQ(wide.get_guid(), w(guid));
      EXPECT_EQ(wide.get_guid_digits(), u"6B29FC40CA471067B31D00DD010662DA");
      std::string digits;
      narrow.get_guid_digits(digits);
      EXPECT_EQ(digits, "6B29FC40CA471067B31D00DD010662DA");
    } else {
      EXPECT_EQ(wide.get_guid(), u"");
      EXPECT_EQ(wide.get_guid_digits(), u"");
    }
  }
}

// ---- traces -------------------------------------------------------------------------------------

TEST(ole_variant, traces_name_what_happened) {
  std::string file = ::testing::TempDir() + "ole_variant_trace.log";
  std::remove(file.c_str());
  {
    tk_log log(file, true, 1, false);
    ole_variant::from_string("0A0", VT_ARRAY_UI1);
    ole_variant::from_string("0A0B", VT_BLOB);
    ole_variant::from_string("abc", VT_DECIMAL);
    ole_variant::from_string("abc", VT_CY);
    ole_variant::from_string("2011-12-31 10:20:30", VT_DATE);
    ole_variant::from_string("42", VT_INT);
    ole_variant::from_string("nonsense text", VT_DATE);
    ole_variant(true).to_string();
    ole_variant(record(0, 0, 0));
    ole_variant(5).change_type(VT_R8);
    ole_variant(dec("2.5")).to_double();
    ole_variant(CY{1}).to_double();
    ole_variant(dec("1e12")).to_long();
    ole_variant(std::vector<uint8_t>(3));
    ole_date("10:20:30.5");
    ole_date("2011-00-00");
    ole_date("2011-12-00");
    ole_date("2011-13-01");
    ole_date("2011");
    ole_date("0000-00-00");
    ole_date("10:61:00");
    ole_guid_extractor(
        std::string("a long enough text with the guid {6B29FC40-CA47-1067-B31D-00DD010662DA}"));
  }
  std::ifstream in(file);
  std::stringstream all;
  all << in.rdbuf();
  std::string text = all.str();
  const char* lines[] = {
      "ole_variant::from_string('0A0', 0x00002011)\r\n",
      "Incorrect BLOB (size is odd)\r\n",
      "Got BLOB size: 2\r\n",
      "VarDecFromStr failed: 80020005\r\n",
      "VarCyFromStr failed: 80020005\r\n",
      "Got datetime using Microsoft API\r\n",
      "VariantChangeType succeeded\r\n",
      "Invalid date/time format: 'nonsense text'\r\n",
      "Mapping BOOL like ANSI!\r\n",
      "Failed to convert SYSTEMTIME->VARIANT\r\n",
      "ole_variant::change_type(old=3,new=5)\r\n",
      "from DECIMAL: res=2.5, hr=00000000\r\n",
      "from CURRECY: res=0.0001, hr=00000000\r\n",
      "from DECIMAL, hr=8002000A\r\n",
      "ole_variant::allocate_safe_array (size=3)\r\n",
      "After processing: 10:20:31\r\n",
      "Invalid month\r\n",
      "Invalid day and/or year\r\n",
      "Invalid date/time format: '2011'\r\n",
      "DATETIME is a pute time\r\n",
      "Invalid time\r\n",
      "Locating 'guid' (28 : 33)\r\n",
  };
  for (const char* line : lines) EXPECT_NE(text.find(line), std::string::npos) << line;
}

}  // namespace
