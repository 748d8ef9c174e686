// Rough cost of the per-cell conversions: ole_bench [iterations]. Not a test; prints ns per call.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "ole_variant.h"

namespace {

std::atomic<long> sink{0};
void keep(long v) { sink.fetch_add(v, std::memory_order_relaxed); }

void measure(const char* what, long n, const std::function<void()>& f) {
  auto t0 = std::chrono::steady_clock::now();
  for (long i = 0; i < n; ++i) f();
  auto t1 = std::chrono::steady_clock::now();
  double ns = std::chrono::duration<double, std::nano>(t1 - t0).count() / static_cast<double>(n);
  std::printf("%-34s %8.1f ns\n", what, ns);
}

}  // namespace

int main(int argc, char** argv) {
  long n = argc > 1 ? std::atol(argv[1]) : 1000000;
  std::u16string text(u"a typical varchar value of some forty chars");
  measure("from_string I4", n, [] { keep(static_cast<long>(ole_variant::from_string("1234567", VT_I4).to_long())); });
  measure("from_string I8", n,
          [] { keep(static_cast<long>(ole_variant::from_string("9223372036854775", VT_I8).get_int64())); });
  measure("from_string R8", n,
          [] { keep(static_cast<long>(ole_variant::from_string("3.14159265358979", VT_R8).to_long())); });
  measure("from_string DECIMAL(12,2)", n,
          [] { keep(static_cast<long>(ole_variant::from_string("1234567890.50", VT_DECIMAL).get_type())); });
  measure("from_string DATETIME", n,
          [] { keep(static_cast<long>(ole_variant::from_string("2011-12-31 10:20:30", VT_DATE).get_type())); });
  measure("from_string DATE", n,
          [] { keep(static_cast<long>(ole_variant::from_string("2011-12-31", VT_DATE).get_type())); });
  measure("from_string TIME", n,
          [] { keep(static_cast<long>(ole_variant::from_string("10:20:30", VT_DATE).get_type())); });
  measure("from_wstring BSTR (copy)", n,
          [&] { keep(static_cast<long>(ole_variant::from_wstring(text, VT_BSTR).get_type())); });
  measure("change_type I4->R8", n, [] {
    ole_variant v(12345);
    v.change_type(VT_R8);
    keep(static_cast<long>(v.get_type()));
  });
  measure("change_type DECIMAL->R8", n, [] {
    ole_variant v = ole_variant::from_string("1234567890.50", VT_DECIMAL);
    v.change_type(VT_R8);
    keep(static_cast<long>(v.get_type()));
  });
  measure("to_wstring I4", n, [] { keep(static_cast<long>(ole_variant(1234567).to_wstring().size())); });
  measure("to_wstring R8", n, [] { keep(static_cast<long>(ole_variant(3.14159).to_wstring().size())); });
  measure("to_wstring DECIMAL", n, [] {
    keep(static_cast<long>(ole_variant::from_string("1234567890.50", VT_DECIMAL).to_wstring().size()));
  });
  SYSTEMTIME st;
  st.wYear = 2011, st.wMonth = 12, st.wDay = 31, st.wHour = 10;
  measure("to_wstring DATE", n, [&] { keep(static_cast<long>(ole_variant(st).to_wstring().size())); });
  return 0;
}
