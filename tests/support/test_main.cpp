// The main of every test program: the runtime's hooks are installed first, by the call start-up
// makes, so that the engines under test raise errors and open attached files as in a run.
#include <gtest/gtest.h>

#include "runtime/runtime_hooks.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  vx::InstallRuntimeHooks();
  return RUN_ALL_TESTS();
}
