// Display commands: the software fallback and the hardware transform and lighting device (each
// switch followed by the display made again with the mode in force), the mode-exists test, and the
// window mode (windowed or full screen, with the window geometry of the window commands).
#include "common/commands.h"
#include "common/interpreter.h"
#include "common/runtime_hooks.h"
#include "display/display.h"
#include "system/system_state.h"

namespace vx {

namespace {

template <uint32_t* kSwitch, uint32_t kValue>
void CmdSetDisplaySwitch() {
  *kSwitch = kValue;
  RebuildDisplayWithCurrentMode();
}

constexpr CommandHandler CmdEmulationOn = CmdSetDisplaySwitch<&gSurfaceFallback, 1>;
constexpr CommandHandler CmdEmulationOff = CmdSetDisplaySwitch<&gSurfaceFallback, 0>;
constexpr CommandHandler CmdDisableTnl = CmdSetDisplaySwitch<&gAllowTnL, 0>;
constexpr CommandHandler CmdEnableTnl = CmdSetDisplaySwitch<&gAllowTnL, 1>;

// The display is made again for the new mode: a window shows the program's picture at its own
// size through one back buffer; the full screen scales it and flips two pages.
void CmdWindowOn() {
  gWindowMode = 1;
  gWindowBorder = 8;
  gWindowCaption = 19;
  gWindowClientX = 4;
  gWindowClientY = 23;
  gWindowStyle = 0x00CF0000u;
  SetFullScreen(0);
  RebuildDisplayWithCurrentMode();
}

void CmdWindowOff() {
  ResetWindowToDefaults();
  SetFullScreen(1);
  RebuildDisplayWithCurrentMode();
}

struct WantedMode {
  win::DWORD width, height, depth;
  bool found;
};

// Modes below 16 bits are ignored; the first exact match ends the enumeration.
win::HRESULT MatchDisplayModeCallback(win::DDSURFACEDESC2* mode, void* context) {
  auto* wanted = static_cast<WantedMode*>(context);
  const win::DWORD bits = mode->ddpfPixelFormat.dwRGBBitCount;
  if (bits < 16) return win::DDENUMRET_OK;
  if (mode->dwWidth == wanted->width && mode->dwHeight == wanted->height && bits == wanted->depth) {
    wanted->found = true;
    return win::DDENUMRET_CANCEL;
  }
  return win::DDENUMRET_OK;
}

// result = display mode exists(width, height, depth); the result is written on every path.
void FnDisplayModeExists() {
  ValueSlot* result = SlotOperand(0);
  const int32_t width = IntOperand(1), height = IntOperand(2), depth = IntOperand(3);
  SkipOperands(4);
  result->i = 0;
  if (depth != 16 && depth != 24 && depth != 32) {
    RaiseRuntimeError(kErrDisplayDepthInvalid);
    return;
  }
  if (width < 1 || height < 1) {
    RaiseRuntimeError(kErrDisplaySizeBelowOne);
    return;
  }
  if (!gDirectDraw) return;
  WantedMode wanted{win::DWORD(width), win::DWORD(height), win::DWORD(depth), false};
  gDirectDraw->EnumDisplayModes(0, nullptr, &wanted, MatchDisplayModeCallback);
  result->i = wanted.found ? 1 : 0;
}

}  // namespace

}  // namespace vx

#include "generated/commands/display.inc"
