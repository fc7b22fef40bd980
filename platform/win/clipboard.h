// The clipboard: text put there by the program and read back.
#pragma once
#include <string>

#include "platform/win/types.h"

namespace vx::win {

constexpr UINT CF_TEXT = 1;

BOOL OpenClipboard(HWND owner);
BOOL EmptyClipboard();
// Takes ownership of a global block holding NUL-terminated text.
HANDLE SetClipboardData(UINT format, HANDLE data);
// The text block while the clipboard is open, or nullptr.
HANDLE GetClipboardData(UINT format);
BOOL CloseClipboard();

// The clipboard text, read without opening it (empty when none).
std::string ClipboardText();

}  // namespace vx::win
