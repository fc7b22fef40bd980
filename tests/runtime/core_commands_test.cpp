// The core system commands through the handler table and through programs run slice by slice, with
// the clock and the window messages injected: printing, slice ends, line input and typed characters,
// waits, the frame rate, colours, ending, the mouse, a pixel read, and whole compiled programs.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "display/display_state.h"
#include "display/draw_queue.h"
#include "display/draw_queue_items.h"
#include "display/input_devices.h"
#include "platform/win/files.h"
#include "platform/win/messages.h"
#include "platform/win/time.h"
#include "platform/win/window.h"
#include "runtime/core_commands.h"
#include "runtime/dispatcher.h"
#include "runtime/host.h"
#include "runtime/interpreter.h"
#include "runtime/main_loop.h"
#include "runtime/program_image.h"
#include "runtime/run_setup.h"
#include "runtime/subsystem_hooks.h"
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
  int32_t type;
  std::string text;
  int32_t x, y;
  bool operator==(const QueuedText&) const = default;
};
void PrintTo(const QueuedText& t, std::ostream* out) { *out << t.type << " \"" << t.text << "\" at " << t.x << "," << t.y; }

// The text items waiting in the draw queue, in queue order.
std::vector<QueuedText> QueuedTexts() {
  std::vector<QueuedText> texts;
  if (!gDrawQueue.Exists()) return texts;
  gDrawQueue.ForEachUsed([&](uint32_t slot) {
    const DrawQueueItem& item = gDrawQueue[slot];
    if (item.type == kPrintText || item.type == kEraseText)
      texts.push_back({item.type, std::string(item.params.text), item.x, item.y});
  });
  return texts;
}

void ClearQueue() {
  DrawQueueFlush();
  gDrawQueue.Destroy();
  gDrawQueueCount = 0;
}
// What every run leaves behind.
void EndRun() {
  ClearQueue();
  FreeProgramImage();
  win::ClearMessageQueue();
  win::SetClockSource(nullptr);
}

// The state every test starts from and leaves behind: the test clock, an empty queue, the screen
// as the target, a full-screen program with automatic refresh.
class CoreCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::PrepareRuntime();
    test::gTestClock = 1000;
    gCurrentBitmap = gTextCursorX = gTextCursorY = gWindowMode = gLastKeyChar = gInputPollDue = 0;
    gDisplayWidth = 640;
    gAutoRefreshFlag = gTimeSliceMode = gHasFocus = gAppActive = 1;
    gKeyState.fill(0);
    ResetKeyboardBuffer();
    ClearTypedCharacters();
  }
  void TearDown() override {
    EndRun();
    gCurrentBitmap = gWindowMode = 0;
  }

  // Runs command `number` once on the operand slots as the dispatcher would, with the yield flag as
  // a command before it left it. Returns where the counter stands in words from the command word.
  static long Call(int number, std::vector<ValueSlot*> operands = {}, int yieldBefore = 0) {
    std::vector<OperandWord> words(operands.size() + 1);
    words[0].word = number;
    for (size_t k = 0; k < operands.size(); ++k) words[k + 1].slot = operands[k];
    gProgramCounter = words.data() + 1;
    gYieldFlag = yieldBefore;
    const CommandHandler handler = HandlerOf(number);
    EXPECT_NE(handler, nullptr) << number;
    if (handler) handler();
    return gProgramCounter - words.data();
  }
  static int32_t IntFunction(int number, std::vector<int32_t> args = {}) {
    std::vector<ValueSlot> slots{Int(-12345)};
    for (int32_t a : args) slots.push_back(Int(a));
    std::vector<ValueSlot*> operands;
    for (ValueSlot& s : slots) operands.push_back(&s);
    Call(number, operands);
    return slots[0].i;
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
  // Runs slices until the program ends; returns how many it took.
  static int SliceToEnd(int maxSlices = 100) {
    int slices = 0;
    for (; !Ended() && slices < maxSlices; ++slices) Slice();
    return slices;
  }
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
  static void TypeText(const std::string& text) {
    for (char c : text) Type(win::WPARAM(uint8_t(c)));
  }
  // Types each key between two slices with other messages after it, then runs to the end.
  static void TypeSlowly(const std::vector<win::WPARAM>& keys) {
    for (win::WPARAM key : keys) {
      Type(key);
      Send(win::WM_MOUSEMOVE, 0, win::LPARAM((20u << 16) | 10u));
      Send(win::WM_ACTIVATE, win::WA_ACTIVE);
      Slice();
    }
    SliceToEnd();
  }
};

