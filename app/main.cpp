// The vorlix executable: a standalone game when an attached-files block carries a program,
// otherwise the author's tool.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "common/le_words.h"
#include "platform/win/files.h"
#include "runtime/demo.h"
#include "runtime/startup.h"

namespace {

void PrintUsage() {
  std::puts(
      "Vorlix - a BASIC game-creation system.\n"
      "\n"
      "usage:\n"
      "  vorlix --demo     run the built-in demonstration program\n"
      "  vorlix --help     show this text\n"
      "\n"
      "A copy of vorlix with a program attached to its end is a standalone game and runs it.");
}

// True when the file ends with the trailer of a block that is empty or whose first entry has a
// name: only the tail and the first entry's length are read, not the whole file.
bool CarriesAttachedProgram(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return false;
  const std::streamoff size = in.tellg();
  if (size < 12) return false;
  uint8_t word[4];
  in.seekg(size - 4);
  if (!in.read(reinterpret_cast<char*>(word), 4)) return false;
  const uint32_t offset = vx::ReadLE32(word);
  if (std::streamoff(offset) + 8 > size - 4) return false;
  in.seekg(offset);
  if (!in.read(reinterpret_cast<char*>(word), 4)) return false;
  const uint32_t nameLength = vx::ReadLE32(word);
  // An empty block is only its end marker and trailer.
  if (nameLength == 0) return std::streamoff(offset) == size - 8;
  return nameLength >= 2 && nameLength <= 256;
}

std::string JoinArguments(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  if (CarriesAttachedProgram(vx::win::ExecutablePath())) {
    const std::string commandLine = JoinArguments(argc, argv);
    return vx::WinMain(nullptr, nullptr, commandLine.c_str(), 1);
  }
  if (argc >= 2 && std::strcmp(argv[1], "--demo") == 0) return vx::RunDemo();
  PrintUsage();
  return argc >= 2 && std::strcmp(argv[1], "--help") != 0 ? 2 : 0;
}
