// The compiler's progress display. There is no editor screen here: the progress goes nowhere
// unless a caller has asked to see it.
#pragma once

namespace vx {

// Called with the percentage (0 to 100) each time the tens digit of the compile's progress grows.
void ShowCompileProgress(int percent);

// Where progress goes instead; nullptr returns to showing nothing.
using CompileProgressSink = void (*)(int percent);
void SetCompileProgressSink(CompileProgressSink sink);

}  // namespace vx
