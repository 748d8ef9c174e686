// One TDS conversation: login, then requests until the end of the connection.
#include "tds_connection.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <system_error>

#include "tds_request.h"
#include "tds_values.h"

namespace mssim {

namespace {

// The queue holds at most this many packets before the reader waits (128 KiB at 4 KiB).
constexpr size_t inbox_capacity = 32;
// A request message (batch or RPC) larger than this ends the connection.
constexpr size_t max_message_bytes = size_t{1} << 30;
// CurCmd of a DONE that ends a SELECT; clients do not interpret it.
constexpr uint16_t curcmd_select = 0xC1;

char16_t ascii_lower(char16_t c) { return c >= u'A' && c <= u'Z' ? c + 32 : c; }

bool same_login(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  return true;
}

std::u16string number_text(long long n) { return from_utf8(std::to_string(n)); }

void log_line(const std::string& text) { std::fprintf(stderr, "mssim: %s\n", text.c_str()); }

}  // namespace

// ---- inbox -----------------------------------------------------------------------------

bool tds_connection::inbox::pop(tds_packet& out) {
  std::unique_lock<std::mutex> lock(mu_);
  cv_.wait(lock, [&] { return !q_.empty() || ended_; });
  if (q_.empty()) return false;
  out = std::move(q_.front());
  q_.pop_front();
  cv_.notify_all();
  return true;
}

void tds_connection::inbox::push(tds_packet p) {
  std::unique_lock<std::mutex> lock(mu_);
  if (p.type != packet::attention)
    cv_.wait(lock, [&] { return q_.size() < inbox_capacity || ended_; });
  if (ended_) return;
  q_.push_back(std::move(p));
  cv_.notify_all();
}

void tds_connection::inbox::end() {
  std::lock_guard<std::mutex> lock(mu_);
  ended_ = true;
  cv_.notify_all();
}

bool tds_connection::inbox::wait_attention(int ms) {
  std::unique_lock<std::mutex> lock(mu_);
  return cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] {
    return attention_count.load() > attention_acked || ended_;
  }) && attention_count.load() > attention_acked;
}

// ---- connection ------------------------------------------------------------------------

tds_connection::tds_connection(server_context& ctx, int fd)
    : ctx_(ctx), fd_(fd), spid_(ctx.next_spid++), reply_(fd, spid_) {}

tds_connection::~tds_connection() {
  close();
  if (reader_.joinable()) reader_.join();
  ::close(fd_);
}

void tds_connection::close() {
  if (!closed_.exchange(true)) ::shutdown(fd_, SHUT_RDWR);
}

void tds_connection::run() {
  try {
    if (login()) serve_requests();
  } catch (const tds_protocol_error& e) {
    log_line(std::string("connection ") + std::to_string(spid_) + ": " + e.what());
  } catch (const tds_encode_error& e) {
    log_line(std::string("connection ") + std::to_string(spid_) + ": cannot send: " + e.what());
  } catch (const std::system_error&) {
    // The peer went away or the server is stopping.
  } catch (const std::exception& e) {
    log_line(std::string("connection ") + std::to_string(spid_) + ": " + e.what());
  }
  if (session_ && session_->bulk_pending()) session_->bulk_abort();
  close();
  inbox_.end();
  if (reader_.joinable()) reader_.join();
  session_.reset();
  finished_ = true;
}

message tds_connection::server_message(int32_t number, uint8_t state, uint8_t cls,
                                       std::u16string text) {
  message m;
  m.number = number;
  m.state = state;
  m.cls = cls;
  m.text = std::move(text);
  m.server = ctx_.eng.opts().server_name;
  m.line = 1;
  return m;
}

// Reads a whole message synchronously (before the reader thread runs).
static void read_message_sync(int fd, tds_packet& first, std::string& payload) {
  payload = first.data;
  tds_packet p = first;
  while (!p.eom()) {
    if (!read_packet(fd, p)) throw tds_protocol_error("connection closed inside a message");
    if (p.type != first.type) throw tds_protocol_error("packet type changed inside a message");
    payload += p.data;
    if (payload.size() > (1u << 20)) throw tds_protocol_error("login message too large");
  }
}

