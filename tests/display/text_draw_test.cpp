// Text items of the draw queue on real headless surfaces at 16 and 32 bits: printed, erased and
// drawn text lands where it should in the colours it should, opaque cells and centring follow the
// measured extent, styles and sizes change the font, settings wait for the frame, the print cursor
// moves and wraps, long texts stop at 255 characters, and on a flip chain a repeated item keeps its
// font while no font leaks.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "display/display.h"
#include "display/draw_queue.h"
#include "display/text_fonts.h"
#include "platform/d3d/direct3d.h"
#include "platform/win/messages.h"
#include "platform/win/window.h"
#include "runtime/errors.h"
#include "runtime/host.h"
#include "tests/display/display_test_support.h"
#include "tests/engine3d/surface_fixture.h"

namespace vx {
namespace {

using test::ColourAt;
using test::Fill;

constexpr uint32_t kBlack = 0x000000, kWhite = 0xFFFFFF, kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;

// Where pixels of one colour are within an area: the bounding box (right and bottom exclusive) and
// their number.
struct Found {
  int32_t left = INT32_MAX, top = INT32_MAX, right = -1, bottom = -1, count = 0;
};
Found Where(win::IDirectDrawSurface7* s, uint32_t colour, win::RECT area = {0, 0, INT32_MAX, INT32_MAX}) {
  Found f;
  for (int32_t y = area.top; y < std::min(area.bottom, int32_t(s->Height())); ++y)
    for (int32_t x = area.left; x < std::min(area.right, int32_t(s->Width())); ++x)
      if (ColourAt(s, x, y) == colour) {
        f.left = std::min(f.left, x), f.top = std::min(f.top, y);
        f.right = std::max(f.right, x + 1), f.bottom = std::max(f.bottom, y + 1);
        ++f.count;
      }
  return f;
}
std::vector<int32_t> Box(const Found& f) { return {f.left, f.top, f.right, f.bottom}; }
std::vector<int32_t> Box(int32_t left, int32_t top, win::SIZE size) {
  return {left, top, left + size.cx, top + size.cy};
}

// The size of the text in a font, measured on a memory context.
win::SIZE Extent(win::HFONT font, const std::string& text) {
  win::HDC dc = win::CreateCompatibleDC(nullptr);
  win::HGDIOBJ previous = win::SelectObject(dc, font);
  win::SIZE size{0, 0};
  win::GetTextExtentPoint32A(dc, text.data(), int(text.size()), &size);
  win::SelectObject(dc, previous);
  win::DeleteDC(dc);
  return size;
}

win::LOGFONTA Made(win::HFONT font) {
  win::LOGFONTA made{};
  EXPECT_EQ(win::GetObjectA(font, sizeof made, &made), int(sizeof made));
  return made;
}

class TextDrawTest : public test::SurfaceWorld, public ::testing::WithParamInterface<uint32_t> {
 protected:
  void SetUp() override {
    win::GetStockObject(win::SYSTEM_FONT);  // stock fonts are made once, on first use
    objectsBefore_ = win::LiveGdiObjectCount();
  }
  void World(int32_t width = 160, int32_t height = 64) {
    MakeWorld(GetParam(), width, height);
    gFlipChain = 0;
    ResetDrawTarget();
    ResetTextStateForRun();
    Fill(gBackBuffer, kBlack);
  }
  void TearDown() override {
    DrawQueueFlush();
    gDrawQueue.Destroy();
    DeleteTextFonts();
    EXPECT_EQ(win::LiveGdiObjectCount(), objectsBefore_) << "a font was not deleted";
    EXPECT_EQ(win::LiveDeviceContextCount(), 0u);
    SurfaceWorld::TearDown();
  }
  // Sets the text font through the queue and performs it.
  static void TextFont(const std::string& face, int32_t size, int32_t style = 0) {
    QueueTextFont(face, 0);
    QueueTextSize(size);
    QueueTextNormal();
    if (style == 2) QueueTextBold();
    if (style == 1) QueueTextItalic();
    DrawQueueExecute();
  }
  static auto State() { return std::tuple(gTextFontName, gTextSize, int(gTextStyle), int(gTextOpaque)); }
  size_t objectsBefore_ = 0;
};

TEST_P(TextDrawTest, PrintedAndErasedTextFillTheirCellsAsTheyShould) {
  World();
  Fill(gBackBuffer, kGreen);
  QueueInk(kRed, kBlue);
  int32_t x = 4, y = 2, x2 = 10, y2 = 30;
  QueuePrintText("Opaque", &x, &y, 0, 1, 0);
  QueuePrintText("Hello", &x2, &y2, 0, 0, 0);
  QueueEraseText("Gone", 90, 9);
  EXPECT_EQ(Where(gBackBuffer, kRed).count, 0) << "nothing is drawn before the frame";
  DrawQueueExecute();
  const win::RECT top{0, 0, 80, 28}, erased{80, 0, 160, 28}, bottom{0, 28, 160, 64};
  const win::SIZE opaque = Extent(CurrentWindowFont(), "Opaque"), cell = Extent(CurrentWindowFont(), "Hello"),
                  gone = Extent(CurrentWindowFont(), "Gone");
  // Opaque: every pixel of the cells is ink or background, and background nowhere else.
  EXPECT_EQ(Box(Where(gBackBuffer, kBlue, top)), Box(4, 2, opaque));
  EXPECT_EQ(Where(gBackBuffer, kGreen, {4, 2, 4 + opaque.cx, 2 + opaque.cy}).count, 0);
  // Transparent: the ink starts at the cursor, within the cell, with no background anywhere.
  const Found ink = Where(gBackBuffer, kRed, bottom);
  EXPECT_GT(ink.count, 20);
  EXPECT_GE(ink.left, 10);
  EXPECT_LT(ink.left, 10 + 3);  // the "H" starts at the cursor
  EXPECT_GE(ink.top, 30);
  EXPECT_LE(ink.right, 10 + cell.cx);
  EXPECT_LE(ink.bottom, 30 + cell.cy);
  EXPECT_EQ(ink.count + Where(gBackBuffer, kGreen, bottom).count, 160 * 36);
  // Erased: the whole cells in the background colour, the glyphs too.
  const Found blank = Where(gBackBuffer, kBlue, erased);
  EXPECT_EQ(Box(blank), Box(90, 9, gone));
  EXPECT_EQ(blank.count, gone.cx * gone.cy);
  EXPECT_EQ(Where(gBackBuffer, kRed, erased).count, 0);
}

TEST_P(TextDrawTest, DrawnTextUsesTheTextFontAndItsBackgroundMode) {
  World();
  TextFont("Arial", 20);
  Fill(gBackBuffer, kGreen);
  QueueInk(kRed, kBlue);
  QueueTextOpaque();
  QueueDrawText(3, 4, "Text");
  QueueTextTransparent();
  QueueDrawText(3, 34, "Text");
  DrawQueueExecute();
  const win::SIZE cell = Extent(gTextFont, "Text");
  EXPECT_EQ(cell.cy, 20) << "a positive size is the cell height";
  EXPECT_EQ(Box(Where(gBackBuffer, kBlue)), Box(3, 4, cell)) << "only the opaque text has a background";
  const Found red = Where(gBackBuffer, kRed);
  EXPECT_LT(red.top, 4 + cell.cy);
  EXPECT_GE(red.bottom, 35) << "the transparent text was drawn";
}

TEST_P(TextDrawTest, CentredTextIsCentredByItsMeasuredWidth) {
  World();
  TextFont("Arial", 16);
  QueueInk(kWhite, kBlue);
  QueueTextOpaque();
  for (const char* text : {"Mid", "Centred text"}) {
    SCOPED_TRACE(text);
    Fill(gBackBuffer, kBlack);
    QueueDrawTextCentred(80, 10, text);
    DrawQueueExecute();
    const win::SIZE cell = Extent(gTextFont, text);
    EXPECT_EQ(Box(Where(gBackBuffer, kBlue)), Box(80 - cell.cx / 2, 10, cell));
  }
}

TEST_P(TextDrawTest, StylesAndSizesChangeTheFont) {
  World();
  const std::string text = "Bold and wide";
  TextFont("Arial", 16, 0);
  const win::SIZE normal = MeasureText(text);
  TextFont("Arial", 16, 2);
  EXPECT_GT(MeasureText(text).cx, normal.cx) << "bold is wider than normal";
  TextFont("Arial", 32, 0);
  const win::SIZE big = MeasureText(text);
  EXPECT_EQ(big.cy, 32);
  EXPECT_GT(big.cx, normal.cx);
  // The drawn glyphs grow with the size too.
  int32_t tall[2];
  for (const int32_t size : {32, 12}) {
    if (size != 32) TextFont("Arial", size, 0);
    Fill(gBackBuffer, kBlack);
    QueueDrawText(0, 0, "H");
    DrawQueueExecute();
    const Found ink = Where(gBackBuffer, kWhite);
    tall[size == 12] = ink.bottom - ink.top;
  }
  EXPECT_GT(tall[0], tall[1] * 2);
}

TEST_P(TextDrawTest, SettingsWaitForTheFrameAndMeasuringUsesTheFontInForce) {
  World();
  const win::SIZE before = MeasureText("Measure me");
  QueueTextFont("Times New Roman", 0);
  QueueTextSize(30);
  QueueTextBold();
  QueueTextOpaque();
  EXPECT_EQ(State(), std::tuple(std::string("system"), 10, 0, 0));
  const win::SIZE queued = MeasureText("Measure me");
  EXPECT_EQ(std::pair(queued.cx, queued.cy), std::pair(before.cx, before.cy));
  DrawQueueExecute();
  EXPECT_EQ(State(), std::tuple(std::string("Times New Roman"), 30, 2, 1));
  EXPECT_EQ(win::FontFamilyName(gTextFont), "Liberation Serif");
  EXPECT_EQ(MeasureText("Measure me").cy, 30);

  // Font settings are performed while rendering is paused; drawing is not.
  gRenderEnabled = 0;
  QueueTextSize(12);
  QueueDrawText(0, 0, "Hidden");
  DrawQueueExecute();
  gRenderEnabled = 1;
  EXPECT_EQ(gTextSize, 12);
  EXPECT_EQ(Where(gBackBuffer, kWhite).count, 0);
}

TEST_P(TextDrawTest, ThePrintCursorMovesAndWraps) {
  World(64, 48);
  const win::SIZE cell = Extent(CurrentWindowFont(), "Hi");
  ASSERT_GT(cell.cx, 0);
  int32_t x = 5, y = 3;
  QueuePrintText("Hi", &x, &y, 0, 0, 0);  // a line of its own: the next line's start
  EXPECT_EQ(std::pair(x, y), std::pair(0, 3 + cell.cy));
  QueuePrintText("Hi", &x, &y, 1, 0, 1);  // on the same line
  EXPECT_EQ(std::pair(x, y), std::pair(cell.cx, 3 + cell.cy));
  x = 64 - cell.cx;  // the text reaches the display's width: wrap after it
  QueuePrintText("Hi", &x, &y, 1, 0, 1);
  EXPECT_EQ(std::pair(x, y), std::pair(0, 3 + 2 * cell.cy));
  x = 64 - cell.cx;  // without wrap the cursor goes past the width
  QueuePrintText("Hi", &x, &y, 1, 0, 0);
  EXPECT_EQ(x, 64);
  DrawQueueExecute();
  // The wrapping text was drawn where the cursor was, at the right edge, before the cursor moved.
  EXPECT_GT(Where(gBackBuffer, kWhite, {64 - cell.cx, 3 + cell.cy, 64, 3 + 2 * cell.cy}).count, 5);
}

TEST_P(TextDrawTest, TextsLongerThan255CharactersStopThere) {
  World(1024, 40);
  TextFont("Arial", 10);
  QueueInk(kWhite, kBlue);
  QueueTextOpaque();
  const std::string longText(400, '.');
  const win::SIZE measured = MeasureText(longText);
  EXPECT_EQ(measured.cx, MeasureText(std::string(255, '.')).cx);
  EXPECT_LT(measured.cx, 1024);
  QueueDrawText(0, 0, longText);
  QueueDrawTextCentred(512, 20, longText);
  DrawQueueExecute();
  const Found blue = Where(gBackBuffer, kBlue);
  EXPECT_EQ(blue.left, 0);
  EXPECT_EQ(blue.right, std::max(measured.cx, 512 - measured.cx / 2 + measured.cx));
  EXPECT_EQ(Where(gBackBuffer, kBlue, {0, 1, 1024, 2}).right, measured.cx) << "the first line is 255 characters wide";
}

TEST_P(TextDrawTest, ARepeatedItemKeepsItsFontWhichGoesOnceNothingUsesIt) {
  World();
  TextFont("Arial", 12);
  gScreenPersistFrames = 2;  // screen items are performed in two frames
  QueueInk(kWhite, kBlue);
  QueueTextOpaque();
  QueueDrawText(2, 2, "Kept");
  QueueTextSize(30);
  QueueTextTransparent();
  const size_t fonts = win::LiveGdiObjectCount();
  DrawQueueExecute();
  const Found first = Where(gBackBuffer, kBlue);
  EXPECT_EQ(first.bottom - first.top, 12);
  EXPECT_EQ(RetiredFontCount(), 1u) << "the replaced font waits for the item's second page";
  EXPECT_EQ(win::LiveGdiObjectCount(), fonts + 1);
  Fill(gBackBuffer, kBlack);
  DrawQueueExecute();
  EXPECT_EQ(Box(Where(gBackBuffer, kBlue)), Box(first)) << "drawn again in the font of its first performance, opaque";
  EXPECT_EQ(gDrawQueueCount, 0u);
  EXPECT_EQ(RetiredFontCount(), 0u);
  EXPECT_EQ(win::LiveGdiObjectCount(), fonts) << "the replaced font went with its last item";

  // A new item after the change draws in the new font.
  QueueDrawText(2, 2, "New");
  DrawQueueExecute();
  DrawQueueExecute();
  EXPECT_EQ(MeasureText("New").cy, 30);

  // Items freed without their last performance (a flushed queue) let the font go at the next change.
  QueueDrawText(2, 2, "Flushed");
  QueueTextSize(14);
  DrawQueueExecute();
  EXPECT_EQ(RetiredFontCount(), 1u);
  DrawQueueFlush();
  QueueTextSize(16);
  DrawQueueExecute();
  EXPECT_EQ(RetiredFontCount(), 0u);
  EXPECT_EQ(win::LiveGdiObjectCount(), fonts);
}

TEST_P(TextDrawTest, TheRunResetMakesBothFontsAgainWithoutLeaking) {
  World();
  const size_t fonts = win::LiveGdiObjectCount();
  QueueTextFont("Courier New", 204);
  QueueTextSize(20);
  QueueTextItalic();
  QueueTextOpaque();
  DrawQueueExecute();
  EXPECT_EQ(gTextCharset, 204u);
  for (int run = 0; run < 3; ++run) ResetTextStateForRun();
  EXPECT_EQ(State(), std::tuple(std::string("system"), 10, 0, 0));
  // character set setting, character set, cursor
  EXPECT_EQ((std::vector{gTextCharsetSetting, gTextCharset, uint32_t(gTextCursorX), uint32_t(gTextCursorY)}),
            (std::vector<uint32_t>{0, 0, 0, 0}));
  const win::LOGFONTA text = Made(gTextFont);
  EXPECT_EQ(std::pair(int32_t(text.lfHeight), int32_t(text.lfCharSet)), std::pair(10, 0));
  EXPECT_STREQ(Made(gWindowFont).lfFaceName, "system");
  EXPECT_EQ(win::LiveGdiObjectCount(), fonts);
}

INSTANTIATE_TEST_SUITE_P(Depths, TextDrawTest, ::testing::Values(16u, 32u),
                         [](const ::testing::TestParamInfo<uint32_t>& depth) {
                           return std::to_string(depth.param) + "Bits";
                         });

// The font rules: style to weight and italic, and the height and character set from the size and
// the character sets chosen.
TEST(TextFontRules, StyleAndCharacterSetMakeTheFont) {
  win::GetStockObject(win::SYSTEM_FONT);
  const size_t before = win::LiveGdiObjectCount();
  struct Case {
    int32_t style, size;
    uint32_t charset, windowCharset;  // the call's character set; gTextCharset before it
    int32_t weight, italic, height, passed;
    const char* windowFace;  // the window font after the call
  };
  const Case cases[] = {
      {0, 10, 0, 0, 400, 0, 10, 0, "system"},
      {1, 12, 0, 0, 400, 1, 12, 0, "system"},
      {2, 14, 0, 0, 700, 0, 14, 0, "system"},
      {3, 16, 0, 0, 700, 1, 16, 0, "system"},
      // A character set: the size is the height and the window font follows the set.
      {0, 20, 204, 0, 400, 0, 20, 204, "fixedsys"},
      // Back to 0 after a set was chosen: the size counts in points (96 pixels an inch) in that set.
      {0, 20, 0, 204, 400, 0, -27, 204, "fixedsys"},
      {2, 9, 0, 161, 700, 0, -12, 161, "fixedsys"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "style " << c.style << " size " << c.size << " charset " << c.charset);
    gTextCharset = c.windowCharset;
    CreateSystemFont();
    EXPECT_EQ(CreateTextFont(c.style, c.size, "Arial", c.charset), 1);
    const win::LOGFONTA text = Made(gTextFont), window = Made(gWindowFont);
    // weight, italic, height, character set, quality, pitch
    EXPECT_EQ((std::vector<int32_t>{text.lfWeight, text.lfItalic, text.lfHeight, text.lfCharSet, text.lfQuality,
                                    text.lfPitchAndFamily}),
              (std::vector<int32_t>{c.weight, c.italic, c.height, c.passed, win::NONANTIALIASED_QUALITY,
                                    win::VARIABLE_PITCH}));
    EXPECT_STREQ(text.lfFaceName, "Arial");
    EXPECT_STREQ(window.lfFaceName, c.windowFace);
    EXPECT_EQ(std::pair(int32_t(window.lfCharSet), int32_t(window.lfHeight)), std::pair(c.passed, c.passed ? -13 : 10));
  }
  gTextCharset = 0;
  DeleteTextFonts();
  EXPECT_EQ(win::LiveGdiObjectCount(), before);
}

// A real display with a flip chain: the text reaches both buffers in the font it was queued with.
class TextFlipChainTest : public test::RealDisplayTest {
 protected:
  void SetUp() override {
    RealDisplayTest::SetUp();
    ASSERT_EQ(gFlipChain, 1u);
    ResetTextStateForRun();
  }
  void TearDown() override {
    DeleteTextFonts();
    RealDisplayTest::TearDown();
  }
};

TEST_F(TextFlipChainTest, BothPagesGetTheTextInItsFirstFont) {
  QueueTextFont("Arial", 0);
  QueueTextSize(18);
  QueueInk(kWhite, kBlue);
  QueueTextOpaque();
  QueueDrawText(10, 10, "Both pages");
  QueueTextSize(40);  // after the text: the second page must not see it
  DrawQueueExecute();
  PresentFrame();
  DrawQueueExecute();
  const Found shown = Where(gPrimarySurface, kBlue);
  EXPECT_EQ(std::pair(shown.top, shown.bottom), std::pair(10, 28));
  EXPECT_EQ(Box(Where(gBackBuffer, kBlue)), Box(shown));
  EXPECT_EQ(RetiredFontCount(), 0u);
}

}  // namespace
}  // namespace vx
