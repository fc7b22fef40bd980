// Force feedback through SDL's haptic API, for a joystick that has it.
#pragma once
#include <memory>

#include "platform/input/dinput.h"

struct _SDL_Joystick;

namespace vx::win {

// Null when the joystick has no haptic device or it cannot be opened.
std::unique_ptr<ForceFeedbackDevice> OpenSdlHaptic(_SDL_Joystick* joystick);

}  // namespace vx::win