void tds_connection::write_login_failure(const std::vector<item>& pre, const std::u16string& user,
                                         int number, const std::u16string& text) {
  for (const item& it : pre)
    if (it.what == item::error || it.what == item::info)
      write_message(reply_.w, fmt_, it.msg, ctx_.eng.opts().server_name);
  write_message(reply_.w, fmt_, server_message(number, 1, 14, text), ctx_.eng.opts().server_name);
  write_done(reply_.w, fmt_, token::done, done_status::error, 0, 0);
  reply_.finish();
}

bool tds_connection::login() {
  tds_packet p;
  if (!read_packet(fd_, p)) return false;
  std::string payload;
  const version_info& ver = ctx_.eng.version();
  if (p.type == packet::prelogin) {
    read_message_sync(fd_, p, payload);
    prelogin_request pre = parse_prelogin(payload);
    reply_.w.raw(build_prelogin_response(static_cast<uint8_t>(ver.major),
                                         static_cast<uint8_t>(ver.minor),
                                         static_cast<uint16_t>(ver.build)));
    reply_.finish();
    // A client that insists on encryption ends the conversation itself after this answer.
    if (pre.encryption & encrypt::client_cert) return false;
    if (!read_packet(fd_, p)) return false;
  }
  if (p.type != packet::login7) {
    log_line("connection " + std::to_string(spid_) + ": expected LOGIN7, got packet type " +
             std::to_string(p.type));
    return false;
  }
  read_message_sync(fd_, p, payload);
  login7_request req = parse_login7(payload);
  if (req.tds_version < 0x71000000) {
    log_line("connection " + std::to_string(spid_) + ": TDS version below 7.1 is not served");
    return false;
  }
  fmt_.version = req.tds_version > tds_version::v7_4 ? tds_version::v7_4 : req.tds_version;

  const std::u16string quoted_user = u"'" + req.user_name + u"'";
  if (req.integrated_security()) {
    write_login_failure({}, req.user_name, 18452,
                        u"Login failed. The login is from an untrusted domain and cannot be used "
                        u"with Integrated authentication.");
    return false;
  }
  bool accepted = false;
  if (!ctx_.opts.faults.refuse_logins) {
    for (const login_entry& l : ctx_.opts.logins)
      if (same_login(l.name, req.user_name) && l.password == req.password) accepted = true;
  }
  if (!accepted) {
    write_login_failure({}, req.user_name, 18456, u"Login failed for user " + quoted_user + u".");
    return false;
  }

  std::vector<item> out;
  session_ = ctx_.eng.open_session(req.user_name, req.database, out, req.odbc());
  if (!session_) {
    write_login_failure(out, req.user_name, 18456, u"Login failed for user " + quoted_user + u".");
    return false;
  }

  size_t packet_size = req.packet_size ? req.packet_size : default_packet_size;
  if (packet_size < 512) packet_size = 512;
  if (packet_size > max_packet_size) packet_size = max_packet_size;

  login_reply lr;
  lr.server = ctx_.eng.opts().server_name;
  lr.database = session_->database();
  lr.old_database = u"master";
  for (const item& it : out) {
    if (it.what == item::env_database) {
      lr.database = it.text;
      if (!it.old_text.empty()) lr.old_database = it.old_text;
    } else if (it.what == item::info || it.what == item::error) {
      lr.messages.push_back(it.msg);
    }
  }
  lr.packet_size = packet_size;
  lr.old_packet_size = default_packet_size;
  lr.tds_version = fmt_.version;
  lr.version = ver;
  lr.feature_ext_ack = req.has_feature_ext;
  write_login_reply(reply_.w, fmt_, lr);
  reply_.finish();
  reply_.set_packet_size(packet_size);
  return true;
}

void tds_connection::reader_loop() {
  try {
    tds_packet p;
    while (read_packet(fd_, p)) {
      if (p.type == packet::attention) {
        // Counted before it is queued: the connection thread may see the count first and
        // answer it while writing, then skip the marker.
        ++inbox_.attention_count;
        if (executing_) session_->cancel();
        inbox_.push(std::move(p));
        continue;
      }
      inbox_.push(std::move(p));
    }
  } catch (const std::exception&) {
    // A broken stream ends the connection like a closed one.
  }
  inbox_.end();
}

bool tds_connection::attention_pending() const {
  return inbox_.attention_count.load() > inbox_.attention_acked;
}

void tds_connection::acknowledge_attention() {
  ++inbox_.attention_acked;
  write_done(reply_.w, fmt_, token::done, done_status::attn, 0, 0);
}

