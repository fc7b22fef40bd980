// The text and font commands as a program uses them: the queries answer from the state in force,
// the settings end the slice as they should, the font list comes from the configured font folders
// (each family once, at most 255), and a compiled program sets a font, draws text and asks for its
// size with frames prepared between its slices as the main loop does.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "common/checklist.h"
#include "display/draw_queue.h"
#include "display/text_fonts.h"
#include "platform/win/messages.h"
#include "runtime/dispatcher.h"
#include "runtime/interpreter.h"
#include "runtime/run_setup.h"
#include "tests/compiler/compile_support.h"
#include "tests/engine3d/surface_fixture.h"
#include "tests/support/image_builder.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using test::ColourAt;
using test::IntTemp;
using test::StringTemp;

constexpr uint32_t kGreen = 0x00FF00, kBlack = 0x000000;

// Runs the loaded program as the main loop does: a frame's draw queue before each slice, and one
// more frame at the end so that what the last slice queued is drawn. Returns the slices run.
int RunWithFrames(bool autoRefresh, int maxSlices = 200) {
  win::ClearMessageQueue();
  ResetRuntimeState();
  ResetTextStateForRun();
  BeginProgramRun();
  gAutoRefreshFlag = autoRefresh ? 1 : 0;
  int slices = 0;
  while (slices < maxSlices) {
    DrawQueueExecute();
    ExecuteTimeSlice();
    ++slices;
    if (win::QuitMessagePending()) break;
  }
  DrawQueueExecute();
  return slices;
}

class TextCommandTest : public test::SurfaceWorld {
 protected:
  void SetUp() override {
    win::GetStockObject(win::SYSTEM_FONT);
    objectsBefore_ = win::LiveGdiObjectCount();
    MakeWorld(32, 320, 100);
    gFlipChain = 0;
    ResetDrawTarget();
    test::PrepareRuntime();
  }
  void TearDown() override {
    DrawQueueFlush();
    gDrawQueue.Destroy();
    DeleteTextFonts();
    FreeProgramImage();
    EXPECT_EQ(win::LiveGdiObjectCount(), objectsBefore_);
    gCurrentBitmap = 0;
    SurfaceWorld::TearDown();
  }
  size_t objectsBefore_ = 0;
};

TEST_F(TextCommandTest, QueriesAnswerFromTheStateInForce) {
  test::ImageBuilder b;
  const int name = b.StringVar(), size = b.IntVar(), mode = b.IntVar(), style = b.IntVar(), width = b.IntVar(),
            height = b.IntVar(), oldName = b.StringVar(), oldWidth = b.IntVar(), oldMode = b.IntVar();
  b.Cmd(6501, {oldName});
  b.Cmd(6505, {oldWidth, b.StringConst("Width")});
  b.Cmd(6002, {b.StringConst("Courier New")});
  b.Cmd(6003, {b.IntConst(24)});
  b.Cmd(6004);  // does not end the slice: the frame after the next setting performs it
  b.Cmd(6503, {oldMode});
  b.Cmd(6009);
  b.Cmd(6501, {name});
  b.Cmd(6501, {name});  // the second result replaces the first
  b.Cmd(6502, {size});
  b.Cmd(6503, {mode});
  b.Cmd(6504, {style});
  b.Cmd(6505, {width, b.StringConst("Width")});
  b.Cmd(6506, {height, b.StringConst("Width")});
  ASSERT_TRUE(b.Load());
  RunWithFrames(true);
  EXPECT_EQ(gErrorCode, 0);
  EXPECT_EQ(test::TextAt(oldName), "system");
  EXPECT_EQ(test::TextAt(name), "Courier New");
  EXPECT_EQ(test::IntAt(size), 24);
  EXPECT_EQ(test::IntAt(oldMode), 0);
  EXPECT_EQ(test::IntAt(mode), 1);
  EXPECT_EQ(test::IntAt(style), 3);
  EXPECT_EQ(test::IntAt(height), 24);
  EXPECT_EQ(test::IntAt(width), MeasureText("Width").cx);
  EXPECT_NE(test::IntAt(width), test::IntAt(oldWidth));
  EXPECT_EQ(win::FontFamilyName(gTextFont), "Liberation Mono");
}

