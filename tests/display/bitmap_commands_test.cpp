// Bitmap commands through the dispatcher's handlers: which commands end the time slice, the life
// of a bitmap from creation to deletion (deleting the current one targets the screen at once),
// loads that make their bitmap current, mirror and flip flags that count at once, the questions
// with their errors leaving the result alone, and on a real headless display the gamma ramp and
// the saved screen in the format of its name.
#include <cstring>
#include <deque>
#include <filesystem>
#include <tuple>
#include <utility>

#include "display/display.h"
#include "display/draw_queue_items.h"
#include "runtime/dispatcher.h"
#include "tests/display/bitmap_test_support.h"
#include "tests/display/display_test_support.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

using test::ColourAt;

constexpr int32_t kUntouched = -77;

// Operands made for handler calls, as a loaded program holds them.
class Operands {
 public:
  ~Operands() {
    for (ValueSlot* text : texts_) ClearString(text);
  }
  ValueSlot* Int(int32_t v) {
    slots_.emplace_back().i = v;
    return &slots_.back();
  }
  ValueSlot* Text(const std::string& text) {
    texts_.push_back(&slots_.emplace_back());
    StoreString(texts_.back(), text.c_str());
    return texts_.back();
  }

 private:
  std::deque<ValueSlot> slots_;
  std::vector<ValueSlot*> texts_;
};

// Runs the handler as the dispatcher does; true when it ended the time slice. The error it raised
// is in gErrorCode.
bool Call(int number, const std::vector<ValueSlot*>& operands) {
  std::vector<OperandWord> words(operands.size() + 1);
  for (size_t i = 0; i < operands.size(); ++i) words[i].slot = operands[i];
  gProgramCounter = words.data();
  gYieldFlag = gErrorCode = gErrorWarningFlag = 0;
  HandlerOf(number)();
  EXPECT_EQ(gProgramCounter, words.data() + operands.size()) << "command " << number;
  gProgramCounter = nullptr;
  win::ClearMessageQueue();
  const bool yielded = gYieldFlag == 1;
  gYieldFlag = 0;
  return yielded;
}
// A command of integer operands.
bool Do(int number, const std::vector<int32_t>& values) {
  Operands o;
  std::vector<ValueSlot*> operands;
  for (int32_t v : values) operands.push_back(o.Int(v));
  return Call(number, operands);
}
// A question; its result, which starts as kUntouched.
int32_t Ask(int number, std::initializer_list<int32_t> values = {}) {
  Operands o;
  std::vector<ValueSlot*> operands{o.Int(kUntouched)};
  for (int32_t v : values) operands.push_back(o.Int(v));
  Call(number, operands);
  return operands[0]->i;
}

class BitmapCommandTest : public test::BitmapWorld {
 protected:
  void SetUp() override {
    RegisterAllCommands();
    World(32, 64, 48);
    gAutoRefreshFlag = 1;
  }
  void TearDown() override {
    gAutoRefreshFlag = 1;
    test::BitmapWorld::TearDown();
  }
  std::string File(const std::string& name) { return temp.path() + name; }
  test::TempFolder temp;
};

