// Text items of the draw queue on real headless surfaces at 16 and 32 bits: printed, erased and
// drawn text lands where it should in the colours it should, opaque cells and centring follow the
// measured extent, styles and sizes change the font, settings wait for the frame, the print cursor
// moves and wraps, long texts stop at 255 characters, and on a flip chain a repeated item keeps its
// font while no font leaks.
#include <gtest/gtest.h>

#include <string>

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

// Where pixels of one colour are: the bounding box (right and bottom exclusive) and their number.
struct Found {
  int32_t left = INT32_MAX, top = INT32_MAX, right = -1, bottom = -1, count = 0;
};
Found Where(win::IDirectDrawSurface7* s, uint32_t colour) {
  Found f;
  for (int32_t y = 0; y < int32_t(s->Height()); ++y)
    for (int32_t x = 0; x < int32_t(s->Width()); ++x)
      if (ColourAt(s, x, y) == colour) {
        f.left = std::min(f.left, x), f.top = std::min(f.top, y);
        f.right = std::max(f.right, x + 1), f.bottom = std::max(f.bottom, y + 1);
        ++f.count;
      }
  return f;
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
  size_t objectsBefore_ = 0;
};

TEST_P(TextDrawTest, PrintedTextLandsAtTheCursorInTheInk) {
  World();
  QueueInk(kRed, kBlue);
  int32_t x = 10, y = 20;
  QueuePrintText("Hello", &x, &y, 0, 0, 0);
  const win::SIZE cell = Extent(CurrentWindowFont(), "Hello");
  EXPECT_EQ(Where(gBackBuffer, kRed).count, 0) << "nothing is drawn before the frame";
  DrawQueueExecute();
  const Found ink = Where(gBackBuffer, kRed);
  EXPECT_GT(ink.count, 20);
  EXPECT_GE(ink.left, 10);
  EXPECT_GE(ink.top, 20);
  EXPECT_LE(ink.right, 10 + cell.cx);
  EXPECT_LE(ink.bottom, 20 + cell.cy);
  EXPECT_LT(ink.left, 10 + 3);  // the "H" starts at the cursor
  // Transparent: no background colour anywhere, only ink on black.
  EXPECT_EQ(Where(gBackBuffer, kBlue).count, 0);
  EXPECT_EQ(ink.count + Where(gBackBuffer, kBlack).count, 160 * 64);
}

TEST_P(TextDrawTest, OpaqueTextFillsItsCellsAndTransparentLeavesThem) {
  World();
  Fill(gBackBuffer, kGreen);
  QueueInk(kWhite, kBlue);
  int32_t x = 4, y = 2;
  QueuePrintText("Opaque", &x, &y, 0, 1, 0);
  int32_t x2 = 4, y2 = 30;
  QueuePrintText("Clear", &x2, &y2, 0, 0, 0);
  DrawQueueExecute();
  const win::SIZE opaque = Extent(CurrentWindowFont(), "Opaque");
  const Found blue = Where(gBackBuffer, kBlue);
  EXPECT_EQ(blue.left, 4);
  EXPECT_EQ(blue.top, 2);
  EXPECT_EQ(blue.right, 4 + opaque.cx);
  EXPECT_EQ(blue.bottom, 2 + opaque.cy);
  // Every pixel of the cells is ink or background; the transparent line has no background.
  const Found white = Where(gBackBuffer, kWhite);
  int32_t inCells = 0;
  for (int32_t py = 2; py < 2 + opaque.cy; ++py)
    for (int32_t px = 4; px < 4 + opaque.cx; ++px) inCells += ColourAt(gBackBuffer, px, py) != kGreen;
  EXPECT_EQ(inCells, opaque.cx * opaque.cy);
  EXPECT_GT(white.bottom, 30) << "the transparent line was drawn";
  EXPECT_EQ(ColourAt(gBackBuffer, 4, 30 + opaque.cy - 1), kGreen);
}

TEST_P(TextDrawTest, EraseTextPaintsTheCellsInTheBackgroundColour) {
  World();
  Fill(gBackBuffer, kGreen);
  QueueInk(kWhite, kBlue);
  QueueEraseText("Gone", 7, 9);
  DrawQueueExecute();
  const win::SIZE cell = Extent(CurrentWindowFont(), "Gone");
  const Found blue = Where(gBackBuffer, kBlue);
  EXPECT_EQ(blue.left, 7);
  EXPECT_EQ(blue.top, 9);
  EXPECT_EQ(blue.right, 7 + cell.cx);
  EXPECT_EQ(blue.bottom, 9 + cell.cy);
  EXPECT_EQ(blue.count, cell.cx * cell.cy) << "the glyphs themselves are background too";
  EXPECT_EQ(Where(gBackBuffer, kWhite).count, 0);
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
  const Found blue = Where(gBackBuffer, kBlue);
  EXPECT_EQ(blue.left, 3);
  EXPECT_EQ(blue.top, 4);
  EXPECT_EQ(blue.right, 3 + cell.cx);
  EXPECT_EQ(blue.bottom, 4 + cell.cy) << "only the opaque text has a background";
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
    const Found blue = Where(gBackBuffer, kBlue);
    EXPECT_EQ(blue.left, 80 - cell.cx / 2);
    EXPECT_EQ(blue.right, 80 - cell.cx / 2 + cell.cx);
    EXPECT_EQ(blue.top, 10);
  }
}

