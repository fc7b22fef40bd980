// The text and font commands as a program uses them: queries answer from the state in force, the
// settings end the slice as they should, the font list holds each family of the font folders once
// (at most 255), and a compiled program sets a font, draws text and measures it.
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

namespace vx {
namespace {

namespace fs = std::filesystem;
using test::ColourAt;
using test::IntAt;

constexpr uint32_t kGreen = 0x00FF00, kBlack = 0x000000;

// Runs the loaded program as the main loop does: a frame's draw queue before each slice, and one
// more frame at the end so that what the last slice queued is drawn. Returns the slices run.
int RunWithFrames(bool autoRefresh, int32_t bitmap = 0) {
  win::ClearMessageQueue();
  ResetRuntimeState();
  ResetTextStateForRun();
  BeginProgramRun();
  gAutoRefreshFlag = autoRefresh ? 1 : 0;
  if (bitmap) QueueSetCurrentBitmap(bitmap);
  int slices = 0;
  do {
    DrawQueueExecute();
    ExecuteTimeSlice();
  } while (++slices < 200 && !win::QuitMessagePending());
  DrawQueueExecute();
  return slices;
}

int32_t CountOf(win::IDirectDrawSurface7* s, uint32_t colour) {
  int32_t n = 0;
  for (int32_t y = 0; y < int32_t(s->Height()); ++y)
    for (int32_t x = 0; x < int32_t(s->Width()); ++x) n += ColourAt(s, x, y) == colour;
  return n;
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
  b.Cmd(6501, {oldName}).Cmd(6505, {oldWidth, b.StringConst("Width")});
  b.Cmd(6002, {b.StringConst("Courier New")}).Cmd(6003, {b.IntConst(24)});
  b.Cmd(6004);  // does not end the slice: the frame after the next setting performs it
  b.Cmd(6503, {oldMode}).Cmd(6009);
  b.Cmd(6501, {name}).Cmd(6501, {name});  // the second result replaces the first
  b.Cmd(6502, {size}).Cmd(6503, {mode}).Cmd(6504, {style});
  b.Cmd(6505, {width, b.StringConst("Width")}).Cmd(6506, {height, b.StringConst("Width")});
  ASSERT_TRUE(b.Load());
  RunWithFrames(true);
  EXPECT_EQ(gErrorCode, 0);
  EXPECT_EQ(test::TextAt(oldName), "system");
  EXPECT_EQ(test::TextAt(name), "Courier New");
  // size, old mode, mode, style, height
  EXPECT_EQ((std::vector{IntAt(size), IntAt(oldMode), IntAt(mode), IntAt(style), IntAt(height)}),
            (std::vector{24, 0, 1, 3, 24}));
  EXPECT_EQ(IntAt(width), MeasureText("Width").cx);
  EXPECT_NE(IntAt(width), IntAt(oldWidth));
  EXPECT_EQ(win::FontFamilyName(gTextFont), "Liberation Mono");
}

TEST_F(TextCommandTest, MeasuringBeforeTheFrameUsesThePreviousFont) {
  // Without automatic refresh nothing ends the slice, so no frame comes between the commands.
  for (const bool autoRefresh : {false, true}) {
    SCOPED_TRACE(autoRefresh ? "refresh" : "no refresh");
    test::ImageBuilder b;
    const int before = b.IntVar(), after = b.IntVar(), size = b.IntVar(), text = b.StringConst("Measured");
    b.Cmd(6506, {before, text}).Cmd(6002, {b.StringConst("Arial")}).Cmd(6003, {b.IntConst(40)});
    b.Cmd(6506, {after, text}).Cmd(6502, {size});
    ASSERT_TRUE(b.Load());
    RunWithFrames(autoRefresh);
    EXPECT_EQ(IntAt(before), 16);  // "system"
    EXPECT_EQ(IntAt(after), autoRefresh ? 40 : 16);
    EXPECT_EQ(IntAt(size), autoRefresh ? 40 : 10);
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
      {6002, 2, true}, {6012, 3, true}, {6003, 1, true}, {6004, 0, false}, {6005, 0, false}, {6006, 0, true},
      {6007, 0, true}, {6008, 0, true}, {6009, 0, true}, {6010, 4, true},  {6011, 4, true},  {6001, 0, false},
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
    int slices[2];
    for (const bool autoRefresh : {true, false}) {
      ASSERT_TRUE(b.Load());
      slices[autoRefresh] = RunWithFrames(autoRefresh);
      FreeProgramImage();
    }
    EXPECT_EQ(slices[1], slices[0] + (c.yields ? 1 : 0));
  }
}

TEST_F(TextCommandTest, TextOnABitmapDoesNotEndTheSlice) {
  ASSERT_EQ(CreateBitmapSurface(3, 40, 20), 1);
  test::ImageBuilder b;
  b.Cmd(6010, {b.IntConst(0), b.IntConst(0), b.StringConst("On the bitmap")});
  b.Cmd(6011, {b.IntConst(20), b.IntConst(0), b.StringConst("Too")});
  int slices[2];
  for (const int32_t bitmap : {0, 3}) {
    ASSERT_TRUE(b.Load());
    slices[bitmap ? 1 : 0] = RunWithFrames(true, bitmap);
    FreeProgramImage();
    if (bitmap == 0) test::Fill(gBackBuffer, kBlack);
  }
  EXPECT_EQ(slices[0], slices[1] + 2) << "each text on the screen ends its slice";
  EXPECT_GT(CountOf(gBitmaps[3], 0xFFFFFF), 10);
  EXPECT_EQ(CountOf(gBackBuffer, kBlack), 320 * 100) << "nothing reached the screen";
}

// Makes fontconfig read only the given font files (linked into a private folder), each under the
// family name given with it when there is one, for the life of the object.
class FontFolder {
 public:
  explicit FontFolder(const std::vector<std::pair<std::string, std::string>>& files) {
    if (const char* previous = std::getenv("FONTCONFIG_FILE")) previous_ = previous;
    const std::string at = folder_.path();
    std::string rules;
    for (size_t i = 0; i < files.size(); ++i) {
      const std::string link = at + "font" + std::to_string(i) + ".ttf";
      fs::create_symlink(files[i].first, link);
      if (!files[i].second.empty())
        rules += "<match target=\"scan\"><test name=\"file\"><string>" + link +
                 "</string></test><edit name=\"family\" mode=\"assign\"><string>" + files[i].second +
                 "</string></edit></match>\n";
    }
    folder_.Write("fonts.conf", "<?xml version=\"1.0\"?>\n<fontconfig><dir>" + at + "</dir><cachedir>" + at +
                                    "cache</cachedir>\n" + rules + "</fontconfig>\n");
    ::setenv("FONTCONFIG_FILE", (at + "fonts.conf").c_str(), 1);
    win::ReloadFontConfiguration();
  }
  ~FontFolder() {
    previous_ ? ::setenv("FONTCONFIG_FILE", previous_->c_str(), 1) : ::unsetenv("FONTCONFIG_FILE");
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
    b.Cmd(6001).Cmd(9990, {count}).Cmd(9991, {first, b.IntConst(1)});
    ASSERT_TRUE(b.Load());
    RunWithFrames(true);
    EXPECT_EQ(Listed(), (std::vector<std::string>{"DejaVu Sans", "DejaVu Sans Mono", "Liberation Serif"}));
    EXPECT_EQ(IntAt(count), 3);
    EXPECT_EQ(test::TextAt(first), "DejaVu Sans");
    // filled, has texts, has values
    EXPECT_EQ((std::vector{gChecklistFilled, gChecklistHasTexts, gChecklistHasValues}), (std::vector{1, 1, 0}));
  }
  FontFolder none({});
  ListFontFamilies();
  EXPECT_EQ(gChecklistCount, 0);
  EXPECT_EQ(gChecklistFilled, 0);
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
  for (const char* name : {"Twice", "Other", "Twice"}) {
    std::snprintf(font.lfFaceName, sizeof font.lfFaceName, "%s", name);
    EXPECT_EQ(AddFontFamilyToChecklist(&font, nullptr, win::TRUETYPE_FONTTYPE, 0), 1) << name;
  }
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
  bool Load(const std::string& source) {
    const std::string image = dir_.path() + "text.dat";
    if (CompileFile(dir_.Write("text.vxa", source), image) != 1) {
      ADD_FAILURE() << "line " << gCompiler.errorLine << ": " << gCompiler.resultMessage;
      return false;
    }
    return LoadProgramImage(image);
  }
  // The operand of a main-program variable.
  static int Operand(const std::string& name) {
    const int type = name.find('$') != std::string::npos ? 2 : 0;
    const auto& table = gCompiler.variables[size_t(type)];
    for (size_t i = 0; i < table.size(); ++i)
      if (table[i].name == name && table[i].function == 0 && !table[i].isArray) return 13000 + 2000 * type + int(i);
    ADD_FAILURE() << "no variable " << name;
    return -1;
  }
  static int32_t Int(const std::string& name) { return IntAt(Operand(name)); }
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
  EXPECT_EQ((std::vector{Int("size"), Int("opaque"), Int("style"), Int("italic"), Int("h")}),
            (std::vector{20, 1, 2, 1, 20}));
  EXPECT_GT(Int("w"), 30);
  // The centred line's opaque cells, in the background colour (black) over the green screen.
  const int32_t wm = Int("wm"), mid = 160 - wm / 2;
  EXPECT_EQ(ColourAt(gBackBuffer, mid, 50), kBlack);
  EXPECT_EQ(ColourAt(gBackBuffer, mid - 1, 50), kGreen);
  EXPECT_EQ(ColourAt(gBackBuffer, mid + wm - 1, 50 + Int("h") - 1), kBlack);
  EXPECT_EQ(ColourAt(gBackBuffer, mid + wm, 50), kGreen);
  // The heading's cells end where its measured width says.
  EXPECT_EQ(ColourAt(gBackBuffer, 4 + Int("w"), 5), kBlack);
  EXPECT_EQ(ColourAt(gBackBuffer, 5 + Int("w"), 5), kGreen);
}

}  // namespace
}  // namespace vx
