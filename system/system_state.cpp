// System-services state shared with the runtime core.
#include "system/system_state.h"

namespace vx {

SystemState gSystemState;

void ResetWindowState() {
  System().gWindowMode = 0;
  System().gWindowBorder = 0;
  System().gWindowCaption = 0;
  System().gWindowClientX = 0;
  System().gWindowClientY = 0;
  System().gWindowStyle = 0x800A0000u;
  System().gWindowShowState = 1;
}

void DisconnectFtpHangUp() {}
void DeleteMultiplayerSession() {}
void CloseEndedChildProcess() { System().gChildProcess = nullptr; }

}  // namespace vx
