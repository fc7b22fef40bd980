// The draw queue's text items: printing in the window's font, erasing, drawing in the text font,
// and the font settings. A text item repeated on the second page draws with the font, colours and
// background mode of its first performance, whatever the items between changed.
#include "display/draw_queue_items.h"
#include "display/text_fonts.h"

namespace vx {

namespace {

// Draws the item's text on its target surface in one font, mode and pair of colours; with
// centred, x is the middle of the text's measured width.
void DrawItemText(const DrawQueueItem& item, win::HFONT font, bool opaque, uint32_t ink, uint32_t back, bool centred) {
  win::IDirectDrawSurface7* target = item.targetSurface;
  win::HDC dc = nullptr;
  if (!target || win::Failed(target->GetDC(&dc))) return;
  win::SetBkMode(dc, opaque ? win::OPAQUE : win::TRANSPARENT);
  win::HGDIOBJ previous = win::SelectObject(dc, font);
  win::SetTextColor(dc, ink);
  win::SetBkColor(dc, back);
  const std::string text = ItemText(item);
  const int length = int(text.size());
  int32_t x = item.x;
  if (centred) {
    win::SIZE size{0, 0};
    win::GetTextExtentPoint32A(dc, text.c_str(), length, &size);
    x = WrapSub(x, size.cx / 2);
  }
  win::TextOutA(dc, x, item.y, text.c_str(), length);
  if (previous) win::SelectObject(dc, previous);
  target->ReleaseDC(dc);
}

void RemakeTextFont() { CreateTextFont(gTextStyle, gTextSize, gTextFontName, gTextCharsetSetting); }

}  // namespace

bool PerformTextItem(DrawQueueItem& item) {
  switch (item.type) {
    case kPrintText:
    case kEraseText:
    case kDrawText:
    case kDrawTextCentred: {
      // The first performance fixes the font (and, for the text font, the background mode).
      if (!item.keptFont) {
        const bool windowFont = item.type == kPrintText || item.type == kEraseText;
        KeepFont(item, windowFont ? CurrentWindowFont() : CurrentTextFont());
        if (!windowFont) item.opaque = gTextOpaque;
      }
      const uint32_t ink = item.keptInk.Gdi(), back = item.keptBack.Gdi();
      if (item.type == kEraseText)
        DrawItemText(item, item.keptFont, true, back, back, false);
      else
        DrawItemText(item, item.keptFont, item.opaque == 1, ink, back, item.type == kDrawTextCentred);
      if (item.frames <= 0) ReleaseKeptFont(item);
      return true;
    }
    case kTextFont:
      gTextCharsetSetting = uint32_t(item.x);
      gTextFontName = ItemText(item);
      RemakeTextFont();
      return true;
    case kTextSize:
      gTextSize = item.params.p[0];
      RemakeTextFont();
      return true;
    case kTextOpaque:
    case kTextTransparent:
      gTextOpaque = item.type == kTextOpaque ? 1 : 0;
      return true;
    case kTextNormal:
    case kTextItalic:
    case kTextBold:
    case kTextBoldItalic:
      gTextStyle = int16_t(item.type - kTextNormal);
      RemakeTextFont();
      return true;
    default:
      return false;
  }
}

}  // namespace vx
