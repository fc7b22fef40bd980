// SDL's keys as virtual keys, for the window layer's key events.
#pragma once
#include <SDL.h>

namespace vx::win {

// The virtual key of an SDL key; left and right modifiers keep their side (VK_LSHIFT).
int VirtualKeyOf(const SDL_Keysym& key);

}  // namespace vx::win
