// The runtime's side of the hooks: errors and the engine log (runtime/errors.h), the pause rule,
// the occasional message pump (runtime/main_loop.h) and the attached files
// (runtime/attached_files.h).
#include "runtime/runtime_services.h"

#include <span>

#include "common/runtime_hooks.h"
#include "runtime/attached_files.h"
#include "runtime/errors.h"
#include "runtime/main_loop.h"
#include "system/system_state.h"

namespace vx {

void InstallRuntimeHooks() {
  RuntimeHooks hooks;
  hooks.raiseError = RaiseError;
  hooks.raiseWarning = RaiseWarning;
  hooks.engineErrorLog = LogEngineError;
  hooks.engineNote = LogEngineNote;
  // A program that always runs keeps running whatever its surfaces do.
  hooks.pauseProgram = [] {
    if (!System().gAlwaysActive) Host().gAppActive = 0;
  };
  hooks.pumpMessages = DrainMessagesOccasionally;
  // Every loader asks the attached files first: there the runtime learns which file a command wants.
  hooks.resolveVirtualFile = [](std::string& name, const std::string& ending, bool baseNameOnly) {
    NoteRequestedFile(name);
    return Runtime().gAttachedFiles && Runtime().gAttachedFiles->Resolve(name, ending, baseNameOnly);
  };
  hooks.attachedFileExists = [](const std::string& name) {
    NoteRequestedFile(name);
    return Runtime().gAttachedFiles && Runtime().gAttachedFiles->FindEntry(name) != nullptr;
  };
  hooks.readAttachedFile = [](const std::string& name, std::vector<uint8_t>& bytes) {
    NoteRequestedFile(name);
    const AttachedEntry* entry = Runtime().gAttachedFiles ? Runtime().gAttachedFiles->FindEntry(name) : nullptr;
    if (!entry) return false;
    const std::span<const uint8_t> data = Runtime().gAttachedFiles->EntryData(*entry);
    bytes.assign(data.begin(), data.end());
    return true;
  };
  gRuntimeHooks = hooks;
}

}  // namespace vx
