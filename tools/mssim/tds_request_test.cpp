// SQL batch and RPC decoding, and bulk-row values.
#include "tds_request.h"

#include <gtest/gtest.h>

#include "tds_test_util.h"
#include "tds_values.h"

namespace mssim {
namespace {

using test::hex;

const std::string all_headers =
    "16 00 00 00 12 00 00 00 02 00 00 00 00 00 00 00 00 01 00 00 00 00 ";

TEST(SqlBatch, TextFollowsTheHeaders) {
  tds_format f;
  std::string payload = hex(all_headers) + text_to_utf16le(u"\nselect 'foo' as 'bar'\n");
  EXPECT_EQ(parse_sql_batch(payload, f), u"\nselect 'foo' as 'bar'\n");
  // Before TDS 7.2 there are no headers.
  tds_format old;
  old.version = tds_version::v7_1;
  EXPECT_EQ(parse_sql_batch(text_to_utf16le(u"select 1"), old), u"select 1");
  // A header block that claims more than the message holds.
  EXPECT_THROW(parse_sql_batch(hex("FF 00 00 00 00 00"), f), tds_protocol_error);
  EXPECT_THROW(parse_sql_batch(hex("0A 00 00 00 20 00 00 00 02 00"), f), tds_protocol_error);
}

TEST(Rpc, DecodesTheExampleRequest) {
  // Procedure foo3 with one unnamed INTN(2) parameter sent as default (NULL).
  std::vector<rpc_call> calls = parse_rpc(
      hex(all_headers + "04 00 66 00 6F 00 6F 00 33 00 00 00 00 02 26 02 00"), tds_format{});
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].proc, u"foo3");
  ASSERT_EQ(calls[0].params.size(), 1u);
  EXPECT_EQ(calls[0].params[0].first, u"");
  EXPECT_EQ(calls[0].params[0].second.kind, value::null);
}

// One parameter: name, status, TYPE_INFO and value as hex.
std::string param(const std::u16string& name, const std::string& type_and_value) {
  tds_writer w;
  w.b_varchar(name);
  w.u8(0);
  return w.bytes() + hex(type_and_value);
}

TEST(Rpc, ExecutesqlByIdWithTypedNamedParametersAndASecondCall) {
  const std::string coll = "09 04 D0 00 34 ";
  tds_writer stmt;
  stmt.u16(static_cast<uint16_t>(2 * 8));
  stmt.ucs2(u"select 1");
  std::string payload = hex(all_headers + "FF FF 0A 00 00 00");
  // @stmt as nvarchar(max) (PLP in two chunks), @params as ntext (RPC form: 4-byte length).
  payload += param(u"", "E7 FF FF " + coll + "10 00 00 00 00 00 00 00 " +
                            "06 00 00 00 73 00 65 00 6C 00 0A 00 00 00 " +
                            hex_dump(text_to_utf16le(u"ect 1")) + " 00 00 00 00");
  payload +=
      param(u"", "63 10 00 00 00 " + coll + "0C 00 00 00 " + hex_dump(text_to_utf16le(u"@a int")));
  payload += param(u"@a", "26 04 04 2A 00 00 00");
  payload += param(u"@b", "A7 0A 00 " + coll + "03 00 61 E9 80");
  payload += param(u"@c", "6C 05 0A 02 05 01 39 30 00 00");
  payload += param(u"@d", "A5 40 1F FF FF");  // varbinary NULL
  payload += hex("FF");                       // next call
  payload += hex("09 00") + text_to_utf16le(u"sp_tables") + hex("00 00");
  payload += param(u"@table_name", "E7 08 00 " + coll + "02 00 74 00");
  std::vector<rpc_call> calls = parse_rpc(payload, tds_format{});
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].proc, u"sp_executesql");
  ASSERT_EQ(calls[0].params.size(), 6u);
  EXPECT_EQ(calls[0].params[0].second.s, u"select 1");
  EXPECT_EQ(calls[0].params[1].second.s, u"@a int");
  EXPECT_EQ(calls[0].params[2].first, u"@a");
  EXPECT_EQ(calls[0].params[2].second.i, 42);
  EXPECT_EQ(calls[0].params[3].second.s, u"a\u00e9\u20ac");
  EXPECT_EQ(calls[0].params[4].second.digits, "12345");
  EXPECT_EQ(calls[0].params[4].second.scale, 2);
  EXPECT_EQ(calls[0].params[5].second.kind, value::null);
  EXPECT_EQ(calls[1].proc, u"sp_tables");
  ASSERT_EQ(calls[1].params.size(), 1u);
  EXPECT_EQ(calls[1].params[0].second.s, u"t");
}

