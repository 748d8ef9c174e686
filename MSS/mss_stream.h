// The in-memory stream that carries a long value (a text or binary column without a limit, or one
// over 8000 bytes) to the bulk load, so that the row buffer never holds it. It is written once
// with the value's bytes and then read in place by the loader. Its bytes are kept behind a
// length prefix of their own, so the loader binds them without copying.
//
// Ownership follows the reference count: a new stream has a count of 1; the stream deletes
// itself (and its buffer) when release() brings the count to 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Result codes, the published ones.
inline constexpr int32_t mss_s_ok = 0;
inline constexpr int32_t mss_s_false = 1;
inline constexpr int32_t mss_e_nointerface = static_cast<int32_t>(0x80004002);
inline constexpr int32_t mss_stg_e_invalidpointer = static_cast<int32_t>(0x80030009);

class mss_mem_stream {
 public:
  enum interface_id { iid_unknown, iid_sequential_stream, iid_other };

  // A new, empty stream with a reference count of 1.
  static mss_mem_stream* create();

  mss_mem_stream(const mss_mem_stream&) = delete;
  mss_mem_stream& operator=(const mss_mem_stream&) = delete;

  uint32_t add_ref();
  // Deletes the stream when the count drops to 0; returns the count left.
  uint32_t release();
  // The stream itself (with a reference added) for the unknown and sequential-stream interfaces;
  // E_NOINTERFACE and a null pointer for any other.
  int32_t query_interface(interface_id iid, void** out);

  // Appends all `count` bytes; `written` (optional) receives the count. A null `data` with a
  // non-zero count is STG_E_INVALIDPOINTER.
  int32_t write(const void* data, uint32_t count, uint32_t* written);
  // Copies up to `count` bytes from the read position and advances it; S_FALSE when fewer than
  // `count` bytes were left. A null buffer is STG_E_INVALIDPOINTER.
  int32_t read(void* out, uint32_t count, uint32_t* read);

  size_t size() const { return bytes_.size() - prefix_size; }
  const uint8_t* data() const { return bytes_.data() + prefix_size; }
  // The bytes preceded by their count as a 32-bit little-endian prefix (the form the loader
  // binds), valid until the next write.
  const uint8_t* prefixed();

  static constexpr size_t prefix_size = 4;

 private:
  mss_mem_stream();
  ~mss_mem_stream() = default;

  std::vector<uint8_t> bytes_;
  size_t read_pos_ = 0;
  uint32_t refs_ = 1;
};