TEST_F(CoreCommandsTest, InlinePrintsShareALineAndLinePrintsStartNewOnes) {
  ValueSlot twelve = Int(12), thirtyFour = Int(34);
  ASSERT_EQ(Call(305, {&twelve}), 2);
  const int32_t afterFirst = gTextCursorX;
  EXPECT_GT(afterFirst, 0);
  Call(305, {&thirtyFour});
  Call(301, {&twelve});
  const int32_t lineHeight = gTextCursorY;
  EXPECT_GT(lineHeight, 0);
  Call(301, {&thirtyFour});
  EXPECT_EQ(Call(304), 1);  // a blank line prints a space
  EXPECT_EQ(gTextCursorX, 0);
  EXPECT_EQ(gTextCursorY, 3 * lineHeight);
  EXPECT_EQ(QueuedTexts(), (std::vector<QueuedText>{{kPrintText, "12", 0, 0},
                                                    {kPrintText, "34", afterFirst, 0},
                                                    {kPrintText, "12", afterFirst * 2, 0},
                                                    {kPrintText, "34", 0, lineHeight},
                                                    {kPrintText, " ", 0, 2 * lineHeight}}));
}

TEST_F(CoreCommandsTest, NumbersAndTextsPrintInTheirFormats) {
  ValueSlot half{}, big{}, negative = Int(-7), text{};
  half.f = 2.5f;
  big.f = 1e20f;
  text.s = NewRuntimeString("abc");
  const std::pair<int, ValueSlot*> prints[] = {{302, &half}, {306, &big}, {305, &negative}, {307, &text}, {303, &text}};
  for (auto [number, slot] : prints) Call(number, {slot});
  ClearString(&text);
  std::vector<std::string> printed;
  for (const QueuedText& t : QueuedTexts()) printed.push_back(t.text);
  EXPECT_EQ(printed, (std::vector<std::string>{"2.5", "1e+20", "-7", "abc", "abc"}));
}

TEST_F(CoreCommandsTest, InlinePrintWrapsAndClearingResetsTheCursor) {
  gDisplayWidth = 40;
  ValueSlot x = Int(30), y = Int(5), n = Int(123456), colour = Int(0x102030);
  Call(252, {&x, &y});
  EXPECT_EQ(gTextCursorX, 30);
  Call(305, {&n});
  EXPECT_EQ(gTextCursorX, 0);
  EXPECT_GT(gTextCursorY, 5);
  ClearQueue();

  Call(252, {&x, &y});
  EXPECT_EQ(Call(212), 1);
  EXPECT_EQ(gTextCursorX, 0);
  EXPECT_EQ(gTextCursorY, 0);
  Call(252, {&x, &y});
  EXPECT_EQ(Call(405, {&colour}), 2);  // cls colour sets the background first
  EXPECT_EQ(gTextCursorY, 0);
  std::vector<int32_t> types;
  gDrawQueue.ForEachUsed([&](uint32_t slot) { types.push_back(gDrawQueue[slot].type); });
  EXPECT_EQ(types, (std::vector<int32_t>{kClear, kBackColour, kClear}));
}

