// The vorlix executable: runs a built-in demonstration program through the runtime.
#include <cstdio>
#include <cstring>

#include "platform/win/files.h"
#include "platform/win/messages.h"
#include "runtime/demo.h"
#include "runtime/dispatcher.h"
#include "runtime/errors.h"
#include "runtime/interpreter.h"
#include "runtime/program_image.h"
#include "runtime/run_setup.h"

namespace {

void PrintUsage() {
  std::puts(
      "Vorlix - a BASIC game-creation system.\n"
      "\n"
      "usage:\n"
      "  vorlix --demo     run the built-in demonstration program\n"
      "  vorlix --help     show this text");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--demo") == 0) return vx::RunDemo();
  PrintUsage();
  return argc >= 2 && std::strcmp(argv[1], "--help") != 0 ? 2 : 0;
}