void tds_connection::serve_requests() {
  reader_ = std::thread(&tds_connection::reader_loop, this);
  tds_packet p;
  int markers = 0;
  while (!ctx_.stopping && inbox_.pop(p)) {
    bool keep = true;
    switch (p.type) {
      case packet::attention:
        // An attention the reply already acknowledged needs no second answer.
        if (++markers > inbox_.attention_acked) {
          acknowledge_attention();
          reply_.finish();
        }
        break;
      case packet::sql_batch:
        keep = on_sql_batch(p);
        break;
      case packet::rpc:
        keep = on_rpc(p);
        break;
      case packet::bulk_load:
        keep = on_bulk_load(p);
        break;
      case packet::transaction_manager:
        keep = on_transaction_manager(p);
        break;
      default:
        log_line("connection " + std::to_string(spid_) + ": unexpected packet type " +
                 std::to_string(p.type));
        keep = false;
        break;
    }
    if (!keep) break;
  }
}

bool tds_connection::collect(const tds_packet& first, std::string& payload) {
  payload = first.data;
  bool eom = first.eom();
  tds_packet p;
  while (!eom) {
    if (!inbox_.pop(p)) return false;
    if (p.type != first.type) {
      log_line("connection " + std::to_string(spid_) + ": packet type changed inside a message");
      return false;
    }
    payload += p.data;
    if (payload.size() > max_message_bytes) {
      log_line("connection " + std::to_string(spid_) + ": request larger than 1 GiB");
      return false;
    }
    eom = p.eom();
  }
  return true;
}

bool tds_connection::count_statement() {
  int64_t n = ++ctx_.statements;
  int64_t limit = ctx_.opts.faults.drop_after_statements;
  return limit <= 0 || n <= limit;
}

bool tds_connection::delay() {
  int ms = ctx_.opts.faults.delay_ms;
  if (ms > 0) inbox_.wait_attention(ms);
  return !attention_pending();
}

bool tds_connection::write_result(const result_set& rs) {
  // A column declared NOT NULL that still holds a NULL goes out as nullable: the fixed-length
  // wire types cannot carry a NULL.
  std::vector<column> cols = rs.columns;
  for (size_t c = 0; c < cols.size(); ++c) {
    if (cols[c].type.nullable) continue;
    for (const auto& row : rs.rows)
      if (c < row.size() && row[c].kind == value::null) {
        cols[c].type.nullable = true;
        break;
      }
  }
  write_colmetadata(reply_.w, fmt_, cols);
  const int64_t limit = ctx_.opts.faults.drop_after_rows;
  for (const auto& row : rs.rows) {
    if (attention_pending()) break;
    if (limit > 0 && ++ctx_.rows > limit) return false;
    write_row(reply_.w, fmt_, cols, row);
    if (reply_.w.size() >= 4 * reply_.packet_size()) reply_.flush_full();
  }
  return true;
}

tds_connection::outcome tds_connection::write_items(const std::vector<item>& items, bool in_proc,
                                                    bool& errors) {
  const std::u16string& server = ctx_.eng.opts().server_name;
  bool rows_since_done = false;
  bool fatal = false;
  // Index of the last done item: every earlier one carries DONE_MORE.
  size_t last_done = items.size();
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i].what == item::done) last_done = i;
  bool ended_with_done = false;
  for (size_t i = 0; i < items.size(); ++i) {
    if (attention_pending()) {
      // Cut the reply short; the DONE(ATTN) ends it.
      acknowledge_attention();
      return fatal ? outcome::end_after_reply : outcome::ok;
    }
    const item& it = items[i];
    ended_with_done = false;
    switch (it.what) {
      case item::rows:
        if (!write_result(it.rs)) return outcome::drop;
        rows_since_done = true;
        break;
      case item::error:
      case item::info:
        write_message(reply_.w, fmt_, it.msg, server);
        if (it.msg.cls > 10) errors = true;
        if (it.msg.cls >= 20) fatal = true;
        break;
      case item::done: {
        uint16_t status = 0;
        if (it.failed) status |= done_status::error;
        if (it.has_count) status |= done_status::count;
        if (in_proc || i != last_done) status |= done_status::more;
        write_done(reply_.w, fmt_, in_proc ? token::doneinproc : token::done, status,
                   rows_since_done ? curcmd_select : 0, it.has_count ? uint64_t(it.count) : 0);
        rows_since_done = false;
        ended_with_done = true;
        break;
      }
      case item::env_database: {
        write_envchange(reply_.w, env::database, it.text, it.old_text);
        // SQL Server follows the change with message 5701, unless the engine already did.
        bool next_is_5701 = i + 1 < items.size() && items[i + 1].what == item::info &&
                            items[i + 1].msg.number == 5701;
        if (!next_is_5701)
          write_message(
              reply_.w, fmt_,
              server_message(5701, 1, 0, u"Changed database context to '" + it.text + u"'."),
              server);
        break;
      }
      case item::return_status:
        write_returnstatus(reply_.w, it.status);
        break;
    }
    reply_.flush_full();
  }
  if (!in_proc && !ended_with_done)
    write_done(reply_.w, fmt_, token::done, errors ? done_status::error : 0, 0, 0);
  return fatal ? outcome::end_after_reply : outcome::ok;
}

