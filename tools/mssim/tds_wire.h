// The byte-level vocabulary of the stand-in's TDS 7.x side: message, token and data type codes,
// a little-endian writer and a bounds-checked reader over one message's payload, and the text
// conversions the wire needs (UTF-16LE for identifiers and Unicode data, code page 1252 for the
// non-Unicode types, which is the code page of the collation the server announces).
//
// Everything that reads client bytes goes through `tds_reader`, which throws `tds_protocol_error`
// instead of reading past the end: a malformed message ends the connection, never the process.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace mssim {

// A client sent bytes that do not form the message it announced.
class tds_protocol_error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The data ended before a read completed. `needed` is the offset (from the reader's start)
// the read would have had to reach, so a streaming decoder knows how much more to fetch.
class tds_short_read : public tds_protocol_error {
 public:
  tds_short_read(const std::string& what, size_t needed_offset)
      : tds_protocol_error(what), needed(needed_offset) {}
  size_t needed;
};

// Packet header types.
namespace packet {
constexpr uint8_t sql_batch = 0x01;
constexpr uint8_t rpc = 0x03;
constexpr uint8_t reply = 0x04;  // tabular result
constexpr uint8_t attention = 0x06;
constexpr uint8_t bulk_load = 0x07;
constexpr uint8_t transaction_manager = 0x0E;
constexpr uint8_t login7 = 0x10;
constexpr uint8_t sspi = 0x11;
constexpr uint8_t prelogin = 0x12;
// Status bits.
constexpr uint8_t status_eom = 0x01;
constexpr uint8_t status_ignore = 0x02;
constexpr uint8_t status_reset = 0x08;
constexpr uint8_t status_reset_keep_tran = 0x10;
constexpr size_t header_size = 8;
}  // namespace packet

// Token codes of the reply stream.
namespace token {
constexpr uint8_t returnstatus = 0x79;
constexpr uint8_t colmetadata = 0x81;
constexpr uint8_t error = 0xAA;
constexpr uint8_t info = 0xAB;
constexpr uint8_t returnvalue = 0xAC;
constexpr uint8_t loginack = 0xAD;
constexpr uint8_t featureextack = 0xAE;
constexpr uint8_t row = 0xD1;
constexpr uint8_t nbcrow = 0xD2;
constexpr uint8_t envchange = 0xE3;
constexpr uint8_t done = 0xFD;
constexpr uint8_t doneproc = 0xFE;
constexpr uint8_t doneinproc = 0xFF;
}  // namespace token

// DONE, DONEPROC and DONEINPROC status bits.
namespace done_status {
constexpr uint16_t final_ = 0x0000;
constexpr uint16_t more = 0x0001;
constexpr uint16_t error = 0x0002;
constexpr uint16_t inxact = 0x0004;
constexpr uint16_t count = 0x0010;
constexpr uint16_t attn = 0x0020;
constexpr uint16_t srverror = 0x0100;
}  // namespace done_status

// ENVCHANGE types.
namespace env {
constexpr uint8_t database = 1;
constexpr uint8_t language = 2;
constexpr uint8_t packet_size = 4;
constexpr uint8_t collation = 7;
}  // namespace env

// Data type codes (TYPE_INFO).
namespace tdstype {
// Fixed length.
constexpr uint8_t null_ = 0x1F;
constexpr uint8_t int1 = 0x30;
constexpr uint8_t bit = 0x32;
constexpr uint8_t int2 = 0x34;
constexpr uint8_t int4 = 0x38;
constexpr uint8_t datetim4 = 0x3A;
constexpr uint8_t flt4 = 0x3B;
constexpr uint8_t money = 0x3C;
constexpr uint8_t datetime = 0x3D;
constexpr uint8_t flt8 = 0x3E;
constexpr uint8_t money4 = 0x7A;
constexpr uint8_t int8 = 0x7F;
// One-byte length.
constexpr uint8_t guid = 0x24;
constexpr uint8_t intn = 0x26;
constexpr uint8_t decimal = 0x37;  // legacy
constexpr uint8_t numeric = 0x3F;  // legacy
constexpr uint8_t bitn = 0x68;
constexpr uint8_t decimaln = 0x6A;
constexpr uint8_t numericn = 0x6C;
constexpr uint8_t fltn = 0x6D;
constexpr uint8_t moneyn = 0x6E;
constexpr uint8_t datetimn = 0x6F;
constexpr uint8_t daten = 0x28;
constexpr uint8_t timen = 0x29;
constexpr uint8_t datetime2n = 0x2A;
constexpr uint8_t datetimeoffsetn = 0x2B;
constexpr uint8_t char_ = 0x2F;      // legacy
constexpr uint8_t varchar = 0x27;    // legacy
constexpr uint8_t binary = 0x2D;     // legacy
constexpr uint8_t varbinary = 0x25;  // legacy
// Two-byte length.
constexpr uint8_t bigvarbin = 0xA5;
constexpr uint8_t bigvarchr = 0xA7;
constexpr uint8_t bigbinary = 0xAD;
constexpr uint8_t bigchar = 0xAF;
constexpr uint8_t nvarchar = 0xE7;
constexpr uint8_t nchar = 0xEF;
// Four-byte length.
constexpr uint8_t image = 0x22;
constexpr uint8_t text = 0x23;
constexpr uint8_t ntext = 0x63;
constexpr uint8_t ssvariant = 0x62;
constexpr uint8_t xml = 0xF1;
constexpr uint8_t udt = 0xF0;
}  // namespace tdstype

// TDS versions as the LOGIN7 and LOGINACK fields carry them.
namespace tds_version {
constexpr uint32_t v7_1 = 0x71000001;
constexpr uint32_t v7_2 = 0x72090002;
constexpr uint32_t v7_3a = 0x730A0003;
constexpr uint32_t v7_3b = 0x730B0003;
constexpr uint32_t v7_4 = 0x74000004;
}  // namespace tds_version

// The collation every character column and parameter carries: SQL_Latin1_General_CP1_CI_AS
// (LCID 0x0409, case/kana/width insensitive, sort id 52 = code page 1252).
constexpr uint8_t default_collation[5] = {0x09, 0x04, 0xD0, 0x00, 0x34};

// Appends little-endian values to a byte string.
class tds_writer {
 public:
  std::string& bytes() { return out_; }
  const std::string& bytes() const { return out_; }
  size_t size() const { return out_.size(); }

  void u8(uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void u16(uint16_t v);
  void u16_be(uint16_t v);
  void u32(uint32_t v);
  void u32_be(uint32_t v);
  void u64(uint64_t v);
  void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
  void i64(int64_t v) { u64(static_cast<uint64_t>(v)); }
  void f32(float v);
  void f64(double v);
  void raw(std::string_view b) { out_.append(b); }
  void raw(const uint8_t* p, size_t n) { out_.append(reinterpret_cast<const char*>(p), n); }
  // UTF-16LE code units without a length.
  void ucs2(std::u16string_view s);
  // B_VARCHAR: a one-byte character count, then UTF-16LE. Longer texts are cut at 255 units.
  void b_varchar(std::u16string_view s);
  // US_VARCHAR: a two-byte character count, then UTF-16LE. Cut at 65535 units.
  void us_varchar(std::u16string_view s);
  // Overwrites two bytes at `pos` (for lengths known only after the body is written).
  void patch_u16(size_t pos, uint16_t v);

 private:
  std::string out_;
};

// Reads little-endian values from a message payload; every read is bounds-checked.
class tds_reader {
 public:
  tds_reader(const char* data, size_t size) : p_(data), end_(data + size), begin_(data) {}
  explicit tds_reader(std::string_view s) : tds_reader(s.data(), s.size()) {}
  // The reader keeps pointers into its data: a temporary would leave them dangling.
  explicit tds_reader(std::string&&) = delete;

  size_t remaining() const { return static_cast<size_t>(end_ - p_); }
  size_t offset() const { return static_cast<size_t>(p_ - begin_); }
  bool at_end() const { return p_ == end_; }

  uint8_t u8();
  uint16_t u16();
  uint16_t u16_be();
  uint32_t u32();
  uint32_t u32_be();
  uint64_t u64();
  int32_t i32() { return static_cast<int32_t>(u32()); }
  int64_t i64() { return static_cast<int64_t>(u64()); }
  float f32();
  double f64();
  std::string_view raw(size_t n);
  void skip(size_t n) { raw(n); }
  // `chars` UTF-16LE code units.
  std::u16string ucs2(size_t chars);
  std::u16string b_varchar() { return ucs2(u8()); }
  std::u16string us_varchar() { return ucs2(u16()); }

 private:
  void need(size_t n) const;
  const char* p_;
  const char* end_;
  const char* begin_;
};

// UTF-16LE bytes <-> UTF-16 text. An odd byte count is a protocol error.
std::u16string utf16le_to_text(std::string_view bytes);
std::string text_to_utf16le(std::u16string_view text);

// Code page 1252 (the announced collation's code page) <-> UTF-16. Characters 1252 cannot hold
// become '?', as SQL Server converts them.
std::u16string cp1252_to_text(std::string_view bytes);
std::string text_to_cp1252(std::u16string_view text);

// A printable dump of bytes ("12 01 00 2F ...") for test failure messages.
std::string hex_dump(std::string_view bytes);

}  // namespace mssim
