// SQL batch and RPC request decoding.
#include "tds_request.h"

#include "tds_values.h"

namespace mssim {

namespace {

// ALL_HEADERS (TDS 7.2+): a total length that counts itself, then headers that each start
// with their own length. Only their extent matters here (transaction descriptor, trace id).
void skip_all_headers(tds_reader& r, size_t payload_size, const tds_format& f) {
  if (!f.at_least(tds_version::v7_2)) return;
  uint32_t total = r.u32();
  if (total < 4 || total > payload_size)
    throw tds_protocol_error("ALL_HEADERS length out of range");
  size_t end = total;
  while (r.offset() < end) {
    uint32_t len = r.u32();
    if (len < 6 || r.offset() - 4 + len > end)
      throw tds_protocol_error("ALL_HEADERS header length out of range");
    r.skip(len - 4);
  }
}

}  // namespace

std::u16string proc_id_name(uint16_t id) {
  static const char16_t* const names[] = {
      u"sp_cursor",         u"sp_cursoropen",      u"sp_cursorprepare", u"sp_cursorexecute",
      u"sp_cursorprepexec", u"sp_cursorunprepare", u"sp_cursorfetch",   u"sp_cursoroption",
      u"sp_cursorclose",    u"sp_executesql",      u"sp_prepare",       u"sp_execute",
      u"sp_prepexec",       u"sp_prepexecrpc",     u"sp_unprepare"};
  if (id < 1 || id > 15) return {};
  return names[id - 1];
}

tm_request parse_tm(const std::string& payload, const tds_format& f) {
  tds_reader r(payload);
  skip_all_headers(r, payload.size(), f);
  tm_request t;
  t.type = r.u16();
  switch (t.type) {
    case tm_request::begin:
      t.isolation = r.u8();
      t.name = r.b_varchar();
      break;
    case tm_request::commit:
    case tm_request::rollback:
      t.name = r.b_varchar();
      t.begin_after = (r.u8() & 0x01) != 0;
      if (t.begin_after) {
        t.new_isolation = r.u8();
        t.new_name = r.b_varchar();
      }
      break;
    case tm_request::save:
      t.name = r.b_varchar();
      break;
    default:
      break;  // distributed transactions: the caller refuses them
  }
  return t;
}

std::u16string parse_sql_batch(const std::string& payload, const tds_format& f) {
  tds_reader r(payload);
  skip_all_headers(r, payload.size(), f);
  return utf16le_to_text(r.raw(r.remaining()));
}

std::vector<rpc_call> parse_rpc(const std::string& payload, const tds_format& f) {
  tds_reader r(payload);
  skip_all_headers(r, payload.size(), f);
  std::vector<rpc_call> calls;
  const uint8_t batch_flag = f.at_least(tds_version::v7_2) ? 0xFF : 0x80;
  while (!r.at_end()) {
    rpc_call call;
    uint16_t name_len = r.u16();
    if (name_len == 0xFFFF) {
      uint16_t id = r.u16();
      call.proc = proc_id_name(id);
      if (call.proc.empty())
        throw tds_protocol_error("RPC with unknown procedure id " + std::to_string(id));
    } else {
      if (name_len == 0) throw tds_protocol_error("RPC without a procedure name");
      call.proc = r.ucs2(name_len);
    }
    call.option_flags = r.u16();
    int position = 0;
    while (!r.at_end()) {
      // A separator ends this call; another call follows (or nothing, for a trailing flag).
      auto next = static_cast<uint8_t>(payload[r.offset()]);
      if (next == batch_flag || (batch_flag == 0xFF && next == 0xFE)) {
        r.u8();
        break;
      }
      ++position;
      std::u16string name = r.b_varchar();
      r.u8();  // status flags: by-reference (output) and default-value bits
      wire_column col;
      try {
        col = read_type_info(r, value_context::rpc);
      } catch (const tds_type_error& e) {
        // The rest of the message cannot be read without understanding this type.
        call.bad_param = position;
        call.bad_type = e.type_code;
        call.bad_param_name = name;
        calls.push_back(std::move(call));
        return calls;
      }
      value v = read_value(r, col, value_context::rpc);
      call.params.emplace_back(std::move(name), std::move(v));
    }
    calls.push_back(std::move(call));
  }
  if (calls.empty()) throw tds_protocol_error("RPC message without a call");
  return calls;
}

}  // namespace mssim
