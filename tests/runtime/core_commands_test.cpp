// The core system commands through the handler table and through programs run slice by slice, with
// the clock and the window messages injected: printing, line input and typed characters, waits, the
// frame rate, a pixel read, and a whole compiled program.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "display/draw_queue.h"
#include "display/draw_queue_items.h"
#include "display/input_devices.h"
#include "display/text_fonts.h"
#include "platform/win/messages.h"
#include "platform/win/time.h"
#include "platform/win/window.h"
#include "runtime/core_commands.h"
#include "runtime/dispatcher.h"
#include "runtime/dispatcher_state.h"
#include "runtime/main_loop.h"
#include "runtime/program_image.h"
#include "runtime/run_setup.h"
#include "runtime/runtime_state.h"
#include "runtime/subsystem_hooks.h"
#include "surfaces/display_state.h"
#include "system/system_state.h"
#include "tests/compiler/compile_support.h"
#include "tests/engine3d/surface_fixture.h"
#include "tests/support/image_builder.h"
#include "tests/support/run_program.h"

namespace vx {
namespace {

using test::ImageBuilder;
using test::IntTemp;

constexpr win::WPARAM kBackspace = 8;
constexpr win::WPARAM kEnter = 13;

ValueSlot Int(int32_t v) {
  ValueSlot s{};
  s.i = v;
  return s;
}

struct QueuedText {
  DrawItemType type;
  std::string text;
  int32_t x, y;
  bool operator==(const QueuedText&) const = default;
};
void PrintTo(const QueuedText& t, std::ostream* out) {
  *out << int(t.type) << " \"" << t.text << "\" at " << t.x << "," << t.y;
}

// The text items waiting in the draw queue, in queue order.
std::vector<QueuedText> QueuedTexts() {
  std::vector<QueuedText> texts;
  if (!DrawQueue().gDrawQueue.Exists()) return texts;
  DrawQueue().gDrawQueue.ForEachUsed([&](uint32_t slot) {
    const DrawQueueItem& item = DrawQueue().gDrawQueue[slot];
    if (const auto* print = std::get_if<PrintTextItem>(&item.fields))
      texts.push_back({item.type, print->text.Get(), print->x, print->y});
    if (const auto* erase = std::get_if<EraseTextItem>(&item.fields))
      texts.push_back({item.type, erase->text.Get(), erase->x, erase->y});
  });
  return texts;
}

void ClearQueue() {
  DrawQueueFlush();
  DrawQueue().gDrawQueue.Destroy();
  DrawQueue().gDrawQueueCount = 0;
}
void EndRun() {
  ClearQueue();
  FreeProgramImage();
  win::ClearMessageQueue();
  win::SetClockSource(nullptr);
}

// Every test starts with the test clock, an empty queue, the screen as the target and a
// full-screen program with automatic refresh.
class CoreCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::PrepareRuntime();
    test::gTestClock = 1000;
    DrawQueue().gCurrentBitmap = Text().gTextCursorX = Text().gTextCursorY = System().gWindowMode =
        Input().gLastKeyChar = Interpreter().gInputPollDue = 0;
    Display().gDisplayWidth = 640;
    Interpreter().gAutoRefreshFlag = Dispatcher().gTimeSliceMode = Input().gHasFocus = Host().gAppActive = 1;
    Input().gKeyState.fill(0);
    ResetKeyboardBuffer();
    ClearTypedCharacters();
  }
  void TearDown() override {
    EndRun();
    DrawQueue().gCurrentBitmap = System().gWindowMode = 0;
  }

  // Runs command `number` once on the operand slots as the dispatcher would. Returns where the
  // counter stands in words from the command word.
  static long Call(int number, std::vector<ValueSlot*> operands = {}) {
    std::vector<OperandWord> words(operands.size() + 1);
    words[0].word = number;
    for (size_t k = 0; k < operands.size(); ++k) words[k + 1].slot = operands[k];
    Interpreter().gProgramCounter = words.data() + 1;
    const CommandHandler handler = HandlerOf(number);
    EXPECT_NE(handler, nullptr) << number;
    if (handler) handler();
    return Interpreter().gProgramCounter - words.data();
  }
  static std::string TextFunction(int number) {
    ValueSlot result{};
    result.s = NewRuntimeString("old text");  // must be freed by the store
    Call(number, {&result});
    std::string text = StringText(result.s);
    ClearString(&result);
    return text;
  }

