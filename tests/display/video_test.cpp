// Films played by compiled programs on a headless 640x480 screen, frame by frame as the main loop
// runs them, with the clock moved by the test and the sound track going to a recording sink: the
// colours of the seconds in order, looping, pausing, placing and clipping, playing into a bitmap,
// what the value commands read back, every error of the film commands, and attached films.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "compiler/compiler.h"
#include "display/display.h"
#include "display/text_fonts.h"
#include "display/video_playback.h"
#include "platform/media/media_stream.h"
#include "platform/win/files.h"
#include "platform/win/messages.h"
#include "platform/win/time.h"
#include "runtime/attached_files.h"
#include "runtime/dispatcher.h"
#include "runtime/program_image.h"
#include "runtime/run_setup.h"
#include "tests/display/bitmap_test_support.h"
#include "tests/support/block_writer.h"
#include "tests/support/recording_sink.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"
#include "tests/support/writing_fifo.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x008000, kBlue = 0x0000FF, kBlack = 0;

// A solid colour that went through YUV and back.
bool Near(uint32_t a, uint32_t b) {
  for (int shift = 0; shift < 24; shift += 8)
    if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > 24) return false;
  return true;
}

class VideoTest : public test::BitmapWorld {
 protected:
  void SetUp() override {
#ifdef VX_FILM_FIXTURES_DIR
    films_ = VX_FILM_FIXTURES_DIR;
#endif
    if (films_.empty() || !fs::exists(films_ + "/colours.avi")) GTEST_SKIP() << "no film fixtures (no ffmpeg)";
    for (const char* name :
         {"colours.avi", "colours_sound.avi", "halves.avi", "garbage.avi", "truncated.avi", "halves40.mpg",
          "halves200.mpg", "halves360.mpg", "pattern40.mpg", "tall46.mpg", "stereo_mono.mpg", "huge4112.avi"})
      fs::copy_file(films_ + "/" + name, dir_.path() + name);
    // Files named as films that are none: a FIFO that a film is written into, a playlist naming a
    // film outside the folder and a list of films beside it.
    fifo_ = std::make_unique<test::WritingFifo>(dir_.path() + "fifo.avi", test::FileBytes(films_ + "/colours.avi"));
    ASSERT_TRUE(fifo_->made());
    dir_.Write("playlist.avi",
               "#EXTM3U\n#EXT-X-TARGETDURATION:3\n#EXTINF:3,\n" + films_ + "/colours.avi\n#EXT-X-ENDLIST\n");
    dir_.Write("list.avi", "ffconcat version 1.0\nfile colours.avi\n");
    win::GetCurrentDirectoryA(&saved_);
    win::SetCurrentDirectoryA(dir_.path().c_str());
    sound_ = test::RecordingSink::Install();
    test::PrepareRuntime();
    World(32, 640, 480);
  }
  void TearDown() override {
    ResetAnimationStreams();
    fifo_.reset();
    if (!saved_.empty()) win::SetCurrentDirectoryA(saved_.c_str());
    win::SetMediaAudioSinkMaker(nullptr);
    win::SetClockSource(nullptr);
    Runtime().gAttachedFiles.reset();
    DeleteTextFonts();
    FreeProgramImage();
    BitmapWorld::TearDown();
    EXPECT_EQ(win::LiveFilmCount(), 0u);
  }

  // Compiles and loads the program and makes its first frame at time 0.
  void Start(const std::string& source) { StartFile(dir_.Write("film.vxa", source)); }
  void StartFile(const std::string& sourcePath) {
    const std::string image = dir_.path() + "film.dat";
    ResetCompiler();
    ASSERT_EQ(LoadCommandTable(), 1);
    const int compiled = CompileFile(sourcePath, image);
    ASSERT_EQ(compiled, 1) << gCompiler.resultMessage << " at line " << gCompiler.errorLine;
    ASSERT_TRUE(LoadProgramImage(image));
    test::gTestClock = 0;
    ResetRuntimeState();
    BeginProgramRun();
    Frame();
  }
  // One turn of the main loop: the frame, a time slice, the films.
  void Frame() {
    DrawQueueExecute();
    if (!win::QuitMessagePending()) ExecuteTimeSlice();
    UpdateAnimations();
  }
  // Turns of 20 ms until the clock reads ms.
  void RunUntil(uint32_t ms) {
    while (test::gTestClock < ms) {
      test::gTestClock = std::min(test::gTestClock + 20, ms);
      Frame();
    }
  }
  // The value of a variable of the main program, which the compiler still knows.
  static int32_t Int(const std::string& name) {
    const auto& table = gCompiler.variables[0];
    for (size_t i = 0; i < table.size(); ++i)
      if (table[i].name == name && table[i].function == 0 && !table[i].isArray)
        return test::IntAt(operands::kIntVar + int(i));
    ADD_FAILURE() << "no variable " << name;
    return -1;
  }
  static uint32_t At(int32_t x, int32_t y) { return test::ColourAt(Display().gBackBuffer, x, y); }
  static uint32_t BitmapAt(int32_t n, int32_t x, int32_t y) {
    return test::ColourAt(Display().gBitmaps[size_t(n)], x, y);
  }

