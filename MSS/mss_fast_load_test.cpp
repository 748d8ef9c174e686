#include "mss_fast_load.h"

#include <gtest/gtest.h>

#include <cstring>

#include "mss_stream.h"
#include "mss_vers.h"
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