// Which commands end the slice: on the screen by the refresh mode, in a bitmap only the box and the
// mouse commands, the ink never, the pixel read always. An error while queueing has already ended
// the slice, and manual refresh must not take that back.
TEST_F(CoreCommandsTest, DrawingEndsTheSliceByRefreshModeAndTarget) {
  struct Case {
    int number, operands;
    bool screenAuto, screenManual, bitmapAuto;
  };
  const Case cases[] = {
      {208, 4, true, false, true},  {210, 3, true, false, false}, {216, 4, true, false, false},
      {215, 2, true, false, false}, {235, 4, true, false, false}, {212, 0, true, false, false},
      {405, 1, true, false, false}, {301, 1, true, false, false}, {302, 1, true, false, false},
      {303, 1, true, false, false}, {304, 0, true, false, false}, {305, 1, true, false, false},
      {306, 1, true, false, false}, {307, 1, true, false, false}, {227, 2, false, false, false},
      {243, 3, true, true, true},   {224, 0, true, false, true},  {246, 2, true, false, true},
      {253, 0, true, true, true},   {252, 2, false, false, false},
  };
  for (const Case& c : cases) {
    for (int mode = 0; mode < 4; ++mode) {  // screen auto, screen manual, bitmap, manual after an error
      SCOPED_TRACE(::testing::Message() << "command " << c.number << " mode " << mode);
      gAutoRefreshFlag = mode == 1 || mode == 3 ? 0 : 1;
      gCurrentBitmap = mode == 2 ? 3 : 0;
      const bool text = c.number == 303 || c.number == 307;  // a null text reads as ""
      std::vector<ValueSlot> slots(size_t(c.operands), text ? ValueSlot{} : Int(1));
      std::vector<ValueSlot*> operands;
      for (ValueSlot& s : slots) operands.push_back(&s);
      EXPECT_EQ(Call(c.number, operands, mode == 3), 1 + c.operands);
      const bool expected = mode == 0 ? c.screenAuto : mode == 1 ? c.screenManual : mode == 2 ? c.bitmapAuto : true;
      EXPECT_EQ(gYieldFlag, expected ? 1 : 0);
    }
  }
}

TEST_F(CoreCommandsTest, IntegerInputTakesDigitsAndBackspaceAndIgnoresLetters) {
  ImageBuilder b;
  const int a = b.IntVar();
  b.Cmd(351, {a}).Cmd(213);
  Start(b);
  Slice();  // the input waits
  EXPECT_FALSE(Ended());
  TypeSlowly({'1', 'x', '2', kBackspace, '3', kEnter});
  EXPECT_TRUE(Ended());
  EXPECT_EQ(test::IntAt(a), 13);
  EXPECT_EQ(gInputLineLength, -1);
  EXPECT_EQ(gLastKeyChar, 0);
  EXPECT_EQ(gTextCursorX, 0);
  EXPECT_GT(gTextCursorY, 0);  // the finished line moved the cursor to the next line
  std::vector<std::string> shown;
  for (const QueuedText& t : QueuedTexts()) {
    shown.push_back((t.type == kEraseText ? "erase " : "") + t.text);
    EXPECT_EQ(t.x, 0) << t.text;  // each shown again from the start
  }
  EXPECT_EQ(shown, (std::vector<std::string>{"_", "1_", "12_", "erase 12_", "1_", "13_", "13  "}));
}

TEST_F(CoreCommandsTest, FloatAndTextInputKeepWhatTheyAccept) {
  ImageBuilder b;
  const int f = b.FloatVar(), s = b.StringVar();
  b.Cmd(352, {f}).Cmd(355, {s}).Cmd(213);
  Start(b);
  TypeSlowly({'-', '2', 'e', '.', '5', kEnter, 'H', 'i', ' ', '!', kBackspace, '?', kEnter});
  EXPECT_TRUE(Ended());
  EXPECT_FLOAT_EQ(test::FloatAt(f), -2.5f);
  EXPECT_EQ(test::TextAt(s), "Hi ?");
}

// Keys typed faster than the slices run, with other messages among them, all arrive in order.
TEST_F(CoreCommandsTest, KeysTypedBetweenTwoSlicesAreTakenOneBySliceInOrder) {
  ImageBuilder b;
  const int s = b.StringVar();
  b.Cmd(355, {s}).Cmd(213);
  Start(b);
  Slice();
  TypeText("abc");
  Send(win::WM_MOUSEMOVE);
  TypeText("d");
  Type(kEnter);
  Send(win::WM_ACTIVATE, win::WA_ACTIVE);
  EXPECT_EQ(gLastKeyChar, 0);  // the momentary character is gone already
  EXPECT_EQ(SliceToEnd(20), 6);  // one key per execution, then the end
  EXPECT_EQ(test::TextAt(s), "abcd");
}

TEST_F(CoreCommandsTest, TypingThatNoCommandAskedForIsDroppedAfterTheSlice) {
  ImageBuilder b;
  const int a = b.IntVar();
  b.Cmd(259).Cmd(351, {a}).Cmd(213);
  Start(b);
  Type('7');
  Slice();  // 259 ends the slice; nothing read the typing
  EXPECT_EQ(TypedCharacterCount(), 0u);
  TypeSlowly({'5', kEnter});
  EXPECT_EQ(test::IntAt(a), 5);
}