  std::string films_;
  test::TempFolder dir_;
  std::string saved_;
  std::shared_ptr<test::RecordingSink::Record> sound_;
  std::unique_ptr<test::WritingFifo> fifo_;
};

TEST_F(VideoTest, AFilmShowsItsSecondsInOrderAndStaysOnItsLastFrameOnceOver) {
  Start(R"(load animation "colours.avi", 1
x = animation position x(1)
y = animation position y(1)
w = animation width(1)
h = animation height(1)
play animation 1
wait 100000
)");
  RunUntil(100);
  EXPECT_EQ(Int("x"), 0);
  EXPECT_EQ(Int("y"), 0);
  EXPECT_EQ(Int("w"), 64) << "the film's own size after loading";
  EXPECT_EQ(Int("h"), 48);
  EXPECT_TRUE(Near(At(10, 10), kRed)) << std::hex << At(10, 10);
  EXPECT_TRUE(Near(At(63, 47), kRed));
  EXPECT_EQ(At(64, 10), kBlack) << "drawn at its own size";
  RunUntil(1200);
  EXPECT_TRUE(Near(At(10, 10), kGreen)) << std::hex << At(10, 10);
  RunUntil(2200);
  EXPECT_TRUE(Near(At(10, 10), kBlue)) << std::hex << At(10, 10);
  EXPECT_EQ(Video().gAnimationSlots[1].playing, 1);
  RunUntil(3500);
  EXPECT_EQ(Video().gAnimationSlots[1].playing, 0) << "a film played once stops at its end";
  EXPECT_TRUE(Near(At(10, 10), kBlue));
  EXPECT_EQ(Interpreter().gErrorCode, 0);
}

// Widths that are no multiple of 16 once made the scaler write past the frame surface, and a sound
// track that turns from stereo to mono made the resampler read a channel that was not there.
TEST_F(VideoTest, FilmsOfAnyWidthAndASoundTrackThatChangesItsChannelsPlayToTheirEnd) {
  Start(R"(load animation "halves40.mpg", 1
load animation "halves200.mpg", 2
load animation "halves360.mpg", 3
load animation "pattern40.mpg", 4
load animation "tall46.mpg", 5
load animation "stereo_mono.mpg", 6
play animation 1, 0, 0
play animation 2, 0, 20
play animation 3, 0, 40
play animation 4, 0, 60
play animation 5, 600, 0
play animation 6, 100, 100
wait 100000
)");
  RunUntil(100);
  for (const auto& [width, top] : {std::pair{40, 0}, {200, 20}, {360, 40}}) {
    EXPECT_TRUE(Near(At(0, top + 8), kRed)) << width << ": " << std::hex << At(0, top + 8);
    EXPECT_TRUE(Near(At(width - 1, top + 8), kBlue)) << width << ": " << std::hex << At(width - 1, top + 8);
    EXPECT_EQ(At(width, top + 8), kBlack) << width;
  }
  EXPECT_TRUE(Near(At(120, 120), kGreen)) << std::hex << At(120, 120);
  RunUntil(2600);
  for (int n = 1; n <= 6; ++n)
    EXPECT_EQ(Video().gAnimationSlots[size_t(n)].playing, 0) << "film " << n << " played to its end";
  EXPECT_NEAR(double(sound_->samples.size() / 2) / win::kAudioOutputRate, 2.0, 0.15) << "both halves of the sound";
  EXPECT_EQ(Interpreter().gErrorCode, 0);
}

TEST_F(VideoTest, ALoopedFilmComesBackToItsFirstColourAndItsSoundReachesTheOutput) {
  Start(R"(load animation "colours_sound.avi", 2
loop animation 2
wait 100000
)");
  RunUntil(2500);
  EXPECT_TRUE(Near(At(10, 10), kBlue));
  RunUntil(3500);
  EXPECT_TRUE(Near(At(10, 10), kRed)) << "round again: " << std::hex << At(10, 10);
  EXPECT_EQ(Video().gAnimationSlots[2].playing, 1);
  EXPECT_EQ(Video().gAnimationSlots[2].looping, 1);
  EXPECT_GT(sound_->samples.size() / 2, size_t(3 * win::kAudioOutputRate)) << "the whole track and more";
  EXPECT_GE(sound_->flushes, 1) << "the loop went back in the sound too";
  int16_t loudest = 0;
  for (int16_t s : sound_->samples) loudest = std::max(loudest, s);
  EXPECT_GT(loudest, 1000);
}

