// Input commands through program images: the control-device list and choice, each force
// command's checks in order and the effect it plays, the key and joystick functions, the poll
// done once per dispatcher check, and a program reading injected keys.
#include "common/checklist.h"
#include "runtime/dispatcher.h"
#include "runtime/program_image.h"
#include "tests/display/input_test_support.h"
#include "tests/support/image_builder.h"

namespace vx {
namespace {

using test::gForceLog;
using test::ImageBuilder;
using test::IntAt;
using test::IntTemp;
using test::StringTemp;
using win::RecordedForceCall;

class InputCommandTest : public test::InputDevicesTest {
 protected:
  void TearDown() override {
    FreeProgramImage();
    test::InputDevicesTest::TearDown();
  }
  // Runs one command with integer constants; returns the error code of the run.
  static int32_t RunCommand(int number, std::initializer_list<int32_t> args) {
    ImageBuilder b;
    std::vector<int> operands;
    for (int32_t a : args) operands.push_back(b.IntConst(a));
    switch (operands.size()) {
      case 0: b.Cmd(number); break;
      case 1: b.Cmd(number, {operands[0]}); break;
      case 2: b.Cmd(number, {operands[0], operands[1]}); break;
      default: b.Cmd(number, {operands[0], operands[1], operands[2]}); break;
    }
    return test::RunImage(b, 3).errorCode;
  }
  static int32_t RunFunction(int number, std::initializer_list<int32_t> args = {}) {
    ImageBuilder b;
    if (args.size() == 0)
      b.Cmd(number, {IntTemp(0)});
    else
      b.Cmd(number, {IntTemp(0), b.IntConst(*args.begin())});
    EXPECT_EQ(test::RunImage(b, 3).errorCode, 0);
    return IntAt(IntTemp(0));
  }
  void OpenForcePad() {
    Attach("Force Pad");
    Init();
    gControlDeviceName = "Force Pad";
    ASSERT_EQ(OpenControlDevice(), 1);
    gForceLog.calls.clear();
  }
};

TEST_F(InputCommandTest, ListControlDevicesMarksForceFeedback) {
  Attach("Plain Stick");
  Attach("Force Pad");
  Init();
  EXPECT_EQ(RunCommand(4001, {}), 0);
  ASSERT_EQ(gChecklistCount, 2);
  EXPECT_EQ(gChecklistFilled, 1);
  EXPECT_STREQ(gChecklist[0].text, "Plain Stick");
  EXPECT_EQ(gChecklist[0].values[0], 0);
  EXPECT_STREQ(gChecklist[1].text, "Force Pad");
  EXPECT_EQ(gChecklist[1].values[0], 1);
}

TEST_F(InputCommandTest, SetControlDeviceAndItsName) {
  Attach("Plain Stick");
  Init();
  // No device yet: error 4002, and the result slot holds a text, never a freed one.
  ImageBuilder b;
  b.Cmd(4551, {StringTemp(0)});
  EXPECT_EQ(test::RunImage(b, 3).errorCode, 4002);
  EXPECT_EQ(test::TextAt(StringTemp(0)), "");
  FreeProgramImage();

  ImageBuilder set;
  set.Cmd(4002, {set.StringConst("Missing")});
  EXPECT_EQ(test::RunImage(set, 3).errorCode, 4001);
  FreeProgramImage();

  ImageBuilder good;
  good.Cmd(4002, {good.StringConst("Plain Stick")});
  good.Cmd(4551, {StringTemp(0)});
  good.Cmd(4551, {StringTemp(0)});  // the second result replaces the first
  EXPECT_EQ(test::RunImage(good, 3).errorCode, 0);
  EXPECT_EQ(test::TextAt(StringTemp(0)), "Plain Stick");
  EXPECT_EQ(gForceFeedbackReady, 0);
  // A device without force feedback refuses the force commands even though it is open.
  FreeProgramImage();
  EXPECT_EQ(RunCommand(4101, {50}), 4101);
}

TEST_F(InputCommandTest, ForceCommandsCheckInOrder) {
  OpenForcePad();
  struct Case {
    int command;
    std::vector<int32_t> args;
    int32_t error;
  };
  const Case cases[] = {
      {4101, {101}, 4102},        {4104, {-1}, 4102},          {4105, {200, 400, -1}, 4102},
      {4105, {50, 361, -1}, 4104}, {4105, {50, -1, 10}, 4104},   {4105, {50, 360, -1}, 4103},
      {4106, {101, -1}, 4102},    {4106, {100, -1}, 4103},     {4107, {0, -5}, 4103},
      {4108, {-3, 10}, 4102},     {4110, {50, -1}, 4103},      {4110, {150, 10}, 4102},
  };
  for (const Case& c : cases) {
    ImageBuilder b;
    std::vector<int> ops;
    for (int32_t a : c.args) ops.push_back(b.IntConst(a));
    if (ops.size() == 1) b.Cmd(c.command, {ops[0]});
    if (ops.size() == 2) b.Cmd(c.command, {ops[0], ops[1]});
    if (ops.size() == 3) b.Cmd(c.command, {ops[0], ops[1], ops[2]});
    gForceLog.calls.clear();
    EXPECT_EQ(test::RunImage(b, 3).errorCode, c.error) << c.command;
    EXPECT_TRUE(gForceLog.calls.empty()) << c.command << ": nothing plays after a failed check";
    FreeProgramImage();
  }
}

TEST_F(InputCommandTest, ForceCommandsPlayTheirEffects) {
  OpenForcePad();
  struct Case {
    int command;
    std::vector<int32_t> args;
    win::EffectType type;
    win::DWORD duration;
    win::LONG direction;
    int32_t magnitude;  // as the effect holds it
  };
  const Case cases[] = {
      {4101, {40}, win::EffectType::ConstantForce, 100000, 18000, 4000},
      {4102, {40}, win::EffectType::ConstantForce, 100000, 0, 4000},
      {4103, {40}, win::EffectType::ConstantForce, 100000, 9000, 4000},
      {4104, {40}, win::EffectType::ConstantForce, 100000, 27000, 4000},
      {4105, {70, 45, 200}, win::EffectType::ConstantForce, 250000, 4500, 7000},
      {4107, {10, 0}, win::EffectType::ConstantForce, win::INFINITE, 0, 1000},
      {4106, {30, 1000}, win::EffectType::Periodic, 1050000, 0, 3000},
      {4108, {30, 1000}, win::EffectType::Periodic, 1050000, 0, 3000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    gForceLog.calls.clear();
    int32_t error = 0;
    if (c.args.size() == 1) error = RunCommand(c.command, {c.args[0]});
    if (c.args.size() == 2) error = RunCommand(c.command, {c.args[0], c.args[1]});
    if (c.args.size() == 3) error = RunCommand(c.command, {c.args[0], c.args[1], c.args[2]});
    EXPECT_EQ(error, 0);
    FreeProgramImage();
    ASSERT_EQ(gForceLog.calls.size(), 2u);
    const RecordedForceCall& update = gForceLog.calls[0];
    EXPECT_EQ(update.kind, RecordedForceCall::Update);
    EXPECT_EQ(update.type, c.type);
    EXPECT_EQ(update.effect.dwDuration, c.duration);
    if (c.type == win::EffectType::ConstantForce) {
      EXPECT_EQ(update.effect.rglDirection[0], c.direction);
      EXPECT_EQ(update.effect.constant.lMagnitude, c.magnitude);
    } else {
      EXPECT_EQ(update.effect.periodic.dwMagnitude, win::DWORD(c.magnitude));
      EXPECT_EQ(update.effect.periodic.dwPeriod, c.command == 4106 ? 50000u : 100000u);
    }
    EXPECT_EQ(gForceLog.calls[1].kind, RecordedForceCall::Start);
  }
  // The dampers: both effects, half the magnitude as coefficient, opposite directions.
  gForceLog.calls.clear();
  EXPECT_EQ(RunCommand(4110, {60, 0}), 0);
  FreeProgramImage();
  ASSERT_EQ(gForceLog.calls.size(), 4u);
  EXPECT_EQ(gForceLog.calls[0].effect.condition.lPositiveCoefficient, 3000);
  EXPECT_EQ(gForceLog.calls[0].effect.rglDirection[0], 1);
  EXPECT_EQ(gForceLog.calls[2].effect.rglDirection[1], -1);
  EXPECT_EQ(gForceLog.calls[2].effect.dwDuration, win::INFINITE);

  gForceLog.calls.clear();
  EXPECT_EQ(RunCommand(4109, {}), 0);
  FreeProgramImage();
  EXPECT_EQ(gForceLog.calls.size(), 10u);
  for (const RecordedForceCall& call : gForceLog.calls) EXPECT_EQ(call.kind, RecordedForceCall::Stop);

  gForceLog.calls.clear();
  EXPECT_EQ(RunCommand(4112, {}), 0);
  FreeProgramImage();
  EXPECT_EQ(RunCommand(4113, {}), 0);
  ASSERT_EQ(gForceLog.calls.size(), 2u);
  EXPECT_TRUE(gForceLog.calls[0].on);
  EXPECT_FALSE(gForceLog.calls[1].on);
}

TEST_F(InputCommandTest, WithoutForceFeedbackEveryForceCommandRaises4101) {
  Init();
  for (int command : {4101, 4102, 4103, 4104, 4105, 4106, 4107, 4108, 4109, 4110, 4112, 4113}) {
    const int32_t error = command == 4105 ? RunCommand(command, {500, 500, -1})
                          : command == 4109 || command >= 4112 ? RunCommand(command, {})
                          : command >= 4105                   ? RunCommand(command, {500, -1})
                                                              : RunCommand(command, {500});
    EXPECT_EQ(error, 4101) << command;
    FreeProgramImage();
  }
}

TEST_F(InputCommandTest, KeyFunctionsReadTheirScanCodes) {
  struct Case {
    int command;
    int code;
  };
  const Case cases[] = {{4501, 0xC8}, {4502, 0xD0}, {4503, 0xCB}, {4504, 0xCD}, {4505, 0x1D}, {4505, 0x9D},
                        {4506, 0x2A}, {4506, 0x36}, {4507, 0x1C}, {4508, 0x39}, {4510, 0x01}};
  for (const Case& c : cases) {
    gKeyState.fill(0);
    EXPECT_EQ(RunFunction(c.command), 0) << c.command;
    FreeProgramImage();
    gKeyState[size_t(c.code)] = 0x80;
    EXPECT_EQ(RunFunction(c.command), 1) << c.command;
    FreeProgramImage();
    gKeyState.fill(0x7F);  // only bit 7 counts
    EXPECT_EQ(RunFunction(c.command), 0) << c.command;
    FreeProgramImage();
  }
  gKeyState.fill(0x80);
  for (int32_t code : {-1, 256, INT32_MIN}) {
    EXPECT_EQ(RunFunction(4509, {code}), 0) << code;
    FreeProgramImage();
  }
  EXPECT_EQ(RunFunction(4509, {255}), 1);
}

TEST_F(InputCommandTest, JoystickFunctions) {
  // Without a joystick everything reads 0, the hat angle too (its word is 0, not centred).
  for (int command : {4521, 4522, 4523, 4524, 4525, 4529, 4532, 4534, 4537, 4552}) {
    EXPECT_EQ(RunFunction(command), 0) << command;
    FreeProgramImage();
  }
  EXPECT_EQ(RunFunction(4540, {0}), 0);
  FreeProgramImage();

  gJoystickState = {};
  gJoystickState.lX = -5;
  gJoystickState.lY = 7;
  gJoystickState.lRy = 321;
  gJoystickState.rglSlider[1] = 65535;
  gJoystickState.rgdwPOV[0] = 9000;
  gJoystickState.rgdwPOV[1] = win::kPovCentred;
  gJoystickState.rgbButtons[3] = 0x80;
  gJoystickState.rgbButtons[31] = 0x80;
  gControlDeviceState.lZ = -1000;
  const std::pair<int, int32_t> reads[] = {{4521, 1}, {4522, 0}, {4523, 0}, {4524, 1}, {4528, 1}, {4527, 0},
                                           {4529, -5}, {4530, 7}, {4538, 321}, {4533, 65535}, {4534, 9000},
                                           {4535, -1}, {4554, -1000}};
  for (const auto& [command, value] : reads) {
    EXPECT_EQ(RunFunction(command), value) << command;
    FreeProgramImage();
  }
  const std::pair<int32_t, int32_t> buttons[] = {{3, 1}, {31, 1}, {2, 0}, {32, 0}, {-1, 0}};
  for (const auto& [n, value] : buttons) {
    EXPECT_EQ(RunFunction(4536, {n}), value) << n;
    FreeProgramImage();
  }
  const std::pair<int32_t, int32_t> hats[] = {{0, 9000}, {1, -1}, {2, 0}, {4, -1}, {-1, -1}};
  for (const auto& [n, value] : hats) {
    EXPECT_EQ(RunFunction(4540, {n}), value) << n;
    FreeProgramImage();
  }
}

TEST_F(InputCommandTest, StateFunctionsPollOnlyWhenTheDispatcherAsks) {
  Init();
  Key(SDL_SCANCODE_UP, true);
  gKeyState.fill(0);
  // Not due: the table is read as it stands.
  ImageBuilder b;
  b.Cmd(4501, {IntTemp(0)});
  ASSERT_TRUE(b.Load());
  gInputPollDue = 0;
  gProgramCounter = gCodeBase;
  ++gProgramCounter;
  HandlerOf(4501)();
  EXPECT_EQ(IntAt(IntTemp(0)), 0);
  // Due: one poll, and the flag is cleared so the next function reads the same table.
  gInputPollDue = 1;
  gProgramCounter = gCodeBase + 1;
  HandlerOf(4501)();
  EXPECT_EQ(IntAt(IntTemp(0)), 1);
  EXPECT_EQ(gInputPollDue, 0);
  Key(SDL_SCANCODE_UP, false);
  gProgramCounter = gCodeBase + 1;
  HandlerOf(4501)();
  EXPECT_EQ(IntAt(IntTemp(0)), 1);
  // The control-device name does not poll and leaves the flag alone.
  gInputPollDue = 1;
  gActiveControlName = "x";
  ImageBuilder name;
  name.Cmd(4551, {StringTemp(0)});
  FreeProgramImage();
  ASSERT_TRUE(name.Load());
  gProgramCounter = gCodeBase + 1;
  HandlerOf(4551)();
  EXPECT_EQ(gInputPollDue, 1);
  EXPECT_EQ(gKeyState[win::DIK_UP], 0x80);
}

TEST_F(InputCommandTest, ProgramReadsInjectedKeys) {
  Init();
  Key(SDL_SCANCODE_LEFT, true);
  Key(SDL_SCANCODE_RSHIFT, true);
  Key(SDL_SCANCODE_A, true);
  RefreshInputState();  // the main loop's poll before the slice
  ImageBuilder b;
  b.Cmd(4503, {IntTemp(0)});
  b.Cmd(4504, {IntTemp(1)});
  b.Cmd(4506, {IntTemp(2)});
  b.Cmd(4509, {IntTemp(3), b.IntConst(0x1E)});
  b.Cmd(4509, {IntTemp(4), b.IntConst(0x30)});
  EXPECT_EQ(test::RunImage(b, 3).errorCode, 0);
  EXPECT_EQ(IntAt(IntTemp(0)), 1);
  EXPECT_EQ(IntAt(IntTemp(1)), 0);
  EXPECT_EQ(IntAt(IntTemp(2)), 1);
  EXPECT_EQ(IntAt(IntTemp(3)), 1);
  EXPECT_EQ(IntAt(IntTemp(4)), 0);
  Key(SDL_SCANCODE_LEFT, false);
  Key(SDL_SCANCODE_RSHIFT, false);
  Key(SDL_SCANCODE_A, false);
}

}  // namespace
}  // namespace vx