TEST_F(CoreCommandsTest, AnInputLineStopsAt252Characters) {
  ImageBuilder b;
  const int s = b.StringVar();
  b.Cmd(355, {s}).Cmd(213);
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

TEST_F(CoreCommandsTest, EnterOnAnEmptyLineGivesEmptyValuesAndANewLine) {
  ImageBuilder b;
  const int a = b.IntVar(), s = b.StringVar();
  b.Cmd(351, {a}).Cmd(355, {s}).Cmd(213);
  Start(b);
  StoreString(SlotOfOperand(s), "before");
  SlotOfOperand(a)->i = 99;
  TypeSlowly({kEnter, kEnter});
  EXPECT_TRUE(Ended());
  EXPECT_EQ(test::IntAt(a), 0);
  EXPECT_EQ(test::TextAt(s), "");
  EXPECT_GT(gTextCursorY, 0);
  EXPECT_EQ(gInputLineLength, -1);
}

TEST_F(CoreCommandsTest, WaitKeyTakesOneTypedCharacterAndWaitsForItToPass) {
  ImageBuilder b;
  b.Cmd(263).Cmd(264).Cmd(213);
  Start(b);
  Slice(2);
  EXPECT_FALSE(Ended());
  Send(win::WM_CHAR, 'k');  // typed, not yet released
  Slice(3);
  EXPECT_FALSE(Ended());
  EXPECT_EQ(gWaitKeyState, 1);
  Send(win::WM_KEYUP, 'K');
  Slice();  // the first wait is over
  EXPECT_EQ(gWaitKeyState, 0);
  Slice();
  EXPECT_FALSE(Ended());
  // Two keys typed at once answer two waits.
  ImageBuilder twice;
  twice.Cmd(263).Cmd(263).Cmd(213);
  Start(twice);
  TypeText("xy");
  SliceToEnd(6);
  EXPECT_TRUE(Ended());
}

TEST_F(CoreCommandsTest, InkeyIsTheMomentaryCharacterAndEntryBufferKeepsEverything) {
  Send(win::WM_CHAR, 'q');
  EXPECT_EQ(TextFunction(228), "q");
  Send(win::WM_MOUSEMOVE);
  EXPECT_EQ(TextFunction(228), "");
  Send(win::WM_CHAR, 'r');
  EXPECT_EQ(TextFunction(428), "qr");
  EXPECT_EQ(Call(429), 1);
  EXPECT_EQ(TextFunction(428), "");
  EXPECT_EQ(gKeyboardBufferCount, 0u);
  gKeyboardBuffer.clear();  // no display set-up: no buffer
  EXPECT_EQ(TextFunction(428), "");
  Call(429);
}

TEST_F(CoreCommandsTest, ScanCodeIsTheFirstKeyDownAndAsksForAFreshPoll) {
  EXPECT_EQ(IntFunction(250), 0);
  EXPECT_EQ(gInputPollDue, 1);
  gKeyState[57] = gKeyState[30] = 0x80;
  EXPECT_EQ(IntFunction(250), 30);
}

TEST_F(CoreCommandsTest, WaitMouseWaitsForAPressAndItsRelease) {
  ImageBuilder b;
  b.Cmd(265).Cmd(213);
  Start(b);
  gMouseButtons = 0;
  Slice();
  gMouseButtons = 1;
  Slice(2);
  EXPECT_FALSE(Ended());
  gMouseButtons = 0;
  Slice(2);
  EXPECT_TRUE(Ended());
}

// Every turn of a wait ends the slice; the timer read after it runs in the slice the wait ends.
TEST_F(CoreCommandsTest, WaitEndsOnceTheTimeHasPassedAlsoAcrossTheClocksWrap) {
  const std::tuple<uint32_t, uint32_t, uint32_t> cases[] = {{1000, 1100, 1101}, {0xFFFFFFF0u, 0x50, 0x55}};
  for (auto [start, notYet, over] : cases) {
    SCOPED_TRACE(start);
    test::gTestClock = start;
    win::ClearMessageQueue();
    ImageBuilder b;
    const int t = b.IntVar();
    b.Cmd(255, {b.IntConst(100)}).Cmd(260, {t}).Cmd(213);
    Start(b);
    Slice();
    EXPECT_NE(gWaitUntil, -1.0);
    test::gTestClock = notYet;
    Slice();
    EXPECT_FALSE(Ended());
    test::gTestClock = over;
    Slice();
    EXPECT_EQ(gWaitUntil, -1.0);
    Slice();
    EXPECT_TRUE(Ended());
    EXPECT_EQ(test::IntAt(t), int32_t(over));
  }
}

// A wait of zero and a negative wait both end the slice and go on once the clock has moved.
TEST_F(CoreCommandsTest, ShortWaitsGoOnAtTheNextTick) {
  const std::pair<int, int> cases[] = {{410, 0}, {255, -5000}};
  for (auto [command, time] : cases) {
    SCOPED_TRACE(command);
    win::ClearMessageQueue();
    ImageBuilder b;
    const int after = b.IntVar();
    b.Cmd(command, {b.IntConst(time)}).Cmd(151, {after, b.IntConst(1)}).Cmd(213);
    Start(b);
    Slice(2);
    EXPECT_EQ(test::IntAt(after), 0);
    test::gTestClock += 1;
    Slice(2);
    EXPECT_EQ(test::IntAt(after), 1);
    EXPECT_TRUE(Ended());
  }
}

TEST_F(CoreCommandsTest, FrameRateSetsTheFrameTimeOrRaises112) {
  const struct {
    int32_t rate;
    uint32_t frameTime;
    int32_t error;
  } cases[] = {{1000, 1, 0}, {30, 33, 0}, {1, 1000, 0}, {0, 0, 0}, {-1, 7, 112}, {1001, 7, 112}, {INT32_MIN, 7, 112}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rate);
    gFrameTime = 7;
    gErrorCode = 0;
    win::ClearMessageQueue();
    ValueSlot rate = Int(c.rate);
    EXPECT_EQ(Call(407, {&rate}), 2);
    EXPECT_EQ(gFrameTime, c.frameTime);
    EXPECT_EQ(gErrorCode, c.error);
  }
  gErrorCode = 0;
}

