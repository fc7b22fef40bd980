// Bitmap commands through the dispatcher's handlers: which commands end the time slice, the life
// of a bitmap (deleting the current one targets the screen at once) with its questions' errors,
// and on a real headless display the saved screen in the format of its name.
#include <deque>
#include <filesystem>
#include <utility>

#include "display/display.h"
#include "display/draw_queue_items.h"
#include "runtime/dispatcher.h"
#include "tests/display/bitmap_test_support.h"
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
  Interpreter().gProgramCounter = words.data();
  Interpreter().gYieldFlag = Interpreter().gErrorCode = Interpreter().gErrorWarningFlag = 0;
  HandlerOf(number)();
  EXPECT_EQ(Interpreter().gProgramCounter, words.data() + operands.size()) << "command " << number;
  Interpreter().gProgramCounter = nullptr;
  win::ClearMessageQueue();
  const bool yielded = Interpreter().gYieldFlag == 1;
  Interpreter().gYieldFlag = 0;
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
    Interpreter().gAutoRefreshFlag = 1;
  }
  void TearDown() override {
    Interpreter().gAutoRefreshFlag = 1;
    test::BitmapWorld::TearDown();
  }
  std::string File(const std::string& name) { return temp.path() + name; }
  test::TempFolder temp;
};

TEST_F(BitmapCommandTest, CommandsQueueTheirWorkAndEndTheSliceAsTheyShould) {
  const struct {
    int number;
    std::vector<int32_t> values;
    uint8_t automatic;
    bool yields;
  } cases[] = {
      {kCmdCreateBitmap, {1, 8, 8}, 0, true}, {kCmdSetCurrentBitmap, {0}, 1, true},
      {kCmdSetCurrentBitmap, {0}, 0, false},  {kCmdCopyBitmap, {1, 0}, 1, true},
      {kCmdCopyBitmap, {1, 0}, 0, false},     {kCmdCopyBitmap, {0, 1}, 1, false},
      {kCmdDeleteBitmap, {1}, 0, true},       {kCmdMirrorBitmap, {0}, 0, true},
      {kCmdMirrorBitmap, {1}, 1, false},      {kCmdFadeBitmap, {0, 50}, 0, true},
      {kCmdFadeBitmap, {1, 50}, 1, false},
  };
  for (const auto& c : cases) {
    Interpreter().gAutoRefreshFlag = c.automatic;
    const uint32_t waiting = DrawQueue().gDrawQueueCount;
    EXPECT_EQ(Do(c.number, c.values), c.yields) << c.number;
    EXPECT_EQ(DrawQueue().gDrawQueueCount, waiting + 1) << c.number;
    EXPECT_EQ(Interpreter().gErrorCode, 0) << c.number;
  }
  Interpreter().gAutoRefreshFlag = 1;
  DrawQueueFlush();

  // Files: loads and saves always end the slice; the screen is saved after the present.
  Operands o;
  EXPECT_TRUE(Call(kCmdLoadBitmap, {o.Text("b.bmp"), o.Int(4)}));
  EXPECT_EQ(DrawQueue().gDrawQueueCount, 1u);
  EXPECT_EQ(
      std::get<LoadBitmapItem>(DrawQueue().gDrawQueue[uint32_t(DrawQueue().gDrawQueue.usedTail)].fields).file.Get(),
      "b.bmp");
  EXPECT_TRUE(Call(kCmdSaveBitmap, {o.Text("screen.jpg"), o.Int(0)}));
  EXPECT_EQ(Display().gScreenSaveRequest, 1u);
  EXPECT_EQ(Display().gScreenshotFile, "screen.jpg");
  EXPECT_EQ(DrawQueue().gDrawQueueCount, 1u);
  EXPECT_TRUE(Call(kCmdSaveBitmap, {o.Text("three.bmp"), o.Int(3)}));
  EXPECT_EQ(DrawQueue().gDrawQueue[uint32_t(DrawQueue().gDrawQueue.usedTail)].type, DrawItemType::kSaveBitmap);
}

