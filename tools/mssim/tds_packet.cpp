// Packet framing over a socket.
#include "tds_packet.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace mssim {

namespace {

// Reads exactly n bytes. Returns the number read before a clean end of stream (n when complete).
size_t read_full(int fd, char* p, size_t n) {
  size_t got = 0;
  while (got < n) {
    ssize_t r = ::recv(fd, p + got, n - got, 0);
    if (r == 0) return got;
    if (r < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), "recv");
    }
    got += static_cast<size_t>(r);
  }
  return got;
}

}  // namespace

bool read_packet(int fd, tds_packet& out) {
  char header[packet::header_size];
  size_t got = read_full(fd, header, sizeof header);
  if (got == 0) return false;
  if (got < sizeof header) throw tds_protocol_error("connection closed inside a packet header");
  size_t length = (static_cast<uint8_t>(header[2]) << 8) | static_cast<uint8_t>(header[3]);
  if (length < packet::header_size || length > max_packet_size + 1)  // 32768 tolerated
    throw tds_protocol_error("packet length " + std::to_string(length) + " is out of range");
  out.type = static_cast<uint8_t>(header[0]);
  out.status = static_cast<uint8_t>(header[1]);
  out.data.resize(length - packet::header_size);
  if (read_full(fd, out.data.data(), out.data.size()) < out.data.size())
    throw tds_protocol_error("connection closed inside a packet");
  return true;
}

void write_all(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t r = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (r < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), "send");
    }
    sent += static_cast<size_t>(r);
  }
}

std::string make_packet(uint8_t type, uint8_t status, std::string_view data, uint8_t packet_id,
                        uint16_t spid) {
  tds_writer w;
  size_t length = data.size() + packet::header_size;
  w.u8(type);
  w.u8(status);
  w.u16_be(static_cast<uint16_t>(length));
  w.u16_be(spid);
  w.u8(packet_id);
  w.u8(0);
  w.raw(data);
  return std::move(w.bytes());
}

void tds_reply::set_packet_size(size_t size) {
  if (size < 512) size = 512;
  if (size > max_packet_size) size = max_packet_size;
  packet_size_ = size;
}

void tds_reply::send_packet(size_t n, bool last) {
  std::string& buf = w.bytes();
  std::string pkt = make_packet(packet::reply, last ? packet::status_eom : 0,
                                std::string_view(buf.data(), n), packet_id_++, spid_);
  buf.erase(0, n);
  write_all(fd_, pkt);
  bytes_sent_ += pkt.size();
  started_ = !last;
}

void tds_reply::flush_full() {
  size_t room = packet_size_ - packet::header_size;
  // Full packets leave a non-empty tail behind, so the EOM packet finish() sends carries data.
  if (w.size() <= room) return;
  std::string& buf = w.bytes();
  size_t whole = (buf.size() - 1) / room;  // full packets that leave a non-empty tail
  if (whole == 0) return;
  // Send all full packets in one write to keep system calls few on large results.
  std::string out;
  out.reserve(whole * packet_size_);
  for (size_t k = 0; k < whole; ++k) {
    out += make_packet(packet::reply, 0, std::string_view(buf.data() + k * room, room),
                       packet_id_++, spid_);
  }
  buf.erase(0, whole * room);
  write_all(fd_, out);
  bytes_sent_ += out.size();
  started_ = true;
}

void tds_reply::finish() {
  flush_full();
  send_packet(w.size(), true);
  packet_id_ = 1;
}

}  // namespace mssim
