// The standalone game builder: a game built from a project folder carries the runtime, the
// compiled program and the project's media in a block the runtime reads back; every way a build
// can fail leaves no game behind and says why.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "common/le_words.h"
#include "compiler/compiler.h"
#include "ide/language.h"
#include "ide/status_line.h"
#include "runtime/attached_files.h"
#include "runtime/builder.h"
#include "runtime/runtime_state.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

const std::string kStub = "#!runtime stub\n";  // stands in for the executable's bytes
const std::string kHello = "a = 1\r\nexit prompt \"hi\", \"test\"\r\n";

std::vector<std::string> gStatusLines;
void CollectStatusLine(const std::string& text) { gStatusLines.push_back(text); }

class BuilderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir.path() + "tmp");
    fs::create_directories(dir.path() + "out");
    Host().gTempFolder = dir.path() + "tmp/";
    Host().gProgramFolder = dir.path() + "tool/";  // no word file unless a test writes one
    stub = dir.Write("stub", kStub);
    builder.SetStubPath(stub);
    WriteProject("hello.vxa", kHello);
    gStatusLines.clear();
    SetStatusLineSink(CollectStatusLine);
  }
  void TearDown() override {
    SetStatusLineSink(nullptr);
    Host().gTempFolder = savedTemp;
    Host().gProgramFolder = savedProgramFolder;
    Runtime().gAttachedFiles.reset();
  }

  std::string Project(const std::string& name) const { return dir.path() + "project/" + name; }
  std::string WriteProject(const std::string& name, const std::string& content) const {
    return dir.Write("project/" + name, content);
  }
  std::string Target() const { return dir.path() + "out/game"; }
  bool Build() { return builder.BuildStandaloneExe(Target(), Project("hello.vxa"), dir.path() + "project"); }
  // A build that fails, saying why, and leaves no game behind.
  void ExpectFailure(const std::string& why) {
    EXPECT_FALSE(Build());
    EXPECT_NE(builder.failure().find(why), std::string::npos) << builder.failure();
    EXPECT_FALSE(fs::exists(Target()));
  }

  // The names of the entries the runtime finds in a built game, folded as it folds them.
  std::vector<std::string> EntryNames(const std::string& game) {
    Runtime().gAttachedFiles = std::make_unique<AttachedFiles>();
    EXPECT_TRUE(LoadAttachedFiles(game));
    std::vector<std::string> names;
    for (const AttachedEntry& entry : Runtime().gAttachedFiles->entries()) names.push_back(entry.name);
    return names;
  }
  std::string EntryData(size_t index) {
    const auto data = Runtime().gAttachedFiles->EntryData(Runtime().gAttachedFiles->entries().at(index));
    return std::string(data.begin(), data.end());
  }

  test::TempFolder dir;
  StandaloneBuilder builder;
  std::string stub, savedTemp = Host().gTempFolder, savedProgramFolder = Host().gProgramFolder;
};

