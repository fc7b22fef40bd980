// The language's maths conventions shared by the maths commands: angle conversions that rest on
// pi taken as 3.141, and the one random generator of the process.
#pragma once
#include <cstdint>

namespace vx {

extern uint32_t gRandomState;  // random generator state: 1 at process start, never reset by a run

// Degrees to radians and back with the language's constants (0.01745 and its exact inverse), so
// that a value converted there and back is unchanged.
inline double DegToRad(double degrees) { return degrees * 0.01745; }
inline double RadToDeg(double radians) { return radians * 57.306590257879655; }

// Advances the generator and returns its next draw, 0 to 32767.
int32_t NextRandomDraw();

}  // namespace vx
