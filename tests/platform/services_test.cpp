// Heap blocks, the clipboard, the message queue, the injected clock and keys, calendar time and
// loadable modules.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>

#include "platform/win/clipboard.h"
#include "platform/win/heap.h"
#include "platform/win/keyboard.h"
#include "platform/win/messages.h"
#include "platform/win/modules.h"
#include "platform/win/time.h"

namespace vx::win {
namespace {

HGLOBAL TextBlock(const char* text) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE | GMEM_ZEROINIT, std::strlen(text) + 1);
  std::memcpy(GlobalLock(block), text, std::strlen(text));
  GlobalUnlock(block);
  return block;
}

TEST(HeapTest, BlocksAreAlignedSizedAndZeroFilled) {
  for (const size_t size : {size_t{0}, size_t{1}, size_t{17}, size_t{4096}, size_t{1} << 20}) {
    HGLOBAL block = GlobalAlloc(GPTR, size);
    ASSERT_NE(block, nullptr) << size;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 16, 0u);
    EXPECT_EQ(GlobalLock(block), block);
    EXPECT_EQ(GlobalSize(block), size);
    const auto* bytes = static_cast<const unsigned char*>(block);
    for (size_t i = 0; i < size; ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i << " of " << size;
    EXPECT_EQ(GlobalFree(block), nullptr);
  }
  EXPECT_EQ(GlobalAlloc(GPTR, size_t{1} << 40), nullptr);
  EXPECT_EQ(GlobalAlloc(GMEM_FIXED, SIZE_MAX), nullptr);
  EXPECT_EQ(GlobalFree(nullptr), nullptr);
  EXPECT_EQ(GlobalSize(nullptr), 0u);
}

class ClipboardTest : public ::testing::Test {
 protected:
  void TearDown() override {
    OpenClipboard(nullptr);
    EmptyClipboard();
    CloseClipboard();
  }
};

TEST_F(ClipboardTest, RoundTripAndOwnership) {
  EXPECT_EQ(ClipboardText(), "");
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_FALSE(OpenClipboard(nullptr));
  EXPECT_TRUE(EmptyClipboard());
  HGLOBAL first = TextBlock("first");
  EXPECT_EQ(SetClipboardData(CF_TEXT, first), first);
  // The second block replaces the first, which the clipboard frees (the sanitizer sees a leak
  // or a double free otherwise).
  HGLOBAL second = TextBlock("error report\r\nline 2");
  EXPECT_EQ(SetClipboardData(CF_TEXT, second), second);
  EXPECT_EQ(GetClipboardData(CF_TEXT), second);
  EXPECT_EQ(GetClipboardData(CF_TEXT + 1), nullptr);
  EXPECT_TRUE(CloseClipboard());
  EXPECT_FALSE(CloseClipboard());

  EXPECT_EQ(GetClipboardData(CF_TEXT), nullptr);  // closed
  EXPECT_EQ(ClipboardText(), "error report\r\nline 2");
}

TEST_F(ClipboardTest, RefusedDataStaysWithTheCallerAndTextStopsAtTheBlockEnd) {
  HGLOBAL block = TextBlock("mine");
  EXPECT_EQ(SetClipboardData(CF_TEXT, block), nullptr);  // not open
  EXPECT_FALSE(EmptyClipboard());
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_EQ(SetClipboardData(CF_TEXT + 1, block), nullptr);
  EXPECT_EQ(GlobalFree(block), nullptr);  // the sanitizer sees a double free if the clipboard took it

  HGLOBAL unterminated = GlobalAlloc(GMEM_FIXED, 3);
  std::memcpy(unterminated, "abc", 3);
  SetClipboardData(CF_TEXT, unterminated);
  CloseClipboard();
  EXPECT_EQ(ClipboardText(), "abc");
}

DWORD gFakeNow = 0;
DWORD FakeClock() { return gFakeNow; }

class MessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearMessageQueue();
    SetClockSource(&FakeClock);
  }
  void TearDown() override {
    ClearMessageQueue();
    SetClockSource(nullptr);
  }
};

