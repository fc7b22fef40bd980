// The runtime's own state, one RuntimeState reached through Runtime(): the host program's current
// directories, work files, command line and instance, the loaded program image's tables, the
// arrays, the input lines and waits of the core commands, the errors, the main loop's frame time,
// the settings, the string commands' work text and the attached files. The main window, the active
// flag and the program and temporary folders, which every subsystem reads, are in
// common/host_state.h.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/host_state.h"
#include "common/value_slot.h"
#include "common/variable_layout.h"
#include "platform/win/types.h"
#include "runtime/strings.h"

namespace vx {

class AttachedFiles;

// Typed characters a program has not taken yet, at most.
constexpr size_t kTypedCharacterLimit = 256;

struct RuntimeState {
  std::string gStartDirectory;  // current directory at start-up
  std::string gRunDirectory;    // current directory when the display set-up ended
  std::string gWorkFile;        // temporary work files
  std::string gWorkFile2;
  std::string gSoundWorkFile;
  std::string gCommandLine;  // the command line the program started with
  win::HINSTANCE gInstance = nullptr;
  win::HWND gOwnerWindow = nullptr;

  // --- Program image -----------------------------------------------------------------------------
  // gVariableArea and gVariableAreaSize are in common/interpreter_state.h.
  OperandWord* gCodeBase = nullptr;  // relocated code, followed by a few end words
  uint32_t gCodeSize = 0;            // code length in bytes as stored (4 per word)
  uint32_t gCodeWordCount = 0;       // code length in words
  std::vector<uint32_t> gLineTable;  // source line of each code word
  std::vector<uint8_t> gDataTypes;   // 'l', 'f' or 's' per DATA item
  uint32_t gDataTypeCount = 0;
  std::vector<uint32_t> gIntVarOwners;     // owning function of each integer variable
  std::vector<uint32_t> gFloatVarOwners;   // ... of each float variable
  std::vector<uint32_t> gStringVarOwners;  // ... of each string variable
  uint32_t gStringConstantCount = 0;       // string constants loaded
  uint32_t gImageLoads = 0;                // counts loads and frees, so tables built from an image know when it went

  // --- Arrays ------------------------------------------------------------------------------------
  // Element blocks (slot-sized elements), null when the array is not dimensioned.
  std::array<ValueSlot*, kArrayHandleCount> gArrayHandles{};
  // Sizes of dimensions 1 to 5 and the element count of each array.
  std::array<std::array<uint32_t, 6>, kArrayHandleCount> gArrayDims{};
  // The variable or array element last loaded into each temporary, or null.
  std::array<ValueSlot*, kReferenceCount> gReferenceTable{};

  // --- Input lines and waits of the core commands ------------------------------------------------
  char gInputLine[256] = {};      // the typed line, with "_" after it while it is edited
  int32_t gInputLineLength = -1;  // characters typed; -1 while no input line is open
  int32_t gInputLineStartX = 0;   // print cursor x where the line began
  double gWaitUntil = -1.0;       // clock value at which the running wait is over; -1.0 none
  uint32_t gWaitStart = 0;        // clock value when it began
  uint8_t gWaitKeyState = 0;      // 1 once the awaited key was typed, until it ends
  uint8_t gWaitMouseState = 0;    // 1 once the awaited button is down, until it is released
  uint32_t gCursorShown = 1;      // 1 while the system cursor shows in windowed mode

  // --- Errors ------------------------------------------------------------------------------------
  char gLastEngineError[256] = "";  // last engine error message
  std::string gErrorReport;         // report shown by the run-time test box
  uint32_t gErrorLine = 0;          // source line (line table) of the command that set gErrorCode, 0 when none ran
  std::string gErrorPlace;          // "FILE:LINE: " before the error box text under `vorlix run`; empty in a game
  std::string gRequestedFile;       // the file a loader last asked for, as the program named it
  const OperandWord* gRequestedFileAt = nullptr;  // program counter of the command that asked
  std::string gErrorFile;  // the missing file a file error is about, with where it was looked for; empty none

  // --- Main loop ---------------------------------------------------------------------------------
  uint32_t gLastFrameTime = 0;  // when the last frame ended
  uint32_t gLastQuitLook = 0;   // when a slice last looked for a quit

  // The typed-character queue: a ring of the characters in the order typed.
  std::array<uint8_t, kTypedCharacterLimit> gTypedRing{};
  size_t gTypedFirst = 0;
  size_t gTypedCount = 0;
  bool gTypedRead = false;  // a command read the queue in the current slice

  // --- Settings ----------------------------------------------------------------------------------
  std::string gExternalEditor;  // outside editor from the settings, when it exists

  // --- String commands ---------------------------------------------------------------------------
  char gWorkText[kWorkTextSize] = {};

  // --- Attached files ----------------------------------------------------------------------------
  // The process-wide block of a standalone game. Start-up makes it before reading the executable;
  // the functions of runtime/attached_files.h do nothing and return false while it is null.
  std::unique_ptr<AttachedFiles> gAttachedFiles;

  ~RuntimeState();  // where AttachedFiles is complete
};
extern RuntimeState gRuntimeState;  // the one instance (runtime/runtime_state.cpp)
inline RuntimeState& Runtime() { return gRuntimeState; }

}  // namespace vx