bool tds_connection::on_sql_batch(const tds_packet& first) {
  std::string payload;
  if (!collect(first, payload)) return false;
  std::u16string text = parse_sql_batch(payload, fmt_);
  if (!count_statement()) return false;
  if (!delay()) return true;  // the attention marker that follows gets the answer
  std::vector<item> out;
  executing_ = true;
  session_->execute(text, out);
  executing_ = false;
  bool errors = false;
  outcome o = write_items(out, false, errors);
  if (o == outcome::drop) return false;
  reply_.finish();
  return o == outcome::ok;
}

bool tds_connection::on_rpc(const tds_packet& first) {
  std::string payload;
  if (!collect(first, payload)) return false;
  std::vector<rpc_call> calls = parse_rpc(payload, fmt_);
  if (!count_statement()) return false;
  if (!delay()) return true;
  const std::u16string& server = ctx_.eng.opts().server_name;
  for (size_t k = 0; k < calls.size(); ++k) {
    const rpc_call& call = calls[k];
    bool errors = false;
    outcome o = outcome::ok;
    if (call.bad_param) {
      char code[8];
      std::snprintf(code, sizeof code, "0x%02X", call.bad_type);
      write_message(reply_.w, fmt_,
                    server_message(8009, 1, 16,
                                   u"The incoming tabular data stream (TDS) remote procedure call "
                                   u"(RPC) protocol stream is incorrect. Parameter " +
                                       number_text(call.bad_param) + u" (\"" + call.bad_param_name +
                                       u"\"): Data type " + from_utf8(code) + u" is unknown."),
                    server);
      errors = true;
    } else {
      std::vector<item> out;
      executing_ = true;
      session_->call(call.proc, call.params, out);
      executing_ = false;
      o = write_items(out, true, errors);
      if (o == outcome::drop) return false;
    }
    if (attention_pending()) {
      acknowledge_attention();
      reply_.finish();
      return o == outcome::ok;
    }
    uint16_t status = errors ? done_status::error : 0;
    if (k + 1 < calls.size()) status |= done_status::more;
    write_done(reply_.w, fmt_, token::doneproc, status, 0, 0);
    if (o != outcome::ok) {
      reply_.finish();
      return false;
    }
  }
  reply_.finish();
  return true;
}

// ---- transaction manager requests ------------------------------------------------------

bool tds_connection::transaction_statement(const std::u16string& sql) {
  std::vector<item> out;
  executing_ = true;
  session_->execute(sql, out);
  executing_ = false;
  bool ok = true;
  for (const item& it : out) {
    if (it.what == item::error || it.what == item::info) {
      write_message(reply_.w, fmt_, it.msg, ctx_.eng.opts().server_name);
      if (it.msg.cls > 10) ok = false;
    }
    if (it.what == item::done && it.failed) ok = false;
  }
  return ok;
}

void tds_connection::write_transaction_env(uint8_t type, bool begins) {
  // ENVCHANGE 8 (begin) carries the new descriptor; 9 (commit) and 10 (rollback) the old one.
  tds_writer descriptor;
  descriptor.u64(transaction_id_);
  reply_.w.u8(token::envchange);
  reply_.w.u16(static_cast<uint16_t>(1 + 1 + 8 + 1));
  reply_.w.u8(type);
  if (!begins) reply_.w.u8(0);
  reply_.w.u8(8);
  reply_.w.raw(descriptor.bytes());
  if (begins) reply_.w.u8(0);
}

