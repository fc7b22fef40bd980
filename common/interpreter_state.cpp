// Definitions of the interpreter's shared state (common/interpreter_state.h) and of the host's
// (common/host_state.h).
#include "common/interpreter_state.h"

#include "common/host_state.h"

namespace vx {

OperandWord* gProgramCounter = nullptr;
uint8_t gYieldFlag = 0;
uint8_t gAutoRefreshFlag = 1;
int32_t gErrorCode = 0;
uint8_t gErrorWarningFlag = 0;
uint32_t gStandaloneFlag = 0;
uint8_t gInputPollDue = 0;
ValueSlot* gVariableArea = nullptr;
size_t gVariableAreaSize = 0;
uint32_t gDrawSceneAtFrameUpdate = 0;
uint32_t gRandomState = 1;

int32_t NextRandomDraw() {
  gRandomState = gRandomState * 214013u + 2531011u;
  return int32_t((gRandomState >> 16) & 0x7FFF);
}

win::HWND gMainWindow = nullptr;
uint32_t gAppActive = 1;
std::string gProgramFolder;
std::string gTempFolder;

}  // namespace vx