TEST_F(VideoTest, APausedFilmKeepsItsFrameDrawnAndGoesOnFromThereWhenResumed) {
  Start(R"(load animation "colours.avi", 1
play animation 1
wait 500
pause animation 1
p = animation paused(1)
wait 1500
resume animation 1
q = animation paused(1)
wait 100000
)");
  RunUntil(1900);
  EXPECT_EQ(Int("p"), 1);
  test::Fill(Display().gBackBuffer, kBlack);
  Frame();
  EXPECT_TRUE(Near(At(10, 10), kRed)) << "still the frame of 0.5 s, drawn again";
  RunUntil(2300);
  EXPECT_EQ(Int("q"), 0);
  EXPECT_TRUE(Near(At(10, 10), kRed)) << "0.5 s + 0.3 s";
  RunUntil(2800);
  EXPECT_TRUE(Near(At(10, 10), kGreen)) << "0.5 s + 0.8 s: " << std::hex << At(10, 10);
}

TEST_F(VideoTest, AFilmHalfOffTheScreenShowsItsOtherHalfAndAPlacedFilmMoves) {
  Start(R"(load animation "halves.avi", 1
play animation 1, -32, 100
wait 200
place animation 1, 200, 100, 328, 196
x = animation position x(1)
w = animation width(1)
h = animation height(1)
wait 200
place animation 1, 300, 300, 300, 340
wait 100000
)");
  RunUntil(100);
  EXPECT_TRUE(Near(At(2, 120), kBlue)) << "the right half at the left edge: " << std::hex << At(2, 120);
  EXPECT_TRUE(Near(At(29, 120), kBlue));
  EXPECT_EQ(At(40, 120), kBlack);
  test::Fill(Display().gBackBuffer, kBlack);
  RunUntil(300);
  EXPECT_EQ(Int("x"), 200);
  EXPECT_EQ(Int("w"), 128);
  EXPECT_EQ(Int("h"), 96);
  EXPECT_TRUE(Near(At(205, 190), kRed)) << "scaled twice over";
  EXPECT_TRUE(Near(At(322, 104), kBlue));
  EXPECT_EQ(At(330, 120), kBlack);
  test::Fill(Display().gBackBuffer, kBlack);
  RunUntil(500);
  EXPECT_EQ(At(300, 310), kBlack) << "no width: nothing drawn";
  EXPECT_EQ(Interpreter().gErrorCode, 0);
}

TEST_F(VideoTest, RectanglesAtTheEndsOfTheIntegerRangeDrawOnlyWhatLiesOnTheScreen) {
  Start(R"(load animation "halves.avi", 1
play animation 1, 2147483600, 0
wait 100
place animation 1, -2147483647, -2147483647, 2147483647, 2147483647
wait 100
place animation 1, -2147483647, 0, 64, 48
wait 100000
)");
  RunUntil(60);
  EXPECT_EQ(At(639, 10), kBlack) << "past the right edge";
  RunUntil(180);
  // The screen shows a column or two from the film's middle, where red meets blue.
  for (int32_t x : {0, 320, 639})
    EXPECT_TRUE(Near(At(x, 240), kRed) || Near(At(x, 240), kBlue)) << x << ": " << std::hex << At(x, 240);
  test::Fill(Display().gBackBuffer, kBlack);
  RunUntil(300);
  EXPECT_TRUE(Near(At(10, 10), kBlue)) << "the film's last columns: " << std::hex << At(10, 10);
  EXPECT_EQ(Interpreter().gErrorCode, 0);
}

// The file name is matched without regard to case, as on Windows.
TEST_F(VideoTest, AFilmPlaysIntoABitmapClippedToTheBitmapsOwnSize) {
  Start(R"(create bitmap 1, 48, 40
set current bitmap 0
load animation "HALVES.AVI", 3
play animation 3, 1, 16, 0, 80, 40
wait 100000
)");
  RunUntil(200);
  ASSERT_NE(Display().gBitmaps[1], nullptr);
  EXPECT_TRUE(Near(BitmapAt(1, 17, 20), kRed)) << std::hex << BitmapAt(1, 17, 20);
  EXPECT_TRUE(Near(BitmapAt(1, 46, 20), kRed)) << "the film's left half, inside the bitmap";
  EXPECT_EQ(BitmapAt(1, 10, 20), kBlack);
  EXPECT_EQ(At(20, 20), kBlack) << "nothing on the screen";
  EXPECT_EQ(Interpreter().gErrorCode, 0);
}

