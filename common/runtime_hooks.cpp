// The runtime's services as the layers below it see them, and their stand-ins until the runtime
// installs its own.
#include "common/runtime_hooks.h"

#include <algorithm>

#include "common/host_state.h"
#include "common/interpreter_state.h"

namespace vx {

RuntimeHooks DefaultRuntimeHooks() {
  RuntimeHooks hooks{};
  hooks.raiseError = hooks.raiseWarning = [](int32_t n) {
    Interpreter().gErrorCode = n;
    Interpreter().gYieldFlag = 1;
  };
  hooks.engineErrorLog = [](const std::string&) {};
  hooks.engineNote = [](const std::string&) {};
  hooks.pauseProgram = [] { Host().gAppActive = 0; };
  hooks.pumpMessages = [] {};
  hooks.resolveVirtualFile = [](std::string&, const std::string&, bool) { return false; };
  hooks.attachedFileExists = [](const std::string&) { return false; };
  hooks.readAttachedFile = [](const std::string&, std::vector<uint8_t>&) { return false; };
  return hooks;
}

RuntimeHooks gRuntimeHooks = DefaultRuntimeHooks();

bool IsPlainFileEnding(const std::string& ending) {
  return !ending.empty() && ending.size() <= 16 && std::all_of(ending.begin(), ending.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  });
}

std::string VirtualFileEnding(const std::string& name) {
  if (name.size() < 3) return "dat";
  const std::string ending = name.substr(name.size() - 3);
  return IsPlainFileEnding(ending) ? ending : "dat";
}

}  // namespace vx