TEST_F(CoreCommandsTest, RefreshModesEndTheSliceAndTheTimerWraps) {
  EXPECT_EQ(Call(403), 1);
  EXPECT_EQ(gTimeSliceMode + gAutoRefreshFlag, 0);
  EXPECT_EQ(gYieldFlag, 1);
  Call(404);
  EXPECT_EQ(gTimeSliceMode + gAutoRefreshFlag, 2);
  Call(259);
  EXPECT_EQ(gYieldFlag, 1);
  test::gTestClock = 0xFFFFFFFEu;
  EXPECT_EQ(IntFunction(260), -2);
}

TEST_F(CoreCommandsTest, ColourValues) {
  const struct {
    int number;
    std::vector<int32_t> args;
    int32_t expected;
  } cases[] = {
      {391, {255, 128, 0}, 16744448}, {392, {16744448}, 255}, {393, {16744448}, 128}, {394, {16744448}, 0},
      {392, {-1}, 255}, {393, {0x12345678}, 0x56}, {391, {256, 0, 1}, 0x1000001},  // parts are not masked
      {391, {-1, 0, 0}, int32_t(0xFFFF0000u)},
      {391, {0x7FFF, 0x7FFFFFFF, 0x7FFFFFFF}, int32_t(0x7FFF0000u + 0xFFFFFF00u + 0x7FFFFFFFu)},
  };
  for (const auto& c : cases) EXPECT_EQ(IntFunction(c.number, c.args), c.expected) << c.number << " " << c.args[0];
}

TEST_F(CoreCommandsTest, EndAndQuitPostTheQuitMessage) {
  const std::tuple<int, bool, int32_t> cases[] = {{213, false, 1}, {217, false, 0}, {266, true, 0}};
  for (auto [number, withText, endFlag] : cases) {
    SCOPED_TRACE(number);
    win::ClearMessageQueue();
    gEndFlag = 0;
    ValueSlot text{};
    EXPECT_EQ(withText ? Call(number, {&text}) : Call(number), withText ? 2 : 1);
    EXPECT_TRUE(win::QuitMessagePending());
    EXPECT_EQ(gYieldFlag, 1);
    EXPECT_EQ(gEndFlag, endFlag);
  }
}

