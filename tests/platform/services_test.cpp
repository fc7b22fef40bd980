// Heap blocks, the clipboard and the message queue's filters.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/win/clipboard.h"
#include "platform/win/heap.h"
#include "platform/win/messages.h"

namespace vx::win {
namespace {

HGLOBAL TextBlock(const char* text) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE | GMEM_ZEROINIT, std::strlen(text) + 1);
  std::memcpy(GlobalLock(block), text, std::strlen(text));
  GlobalUnlock(block);
  return block;
}

TEST(HeapTest, BlocksAreAlignedSizedAndZeroFilled) {
  for (const size_t size : {size_t{0}, size_t{17}, size_t{1} << 20}) {
    HGLOBAL block = GlobalAlloc(GPTR, size);
    ASSERT_NE(block, nullptr) << size;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 16, 0u);
    EXPECT_EQ(GlobalSize(block), size);
    const auto* bytes = static_cast<const unsigned char*>(block);
    for (size_t i = 0; i < size; ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i << " of " << size;
    EXPECT_EQ(GlobalFree(block), nullptr);
  }
  EXPECT_EQ(GlobalAlloc(GPTR, size_t{1} << 40), nullptr);
  EXPECT_EQ(GlobalAlloc(GMEM_FIXED, SIZE_MAX), nullptr);
}

class ClipboardTest : public ::testing::Test {
 protected:
  void TearDown() override {
    OpenClipboard(nullptr);
    EmptyClipboard();
    CloseClipboard();
  }
};

// The sanitizer sees a leak or a double free if a block's ownership goes the wrong way.
TEST_F(ClipboardTest, ReplacedDataIsFreedRefusedDataStaysWithTheCaller) {
  HGLOBAL block = TextBlock("mine");
  EXPECT_EQ(SetClipboardData(CF_TEXT, block), nullptr);  // not open
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_FALSE(OpenClipboard(nullptr));
  EXPECT_EQ(SetClipboardData(CF_TEXT + 1, block), nullptr);
  EXPECT_EQ(GlobalFree(block), nullptr);

  EXPECT_TRUE(EmptyClipboard());
  HGLOBAL first = TextBlock("first");
  EXPECT_EQ(SetClipboardData(CF_TEXT, first), first);
  HGLOBAL second = TextBlock("error report\r\nline 2");
  EXPECT_EQ(SetClipboardData(CF_TEXT, second), second);
  EXPECT_EQ(GetClipboardData(CF_TEXT), second);
  EXPECT_TRUE(CloseClipboard());
  EXPECT_FALSE(CloseClipboard());
  EXPECT_EQ(GetClipboardData(CF_TEXT), nullptr);  // closed
  EXPECT_EQ(ClipboardText(), "error report\r\nline 2");

  // Text without a NUL stops at the end of its block.
  ASSERT_TRUE(OpenClipboard(nullptr));
  HGLOBAL unterminated = GlobalAlloc(GMEM_FIXED, 3);
  std::memcpy(unterminated, "abc", 3);
  SetClipboardData(CF_TEXT, unterminated);
  CloseClipboard();
  EXPECT_EQ(ClipboardText(), "abc");
}

TEST(MessageTest, FiltersByRangeAndWindowButNeverHoldBackQuit) {
  ClearMessageQueue();
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
}

}  // namespace
}  // namespace vx::win