TEST_F(BitmapCommandTest, ABitmapFromCreationToDeletion) {
  EXPECT_EQ((std::vector{Ask(1051, {0}), Ask(1058, {0}), Ask(1052)}), (std::vector{1, 64, 0}));
  Do(kCmdCreateBitmap, {1, 16, 8});
  EXPECT_EQ(Ask(1051, {1}), 0);  // made in the next frame
  ASSERT_EQ(Frame(), 0);
  // A new bitmap is the current one: exists, current, its width, height, depth; width, height by number.
  EXPECT_EQ((std::vector{Ask(1051, {1}), Ask(1052), Ask(1053), Ask(1054), Ask(1055), Ask(1058, {1}), Ask(1059, {1})}),
            (std::vector{1, 1, 16, 8, 32, 16, 8}));

  // Deleting the current bitmap makes the screen current at once, before the frame.
  EXPECT_TRUE(Do(kCmdDeleteBitmap, {1}));
  EXPECT_EQ(Ask(1052), 0);
  EXPECT_EQ(DrawQueue().gCurrentSurface, Display().gBackBuffer);
  EXPECT_NE(Display().gBitmaps[1], nullptr);
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(Display().gBitmaps[1], nullptr);
  EXPECT_EQ(Ask(1051, {1}), 0);

  // The screen is never deleted nor made; numbers outside the program's range touch no table.
  Do(kCmdDeleteBitmap, {0});
  EXPECT_EQ(Frame(), kErrScreenBitmapNotDeleted);
  Do(kCmdCreateBitmap, {0, 4, 4});
  EXPECT_EQ(Frame(), kErrScreenBitmapNotCreated);
  for (int32_t n : {32, kWorkBitmap, -5}) {
    Do(kCmdDeleteBitmap, {n});
    EXPECT_EQ(Frame(), kErrBitmapNumberOutOfRange) << n;
    Do(kCmdCreateBitmap, {n, 4, 4});
    EXPECT_EQ(Frame(), kErrBitmapNumberOutOfRange) << n;
  }
  EXPECT_EQ(Display().gBitmaps[size_t(kWorkBitmap)], nullptr);
  EXPECT_EQ(Display().gBitmapInfo[size_t(kWorkBitmap)].width, 0u);
}

// A real headless display, for what only the display has: the shown screen.
class BitmapDisplayTest : public test::RealDisplayTest {
 protected:
  void SetUp() override {
    RealDisplayTest::SetUp();
    AttachImageContext(Host().gMainWindow, Display().gDirectDraw, Display().gPrimarySurface);
  }
  void TearDown() override {
    ReleaseImageContext();
    RealDisplayTest::TearDown();
    Display().gScreenshotFile.clear();
  }
};

TEST_F(BitmapDisplayTest, TheShownScreenIsSavedInTheFormatOfItsName) {
  test::TempFolder temp;
  test::Fill(Display().gBackBuffer, 0x000000);
  win::RECT box{10, 20, 30, 25};
  test::Fill(Display().gBackBuffer, 0x30C0F0, &box);
  PresentFrame();
  const uint32_t shown = ColourAt(Display().gPrimarySurface, 10, 20);
  EXPECT_NE(shown, 0u);
  for (const char* name : {"shot.png", "shot.TGA"}) {
    SCOPED_TRACE(name);
    Display().gScreenshotFile = temp.path() + name;
    ASSERT_EQ(SaveScreenshot(), 1);
    ASSERT_EQ(LoadBitmapIntoSlot(1, Display().gScreenshotFile), 1);
    EXPECT_EQ(std::pair(Display().gBitmapInfo[1].width, Display().gBitmapInfo[1].height), std::pair(640u, 480u));
    // Both corners of the box, and just outside it to the right and below.
    EXPECT_EQ((std::vector{ColourAt(Display().gBitmaps[1], 10, 20), ColourAt(Display().gBitmaps[1], 29, 24),
                           ColourAt(Display().gBitmaps[1], 30, 24), ColourAt(Display().gBitmaps[1], 29, 25)}),
              (std::vector<uint32_t>{shown, shown, 0, 0}));
    ReleaseBitmapSurface(1);
  }
  EXPECT_EQ(Display().gScreenshotSurface, nullptr);
  // Nothing written is a failed save, and an old file of the name stays.
  for (const char* name : {"shot.pcx", "missing/shot.png"}) {
    Display().gScreenshotFile = temp.path() + name;
    EXPECT_EQ(SaveScreenshot(), 0) << name;
    EXPECT_FALSE(std::filesystem::exists(Display().gScreenshotFile)) << name;
  }
}

}  // namespace
}  // namespace vx
