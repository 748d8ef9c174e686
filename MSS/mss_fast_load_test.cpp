#include "mss_fast_load.h"

#include <gtest/gtest.h>

#include <cstring>

#include "mss_stream.h"
#include "mss_vers.h"
#include "odb_exce.h"
#include "ole_variant.h"

namespace {

DECIMAL dec(const char* text) { return ole_variant::from_string(text, VT_DECIMAL).get_decimal(); }

// The magnitude and sign of an encoded numeric.
std::string decode(const uint8_t n[19]) {
  unsigned __int128 m = 0;
  for (int i = 15; i >= 0; --i) m = m << 8 | n[3 + i];
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
    m /= 10;
  } while (m);
  return std::string(n[2] ? "" : "-") + digits + "/" + std::to_string(n[0]) + "," +
         std::to_string(n[1]);
}

SYSTEMTIME st(uint16_t y, uint16_t mo, uint16_t d, uint16_t h = 0, uint16_t mi = 0, uint16_t s = 0,
              uint16_t ms = 0) {
  SYSTEMTIME r;
  r.wYear = y;
  r.wMonth = mo;
  r.wDay = d;
  r.wHour = h;
  r.wMinute = mi;
  r.wSecond = s;
  r.wMilliseconds = ms;
  return r;
}

}  // namespace

TEST(mss_mem_stream, write_read_and_references) {
  mss_mem_stream* s = mss_mem_stream::create();
  uint32_t n = 0;
  EXPECT_EQ(s->write("abcdef", 6, &n), mss_s_ok);
  EXPECT_EQ(n, 6u);
  EXPECT_EQ(s->write(nullptr, 1, &n), mss_stg_e_invalidpointer);
  char buf[8] = {};
  EXPECT_EQ(s->read(buf, 4, &n), mss_s_ok);
  EXPECT_EQ(std::string(buf, n), "abcd");
  EXPECT_EQ(s->read(buf, 4, &n), mss_s_false);  // only two were left
  EXPECT_EQ(std::string(buf, n), "ef");
  EXPECT_EQ(s->read(nullptr, 1, &n), mss_stg_e_invalidpointer);
  const uint8_t* p = s->prefixed();
  int32_t length = 0;
  std::memcpy(&length, p, 4);
  EXPECT_EQ(length, 6);
  EXPECT_EQ(std::memcmp(p + 4, "abcdef", 6), 0);

  void* out = nullptr;
  EXPECT_EQ(s->query_interface(mss_mem_stream::iid_sequential_stream, &out), mss_s_ok);
  EXPECT_EQ(out, s);
  EXPECT_EQ(s->query_interface(mss_mem_stream::iid_other, &out), mss_e_nointerface);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(s->release(), 1u);  // the reference query_interface added
  EXPECT_EQ(s->add_ref(), 2u);
  EXPECT_EQ(s->release(), 1u);
  EXPECT_EQ(s->release(), 0u);  // deleted
}

TEST(mss_encode_numeric, exact_digits_at_the_column_scale) {
  struct row {
    const char* value;
    uint8_t precision, scale;
    const char* encoded;  // nullptr: does not fit
  } rows[] = {
      {"123.456", 5, 2, "12346/5,2"},
      {"123.454", 5, 2, "12345/5,2"},
      {"-123.455", 5, 2, "-12346/5,2"},  // half away from zero
      {"1.5", 10, 3, "1500/10,3"},
      {"999.995", 5, 2, nullptr},
      {"-0.001", 5, 2, "0/5,2"},  // rounds to zero, which has no sign
      {"12345678901234567890123456.78", 28, 2, "1234567890123456789012345678/28,2"},
      {"18446744073709551615", 20, 0, "18446744073709551615/20,0"},
      {"1", 38, 38, nullptr},
      {"0.5", 38, 38, "50000000000000000000000000000000000000/38,38"},
  };
  for (const row& r : rows) {
    uint8_t out[19];
    const bool ok = mss_encode_numeric(dec(r.value), r.precision, r.scale, out);
    EXPECT_EQ(ok, r.encoded != nullptr) << r.value;
    if (ok && r.encoded) EXPECT_EQ(decode(out), r.encoded) << r.value;
  }
  uint8_t out[19];
  EXPECT_FALSE(mss_encode_numeric(dec("1"), 0, 0, out));
  EXPECT_FALSE(mss_encode_numeric(dec("1"), 39, 0, out));
}