TEST_F(TextCommandTest, MeasuringBeforeTheFrameUsesThePreviousFont) {
  // Without automatic refresh nothing ends the slice, so no frame comes between the commands.
  for (const bool autoRefresh : {false, true}) {
    SCOPED_TRACE(autoRefresh ? "refresh" : "no refresh");
    test::ImageBuilder b;
    const int before = b.IntVar(), after = b.IntVar(), size = b.IntVar();
    const int text = b.StringConst("Measured");
    b.Cmd(6506, {before, text});
    b.Cmd(6002, {b.StringConst("Arial")});
    b.Cmd(6003, {b.IntConst(40)});
    b.Cmd(6506, {after, text});
    b.Cmd(6502, {size});
    ASSERT_TRUE(b.Load());
    RunWithFrames(autoRefresh);
    EXPECT_EQ(test::IntAt(before), 16);  // "system"
    EXPECT_EQ(test::IntAt(after), autoRefresh ? 40 : 16);
    EXPECT_EQ(test::IntAt(size), autoRefresh ? 40 : 10);
    EXPECT_EQ(gTextSize, 40) << "the frame after the slice performed the settings";
    FreeProgramImage();
  }
}

TEST_F(TextCommandTest, SettingsAndScreenTextEndTheSliceOpaqueAndTransparentDoNot) {
  const struct {
    int command;
    int operands;  // 0 none, 1 a size, 2 a face, 3 face and character set, 4 x, y, text
    bool yields;
  } cases[] = {
      {6002, 2, true},  {6012, 3, true},  {6003, 1, true},  {6004, 0, false}, {6005, 0, false},
      {6006, 0, true},  {6007, 0, true},  {6008, 0, true},  {6009, 0, true},  {6010, 4, true},
      {6011, 4, true},  {6001, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    test::ImageBuilder b;
    switch (c.operands) {
      case 0: b.Cmd(c.command); break;
      case 1: b.Cmd(c.command, {b.IntConst(12)}); break;
      case 2: b.Cmd(c.command, {b.StringConst("Arial")}); break;
      case 3: b.Cmd(c.command, {b.StringConst("Arial"), b.IntConst(0)}); break;
      default: b.Cmd(c.command, {b.IntConst(1), b.IntConst(2), b.StringConst("x")}); break;
    }
    ASSERT_TRUE(b.Load());
    const int withRefresh = RunWithFrames(true);
    FreeProgramImage();
    ASSERT_TRUE(b.Load());
    const int withoutRefresh = RunWithFrames(false);
    FreeProgramImage();
    EXPECT_EQ(withRefresh, withoutRefresh + (c.yields ? 1 : 0));
  }
}

TEST_F(TextCommandTest, TextOnABitmapDoesNotEndTheSlice) {
  ASSERT_EQ(CreateBitmapSurface(3, 40, 20), 1);
  test::ImageBuilder b;
  b.Cmd(6010, {b.IntConst(0), b.IntConst(0), b.StringConst("On the bitmap")});
  b.Cmd(6011, {b.IntConst(20), b.IntConst(0), b.StringConst("Too")});
  int slices[2] = {0, 0};
  for (const int32_t bitmap : {0, 3}) {
    ASSERT_TRUE(b.Load());
    win::ClearMessageQueue();
    ResetRuntimeState();
    ResetTextStateForRun();
    BeginProgramRun();
    QueueSetCurrentBitmap(bitmap);
    int& count = slices[bitmap ? 1 : 0];
    while (count < 10 && !win::QuitMessagePending()) {
      DrawQueueExecute();
      ExecuteTimeSlice();
      ++count;
    }
    DrawQueueExecute();
    FreeProgramImage();
    if (bitmap == 0) test::Fill(gBackBuffer, kBlack);
  }
  EXPECT_EQ(slices[0], slices[1] + 2) << "each text on the screen ends its slice";
  int32_t inked = 0;
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 40; ++x) inked += ColourAt(gBitmaps[3], x, y) == 0xFFFFFF;
  EXPECT_GT(inked, 10);
  int32_t onScreen = 0;
  for (int32_t y = 0; y < 100; ++y)
    for (int32_t x = 0; x < 320; ++x) onScreen += ColourAt(gBackBuffer, x, y) != kBlack;
  EXPECT_EQ(onScreen, 0) << "nothing reached the screen";
}

