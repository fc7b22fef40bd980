// A message box of the window layer's own: an SDL window with the text drawn through the GDI
// layer and an OK button. SDL's boxes need an outside tool (zenity) or X core fonts, which many
// desktops lack; this one needs only the display the program already had.
#pragma once
#include <string>

namespace vx::win {

// Shows the box and waits until it is closed: OK clicked, Enter, Space or Esc pressed, the window
// closed, or a quit signal came (quit_signals.h). `stop` draws the stop sign of an error. False,
// at once, when no window could be made. Texts are code page 1252 (or UTF-8 for the caption).
bool ShowMessageBoxWindow(const std::string& text, const std::string& caption, bool stop);

}  // namespace vx::win
