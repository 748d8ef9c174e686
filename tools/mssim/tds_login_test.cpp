// PRELOGIN, LOGIN7 and the login reply, checked against the protocol's worked examples.
#include "tds_login.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tds_packet.h"
#include "tds_test_util.h"
#include "tds_tokens.h"
#include "tds_wire.h"

namespace mssim {
namespace {

using test::hex;

// The PRELOGIN request of the protocol examples (without its packet header).
const char prelogin_example[] =
    "00 00 1A 00 06 01 00 20 00 01 02 00 21 00 01 03 00 22 00 04 04 00 26 00"
    "01 FF 09 00 00 00 00 00 01 00 B8 0D 00 00 01";

TEST(Prelogin, DecodesTheExampleRequest) {
  prelogin_request r = parse_prelogin(hex(prelogin_example));
  EXPECT_TRUE(r.has_version);
  EXPECT_EQ(r.encryption, encrypt::on);
  EXPECT_TRUE(r.mars);
}

TEST(Prelogin, RefusesOptionsOutsideTheMessageAndAMissingVersion) {
  // ENCRYPTION first, pointing past the end.
  EXPECT_THROW(parse_prelogin(hex("01 00 06 00 01 FF")), tds_protocol_error);
  EXPECT_THROW(parse_prelogin(hex("00 00 0B 00 06 FF 09 00")), tds_protocol_error);
  EXPECT_THROW(parse_prelogin(hex("FF")), tds_protocol_error);
  EXPECT_THROW(parse_prelogin(""), tds_protocol_error);
}

TEST(Prelogin, AnswerSaysEncryptionIsNotSupported) {
  std::string a = build_prelogin_response(16, 0, 1000);
  // Five options of five bytes and a terminator, then VERSION (6), ENCRYPTION (1), INSTOPT (1),
  // THREADID (0), MARS (1).
  EXPECT_EQ(hex_dump(a), hex_dump(hex("00 00 1A 00 06 01 00 20 00 01 02 00 21 00 01 03 00 22 00 00"
                                      "04 00 22 00 01 FF 10 00 03 E8 00 00 02 00 00")));
  // And reads back as a well-formed PRELOGIN.
  EXPECT_EQ(parse_prelogin(a).encryption, encrypt::not_supported);
}

// The LOGIN7 of the protocol examples: TDS 7.2, host skostov1, user sa, no password,
// application OSQL-32, library ODBC.
const char login7_example[] =
    "88 00 00 00 02 00 09 72 00 10 00 00 00 00 00 07 00 01 00 00 00 00 00 00"
    "E0 03 00 00 00 00 00 00 09 04 00 00 5E 00 08 00 6E 00 02 00 72 00 00 00"
    "72 00 07 00 80 00 00 00 80 00 00 00 80 00 04 00 88 00 00 00 88 00 00 00"
    "00 50 8B E2 B7 8F 88 00 00 00 88 00 00 00 88 00 00 00 00 00 00 00 73 00"
    "6B 00 6F 00 73 00 74 00 6F 00 76 00 31 00 73 00 61 00 4F 00 53 00 51 00"
    "4C 00 2D 00 33 00 32 00 4F 00 44 00 42 00 43 00";

TEST(Login7, DecodesTheExampleRequest) {
  login7_request r = parse_login7(hex(login7_example));
  EXPECT_EQ(r.tds_version, tds_version::v7_2);
  EXPECT_EQ(r.packet_size, 4096u);
  EXPECT_EQ(r.host_name, u"skostov1");
  EXPECT_EQ(r.user_name, u"sa");
  EXPECT_EQ(r.password, u"");
  EXPECT_EQ(r.app_name, u"OSQL-32");
  EXPECT_EQ(r.library_name, u"ODBC");
  EXPECT_EQ(r.database, u"");
  EXPECT_TRUE(r.odbc());
  EXPECT_FALSE(r.integrated_security());
  EXPECT_FALSE(r.has_feature_ext);
}

// Builds a TDS 7.4 LOGIN7 with the given fields, the way clients lay it out.
std::string make_login7(const std::u16string& user, const std::u16string& password,
                        const std::u16string& database, bool feature_ext) {
  const std::u16string fields[] = {u"host", user, u"", u"app", u"srv", u"", u"lib", u"", database};
  tds_writer data;
  size_t base = 94;
  std::vector<std::pair<uint16_t, uint16_t>> ol;
  for (int i = 0; i < 9; ++i) {
    const std::u16string& f = fields[i];
    if (i == 2) {  // password
      ol.emplace_back(static_cast<uint16_t>(base + data.size()),
                      static_cast<uint16_t>(password.size()));
      data.raw(scramble_password(text_to_utf16le(password)));
    } else if (i == 5) {  // extension: a DWORD offset to FeatureExt
      ol.emplace_back(static_cast<uint16_t>(base + data.size()), feature_ext ? 4 : 0);
      if (feature_ext) data.u32(0);  // patched below
    } else {
      ol.emplace_back(static_cast<uint16_t>(base + data.size()), static_cast<uint16_t>(f.size()));
      data.ucs2(f);
    }
  }
  size_t feature_at = base + data.size();
  if (feature_ext) {
    data.u8(0x0A);  // UTF-8 support
    data.u32(1);
    data.u8(1);
    data.u8(0xFF);
  }
  tds_writer w;
  size_t total = base + data.size();
  w.u32(static_cast<uint32_t>(total));
  w.u32(tds_version::v7_4);
  w.u32(8192);
  w.u32(7);
  w.u32(1234);
  w.u32(0);
  w.u8(0xE0);
  w.u8(0x03);
  w.u8(0);
  w.u8(feature_ext ? 0x10 : 0);
  w.u32(0);
  w.u32(0x409);
  for (auto [o, l] : ol) {
    w.u16(o);
    w.u16(l);
  }
  w.raw(std::string(6, '\0'));
  for (int i = 0; i < 3; ++i) {  // SSPI, attach file, change password
    w.u16(static_cast<uint16_t>(total));
    w.u16(0);
  }
  w.u32(0);
  EXPECT_EQ(w.size(), base);
  std::string out = w.bytes() + data.bytes();
  if (feature_ext) {
    size_t pos = ol[5].first;
    for (int i = 0; i < 4; ++i) out[pos + i] = static_cast<char>(feature_at >> (8 * i));
  }
  return out;
}

TEST(Login7, UnscramblesPasswordsAndReadsFeatureExt) {
  const std::u16string passwords[] = {u"Passw0rd!", u"", u"\u00e4\u20ac;}x", u"a"};
  for (const auto& pw : passwords) {
    login7_request r = parse_login7(make_login7(u"sa", pw, u"shop", true));
    EXPECT_EQ(r.password, pw);
    EXPECT_EQ(r.user_name, u"sa");
    EXPECT_EQ(r.database, u"shop");
    EXPECT_EQ(r.packet_size, 8192u);
    EXPECT_TRUE(r.has_feature_ext);
    ASSERT_EQ(r.features.size(), 1u);
    EXPECT_EQ(r.features[0], 0x0A);
  }
}

TEST(Login7, ScramblingIsTheNibbleSwapAndXor) {
  // 'a' = 0x61 -> nibbles swapped 0x16 -> XOR 0xA5 = 0xB3.
  EXPECT_EQ(scramble_password("a"), "\xB3");
  EXPECT_EQ(unscramble_password("\xB3"), "a");
}

TEST(Login7, RefusesFieldsOutsideTheRecord) {
  std::string good = make_login7(u"sa", u"pw", u"db", false);
  // User name offset moved past the end.
  std::string bad = good;
  bad[40] = static_cast<char>(0xF0);
  EXPECT_THROW(parse_login7(bad), tds_protocol_error);
  // Length field larger than the message.
  bad = good;
  bad[0] = static_cast<char>(0xFF);
  bad[1] = static_cast<char>(0x7F);
  EXPECT_THROW(parse_login7(bad), tds_protocol_error);
  // Truncated inside the fixed part.
  EXPECT_THROW(parse_login7(good.substr(0, 50)), tds_protocol_error);
}

// The login response of the protocol examples, token for token.
const char login_response_example[] =
    "E3 1B 00 01 06 6D 00 61 00 73 00 74 00 65 00 72 00 06 6D 00 61 00 73 00 74 00 65 00 72 00"
    "AB 58 00 45 16 00 00 02 00 25 00 43 00 68 00 61 00 6E 00 67 00 65 00 64 00 20 00 64 00 61"
    "00 74 00 61 00 62 00 61 00 73 00 65 00 20 00 63 00 6F 00 6E 00 74 00 65 00 78 00 74 00 20"
    "00 74 00 6F 00 20 00 27 00 6D 00 61 00 73 00 74 00 65 00 72 00 27 00 2E 00 00 00 00 00 00"
    "00 E3 08 00 07 05 09 04 D0 00 34 00 E3 17 00 02 0A 75 00 73 00 5F 00 65 00 6E 00 67 00 6C"
    "00 69 00 73 00 68 00 00 E3 13 00 04 04 34 00 30 00 39 00 36 00 04 34 00 30 00 39 00 36 00"
    "AB 5C 00 47 16 00 00 01 00 27 00 43 00 68 00 61 00 6E 00 67 00 65 00 64 00 20 00 6C 00 61"
    "00 6E 00 67 00 75 00 61 00 67 00 65 00 20 00 73 00 65 00 74 00 74 00 69 00 6E 00 67 00 20"
    "00 74 00 6F 00 20 00 75 00 73 00 5F 00 65 00 6E 00 67 00 6C 00 69 00 73 00 68 00 2E 00 00"
    "00 00 00 00 00 AD 36 00 01 72 09 00 02 16 4D 00 69 00 63 00 72 00 6F 00 73 00 6F 00 66 00"
    "74 00 20 00 53 00 51 00 4C 00 20 00 53 00 65 00 72 00 76 00 65 00 72 00 00 00 00 00 00 00"
    "00 00 FD 00 00 00 00 00 00 00 00 00 00 00 00";

TEST(LoginReply, MatchesTheExampleResponse) {
  login_reply r;
  r.database = u"master";
  r.old_database = u"master";
  r.server = u"";
  r.tds_version = tds_version::v7_2;
  // The example's server sends its name with two trailing NULs and version 0.0.0.
  r.prog_name = std::u16string(u"Microsoft SQL Server") + u'\0' + u'\0';
  r.version.major = r.version.minor = r.version.build = 0;
  tds_writer w;
  tds_format f;
  f.version = tds_version::v7_2;
  write_login_reply(w, f, r);
  EXPECT_EQ(hex_dump(w.bytes()), hex_dump(hex(login_response_example)));
}

TEST(LoginReply, CarriesTheVersionAndFeatureAck) {
  login_reply r;
  r.database = u"shop";
  r.old_database = u"master";
  r.server = u"MSSIM";
  r.version.major = 8;
  r.version.minor = 0;
  r.version.build = 2039;
  r.feature_ext_ack = true;
  r.packet_size = 8192;
  tds_writer w;
  write_login_reply(w, tds_format{}, r);
  const std::string& b = w.bytes();
  // LOGINACK: TDS 7.4 and ProgVersion 8.0.2039 (0x07F7).
  EXPECT_NE(b.find(hex("74 00 00 04")), std::string::npos);
  std::string ack_tail = hex("08 00 07 F7 AE FF FD");
  EXPECT_NE(b.find(ack_tail), std::string::npos);
  EXPECT_NE(b.find(text_to_utf16le(u"8192")), std::string::npos);
}

TEST(Packet, SplitsRepliesAtThePacketSize) {
  int fds[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  tds_reply reply(fds[0], 51);
  reply.set_packet_size(512);
  std::string body(1200, 'x');
  reply.w.raw(body);
  reply.flush_full();
  reply.finish();
  ::shutdown(fds[0], SHUT_WR);
  std::string got;
  std::vector<size_t> sizes;
  tds_packet p;
  std::vector<uint8_t> status;
  while (read_packet(fds[1], p)) {
    EXPECT_EQ(p.type, packet::reply);
    sizes.push_back(p.data.size());
    status.push_back(p.status);
    got += p.data;
  }
  ::close(fds[0]);
  ::close(fds[1]);
  EXPECT_EQ(got, body);
  ASSERT_EQ(sizes.size(), 3u);
  EXPECT_EQ(sizes[0], 504u);
  EXPECT_EQ(sizes[1], 504u);
  EXPECT_EQ(sizes[2], 192u);
  EXPECT_EQ(status[0], 0);
  EXPECT_EQ(status[2], packet::status_eom);
}

TEST(Packet, RefusesBadHeaders) {
  int fds[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  // Length 4 (below the header size), then a header whose data never comes.
  std::string bad = hex("01 01 00 04 00 00 01 00");
  ASSERT_EQ(::write(fds[0], bad.data(), bad.size()), static_cast<ssize_t>(bad.size()));
  tds_packet p;
  EXPECT_THROW(read_packet(fds[1], p), tds_protocol_error);
  std::string cut = hex("01 01 00 20 00 00 01 00 41 42");
  ASSERT_EQ(::write(fds[0], cut.data(), cut.size()), static_cast<ssize_t>(cut.size()));
  ::shutdown(fds[0], SHUT_WR);
  EXPECT_THROW(read_packet(fds[1], p), tds_protocol_error);
  ::close(fds[0]);
  ::close(fds[1]);
}

}  // namespace
}  // namespace mssim
