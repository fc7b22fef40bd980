// The language's maths conventions shared by the maths commands: angle conversions that rest on
// pi taken as 3.141; the one random generator of the process is the interpreter's
// (common/interpreter_state.h).
#pragma once
#include <cstdint>

#include "common/interpreter_state.h"

namespace vx {

// Degrees to radians and back with the language's constants (0.01745 and its exact inverse), so
// that a value converted there and back is unchanged.
inline double DegToRad(double degrees) { return degrees * 0.01745; }
inline double RadToDeg(double radians) { return radians * 57.306590257879655; }

}  // namespace vx
