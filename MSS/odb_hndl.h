// Owners of the ODBC handles the destination layer works with: the environment, a connection and
// a statement. Each owner is move-only and frees its handle exactly once; a connection that was
// opened is disconnected before it is freed. Destructors never throw and never touch the
// diagnostics of any other handle. The ODBC headers stay out of this header: a handle travels as
// the driver manager's opaque pointer.
#pragma once

#include <utility>

class odb_handle {
 public:
  // The ODBC handle kinds, with the driver manager's own numbers.
  enum kind_t { environment = 1, connection = 2, statement = 3 };

  odb_handle() = default;
  odb_handle(const odb_handle&) = delete;
  odb_handle& operator=(const odb_handle&) = delete;
  odb_handle(odb_handle&& other) noexcept { swap(other); }
  odb_handle& operator=(odb_handle&& other) noexcept {
    if (this != &other) {
      reset();
      swap(other);
    }
    return *this;
  }
  ~odb_handle() { reset(); }

  // A new environment handle set to ODBC 3 behaviour. Raises odb_exception when the driver
  // manager cannot allocate one.
  static odb_handle new_environment();
  // A new connection handle of `env` (an environment), or a new statement handle of `dbc` (an
  // opened connection). A failure raises odb_exception with the parent's diagnostics.
  static odb_handle new_connection(const odb_handle& env);
  static odb_handle new_statement(const odb_handle& dbc);

  void* get() const { return handle_; }
  kind_t kind() const { return kind_; }
  explicit operator bool() const { return handle_ != nullptr; }

  // Records that the connection handle is connected, so that freeing it disconnects first.
  void set_connected(bool on) { connected_ = on; }
  bool connected() const { return connected_; }

  // Frees the handle now (disconnecting an opened connection); the owner is empty afterwards.
  void reset() noexcept;

 private:
  odb_handle(kind_t kind, void* handle) : kind_(kind), handle_(handle) {}
  void swap(odb_handle& other) noexcept {
    std::swap(kind_, other.kind_);
    std::swap(handle_, other.handle_);
    std::swap(connected_, other.connected_);
  }

  kind_t kind_ = environment;
  void* handle_ = nullptr;
  bool connected_ = false;
};