TEST_F(BitmapCommandTest, CommandsQueueTheirWorkAndEndTheSliceAsTheyShould) {
  const struct {
    const char* what;
    int number;
    std::vector<int32_t> values;
    uint8_t automatic;
    bool yields;
  } cases[] = {
      {"create", 1005, {1, 8, 8}, 0, true},
      {"set current, automatic", 1006, {0}, 1, true},
      {"set current, by hand", 1006, {0}, 0, false},
      {"copy to the screen", 1007, {1, 0}, 1, true},
      {"copy to the screen by hand", 1007, {1, 0}, 0, false},
      {"copy to a bitmap", 1007, {0, 1}, 1, false},
      {"rectangle to the screen", 1008, {1, 0, 0, 1, 1, 0, 0, 0, 1, 1}, 1, true},
      {"rectangle to the screen by hand", 1008, {1, 0, 0, 1, 1, 0, 0, 0, 1, 1}, 0, false},
      {"rectangle to a bitmap", 1008, {0, 0, 0, 1, 1, 1, 0, 0, 1, 1}, 1, false},
      {"delete", 1009, {1}, 0, true},
      {"mirror the screen", 1010, {0}, 0, true},
      {"mirror a bitmap", 1010, {1}, 1, false},
      {"flip the screen", 1011, {0}, 0, true},
      {"flip a bitmap", 1011, {1}, 1, false},
      {"blur the screen", 1012, {0, 2}, 0, true},
      {"blur a bitmap", 1012, {1, 2}, 1, false},
      {"fade the screen", 1013, {0, 50}, 0, true},
      {"fade a bitmap", 1013, {1, 50}, 1, false},
  };
  for (const auto& c : cases) {
    gAutoRefreshFlag = c.automatic;
    const uint32_t waiting = gDrawQueueCount;
    EXPECT_EQ(Do(c.number, c.values), c.yields) << c.what;
    EXPECT_EQ(gDrawQueueCount, waiting + 1) << c.what;
    EXPECT_EQ(gErrorCode, 0) << c.what;
  }
  gAutoRefreshFlag = 1;
  DrawQueueFlush();

  // Files: loads and saves always end the slice; the screen is saved after the present.
  Operands o;
  EXPECT_TRUE(Call(1001, {o.Text("a.bmp")}));
  EXPECT_TRUE(Call(1002, {o.Text("b.bmp"), o.Int(4)}));
  EXPECT_EQ(gDrawQueueCount, 2u);
  EXPECT_EQ(gDrawQueue[uint32_t(gDrawQueue.usedTail)].number, 4);
  EXPECT_STREQ(gDrawQueue[uint32_t(gDrawQueue.usedTail)].params.text, "b.bmp");
  for (const auto& [name, operands] : {std::pair{"shot.png", 1}, std::pair{"screen.jpg", 2}}) {
    gScreenSaveRequest = 0;
    EXPECT_TRUE(operands == 1 ? Call(1003, {o.Text(name)}) : Call(1004, {o.Text(name), o.Int(0)}));
    EXPECT_EQ(gScreenSaveRequest, 1u);
    EXPECT_EQ(gScreenshotFile, name);
  }
  EXPECT_EQ(gDrawQueueCount, 2u);
  EXPECT_TRUE(Call(1004, {o.Text("three.bmp"), o.Int(3)}));
  EXPECT_EQ(gDrawQueueCount, 3u);
  EXPECT_EQ(gDrawQueue[uint32_t(gDrawQueue.usedTail)].type, kSaveBitmap);
}

TEST_F(BitmapCommandTest, ABitmapFromCreationToDeletion) {
  // The screen always exists, has the display's size and is current.
  EXPECT_EQ((std::vector{Ask(1051, {0}), Ask(1058, {0}), Ask(1059, {0}), Ask(1060, {0}), Ask(1052), Ask(1053)}),
            (std::vector{1, 64, 48, 32, 0, 64}));
  Do(1005, {1, 16, 8});
  EXPECT_EQ(Ask(1051, {1}), 0);  // made in the next frame
  ASSERT_EQ(Frame(), 0);
  // A new bitmap is the current one: exists, current, its width, height, depth; width, height by number.
  EXPECT_EQ((std::vector{Ask(1051, {1}), Ask(1052), Ask(1053), Ask(1054), Ask(1055), Ask(1058, {1}), Ask(1059, {1})}),
            (std::vector{1, 1, 16, 8, 32, 16, 8}));

  // Drawing goes to it until the screen is chosen again.
  QueueInk(0xFF00FF, 0);
  QueueDot(2, 2);
  Do(1006, {0});
  EXPECT_EQ(Ask(1052), 0);
  QueueDot(3, 3);
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ((std::vector{ColourAt(gBitmaps[1], 2, 2), ColourAt(gBackBuffer, 3, 3), ColourAt(gBackBuffer, 2, 2)}),
            (std::vector<uint32_t>{0xFF00FF, 0xFF00FF, 0}));

  // Made again: another size.
  Do(1005, {1, 5, 7});
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(std::pair(Ask(1058, {1}), Ask(1059, {1})), std::pair(5, 7));

  // Deleting the current bitmap makes the screen current at once, before the frame.
  Do(1006, {1});
  ASSERT_EQ(Frame(), 0);
  EXPECT_TRUE(Do(1009, {1}));
  EXPECT_EQ(Ask(1052), 0);
  EXPECT_EQ(gCurrentSurface, gBackBuffer);
  EXPECT_NE(gBitmaps[1], nullptr);
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(gBitmaps[1], nullptr);
  EXPECT_EQ(Ask(1051, {1}), 0);
  EXPECT_EQ(Ask(1058, {1}), kUntouched);
  EXPECT_EQ(gErrorCode, 1002);

  // The screen is never deleted nor made; numbers outside the program's range touch no table.
  Do(1009, {0});
  EXPECT_EQ(Frame(), 1006);
  EXPECT_EQ(Ask(1051, {0}), 1);
  Do(1005, {0, 4, 4});
  EXPECT_EQ(Frame(), 1009);
  for (int32_t n : {32, kWorkBitmap, -5}) {
    Do(1009, {n});
    EXPECT_EQ(Frame(), 1001) << n;
    Do(1005, {n, 4, 4});
    EXPECT_EQ(Frame(), 1001) << n;
  }
  EXPECT_EQ(gBitmaps[size_t(kWorkBitmap)], nullptr);
  EXPECT_EQ(gBitmapInfo[size_t(kWorkBitmap)].width, 0u);
}