TEST_F(VideoTest, PlayingAgainReplacesTheFrameSurfaceAndStoppedOrDeletedFilmsBehave) {
  Start(R"(load animation "colours.avi", 1
play animation 1
wait 200
play animation 1, 100, 0
wait 200
stop animation 1
wait 200
delete animation 1
e = animation exist(1)
wait 100000
)");
  RunUntil(100);
  const size_t surfaces = win::LiveSurfaceCount();
  RunUntil(300);
  EXPECT_EQ(win::LiveSurfaceCount(), surfaces) << "the old frame surface went";
  EXPECT_TRUE(Near(At(110, 10), kRed));
  RunUntil(500);
  EXPECT_EQ(Interpreter().gErrorCode, 0);
  EXPECT_EQ(Video().gAnimationSlots[1].playing, 0);
  test::Fill(Display().gBackBuffer, kBlack);
  Frame();
  EXPECT_TRUE(Near(At(110, 10), kRed)) << "a stopped film's last frame is drawn again";
  RunUntil(800);
  EXPECT_EQ(Int("e"), 0);
  test::Fill(Display().gBackBuffer, kBlack);
  Frame();
  EXPECT_EQ(At(110, 10), kBlack) << "a deleted film draws nothing";
  EXPECT_EQ(Interpreter().gErrorCode, 0);
}

// A game goes on after a load that failed: the film that played under the number was closed
// before the load, so the number is free and the old film is no longer drawn.
TEST_F(VideoTest, AFailedLoadUnderThePlayingFilmsNumberLeavesTheNumberFree) {
  Interpreter().gStandaloneFlag = 1;
  Start(R"(load animation "colours.avi", 1
play animation 1
wait 200
before = animation exist(1)
load animation "garbage.avi", 1
after = animation exist(1)
wait 100000
)");
  RunUntil(100);
  EXPECT_TRUE(Near(At(10, 10), kRed)) << std::hex << At(10, 10);
  RunUntil(400);
  Interpreter().gStandaloneFlag = 0;
  EXPECT_EQ(Int("before"), 1);
  EXPECT_EQ(Int("after"), 0);
  EXPECT_FALSE(AnimationIsOpen(1));
  test::Fill(Display().gBackBuffer, kBlack);
  RunUntil(1500);
  EXPECT_EQ(At(10, 10), kBlack) << "the old film is drawn no more";
  EXPECT_EQ(Interpreter().gErrorCode, 0) << "in a game the failed load is only a warning, and ignored";
}

struct ErrorCase {
  const char* name;
  const char* source;
  int32_t error;
};

class VideoErrorTest : public VideoTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(VideoErrorTest, RaisesItsError) {
  Start(std::string(GetParam().source) + "\nwait 100000\n");
  RunUntil(300);
  EXPECT_EQ(Interpreter().gErrorCode, GetParam().error);
}

const ErrorCase kErrorCases[] = {
    {"LoadOfNumber0", R"(load animation "colours.avi", 0)", 2001},
    {"ExistsOf33", R"(e = animation exist(33))", 2001},
    {"PlayOf33", R"(play animation 33)", 2001},
    {"WidthOfNegative", R"(w = animation width(-1))", 2001},
    {"MissingFilm", R"(load animation "nothing.avi", 1)", 2002},
    {"GarbageFilm", R"(load animation "garbage.avi", 1)", 2002},
    {"TruncatedFilm", R"(load animation "truncated.avi", 1)", 2002},
    {"FilmLargerThan4096By4096", R"(load animation "huge4112.avi", 1)", 2002},
    {"Fifo", R"(load animation "fifo.avi", 1)", 2002},
    {"PlaylistOfAFilmElsewhere", R"(load animation "playlist.avi", 1)", 2002},
    {"ListOfFilms", R"(load animation "list.avi", 1)", 2002},
    {"PlayOfUnloaded", R"(play animation 4)", 2004},
    {"DeleteOfUnloaded", R"(delete animation 4)", 2004},
    {"PlacedUnloaded", R"(place animation 4, 0, 0, 10, 10)", 2004},
    {"PlayingOfUnloaded", R"(p = animation playing(4))", 2004},
    {"StopOfLoadedOnly", "load animation \"colours.avi\", 1\nstop animation 1", 2008},
    {"PauseOfLoadedOnly", "load animation \"colours.avi\", 1\npause animation 1", 2008},
    {"PauseTwice", "load animation \"colours.avi\", 1\nplay animation 1\npause animation 1\npause animation 1", 2008},
    {"ResumeOfPlaying", "load animation \"colours.avi\", 1\nplay animation 1\nresume animation 1", 2010},
    {"ToBitmap32", "load animation \"colours.avi\", 1\nplay animation 1, 32, 0, 0, 0, 0", 1001},
    {"ToMissingBitmap", "load animation \"colours.avi\", 1\nloop animation 1, 5, 0, 0, 0, 0", 1002},
};