TEST_F(BuilderTest, GameCarriesRuntimeProgramAndMedia) {
  for (const auto& [name, content] : {std::pair{"Tree.bmp", "tree bytes"},
                                      {"media/Rock.PNG", "rock"},
                                      {"media/deeper/wall.tga", "wall"},
                                      {"sounds/shot.wav", ""},
                                      {"readme.txt", "read me"},
                                      {"scene.x", "xof 0302txt"},
                                      {"notes.doc", "no"},
                                      {"report.docx", "not a model"},
                                      {"noending", "no"}})
    WriteProject(name, content);
  ASSERT_EQ(symlink(Project("media").c_str(), Project("linked folder").c_str()), 0);
  ASSERT_EQ(symlink(Project("Tree.bmp").c_str(), Project("linked.bmp").c_str()), 0);

  ASSERT_TRUE(Build()) << builder.failure();
  EXPECT_EQ(builder.failure(), "");

  struct stat info {};
  ASSERT_EQ(stat(Target().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0755u);
  const std::string game = dir.Read("out/game");
  EXPECT_EQ(game.substr(0, kStub.size()), kStub);
  EXPECT_EQ(ReadLE32(reinterpret_cast<const uint8_t*>(game.data() + game.size() - 4)), kStub.size());

  // Sorted by name (upper case first), folders walked where they stand, the linked folder not at all.
  std::string programPath = Host().gTempFolder + "_exefile.dat";
  std::transform(programPath.begin(), programPath.end(), programPath.begin(), ::tolower);
  const std::vector<std::string> expected = {
      programPath,  "tree.bmp", "linked.bmp",      "media\\rock.png", "media\\deeper\\wall.tga",
      "readme.txt", "scene.x",  "sounds\\shot.wav"};
  EXPECT_EQ(EntryNames(Target()), expected);
  EXPECT_EQ(EntryData(1), "tree bytes");
  EXPECT_EQ(EntryData(2), "tree bytes");
  EXPECT_EQ(EntryData(3), "rock");
  EXPECT_EQ(EntryData(7), "");
  // Entry 0 is a program image: version word 1, then the first word of the integer constants.
  const std::string image = EntryData(0);
  ASSERT_GE(image.size(), 4096u);
  EXPECT_EQ(ReadLE32(reinterpret_cast<const uint8_t*>(image.data())), 1u);
  EXPECT_EQ(ReadLE32(reinterpret_cast<const uint8_t*>(image.data() + 4)), 1024u);
  EXPECT_FALSE(fs::exists(Host().gTempFolder + "_exefile.dat"));

  // Each file with its size, and what they come to.
  const std::vector<std::string> shown = {
      "Adding Tree.bmp (10 bytes)...",       "Adding linked.bmp (10 bytes)...",
      "Adding media/Rock.PNG (4 bytes)...",  "Adding media/deeper/wall.tga (4 bytes)...",
      "Adding readme.txt (7 bytes)...",      "Adding scene.x (11 bytes)...",
      "Adding sounds/shot.wav (0 bytes)...", "7 files attached, 46 bytes in all"};
  EXPECT_EQ(gStatusLines, shown);
}

// What a folder of large pictures costs a game shows in the build's lines, and a build of nothing
// but the program says so.
TEST_F(BuilderTest, TheBuildListsEachFileItPacksWithItsSizeAndTheTotal) {
  ASSERT_TRUE(Build()) << builder.failure();
  EXPECT_EQ(gStatusLines, std::vector<std::string>{"0 files attached, 0 bytes in all"});
  gStatusLines.clear();
  fs::resize_file(WriteProject("shot1.bmp", ""), 1536 * 1024);
  fs::resize_file(WriteProject("title.png", ""), 37 * 1024 + 512);
  WriteProject("a.dat", "x");
  ASSERT_TRUE(Build()) << builder.failure();
  const std::vector<std::string> shown = {"Adding a.dat (1 byte)...", "Adding shot1.bmp (1.5 MB)...",
                                          "Adding title.png (37.5 KB)...", "3 files attached, 1.5 MB in all"};
  EXPECT_EQ(gStatusLines, shown);
}

TEST_F(BuilderTest, OnlyTheProjectFolderIsWalkedAndNeverTheGameItself) {
  WriteProject("a.bmp", "a");
  ASSERT_TRUE(builder.BuildStandaloneExe(Target(), Project("hello.vxa"), "")) << builder.failure();
  EXPECT_EQ(EntryNames(Target()).size(), 1u);  // without a project folder only the program

  const std::string inside = Project("game.dat");
  ASSERT_TRUE(builder.BuildStandaloneExe(inside, Project("hello.vxa"), dir.path() + "project")) << builder.failure();
  const std::vector<std::string> names = EntryNames(inside);
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[1], "a.bmp");
}

TEST_F(BuilderTest, ProgramThatDoesNotCompileWritesNothing) {
  WriteProject("hello.vxa", "a = 1\r\nthis is no statement\r\n");
  dir.Write("out/game", "an older game");
  EXPECT_FALSE(Build());
  EXPECT_NE(builder.failure(), "");
  EXPECT_TRUE(builder.compileFailed());
  EXPECT_EQ(CompileErrorPlace().line, 2);
  EXPECT_EQ(dir.Read("out/game"), "an older game");
  EXPECT_FALSE(fs::exists(Host().gTempFolder + "_exefile.dat"));
}

TEST_F(BuilderTest, MissingProgramOrRuntimeFails) {
  builder.SetStubPath(dir.path() + "no such runtime");
  ExpectFailure("runtime");
  builder.SetStubPath(stub);
  fs::remove(Project("hello.vxa"));
  ExpectFailure("hello.vxa");
}

TEST_F(BuilderTest, NameTheRuntimeCouldNotReadBackIsRefused) {
  WriteProject("first.bmp", "kept until the failure");
  // 250 characters and "\\" make a name of 255 characters, the most a game holds; one more fails.
  WriteProject("abcd/" + std::string(246, 'n') + ".bmp", "fits");
  ASSERT_TRUE(Build()) << builder.failure();
  WriteProject("abcd/" + std::string(247, 'n') + ".bmp", "too long");
  ExpectFailure("longer than a game can hold");
}

TEST_F(BuilderTest, FileTooLargeForTheBlockIsRefused) {
  const std::string huge = WriteProject("huge.avi", "");
  ASSERT_EQ(truncate(huge.c_str(), off_t(0x100000000LL)), 0);  // sparse: takes no disk space
  ExpectFailure("larger than a game can hold");
}

TEST_F(BuilderTest, FailedWriteLeavesNoHalfWrittenGame) {
  WriteProject("big.wav", std::string(256 * 1024, 'w'));
  // The file size limit makes the write fail part of the way through, as a full disk would.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = 128 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const bool built = Build();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(built);
  EXPECT_NE(builder.failure().find("Could not write"), std::string::npos) << builder.failure();
  EXPECT_FALSE(fs::exists(Target()));
}

TEST_F(BuilderTest, UnreadableMediaFileFailsTheBuild) {
  if (geteuid() == 0) GTEST_SKIP() << "the superuser reads every file";
  ASSERT_EQ(chmod(WriteProject("locked.bmp", "secret").c_str(), 0), 0);
  ExpectFailure("locked.bmp");
}

TEST_F(BuilderTest, GameNeverReplacesItsOwnSource) {
  EXPECT_FALSE(builder.BuildStandaloneExe(Project("hello.vxa"), Project("hello.vxa"), ""));
  EXPECT_EQ(dir.Read("project/hello.vxa"), kHello);
}

}  // namespace
}  // namespace vx