// Makes fontconfig read only the given font files (linked into a private folder) under the given
// family names, for the life of the object.
class FontFolder {
 public:
  explicit FontFolder(const std::vector<std::pair<std::string, std::string>>& files) {
    if (const char* previous = std::getenv("FONTCONFIG_FILE")) previous_ = previous;
    std::string rules;
    for (size_t i = 0; i < files.size(); ++i) {
      const std::string link = folder_.path() + "font" + std::to_string(i) + ".ttf";
      fs::create_symlink(files[i].first, link);
      if (files[i].second.empty()) continue;
      rules += "<match target=\"scan\"><test name=\"file\"><string>" + link +
               "</string></test><edit name=\"family\" mode=\"assign\"><string>" + files[i].second +
               "</string></edit></match>\n";
    }
    folder_.Write("fonts.conf", "<?xml version=\"1.0\"?>\n<fontconfig><dir>" + folder_.path() + "</dir><cachedir>" +
                                    folder_.path() + "cache</cachedir>\n" + rules + "</fontconfig>\n");
    ::setenv("FONTCONFIG_FILE", (folder_.path() + "fonts.conf").c_str(), 1);
    win::ReloadFontConfiguration();
  }
  ~FontFolder() {
    if (previous_)
      ::setenv("FONTCONFIG_FILE", previous_->c_str(), 1);
    else
      ::unsetenv("FONTCONFIG_FILE");
    win::ReloadFontConfiguration();
  }

 private:
  test::TempFolder folder_;
  std::optional<std::string> previous_;
};

const std::string kDejaVu = "/usr/share/fonts/truetype/dejavu/";
const std::string kLiberation = "/usr/share/fonts/truetype/liberation/";

std::vector<std::string> Listed() {
  std::vector<std::string> names;
  for (int32_t i = 0; i < gChecklistCount; ++i) names.emplace_back(gChecklist[size_t(i)].text);
  return names;
}

TEST_F(TextCommandTest, TheFontListNamesEachFamilyOfTheFolderOnce) {
  if (!fs::exists(kDejaVu + "DejaVuSans.ttf") || !fs::exists(kLiberation + "LiberationSerif-Regular.ttf"))
    GTEST_SKIP() << "the DejaVu and Liberation fonts are not installed";
  {
    FontFolder fonts({{kDejaVu + "DejaVuSans.ttf", ""},
                      {kDejaVu + "DejaVuSans-Bold.ttf", ""},
                      {kDejaVu + "DejaVuSans-Oblique.ttf", ""},
                      {kDejaVu + "DejaVuSansMono.ttf", ""},
                      {kLiberation + "LiberationSerif-Regular.ttf", ""},
                      {kLiberation + "LiberationSerif-Bold.ttf", ""}});
    ResetChecklist();
    test::ImageBuilder b;
    const int count = b.IntVar(), first = b.StringVar();
    b.Cmd(6001);
    b.Cmd(9990, {count});
    b.Cmd(9991, {first, b.IntConst(1)});
    ASSERT_TRUE(b.Load());
    RunWithFrames(true);
    EXPECT_EQ(Listed(), (std::vector<std::string>{"DejaVu Sans", "DejaVu Sans Mono", "Liberation Serif"}));
    EXPECT_EQ(test::IntAt(count), 3);
    EXPECT_EQ(test::TextAt(first), "DejaVu Sans");
    EXPECT_EQ(gChecklistFilled, 1);
    EXPECT_EQ(gChecklistHasTexts, 1);
    EXPECT_EQ(gChecklistHasValues, 0);
  }
  {
    FontFolder none({});
    ListFontFamilies();
    EXPECT_EQ(gChecklistCount, 0);
    EXPECT_EQ(gChecklistFilled, 0);
  }
}

TEST_F(TextCommandTest, TheFontListStopsAt255Families) {
  if (!fs::exists(kLiberation + "LiberationSans-Regular.ttf")) GTEST_SKIP() << "Liberation Sans is not installed";
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 1; i <= 300; ++i) {
    char family[32];
    std::snprintf(family, sizeof family, "Family %03d", i);
    files.emplace_back(kLiberation + "LiberationSans-Regular.ttf", family);
  }
  FontFolder fonts(files);
  ListFontFamilies();
  ASSERT_EQ(gChecklistCount, 255);
  EXPECT_STREQ(gChecklist[0].text, "Family 001");
  EXPECT_STREQ(gChecklist[254].text, "Family 255");
  EXPECT_EQ(gChecklist[255].text[0], '\0') << "nothing is written past the 255th entry";
}

