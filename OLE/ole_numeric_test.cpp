#include "ole_numeric.h"

#include <gtest/gtest.h>

#include <charconv>
#include <string>

namespace {

std::string dec_text(const DECIMAL& d) {
  char buf[ole_numeric_text_max];
  return std::string(buf, ole_numeric::dec_to_text(d, buf));
}

std::string cy_text(const CY& c) {
  char buf[ole_numeric_text_max];
  return std::string(buf, ole_numeric::cy_to_text(c, buf));
}

DECIMAL dec(const char* text) {
  DECIMAL d;
  EXPECT_EQ(ole_numeric::dec_from_text(text, d), ole_s_ok) << text;
  return d;
}

TEST(ole_numeric, decimal_text_survives_unchanged) {
  const char* cases[] = {
      "0",
      "12.50",
      "-12.5",
      "0.001",
      "1234567890123456789012345678",    // 28 significant digits
      "0.1234567890123456789012345678",  // 28 digits of fraction
      "-1.234567890123456789012345678",
      "9999999999999999999999999999",
      "79228162514264337593543950335",  // the largest magnitude
      "-7922816251426433759354395033.5",
      "0.0000000000000000000000000001",  // the smallest step
  };
  for (const char* text : cases) EXPECT_EQ(dec_text(dec(text)), text);
}

TEST(ole_numeric, decimal_text_normalised_forms) {
  struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"+1.5", "1.5"},
      {"  3  ", "3"},
      {"1.5e3", "1500"},
      {"1.5E-3", "0.0015"},
      {"-0", "0"},
      {"-0.00", "0.00"},
      {".5", "0.5"},
      {"5.", "5"},
      {"007.10", "7.10"},
      {"12e+0", "12"},
      // fraction digits beyond what fits are rounded half to even
      {"0.12345678901234567890123456785", "0.1234567890123456789012345678"},
      {"0.12345678901234567890123456795", "0.1234567890123456789012345680"},
      {"0.123456789012345678901234567851", "0.1234567890123456789012345679"},
      {"1.00000000000000000000000000005", "1.0000000000000000000000000000"},
      {"0.00000000000000000000000000001", "0.0000000000000000000000000000"},
  };
  for (auto& c : cases) EXPECT_EQ(dec_text(dec(c.in)), c.out) << c.in;
}

TEST(ole_numeric, decimal_text_failures_leave_output) {
  struct {
    const char* in;
    uint32_t hr;
  } cases[] = {
      {"", ole_e_type_mismatch},
      {"abc", ole_e_type_mismatch},
      {"1.2.3", ole_e_type_mismatch},
      {"1,5", ole_e_type_mismatch},
      {"12abc", ole_e_type_mismatch},
      {"1e", ole_e_type_mismatch},
      {"--1", ole_e_type_mismatch},
      {"-", ole_e_type_mismatch},
      {"79228162514264337593543950336", ole_e_overflow},
      {"1e29", ole_e_overflow},
      {"123456789012345678901234567890123456789012345", ole_e_overflow},
  };
  for (auto& c : cases) {
    DECIMAL d = dec("7.5");
    EXPECT_EQ(ole_numeric::dec_from_text(c.in, d), c.hr) << c.in;
    EXPECT_EQ(dec_text(d), "7.5") << c.in;
  }
}

TEST(ole_numeric, decimal_malformed_scale_prints_nothing) {
  DECIMAL d;
  d.lo64 = 5;
  d.scale = 29;
  EXPECT_EQ(dec_text(d), "");
  double x = 1;
  EXPECT_NE(ole_numeric::dec_to_double(d, x), ole_s_ok);
}

TEST(ole_numeric, decimal_to_integer_rounding) {
  struct {
    const char* in;
    int64_t even, up;
  } cases[] = {
      {"2.5", 2, 3},
      {"3.5", 4, 4},
      {"2.4", 2, 2},
      {"-2.5", -2, -2},
      {"-3.5", -4, -3},
      {"-2.6", -3, -3},
      {"2.5000001", 3, 3},
      {"-0.4", 0, 0},
      {"9223372036854775807", INT64_MAX, INT64_MAX},
      {"-9223372036854775808", INT64_MIN, INT64_MIN},
  };
  for (auto& c : cases) {
    int64_t v = 0;
    ASSERT_EQ(ole_numeric::dec_to_int64(dec(c.in), ole_numeric::half_even, v), ole_s_ok) << c.in;
    EXPECT_EQ(v, c.even) << c.in;
    ASSERT_EQ(ole_numeric::dec_to_int64(dec(c.in), ole_numeric::half_up, v), ole_s_ok) << c.in;
    EXPECT_EQ(v, c.up) << c.in;
  }
  int64_t v = 0;
  EXPECT_EQ(ole_numeric::dec_to_int64(dec("9223372036854775808"), ole_numeric::half_even, v),
            ole_e_overflow);
  uint64_t u = 0;
  EXPECT_EQ(ole_numeric::dec_to_uint64(dec("18446744073709551615"), ole_numeric::half_even, u),
            ole_s_ok);
  EXPECT_EQ(u, UINT64_MAX);
  EXPECT_EQ(ole_numeric::dec_to_uint64(dec("-1"), ole_numeric::half_even, u), ole_e_overflow);
}