TEST_F(CoreCommandsTest, ExecutablePathAndWindowsFolder) {
  std::string path = win::ExecutablePath();
  if (path.size() > 255) path.resize(255);
  EXPECT_EQ(TextFunction(426), path);
  EXPECT_EQ(TextFunction(427), "/etc");
}

TEST_F(CoreCommandsTest, MouseValuesComeFromTheInputStateAndButtonsAreSixteenBits) {
  gMouseX = 12, gMouseY = -3, gMouseZ = 50, gMouseMoveX = 4, gMouseMoveY = -5, gMouseMoveZ = 6;
  gMouseButtons = 0x18001;
  const std::pair<int, int32_t> cases[] = {{239, 12}, {240, -3}, {431, 50}, {241, 4}, {244, -5}, {432, 6}, {238, -32767}};
  for (auto [number, expected] : cases) EXPECT_EQ(IntFunction(number), expected) << number;
  gMouseButtons = 0;
}

class CoreWindowTest : public CoreCommandsTest {
 protected:
  void SetUp() override {
    CoreCommandsTest::SetUp();
    win::WNDCLASSA windowClass{0, MainWindowProc, 0, nullptr, "VxCoreCommandsTest"};
    win::RegisterClassA(&windowClass);
    gMainWindow = win::CreateWindowExA(0, "VxCoreCommandsTest", "", 0, 0, 0, 640, 480, nullptr, nullptr);
    ASSERT_NE(gMainWindow, nullptr);
    gCursorShown = 1;
  }
  void TearDown() override {
    win::DestroyWindow(gMainWindow);
    gMainWindow = nullptr;
    gCursorShown = 1;
    gWindowClientX = gWindowClientY = 0;
    CoreCommandsTest::TearDown();
  }
  static win::POINT Cursor() {
    win::POINT at{};
    win::GetCursorPos(&at);
    return at;
  }
};

TEST_F(CoreWindowTest, PositionMousePlacesTheSystemCursorOnlyInAWindow) {
  ValueSlot x = Int(10), y = Int(20), far = Int(INT32_MAX);
  win::SetCursorPos(-1, -1);
  Call(246, {&x, &y});
  EXPECT_EQ(gMouseX, 10);
  EXPECT_EQ(gMouseY, 20);
  EXPECT_EQ(Cursor().x, -1);  // full screen: only the program's pointer moves
  gWindowMode = 1;
  // A window at the screen's corner, then moved: the cursor follows the client area.
  const std::pair<int32_t, int32_t> windows[] = {{4, 23}, {300, 200}};
  for (auto [clientX, clientY] : windows) {
    gWindowClientX = clientX, gWindowClientY = clientY;
    Call(246, {&x, &y});
    EXPECT_EQ(Cursor().x, clientX + 10);
    EXPECT_EQ(Cursor().y, clientY + 20);
  }
  Call(246, {&far, &far});  // no overflow
  EXPECT_EQ(Cursor().x, INT32_MAX);
}

TEST_F(CoreWindowTest, ShowMouseAfterHideMouseBringsTheFullScreenPointerBack) {
  DeletePointerSprites();
  CreatePointerSprites();
  ASSERT_EQ(gPointerSpritesOn, 1u);
  Call(224);
  EXPECT_EQ(gPointerSpritesOn, 0u);
  Call(253);
  EXPECT_EQ(gPointerSpritesOn, 1u);
  DeletePointerSprites();
  Call(253);  // makes it when there is none
  EXPECT_EQ(gPointerSpritesOn, 1u);
}

TEST_F(CoreWindowTest, HideMouseInAWindowHidesAndCapturesOnce) {
  gWindowMode = 1;
  const auto shownCount = [] {
    const int count = win::ShowCursor(1) - 1;
    win::ShowCursor(0);
    return count;
  };
  const int before = shownCount();
  Call(224);
  Call(224);  // a second hide changes nothing
  EXPECT_EQ(gCursorShown, 0u);
  EXPECT_EQ(win::GetCapture(), gMainWindow);
  EXPECT_EQ(shownCount(), before - 1);
  Call(253);
  Call(253);
  EXPECT_EQ(gCursorShown, 1u);
  EXPECT_EQ(win::GetCapture(), nullptr);
  EXPECT_EQ(shownCount(), before);
}

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
      win::PostMessageA(gMainWindow, message, message == win::WM_MOUSEMOVE ? 0 : c, 0);
}

