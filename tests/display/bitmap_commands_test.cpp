// Bitmap commands through the dispatcher's handlers: which commands end the time slice, the life
// of a bitmap from creation to deletion (deleting the current one targets the screen at once),
// loads that make their bitmap current, mirror and flip flags that count at once, the questions
// with their errors leaving the result alone, and on a real headless display the gamma ramp and
// the saved screen in the format of its name.
#include <cstring>
#include <filesystem>
#include <memory>
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

// Operands made for one handler call, as a loaded program holds them.
class Operands {
 public:
  ~Operands() {
    for (auto& slot : slots_) ClearStringIfText(*slot);
  }
  ValueSlot* Int(int32_t v) {
    slots_.push_back(std::make_unique<Slot>());
    slots_.back()->value.i = v;
    return &slots_.back()->value;
  }
  ValueSlot* Text(const std::string& text) {
    slots_.push_back(std::make_unique<Slot>());
    slots_.back()->text = true;
    StoreString(&slots_.back()->value, text.c_str());
    return &slots_.back()->value;
  }

 private:
  struct Slot {
    ValueSlot value{};
    bool text = false;
  };
  static void ClearStringIfText(Slot& slot) {
    if (slot.text) ClearString(&slot.value);
  }
  std::vector<std::unique_ptr<Slot>> slots_;
};

class BitmapCommandTest : public test::BitmapWorld {
 protected:
  void SetUp() override {
    RegisterAllCommands();
    World(32, 64, 48);
    gAutoRefreshFlag = 1;
  }
  void TearDown() override {
    gProgramCounter = nullptr;
    gAutoRefreshFlag = 1;
    test::BitmapWorld::TearDown();
  }
  // Runs the handler as the dispatcher does; true when it ended the time slice. The error it
  // raised is in gErrorCode.
  static bool Run(int number, const std::vector<ValueSlot*>& operands) {
    std::vector<OperandWord> words(operands.size() + 1);
    for (size_t i = 0; i < operands.size(); ++i) words[i].slot = operands[i];
    gProgramCounter = words.data();
    gYieldFlag = 0;
    gErrorCode = 0;
    gErrorWarningFlag = 0;
    HandlerOf(number)();
    EXPECT_EQ(gProgramCounter, words.data() + operands.size()) << "command " << number;
    gProgramCounter = nullptr;
    win::ClearMessageQueue();
    const bool yielded = gYieldFlag == 1;
    gYieldFlag = 0;
    return yielded;
  }
  // A command of integer operands.
  static bool Do(int number, std::initializer_list<int32_t> values) {
    Operands o;
    std::vector<ValueSlot*> operands;
    for (int32_t v : values) operands.push_back(o.Int(v));
    return Run(number, operands);
  }
  // A question; its result, which starts as kUntouched.
  static int32_t Ask(int number, std::initializer_list<int32_t> values = {}) {
    Operands o;
    std::vector<ValueSlot*> operands{o.Int(kUntouched)};
    for (int32_t v : values) operands.push_back(o.Int(v));
    Run(number, operands);
    return operands[0]->i;
  }
  std::string File(const std::string& name) { return temp.path() + name; }
  test::TempFolder temp;
};