TEST(ole_numeric, decimal_and_double) {
  // Correct rounding: the same double the text gives.
  const char* texts[] = {"0.1",
                         "12.50",
                         "-3.3333333333333333333333333333",
                         "79228162514264337593543950335",
                         "0.0000000000000000000000000001",
                         "123456789.123456789"};
  for (const char* text : texts) {
    double expected = 0, got = 1;
    std::string s(text);
    std::from_chars(s.data(), s.data() + s.size(), expected);
    ASSERT_EQ(ole_numeric::dec_to_double(dec(text), got), ole_s_ok);
    EXPECT_EQ(got, expected) << text;
  }
  struct {
    double in;
    int digits;
    const char* out;
  } from[] = {
      {0.1, 15, "0.1"},   {1.0 / 3, 15, "0.333333333333333"},
      {-2.5, 15, "-2.5"}, {1e20, 15, "100000000000000000000"},
      {0.1f, 7, "0.1"},   {0, 15, "0"},
  };
  for (auto& c : from) {
    DECIMAL d;
    ASSERT_EQ(ole_numeric::dec_from_double(c.in, c.digits, d), ole_s_ok);
    EXPECT_EQ(dec_text(d), c.out);
  }
  DECIMAL d;
  EXPECT_EQ(ole_numeric::dec_from_double(1e300, 15, d), ole_e_overflow);
  EXPECT_EQ(ole_numeric::dec_from_double(1.0 / 0.0, 15, d), ole_e_overflow);
}

TEST(ole_numeric, currency) {
  struct {
    const char* in;
    int64_t value;
    const char* out;
  } cases[] = {
      {"5", 50000, "5"},
      {"2.5", 25000, "2.5"},
      {"-0.0001", -1, "-0.0001"},
      {"1.23455", 12346, "1.2346"},  // half to even
      {"1.23445", 12344, "1.2344"},
      {"922337203685477.5807", INT64_MAX, "922337203685477.5807"},
      {"-922337203685477.5808", INT64_MIN, "-922337203685477.5808"},
      {" 12.10 ", 121000, "12.1"},
  };
  for (auto& c : cases) {
    CY cy;
    ASSERT_EQ(ole_numeric::cy_from_text(c.in, cy), ole_s_ok) << c.in;
    EXPECT_EQ(cy.value, c.value) << c.in;
    EXPECT_EQ(cy_text(cy), c.out) << c.in;
  }
  CY cy{7};
  EXPECT_EQ(ole_numeric::cy_from_text("922337203685477.5808", cy), ole_e_overflow);
  EXPECT_EQ(ole_numeric::cy_from_text("1,5", cy), ole_e_type_mismatch);
  EXPECT_EQ(cy.value, 7);
  EXPECT_EQ(ole_numeric::cy_from_int64(922337203685478, cy), ole_e_overflow);
  EXPECT_EQ(ole_numeric::cy_from_double(0.1, cy), ole_s_ok);
  EXPECT_EQ(cy.value, 1000);
  EXPECT_EQ(ole_numeric::cy_to_double(CY{25000}), 2.5);
  EXPECT_EQ(ole_numeric::cy_to_double(CY{INT64_MAX}), 922337203685477.5807);
  DECIMAL d;
  ASSERT_EQ(ole_numeric::dec_from_cy(CY{50000}, d), ole_s_ok);
  EXPECT_EQ(dec_text(d), "5.0000");
  ASSERT_EQ(ole_numeric::dec_to_cy(dec("0.00005"), cy), ole_s_ok);
  EXPECT_EQ(cy.value, 0);  // an exact half to the even 0
  int64_t i = 0;
  ASSERT_EQ(ole_numeric::cy_to_int64(CY{-25000}, ole_numeric::half_up, i), ole_s_ok);
  EXPECT_EQ(i, -2);
  ASSERT_EQ(ole_numeric::cy_to_int64(CY{-25000}, ole_numeric::half_even, i), ole_s_ok);
  EXPECT_EQ(i, -2);
  ASSERT_EQ(ole_numeric::cy_to_int64(CY{35000}, ole_numeric::half_even, i), ole_s_ok);
  EXPECT_EQ(i, 4);
}

}  // namespace
