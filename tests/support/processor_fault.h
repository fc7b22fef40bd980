// Processor faults for the tests of the fault guards: a page that may be neither read nor
// written, and a write to it made by the test program's own code.
#pragma once
#include <sys/mman.h>

namespace vx::test {

inline char* NoAccessPage() {
  static char* const page = static_cast<char*>(mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  return page;
}

[[gnu::noinline]] inline void WriteToNoAccessPage() { *reinterpret_cast<volatile char*>(NoAccessPage()) = 1; }

}  // namespace vx::test
