// The one retry policy of surface work and the one pause rule of a surface that cannot come back.
// An operation that finds its surface still drawing is asked again at once; one that finds a
// surface lost has it restored and is asked again; a surface that cannot be restored pauses the
// program (PauseProgram, common/runtime_hooks.h). What each caller restores, and when it gives up,
// is written where it calls.
#pragma once
#include <initializer_list>

#include "common/runtime_hooks.h"
#include "platform/ddraw/ddraw.h"

namespace vx {

// Runs the operation until it is neither busy nor lost: on a lost surface `restore` is asked and
// the operation runs again when it returns true. The final result is the operation's, which is
// DDERR_SURFACELOST when the restore gave up.
template <class Operation, class Restore>
win::HRESULT RetryUntilDrawn(Operation&& operation, Restore&& restore) {
  for (;;) {
    const win::HRESULT result = operation();
    if (result == win::DDERR_WASSTILLDRAWING) continue;
    if (result != win::DDERR_SURFACELOST || !restore()) return result;
  }
}

// A lost surface comes back; when it can't, the program pauses.
inline bool RestoreOrPause(win::IDirectDrawSurface7* surface) {
  if (surface && win::Succeeded(surface->Restore())) return true;
  PauseProgram();
  return false;
}

// A blit between two surfaces: whichever of them is lost is restored. It gives up when a restore
// fails (the program is then paused) or when the blit stays lost with nothing lost to restore.
template <class Blit>
win::HRESULT RetryBlit(win::IDirectDrawSurface7* target, win::IDirectDrawSurface7* source, Blit&& blit) {
  return RetryUntilDrawn(blit, [&] {
    bool restored = false;
    for (win::IDirectDrawSurface7* s : {target, source}) {
      if (!s || !s->Lost()) continue;
      if (!RestoreOrPause(s)) return false;
      restored = true;
    }
    return restored;
  });
}

}  // namespace vx