  // A program run slice by slice as the main loop runs it, with messages between the slices.
  void Start(const ImageBuilder& image) {
    FreeProgramImage();
    ASSERT_TRUE(image.Load());
    ResetRuntimeState();
    BeginProgramRun();
    ExecuteTimeSlice();  // the first slice only clears the yield flag
  }
  static void Slice(int count = 1) {
    for (int i = 0; i < count; ++i) {
      ExecuteTimeSlice();
      EndSliceTypedCharacters();
    }
  }
  static bool Ended() { return win::QuitMessagePending(); }
  static void Send(win::UINT message, win::WPARAM wParam = 0, win::LPARAM lParam = 0) {
    MainWindowProc(nullptr, message, wParam, lParam);
  }
  // A key typed as a keyboard reports it: down, the character, up.
  static void Type(win::WPARAM c) {
    const win::WPARAM key = c >= 'a' && c <= 'z' ? c - 32 : c;
    Send(win::WM_KEYDOWN, key);
    Send(win::WM_CHAR, c);
    Send(win::WM_KEYUP, key);
  }
  // Types each key between two slices with other messages after it, then runs to the end.
  static void TypeSlowly(const std::vector<win::WPARAM>& keys) {
    for (win::WPARAM key : keys) {
      Type(key);
      Send(win::WM_MOUSEMOVE, 0, win::LPARAM((20u << 16) | 10u));
      Send(win::WM_ACTIVATE, win::WA_ACTIVE);
      Slice();
    }
    for (int slices = 0; !Ended() && slices < 100; ++slices) Slice();
  }
};

TEST_F(CoreCommandsTest, InlinePrintsShareALineAndLinePrintsStartNewOnes) {
  ValueSlot twelve = Int(12), thirtyFour = Int(34);
  ASSERT_EQ(Call(kCmdPrintIntInline, {&twelve}), 2);
  const int32_t afterFirst = Text().gTextCursorX;
  EXPECT_GT(afterFirst, 0);
  Call(kCmdPrintIntInline, {&thirtyFour});
  Call(kCmdPrintInt, {&twelve});
  const int32_t lineHeight = Text().gTextCursorY;
  EXPECT_GT(lineHeight, 0);
  Call(kCmdPrintInt, {&thirtyFour});
  EXPECT_EQ(Call(kCmdPrintBlankLine), 1);  // a blank line prints a space
  EXPECT_EQ(Text().gTextCursorX, 0);
  EXPECT_EQ(Text().gTextCursorY, 3 * lineHeight);
  EXPECT_EQ(QueuedTexts(), (std::vector<QueuedText>{{DrawItemType::kPrintText, "12", 0, 0},
                                                    {DrawItemType::kPrintText, "34", afterFirst, 0},
                                                    {DrawItemType::kPrintText, "12", afterFirst * 2, 0},
                                                    {DrawItemType::kPrintText, "34", 0, lineHeight},
                                                    {DrawItemType::kPrintText, " ", 0, 2 * lineHeight}}));
}

TEST_F(CoreCommandsTest, InlinePrintWrapsAndClearingResetsTheCursor) {
  Display().gDisplayWidth = 40;
  ValueSlot x = Int(30), y = Int(5), n = Int(123456), colour = Int(0x102030);
  Call(kCmdSetCursor, {&x, &y});
  EXPECT_EQ(Text().gTextCursorX, 30);
  Call(kCmdPrintIntInline, {&n});
  EXPECT_EQ(Text().gTextCursorX, 0);
  EXPECT_GT(Text().gTextCursorY, 5);
  ClearQueue();

  Call(kCmdSetCursor, {&x, &y});
  EXPECT_EQ(Call(kCmdCls), 1);
  EXPECT_EQ(Text().gTextCursorX, 0);
  EXPECT_EQ(Text().gTextCursorY, 0);
  Call(kCmdSetCursor, {&x, &y});
  EXPECT_EQ(Call(kCmdClsColour, {&colour}), 2);  // cls colour sets the background first
  EXPECT_EQ(Text().gTextCursorY, 0);
  std::vector<DrawItemType> types;
  DrawQueue().gDrawQueue.ForEachUsed([&](uint32_t slot) { types.push_back(DrawQueue().gDrawQueue[slot].type); });
  EXPECT_EQ(types, (std::vector<DrawItemType>{DrawItemType::kClear, DrawItemType::kBackColour, DrawItemType::kClear}));
}

