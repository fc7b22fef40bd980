// The text font and the window's font: making them from the text state, measuring in the text font,
// listing the font families, and deleting them all at shut-down (see text_fonts.h).
#include "display/text_fonts.h"

#include <algorithm>
#include <cstring>

#include "common/checklist.h"
#include "display/draw_queue.h"
#include "surfaces/display_state.h"

namespace vx {

TextState gTextState;

namespace {

constexpr int32_t kMaxListedFamilies = 255;

// A replaced font goes at once: items are drawn when performed, and none keeps a font for later.
void DeleteFont(win::HFONT font) {
  if (font) win::DeleteObject(font);
}

// A device context for measuring: the back buffer's, or a memory context when it has none to give
// (no display yet, or a lost surface), so that measuring never fails for want of a screen.
class MeasuringDc {
 public:
  MeasuringDc() {
    if (gBackBuffer && win::Succeeded(gBackBuffer->GetDC(&dc_))) {
      surface_ = gBackBuffer;
      return;
    }
    dc_ = win::CreateCompatibleDC(nullptr);
  }
  ~MeasuringDc() {
    if (surface_)
      surface_->ReleaseDC(dc_);
    else if (dc_)
      win::DeleteDC(dc_);
  }
  MeasuringDc(const MeasuringDc&) = delete;
  MeasuringDc& operator=(const MeasuringDc&) = delete;
  win::HDC get() const { return dc_; }

 private:
  win::IDirectDrawSurface7* surface_ = nullptr;
  win::HDC dc_ = nullptr;
};

}  // namespace

int32_t CreateTextFont(int32_t style, int32_t size, const std::string& face, uint32_t charset) {
  const int weight = style == 2 || style == 3 ? win::FW_BOLD : win::FW_NORMAL;
  const win::DWORD italic = style == 1 || style == 3 ? 1 : 0;
  int height = size;
  uint32_t passed = 0;
  if (charset != 0) {
    passed = charset;
    if (charset != gTextCharset) {
      gTextCharset = charset;
      CreateSystemFont();
    }
  } else if (gTextCharset != 0) {
    MeasuringDc dc;
    height = -win::MulDiv(size, win::GetDeviceCaps(dc.get(), win::LOGPIXELSY), 72);
    passed = gTextCharset;
  }
  win::HFONT made = win::CreateFontA(height, 0, 0, 0, weight, italic, 0, 0, passed, win::OUT_DEFAULT_PRECIS,
                                     win::CLIP_DEFAULT_PRECIS, win::NONANTIALIASED_QUALITY, win::VARIABLE_PITCH,
                                     face.c_str());
  DeleteFont(gTextFont);
  gTextFont = made;
  return 1;
}

int32_t CreateSystemFont() {
  DeleteFont(gWindowFont);
  gWindowFont = nullptr;
  if (gTextCharset != 0) {
    // The window's device context stands for the screen: a memory context compatible with it.
    int height = 10;
    if (win::HDC dc = win::CreateCompatibleDC(nullptr)) {
      height = -win::MulDiv(10, win::GetDeviceCaps(dc, win::LOGPIXELSY), 72);
      win::DeleteDC(dc);
    }
    gWindowFont = win::CreateFontA(height, 0, 0, 0, win::FW_NORMAL, 0, 0, 0, gTextCharset, win::OUT_DEFAULT_PRECIS,
                                   win::CLIP_DEFAULT_PRECIS, win::NONANTIALIASED_QUALITY, win::VARIABLE_PITCH,
                                   "fixedsys");
  } else {
    gWindowFont = win::CreateFontA(10, 0, 0, 0, win::FW_NORMAL, 0, 0, 0, 0, win::OUT_DEFAULT_PRECIS,
                                   win::CLIP_DEFAULT_PRECIS, win::NONANTIALIASED_QUALITY, win::VARIABLE_PITCH,
                                   "system");
  }
  return 1;
}

void ResetTextStateForRun() {
  gTextFontName = "system";
  gTextSize = 10;
  gTextStyle = 0;
  gTextOpaque = 0;
  // The character sets go first, so that the new text font is not made in the last run's set.
  gTextCharsetSetting = 0;
  gTextCharset = 0;
  CreateTextFont(gTextStyle, gTextSize, gTextFontName, gTextCharsetSetting);
  CreateSystemFont();
  gTextCursorX = gTextCursorY = 0;
}

void DeleteTextFonts() {
  DeleteFont(gTextFont);
  DeleteFont(gWindowFont);
  gTextFont = gWindowFont = nullptr;
}

win::HFONT CurrentTextFont() {
  if (!gTextFont) CreateTextFont(gTextStyle, gTextSize, gTextFontName, gTextCharsetSetting);
  return gTextFont;
}

win::HFONT CurrentWindowFont() {
  if (!gWindowFont) CreateSystemFont();
  return gWindowFont;
}

namespace {

// The size of the text's first 255 characters in the given font, or in the context's own font.
win::SIZE Measure(const std::string& text, win::HFONT font) {
  const int length = int(std::min<size_t>(strnlen(text.c_str(), text.size()), 255));
  win::SIZE size{0, 0};
  MeasuringDc dc;
  if (!dc.get()) return size;
  win::HGDIOBJ previous = font ? win::SelectObject(dc.get(), font) : nullptr;
  win::GetTextExtentPoint32A(dc.get(), text.c_str(), length, &size);
  if (previous) win::SelectObject(dc.get(), previous);
  return size;
}

}  // namespace

win::SIZE MeasureText(const std::string& text) { return Measure(text, CurrentTextFont()); }

win::SIZE MeasureInDefaultFont(const std::string& text) { return Measure(text, nullptr); }

int AddFontFamilyToChecklist(const win::LOGFONTA* font, const win::TEXTMETRICA*, win::DWORD, win::LPARAM) {
  if (gChecklistCount >= kMaxListedFamilies) return 0;
  const char* name = font->lfFaceName;
  const size_t length = strnlen(name, win::LF_FACESIZE);
  for (int32_t i = 0; i < gChecklistCount; ++i) {
    const char* listed = gChecklist[size_t(i)].text;
    if (std::strlen(listed) == length && std::memcmp(listed, name, length) == 0) return 1;
  }
  ChecklistEntry& entry = gChecklist[size_t(gChecklistCount++)];
  entry.values[0] = entry.values[1] = entry.values[2] = entry.values[3] = 0;
  std::memcpy(entry.text, name, length);
  entry.text[length] = '\0';
  return gChecklistCount >= kMaxListedFamilies ? 0 : 1;
}

void ListFontFamilies() {
  gChecklistCount = 0;
  gChecklistHasValues = 0;
  gChecklistHasTexts = 1;
  {
    MeasuringDc dc;
    if (dc.get()) win::EnumFontFamiliesA(dc.get(), nullptr, AddFontFamilyToChecklist, 0);
  }
  gChecklistFilled = gChecklistCount >= 1 ? 1 : 0;
}

}  // namespace vx
