// Byte writer and reader for TDS payloads, and the text encodings of the wire.
#include "tds_wire.h"

#include <cstring>

namespace mssim {

void tds_writer::u16(uint16_t v) {
  u8(static_cast<uint8_t>(v));
  u8(static_cast<uint8_t>(v >> 8));
}
void tds_writer::u16_be(uint16_t v) {
  u8(static_cast<uint8_t>(v >> 8));
  u8(static_cast<uint8_t>(v));
}
void tds_writer::u32(uint32_t v) {
  for (int i = 0; i < 4; ++i) u8(static_cast<uint8_t>(v >> (8 * i)));
}
void tds_writer::u32_be(uint32_t v) {
  for (int i = 3; i >= 0; --i) u8(static_cast<uint8_t>(v >> (8 * i)));
}
void tds_writer::u64(uint64_t v) {
  for (int i = 0; i < 8; ++i) u8(static_cast<uint8_t>(v >> (8 * i)));
}
void tds_writer::f32(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  u32(bits);
}
void tds_writer::f64(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  u64(bits);
}
void tds_writer::ucs2(std::u16string_view s) {
  for (char16_t c : s) u16(static_cast<uint16_t>(c));
}
void tds_writer::b_varchar(std::u16string_view s) {
  if (s.size() > 255) s = s.substr(0, 255);
  u8(static_cast<uint8_t>(s.size()));
  ucs2(s);
}
void tds_writer::us_varchar(std::u16string_view s) {
  if (s.size() > 65535) s = s.substr(0, 65535);
  u16(static_cast<uint16_t>(s.size()));
  ucs2(s);
}
void tds_writer::patch_u16(size_t pos, uint16_t v) {
  out_[pos] = static_cast<char>(v);
  out_[pos + 1] = static_cast<char>(v >> 8);
}

void tds_reader::need(size_t n) const {
  if (static_cast<size_t>(end_ - p_) < n)
    throw tds_short_read("message ends " + std::to_string(n - (end_ - p_)) +
                             " bytes early at offset " + std::to_string(p_ - begin_),
                         static_cast<size_t>(p_ - begin_) + n);
}
uint8_t tds_reader::u8() {
  need(1);
  return static_cast<uint8_t>(*p_++);
}
uint16_t tds_reader::u16() {
  need(2);
  uint16_t v = static_cast<uint8_t>(p_[0]) | (static_cast<uint8_t>(p_[1]) << 8);
  p_ += 2;
  return v;
}
uint16_t tds_reader::u16_be() {
  need(2);
  uint16_t v = (static_cast<uint8_t>(p_[0]) << 8) | static_cast<uint8_t>(p_[1]);
  p_ += 2;
  return v;
}
uint32_t tds_reader::u32() {
  need(4);
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(p_[i]);
  p_ += 4;
  return v;
}
uint32_t tds_reader::u32_be() {
  need(4);
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = (v << 8) | static_cast<uint8_t>(p_[i]);
  p_ += 4;
  return v;
}
uint64_t tds_reader::u64() {
  need(8);
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(p_[i]);
  p_ += 8;
  return v;
}
float tds_reader::f32() {
  uint32_t bits = u32();
  float v;
  std::memcpy(&v, &bits, 4);
  return v;
}
double tds_reader::f64() {
  uint64_t bits = u64();
  double v;
  std::memcpy(&v, &bits, 8);
  return v;
}
std::string_view tds_reader::raw(size_t n) {
  need(n);
  std::string_view v(p_, n);
  p_ += n;
  return v;
}
std::u16string tds_reader::ucs2(size_t chars) {
  std::string_view b = raw(chars * 2);
  return utf16le_to_text(b);
}

std::u16string utf16le_to_text(std::string_view bytes) {
  if (bytes.size() % 2 != 0) throw tds_protocol_error("UTF-16 data of odd byte length");
  std::u16string out(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                   (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
  return out;
}

std::string text_to_utf16le(std::u16string_view text) {
  std::string out(text.size() * 2, '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    out[2 * i] = static_cast<char>(text[i] & 0xFF);
    out[2 * i + 1] = static_cast<char>(text[i] >> 8);
  }
  return out;
}

namespace {
// Code page 1252 positions 0x80..0x9F; 0 marks the five unassigned ones.
constexpr char16_t cp1252_high[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
}  // namespace

std::u16string cp1252_to_text(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    auto b = static_cast<uint8_t>(ch);
    if (b >= 0x80 && b < 0xA0) {
      char16_t c = cp1252_high[b - 0x80];
      // Unassigned positions pass through as the C1 control of the same value, as the
      // best-fit table of the code page does.
      out.push_back(c ? c : static_cast<char16_t>(b));
    } else {
      out.push_back(static_cast<char16_t>(b));
    }
  }
  return out;
}

std::string text_to_cp1252(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    char mapped = '?';
    for (int k = 0; k < 32; ++k) {
      if (cp1252_high[k] == c || (cp1252_high[k] == 0 && c == 0x80 + k)) {
        mapped = static_cast<char>(0x80 + k);
        break;
      }
    }
    // A surrogate pair is one character and becomes one '?'.
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000)
      ++i;
    out.push_back(mapped);
  }
  return out;
}

std::string hex_dump(std::string_view bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    auto b = static_cast<uint8_t>(bytes[i]);
    if (i) out.push_back(' ');
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 15]);
  }
  return out;
}

}  // namespace mssim