bool tds_connection::on_transaction_manager(const tds_packet& first) {
  std::string payload;
  if (!collect(first, payload)) return false;
  tm_request t = parse_tm(payload, fmt_);
  if (!delay()) return true;
  auto name_suffix = [](const std::u16string& name) {
    if (name.empty()) return std::u16string();
    std::u16string q = u" [";
    for (char16_t c : name) {
      q.push_back(c);
      if (c == u']') q.push_back(u']');
    }
    return q + u"]";
  };
  bool ok = true;
  switch (t.type) {
    case tm_request::begin:
      ok = transaction_statement(u"BEGIN TRANSACTION" + name_suffix(t.name));
      if (ok) {
        ++transaction_id_;
        write_transaction_env(8, true);
      }
      break;
    case tm_request::commit:
    case tm_request::rollback: {
      bool commit = t.type == tm_request::commit;
      ok = transaction_statement((commit ? u"COMMIT TRANSACTION" : u"ROLLBACK TRANSACTION") +
                                 name_suffix(t.name));
      if (ok) write_transaction_env(commit ? 9 : 10, false);
      if (ok && t.begin_after) {
        ok = transaction_statement(u"BEGIN TRANSACTION" + name_suffix(t.new_name));
        if (ok) {
          ++transaction_id_;
          write_transaction_env(8, true);
        }
      }
      break;
    }
    case tm_request::save:
      ok = transaction_statement(u"SAVE TRANSACTION" + name_suffix(t.name));
      break;
    default:
      // Distributed transactions (DTC) are not served.
      log_line("connection " + std::to_string(spid_) + ": distributed transaction request refused");
      return false;
  }
  write_done(reply_.w, fmt_, token::done, ok ? 0 : done_status::error, 0, 0);
  reply_.finish();
  return true;
}

// ---- bulk load -------------------------------------------------------------------------

namespace {

// A bulk message's bytes, fetched packet by packet as the decoder needs them.
class bulk_stream {
 public:
  bulk_stream(const tds_packet& first, std::function<bool(tds_packet&)> next)
      : buf_(first.data), eom_(first.eom()), next_(std::move(next)) {}

  // Makes at least `n` bytes available from the current position; false at the end.
  bool ensure(size_t n) {
    while (buf_.size() - pos_ < n) {
      if (eom_) return false;
      tds_packet p;
      if (!next_(p)) throw tds_protocol_error("connection closed inside a bulk load message");
      if (p.type != packet::bulk_load)
        throw tds_protocol_error("packet type changed inside a bulk load message");
      if (pos_ > (1u << 16)) {
        buf_.erase(0, pos_);
        pos_ = 0;
      }
      buf_ += p.data;
      eom_ = p.eom();
    }
    return true;
  }
  bool at_end() { return !ensure(1); }
  tds_reader reader() const { return tds_reader(buf_.data() + pos_, buf_.size() - pos_); }
  void advance(size_t n) { pos_ += n; }
  // Reads the rest of the message and drops it.
  void drain() {
    pos_ = buf_.size();
    while (!eom_) {
      tds_packet p;
      if (!next_(p)) return;
      eom_ = p.eom();
    }
  }

  // Runs `decode` on the buffered bytes, fetching more and retrying while it runs short.
  template <class F>
  void decode(F&& decode) {
    size_t want = 1;
    for (;;) {
      if (!ensure(want)) throw premature_end();
      tds_reader r = reader();
      try {
        decode(r);
        advance(r.offset());
        return;
      } catch (const tds_short_read& e) {
        if (e.needed <= want) throw;  // cannot happen: a short read always wants more
        want = e.needed;
        if (want > (size_t{1} << 31)) throw tds_protocol_error("bulk row larger than 2 GiB");
      }
    }
  }
  struct premature_end {};

 private:
  std::string buf_;
  size_t pos_ = 0;
  bool eom_;
  std::function<bool(tds_packet&)> next_;
};

struct no_colmetadata {};
// A value the decoder could not read, in column `colid` (1-based).
struct bad_value {
  long long colid;
};

}  // namespace

