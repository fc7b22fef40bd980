// Definitions of the interpreter's shared state (common/interpreter.h) and of the host's
// (common/host.h).
#include "common/interpreter.h"

#include "common/host.h"

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

win::HWND gMainWindow = nullptr;
uint32_t gAppActive = 1;
std::string gProgramFolder;
std::string gTempFolder;

}  // namespace vx
