// System-services state shared with the runtime core.
#include "system/system_state.h"

namespace vx {

std::array<win::HMODULE, 256> gDllHandles{};
uint32_t gInternalErrorCode = 0;
uint32_t gAlwaysActive = 0;
uint32_t gEscapeEnabled = 1;
void* gChildProcess = nullptr;
uint32_t gExitMessageFlag = 0;
std::string gExitMessageText;
std::string gExitMessageCaption;

uint32_t gWindowMode = 0;
int32_t gWindowWidth = 640;
int32_t gWindowHeight = 480;
int32_t gWindowBorder = 0;
int32_t gWindowCaption = 0;
int32_t gWindowClientX = 0;
int32_t gWindowClientY = 0;
uint32_t gWindowStyle = 0x800A0000u;
int32_t gWindowShowState = 1;
std::string gWindowTitle = "Vorlix";

void ResetWindowState() {
  gWindowMode = 0;
  gWindowBorder = 0;
  gWindowCaption = 0;
  gWindowClientX = 0;
  gWindowClientY = 0;
  gWindowStyle = 0x800A0000u;
  gWindowShowState = 1;
}

void DisconnectFtpHangUp() {}
void DeleteMultiplayerSession() {}
void CloseEndedChildProcess() { gChildProcess = nullptr; }

}  // namespace vx
