// Linked into every test program: the programs of one test run share a Wine server and a
// display, so another program may own a window of the library's default class at any time.
// Every program therefore allows a second instance unless a test asks otherwise.
#include "korvel.h"

namespace {
struct ALLOW_SECOND_INSTANCE {
  ALLOW_SECOND_INSTANCE() { AllowMultipleInstances(1); }
} AllowSecondInstance;
}  // namespace
