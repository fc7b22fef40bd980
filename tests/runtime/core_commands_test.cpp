// The core system commands through the dispatcher's handler table and through programs run slice
// by slice, with the clock and the window messages injected: printing and the print cursor, when
// drawing ends the slice, line input and the typed-character queue, waits across slices and the
// clock's wrap, the frame rate, colour values, ending, the mouse and pointer, and a pixel read
// that is written once after the frame. End to end, a compiled program prints, waits and reads
// typed lines, both in the real main loop and slice by slice.
#include <gtest/gtest.h>

#include <string>
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
using test::Lit;

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

std::vector<int32_t> QueuedTypes() {
  std::vector<int32_t> types;
  if (gDrawQueue.Exists()) gDrawQueue.ForEachUsed([&](uint32_t slot) { types.push_back(gDrawQueue[slot].type); });
  return types;
}

// The state every test starts from and leaves behind: the test clock, an empty queue, the screen
// as the target, a full-screen program with automatic refresh.
class CoreCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::PrepareRuntime();
    test::gTestClock = 1000;
    gCurrentBitmap = 0;
    gTextCursorX = gTextCursorY = 0;
    gDisplayWidth = 640;
    gWindowMode = 0;
    gAutoRefreshFlag = 1;
    gTimeSliceMode = 1;
    gLastKeyChar = 0;
    gKeyState.fill(0);
    gInputPollDue = 0;
    gHasFocus = 1;
    gAppActive = 1;
    ResetKeyboardBuffer();
    ClearTypedCharacters();
  }
  void TearDown() override {
    DrawQueueFlush();
    gDrawQueue.Destroy();
    gDrawQueueCount = 0;
    gCurrentBitmap = 0;
    gWindowMode = 0;
    FreeProgramImage();
    win::ClearMessageQueue();
    win::SetClockSource(nullptr);
  }

  // Runs command `number` once on the operand slots, as the dispatcher would. Returns where the
  // counter stands afterwards in words from the command word: 0 when the command runs again.
  static long Call(int number, std::initializer_list<ValueSlot*> operands = {}) {
    std::vector<OperandWord> words(operands.size() + 1);
    words[0].word = number;
    size_t k = 1;
    for (ValueSlot* slot : operands) words[k++].slot = slot;
    gProgramCounter = words.data() + 1;
    gYieldFlag = 0;
    const CommandHandler handler = HandlerOf(number);
    EXPECT_NE(handler, nullptr) << number;
    if (handler) handler();
    return gProgramCounter - words.data();
  }
  static int32_t IntFunction(int number, std::vector<int32_t> args) {
    ValueSlot result = Int(-12345);
    std::vector<ValueSlot> slots;
    for (int32_t a : args) slots.push_back(Int(a));
    switch (slots.size()) {
      case 0: Call(number, {&result}); break;
      case 1: Call(number, {&result, &slots[0]}); break;
      case 2: Call(number, {&result, &slots[0], &slots[1]}); break;
      default: Call(number, {&result, &slots[0], &slots[1], &slots[2]}); break;
    }
    return result.i;
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
    ASSERT_TRUE(image.Load());
    ResetRuntimeState();
    BeginProgramRun();
    ExecuteTimeSlice();  // the first slice only clears the yield flag
  }
  static void Slice() {
    ExecuteTimeSlice();
    EndSliceTypedCharacters();
  }
  static bool Ended() { return win::QuitMessagePending(); }
  static void Send(win::UINT message, win::WPARAM wParam = 0, win::LPARAM lParam = 0) {
    MainWindowProc(nullptr, message, wParam, lParam);
  }
  // A key typed as a keyboard reports it: down, the character, up.
  static void Type(win::WPARAM c) {
    Send(win::WM_KEYDOWN, c >= 'a' && c <= 'z' ? c - 32 : c);
    Send(win::WM_CHAR, c);
    Send(win::WM_KEYUP, c >= 'a' && c <= 'z' ? c - 32 : c);
  }
  static void TypeText(const std::string& text) {
    for (char c : text) Type(win::WPARAM(uint8_t(c)));
  }
  // Types each key between two slices with other messages after it, then runs slices until the
  // program ends; returns the number of slices it took.
  static int TypeSlowly(const std::vector<win::WPARAM>& keys, int maxSlices = 100) {
    int slices = 0;
    for (win::WPARAM key : keys) {
      Type(key);
      Send(win::WM_MOUSEMOVE, 0, win::LPARAM((20u << 16) | 10u));
      Send(win::WM_ACTIVATE, win::WA_ACTIVE);
      Slice();
      ++slices;
    }
    while (!Ended() && slices < maxSlices) {
      Slice();
      ++slices;
    }
    return slices;
  }
};