TEST_F(CoreWindowTest, TheMainLoopKeepsEveryTypedCharacterForTheInput) {
  constexpr int kPostTyping = 9990;  // a number the system does not use
  RegisterCommand(kPostTyping, PostTyping);
  gLoopReadings = 0;
  win::SetClockSource(CreepingClock);
  ImageBuilder program;
  const int answer = program.IntVar();
  program.Cmd(kPostTyping).Cmd(351, {answer}).Cmd(213);
  ASSERT_TRUE(program.Load());
  ResetRuntimeState();
  RunMainLoop();
  RegisterCommand(kPostTyping, nullptr);
  EXPECT_EQ(gErrorCode, 0);
  EXPECT_EQ(gEndFlag, 1);  // ended by its end command, not by the clock
  EXPECT_EQ(test::IntAt(answer), 42);
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
  gFlipChain = 0;
  ResetDrawTarget();
  test::Fill(gBackBuffer, 0x000000);
  ImageBuilder b;
  const int seen = b.IntVar(), later = b.IntVar();
  const int two = b.IntConst(2), three = b.IntConst(3);
  b.Cmd(227, {b.IntConst(0x00FF00), b.IntConst(0)})
      .Cmd(208, {two, two, three, three})
      .Cmd(243, {IntTemp(0), two, two})
      .Cmd(151, {seen, IntTemp(0)})
      .Cmd(151, {IntTemp(0), b.IntConst(77)})
      .Cmd(259)
      .Cmd(151, {later, IntTemp(0)})
      .Cmd(213);
  ASSERT_TRUE(b.Load());
  ResetRuntimeState();
  BeginProgramRun();
  for (int frame = 0; frame < 10 && !win::QuitMessagePending(); ++frame) {
    DrawQueueExecute();
    ExecuteTimeSlice();
  }
  EXPECT_EQ(test::IntAt(seen), 0x00FF00);
  EXPECT_EQ(test::IntAt(later), 77);
  EXPECT_EQ(gDrawQueueCount, 0u);
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
)")) << Message() << " at line " << Line();
  test::PrepareRuntime();
  ASSERT_TRUE(LoadProgramImage(output));
  test::gTestClock = 5000;
  gTextCursorX = gTextCursorY = 0;
  ResetKeyboardBuffer();
  ResetRuntimeState();
  BeginProgramRun();
  std::string keys = "Bob\r1x2\r";
  for (int slices = 0; !win::QuitMessagePending() && slices < 500; ++slices) {
    const intptr_t command = gProgramCounter ? gProgramCounter->word : 0;
    if ((command == 351 || command == 355) && !keys.empty()) {
      const auto c = win::WPARAM(uint8_t(keys.front()));
      keys.erase(0, 1);
      for (win::UINT message : {win::WM_KEYDOWN, win::WM_CHAR, win::WM_KEYUP}) MainWindowProc(nullptr, message, c, 0);
    }
    ExecuteTimeSlice();
    EndSliceTypedCharacters();
    test::gTestClock += 10;
  }
  ASSERT_TRUE(win::QuitMessagePending());
  EXPECT_EQ(gErrorCode, 0);
  EXPECT_EQ(Text("n$"), "Bob");
  EXPECT_EQ(Int("a"), 12);
  EXPECT_GT(Int("t1") - Int("t0"), 100);
  EXPECT_EQ(Int("ok"), 16744448);
  std::vector<std::string> printed;
  for (const QueuedText& t : QueuedTexts())
    if (t.type == kPrintText) printed.push_back(t.text);
  ASSERT_GE(printed.size(), 4u);
  EXPECT_EQ(printed.front(), "Name?");
  EXPECT_EQ(printed[printed.size() - 2], "Hello ");
  EXPECT_EQ(printed.back(), "Bob");
  for (const char* shown : {"Bob  ", "Age ", "12  "})
    EXPECT_NE(std::find(printed.begin(), printed.end(), shown), printed.end()) << shown;
}

}  // namespace
}  // namespace vx