TEST_F(BitmapCommandTest, LoadingMakesTheBitmapCurrentInTheNextFrame) {
  test::WriteBmp(File("q.bmp"), test::Quadrants(10, 6));
  Operands o;
  Call(1002, {o.Text(File("q.bmp")), o.Int(7)});
  EXPECT_EQ(Ask(1052), 0);
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ((std::vector{Ask(1052), Ask(1053), Ask(1054)}), (std::vector{7, 10, 6}));
  // Onto the screen, then saved through the queue and loaded back into another bitmap.
  Call(1001, {o.Text(File("q.bmp"))});
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(Ask(1052), 0);
  EXPECT_EQ(ColourAt(gBackBuffer, 9, 5), 0xFFFFFFu);
  Call(1004, {o.Text(File("seven.png")), o.Int(7)});
  Call(1002, {o.Text(File("seven.png")), o.Int(8)});
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(test::PictureOf(gBitmaps[8]).rgb, test::PictureOf(gBitmaps[7]).rgb);

  Call(1002, {o.Text(File("nothing.bmp")), o.Int(9)});
  EXPECT_EQ(Frame(), 105);
  EXPECT_EQ(Ask(1052), 8);
}

TEST_F(BitmapCommandTest, MirrorAndFlipFlagsCountAtOnce) {
  test::WriteBmp(File("q.bmp"), test::Quadrants(4, 4));
  Operands o;
  Call(1002, {o.Text(File("q.bmp")), o.Int(2)});
  ASSERT_EQ(Frame(), 0);

  Do(1010, {2});
  // Before the frame: mirrored by number, the current one mirrored, not flipped.
  EXPECT_EQ((std::vector{Ask(1061, {2}), Ask(1056), Ask(1062, {2})}), (std::vector{1, 1, 0}));
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(ColourAt(gBitmaps[2], 0, 0), 0x00FF00u);  // right half now on the left
  Do(1010, {2});
  EXPECT_EQ(Ask(1061, {2}), 0);
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(test::PictureOf(gBitmaps[2]).rgb, test::Quadrants(4, 4).rgb);

  Do(1011, {2});
  EXPECT_EQ(std::pair(Ask(1062, {2}), Ask(1057)), std::pair(1, 1));
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(ColourAt(gBitmaps[2], 0, 0), 0x0000FFu);
  // A later load or create keeps the count.
  Call(1002, {o.Text(File("q.bmp")), o.Int(2)});
  Do(1005, {2, 3, 3});
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(Ask(1062, {2}), 1);

  // The screen counts too; numbers out of range are refused by the queue and count nothing.
  Do(1010, {0});
  EXPECT_EQ(Ask(1061, {0}), 1);
  ASSERT_EQ(Frame(), 0);
  Do(1010, {kWorkBitmap});
  Do(1011, {-1});
  EXPECT_EQ(gBitmapInfo[size_t(kWorkBitmap)].mirrored, 0);
  EXPECT_EQ(Frame(), 1001);
}

TEST_F(BitmapCommandTest, QuestionsCheckTheirNumberAndLeaveTheResultOnError) {
  Do(1005, {3, 6, 2});
  ASSERT_EQ(Frame(), 0);
  for (int number : {1051, 1058, 1059, 1060, 1061, 1062})
    for (const auto& [n, error] : {std::pair{-1, 1001}, {32, 1001}, {kWorkBitmap, 1001}, {4, 1002}}) {
      if (number == 1051 && error == 1002) continue;  // the existence question answers for empty slots
      EXPECT_EQ(Ask(number, {n}), kUntouched) << number << " " << n;
      EXPECT_EQ(gErrorCode, error) << number << " " << n;
    }
  EXPECT_EQ(Ask(1060, {3}), 32);
  EXPECT_EQ(gErrorCode, 0);

  // The current bitmap is whatever the program chose, also a number with no bitmap.
  for (const auto& [current, error] : {std::pair{5, 1002}, std::pair{40, 1001}, std::pair{-2, 1001}}) {
    Do(1006, {current});
    EXPECT_EQ(Ask(1052), current);
    for (int number = 1053; number <= 1057; ++number) {
      EXPECT_EQ(Ask(number), kUntouched) << number << " " << current;
      EXPECT_EQ(gErrorCode, error) << number << " " << current;
    }
  }
  Do(1006, {0});
  DrawQueueFlush();
}

