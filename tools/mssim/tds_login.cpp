// PRELOGIN and LOGIN7 decoding, and the PRELOGIN answer.
#include "tds_login.h"

#include "tds_wire.h"

namespace mssim {

namespace {
constexpr uint8_t pl_version = 0x00;
constexpr uint8_t pl_encryption = 0x01;
constexpr uint8_t pl_instopt = 0x02;
constexpr uint8_t pl_threadid = 0x03;
constexpr uint8_t pl_mars = 0x04;
constexpr uint8_t pl_terminator = 0xFF;
}  // namespace

prelogin_request parse_prelogin(const std::string& payload) {
  prelogin_request req;
  tds_reader r(payload);
  bool first = true;
  for (;;) {
    uint8_t option = r.u8();
    if (option == pl_terminator) break;
    uint16_t offset = r.u16_be();
    uint16_t length = r.u16_be();
    if (static_cast<size_t>(offset) + length > payload.size())
      throw tds_protocol_error("PRELOGIN option " + std::to_string(option) +
                               " points outside the message");
    if (first && option != pl_version)
      throw tds_protocol_error("PRELOGIN does not start with VERSION");
    first = false;
    std::string_view data(payload.data() + offset, length);
    switch (option) {
      case pl_version:
        req.has_version = true;
        break;
      case pl_encryption:
        if (length >= 1) req.encryption = static_cast<uint8_t>(data[0]);
        break;
      case pl_mars:
        if (length >= 1) req.mars = data[0] != 0;
        break;
      default:
        break;  // instance name, thread id, trace id, federated authentication: not used
    }
  }
  if (!req.has_version) throw tds_protocol_error("PRELOGIN without VERSION");
  return req;
}

std::string build_prelogin_response(uint8_t major, uint8_t minor, uint16_t build) {
  struct option {
    uint8_t token;
    std::string data;
  };
  std::string version;
  version.push_back(static_cast<char>(major));
  version.push_back(static_cast<char>(minor));
  version.push_back(static_cast<char>(build >> 8));
  version.push_back(static_cast<char>(build & 0xFF));
  version.append(2, '\0');  // sub-build
  const option options[] = {
      {pl_version, version},
      {pl_encryption, std::string(1, static_cast<char>(encrypt::not_supported))},
      {pl_instopt, std::string(1, '\0')},
      {pl_threadid, std::string()},
      {pl_mars, std::string(1, '\0')},
  };
  tds_writer w;
  size_t offset = std::size(options) * 5 + 1;
  for (const option& o : options) {
    w.u8(o.token);
    w.u16_be(static_cast<uint16_t>(offset));
    w.u16_be(static_cast<uint16_t>(o.data.size()));
    offset += o.data.size();
  }
  w.u8(pl_terminator);
  for (const option& o : options) w.raw(o.data);
  return std::move(w.bytes());
}

std::string unscramble_password(std::string bytes) {
  for (char& c : bytes) {
    auto b = static_cast<uint8_t>(static_cast<uint8_t>(c) ^ 0xA5);
    c = static_cast<char>(static_cast<uint8_t>((b << 4) | (b >> 4)));
  }
  return bytes;
}

std::string scramble_password(std::string bytes) {
  for (char& c : bytes) {
    auto b = static_cast<uint8_t>(c);
    b = static_cast<uint8_t>((b << 4) | (b >> 4));
    c = static_cast<char>(b ^ 0xA5);
  }
  return bytes;
}

login7_request parse_login7(const std::string& payload) {
  login7_request req;
  tds_reader r(payload);
  uint32_t length = r.u32();
  if (length > payload.size() || length < 86)
    throw tds_protocol_error("LOGIN7 length " + std::to_string(length) + " does not fit");
  req.tds_version = r.u32();
  req.packet_size = r.u32();
  req.client_prog_version = r.u32();
  req.client_pid = r.u32();
  r.u32();  // connection id
  req.option_flags1 = r.u8();
  req.option_flags2 = r.u8();
  req.type_flags = r.u8();
  req.option_flags3 = r.u8();
  r.i32();  // client time zone
  r.u32();  // client LCID

  // The offsets count from the start of the record; lengths are in characters for text.
  auto text_at = [&](uint16_t offset, uint16_t chars) -> std::u16string {
    if (chars == 0) return {};
    if (static_cast<size_t>(offset) + 2u * chars > length)
      throw tds_protocol_error("LOGIN7 field points outside the record");
    return utf16le_to_text(std::string_view(payload.data() + offset, 2u * chars));
  };
  struct field {
    uint16_t offset, length;
  };
  auto next = [&]() {
    field f;
    f.offset = r.u16();
    f.length = r.u16();
    return f;
  };
  field host = next(), user = next(), password = next(), app = next(), server = next();
  field extension = next(), library = next(), language = next(), database = next();
  r.raw(6);  // client id (MAC address)
  field sspi = next(), attach = next();
  field change{0, 0};
  uint32_t sspi_long = 0;
  // TDS 7.2 added the new-password field and the long SSPI length; the variable part then
  // starts at offset 94 instead of 86.
  if (host.offset >= 94) {
    change = next();
    sspi_long = r.u32();
  }
  req.host_name = text_at(host.offset, host.length);
  req.user_name = text_at(user.offset, user.length);
  if (password.length) {
    if (static_cast<size_t>(password.offset) + 2u * password.length > length)
      throw tds_protocol_error("LOGIN7 password points outside the record");
    std::string raw =
        unscramble_password(std::string(payload.data() + password.offset, 2u * password.length));
    req.password = utf16le_to_text(raw);
  }
  req.app_name = text_at(app.offset, app.length);
  req.server_name = text_at(server.offset, server.length);
  req.library_name = text_at(library.offset, library.length);
  req.language = text_at(language.offset, language.length);
  req.database = text_at(database.offset, database.length);
  req.attach_db_file = text_at(attach.offset, attach.length);
  if (change.length) {
    if (static_cast<size_t>(change.offset) + 2u * change.length > length)
      throw tds_protocol_error("LOGIN7 new password points outside the record");
    req.change_password = utf16le_to_text(
        unscramble_password(std::string(payload.data() + change.offset, 2u * change.length)));
  }
  req.sspi_length = sspi.length == 0xFFFF ? sspi_long : sspi.length;

  // TDS 7.4: with fExtension, ibExtension points at a DWORD holding the FeatureExt offset.
  if ((req.option_flags3 & 0x10) && extension.length >= 4) {
    if (static_cast<size_t>(extension.offset) + 4 > payload.size())
      throw tds_protocol_error("LOGIN7 extension offset points outside the record");
    tds_reader off(payload.data() + extension.offset, 4);
    uint32_t feature_offset = off.u32();
    if (feature_offset >= payload.size())
      throw tds_protocol_error("LOGIN7 FeatureExt points outside the message");
    tds_reader f(payload.data() + feature_offset, payload.size() - feature_offset);
    req.has_feature_ext = true;
    for (;;) {
      uint8_t id = f.u8();
      if (id == 0xFF) break;
      uint32_t len = f.u32();
      f.skip(len);
      req.features.push_back(id);
    }
  }
  return req;
}

}  // namespace mssim