TEST_F(BitmapCommandTest, CommandsQueueTheirWorkAndEndTheSliceAsTheyShould) {
  struct Case {
    const char* what;
    int number;
    std::vector<int32_t> values;
    uint8_t automatic;
    bool yields;
  };
  const Case cases[] = {
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
  for (const Case& c : cases) {
    gAutoRefreshFlag = c.automatic;
    const uint32_t waiting = gDrawQueueCount;
    Operands o;
    std::vector<ValueSlot*> operands;
    for (int32_t v : c.values) operands.push_back(o.Int(v));
    EXPECT_EQ(Run(c.number, operands), c.yields) << c.what;
    EXPECT_EQ(gDrawQueueCount, waiting + 1) << c.what;
    EXPECT_EQ(gErrorCode, 0) << c.what;
  }
  gAutoRefreshFlag = 1;
  DrawQueueFlush();

  // Files: loads and saves always end the slice; the screen is saved after the present.
  Operands o;
  EXPECT_TRUE(Run(1001, {o.Text("a.bmp")}));
  EXPECT_TRUE(Run(1002, {o.Text("b.bmp"), o.Int(4)}));
  EXPECT_EQ(gDrawQueueCount, 2u);
  EXPECT_EQ(gDrawQueue[uint32_t(gDrawQueue.usedTail)].number, 4);
  EXPECT_STREQ(gDrawQueue[uint32_t(gDrawQueue.usedTail)].params.text, "b.bmp");
  EXPECT_TRUE(Run(1003, {o.Text("shot.png")}));
  EXPECT_EQ(gScreenSaveRequest, 1u);
  EXPECT_EQ(gScreenshotFile, "shot.png");
  gScreenSaveRequest = 0;
  EXPECT_TRUE(Run(1004, {o.Text("screen.jpg"), o.Int(0)}));
  EXPECT_EQ(gScreenSaveRequest, 1u);
  EXPECT_EQ(gScreenshotFile, "screen.jpg");
  EXPECT_EQ(gDrawQueueCount, 2u);
  EXPECT_TRUE(Run(1004, {o.Text("three.bmp"), o.Int(3)}));
  EXPECT_EQ(gDrawQueueCount, 3u);
  EXPECT_EQ(gDrawQueue[uint32_t(gDrawQueue.usedTail)].type, kSaveBitmap);
}

TEST_F(BitmapCommandTest, ABitmapFromCreationToDeletion) {
  // The screen always exists and has the display's size.
  EXPECT_EQ(Ask(1051, {0}), 1);
  EXPECT_EQ(Ask(1058, {0}), 64);
  EXPECT_EQ(Ask(1059, {0}), 48);
  EXPECT_EQ(Ask(1060, {0}), 32);
  EXPECT_EQ(Ask(1052), 0);
  EXPECT_EQ(Ask(1053), 64);

  Do(1005, {1, 16, 8});
  EXPECT_EQ(Ask(1051, {1}), 0);  // made in the next frame
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(Ask(1051, {1}), 1);
  EXPECT_EQ(Ask(1052), 1);  // a new bitmap is the current one
  EXPECT_EQ(Ask(1053), 16);
  EXPECT_EQ(Ask(1054), 8);
  EXPECT_EQ(Ask(1055), 32);
  EXPECT_EQ(Ask(1058, {1}), 16);
  EXPECT_EQ(Ask(1059, {1}), 8);

  // Drawing goes to it until the screen is chosen again.
  QueueInk(0xFF00FF, 0);
  QueueDot(2, 2);
  Do(1006, {0});
  EXPECT_EQ(Ask(1052), 0);
  QueueDot(3, 3);
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(ColourAt(gBitmaps[1], 2, 2), 0xFF00FFu);
  EXPECT_EQ(ColourAt(gBackBuffer, 3, 3), 0xFF00FFu);
  EXPECT_EQ(ColourAt(gBackBuffer, 2, 2), 0u);

  // Made again: another size.
  Do(1005, {1, 5, 7});
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(Ask(1058, {1}), 5);
  EXPECT_EQ(Ask(1059, {1}), 7);

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

  // The screen is never deleted; numbers outside the program's range touch no table.
  Do(1009, {0});
  EXPECT_EQ(Frame(), 1006);
  EXPECT_EQ(Ask(1051, {0}), 1);
  for (int32_t n : {32, kWorkBitmap, -5}) {
    Do(1009, {n});
    EXPECT_EQ(Frame(), 1001) << n;
    Do(1005, {n, 4, 4});
    EXPECT_EQ(Frame(), 1001) << n;
  }
  EXPECT_EQ(gBitmaps[size_t(kWorkBitmap)], nullptr);
  EXPECT_EQ(gBitmapInfo[size_t(kWorkBitmap)].width, 0u);
  Do(1005, {0, 4, 4});
  EXPECT_EQ(Frame(), 1009);
}

TEST_F(BitmapCommandTest, LoadingMakesTheBitmapCurrentInTheNextFrame) {
  test::WriteBmp(File("q.bmp"), test::Quadrants(10, 6));
  Operands o;
  Run(1002, {o.Text(File("q.bmp")), o.Int(7)});
  EXPECT_EQ(Ask(1052), 0);
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(Ask(1052), 7);
  EXPECT_EQ(Ask(1053), 10);
  EXPECT_EQ(Ask(1054), 6);
  // The next frame's drawing goes to it.
  QueueInk(0x00FFFF, 0);
  QueueBox(0, 0, 1, 1);
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(ColourAt(gBitmaps[7], 1, 1), 0x00FFFFu);
  EXPECT_EQ(ColourAt(gBitmaps[7], 2, 2), 0xFF0000u);

  // Onto the screen, then saved through the queue and loaded back into another bitmap.
  Run(1001, {o.Text(File("q.bmp"))});
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(Ask(1052), 0);
  EXPECT_EQ(ColourAt(gBackBuffer, 9, 5), 0xFFFFFFu);
  Run(1004, {o.Text(File("seven.png")), o.Int(7)});
  Run(1002, {o.Text(File("seven.png")), o.Int(8)});
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(test::PictureOf(gBitmaps[8]).rgb, test::PictureOf(gBitmaps[7]).rgb);

  Run(1002, {o.Text(File("nothing.bmp")), o.Int(9)});
  EXPECT_EQ(Frame(), 105);
  EXPECT_EQ(Ask(1052), 8);
}

TEST_F(BitmapCommandTest, MirrorAndFlipFlagsCountAtOnce) {
  test::WriteBmp(File("q.bmp"), test::Quadrants(4, 4));
  Operands o;
  Run(1002, {o.Text(File("q.bmp")), o.Int(2)});
  ASSERT_EQ(Frame(), 0);

  Do(1010, {2});
  EXPECT_EQ(Ask(1061, {2}), 1);  // before the frame
  EXPECT_EQ(Ask(1056), 1);
  EXPECT_EQ(Ask(1062, {2}), 0);
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(ColourAt(gBitmaps[2], 0, 0), 0x00FF00u);  // right half now on the left
  Do(1010, {2});
  EXPECT_EQ(Ask(1061, {2}), 0);
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(test::PictureOf(gBitmaps[2]).rgb, test::Quadrants(4, 4).rgb);

  Do(1011, {2});
  EXPECT_EQ(Ask(1062, {2}), 1);
  EXPECT_EQ(Ask(1057), 1);
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(ColourAt(gBitmaps[2], 0, 0), 0x0000FFu);
  // A later load or create keeps the count.
  Run(1002, {o.Text(File("q.bmp")), o.Int(2)});
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
  struct Case {
    int number;
    int32_t n;
    int32_t error;
  };
  std::vector<Case> cases = {{1051, -1, 1001}, {1051, 32, 1001}, {1051, kWorkBitmap, 1001}};
  for (int number = 1058; number <= 1062; ++number) {
    cases.push_back({number, 32, 1001});
    cases.push_back({number, -1, 1001});
    cases.push_back({number, kWorkBitmap, 1001});
    cases.push_back({number, 4, 1002});
  }
  for (const Case& c : cases) {
    EXPECT_EQ(Ask(c.number, {c.n}), kUntouched) << c.number << " " << c.n;
    EXPECT_EQ(gErrorCode, c.error) << c.number << " " << c.n;
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
class BitmapDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterAllCommands();
    test::PrepareHeadlessDisplay("VXBITMAP", 320, 240);
    gRenderEnabled = 1;
    gStandaloneFlag = 0;
    ASSERT_TRUE(EnumerateDisplayCards(0, 1) && InitDisplayAndDevice(640, 480, 1)) << gLastEngineError;
    AttachImageContext(gMainWindow, gDirectDraw, gPrimarySurface);
    ResetDrawTarget();
  }
  void TearDown() override {
    DrawQueueFlush();
    gDrawQueue.Destroy();
    for (int32_t n = 1; n < kBitmapSlots; ++n) ReleaseBitmapSurface(n);
    gBitmapInfo = {};
    ReleaseImageContext();
    ReleaseDirectDrawObjects(0);
    FreeRecordPools();
    EXPECT_EQ(win::LiveSurfaceCount(), 0u);
    win::DestroyWindow(gMainWindow);
    gMainWindow = nullptr;
    win::ClearMessageQueue();
    win::ResetDisplayFaults();
    gErrorCode = 0;
    gErrorWarningFlag = 0;
    gScreenshotFile.clear();
  }
  static win::DDGAMMARAMP Ramp() {
    win::DDGAMMARAMP ramp{};
    EXPECT_EQ(gGammaControl->GetGammaRamp(0, &ramp), win::DD_OK);
    return ramp;
  }
  static int32_t Gamma(int32_t red, int32_t green, int32_t blue) {
    std::vector<ValueSlot> slots(3);
    slots[0].i = red, slots[1].i = green, slots[2].i = blue;
    OperandWord words[4]{};
    for (size_t i = 0; i < 3; ++i) words[i].slot = &slots[i];
    gProgramCounter = words;
    gYieldFlag = 0;
    gErrorCode = 0;
    gErrorWarningFlag = 0;
    HandlerOf(1014)();
    EXPECT_EQ(gProgramCounter, words + 3);
    EXPECT_EQ(gYieldFlag, 1);
    gProgramCounter = nullptr;
    win::ClearMessageQueue();
    return gErrorCode;
  }
};

TEST_F(BitmapDisplayTest, GammaIsSetWithinItsRangeAndRefusedOutsideIt) {
  ASSERT_EQ(gGammaAvailable, 1u);
  EXPECT_EQ(Gamma(256, 256, 256), 0);
  win::DDGAMMARAMP neutral = Ramp();
  for (uint32_t i = 0; i < 256; ++i) {
    ASSERT_EQ(neutral.red[i], i * 256) << i;
    ASSERT_EQ(neutral.blue[i], i * 256) << i;
  }
  EXPECT_EQ(Gamma(511, 0, 300), 0);
  const win::DDGAMMARAMP set = Ramp();
  EXPECT_EQ(set.red[0], 65280);
  EXPECT_EQ(set.red[255], 65280);
  EXPECT_EQ(set.green[255], 0);
  EXPECT_EQ(set.blue[10], 44 * 256 + 10 * 211);
  for (const auto& [red, green, blue] : {std::tuple{512, 256, 256}, std::tuple{256, -1, 256}, std::tuple{256, 256, 100000}}) {
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
  for (const char* name : {"shot.png", "shot.bmp", "shot.TGA"}) {
    SCOPED_TRACE(name);
    gScreenshotFile = temp.path() + name;
    ASSERT_EQ(SaveScreenshot(), 1);
    ASSERT_EQ(LoadBitmapIntoSlot(1, gScreenshotFile), 1);
    EXPECT_EQ(gBitmapInfo[1].width, 640u);
    EXPECT_EQ(gBitmapInfo[1].height, 480u);
    const uint32_t shown = ColourAt(gPrimarySurface, 10, 20);
    EXPECT_NE(shown, 0u);
    EXPECT_EQ(ColourAt(gBitmaps[1], 10, 20), shown);
    EXPECT_EQ(ColourAt(gBitmaps[1], 29, 24), shown);
    EXPECT_EQ(ColourAt(gBitmaps[1], 30, 24), 0u);
    EXPECT_EQ(ColourAt(gBitmaps[1], 29, 25), 0u);
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