// --- Printing and drawing ---------------------------------------------------------------------------

TEST_F(CoreCommandsTest, InlinePrintsShareALineAndLinePrintsStartNewOnes) {
  ValueSlot twelve = Int(12), thirtyFour = Int(34);
  ASSERT_EQ(Call(305, {&twelve}), 2);
  const int32_t afterFirst = gTextCursorX;
  EXPECT_GT(afterFirst, 0);
  Call(305, {&thirtyFour});
  EXPECT_GT(gTextCursorX, afterFirst);
  EXPECT_EQ(gTextCursorY, 0);

  Call(301, {&twelve});
  EXPECT_EQ(gTextCursorX, 0);
  const int32_t lineHeight = gTextCursorY;
  EXPECT_GT(lineHeight, 0);
  Call(301, {&thirtyFour});
  EXPECT_EQ(gTextCursorY, 2 * lineHeight);
  EXPECT_EQ(Call(304), 1);  // a blank line prints a space
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
  Call(302, {&half});
  Call(306, {&big});
  Call(305, {&negative});
  Call(307, {&text});
  Call(303, {&text});
  ClearString(&text);
  std::vector<std::string> printed;
  for (const QueuedText& t : QueuedTexts()) printed.push_back(t.text);
  EXPECT_EQ(printed, (std::vector<std::string>{"2.5", "1e+20", "-7", "abc", "abc"}));
}

TEST_F(CoreCommandsTest, InlinePrintWrapsPastTheDisplayWidth) {
  gDisplayWidth = 40;
  ValueSlot x = Int(30), y = Int(5), n = Int(123456);
  Call(252, {&x, &y});
  EXPECT_EQ(gTextCursorX, 30);
  Call(305, {&n});
  EXPECT_EQ(gTextCursorX, 0);
  EXPECT_GT(gTextCursorY, 5);
}

TEST_F(CoreCommandsTest, ClearingTheScreenResetsTheCursorAndClsColourSetsTheBackgroundFirst) {
  ValueSlot x = Int(30), y = Int(50), colour = Int(0x102030);
  Call(252, {&x, &y});
  EXPECT_EQ(Call(212), 1);
  EXPECT_EQ(gTextCursorX, 0);
  EXPECT_EQ(gTextCursorY, 0);
  Call(252, {&x, &y});
  EXPECT_EQ(Call(405, {&colour}), 2);
  EXPECT_EQ(gTextCursorY, 0);
  EXPECT_EQ(QueuedTypes(), (std::vector<int32_t>{kClear, kBackColour, kClear}));
}