INSTANTIATE_TEST_SUITE_P(Commands, VideoErrorTest, ::testing::ValuesIn(kErrorCases),
                         [](const ::testing::TestParamInfo<ErrorCase>& c) { return std::string(c.param.name); });

TEST_F(VideoTest, AFailedPlayRaisesItsErrorAndAFailedLoopDoesNot) {
  Start(R"(load animation "colours.avi", 1
wait 200
loop animation 1
wait 200
play animation 1
wait 100000
)");
  RunUntil(100);
  ASSERT_EQ(Interpreter().gErrorCode, 0);
  win::FailSurfaceCreations(1, win::DDERR_OUTOFMEMORY);
  RunUntil(300);
  EXPECT_EQ(Interpreter().gErrorCode, 0) << "a loop that cannot play says nothing";
  EXPECT_FALSE(AnimationIsOpen(1));
  EXPECT_EQ(Video().gAnimationSlots[1].looping, 1);
  win::FailSurfaceCreations(1, win::DDERR_OUTOFMEMORY);
  RunUntil(500);
  EXPECT_EQ(Interpreter().gErrorCode, kErrAnimationNotPlayed);
}

std::string Text(const std::string& path) {
  const std::vector<uint8_t> bytes = test::FileBytes(path);
  return {bytes.begin(), bytes.end()};
}

TEST_F(VideoTest, TwoAttachedFilmsKeepTheirOwnPictures) {
  const std::string game = dir_.path() + "game";
  ASSERT_TRUE(test::BlockWriter()
                  .Front("runtime")
                  .Entry("program.dat", "")
                  .Entry("media\\first.avi", Text(films_ + "/colours.avi"))
                  .Entry("media\\second.avi", Text(films_ + "/halves.avi"))
                  .WriteTo(game));
  Runtime().gAttachedFiles = std::make_unique<AttachedFiles>();
  ASSERT_TRUE(LoadAttachedFiles(game));
  Start(R"(load animation "Media/First.avi", 1
load animation "media\second.avi", 2
play animation 1, 0, 0
play animation 2, 100, 0
wait 100000
)");
  RunUntil(100);
  EXPECT_TRUE(Near(At(50, 10), kRed));
  EXPECT_TRUE(Near(At(110, 10), kRed));
  EXPECT_TRUE(Near(At(150, 10), kBlue)) << "the second film is its own";
  RunUntil(1300);
  EXPECT_TRUE(Near(At(50, 10), kGreen)) << "the first film is its own";
  EXPECT_EQ(Interpreter().gErrorCode, 0);
}

TEST_F(VideoTest, TheFilmExamplePlaysItsFilmInTheCornerWhileTheShapesMove) {
  const fs::path examples = fs::path(VX_SOURCE_DIR) / "examples";
  win::SetCurrentDirectoryA(examples.string().c_str());
  StartFile((examples / "film.vxa").string());
  RunUntil(500);
  auto colours = [](int32_t left, int32_t top, int32_t right, int32_t bottom) {
    std::set<uint32_t> seen;
    for (int32_t y = top; y < bottom; y += 2)
      for (int32_t x = left; x < right; x += 2) seen.insert(At(x, y));
    return seen;
  };
  EXPECT_GT(colours(528, 8, 624, 80).size(), 8u) << "the test pattern's colours in the corner";
  EXPECT_EQ(At(527, 40), 0x000040u) << "the film ends at its rectangle";
  EXPECT_EQ(At(300, 220), 0x000040u);
  const int32_t boxAt = [] {
    for (int32_t x = 0; x < 640; ++x)
      if (At(x, 230) == 0xFFC800) return x;
    return -1;
  }();
  ASSERT_GE(boxAt, 0) << "the box";
  RunUntil(1000);
  EXPECT_NE(At(boxAt, 230), 0xFFC800u) << "the box moved on";
  EXPECT_EQ(Interpreter().gErrorCode, 0);
}

}  // namespace
}  // namespace vx