TEST_F(MessageTest, TakenInOrderWithQuitAmongThem) {
  gFakeNow = 500;
  PostMessageA(nullptr, WM_KEYDOWN, VK_ESCAPE, 0);
  gFakeNow = 501;
  PostQuitMessage(-3);
  PostMessageA(nullptr, WM_CLOSE, 0, 0);
  EXPECT_TRUE(QuitMessagePending());

  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, WM_KEYDOWN);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_KEYDOWN);
  EXPECT_EQ(msg.wParam, static_cast<WPARAM>(VK_ESCAPE));
  EXPECT_EQ(msg.time, 500u);

  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(static_cast<int>(static_cast<intptr_t>(msg.wParam)), -3);
  EXPECT_EQ(msg.time, 501u);
  EXPECT_FALSE(QuitMessagePending());

  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_CLOSE);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_FALSE(PeekMessageA(nullptr, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessageTest, FiltersByRangeAndWindowButNeverHoldBackQuit) {
  auto* window = reinterpret_cast<HWND>(uintptr_t{0x1000});
  PostMessageA(nullptr, WM_MOUSEMOVE, 0, 0);
  PostMessageA(window, WM_CHAR, 'a', 0);
  PostMessageA(nullptr, WM_KEYUP, 0, 0);
  PostQuitMessage(0);

  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_KEYDOWN, WM_CHAR, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_CHAR);
  ASSERT_TRUE(PeekMessageA(&msg, window, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_QUIT);  // belongs to the thread, passes the window filter
  EXPECT_FALSE(PeekMessageA(&msg, window, 0, 0, PM_REMOVE));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_KEYDOWN, WM_CHAR, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_KEYUP);

  ClearMessageQueue();
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
}

TEST(ClockTest, InjectedClockReplacesTheRealOne) {
  gFakeNow = 0xFFFFFFF0u;
  SetClockSource(&FakeClock);
  EXPECT_EQ(timeGetTime(), 0xFFFFFFF0u);
  gFakeNow = 0x10u;
  EXPECT_EQ(timeGetTime(), 0x10u);
  SetClockSource(nullptr);
  const DWORD first = timeGetTime();
  EXPECT_LT(static_cast<DWORD>(timeGetTime() - first), 0x80000000u);  // never runs backwards
}

TEST(CalendarTest, SystemAndLocalTimeDescribeNow) {
  // The precise clock, as time() may lag it across a second.
  const auto now = [] {
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return t.tv_sec;
  };
  const time_t before = now();
  SYSTEMTIME utc{};
  SYSTEMTIME local{};
  GetSystemTime(&utc);
  GetLocalTime(&local);
  const time_t after = now();

  const auto check = [&](const SYSTEMTIME& st, bool isUtc) {
    tm parts{st.wSecond, st.wMinute, st.wHour, st.wDay, st.wMonth - 1, st.wYear - 1900, 0, 0, -1, 0, nullptr};
    const time_t seconds = isUtc ? timegm(&parts) : mktime(&parts);
    EXPECT_GE(seconds, before);
    EXPECT_LE(seconds, after);
    EXPECT_EQ(st.wDayOfWeek, parts.tm_wday);
    EXPECT_LT(st.wMilliseconds, 1000);
  };
  check(utc, true);
  check(local, false);
}

int16_t EscapeHeld(int key) { return key == VK_ESCAPE ? static_cast<int16_t>(0x8000) : 0; }

TEST(KeyboardTest, InjectedKeys) {
  SetKeyStateSource(&EscapeHeld);
  EXPECT_NE(GetAsyncKeyState(VK_ESCAPE), 0);
  EXPECT_EQ(GetAsyncKeyState(VK_F12), 0);
  SetKeyStateSource(nullptr);
  EXPECT_EQ(GetAsyncKeyState(VK_ESCAPE), 0);
}

TEST(ModuleTest, LoadsFindsAndFrees) {
  HMODULE maths = LoadLibraryA("libm.so.6");
  ASSERT_NE(maths, nullptr);
  using Cosine = double (*)(double);
  auto cosine = reinterpret_cast<Cosine>(GetProcAddress(maths, "cos"));
  ASSERT_NE(cosine, nullptr);
  EXPECT_EQ(cosine(0.0), 1.0);
  EXPECT_EQ(GetProcAddress(maths, "no_such_function"), nullptr);
  EXPECT_TRUE(FreeLibrary(maths));

  EXPECT_EQ(LoadLibraryA("libnothing-here.so"), nullptr);
  EXPECT_EQ(LoadLibraryA("\\no\\such\\Folder\\lib.dll"), nullptr);
  EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
}

}  // namespace
}  // namespace vx::win
