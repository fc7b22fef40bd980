// Shared by the display tests: pictures as 0xRRGGBB pixels, the public corpora beside the
// repository (tests skip without them), FreeImage as an independent decoder, BMP files written here
// byte by byte (so that a load is not checked with the code that saves), a DirectDraw object whose
// image context is attached as the display attaches it, a headless bitmap world, and a real
// headless display.
#pragma once
#include <FreeImage.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "display/display.h"
#include "display/draw_queue.h"
#include "engine3d/object_records.h"
#include "images/image_codecs.h"
#include "images/image_context.h"
#include "platform/d3d/direct3d.h"
#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/faults.h"
#include "platform/ddraw/pixel_format.h"
#include "platform/win/messages.h"
#include "platform/win/window.h"
#include "runtime/dispatcher_state.h"
#include "runtime/errors.h"
#include "runtime/main_loop.h"
#include "runtime/runtime_state.h"
#include "surfaces/display_state.h"
#include "tests/engine3d/surface_fixture.h"

namespace vx::test {

// 0xRRGGBB pixels (alpha in the top byte where asked for), the top row first.
struct Picture {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint32_t> rgb;
  uint32_t At(uint32_t x, uint32_t y) const { return rgb[size_t(y) * width + x]; }
};

inline std::string CorpusFolder(const std::string& name) {
#ifdef VX_TESTDATA_DIR
  const std::string folder = std::string(VX_TESTDATA_DIR) + "/images/" + name;
  if (std::filesystem::is_directory(folder)) return folder;
#endif
  return {};
}

#define VX_CORPUS_OR_SKIP(variable, name)                      \
  const std::string variable = ::vx::test::CorpusFolder(name); \
  if (variable.empty()) GTEST_SKIP() << "no public test data"

// The files of a folder with the ending, sorted.
inline std::vector<std::string> FilesIn(const std::string& folder, const std::string& ending) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.is_regular_file() && entry.path().filename().string().ends_with(ending))
      files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

inline std::string BaseName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

inline std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Alpha, when asked for, in the top byte.
inline Picture PictureOf(win::IDirectDrawSurface7* surface, bool alpha = false) {
  const win::SurfacePixels view = surface->Pixels();
  Picture picture{view.width, view.height, {}};
  for (uint32_t y = 0; y < view.height; ++y)
    for (uint32_t x = 0; x < view.width; ++x)
      picture.rgb.push_back(win::ReadPixelArgb(view, x, y) & (alpha ? 0xFFFFFFFF : 0xFFFFFF));
  return picture;
}

// FreeImage's reading of a file as 8-bit colour, alpha in the top byte when asked for.
inline std::optional<Picture> ReferenceDecode(FREE_IMAGE_FORMAT format, const std::string& path, bool alpha = false) {
  FIBITMAP* loaded = FreeImage_Load(format, path.c_str(), 0);
  if (!loaded) return std::nullopt;
  FIBITMAP* colour = FreeImage_ConvertTo32Bits(loaded);
  FreeImage_Unload(loaded);
  if (!colour) return std::nullopt;
  Picture picture{FreeImage_GetWidth(colour), FreeImage_GetHeight(colour), {}};
  for (uint32_t y = 0; y < picture.height; ++y) {
    const BYTE* row = FreeImage_GetScanLine(colour, int(picture.height - 1 - y));
    for (uint32_t x = 0; x < picture.width; ++x, row += 4)
      picture.rgb.push_back((alpha ? uint32_t(row[FI_RGBA_ALPHA]) << 24 : 0) | uint32_t(row[FI_RGBA_RED]) << 16 |
                            uint32_t(row[FI_RGBA_GREEN]) << 8 | row[FI_RGBA_BLUE]);
  }
  FreeImage_Unload(colour);
  return picture;
}

// The largest difference of any channel (alpha too when asked for) of any pixel; a size mismatch
// gives 256.
inline int LargestDifference(const Picture& a, const Picture& b, bool alpha = false) {
  if (a.width != b.width || a.height != b.height) return 256;
  int largest = 0;
  for (size_t i = 0; i < a.rgb.size(); ++i)
    for (int shift = 0; shift < (alpha ? 32 : 24); shift += 8)
      largest = std::max(largest, std::abs(int((a.rgb[i] >> shift) & 0xFF) - int((b.rgb[i] >> shift) & 0xFF)));
  return largest;
}

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

// Locks the whole surface, so that it can be neither read nor blitted until unlocked.
inline void LockSurface(win::IDirectDrawSurface7* surface) {
  win::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  ASSERT_EQ(surface->Lock(nullptr, &desc, win::DDLOCK_WAIT, nullptr), win::DD_OK);
}