// Which commands end the slice: on the screen by the refresh mode, in a bitmap only the box and the
// mouse commands, the ink never, the pixel read always.
TEST_F(CoreCommandsTest, DrawingEndsTheSliceByRefreshModeAndTarget) {
  struct Case {
    int number;
    int operands;
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
    for (int mode = 0; mode < 3; ++mode) {
      SCOPED_TRACE(::testing::Message() << "command " << c.number << " mode " << mode);
      gAutoRefreshFlag = mode == 1 ? 0 : 1;
      gCurrentBitmap = mode == 2 ? 3 : 0;
      const bool text = c.number == 303 || c.number == 307;  // a null text reads as ""
      std::vector<ValueSlot> slots(size_t(c.operands), text ? ValueSlot{} : Int(1));
      std::vector<OperandWord> words(size_t(c.operands) + 1);
      words[0].word = c.number;
      for (int k = 0; k < c.operands; ++k) words[size_t(k) + 1].slot = &slots[size_t(k)];
      gProgramCounter = words.data() + 1;
      gYieldFlag = 0;
      HandlerOf(c.number)();
      EXPECT_EQ(gProgramCounter, words.data() + 1 + c.operands);
      const bool expected = mode == 0 ? c.screenAuto : mode == 1 ? c.screenManual : c.bitmapAuto;
      EXPECT_EQ(gYieldFlag, expected ? 1 : 0);
    }
  }
}

// An error while queueing has already ended the slice; manual refresh must not take that back.
TEST_F(CoreCommandsTest, ManualRefreshKeepsTheSliceEndOfAnError) {
  gAutoRefreshFlag = 0;
  ValueSlot one = Int(1);
  std::vector<OperandWord> words(5);
  words[0].word = 208;
  for (int k = 1; k < 5; ++k) words[size_t(k)].slot = &one;
  gProgramCounter = words.data() + 1;
  gYieldFlag = 1;  // as an error raised inside the command leaves it
  HandlerOf(208)();
  EXPECT_EQ(gYieldFlag, 1);
}

// --- Line input and typed characters ------------------------------------------------------------

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

  const std::vector<QueuedText> texts = QueuedTexts();
  EXPECT_EQ(gTextCursorX, 0);
  EXPECT_GT(gTextCursorY, 0);  // the finished line moved the cursor to the next line
  std::vector<std::string> shown;
  for (const QueuedText& t : texts) shown.push_back((t.type == kEraseText ? "erase " : "") + t.text);
  EXPECT_EQ(shown, (std::vector<std::string>{"_", "1_", "12_", "erase 12_", "1_", "13_", "13  "}));
  for (const QueuedText& t : texts) EXPECT_EQ(t.x, 0) << t.text;  // each shown again from the start
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
  int slices = 0;
  while (!Ended() && slices < 20) {
    Slice();
    ++slices;
  }
  EXPECT_EQ(test::TextAt(s), "abcd");
  EXPECT_EQ(slices, 6);  // one key per execution, then the end
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
  Slice();
  Slice();
  ASSERT_TRUE(Ended());
  const std::string typed = test::TextAt(s);
  ASSERT_EQ(typed.size(), size_t(kInputLineLimit));
  EXPECT_EQ(typed.substr(0, 3), "abc");
  // Every shown line is whole: the longest with its "_", the last with the two covering spaces.
  const std::vector<QueuedText> texts = QueuedTexts();
  ASSERT_FALSE(texts.empty());
  for (size_t i = 0; i + 1 < texts.size(); ++i) {
    EXPECT_EQ(texts[i].text.back(), '_') << i;
  }
  EXPECT_EQ(texts.back().text, typed + "  ");
}

TEST_F(CoreCommandsTest, EnterOnAnEmptyLineGivesEmptyValuesAndANewLine) {
  ImageBuilder b;
  const int a = b.IntVar(), s = b.StringVar();
  b.Cmd(351, {a}).Cmd(355, {s}).Cmd(213);
  Start(b);
  ValueSlot* text = SlotOfOperand(s);
  StoreString(text, "before");
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
  Slice();
  Slice();
  EXPECT_FALSE(Ended());
  Send(win::WM_CHAR, 'k');  // typed, not yet released
  Slice();
  Slice();
  Slice();
  EXPECT_FALSE(Ended());
  EXPECT_EQ(gWaitKeyState, 1);
  Send(win::WM_KEYUP, 'K');
  Slice();  // the first wait is over
  EXPECT_EQ(gWaitKeyState, 0);
  Slice();
  EXPECT_FALSE(Ended());
  // Two keys typed at once answer two waits.
  FreeProgramImage();
  ImageBuilder twice;
  twice.Cmd(263).Cmd(263).Cmd(213);
  Start(twice);
  TypeText("xy");
  for (int i = 0; i < 6 && !Ended(); ++i) Slice();
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
  EXPECT_EQ(IntFunction(250, {}), 0);
  EXPECT_EQ(gInputPollDue, 1);
  gKeyState[57] = 0x80;
  gKeyState[30] = 0x80;
  EXPECT_EQ(IntFunction(250, {}), 30);
}

