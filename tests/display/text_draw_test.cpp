// Text through the draw queue on headless surfaces at 16 and 32 bits: long texts stop at 255
// characters, a text waiting a second frame is drawn once in the font of its time while replaced
// fonts go at once, and the run reset makes the fonts again; and the font list holds each family
// once (at most 255).
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "common/checklist.h"
#include "display/text_fonts.h"
#include "tests/display/bitmap_test_support.h"

namespace vx {
namespace {

using test::ColourAt;
using test::Fill;

constexpr uint32_t kBlack = 0x000000, kWhite = 0xFFFFFF, kBlue = 0x0000FF;

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
    Display().gFlipChain = 0;
    ResetDrawTarget();
    ResetTextStateForRun();
    Fill(Display().gBackBuffer, kBlack);
  }
  void TearDown() override {
    DrawQueueFlush();
    DrawQueue().gDrawQueue.Destroy();
    DeleteTextFonts();
    EXPECT_EQ(win::LiveGdiObjectCount(), objectsBefore_) << "a font was not deleted";
    EXPECT_EQ(win::LiveDeviceContextCount(), 0u);
    SurfaceWorld::TearDown();
  }
  // Sets the text font through the queue and performs it.
  static void TextFont(const std::string& face, int32_t size) {
    QueueTextFont(face, 0);
    QueueTextSize(size);
    DrawQueueExecute();
  }
  static auto State() {
    return std::tuple(Text().gTextFontName, Text().gTextSize, int(Text().gTextStyle), int(Text().gTextOpaque));
  }
  size_t objectsBefore_ = 0;
};

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
  const Found blue = Where(Display().gBackBuffer, kBlue);
  EXPECT_EQ(blue.left, 0);
  EXPECT_EQ(blue.right, std::max(measured.cx, 512 - measured.cx / 2 + measured.cx));
  EXPECT_EQ(Where(Display().gBackBuffer, kBlue, {0, 1, 1024, 2}).right, measured.cx)
      << "the first line is 255 characters wide";
}

TEST_P(TextDrawTest, AWaitingTextIsDrawnOnceInTheFontOfItsTimeAndAReplacedFontGoesAtOnce) {
  World();
  TextFont("Arial", 12);
  DrawQueue().gScreenPersistFrames = 2;  // screen items wait a second frame, as with a flip chain
  QueueInk(kWhite, kBlue);
  QueueTextOpaque();
  QueueDrawText(2, 2, "Once");
  QueueTextSize(30);
  QueueTextTransparent();
  const size_t fonts = win::LiveGdiObjectCount();
  DrawQueueExecute();
  const Found first = Where(Display().gBackBuffer, kBlue);
  EXPECT_EQ(first.bottom - first.top, 12) << "opaque, in the 12-pixel font";
  EXPECT_EQ(win::LiveGdiObjectCount(), fonts) << "the replaced font went";
  EXPECT_GT(DrawQueue().gDrawQueueCount, 0u) << "the text waits for the other page";
  Fill(Display().gBackBuffer, kBlack);
  DrawQueueExecute();
  EXPECT_EQ(Where(Display().gBackBuffer, kBlue).count, 0) << "not drawn again on the same page";
  EXPECT_EQ(Where(Display().gBackBuffer, kWhite).count, 0);
  EXPECT_EQ(DrawQueue().gDrawQueueCount, 0u);
}

TEST_P(TextDrawTest, TheRunResetMakesBothFontsAgainWithoutLeaking) {
  World();
  const size_t fonts = win::LiveGdiObjectCount();
  QueueTextFont("Courier New", 204);
  QueueTextSize(20);
  QueueTextItalic();
  QueueTextOpaque();
  DrawQueueExecute();
  EXPECT_EQ(Text().gTextCharset, 204u);
  for (int run = 0; run < 3; ++run) ResetTextStateForRun();
  EXPECT_EQ(State(), std::tuple(std::string("system"), 10, 0, 0));
  // character set setting, character set, cursor
  EXPECT_EQ((std::vector{Text().gTextCharsetSetting, Text().gTextCharset, uint32_t(Text().gTextCursorX),
                         uint32_t(Text().gTextCursorY)}),
            (std::vector<uint32_t>{0, 0, 0, 0}));
  const win::LOGFONTA text = Made(Text().gTextFont);
  EXPECT_EQ(std::pair(int32_t(text.lfHeight), int32_t(text.lfCharSet)), std::pair(10, 0));
  EXPECT_STREQ(Made(Text().gWindowFont).lfFaceName, "system");
  EXPECT_EQ(win::LiveGdiObjectCount(), fonts);
}

INSTANTIATE_TEST_SUITE_P(Depths, TextDrawTest, ::testing::Values(16u, 32u),
                         [](const ::testing::TestParamInfo<uint32_t>& depth) {
                           return std::to_string(depth.param) + "Bits";
                         });

// The families of the font list.
std::vector<std::string> Listed() {
  std::vector<std::string> names;
  for (int32_t i = 0; i < Checklist().gChecklistCount; ++i) names.emplace_back(Checklist().gChecklist[size_t(i)].text);
  return names;
}

TEST(TextFontList, NamesEachFamilyOnceAndStopsAt255) {
  ResetChecklist();
  win::LOGFONTA font{};
  for (const char* name : {"Twice", "Other", "Twice"}) {
    std::snprintf(font.lfFaceName, sizeof font.lfFaceName, "%s", name);
    EXPECT_EQ(AddFontFamilyToChecklist(&font, nullptr, win::TRUETYPE_FONTTYPE, 0), 1) << name;
  }
  EXPECT_EQ(Listed(), (std::vector<std::string>{"Twice", "Other"}));
  // A face name filling the whole field has no terminator of its own.
  std::memset(font.lfFaceName, 'F', sizeof font.lfFaceName);
  EXPECT_EQ(AddFontFamilyToChecklist(&font, nullptr, 0, 0), 1);
  EXPECT_EQ(std::string(Checklist().gChecklist[2].text), std::string(win::LF_FACESIZE, 'F'));
  for (int i = 3; i < 300; ++i) {  // the list is full, and says so, at 255 families
    std::snprintf(font.lfFaceName, sizeof font.lfFaceName, "Family %03d", i);
    EXPECT_EQ(AddFontFamilyToChecklist(&font, nullptr, 0, 0), i < 254 ? 1 : 0) << i;
  }
  ASSERT_EQ(Checklist().gChecklistCount, 255);
  EXPECT_STREQ(Checklist().gChecklist[254].text, "Family 254");
  EXPECT_EQ(Checklist().gChecklist[255].text[0], '\0') << "nothing is written past the 255th entry";
  ResetChecklist();
}

}  // namespace
}  // namespace vx
