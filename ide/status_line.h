// The status line on which the builder reports its progress ("Adding ..."). There is no editor
// screen here: the line goes to standard output, so that a build says what it packs also in a
// script's log.
#pragma once
#include <string>

namespace vx {

void StatusLineText(const std::string& text);

// Where status lines go instead; nullptr returns to the terminal rule above.
using StatusLineSink = void (*)(const std::string& text);
void SetStatusLineSink(StatusLineSink sink);

}  // namespace vx
