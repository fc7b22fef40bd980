// The clipboard, held inside the process: one text block, owned here once it is set.
#include "platform/win/clipboard.h"

#include <mutex>

#include "platform/win/heap.h"

namespace vx::win {

namespace {

std::mutex gClipboardLock;
bool gClipboardOpen = false;      // between OpenClipboard and CloseClipboard
HGLOBAL gClipboardText = nullptr;  // CF_TEXT block, owned

void ReleaseText() {
  if (gClipboardText) GlobalFree(gClipboardText);
  gClipboardText = nullptr;
}

}  // namespace

BOOL OpenClipboard(HWND /*owner*/) {
  const std::lock_guard<std::mutex> hold(gClipboardLock);
  if (gClipboardOpen) return FALSE_;
  gClipboardOpen = true;
  return TRUE_;
}

BOOL EmptyClipboard() {
  const std::lock_guard<std::mutex> hold(gClipboardLock);
  if (!gClipboardOpen) return FALSE_;
  ReleaseText();
  return TRUE_;
}

HANDLE SetClipboardData(UINT format, HANDLE data) {
  const std::lock_guard<std::mutex> hold(gClipboardLock);
  // On failure the caller keeps the block.
  if (!gClipboardOpen || format != CF_TEXT || !data) return nullptr;
  if (data != gClipboardText) {
    ReleaseText();
    gClipboardText = data;
  }
  return data;
}

HANDLE GetClipboardData(UINT format) {
  const std::lock_guard<std::mutex> hold(gClipboardLock);
  if (!gClipboardOpen || format != CF_TEXT) return nullptr;
  return gClipboardText;
}

BOOL CloseClipboard() {
  const std::lock_guard<std::mutex> hold(gClipboardLock);
  if (!gClipboardOpen) return FALSE_;
  gClipboardOpen = false;
  return TRUE_;
}

std::string ClipboardText() {
  const std::lock_guard<std::mutex> hold(gClipboardLock);
  if (!gClipboardText) return {};
  const auto* text = static_cast<const char*>(GlobalLock(gClipboardText));
  // A block without a terminating NUL is read up to its end, never past it.
  const size_t size = GlobalSize(gClipboardText);
  size_t length = 0;
  while (length < size && text[length] != '\0') ++length;
  return std::string(text, length);
}

}  // namespace vx::win
