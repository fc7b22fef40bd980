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
    if (Display().gBackBuffer && win::Succeeded(Display().gBackBuffer->GetDC(&dc_))) {
      surface_ = Display().gBackBuffer;
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
    if (charset != Text().gTextCharset) {
      Text().gTextCharset = charset;
      CreateSystemFont();
    }
  } else if (Text().gTextCharset != 0) {
    MeasuringDc dc;
    height = -win::MulDiv(size, win::GetDeviceCaps(dc.get(), win::LOGPIXELSY), 72);
    passed = Text().gTextCharset;
  }
  win::HFONT made =
      win::CreateFontA(height, 0, 0, 0, weight, italic, 0, 0, passed, win::OUT_DEFAULT_PRECIS, win::CLIP_DEFAULT_PRECIS,
                       win::NONANTIALIASED_QUALITY, win::VARIABLE_PITCH, face.c_str());
  DeleteFont(Text().gTextFont);
  Text().gTextFont = made;
  return 1;
}

int32_t CreateSystemFont() {
  DeleteFont(Text().gWindowFont);
  Text().gWindowFont = nullptr;
  if (Text().gTextCharset != 0) {
    // The window's device context stands for the screen: a memory context compatible with it.
    int height = 10;
    if (win::HDC dc = win::CreateCompatibleDC(nullptr)) {
      height = -win::MulDiv(10, win::GetDeviceCaps(dc, win::LOGPIXELSY), 72);
      win::DeleteDC(dc);
    }
    Text().gWindowFont =
        win::CreateFontA(height, 0, 0, 0, win::FW_NORMAL, 0, 0, 0, Text().gTextCharset, win::OUT_DEFAULT_PRECIS,
                         win::CLIP_DEFAULT_PRECIS, win::NONANTIALIASED_QUALITY, win::VARIABLE_PITCH, "fixedsys");
  } else {
    Text().gWindowFont =
        win::CreateFontA(10, 0, 0, 0, win::FW_NORMAL, 0, 0, 0, 0, win::OUT_DEFAULT_PRECIS, win::CLIP_DEFAULT_PRECIS,
                         win::NONANTIALIASED_QUALITY, win::VARIABLE_PITCH, "system");
  }
  return 1;
}

void ResetTextStateForRun() {
  Text().gTextFontName = "system";
  Text().gTextSize = 10;
  Text().gTextStyle = 0;
  Text().gTextOpaque = 0;
  // The character sets go first, so that the new text font is not made in the last run's set.
  Text().gTextCharsetSetting = 0;
  Text().gTextCharset = 0;
  CreateTextFont(Text().gTextStyle, Text().gTextSize, Text().gTextFontName, Text().gTextCharsetSetting);
  CreateSystemFont();
  Text().gTextCursorX = Text().gTextCursorY = 0;
}

void DeleteTextFonts() {
  DeleteFont(Text().gTextFont);
  DeleteFont(Text().gWindowFont);
  Text().gTextFont = Text().gWindowFont = nullptr;
}

win::HFONT CurrentTextFont() {
  if (!Text().gTextFont)
    CreateTextFont(Text().gTextStyle, Text().gTextSize, Text().gTextFontName, Text().gTextCharsetSetting);
  return Text().gTextFont;
}

win::HFONT CurrentWindowFont() {
  if (!Text().gWindowFont) CreateSystemFont();
  return Text().gWindowFont;
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
  if (Checklist().gChecklistCount >= kMaxListedFamilies) return 0;
  const char* name = font->lfFaceName;
  const size_t length = strnlen(name, win::LF_FACESIZE);
  for (int32_t i = 0; i < Checklist().gChecklistCount; ++i) {
    const char* listed = Checklist().gChecklist[size_t(i)].text;
    if (std::strlen(listed) == length && std::memcmp(listed, name, length) == 0) return 1;
  }
  ChecklistEntry& entry = Checklist().gChecklist[size_t(Checklist().gChecklistCount++)];
  entry.values[0] = entry.values[1] = entry.values[2] = entry.values[3] = 0;
  std::memcpy(entry.text, name, length);
  entry.text[length] = '\0';
  return Checklist().gChecklistCount >= kMaxListedFamilies ? 0 : 1;
}

void ListFontFamilies() {
  Checklist().gChecklistCount = 0;
  Checklist().gChecklistHasValues = 0;
  Checklist().gChecklistHasTexts = 1;
  {
    MeasuringDc dc;
    if (dc.get()) win::EnumFontFamiliesA(dc.get(), nullptr, AddFontFamilyToChecklist, 0);
  }
  Checklist().gChecklistFilled = Checklist().gChecklistCount >= 1 ? 1 : 0;
}

}  // namespace vx
