// The headless state display tests start from: a window of the runtime's kind, no injected
// faults, the standard 3D capabilities, fresh record pools and the display switches at their
// start-up values.
#pragma once
#include <gtest/gtest.h>

#include "display/display.h"
#include "display/display_state.h"
#include "display/draw_queue.h"
#include "engine3d/records.h"
#include "engine3d/surface_primitives.h"
#include "platform/ddraw/ddraw.h"
#include "platform/d3d/direct3d.h"
#include "platform/ddraw/faults.h"
#include "platform/win/window.h"
#include "runtime/errors.h"
#include "runtime/host.h"
#include "runtime/interpreter.h"
#include "runtime/main_loop.h"

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

// A real headless 640x480 display (a flip chain in full screen), torn down to no live surface.
class RealDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PrepareHeadlessDisplay("VXREAL", 320, 240);
    gRenderEnabled = 1;
    gStandaloneFlag = 0;
    ASSERT_TRUE(EnumerateDisplayCards(0, 1) && InitDisplayAndDevice(640, 480, 1)) << gLastEngineError;
    ResetDrawTarget();
  }
  void TearDown() override {
    DrawQueueFlush();
    gDrawQueue.Destroy();
    for (int32_t n = 1; n < kBitmapSlots; ++n) ReleaseBitmapSurface(n);
    gBitmapInfo = {};
    ReleaseDirectDrawObjects(0);
    FreeRecordPools();
    EXPECT_EQ(win::LiveSurfaceCount(), 0u);
    win::DestroyWindow(gMainWindow);
    gMainWindow = nullptr;
    win::ClearMessageQueue();
    win::ResetDisplayFaults();
    gErrorCode = gErrorWarningFlag = 0;
  }
};

}  // namespace vx::test
