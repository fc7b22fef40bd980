// The clipboard: one text block held inside the process, owned here once it is set, and handed
// to the desktop's clipboard when a real window is up.
#include "platform/win/clipboard.h"

#include <SDL.h>

#include <mutex>

#include "platform/win/heap.h"
#include "platform/win/held_locks.h"
#include "platform/win/window.h"

namespace vx::win {

namespace {

std::mutex gClipboardLock;
bool gClipboardOpen = false;       // between OpenClipboard and CloseClipboard
HGLOBAL gClipboardText = nullptr;  // CF_TEXT block, owned

void ReleaseText() {
  if (gClipboardText) GlobalFree(gClipboardText);
  gClipboardText = nullptr;
}

}  // namespace

BOOL OpenClipboard(HWND /*owner*/) {
  const CountedLock hold(gClipboardLock);
  if (gClipboardOpen) return FALSE_;
  gClipboardOpen = true;
  return TRUE_;
}

BOOL EmptyClipboard() {
  const CountedLock hold(gClipboardLock);
  if (!gClipboardOpen) return FALSE_;
  ReleaseText();
  return TRUE_;
}

HANDLE SetClipboardData(UINT format, HANDLE data) {
  const CountedLock hold(gClipboardLock);
  // On failure the caller keeps the block.
  if (!gClipboardOpen || format != CF_TEXT || !data) return nullptr;
  if (data != gClipboardText) {
    ReleaseText();
    gClipboardText = data;
  }
  return data;
}

HANDLE GetClipboardData(UINT format) {
  const CountedLock hold(gClipboardLock);
  if (!gClipboardOpen || format != CF_TEXT) return nullptr;
  return gClipboardText;
}

BOOL CloseClipboard() {
  {
    const CountedLock hold(gClipboardLock);
    if (!gClipboardOpen) return FALSE_;
    gClipboardOpen = false;
  }
  if (SDL_WasInit(SDL_INIT_VIDEO) && !IsHeadless()) SDL_SetClipboardText(ClipboardText().c_str());
  return TRUE_;
}

std::string ClipboardText() {
  const CountedLock hold(gClipboardLock);
  if (!gClipboardText) return {};
  const auto* text = static_cast<const char*>(GlobalLock(gClipboardText));
  // A block without a terminating NUL is read up to its end, never past it.
  const size_t size = GlobalSize(gClipboardText);
  size_t length = 0;
  while (length < size && text[length] != '\0') ++length;
  return std::string(text, length);
}

}  // namespace vx::win
