// Shared by the bitmap tests: a headless world whose image context is attached as the display
// attaches it, image files written here byte by byte (so that a load is not checked with the code
// that saves), and pictures of a few plain colour areas whose squeezing is easy to predict.
#pragma once
#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "display/draw_queue.h"
#include "display/images/image_context.h"
#include "platform/win/messages.h"
#include "runtime/errors.h"
#include "tests/display/image_test_support.h"
#include "tests/engine3d/surface_fixture.h"

namespace vx::test {

// A 24-bit bottom-up BMP of the picture.
inline void WriteBmp(const std::string& path, const Picture& picture) {
  const uint32_t row = (picture.width * 3 + 3) & ~3u;
  std::vector<uint8_t> file(54 + size_t(row) * picture.height, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + size_t(i)] = uint8_t(v >> (8 * i));
  };
  file[0] = 'B', file[1] = 'M';
  put32(2, uint32_t(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, picture.width);
  put32(22, picture.height);
  file[26] = 1, file[28] = 24;
  for (uint32_t y = 0; y < picture.height; ++y)
    for (uint32_t x = 0; x < picture.width; ++x) {
      const uint32_t c = picture.At(x, picture.height - 1 - y);
      uint8_t* p = &file[54 + size_t(y) * row + size_t(x) * 3];
      p[0] = uint8_t(c), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c >> 16);
    }
  WriteBytes(path, file);
}

// Four areas: red top left, green top right, blue bottom left, white bottom right.
inline Picture Quadrants(uint32_t width, uint32_t height) {
  Picture picture{width, height, {}};
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      const bool right = x >= width / 2, bottom = y >= height / 2;
      picture.rgb.push_back(bottom ? (right ? 0xFFFFFFu : 0x0000FFu) : (right ? 0x00FF00u : 0xFF0000u));
    }
  return picture;
}

// Every pixel different, none black.
inline Picture Gradient(uint32_t width, uint32_t height) {
  Picture picture{width, height, {}};
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
      picture.rgb.push_back(((x * 40 + 20) & 0xFF) << 16 | ((y * 30 + 10) & 0xFF) << 8 | 0x80u);
  return picture;
}

// The rectangle of a surface as a picture.
inline Picture PictureIn(win::IDirectDrawSurface7* surface, int32_t left, int32_t top, int32_t width,
                         int32_t height) {
  Picture picture{uint32_t(width), uint32_t(height), {}};
  for (int32_t y = top; y < top + height; ++y)
    for (int32_t x = left; x < left + width; ++x) picture.rgb.push_back(ColourAt(surface, x, y));
  return picture;
}

// The colours at the given points of a surface.
inline std::vector<uint32_t> ColoursAt(win::IDirectDrawSurface7* surface,
                                       std::initializer_list<std::pair<int32_t, int32_t>> points) {
  std::vector<uint32_t> colours;
  for (const auto& [x, y] : points) colours.push_back(ColourAt(surface, x, y));
  return colours;
}

// Locks the whole surface, so that it can be neither read nor blitted until unlocked.
inline void LockSurface(win::IDirectDrawSurface7* surface) {
  win::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  ASSERT_EQ(surface->Lock(nullptr, &desc, win::DDLOCK_WAIT, nullptr), win::DD_OK);
}

// A back buffer standing for the screen, a primary surface in the desktop's format whose format
// loaded files take, the draw target on the screen and nothing waiting in the queue.
class BitmapWorld : public SurfaceWorld {
 protected:
  void World(uint32_t bits = 32, int32_t width = 64, int32_t height = 48) {
    MakeWorld(bits, width, height);
    primary_ = MakePrimarySurface(gDirectDraw);
    ASSERT_NE(primary_, nullptr);
    AttachImageContext(nullptr, gDirectDraw, primary_);
    gFlipChain = 0;
    gStandaloneFlag = 0;
    gErrorWarningFlag = 0;
    ResetDrawTarget();
    Fill(gBackBuffer, 0x000000);
  }
  void TearDown() override {
    DrawQueueFlush();
    gDrawQueue.Destroy();
    gScreenSaveRequest = 0;
    gScreenshotFile.clear();
    ReleaseImageContext();
    if (primary_) primary_->Release();
    primary_ = nullptr;
    win::ClearMessageQueue();
    gErrorWarningFlag = 0;
    SurfaceWorld::TearDown();
  }
  // Runs the queue once and gives the error it raised (0 none); the error is then forgotten.
  static int32_t Frame() {
    gErrorCode = 0;
    gErrorWarningFlag = 0;
    DrawQueueExecute();
    const int32_t error = gErrorCode;
    gErrorCode = 0;
    win::ClearMessageQueue();
    return error;
  }

  win::IDirectDrawSurface7* primary_ = nullptr;
};

}  // namespace vx::test