TEST_F(CoreCommandsTest, WaitMouseWaitsForAPressAndItsRelease) {
  ImageBuilder b;
  b.Cmd(265).Cmd(213);
  Start(b);
  gMouseButtons = 0;
  Slice();
  gMouseButtons = 1;
  Slice();
  Slice();
  EXPECT_FALSE(Ended());
  gMouseButtons = 0;
  Slice();
  Slice();
  EXPECT_TRUE(Ended());
}

// --- Clock ------------------------------------------------------------------------------------------

TEST_F(CoreCommandsTest, WaitEndsOnceTheTimeHasPassedAndEveryTurnEndsTheSlice) {
  ImageBuilder b;
  const int t = b.IntVar();
  b.Cmd(255, {b.IntConst(100)}).Cmd(260, {t}).Cmd(213);
  Start(b);
  Slice();
  EXPECT_NE(gWaitUntil, -1.0);
  test::gTestClock = 1100;
  Slice();
  EXPECT_FALSE(Ended());
  test::gTestClock = 1101;
  Slice();  // over: the timer runs in the same slice as the end of the wait
  EXPECT_EQ(gWaitUntil, -1.0);
  Slice();
  EXPECT_TRUE(Ended());
  EXPECT_EQ(test::IntAt(t), 1101);
}

TEST_F(CoreCommandsTest, WaitOfZeroEndsTheSliceAndGoesOnOnceTheClockMoved) {
  ImageBuilder b;
  const int after = b.IntVar();
  b.Cmd(410, {b.IntConst(0)}).Cmd(151, {after, b.IntConst(1)}).Cmd(213);
  Start(b);
  Slice();
  Slice();
  EXPECT_EQ(test::IntAt(after), 0);
  test::gTestClock += 1;
  Slice();
  Slice();
  EXPECT_EQ(test::IntAt(after), 1);
  EXPECT_TRUE(Ended());
}

TEST_F(CoreCommandsTest, WaitAcrossTheClocksWrapEnds) {
  test::gTestClock = 0xFFFFFFF0u;
  ImageBuilder b;
  b.Cmd(255, {b.IntConst(100)}).Cmd(213);
  Start(b);
  Slice();
  test::gTestClock = 0x50;  // 96 ms later
  Slice();
  EXPECT_FALSE(Ended());
  test::gTestClock = 0x55;
  Slice();
  Slice();
  EXPECT_TRUE(Ended());
}