TEST_F(CoreCommandsTest, IntegerInputTakesDigitsAndBackspaceAndIgnoresLetters) {
  ImageBuilder b;
  const int a = b.IntVar();
  b.Cmd(kCmdInputInt, {a}).Cmd(kCmdEnd);
  Start(b);
  Slice();  // the input waits
  EXPECT_FALSE(Ended());
  TypeSlowly({'1', 'x', '2', kBackspace, '3', kEnter});
  EXPECT_TRUE(Ended());
  EXPECT_EQ(test::IntAt(a), 13);
  EXPECT_EQ(Runtime().gInputLineLength, -1);
  EXPECT_EQ(Input().gLastKeyChar, 0);
  EXPECT_EQ(Text().gTextCursorX, 0);
  EXPECT_GT(Text().gTextCursorY, 0);  // the finished line moved the cursor to the next line
  std::vector<std::string> shown;
  for (const QueuedText& t : QueuedTexts()) {
    shown.push_back((t.type == DrawItemType::kEraseText ? "erase " : "") + t.text);
    EXPECT_EQ(t.x, 0) << t.text;  // each shown again from the start
  }
  EXPECT_EQ(shown, (std::vector<std::string>{"_", "1_", "12_", "erase 12_", "1_", "13_", "13  "}));
}

TEST_F(CoreCommandsTest, AnInputLineStopsAt252Characters) {
  ImageBuilder b;
  const int s = b.StringVar();
  b.Cmd(kCmdInputString, {s}).Cmd(kCmdEnd);
  Start(b);
  for (int i = 0; i < 300; ++i) {
    Type(win::WPARAM('a' + i % 26));
    Slice();
  }
  Type(kEnter);
  Slice(2);
  ASSERT_TRUE(Ended());
  const std::string typed = test::TextAt(s);
  ASSERT_EQ(typed.size(), size_t(kInputLineLimit));
  EXPECT_EQ(typed.substr(0, 3), "abc");
  // Every shown line is whole: the longest with its "_", the last with the two covering spaces.
  const std::vector<QueuedText> texts = QueuedTexts();
  ASSERT_FALSE(texts.empty());
  for (size_t i = 0; i + 1 < texts.size(); ++i) EXPECT_EQ(texts[i].text.back(), '_') << i;
  EXPECT_EQ(texts.back().text, typed + "  ");
}

TEST_F(CoreCommandsTest, InkeyIsTheMomentaryCharacterAndEntryBufferKeepsEverything) {
  Send(win::WM_CHAR, 'q');
  EXPECT_EQ(TextFunction(kCmdInkey), "q");
  Send(win::WM_MOUSEMOVE);
  EXPECT_EQ(TextFunction(kCmdInkey), "");
  Send(win::WM_CHAR, 'r');
  EXPECT_EQ(TextFunction(kCmdEntryBuffer), "qr");
  EXPECT_EQ(Call(kCmdClearEntryBuffer), 1);
  EXPECT_EQ(TextFunction(kCmdEntryBuffer), "");
  EXPECT_EQ(Input().gKeyboardBufferCount, 0u);
  Input().gKeyboardBuffer.clear();  // no display set-up: no buffer
  EXPECT_EQ(TextFunction(kCmdEntryBuffer), "");
  Call(kCmdClearEntryBuffer);
}

// Every turn of a wait ends the slice; the timer read after it runs in the slice the wait ends.
TEST_F(CoreCommandsTest, WaitEndsOnceTheTimeHasPassedAlsoAcrossTheClocksWrap) {
  test::gTestClock = 0xFFFFFFF0u;
  ImageBuilder b;
  const int t = b.IntVar();
  b.Cmd(kCmdWait, {b.IntConst(100)}).Cmd(kCmdTimer, {t}).Cmd(kCmdEnd);
  Start(b);
  Slice();
  EXPECT_NE(Runtime().gWaitUntil, -1.0);
  test::gTestClock = 0x50;
  Slice();
  EXPECT_FALSE(Ended());
  test::gTestClock = 0x55;
  Slice();
  EXPECT_EQ(Runtime().gWaitUntil, -1.0);
  Slice();
  EXPECT_TRUE(Ended());
  EXPECT_EQ(test::IntAt(t), 0x55);
}

