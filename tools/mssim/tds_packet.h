// TDS packet framing over a connected socket: reading one packet at a time, and writing a reply
// message cut into packets of the negotiated size.
//
// A packet is an 8-byte header (type, status, big-endian length including the header, SPID,
// packet id, window) and its data. A message is one or more packets of the same type, the last
// one with status EOM. The reader refuses a header whose length is below 8 or above the largest
// packet the server accepts, so a bad length can neither loop nor allocate without bound.
#pragma once

#include <cstdint>
#include <string>

#include "tds_wire.h"

namespace mssim {

struct tds_packet {
  uint8_t type = 0;
  uint8_t status = 0;
  std::string data;  // without the header
  bool eom() const { return (status & packet::status_eom) != 0; }
};

// The largest packet the server accepts from a client (the TDS maximum packet size).
constexpr size_t max_packet_size = 32767;
// The size used before LOGIN7 negotiates another.
constexpr size_t default_packet_size = 4096;

// Reads one packet from `fd`. Returns false at a clean end of stream before any header byte;
// throws tds_protocol_error for a malformed header or a stream that ends inside a packet, and
// std::system_error for a socket error.
bool read_packet(int fd, tds_packet& out);

// Writes all of `bytes` to `fd` (retrying short writes); throws std::system_error on failure.
void write_all(int fd, const std::string& bytes);

// One reply message being written. Tokens are appended to `w`; `flush_full()` sends every full
// packet built so far, `finish()` sends the rest as the last packet (status EOM). The object can
// be reused for the next message after `finish()`.
class tds_reply {
 public:
  tds_reply(int fd, uint16_t spid) : fd_(fd), spid_(spid) {}

  void set_packet_size(size_t size);
  size_t packet_size() const { return packet_size_; }

  tds_writer w;

  // Sends full packets while more than one packet's worth of data is buffered.
  void flush_full();
  // Sends what is buffered as the final packet of the message.
  void finish();
  // Drops what is buffered and not yet sent (for an attention that discards a reply).
  void discard() { w.bytes().clear(); }
  // True when part of the current message has already gone out.
  bool started() const { return started_; }
  uint64_t bytes_sent() const { return bytes_sent_; }

 private:
  void send_packet(size_t n, bool last);
  int fd_;
  uint16_t spid_;
  size_t packet_size_ = default_packet_size;
  uint8_t packet_id_ = 1;
  bool started_ = false;
  uint64_t bytes_sent_ = 0;
};

// Builds one packet (header + data) as bytes; for tests and for the client side of tests.
std::string make_packet(uint8_t type, uint8_t status, std::string_view data, uint8_t packet_id = 1,
                        uint16_t spid = 0);

}  // namespace mssim
