// A test program that crashes must be reported failed: the test environment's exception
// filter ends a crashed program with its exception code, never with 0.
#include <windows.h>

#include <cstdlib>

#include "gtest/gtest.h"

namespace {
void WriteThroughNull() {
  volatile int* volatile pointer = nullptr;  // opaque to the compiler: a real store fault
  *pointer = 1;
}

TEST(CrashExit, WriteThroughNullEndsWithTheExceptionCode) {
  // Wine's own debugger ended some crashed runs with status 0: repeat to catch that.
  for (int run = 0; run < 5; run++) {
    EXPECT_EXIT(WriteThroughNull(), ::testing::ExitedWithCode((int)EXCEPTION_ACCESS_VIOLATION),
                "unhandled exception 0xc0000005")
        << "run " << run;
  }
}

// Run on its own by the test runner, which expects this program to fail (see tests.cmake).
TEST(CrashExit, CrashesWhenAsked) {
  if (getenv("KORVEL_CRASH_NOW") == nullptr) GTEST_SKIP() << "crashes only when the runner asks";
  WriteThroughNull();
}
}  // namespace