TEST_F(CoreCommandsTest, FrameRateSetsTheFrameTimeOrRaisesOutOfRange) {
  const std::tuple<int32_t, uint32_t, int32_t> cases[] = {{30, 33, 0},
                                                          {0, 0, 0},
                                                          {-1, 7, kErrFrameRateOutOfRange},
                                                          {1001, 7, kErrFrameRateOutOfRange}};
  for (auto [rate, frameTime, error] : cases) {
    SCOPED_TRACE(rate);
    Dispatcher().gFrameTime = 7;
    Interpreter().gErrorCode = 0;
    ValueSlot slot = Int(rate);
    EXPECT_EQ(Call(kCmdFrameRate, {&slot}), 2);
    EXPECT_EQ(Dispatcher().gFrameTime, frameTime);
    EXPECT_EQ(Interpreter().gErrorCode, error);
  }
  Interpreter().gErrorCode = 0;
}

class CoreWindowTest : public CoreCommandsTest {
 protected:
  void SetUp() override {
    CoreCommandsTest::SetUp();
    win::WNDCLASSA windowClass{0, MainWindowProc, 0, nullptr, "VxCoreCommandsTest"};
    win::RegisterClassA(&windowClass);
    Host().gMainWindow = win::CreateWindowExA(0, "VxCoreCommandsTest", "", 0, 0, 0, 640, 480, nullptr, nullptr);
    ASSERT_NE(Host().gMainWindow, nullptr);
  }
  void TearDown() override {
    win::DestroyWindow(Host().gMainWindow);
    Host().gMainWindow = nullptr;
    CoreCommandsTest::TearDown();
  }
};

// A clock that moves on by itself, so that the frame waits end; should the program never end,
// the clock ends the run instead of letting the test hang.
uint32_t gLoopReadings = 0;
win::DWORD CreepingClock() {
  if (++gLoopReadings == 4'000'000) win::PostQuitMessage(0);
  return 5000 + gLoopReadings / 4;
}

// Stands for a user who types "42" and Enter while the program's input waits, with key releases
// and mouse moves among the characters, all before the next slice runs.
void PostTyping() {
  for (win::WPARAM c : {win::WPARAM('4'), win::WPARAM('2'), kEnter})
    for (win::UINT message : {win::WM_KEYDOWN, win::WM_CHAR, win::WM_KEYUP, win::WM_MOUSEMOVE})
      win::PostMessageA(Host().gMainWindow, message, message == win::WM_MOUSEMOVE ? 0 : c, 0);
}

TEST_F(CoreWindowTest, TheMainLoopKeepsEveryTypedCharacterForTheInput) {
  constexpr int kPostTyping = 9990;  // a number the system does not use
  RegisterCommand(kPostTyping, PostTyping);
  gLoopReadings = 0;
  win::SetClockSource(CreepingClock);
  ImageBuilder program;
  const int answer = program.IntVar();
  program.Cmd(kPostTyping).Cmd(kCmdInputInt, {answer}).Cmd(kCmdEnd);
  ASSERT_TRUE(program.Load());
  ResetRuntimeState();
  RunMainLoop();
  RegisterCommand(kPostTyping, nullptr);
  EXPECT_EQ(Interpreter().gErrorCode, 0);
  EXPECT_EQ(Dispatcher().gEndFlag, 1);  // ended by its end command, not by the clock
  EXPECT_EQ(test::IntAt(answer), 42);
}

// A close (as which a signal arrives) or Esc that comes while the program starts ends the run at
// its first turn; neither is dropped with the messages the start clears away.
TEST_F(CoreWindowTest, ACloseOrEscBeforeTheFirstSliceEndsTheRun) {
  ImageBuilder program;
  program.Cmd(kCmdWaitKey);  // waits until the clock ends the run, should the request be lost
  ASSERT_TRUE(program.Load());
  // Esc first: the close takes the window with it.
  for (const win::WPARAM key : {win::WPARAM(win::VK_ESCAPE), win::WPARAM(0)}) {
    SCOPED_TRACE(key ? "Esc" : "close");
    gLoopReadings = 0;
    win::SetClockSource(CreepingClock);
    ResetRuntimeState();
    win::PostMessageA(Host().gMainWindow, key ? win::WM_KEYDOWN : win::WM_CLOSE, key, 0);
    RunMainLoop();
    EXPECT_LT(gLoopReadings, 1000u) << "the run ended by the clock";
    EXPECT_EQ(Interpreter().gErrorCode, 0);
  }
}

