// The system cursor and mouse capture of the window layer, and the folders and module paths that
// programs ask the system for: sizes that fit and sizes that do not, always with a closing NUL.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/win/files.h"
#include "platform/win/modules.h"
#include "platform/win/window.h"

namespace vx::win {
namespace {

LRESULT QuietProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

TEST(CursorTest, PositionIsKeptAndCaptureFollowsTheWindow) {
  ASSERT_TRUE(SetCursorPos(123, -45));
  POINT at{};
  ASSERT_TRUE(GetCursorPos(&at));
  EXPECT_EQ(at.x, 123);
  EXPECT_EQ(at.y, -45);
  EXPECT_FALSE(GetCursorPos(nullptr));

  const WNDCLASSA windowClass{0, &QuietProc, 0, nullptr, "VxCursorTest"};
  ASSERT_TRUE(RegisterClassA(&windowClass));
  HWND window = CreateWindowExA(0, "VxCursorTest", "", 0, 0, 0, 64, 48, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(SetCapture(window), nullptr);
  EXPECT_EQ(GetCapture(), window);
  EXPECT_EQ(SetCapture(window), window);  // the previous holder
  EXPECT_TRUE(ReleaseCapture());
  EXPECT_EQ(GetCapture(), nullptr);
  SetCapture(window);
  DestroyWindow(window);  // a destroyed window holds no capture
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_TRUE(UnregisterClassA("VxCursorTest"));
}

TEST(FoldersTest, WindowsFolderFitsOrAsksForItsSize) {
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 4u);
  EXPECT_STREQ(buffer, "/etc");
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetWindowsDirectoryA(buffer, 4), 5u);  // no room for the NUL: nothing written
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(GetWindowsDirectoryA(nullptr, 0), 5u);
}

TEST(FoldersTest, ModuleFileNameOfTheExecutableAndOfALoadedLibrary) {
  const std::string path = ExecutablePath();
  ASSERT_GT(path.size(), 4u);
  char full[4096];
  EXPECT_EQ(GetModuleFileNameA(nullptr, full, sizeof full), path.size());
  EXPECT_EQ(full, path);

  char cut[5];
  std::memset(cut, 'x', sizeof cut);
  EXPECT_EQ(GetModuleFileNameA(nullptr, cut, sizeof cut), sizeof cut);  // cut: the size comes back
  EXPECT_EQ(std::string(cut), path.substr(0, 4));
  EXPECT_EQ(GetModuleFileNameA(nullptr, cut, 0), 0u);

  HMODULE library = LoadLibraryA("libm.so.6");
  ASSERT_NE(library, nullptr);
  EXPECT_GT(GetModuleFileNameA(library, full, sizeof full), 0u);
  EXPECT_NE(std::string(full).find("libm"), std::string::npos) << full;
  FreeLibrary(library);
}

}  // namespace
}  // namespace vx::win
