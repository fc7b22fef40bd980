// The narrow services through which the engines and the command families below the runtime reach
// it: raising errors and warnings, the engine error log, pausing the program, keeping the window
// alive inside long commands, and the attached files of a standalone game. The runtime installs
// them at start-up (InstallRuntimeHooks, runtime/runtime_services.h) and test programs by the same
// call; until then an error is only stored and the other services do nothing.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "generated/error_numbers.h"

namespace vx {

struct RuntimeHooks {
  void (*raiseError)(int32_t number);
  void (*raiseWarning)(int32_t number);
  void (*engineErrorLog)(const std::string& message);
  void (*engineNote)(const std::string& message);
  void (*pauseProgram)();
  void (*pumpMessages)();
  // Attached files: with baseNameOnly, entries are compared by the part after their last backslash.
  bool (*resolveVirtualFile)(std::string& name, const std::string& ending, bool baseNameOnly);
  bool (*attachedFileExists)(const std::string& name);
  bool (*readAttachedFile)(const std::string& name, std::vector<uint8_t>& bytes);
};
extern RuntimeHooks gRuntimeHooks;
// Stores the error in gErrorCode and ends the slice; what the hooks hold before the runtime's.
RuntimeHooks DefaultRuntimeHooks();

// Ends the run with error n (soft numbers take the warning path).
inline void RaiseRuntimeError(int32_t n) { gRuntimeHooks.raiseError(n); }
// Ends the run with warning n, except in a standalone game, where it is ignored.
inline void RaiseRuntimeWarning(int32_t n) { gRuntimeHooks.raiseWarning(n); }
// Keeps the message for the error box and, in debug mode, writes it to the log file.
inline void EngineErrorLog(const std::string& message) { gRuntimeHooks.engineErrorLog(message); }
// A line in the engine log about what the engine leaves out of a file it reads; no error, so the
// error box does not show it. The author's run also writes it to standard error at the program's
// line.
inline void EngineNote(const std::string& message) { gRuntimeHooks.engineNote(message); }
// A lost surface that cannot be restored pauses the program, unless it always runs.
inline void PauseProgram() { gRuntimeHooks.pauseProgram(); }
// Called inside long commands: drains the window's message queue once in a while.
inline void PumpMessagesOccasionally() { gRuntimeHooks.pumpMessages(); }
// When an attached file has the name (any case, either separator), its bytes are written to a
// temporary file "_virtual." + ending, name becomes that path and the result is true; otherwise
// name stays as it was.
inline bool ResolveVirtualFile(std::string& name, const std::string& ending) {
  return gRuntimeHooks.resolveVirtualFile(name, ending, false);
}
// The same, comparing the name only with the part of each entry's name after its last backslash.
inline bool ResolveVirtualFileByName(std::string& name, const std::string& ending) {
  return gRuntimeHooks.resolveVirtualFile(name, ending, true);
}
// True when an attached file has the name; nothing is extracted.
inline bool AttachedFileExists(const std::string& name) { return gRuntimeHooks.attachedFileExists(name); }
// The bytes of the attached file of that name, read from the block itself (nothing is extracted);
// false when no attached file has the name.
inline bool ReadAttachedFile(const std::string& name, std::vector<uint8_t>& bytes) {
  return gRuntimeHooks.readAttachedFile(name, bytes);
}

// The temporary ending for a requested file: its last three characters when they are letters or
// digits, else "dat" (short names, or endings holding a dot or a separator).
std::string VirtualFileEnding(const std::string& name);
// An ending that cannot lead out of the temporary folder or hide behind a second dot: 1 to 16
// letters and digits.
bool IsPlainFileEnding(const std::string& ending);

}  // namespace vx