TEST(mss_encode_datetime, days_and_ticks) {
  struct row {
    SYSTEMTIME record;
    bool ok;
    int32_t days, ticks;
  } rows[] = {
      {st(1900, 1, 1), true, 0, 0},
      {st(1753, 1, 1), true, -53690, 0},
      {st(9999, 12, 31, 23, 59, 59, 997), true, 2958463, 25919999},
      {st(2011, 12, 31, 10, 20, 30, 123), true, 40906, 11169037},
      {st(2011, 12, 30, 23, 59, 59, 999), true, 40906, 0},  // rounds into the next day
      {st(2012, 2, 29), true, 40966, 0},
      {st(2011, 2, 29), false, 0, 0},
      {st(1752, 12, 31), false, 0, 0},
      {st(2011, 0, 1), false, 0, 0},
      {st(2011, 1, 1, 24), false, 0, 0},
  };
  for (const row& r : rows) {
    int32_t days = 0, ticks = 0;
    EXPECT_EQ(mss_encode_datetime(r.record, days, ticks), r.ok)
        << r.record.wYear << "-" << r.record.wMonth << "-" << r.record.wDay;
    if (r.ok) {
      EXPECT_EQ(days, r.days);
      EXPECT_EQ(ticks, r.ticks);
    }
  }
}

TEST(mss_bcp_plan, binding_per_column_type) {
  udb_schema schema;
  odb_columns_info columns;
  auto add = [&](VARTYPE vt, uint16_t type, uint32_t size, uint32_t flags, uint8_t p = 0,
                 uint8_t s = 0) {
    schema.add(t_ftd(u"c", vt, size));
    odb_column_info c;
    c.type = type;
    c.column_size = size;
    c.flags = flags;
    c.precision = p;
    c.scale = s;
    columns.push_back(c);
  };
  const uint32_t nullable = dbcolumnflags::isnullable;
  add(VT_I2, dbtype::i2, 2, 0);
  add(VT_I4, dbtype::i4, 4, nullable);
  add(VT_R8, dbtype::r8, 8, nullable);
  add(VT_CY, dbtype::cy, 8, nullable);
  add(VT_DATE, dbtype::dbtimestamp, 16, nullable);
  add(VT_BOOL, dbtype::boolean, 2, nullable);
  add(VT_DECIMAL, dbtype::numeric, 19, nullable, 28, 2);
  add(VT_UI1, dbtype::ui1, 1, nullable);
  add(VT_I8, dbtype::i8, 8, nullable);
  add(VT_BSTR, dbtype::wstr, 50, nullable);
  add(VT_BSTR, dbtype::wstr, 0xFFFFFFFF, nullable | dbcolumnflags::islong);
  add(VT_BSTR, dbtype::wstr, 4001, nullable);  // over 8000 bytes
  add(VT_BLOB, dbtype::bytes, 255, nullable);
  add(VT_BLOB, dbtype::bytes, 0xFFFFFFFF, nullable | dbcolumnflags::islong);

  const std::vector<mss_bcp_column> plan = mss_bcp_plan(schema, columns, mss_version_2005);
  struct expect {
    int host;
    bool stream;
    size_t capacity;
  } expected[] = {
      {mss_bcp_type::int2, false, 2},     {mss_bcp_type::int4, false, 4},
      {mss_bcp_type::flt8, false, 8},     {mss_bcp_type::numeric, false, 19},
      {mss_bcp_type::datetime, false, 8}, {mss_bcp_type::bit, false, 1},
      {mss_bcp_type::numeric, false, 19}, {mss_bcp_type::int1, false, 1},
      {mss_bcp_type::int8, false, 8},     {mss_bcp_type::character, false, 150},
      {mss_bcp_type::character, true, 0}, {mss_bcp_type::character, true, 0},
      {mss_bcp_type::binary, false, 255}, {mss_bcp_type::binary, true, 0},
  };
  ASSERT_EQ(plan.size(), std::size(expected));
  size_t offset = 0;
  for (size_t i = 0; i < plan.size(); ++i) {
    EXPECT_EQ(plan[i].host_type, expected[i].host) << i;
    EXPECT_EQ(plan[i].stream, expected[i].stream) << i;
    EXPECT_EQ(plan[i].capacity, expected[i].capacity) << i;
    EXPECT_EQ(plan[i].offset, offset) << i;  // each slot after the previous one and its prefix
    offset += 4 + plan[i].capacity;
  }
  EXPECT_FALSE(plan[0].nullable);
  EXPECT_EQ(plan[3].precision, 19);
  EXPECT_EQ(plan[3].scale, 4);
  EXPECT_EQ(plan[6].precision, 28);
  EXPECT_EQ(plan[6].scale, 2);
  // Without 64-bit integer columns the value goes as a double (the column is a float there).
  EXPECT_EQ(mss_bcp_plan(schema, columns, mss_version_7)[8].host_type, mss_bcp_type::flt8);
}