TEST_F(TextCommandTest, AFamilyDeliveredTwiceIsListedOnce) {
  ResetChecklist();
  win::LOGFONTA font{};
  auto deliver = [&](const char* name) {
    std::snprintf(font.lfFaceName, sizeof font.lfFaceName, "%s", name);
    return AddFontFamilyToChecklist(&font, nullptr, win::TRUETYPE_FONTTYPE, 0);
  };
  EXPECT_EQ(deliver("Twice"), 1);
  EXPECT_EQ(deliver("Other"), 1);
  EXPECT_EQ(deliver("Twice"), 1);
  EXPECT_EQ(Listed(), (std::vector<std::string>{"Twice", "Other"}));
  // A face name filling the whole field has no terminator of its own.
  std::memset(font.lfFaceName, 'F', sizeof font.lfFaceName);
  EXPECT_EQ(AddFontFamilyToChecklist(&font, nullptr, 0, 0), 1);
  EXPECT_EQ(std::string(gChecklist[2].text), std::string(win::LF_FACESIZE, 'F'));
  ResetChecklist();
}

class TextProgramTest : public TextCommandTest {
 protected:
  void SetUp() override {
    TextCommandTest::SetUp();
    for (int key = 0; key < kCompilerMessageCount; ++key) gCompilerMessages[size_t(key)] = "M" + std::to_string(key);
    ResetCompiler();
    ASSERT_EQ(LoadCommandTable(), 1);
  }
  void TearDown() override {
    FreeCompilerTables();
    gCompilerMessages.fill(std::nullopt);
    TextCommandTest::TearDown();
  }
  // Compiles and loads the source; the operand of a main-program variable by name.
  bool Load(const std::string& source) {
    const std::string image = dir_.path() + "text.dat";
    if (CompileFile(dir_.Write("text.vxa", source), image) != 1) {
      ADD_FAILURE() << "line " << gCompiler.errorLine << ": " << gCompiler.resultMessage;
      return false;
    }
    return LoadProgramImage(image);
  }
  static int Operand(const std::string& name) {
    const int type = name.find('$') != std::string::npos ? 2 : 0;
    const auto& table = gCompiler.variables[size_t(type)];
    for (size_t i = 0; i < table.size(); ++i)
      if (table[i].name == name && table[i].function == 0 && !table[i].isArray) return 13000 + 2000 * type + int(i);
    ADD_FAILURE() << "no variable " << name;
    return -1;
  }
  test::TempFolder dir_;
};

TEST_F(TextProgramTest, AProgramSetsTheFontDrawsTextAndMeasuresIt) {
  ASSERT_TRUE(Load(R"(
rem A bold Arial heading on an opaque background, a centred line under it, and its measures.
set text opaque
set text font "Arial"
set text size 20
set text to bold
face$ = text font$()
size = text size()
opaque = text background type()
style = text style()
w = text width("Hello")
h = text height("Hello")
text 5, 5, "Hello"
wm = text width("Mid")
center text 160, 50, "Mid"
set text transparent
set text to italic
italic = text style()
)"));
  test::Fill(gBackBuffer, kGreen);
  RunWithFrames(true);
  EXPECT_EQ(gErrorCode, 0);
  EXPECT_EQ(test::TextAt(Operand("face$")), "Arial");
  EXPECT_EQ(test::IntAt(Operand("size")), 20);
  EXPECT_EQ(test::IntAt(Operand("opaque")), 1);
  EXPECT_EQ(test::IntAt(Operand("style")), 2);
  EXPECT_EQ(test::IntAt(Operand("italic")), 1);
  const int32_t w = test::IntAt(Operand("w")), h = test::IntAt(Operand("h")), wm = test::IntAt(Operand("wm"));
  EXPECT_EQ(h, 20);
  EXPECT_GT(w, 30);
  // The opaque cells are painted in the background colour (black) over the green screen.
  int32_t left = 320, right = -1, top = 100, bottom = -1;
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = 0; x < 320; ++x)
      if (ColourAt(gBackBuffer, x, y) == kBlack) {
        left = std::min(left, x), right = std::max(right, x + 1);
        top = std::min(top, y), bottom = std::max(bottom, y + 1);
      }
  EXPECT_EQ(left, 5);
  EXPECT_EQ(right, 5 + w);
  EXPECT_EQ(top, 5);
  EXPECT_EQ(bottom, 5 + h);
  EXPECT_EQ(ColourAt(gBackBuffer, 160 - wm / 2, 50), kBlack);
  EXPECT_EQ(ColourAt(gBackBuffer, 160 - wm / 2 - 1, 50), kGreen);
  EXPECT_EQ(ColourAt(gBackBuffer, 160 - wm / 2 + wm - 1, 50 + h - 1), kBlack);
  EXPECT_EQ(ColourAt(gBackBuffer, 160 - wm / 2 + wm, 50), kGreen);
}

}  // namespace
}  // namespace vx