TEST_P(TextDrawTest, StylesAndSizesChangeTheFont) {
  World();
  const std::string text = "Bold and wide";
  TextFont("Arial", 16, 0);
  const win::SIZE normal = MeasureText(text);
  TextFont("Arial", 16, 2);
  const win::SIZE bold = MeasureText(text);
  EXPECT_GT(bold.cx, normal.cx) << "bold is wider than normal";
  win::LOGFONTA made{};
  ASSERT_EQ(win::GetObjectA(gTextFont, sizeof made, &made), int(sizeof made));
  EXPECT_EQ(made.lfWeight, 700);
  EXPECT_EQ(made.lfItalic, 0);
  TextFont("Arial", 16, 1);
  ASSERT_EQ(win::GetObjectA(gTextFont, sizeof made, &made), int(sizeof made));
  EXPECT_EQ(made.lfWeight, 400);
  EXPECT_EQ(made.lfItalic, 1);
  TextFont("Arial", 32, 0);
  const win::SIZE big = MeasureText(text);
  EXPECT_EQ(big.cy, 32);
  EXPECT_GT(big.cx, normal.cx);

  // The drawn glyphs grow with the size too.
  Fill(gBackBuffer, kBlack);
  QueueDrawText(0, 0, "H");
  DrawQueueExecute();
  const int32_t tall = Where(gBackBuffer, kWhite).bottom - Where(gBackBuffer, kWhite).top;
  TextFont("Arial", 12, 0);
  Fill(gBackBuffer, kBlack);
  QueueDrawText(0, 0, "H");
  DrawQueueExecute();
  const int32_t small = Where(gBackBuffer, kWhite).bottom - Where(gBackBuffer, kWhite).top;
  EXPECT_GT(tall, small * 2);
}

TEST_P(TextDrawTest, SettingsWaitForTheFrameAndMeasuringUsesTheFontInForce) {
  World();
  const win::SIZE before = MeasureText("Measure me");
  QueueTextFont("Times New Roman", 0);
  QueueTextSize(30);
  QueueTextBold();
  QueueTextOpaque();
  EXPECT_EQ(gTextFontName, "system");
  EXPECT_EQ(gTextSize, 10);
  EXPECT_EQ(gTextStyle, 0);
  EXPECT_EQ(gTextOpaque, 0);
  const win::SIZE queued = MeasureText("Measure me");
  EXPECT_EQ(queued.cx, before.cx);
  EXPECT_EQ(queued.cy, before.cy);
  DrawQueueExecute();
  EXPECT_EQ(gTextFontName, "Times New Roman");
  EXPECT_EQ(gTextSize, 30);
  EXPECT_EQ(gTextStyle, 2);
  EXPECT_EQ(gTextOpaque, 1);
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
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 3 + cell.cy);
  QueuePrintText("Hi", &x, &y, 1, 0, 1);  // on the same line
  EXPECT_EQ(x, cell.cx);
  EXPECT_EQ(y, 3 + cell.cy);
  x = 64 - cell.cx;  // the text reaches the display's width: wrap after it
  QueuePrintText("Hi", &x, &y, 1, 0, 1);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 3 + 2 * cell.cy);
  x = 64 - cell.cx;  // without wrap the cursor goes past the width
  QueuePrintText("Hi", &x, &y, 1, 0, 0);
  EXPECT_EQ(x, 64);
  DrawQueueExecute();
  // The wrapping text was drawn where the cursor was, at the right edge, before the cursor moved.
  int32_t wrappedInk = 0;
  for (int32_t py = 3 + cell.cy; py < 3 + 2 * cell.cy; ++py)
    for (int32_t px = 64 - cell.cx; px < 64; ++px) wrappedInk += ColourAt(gBackBuffer, px, py) == kWhite;
  EXPECT_GT(wrappedInk, 5);
}

