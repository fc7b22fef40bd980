// The draw queue's text items: printing in the window's font, erasing, drawing in the text font,
// and the font settings.
#include "display/draw_queue_items.h"
#include "display/text_fonts.h"

namespace vx {

namespace {

// Draws a text on the item's target surface in one font, mode and pair of colours; with centred, x
// is the middle of the text's measured width.
void DrawItemText(const DrawQueueItem& item, int32_t x, int32_t y, const ItemText& itemText, win::HFONT font,
                  bool opaque, uint32_t ink, uint32_t back, bool centred) {
  win::IDirectDrawSurface7* target = item.targetSurface;
  win::HDC dc = nullptr;
  if (!target || win::Failed(target->GetDC(&dc))) return;
  win::SetBkMode(dc, opaque ? win::OPAQUE : win::TRANSPARENT);
  win::HGDIOBJ previous = win::SelectObject(dc, font);
  win::SetTextColor(dc, ink);
  win::SetBkColor(dc, back);
  const std::string text = itemText.Get();
  const int length = int(text.size());
  if (centred) {
    win::SIZE size{0, 0};
    win::GetTextExtentPoint32A(dc, text.c_str(), length, &size);
    x = WrapSub(x, size.cx / 2);
  }
  win::TextOutA(dc, x, y, text.c_str(), length);
  if (previous) win::SelectObject(dc, previous);
  target->ReleaseDC(dc);
}

void RemakeTextFont() {
  CreateTextFont(Text().gTextStyle, Text().gTextSize, Text().gTextFontName, Text().gTextCharsetSetting);
}

void SetTextStyle(int16_t style) {
  Text().gTextStyle = style;
  RemakeTextFont();
}

}  // namespace

void Perform(DrawQueueItem& item, PrintTextItem& fields) {
  DrawItemText(item, fields.x, fields.y, fields.text, CurrentWindowFont(), fields.opaque == 1,
               DrawQueue().gDrawInkColor.Gdi(), DrawQueue().gDrawBackColor.Gdi(), false);
}

// The text's cells are painted in the background colour.
void Perform(DrawQueueItem& item, const EraseTextItem& fields) {
  const uint32_t back = DrawQueue().gDrawBackColor.Gdi();
  DrawItemText(item, fields.x, fields.y, fields.text, CurrentWindowFont(), true, back, back, false);
}

void Perform(DrawQueueItem& item, DrawTextItem& fields) {
  DrawItemText(item, fields.x, fields.y, fields.text, CurrentTextFont(), Text().gTextOpaque == 1,
               DrawQueue().gDrawInkColor.Gdi(), DrawQueue().gDrawBackColor.Gdi(), false);
}

void Perform(DrawQueueItem& item, DrawTextCentredItem& fields) {
  DrawItemText(item, fields.x, fields.y, fields.text, CurrentTextFont(), Text().gTextOpaque == 1,
               DrawQueue().gDrawInkColor.Gdi(), DrawQueue().gDrawBackColor.Gdi(), true);
}

void Perform(DrawQueueItem&, const TextFontItem& fields) {
  Text().gTextCharsetSetting = uint32_t(fields.charset);
  Text().gTextFontName = fields.face.Get();
  RemakeTextFont();
}

void Perform(DrawQueueItem&, const TextSizeItem& fields) {
  Text().gTextSize = fields.size;
  RemakeTextFont();
}

void Perform(DrawQueueItem&, const TextOpaqueItem&) { Text().gTextOpaque = 1; }
void Perform(DrawQueueItem&, const TextTransparentItem&) { Text().gTextOpaque = 0; }
void Perform(DrawQueueItem&, const TextNormalItem&) { SetTextStyle(TextNormalItem::kTextStyle); }
void Perform(DrawQueueItem&, const TextItalicItem&) { SetTextStyle(TextItalicItem::kTextStyle); }
void Perform(DrawQueueItem&, const TextBoldItem&) { SetTextStyle(TextBoldItem::kTextStyle); }
void Perform(DrawQueueItem&, const TextBoldItalicItem&) { SetTextStyle(TextBoldItalicItem::kTextStyle); }

}  // namespace vx
