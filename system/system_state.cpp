// System-services state shared with the runtime core.
#include "system/system_state.h"

namespace vx {

SystemState gSystemState;

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
