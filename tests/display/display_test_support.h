// The headless state display tests start from: a window of the runtime's kind, no injected
// faults, the standard 3D capabilities, fresh record pools and the display switches at their
// start-up values.
#pragma once
#include "display/display.h"
#include "engine3d/records.h"
#include "platform/d3d/direct3d.h"
#include "platform/ddraw/faults.h"
#include "platform/win/window.h"
#include "runtime/host.h"
#include "runtime/interpreter.h"

namespace vx::test {

inline win::LRESULT PlainWindowProc(win::HWND w, win::UINT m, win::WPARAM wp, win::LPARAM lp) {
  return win::DefWindowProcA(w, m, wp, lp);
}

inline void PrepareHeadlessDisplay(const char* className, int width, int height) {
  const win::WNDCLASSA windowClass{0, PlainWindowProc, 0, className, className};
  win::RegisterClassA(&windowClass);
  gMainWindow = win::CreateWindowExA(0, className, className, 0, 0, 0, width, height, nullptr, nullptr);
  win::ResetDisplayFaults();
  win::SetDirect3DProfile(win::StandardDirect3DProfile());
  win::SetDirect3DFaults({});
  InitRecordPools();
  gFullScreen = 1;
  gBlitFlipMode = 0;
  gSurfaceFallback = 0;
  gAllowTnL = 1;
  gDisplayDepth = 16;
  gErrorCode = 0;
}

}  // namespace vx::test
