// Display commands: the display modes (listed into the checklist, set, queried and tested for),
// the frame rate and whether the display was made again, the display card by name, the software
// fallback and the hardware transform and lighting device (each switch followed by the display
// made again with the mode in force), and the window mode (windowed or full screen, with the
// window geometry of the window commands).
#include <cstdio>

#include "common/checklist.h"
#include "common/commands.h"
#include "common/interpreter_state.h"
#include "common/runtime_hooks.h"
#include "display/display.h"
#include "system/system_state.h"

namespace vx {

namespace {

template <uint32_t DisplayState::*kSwitch, uint32_t kValue>
void CmdSetDisplaySwitch() {
  Display().*kSwitch = kValue;
  RebuildDisplayWithCurrentMode();
}

constexpr CommandHandler CmdEmulationOn = CmdSetDisplaySwitch<&DisplayState::gSurfaceFallback, 1>;
constexpr CommandHandler CmdEmulationOff = CmdSetDisplaySwitch<&DisplayState::gSurfaceFallback, 0>;
constexpr CommandHandler CmdDisableTnl = CmdSetDisplaySwitch<&DisplayState::gAllowTnL, 0>;
constexpr CommandHandler CmdEnableTnl = CmdSetDisplaySwitch<&DisplayState::gAllowTnL, 1>;

// The display is made again for the new mode: a window shows the program's picture at its own
// size through one back buffer; the full screen scales it and flips two pages.
void CmdWindowOn() {
  System().gWindowMode = 1;
  System().gWindowBorder = 8;
  System().gWindowCaption = 19;
  System().gWindowClientX = 4;
  System().gWindowClientY = 23;
  System().gWindowStyle = 0x00CF0000u;
  SetFullScreen(0);
  RebuildDisplayWithCurrentMode();
}

void CmdWindowOff() {
  ResetWindowToDefaults();
  SetFullScreen(1);
  RebuildDisplayWithCurrentMode();
}

// --- Display modes ---------------------------------------------------------------------------------

// Modes below 16 bits are left out; the others are listed as DirectDraw reports them.
win::HRESULT AddDisplayModeEntry(win::DDSURFACEDESC2* mode, void*) {
  const win::DWORD bits = mode->ddpfPixelFormat.dwRGBBitCount;
  if (bits < 16 || Checklist().gChecklistCount >= kChecklistCapacity) return win::DDENUMRET_OK;
  ChecklistEntry& entry = Checklist().gChecklist[size_t(Checklist().gChecklistCount++)];
  entry.values[0] = int32_t(mode->dwWidth);
  entry.values[1] = int32_t(mode->dwHeight);
  entry.values[2] = int32_t(bits);
  entry.values[3] = 0;
  std::snprintf(entry.text, sizeof entry.text, "%ux%ux%u", unsigned(mode->dwWidth), unsigned(mode->dwHeight),
                unsigned(bits));
  return win::DDENUMRET_OK;
}

void CmdListDisplayModes() {
  Checklist().gChecklistCount = 0;
  Checklist().gChecklistHasValues = 1;
  Checklist().gChecklistHasTexts = 1;
  win::DDSURFACEDESC2 any{};
  any.dwSize = sizeof any;
  Checklist().gChecklistFilled =
      Display().gDirectDraw &&
              win::Succeeded(Display().gDirectDraw->EnumDisplayModes(0, &any, nullptr, AddDisplayModeEntry))
          ? 1
          : 0;
}

// Raises the error of a mode the display can never have; true when the values may be asked for.
bool ModeValuesValid(int32_t width, int32_t height, int32_t depth) {
  if (depth != 16 && depth != 24 && depth != 32) {
    RaiseRuntimeError(kErrDisplayDepthInvalid);
    return false;
  }
  if (width < 1 || height < 1) {
    RaiseRuntimeError(kErrDisplaySizeBelowOne);
    return false;
  }
  return true;
}

// set display mode width, height, depth: the display is made again; a mode that does not stand
// leaves the old one (and its values) in force.
void CmdSetDisplayMode() {
  int32_t width = IntOperand(0), height = IntOperand(1), depth = IntOperand(2);
  SkipOperands(3);
  if (ModeValuesValid(width, height, depth) &&
      SetDisplayModeFull(width, height, depth, Display().gSurfaceFallback, Display().gScreenModeWidth,
                         Display().gScreenModeHeight, Display().gScreenModeDepth, Display().gSurfaceFallback)) {
    Display().gScreenModeWidth = width;
    Display().gScreenModeHeight = height;
    Display().gScreenModeDepth = depth;
    Display().gDisplayDepth = int16_t(depth);
  }
  Interpreter().gYieldFlag = 1;
}

template <auto kValue>
void FnScreenValue() {
  SlotOperand(0)->i = int32_t(Display().*kValue);
  SkipOperands(1);
}

constexpr CommandHandler FnScreenWidth = FnScreenValue<&DisplayState::gScreenModeWidth>;
constexpr CommandHandler FnScreenHeight = FnScreenValue<&DisplayState::gScreenModeHeight>;
constexpr CommandHandler FnScreenDepth = FnScreenValue<&DisplayState::gScreenModeDepth>;
constexpr CommandHandler FnScreenFps = FnScreenValue<&DisplayState::gFrameRate>;

void FnScreenInVideoMemory() {
  SlotOperand(0)->i = Display().gSystemMemorySurfaces == 0 ? 1 : 0;
  SkipOperands(1);
}

// 1 once after the display was made again or was away, then 0.
void FnScreenInvalid() {
  SlotOperand(0)->i = Display().gDisplayInvalid;
  Display().gDisplayInvalid = 0;
  SkipOperands(1);
}

// --- The display card ------------------------------------------------------------------------------

// set display card name: the display is made again on that card; a warning when another card is in
// use afterwards (windowed and in the software fallback the primary card always is).
void CmdSetDisplayCard() {
  Display().gChosenCardName = TextOperand(0);
  SkipOperands(1);
  RebuildDisplayWithCurrentMode();
  if (Interpreter().gErrorCode == 0 && !SameCardName(Display().gCurrentCardName, Display().gChosenCardName))
    RaiseRuntimeError(kErrDisplayCardNotChosen);
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
  if (!ModeValuesValid(width, height, depth) || !Display().gDirectDraw) return;
  WantedMode wanted{win::DWORD(width), win::DWORD(height), win::DWORD(depth), false};
  Display().gDirectDraw->EnumDisplayModes(0, nullptr, &wanted, MatchDisplayModeCallback);
  result->i = wanted.found ? 1 : 0;
}

}  // namespace

}  // namespace vx

#include "generated/commands/display.inc"