bool tds_connection::on_bulk_load(const tds_packet& first) {
  const std::u16string& server = ctx_.eng.opts().server_name;
  if (!session_->bulk_pending()) {
    // A bulk message without an insert bulk statement before it is out of sequence.
    log_line("connection " + std::to_string(spid_) + ": bulk load data without insert bulk");
    return false;
  }
  bulk_stream in(first, [this](tds_packet& p) { return inbox_.pop(p); });
  const std::vector<column>& target = session_->bulk_columns();
  std::vector<wire_column> cols;
  message failure;
  bool failed = false;
  auto fail = [&](int number, uint8_t cls, std::u16string text) {
    failure = server_message(number, 1, cls, std::move(text));
    failed = true;
  };
  const int64_t limit = ctx_.opts.faults.drop_after_rows;
  try {
    in.decode([&](tds_reader& r) {
      if (r.u8() != token::colmetadata) throw no_colmetadata{};
      uint16_t count = r.u16();
      cols.clear();
      for (uint16_t i = 0; i < count; ++i) {
        if (fmt_.at_least(tds_version::v7_2))
          r.u32();
        else
          r.u16();
        r.u16();  // flags
        try {
          cols.push_back(read_type_info(r, value_context::bulk_row));
        } catch (const tds_type_error&) {
          fail(4816, 16,
               u"Invalid column type from bcp client for colid " + number_text(i + 1) + u".");
          throw;
        }
        cols.back().name = r.b_varchar();
      }
    });
    if (cols.size() != target.size())
      fail(4816, 16,
           u"Invalid column type from bcp client for colid " +
               number_text(static_cast<long long>(std::min(cols.size(), target.size()) + 1)) +
               u".");
    std::vector<value> row(cols.size());
    while (!failed && !in.at_end()) {
      uint8_t tok = static_cast<uint8_t>(in.reader().raw(1)[0]);
      if (tok == token::done) break;  // some clients end the rows with DONE; the rest is ignored
      if (tok != token::row && tok != token::nbcrow) {
        fail(4804, 21,
             u"While reading current row from host, a premature end-of-message was encountered"
             u"--an incoming data stream was interrupted when the server expected to see more "
             u"data. The host program may have terminated. Ensure that you are using a "
             u"supported client application programming interface (API).");
        break;
      }
      in.decode([&](tds_reader& r) {
        r.u8();
        std::string_view bitmap;
        if (tok == token::nbcrow) bitmap = r.raw((cols.size() + 7) / 8);
        for (size_t c = 0; c < cols.size(); ++c) {
          if (!bitmap.empty() && (static_cast<uint8_t>(bitmap[c / 8]) >> (c % 8)) & 1) {
            row[c] = value::make_null();
            continue;
          }
          try {
            row[c] = read_value(r, cols[c], value_context::bulk_row);
          } catch (const tds_short_read&) {
            throw;
          } catch (const tds_protocol_error&) {
            throw bad_value{static_cast<long long>(c + 1)};
          }
        }
      });
      if (attention_pending()) break;
      if (limit > 0 && ++ctx_.rows > limit) {
        session_->bulk_abort();
        return false;
      }
      session_->bulk_row(row);
    }
  } catch (const bulk_stream::premature_end&) {
    fail(4804, 21,
         u"While reading current row from host, a premature end-of-message was encountered"
         u"--an incoming data stream was interrupted when the server expected to see more "
         u"data. The host program may have terminated. Ensure that you are using a "
         u"supported client application programming interface (API).");
  } catch (const tds_type_error&) {
    if (!failed) fail(4816, 16, u"Invalid column type from bcp client.");
  } catch (const no_colmetadata&) {
    fail(4894, 21, u"COLMETADATA must be present when using bcp.");
  } catch (const bad_value& e) {
    fail(4896, 16,
         u"Invalid column value from bcp client for colid " + number_text(e.colid) + u".");
  } catch (const tds_protocol_error&) {
    if (!failed) fail(4896, 16, u"Invalid column value from bcp client.");
  }
  in.drain();
  if (!delay()) {
    session_->bulk_abort();
    return true;
  }
  bool errors = false;
  if (failed || attention_pending()) {
    session_->bulk_abort();
    if (attention_pending()) {
      acknowledge_attention();
      reply_.finish();
      return true;
    }
    write_message(reply_.w, fmt_, failure, server);
    write_done(reply_.w, fmt_, token::done, done_status::error, 0, 0);
    reply_.finish();
    return failure.cls < 20;
  }
  std::vector<item> out;
  executing_ = true;
  session_->bulk_end(out);
  executing_ = false;
  outcome o = write_items(out, false, errors);
  if (o == outcome::drop) return false;
  reply_.finish();
  return o == outcome::ok;
}

}  // namespace mssim
