// The vorlix executable: a standalone game when an attached-files block carries a program,
// otherwise the author's tool that compiles, runs and builds BASIC programs.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/le_words.h"
#include "compiler/compiler.h"
#include "platform/win/files.h"
#include "platform/win/quit_signals.h"
#include "platform/win/window.h"
#include "runtime/builder.h"
#include "runtime/demo.h"
#include "runtime/dispatcher_state.h"
#include "runtime/errors.h"
#include "runtime/runtime_state.h"
#include "runtime/startup.h"

namespace {

constexpr const char* kVersion = "0.1.0";

// Exit statuses of the author's commands.
constexpr int kRanCleanly = 0;
constexpr int kEndedWithErrorBox = 1;
constexpr int kDidNotCompile = 2;

void PrintUsage(std::FILE* out) {
  std::fputs(
      "Vorlix - a BASIC game-creation system.\n"
      "\n"
      "usage:\n"
      "  vorlix run GAME.vxa [ARGUMENTS...]   compile the program and run it\n"
      "  vorlix run GAME.dat [ARGUMENTS...]   run a compiled program, beside its files\n"
      "  vorlix compile GAME.vxa [-o GAME.dat] compile only (to GAME.dat beside the source by default)\n"
      "  vorlix build GAME.vxa -o GAME         write a standalone game with the media of the program's folder\n"
      "  vorlix --demo                         run the built-in demonstration program\n"
      "  vorlix --help | --version\n"
      "\n"
      "Compiler messages read FILE:LINE: message. `run` exits with 0 when the program ended without an\n"
      "error box, 1 with one, and 2 when it did not compile; stopped by a signal, it cleans up and ends\n"
      "by that signal. A copy of vorlix with a program attached to its end is a standalone game and runs it.\n",
      out);
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

std::string Join(const std::vector<std::string>& words) {
  std::string line;
  for (const auto& w : words) line += (line.empty() ? "" : " ") + w;
  return line;
}

// "FILE:LINE: message", or "FILE: message" when no line is known.
void ReportAt(const std::string& file, int line, const std::string& message) {
  if (line > 0)
    std::fprintf(stderr, "%s:%d: %s\n", file.c_str(), line, message.c_str());
  else
    std::fprintf(stderr, "%s: %s\n", file.c_str(), message.c_str());
}

// A failed compile, at the line of the file that holds it (an included file too); the message
// does not repeat the line.
void ReportCompileFailure(const std::string& source, const std::string& message) {
  vx::SourceLine where = vx::CompileErrorPlace();
  if (where.file.empty()) where = {source, 0};  // the compile never began
  // A build compiles from the project's absolute path: a file below the current folder is named
  // from there, as the author named the program.
  std::error_code ignored;
  const std::filesystem::path file(where.file);
  if (file.is_absolute()) {
    const std::filesystem::path relative = file.lexically_relative(std::filesystem::current_path(ignored));
    if (!relative.empty() && *relative.begin() != "..") where.file = relative.string();
  }
  ReportAt(where.file, where.line, vx::MessageWithoutLine(message, vx::gCompiler.errorLine));
}

bool Compile(const std::string& source, const std::string& output) {
  vx::ResetCompiler();
  vx::gCompiler.listingWriter = vx::Dispatcher().gRuntimeTestMode ? vx::WriteDebugOutputScript : nullptr;
  const bool ok = vx::LoadCommandTable() && vx::CompileFile(source, output);
  if (!ok) ReportCompileFailure(source, vx::gCompiler.resultMessage);
  vx::FreeCompilerTables();
  return ok;
}

std::string gCompiledImage;  // the image `run` hands to the runtime
bool gImageDamaged = false;  // the image is not of the format version the runtime reads

// What `run` was given. A program image begins with its format version, the word 1, and its
// header words hold zero bytes, which no source text does; so a file with a zero byte in its
// first four words is an image too, a damaged one, unless it is named as a source (.vxa), which
// the compiler then refuses for its zero byte. Whether the rest holds is for the loader to say.
enum class Given { kSource, kImage, kDamagedImage };

Given WhatIsGiven(const std::string& path) {
  std::error_code ignored;
  if (!std::filesystem::is_regular_file(path, ignored)) return Given::kSource;  // a pipe would block the read
  std::ifstream in(path, std::ios::binary);
  uint8_t words[16] = {};
  in.read(reinterpret_cast<char*>(words), sizeof words);
  const size_t got = size_t(in.gcount());
  if (got >= 4 && vx::ReadLE32(words) == 1) return Given::kImage;
  std::string ending = std::filesystem::path(path).extension().string();
  for (char& c : ending) c = char(std::tolower(static_cast<unsigned char>(c)));
  const bool zeroByte = std::find(words, words + got, 0) != words + got;
  return zeroByte && ending != ".vxa" ? Given::kDamagedImage : Given::kSource;
}

// Nothing runs without a private work folder: its files have names that every run shares.
bool BeginOrSayWhy(const char* commandLine, int* fullScreen, int* windowed) {
  if (vx::BeginHost(nullptr, commandLine, fullScreen, windowed)) return true;
  std::fprintf(stderr, "vorlix: %s\n", vx::WorkFolderFailure().c_str());
  return false;
}

int RunSource(const std::string& source, const std::vector<std::string>& arguments) {
  int fullScreen = 1, windowed = 0;
  if (!BeginOrSayWhy(Join(arguments).c_str(), &fullScreen, &windowed)) return kEndedWithErrorBox;
  gCompiledImage = vx::Host().gTempFolder + "_exefile.dat";
  const Given given = WhatIsGiven(source);
  gImageDamaged = given == Given::kDamagedImage;
  if (given != Given::kSource) {
    // Run as it is, from the folder that becomes current below; the table names commands in reports.
    gCompiledImage = std::filesystem::absolute(source).string();
    vx::ResetCompiler();
    vx::LoadCommandTable();
  } else if (!Compile(source, gCompiledImage)) {
    vx::DeleteTempWorkFiles();
    return kDidNotCompile;
  }
  // The program finds its files beside its source, as it will beside its built game.
  const std::filesystem::path folder = std::filesystem::path(source).parent_path();
  if (!folder.empty()) vx::win::SetCurrentDirectoryA(folder.string().c_str());
  vx::RunProgram(nullptr, 1, fullScreen, windowed, false, [](std::string& imagePath) {
    imagePath = gCompiledImage;
    // A game would start such an image and fail at its first command; the author hears why.
    if (gImageDamaged) vx::Interpreter().gErrorCode = vx::kErrProgramNotLoaded;
    return !gImageDamaged;
  });
  // Where the program failed, in the file that holds the line (an included one, too), on the
  // terminal and in the box that follows.
  if (vx::Interpreter().gErrorCode > 0 && vx::Runtime().gErrorLine > 0) {
    vx::SourceLine where = vx::LocateSourceLine(int(vx::Runtime().gErrorLine));
    if (where.file.empty()) where.file = source;  // an image's lines are those of its source
    ReportAt(where.file, where.line, vx::FormatErrorMessage());
    if (where.line > 0) vx::Runtime().gErrorPlace = where.file + ":" + std::to_string(where.line) + ": ";
  }
  return vx::EndHost() ? kEndedWithErrorBox : kRanCleanly;
}

int CompileSource(const std::string& source, std::string output) {
  if (output.empty()) output = std::filesystem::path(source).replace_extension(".dat").string();
  int fullScreen = 1, windowed = 0;
  if (!BeginOrSayWhy("", &fullScreen, &windowed)) return kEndedWithErrorBox;
  const bool ok = Compile(source, output);
  vx::DeleteTempWorkFiles();
  return ok ? kRanCleanly : kDidNotCompile;
}

int BuildGame(const std::string& source, const std::string& target) {
  int fullScreen = 1, windowed = 0;
  if (!BeginOrSayWhy("", &fullScreen, &windowed)) return kEndedWithErrorBox;
  // The media are those beside the program; a bare name stands in the current folder.
  const std::filesystem::path sourcePath(source);
  const std::string folder = sourcePath.has_parent_path() ? sourcePath.parent_path().string() : std::string(".");
  vx::StandaloneBuilder builder;
  const bool ok = builder.BuildStandaloneExe(target, source, folder);
  if (!ok && builder.compileFailed())
    ReportCompileFailure(source, builder.failure());
  else if (!ok)
    ReportAt("vorlix", 0, builder.failure());
  vx::DeleteTempWorkFiles();
  return ok ? kRanCleanly : (builder.compileFailed() ? kDidNotCompile : kEndedWithErrorBox);
}

// The value after -o, or empty; false when -o has no value or an unknown option is given.
bool ParseOutput(const std::vector<std::string>& args, size_t from, std::string* output) {
  for (size_t i = from; i < args.size(); ++i) {
    if (args[i] == "-o" && i + 1 < args.size()) {
      *output = args[++i];
    } else {
      std::fprintf(stderr, "vorlix: unexpected argument '%s'\n", args[i].c_str());
      return false;
    }
  }
  return true;
}

int AuthorTool(const std::vector<std::string>& args) {
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    PrintUsage(stdout);
    return 0;
  }
  if (args[0] == "--version") {
    std::printf("vorlix %s\n", kVersion);
    return 0;
  }
  if (args[0] == "--demo") return vx::RunDemo();
  const std::string& command = args[0];
  const bool known = command == "run" || command == "compile" || command == "build";
  if (known && args.size() >= 2) {
    const std::string& source = args[1];
    if (command == "run") return RunSource(source, std::vector<std::string>(args.begin() + 2, args.end()));
    std::string output;
    if (!ParseOutput(args, 2, &output)) return kDidNotCompile;
    if (command == "compile") return CompileSource(source, output);
    if (output.empty()) {
      std::fputs("vorlix: build needs -o GAME\n", stderr);
      return kDidNotCompile;
    }
    return BuildGame(source, output);
  }
  if (known)
    std::fprintf(stderr, "vorlix: %s needs a program (GAME.vxa)\n\n", command.c_str());
  else
    std::fprintf(stderr, "vorlix: unknown command '%s'\n\n", command.c_str());
  PrintUsage(stderr);
  return kDidNotCompile;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  // A relative frame dump is written where vorlix was started, whatever folder the run moves to.
  if (const char* dump = std::getenv("VX_FRAME_DUMP"); dump && *dump) {
    std::error_code gone;  // a start folder that no longer exists leaves the name as it is
    if (const auto path = std::filesystem::absolute(dump, gone); !gone) setenv("VX_FRAME_DUMP", path.c_str(), 1);
  }
  // Tests make the display refuse a few connections, as a busy server does.
  if (const char* refusals = std::getenv("VX_TEST_DISPLAY_REFUSALS"))
    vx::win::SetDisplayOpenFailures(std::atoi(refusals));
  // Tests give a run another time to end by itself after a quit signal.
  if (const char* grace = std::getenv("VX_TEST_QUIT_GRACE_MS")) vx::win::SetQuitGrace(uint32_t(std::atoi(grace)));
  // A built game exits with 0 once it ran, whatever its program did (WinMain).
  const int status = CarriesAttachedProgram(vx::win::ExecutablePath())
                         ? vx::WinMain(nullptr, nullptr, Join(args).c_str(), 1)
                         : AuthorTool(args);
  // Whatever a signal ended finishes and cleans up, then ends as the signal asked, so that whoever
  // sent it (a shell loop, a cancelled job) sees that the run did not end by itself.
  if (vx::win::QuitSignalled()) vx::win::EndByQuitSignal();
  return status;
}
