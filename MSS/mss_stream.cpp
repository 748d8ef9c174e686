#include "mss_stream.h"

#include <cstring>

mss_mem_stream::mss_mem_stream() : bytes_(prefix_size, 0) {}

mss_mem_stream* mss_mem_stream::create() { return new mss_mem_stream(); }

uint32_t mss_mem_stream::add_ref() { return ++refs_; }

uint32_t mss_mem_stream::release() {
  const uint32_t left = --refs_;
  if (left == 0) delete this;
  return left;
}

int32_t mss_mem_stream::query_interface(interface_id iid, void** out) {
  if (!out) return mss_stg_e_invalidpointer;
  if (iid == iid_unknown || iid == iid_sequential_stream) {
    add_ref();
    *out = this;
    return mss_s_ok;
  }
  *out = nullptr;
  return mss_e_nointerface;
}

int32_t mss_mem_stream::write(const void* data, uint32_t count, uint32_t* written) {
  if (!data && count != 0) return mss_stg_e_invalidpointer;
  const auto* p = static_cast<const uint8_t*>(data);
  bytes_.insert(bytes_.end(), p, p + count);
  if (written) *written = count;
  return mss_s_ok;
}

int32_t mss_mem_stream::read(void* out, uint32_t count, uint32_t* read) {
  if (!out) return mss_stg_e_invalidpointer;
  const size_t left = size() - read_pos_;
  const size_t n = count < left ? count : left;
  std::memcpy(out, data() + read_pos_, n);
  read_pos_ += n;
  if (read) *read = static_cast<uint32_t>(n);
  return n < count ? mss_s_false : mss_s_ok;
}

const uint8_t* mss_mem_stream::prefixed() {
  const uint32_t n = static_cast<uint32_t>(size());
  for (size_t i = 0; i < prefix_size; ++i) bytes_[i] = static_cast<uint8_t>(n >> (8 * i));
  return bytes_.data();
}