TEST(Rpc, UnknownParameterTypeIsReportedNotGuessed) {
  std::string payload = hex(all_headers) + hex("03 00") + text_to_utf16le(u"foo") + hex("00 00");
  payload += param(u"@x", "26 04 04 01 00 00 00");
  payload += param(u"@v", "62 10 00 00 00 00");  // sql_variant
  std::vector<rpc_call> calls = parse_rpc(payload, tds_format{});
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].bad_param, 2);
  EXPECT_EQ(calls[0].bad_type, 0x62);
  EXPECT_EQ(calls[0].bad_param_name, u"@v");
}

TEST(Rpc, RefusesMalformedCalls) {
  tds_format f;
  EXPECT_THROW(parse_rpc(hex(all_headers + "FF FF 63 00 00 00"), f), tds_protocol_error);
  EXPECT_THROW(parse_rpc(hex(all_headers + "00 00 00 00"), f), tds_protocol_error);
  EXPECT_THROW(parse_rpc(hex(all_headers + "05 00 66 00"), f), tds_protocol_error);
  // A value longer than the message.
  EXPECT_THROW(
      parse_rpc(hex(all_headers + "01 00 66 00 00 00 00 00 A7 0A 00 09 04 D0 00 34 05 00 61"), f),
      tds_protocol_error);
  EXPECT_THROW(parse_rpc(hex(all_headers), f), tds_protocol_error);
}

TEST(BulkValues, TextPointerFormsAndPlpChunks) {
  // ntext in a bulk row: text pointer, timestamp, length, data; NULL is one zero byte.
  const std::string meta_bytes = hex("63 FE FF FF 7F 09 04 D0 00 34 01 00 74 00");
  tds_reader meta(meta_bytes);
  wire_column c = read_type_info(meta, value_context::bulk_row);
  EXPECT_TRUE(meta.at_end());
  std::string row =
      hex("10") + std::string(24, '\xFF') + hex("04 00 00 00 61 00 62 00") + hex("00");
  tds_reader r(row);
  EXPECT_EQ(read_value(r, c, value_context::bulk_row).s, u"ab");
  EXPECT_EQ(read_value(r, c, value_context::bulk_row).kind, value::null);
  EXPECT_TRUE(r.at_end());

  // varbinary(max) with unknown total length, the way bulk clients send it.
  const std::string pm_bytes = hex("A5 FF FF");
  tds_reader pm(pm_bytes);
  wire_column p = read_type_info(pm, value_context::bulk_row);
  const std::string pv_bytes =
      hex("FE FF FF FF FF FF FF FF 02 00 00 00 01 02 01 00 00 00 03 00 00 00 00"
          "FE FF FF FF FF FF FF FF 00 00 00 00"
          "FF FF FF FF FF FF FF FF");
  tds_reader pv(pv_bytes);
  EXPECT_EQ(read_value(pv, p, value_context::bulk_row).b, "\x01\x02\x03");
  EXPECT_EQ(read_value(pv, p, value_context::bulk_row).b, "");
  EXPECT_EQ(read_value(pv, p, value_context::bulk_row).kind, value::null);
  // A known total that the chunks do not add up to.
  const std::string bad_bytes = hex("05 00 00 00 00 00 00 00 02 00 00 00 01 02 00 00 00 00");
  tds_reader bad(bad_bytes);
  EXPECT_THROW(read_value(bad, p, value_context::bulk_row), tds_protocol_error);
}

TEST(BulkValues, ShortDataSaysHowMuchIsNeeded) {
  const std::string m_bytes = hex("E7 40 1F 09 04 D0 00 34");
  tds_reader m(m_bytes);
  wire_column c = read_type_info(m, value_context::bulk_row);
  const std::string r_bytes = hex("0A 00 61 00");
  tds_reader r(r_bytes);
  try {
    read_value(r, c, value_context::bulk_row);
    FAIL() << "no short read";
  } catch (const tds_short_read& e) {
    EXPECT_EQ(e.needed, 12u);
  }
  // Odd-sized Unicode data and impossible lengths are errors, not short reads.
  const std::string odd_bytes = hex("03 00 61 00 62");
  tds_reader odd(odd_bytes);
  EXPECT_THROW(read_value(odd, c, value_context::bulk_row), tds_protocol_error);
  const std::string im_bytes = hex("26 04");
  tds_reader im(im_bytes);
  wire_column i = read_type_info(im, value_context::bulk_row);
  const std::string three_bytes = hex("03 01 02 03");
  tds_reader three(three_bytes);
  EXPECT_THROW(read_value(three, i, value_context::bulk_row), tds_protocol_error);
  const std::string xm_bytes = hex("F1 00");
  tds_reader xm(xm_bytes);
  EXPECT_THROW(read_type_info(xm, value_context::bulk_row), tds_type_error);
}

}  // namespace
}  // namespace mssim
