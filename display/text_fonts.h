// The text state of the running program and its two fonts: the text font of the text commands
// (gTextFont) and the window's own font that printing at the cursor uses (gWindowFont), their
// making, the run's start values of the text state, the listing of font families into the
// checklist, and the deletion of every font at shut-down.
#pragma once
#include <cstdint>
#include <string>

#include "display/draw_queue.h"
#include "platform/gdi/gdi.h"

namespace vx {

struct TextState {
  // --- Text state: the text commands' font settings and fonts, and the print cursor ---------------------
  std::string gTextFontName = "system";  // at most 255 characters
  int32_t gTextSize = 10;
  int16_t gTextStyle = 0;  // 0 normal, 1 italic, 2 bold, 3 bold italic
  uint8_t gTextOpaque = 0;
  uint32_t gTextCharsetSetting = 0;
  uint32_t gTextCharset = 0;  // character set of the window's own font
  win::HFONT gTextFont = nullptr;
  win::HFONT gWindowFont = nullptr;  // print-at-cursor text
  int32_t gTextCursorX = 0, gTextCursorY = 0;
};
extern TextState gTextState;  // the one instance (display/text_fonts.cpp)
inline TextState& Text() { return gTextState; }

int32_t CreateTextFont(int32_t style, int32_t size, const std::string& face, uint32_t charset);
// Makes gWindowFont anew: "system" at height 10, or "fixedsys" ten points high in gTextCharset
// when a character set was chosen. 1.
int32_t CreateSystemFont();
// The text state as a run starts: "system", size 10, normal, transparent, no character set, the
// print cursor at 0,0; both fonts made again.
void ResetTextStateForRun();
// Deletes both fonts.
void DeleteTextFonts();

// The text font, made from the text state first when there is none.
win::HFONT CurrentTextFont();
// The window's font, made first when there is none.
win::HFONT CurrentWindowFont();

// Size in pixels of the text in the current text font, measured on the back buffer's device
// context; only its first 255 characters count.
win::SIZE MeasureText(const std::string& text);
// The same in the back buffer's own font, as printing at the cursor measures.
win::SIZE MeasureInDefaultFont(const std::string& text);

// Fills the checklist with the installed font families, each once, at most 255 of them.
void ListFontFamilies();
// The enumeration's callback: adds the family unless it is listed; 0 (stop) at 255 families.
int AddFontFamilyToChecklist(const win::LOGFONTA* font, const win::TEXTMETRICA* metrics, win::DWORD fontType,
                             win::LPARAM context);

}  // namespace vx