class CorePixelTest : public test::SurfaceWorld {
 protected:
  void TearDown() override {
    EndRun();
    SurfaceWorld::TearDown();
  }
};

// The colour is in the variable when the command after the read runs, and the frame after that
// does not write it again.
TEST_F(CorePixelTest, PointIsWrittenOnceAfterTheFrame) {
  MakeWorld(32);
  test::PrepareRuntime();
  Display().gFlipChain = 0;
  ResetDrawTarget();
  test::Fill(Display().gBackBuffer, 0x000000);
  ImageBuilder b;
  const int seen = b.IntVar(), later = b.IntVar();
  const int two = b.IntConst(2), three = b.IntConst(3);
  b.Cmd(kCmdInk, {b.IntConst(0x00FF00), b.IntConst(0)})
      .Cmd(kCmdBox, {two, two, three, three})
      .Cmd(kCmdPoint, {IntTemp(0), two, two})
      .Cmd(kCmdAssignInt, {seen, IntTemp(0)})
      .Cmd(kCmdAssignInt, {IntTemp(0), b.IntConst(77)})
      .Cmd(kCmdRefreshScreen)
      .Cmd(kCmdAssignInt, {later, IntTemp(0)})
      .Cmd(kCmdEnd);
  ASSERT_TRUE(b.Load());
  ResetRuntimeState();
  BeginProgramRun();
  for (int frame = 0; frame < 10 && !win::QuitMessagePending(); ++frame) {
    DrawQueueExecute();
    ExecuteTimeSlice();
  }
  EXPECT_EQ(test::IntAt(seen), 0x00FF00);
  EXPECT_EQ(test::IntAt(later), 77);
  EXPECT_EQ(DrawQueue().gDrawQueueCount, 0u);
}

class CoreProgramTest : public test::CompileTest {
 protected:
  void TearDown() override {
    EndRun();
    test::CompileTest::TearDown();
  }
};

// The user types while an input waits; time moves 10 ms a slice.
TEST_F(CoreProgramTest, ProgramPrintsWaitsAndReadsTypedLines) {
  ASSERT_TRUE(Compile(R"(
print "Name?"
input n$
t0 = timer()
wait 100
t1 = timer()
input "Age ", a
printc "Hello " : print n$
if a = 12 then ok = rgb(255, 128, 0)
end
)")) << Message()
     << " at line " << Line();
  test::PrepareRuntime();
  ASSERT_TRUE(LoadProgramImage(output));
  test::gTestClock = 5000;
  Text().gTextCursorX = Text().gTextCursorY = 0;
  ResetKeyboardBuffer();
  ResetRuntimeState();
  BeginProgramRun();
  std::string keys = "Bob\r1x2\r";
  for (int slices = 0; !win::QuitMessagePending() && slices < 500; ++slices) {
    const intptr_t command = Interpreter().gProgramCounter ? Interpreter().gProgramCounter->word : 0;
    if ((command == kCmdInputInt || command == kCmdInputString) && !keys.empty()) {
      const auto c = win::WPARAM(uint8_t(keys.front()));
      keys.erase(0, 1);
      for (win::UINT message : {win::WM_KEYDOWN, win::WM_CHAR, win::WM_KEYUP}) MainWindowProc(nullptr, message, c, 0);
    }
    ExecuteTimeSlice();
    EndSliceTypedCharacters();
    test::gTestClock += 10;
  }
  ASSERT_TRUE(win::QuitMessagePending());
  EXPECT_EQ(Interpreter().gErrorCode, 0);
  EXPECT_EQ(test::TextAt(Operand("n$")), "Bob");
  EXPECT_EQ(Int("a"), 12);
  EXPECT_GT(Int("t1") - Int("t0"), 100);
  EXPECT_EQ(Int("ok"), 16744448);
  std::vector<std::string> printed;
  for (const QueuedText& t : QueuedTexts())
    if (t.type == DrawItemType::kPrintText) printed.push_back(t.text);
  ASSERT_GE(printed.size(), 4u);
  EXPECT_EQ(printed.front(), "Name?");
  EXPECT_EQ(printed[printed.size() - 2], "Hello ");
  EXPECT_EQ(printed.back(), "Bob");
  for (const char* shown : {"Bob  ", "Age ", "12  "})
    EXPECT_NE(std::find(printed.begin(), printed.end(), shown), printed.end()) << shown;
}

}  // namespace
}  // namespace vx