namespace {

template <class T>
T as(const mss_bound_value& v) {
  T out{};
  EXPECT_EQ(v.bytes.size(), sizeof out);
  if (v.bytes.size() == sizeof out) std::memcpy(&out, v.bytes.data(), sizeof out);
  return out;
}

mss_bcp_column plan_of(const t_ftd& f, uint32_t size = 0, uint8_t precision = 0, uint8_t scale = 0,
                       bool nullable = true) {
  udb_schema schema;
  schema.add(f);
  odb_columns_info columns(1);
  columns[0].column_size = size;
  columns[0].precision = precision;
  columns[0].scale = scale;
  columns[0].flags = nullable ? dbcolumnflags::isnullable : 0;
  return mss_bcp_plan(schema, columns, mss_version_2012_or_later)[0];
}

ole_variant null_value() {
  ole_variant v;
  v.set_null();
  return v;
}

}  // namespace

// The bulk path writes what the statement path writes for the same value (mss_literal_test.cpp
// holds the statement side of these cases).
TEST(mss_fast_value, same_rules_as_the_statement_path) {
  t_ftd int_nn(u"i", VT_I4, 0, true);
  EXPECT_EQ(as<int32_t>(mss_fast_value(null_value(), int_nn, plan_of(int_nn), 1)), 0);
  t_ftd int_def(u"i", VT_I4, 0, true);
  int_def.default_value = ole_variant(7);
  EXPECT_EQ(as<int32_t>(mss_fast_value(null_value(), int_def, plan_of(int_def), 1)), 7);

  t_ftd text_nn(u"t", VT_BSTR, 5, true);
  mss_bound_value empty = mss_fast_value(null_value(), text_nn, plan_of(text_nn, 5), 1);
  EXPECT_FALSE(empty.is_null);
  EXPECT_EQ(empty.bytes, "");
  t_ftd text(u"t", VT_BSTR, 5);
  EXPECT_TRUE(mss_fast_value(ole_variant(), text, plan_of(text, 5), 1).is_null);
  EXPECT_EQ(mss_fast_value(ole_variant(u"abcdefgh"), text, plan_of(text, 5), 1).bytes, "abcde");
  // A pair of surrogates is never cut in half.
  EXPECT_EQ(mss_fast_value(ole_variant(u"abcd\U0001F600"), text, plan_of(text, 5), 1).bytes,
            "abcd");
  EXPECT_EQ(mss_fast_value(ole_variant(u"\u00e4\u20ac"), text, plan_of(text, 5), 1).bytes,
            "\xC3\xA4\xE2\x82\xAC");

  t_ftd bin_nn(u"b", VT_BLOB, 0, true);
  mss_bound_value no_bytes = mss_fast_value(null_value(), bin_nn, plan_of(bin_nn, 10), 1);
  EXPECT_FALSE(no_bytes.is_null);
  EXPECT_EQ(no_bytes.bytes, "");
  t_ftd bin(u"b", VT_BLOB, 0);
  mss_bound_value empty_bytes =
      mss_fast_value(ole_variant(std::vector<uint8_t>{}), bin, plan_of(bin, 10), 1);
  EXPECT_FALSE(empty_bytes.is_null);
  EXPECT_EQ(empty_bytes.bytes, "");

  t_ftd date_nn(u"d", VT_DATE, 0, true, 1);
  int32_t dt[2];
  auto date_of = [&](const ole_variant& v, const t_ftd& f) {
    mss_bound_value b = mss_fast_value(v, f, plan_of(f), 1);
    EXPECT_EQ(b.bytes.size(), sizeof dt);
    std::memcpy(dt, b.bytes.data(), sizeof dt);
    return std::make_pair(dt[0], dt[1]);
  };
  EXPECT_EQ(date_of(null_value(), date_nn), std::make_pair(0, 0));  // 1900-01-01
  const int32_t ten_twenty_thirty = (10 * 3600 + 20 * 60 + 30) * 300;
  EXPECT_EQ(date_of(ole_variant(st(1000, 5, 6, 10, 20, 30)), date_nn),
            std::make_pair(-2, ten_twenty_thirty));  // 1899-12-30, the time kept
  EXPECT_EQ(date_of(ole_variant(st(0, 0, 0, 10, 20, 30)), date_nn),
            std::make_pair(-2, ten_twenty_thirty));
  t_ftd date(u"d", VT_DATE, 0, false, 1);
  EXPECT_TRUE(mss_fast_value(ole_variant(st(2011, 0, 5)), date, plan_of(date), 1).is_null);
  try {
    mss_fast_value(ole_variant(st(2011, 2, 30)), date, plan_of(date), 1);
    ADD_FAILURE() << "no exception";
  } catch (const odb_exception& e) {
    EXPECT_EQ(e.code(), 0x80E07);
  }

  t_ftd d52(u"n", VT_DECIMAL, 0, false, 2 | 5 << 8);
  uint8_t n[19];
  auto numeric_of = [&](const char* text) {
    mss_bound_value b =
        mss_fast_value(ole_variant::from_string(text, VT_DECIMAL), d52, plan_of(d52, 19, 5, 2), 1);
    EXPECT_EQ(b.bytes.size(), sizeof n);
    std::memcpy(n, b.bytes.data(), sizeof n);
    return decode(n);
  };
  EXPECT_EQ(numeric_of("12345.67"), "99999/5,2");
  EXPECT_EQ(numeric_of("-12345.67"), "-99999/5,2");
  EXPECT_EQ(numeric_of("123.456"), "12346/5,2");

  t_ftd cy(u"m", VT_CY);
  mss_bound_value money =
      mss_fast_value(ole_variant::from_string("-12.3456", VT_CY), cy, plan_of(cy, 8), 1);
  std::memcpy(n, money.bytes.data(), sizeof n);
  EXPECT_EQ(decode(n), "-123456/19,4");

  t_ftd real(u"r", VT_R8);
  EXPECT_EQ(as<double>(mss_fast_value(ole_variant(1e-320), real, plan_of(real), 1)), 2.23e-308);
  EXPECT_EQ(
      as<double>(mss_fast_value(ole_variant(-1.7976931348623157e308), real, plan_of(real), 1)),
      -1.79e308);

  t_ftd big(u"b", VT_I8);
  EXPECT_EQ(as<int64_t>(mss_fast_value(ole_variant(int64_t{1} << 62), big, plan_of(big), 1)),
            int64_t{1} << 62);
}
