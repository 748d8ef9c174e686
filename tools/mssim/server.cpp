// The listener: accepts on 127.0.0.1 and runs each connection on its own thread.
#include "server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "tds_connection.h"

namespace mssim {

server::server(engine& eng, server_options opts) : opts_(std::move(opts)), ctx_{eng, opts_} {
  if (::pipe2(wake_fd_, O_CLOEXEC) != 0)
    throw std::system_error(errno, std::generic_category(), "pipe");
}

server::~server() {
  stop();
  reap(true);
  if (listen_fd_ >= 0) ::close(listen_fd_);
  ::close(wake_fd_[0]);
  ::close(wake_fd_[1]);
}

uint16_t server::listen() {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) throw std::system_error(errno, std::generic_category(), "socket");
  int one = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(opts_.port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
    throw std::system_error(errno, std::generic_category(),
                            "bind 127.0.0.1:" + std::to_string(opts_.port));
  if (::listen(listen_fd_, 64) != 0)
    throw std::system_error(errno, std::generic_category(), "listen");
  socklen_t len = sizeof addr;
  ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  return ntohs(addr.sin_port);
}

void server::stop() {
  if (ctx_.stopping.exchange(true)) return;
  char b = 1;
  // Wakes run() out of poll(); it then closes the connections.
  [[maybe_unused]] ssize_t r = ::write(wake_fd_[1], &b, 1);
}

void server::reap(bool all) {
  std::list<worker> done;
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (auto it = workers_.begin(); it != workers_.end();) {
      if (all) it->conn->close();
      if (all || it->conn->finished()) {
        done.splice(done.end(), workers_, it++);
      } else {
        ++it;
      }
    }
  }
  for (worker& w : done)
    if (w.thread.joinable()) w.thread.join();
}

void server::run() {
  pollfd fds[2] = {{listen_fd_, POLLIN, 0}, {wake_fd_[0], POLLIN, 0}};
  while (!ctx_.stopping) {
    int n = ::poll(fds, 2, 1000);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), "poll");
    }
    reap(false);
    if (ctx_.stopping || (fds[1].revents & POLLIN)) break;
    if (!(fds[0].revents & POLLIN)) continue;
    int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == ECONNABORTED) continue;
      // Out of descriptors or similar: keep serving the connections there are, and do not
      // spin while the condition lasts.
      ::usleep(10000);
      continue;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto conn = std::make_shared<tds_connection>(ctx_, fd);
    std::lock_guard<std::mutex> lock(mu_);
    workers_.push_back(worker{conn, std::thread([conn] { conn->run(); })});
  }
  reap(true);
}

}  // namespace mssim
