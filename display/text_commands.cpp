// Text and font commands: the font family list, the text font's face, character set, size, style
// and background mode, text drawn at a position, and the queries of the text state and of a
// text's size. Settings and drawing go through the draw queue and take effect at the next frame;
// the queries answer at once from the state and the font as they are now.
#include "common/interpreter_state.h"
#include "common/value_slot.h"
#include "display/draw_queue.h"
#include "display/text_fonts.h"

namespace vx {

namespace {

// --- Settings --------------------------------------------------------------------------------------

void CmdChecklistFonts() { ListFontFamilies(); }

void CmdSetTextFont() {
  QueueTextFont(TextOperand(0), 0);
  EndSliceAfterCommand(SliceEnd::kAutoRefresh);
  SkipOperands(1);
}

void CmdSetTextFontCharset() {
  QueueTextFont(TextOperand(0), IntOperand(1));
  EndSliceAfterCommand(SliceEnd::kAutoRefresh);
  SkipOperands(2);
}

void CmdSetTextSize() {
  QueueTextSize(IntOperand(0));
  EndSliceAfterCommand(SliceEnd::kAutoRefresh);
  SkipOperands(1);
}

void CmdSetTextOpaque() { QueueTextOpaque(); }
void CmdSetTextTransparent() { QueueTextTransparent(); }

void CmdSetTextToNormal() {
  QueueTextNormal();
  EndSliceAfterCommand(SliceEnd::kAutoRefresh);
}

void CmdSetTextToItalic() {
  QueueTextItalic();
  EndSliceAfterCommand(SliceEnd::kAutoRefresh);
}

void CmdSetTextToBold() {
  QueueTextBold();
  EndSliceAfterCommand(SliceEnd::kAutoRefresh);
}

void CmdSetTextToBoldItalic() {
  QueueTextBoldItalic();
  EndSliceAfterCommand(SliceEnd::kAutoRefresh);
}

// --- Drawing ---------------------------------------------------------------------------------------

// Text on a bitmap is not seen until the bitmap is, so only text on the screen ends the slice.
void CmdDrawText() {
  QueueDrawText(IntOperand(0), IntOperand(1), TextOperand(2));
  EndSliceAfterCommand(SliceEnd::kAutoRefresh, DrawQueue().gCurrentBitmap == 0);
  SkipOperands(3);
}

void CmdDrawTextCentred() {
  QueueDrawTextCentred(IntOperand(0), IntOperand(1), TextOperand(2));
  EndSliceAfterCommand(SliceEnd::kAutoRefresh, DrawQueue().gCurrentBitmap == 0);
  SkipOperands(3);
}

// --- Queries ---------------------------------------------------------------------------------------

void FnTextFontName() {
  StoreString(SlotOperand(0), Text().gTextFontName.c_str(), Text().gTextFontName.size());
  SkipOperands(1);
}

void FnTextSize() {
  SlotOperand(0)->i = Text().gTextSize;
  SkipOperands(1);
}

void FnTextBackgroundType() {
  SlotOperand(0)->i = Text().gTextOpaque;
  SkipOperands(1);
}

void FnTextStyle() {
  SlotOperand(0)->i = Text().gTextStyle;
  SkipOperands(1);
}

void FnTextWidth() {
  SlotOperand(0)->i = MeasureText(TextOperand(1)).cx;
  SkipOperands(2);
}

void FnTextHeight() {
  SlotOperand(0)->i = MeasureText(TextOperand(1)).cy;
  SkipOperands(2);
}

}  // namespace

}  // namespace vx

#include "generated/commands/text.inc"
