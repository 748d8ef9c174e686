// The singleton rule: a class under it exists at most once per process and is reached through
// one process-wide pointer. Breaking the rule is a defect and raises tk_mail_assertion.
#pragma once

#include "tk_exception.h"

inline constexpr const char* tk_singl_source = "..\\TK/tk_singl";

template <class T>
class tk_singleton {
 public:
  tk_singleton(const tk_singleton&) = delete;
  tk_singleton& operator=(const tk_singleton&) = delete;

  // The accessor of operations: the object must exist.
  static T& instance() {
    if (!instance_) throw tk_mail_assertion(tk_singl_source, 59);
    return *instance_;
  }
  // The accessor of the trace functions and the error handler.
  static T& service_instance() {
    if (!instance_) throw tk_mail_assertion(tk_singl_source, 66);
    return *instance_;
  }
  // For callers that do nothing when the object is missing (the trace calls).
  static T* instance_or_null() { return instance_; }

 protected:
  tk_singleton() {
    if (instance_) throw tk_mail_assertion(tk_singl_source, 35);
    instance_ = static_cast<T*>(this);
  }
  ~tk_singleton() noexcept(false) {
    if (!instance_) throw tk_mail_assertion(tk_singl_source, 46);
    instance_ = nullptr;
  }

  static inline T* instance_ = nullptr;
};