TEST_F(CoreCommandsTest, NegativeWaitGoesOnAtTheNextTick) {
  ImageBuilder b;
  b.Cmd(255, {b.IntConst(-5000)}).Cmd(213);
  Start(b);
  Slice();
  test::gTestClock += 1;
  Slice();
  Slice();
  EXPECT_TRUE(Ended());
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

TEST_F(CoreCommandsTest, RefreshModesAndTheSliceEnd) {
  EXPECT_EQ(Call(403), 1);
  EXPECT_EQ(gTimeSliceMode, 0);
  EXPECT_EQ(gAutoRefreshFlag, 0);
  EXPECT_EQ(gYieldFlag, 1);
  Call(404);
  EXPECT_EQ(gTimeSliceMode, 1);
  EXPECT_EQ(gAutoRefreshFlag, 1);
  Call(259);
  EXPECT_EQ(gYieldFlag, 1);
  test::gTestClock = 0xFFFFFFFEu;
  EXPECT_EQ(IntFunction(260, {}), -2);
}

// --- Colours, ending, folders -------------------------------------------------------------------

TEST_F(CoreCommandsTest, ColourValues) {
  EXPECT_EQ(IntFunction(391, {255, 128, 0}), 16744448);
  EXPECT_EQ(IntFunction(392, {16744448}), 255);
  EXPECT_EQ(IntFunction(393, {16744448}), 128);
  EXPECT_EQ(IntFunction(394, {16744448}), 0);
  EXPECT_EQ(IntFunction(391, {256, 0, 1}), 0x1000001);  // parts are not masked
  EXPECT_EQ(IntFunction(391, {-1, 0, 0}), int32_t(0xFFFF0000u));
  EXPECT_EQ(IntFunction(391, {0x7FFF, 0x7FFFFFFF, 0x7FFFFFFF}), int32_t(0x7FFF0000u + 0xFFFFFF00u + 0x7FFFFFFFu));
  EXPECT_EQ(IntFunction(392, {-1}), 255);
  EXPECT_EQ(IntFunction(393, {0x12345678}), 0x56);
}

TEST_F(CoreCommandsTest, EndAndQuitPostTheQuitMessage) {
  struct Case {
    int number;
    bool withText, endFlag;
  };
  for (const Case& c : {Case{213, false, true}, Case{217, false, false}, Case{266, true, false}}) {
    SCOPED_TRACE(c.number);
    win::ClearMessageQueue();
    gEndFlag = 0;
    ValueSlot text{};
    EXPECT_EQ(c.withText ? Call(c.number, {&text}) : Call(c.number), c.withText ? 2 : 1);
    EXPECT_TRUE(win::QuitMessagePending());
    EXPECT_EQ(gYieldFlag, 1);
    EXPECT_EQ(gEndFlag, c.endFlag ? 1 : 0);
  }
}

TEST_F(CoreCommandsTest, ExecutablePathAndWindowsFolder) {
  std::string path = win::ExecutablePath();
  if (path.size() > 255) path.resize(255);
  EXPECT_EQ(TextFunction(426), path);
  EXPECT_EQ(TextFunction(427), "/etc");
}

// --- Mouse ------------------------------------------------------------------------------------------

TEST_F(CoreCommandsTest, MouseValuesComeFromTheInputStateAndButtonsAreSixteenBits) {
  gMouseX = 12, gMouseY = -3, gMouseZ = 50, gMouseMoveX = 4, gMouseMoveY = -5, gMouseMoveZ = 6;
  gMouseButtons = 0x18001;
  EXPECT_EQ(IntFunction(239, {}), 12);
  EXPECT_EQ(IntFunction(240, {}), -3);
  EXPECT_EQ(IntFunction(431, {}), 50);
  EXPECT_EQ(IntFunction(241, {}), 4);
  EXPECT_EQ(IntFunction(244, {}), -5);
  EXPECT_EQ(IntFunction(432, {}), 6);
  EXPECT_EQ(IntFunction(238, {}), -32767);
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
};

TEST_F(CoreWindowTest, PositionMousePlacesTheSystemCursorOnlyInAWindow) {
  ValueSlot x = Int(10), y = Int(20);
  win::SetCursorPos(-1, -1);
  Call(246, {&x, &y});
  EXPECT_EQ(gMouseX, 10);
  EXPECT_EQ(gMouseY, 20);
  win::POINT at{};
  win::GetCursorPos(&at);
  EXPECT_EQ(at.x, -1);  // full screen: only the program's pointer moves

  gWindowMode = 1;
  gWindowClientX = 4, gWindowClientY = 23;  // a window at the screen's corner
  Call(246, {&x, &y});
  win::GetCursorPos(&at);
  EXPECT_EQ(at.x, 14);
  EXPECT_EQ(at.y, 43);
  gWindowClientX = 300, gWindowClientY = 200;  // moved: the cursor follows the client area
  Call(246, {&x, &y});
  win::GetCursorPos(&at);
  EXPECT_EQ(at.x, 310);
  EXPECT_EQ(at.y, 220);
  ValueSlot far = Int(INT32_MAX);
  Call(246, {&far, &far});  // no overflow
  win::GetCursorPos(&at);
  EXPECT_EQ(at.x, INT32_MAX);
}

TEST_F(CoreWindowTest, ShowMouseAfterHideMouseBringsTheFullScreenPointerBack) {
  DeletePointerSprites();
  CreatePointerSprites();
  ASSERT_EQ(gPointerOn, 1);
  Call(224);
  EXPECT_EQ(gPointerOn, 0);
  Call(253);
  EXPECT_EQ(gPointerOn, 1);
  DeletePointerSprites();
  Call(253);  // makes it when there is none
  EXPECT_EQ(gPointerOn, 1);
}

TEST_F(CoreWindowTest, HideMouseInAWindowHidesAndCapturesOnce) {
  gWindowMode = 1;
  const int shownCount = win::ShowCursor(1) - 1;
  win::ShowCursor(0);
  Call(224);
  Call(224);  // a second hide changes nothing
  EXPECT_EQ(gCursorShown, 0u);
  EXPECT_EQ(win::GetCapture(), gMainWindow);
  EXPECT_EQ(win::ShowCursor(1) - 1, shownCount - 1);
  win::ShowCursor(0);
  Call(253);
  Call(253);
  EXPECT_EQ(gCursorShown, 1u);
  EXPECT_EQ(win::GetCapture(), nullptr);
  EXPECT_EQ(win::ShowCursor(1) - 1, shownCount);
  win::ShowCursor(0);
}

// --- Typed characters in the real main loop -------------------------------------------------------

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
  const auto post = [](win::UINT message, win::WPARAM wParam) { win::PostMessageA(gMainWindow, message, wParam, 0); };
  for (win::WPARAM c : {win::WPARAM('4'), win::WPARAM('2'), kEnter}) {
    post(win::WM_KEYDOWN, c);
    post(win::WM_CHAR, c);
    post(win::WM_KEYUP, c);
    post(win::WM_MOUSEMOVE, 0);
  }
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

// --- Reading a pixel ------------------------------------------------------------------------------

class CorePixelTest : public test::SurfaceWorld {
 protected:
  void TearDown() override {
    DrawQueueFlush();
    gDrawQueue.Destroy();
    gDrawQueueCount = 0;
    FreeProgramImage();
    win::ClearMessageQueue();
    win::SetClockSource(nullptr);
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

// --- End to end -----------------------------------------------------------------------------------

class CoreProgramTest : public test::CompileTest {
 protected:
  void TearDown() override {
    DrawQueueFlush();
    gDrawQueue.Destroy();
    gDrawQueueCount = 0;
    win::ClearMessageQueue();
    win::SetClockSource(nullptr);
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
  int slices = 0;
  while (!win::QuitMessagePending() && slices < 500) {
    const intptr_t command = gProgramCounter ? gProgramCounter->word : 0;
    if ((command == 351 || command == 355) && !keys.empty()) {
      const auto c = win::WPARAM(uint8_t(keys.front()));
      keys.erase(0, 1);
      MainWindowProc(nullptr, win::WM_KEYDOWN, c, 0);
      MainWindowProc(nullptr, win::WM_CHAR, c, 0);
      MainWindowProc(nullptr, win::WM_KEYUP, c, 0);
    }
    ExecuteTimeSlice();
    EndSliceTypedCharacters();
    test::gTestClock += 10;
    ++slices;
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
  EXPECT_NE(std::find(printed.begin(), printed.end(), "Bob  "), printed.end());
  EXPECT_NE(std::find(printed.begin(), printed.end(), "Age "), printed.end());
  EXPECT_NE(std::find(printed.begin(), printed.end(), "12  "), printed.end());
}

}  // namespace
}  // namespace vx
