#pragma once

// Blocks that a driver, or unixODBC's look-up of a DSN, leaves behind are not ours: under the
// leak checker they are not counted while an object of this type lives. Elsewhere it does nothing.

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define MAE_TEST_LSAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/lsan_interface.h>
#define MAE_TEST_LSAN 1
#endif
#endif

namespace mae::test {

class DriverLeaksIgnored {
  public:
#ifdef MAE_TEST_LSAN
    DriverLeaksIgnored() { __lsan_disable(); }
    ~DriverLeaksIgnored() { __lsan_enable(); }
#else
    DriverLeaksIgnored() {}
    ~DriverLeaksIgnored() {}
#endif
    DriverLeaksIgnored(const DriverLeaksIgnored&) = delete;
    DriverLeaksIgnored& operator=(const DriverLeaksIgnored&) = delete;
};

}  // namespace mae::test