// A DirectDraw object in the desktop's 32-bit mode with its primary surface, attached to the
// image context.
class ImageFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    win::ResetDisplayFaults();
    ASSERT_EQ(win::DirectDrawCreateEx(nullptr, &directDraw_, win::IID_IDirectDraw7, nullptr), win::DD_OK);
    primary_ = MakePrimarySurface(directDraw_);
    ASSERT_NE(primary_, nullptr);
    AttachImageContext(nullptr, directDraw_, primary_);
  }
  void TearDown() override {
    ReleaseImageContext();
    if (primary_) primary_->Release();
    if (directDraw_) directDraw_->Release();
    win::ResetDisplayFaults();
    EXPECT_EQ(win::LiveSurfaceCount(), 0u) << "a loaded surface was not released";
  }
  // The picture of the loaded surface, or nothing when the load failed.
  std::optional<Picture> Load(const std::string& path) {
    win::IDirectDrawSurface7* surface = LoadImageByExtension(path);
    if (!surface) return std::nullopt;
    Picture picture = PictureOf(surface);
    surface->Release();
    return picture;
  }
  win::IDirectDraw7* directDraw_ = nullptr;
  win::IDirectDrawSurface7* primary_ = nullptr;
};

// A back buffer standing for the screen, a primary surface in the desktop's format whose format
// loaded files take, the draw target on the screen and nothing waiting in the queue.
class BitmapWorld : public SurfaceWorld {
 protected:
  void World(uint32_t bits = 32, int32_t width = 64, int32_t height = 48) {
    MakeWorld(bits, width, height);
    primary_ = MakePrimarySurface(Display().gDirectDraw);
    ASSERT_NE(primary_, nullptr);
    AttachImageContext(nullptr, Display().gDirectDraw, primary_);
    Display().gFlipChain = 0;
    Interpreter().gStandaloneFlag = 0;
    Interpreter().gErrorWarningFlag = 0;
    ResetDrawTarget();
    Fill(Display().gBackBuffer, 0x000000);
  }
  void TearDown() override {
    DrawQueueFlush();
    DrawQueue().gDrawQueue.Destroy();
    Display().gScreenSaveRequest = 0;
    Display().gScreenshotFile.clear();
    ReleaseImageContext();
    if (primary_) primary_->Release();
    primary_ = nullptr;
    win::ClearMessageQueue();
    Interpreter().gErrorWarningFlag = 0;
    SurfaceWorld::TearDown();
  }
  // Runs the queue once and gives the error it raised (0 none); the error is then forgotten.
  static int32_t Frame() {
    Interpreter().gErrorCode = Interpreter().gErrorWarningFlag = 0;
    DrawQueueExecute();
    const int32_t error = Interpreter().gErrorCode;
    Interpreter().gErrorCode = 0;
    win::ClearMessageQueue();
    return error;
  }
  win::IDirectDrawSurface7* primary_ = nullptr;
};

// A window of the runtime's kind, no injected faults, the standard 3D capabilities, fresh record
// pools and the display switches at their start-up values.
inline void PrepareHeadlessDisplay(const char* className, int width, int height) {
  const win::WNDCLASSA windowClass{
      0, [](win::HWND w, win::UINT m, win::WPARAM wp, win::LPARAM lp) { return win::DefWindowProcA(w, m, wp, lp); }, 0,
      className, className};
  win::RegisterClassA(&windowClass);
  Host().gMainWindow = win::CreateWindowExA(0, className, className, 0, 0, 0, width, height, nullptr, nullptr);
  win::ResetDisplayFaults();
  win::SetDirect3DProfile(win::StandardDirect3DProfile());
  win::SetDirect3DFaults({});
  InitRecordPools();
  Display().gFullScreen = Display().gAllowTnL = 1;
  Display().gBlitFlipMode = Display().gSurfaceFallback = 0;
  Display().gDisplayDepth = 16;
  Interpreter().gErrorCode = 0;
}

// Undoes PrepareHeadlessDisplay: the display released with nothing left alive, the window gone with
// its messages, no injected faults and the standard 3D capabilities.
inline void ReleaseHeadlessDisplay() {
  ReleaseDirectDrawObjects(0);
  FreeRecordPools();
  EXPECT_EQ(win::LiveSurfaceCount(), 0u);
  EXPECT_EQ(win::LiveDirectDrawCount(), 0u);
  win::DestroyWindow(Host().gMainWindow);
  Host().gMainWindow = nullptr;
  win::ClearMessageQueue();
  win::ResetDisplayFaults();
  win::SetDirect3DProfile(win::StandardDirect3DProfile());
  win::SetDirect3DFaults({});
}

// A real headless 640x480 display (a flip chain in full screen), torn down to no live surface.
class RealDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PrepareHeadlessDisplay("VXREAL", 320, 240);
    Display().gRenderEnabled = 1;
    Interpreter().gStandaloneFlag = 0;
    ASSERT_TRUE(EnumerateDisplayCards(0, 1) && InitDisplayAndDevice(640, 480, 1)) << Runtime().gLastEngineError;
    ResetDrawTarget();
  }
  void TearDown() override {
    DrawQueueFlush();
    DrawQueue().gDrawQueue.Destroy();
    for (int32_t n = 1; n < kBitmapSlots; ++n) ReleaseBitmapSurface(n);
    Display().gBitmapInfo = {};
    ReleaseDirectDrawObjects(0);
    FreeRecordPools();
    EXPECT_EQ(win::LiveSurfaceCount(), 0u);
    win::DestroyWindow(Host().gMainWindow);
    Host().gMainWindow = nullptr;
    win::ClearMessageQueue();
    win::ResetDisplayFaults();
    Interpreter().gErrorCode = Interpreter().gErrorWarningFlag = 0;
  }
};

}  // namespace vx::test
