// Linked into every test program: the programs of one test run share a Wine server and a
// display, so another program may own a window of the library's default class at any time.
// Every program therefore allows a second instance unless a test asks otherwise.
//
// A crash must always fail the program: Wine's automatic debugger sometimes ends a crashed
// 64-bit program with status 0, which the test runner would count as passed. The filter below
// prints the exception and ends the process with its exception code, which is never 0.
#include <windows.h>

#include <cstdio>

#include "korvel.h"

namespace {
LONG WINAPI EndOnUnhandledException(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  fprintf(stderr, "unhandled exception 0x%08lx at %p\n", (unsigned long)record->ExceptionCode,
          record->ExceptionAddress);
  fflush(stderr);
  TerminateProcess(GetCurrentProcess(), record->ExceptionCode != 0 ? record->ExceptionCode : 1);
  return EXCEPTION_EXECUTE_HANDLER;
}

struct TEST_PROCESS_SETUP {
  TEST_PROCESS_SETUP() {
    SetUnhandledExceptionFilter(EndOnUnhandledException);
    AllowMultipleInstances(1);
  }
} TestProcessSetup;
}  // namespace