TEST_P(TextDrawTest, TextsLongerThan255CharactersStopThere) {
  World(1024, 40);
  TextFont("Arial", 10);
  QueueInk(kWhite, kBlue);
  QueueTextOpaque();
  const std::string longText(400, '.');
  const std::string cut(255, '.');
  const win::SIZE measured = MeasureText(longText);
  EXPECT_EQ(measured.cx, MeasureText(cut).cx);
  EXPECT_LT(measured.cx, 1024);
  QueueDrawText(0, 0, longText);
  QueueDrawTextCentred(512, 20, longText);
  DrawQueueExecute();
  const Found blue = Where(gBackBuffer, kBlue);
  EXPECT_EQ(blue.left, 0);
  EXPECT_EQ(blue.right, std::max(measured.cx, 512 - measured.cx / 2 + measured.cx));
  int32_t lastBlue = -1;
  for (int32_t px = 0; px < 1024; ++px)
    if (ColourAt(gBackBuffer, px, 1) == kBlue) lastBlue = px;
  EXPECT_EQ(lastBlue + 1, measured.cx) << "the first line is 255 characters wide";
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
  const Found second = Where(gBackBuffer, kBlue);
  EXPECT_EQ(second.top, first.top);
  EXPECT_EQ(second.bottom, first.bottom) << "drawn again in the font of its first performance, opaque";
  EXPECT_EQ(second.right, first.right);
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
  EXPECT_EQ(gTextFontName, "system");
  EXPECT_EQ(gTextSize, 10);
  EXPECT_EQ(gTextStyle, 0);
  EXPECT_EQ(gTextOpaque, 0);
  EXPECT_EQ(gTextCharsetSetting, 0u);
  EXPECT_EQ(gTextCharset, 0u);
  EXPECT_EQ(gTextCursorX, 0);
  EXPECT_EQ(gTextCursorY, 0);
  win::LOGFONTA made{};
  ASSERT_EQ(win::GetObjectA(gTextFont, sizeof made, &made), int(sizeof made));
  EXPECT_EQ(made.lfHeight, 10);
  EXPECT_EQ(made.lfCharSet, 0);
  ASSERT_EQ(win::GetObjectA(gWindowFont, sizeof made, &made), int(sizeof made));
  EXPECT_STREQ(made.lfFaceName, "system");
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
    const char* windowFace;           // the window font after the call
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
    win::LOGFONTA made{};
    ASSERT_EQ(win::GetObjectA(gTextFont, sizeof made, &made), int(sizeof made));
    EXPECT_EQ(made.lfWeight, c.weight);
    EXPECT_EQ(made.lfItalic, c.italic);
    EXPECT_EQ(made.lfHeight, c.height);
    EXPECT_EQ(made.lfCharSet, c.passed);
    EXPECT_EQ(made.lfQuality, win::NONANTIALIASED_QUALITY);
    EXPECT_EQ(made.lfPitchAndFamily, win::VARIABLE_PITCH);
    EXPECT_STREQ(made.lfFaceName, "Arial");
    ASSERT_EQ(win::GetObjectA(gWindowFont, sizeof made, &made), int(sizeof made));
    EXPECT_STREQ(made.lfFaceName, c.windowFace);
    EXPECT_EQ(made.lfCharSet, c.passed);
    EXPECT_EQ(made.lfHeight, c.passed ? -13 : 10);
  }
  gTextCharset = 0;
  DeleteTextFonts();
  EXPECT_EQ(win::LiveGdiObjectCount(), before);
}

// A real display with a flip chain: the text reaches both buffers in the font it was queued with.
class TextFlipChainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::PrepareHeadlessDisplay("VXTEXT", 320, 240);
    gRenderEnabled = 1;
    ASSERT_TRUE(EnumerateDisplayCards(0, 1) && InitDisplayAndDevice(640, 480, 1)) << gLastEngineError;
    ASSERT_EQ(gFlipChain, 1u);
    ResetDrawTarget();
    ResetTextStateForRun();
  }
  void TearDown() override {
    DrawQueueFlush();
    gDrawQueue.Destroy();
    DeleteTextFonts();
    ReleaseDirectDrawObjects(0);
    FreeRecordPools();
    EXPECT_EQ(win::LiveSurfaceCount(), 0u);
    win::DestroyWindow(gMainWindow);
    gMainWindow = nullptr;
    win::ClearMessageQueue();
    win::ResetDisplayFaults();
    gErrorCode = 0;
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
  const Found shown = Where(gPrimarySurface, kBlue), back = Where(gBackBuffer, kBlue);
  EXPECT_EQ(shown.top, 10);
  EXPECT_EQ(shown.bottom, 28);
  EXPECT_EQ(back.top, shown.top);
  EXPECT_EQ(back.bottom, shown.bottom);
  EXPECT_EQ(back.right, shown.right);
  EXPECT_EQ(RetiredFontCount(), 0u);
}

}  // namespace
}  // namespace vx