// A real headless display, for what only the display has: the gamma ramp and the shown screen.
class BitmapDisplayTest : public test::RealDisplayTest {
 protected:
  void SetUp() override {
    RegisterAllCommands();
    RealDisplayTest::SetUp();
    AttachImageContext(gMainWindow, gDirectDraw, gPrimarySurface);
  }
  void TearDown() override {
    ReleaseImageContext();
    RealDisplayTest::TearDown();
    gScreenshotFile.clear();
  }
  static win::DDGAMMARAMP Ramp() {
    win::DDGAMMARAMP ramp{};
    EXPECT_EQ(gGammaControl->GetGammaRamp(0, &ramp), win::DD_OK);
    return ramp;
  }
  static int32_t Gamma(int32_t red, int32_t green, int32_t blue) {
    EXPECT_TRUE(Do(1014, {red, green, blue}));
    return gErrorCode;
  }
};

TEST_F(BitmapDisplayTest, GammaIsSetWithinItsRangeAndRefusedOutsideIt) {
  ASSERT_EQ(gGammaAvailable, 1u);
  EXPECT_EQ(Gamma(256, 256, 256), 0);
  const win::DDGAMMARAMP neutral = Ramp();
  for (uint32_t i = 0; i < 256; ++i) {
    ASSERT_EQ(neutral.red[i], i * 256) << i;
    ASSERT_EQ(neutral.blue[i], i * 256) << i;
  }
  EXPECT_EQ(Gamma(511, 0, 300), 0);
  const win::DDGAMMARAMP set = Ramp();
  EXPECT_EQ((std::vector<uint32_t>{set.red[0], set.red[255], set.green[255], set.blue[10]}),
            (std::vector<uint32_t>{65280, 65280, 0, 44 * 256 + 10 * 211}));
  for (const auto& [red, green, blue] : {std::tuple{512, 256, 256}, {256, -1, 256}, {256, 256, 100000}}) {
    EXPECT_EQ(Gamma(red, green, blue), 1014);
    EXPECT_EQ(gErrorWarningFlag, 1);  // soft
    const win::DDGAMMARAMP after = Ramp();
    EXPECT_EQ(std::memcmp(&after, &set, sizeof set), 0);
  }
}

TEST_F(BitmapDisplayTest, TheShownScreenIsSavedInTheFormatOfItsName) {
  test::TempFolder temp;
  test::Fill(gBackBuffer, 0x000000);
  win::RECT box{10, 20, 30, 25};
  test::Fill(gBackBuffer, 0x30C0F0, &box);
  PresentFrame();
  const uint32_t shown = ColourAt(gPrimarySurface, 10, 20);
  EXPECT_NE(shown, 0u);
  for (const char* name : {"shot.png", "shot.bmp", "shot.TGA"}) {
    SCOPED_TRACE(name);
    gScreenshotFile = temp.path() + name;
    ASSERT_EQ(SaveScreenshot(), 1);
    ASSERT_EQ(LoadBitmapIntoSlot(1, gScreenshotFile), 1);
    EXPECT_EQ(std::pair(gBitmapInfo[1].width, gBitmapInfo[1].height), std::pair(640u, 480u));
    // Both corners of the box, and just outside it to the right and below.
    EXPECT_EQ((std::vector{ColourAt(gBitmaps[1], 10, 20), ColourAt(gBitmaps[1], 29, 24), ColourAt(gBitmaps[1], 30, 24),
                           ColourAt(gBitmaps[1], 29, 25)}),
              (std::vector<uint32_t>{shown, shown, 0, 0}));
    ReleaseBitmapSurface(1);
  }
  EXPECT_EQ(gScreenshotSurface, nullptr);
  // Nothing written is a failed save, and an old file of the name stays.
  for (const char* name : {"shot.pcx", "shot.gif", "missing/shot.png"}) {
    gScreenshotFile = temp.path() + name;
    EXPECT_EQ(SaveScreenshot(), 0) << name;
    EXPECT_FALSE(std::filesystem::exists(gScreenshotFile)) << name;
  }
}

}  // namespace
}  // namespace vx
