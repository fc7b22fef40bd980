// Attached files: blocks written as the builder writes them are read back and served by name;
// damaged blocks and executables without one give no entries, or the entries before the damage;
// extracted temporary files stay inside the temporary folder and go with the release.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "common/runtime_hooks.h"
#include "platform/win/files.h"
#include "runtime/attached_files.h"
#include "runtime/runtime_state.h"
#include "tests/support/block_writer.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

using Names = std::vector<std::string>;

class AttachedFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Host().gTempFolder = temp_.path();
    Runtime().gAttachedFiles = std::make_unique<AttachedFiles>();
  }
  void TearDown() override {
    Runtime().gAttachedFiles.reset();
    Host().gTempFolder = savedTemp_;
  }

  // Writes the game file outside the temporary folder and loads its block.
  bool Load(const test::BlockWriter& writer) {
    const std::string game = games_.path() + "game";
    return writer.WriteTo(game) && LoadAttachedFiles(game);
  }
  Names EntryNames() const {
    Names names;
    for (const AttachedEntry& entry : Runtime().gAttachedFiles->entries()) names.push_back(entry.name);
    return names;
  }
  Names TempFiles() const {
    Names names;
    for (const auto& item : std::filesystem::directory_iterator(temp_.path()))
      names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  // The path a lookup gives, or "" when it finds nothing; then the name must be left alone.
  static std::string Resolve(const std::string& request, const std::string& ending, bool byName = false) {
    std::string name = request;
    if (byName ? ResolveVirtualFileByName(name, ending) : ResolveVirtualFile(name, ending)) return name;
    EXPECT_EQ(name, request);
    return "";
  }
  static std::string Contents(const std::string& path) {
    const auto bytes = win::ReadWholeFile(path);
    return bytes ? std::string(bytes->begin(), bytes->end()) : "<missing>";
  }

  test::TempFolder temp_;   // the process's temporary folder during the test
  test::TempFolder games_;  // where the game files lie
  std::string savedTemp_ = Host().gTempFolder;
};

test::BlockWriter GameBlock() {
  return std::move(test::BlockWriter()
                       .Front("RUNTIME PART")
                       .Entry("C:\\Temp\\_exefile.dat", "program")
                       .Entry("Media\\Tree.BMP", "tree bytes")
                       .Entry("intro.jpg", "jpeg bytes")
                       .Entry("Empty.dat", "")
                       .Entry(std::string(255, 'n'), "longest name"));
}

// Full names match ignoring case and separator; base-name lookups ignore only the entries' folders.
TEST_F(AttachedFilesTest, LookupsByFullNameAndByBaseName) {
  ASSERT_TRUE(Load(GameBlock().Entry("\\top.bmp", "top")));
  EXPECT_EQ(EntryNames(), (Names{"c:\\temp\\_exefile.dat", "media\\tree.bmp", "intro.jpg", "empty.dat",
                                 std::string(255, 'n'), "\\top.bmp"}));
  const std::tuple<std::string, bool, std::string> cases[] = {
      // request, by name, contents; none: not found
      {"Media/Tree.BMP", false, "tree bytes"},
      {std::string(255, 'N'), false, "longest name"},
      {"tree.bmp", false, ""},
      {"Media\\Tree.BMP\\", false, ""},
      {"TREE.BMP", true, "tree bytes"},
      {"media\\tree.bmp", true, ""},  // a name with a folder never matches
      {"\\top.bmp", true, "top"},
      {"top.bmp", true, ""},  // a lone leading backslash is part of the name
  };
  for (const auto& [request, byName, contents] : cases) {
    SCOPED_TRACE(request);
    const std::string path = Resolve(request, "dat", byName);
    EXPECT_EQ(path, contents.empty() ? "" : temp_.path() + "_virtual.dat");
    EXPECT_EQ(path.empty() ? "" : Contents(path), contents);
  }
  EXPECT_EQ(Contents(Resolve("empty.dat", "dat")), "");  // a size-0 entry still counts
}

TEST_F(AttachedFilesTest, OneTemporaryFilePerEndingThatNeverLeavesTheFolder) {
  for (const std::string name : {"x/..", "a\\bc", "file.tx/"}) EXPECT_EQ(VirtualFileEnding(name), "dat") << name;
  ASSERT_TRUE(Load(GameBlock()));
  const std::string first = Resolve("media/tree.bmp", "dat");
  EXPECT_EQ(Resolve("intro.jpg", "dat"), first);
  EXPECT_EQ(Contents(first), "jpeg bytes");  // the second lookup overwrote the first
  EXPECT_EQ(Resolve("intro.jpg", "jpg"), temp_.path() + "_virtual.jpg");
  for (const std::string bad : {"../../escape", "", "a/b", "x.y"})
    EXPECT_EQ(Resolve("intro.jpg", bad), temp_.path() + "_virtual.dat") << bad;
  EXPECT_EQ(TempFiles(), (Names{"_virtual.dat", "_virtual.jpg"}));
  EXPECT_FALSE(std::filesystem::exists(games_.path() + "escape"));
}

TEST_F(AttachedFilesTest, NothingHappensWithoutTheObject) {
  ASSERT_TRUE(GameBlock().WriteTo(games_.path() + "game"));
  Runtime().gAttachedFiles.reset();
  EXPECT_FALSE(LoadAttachedFiles(games_.path() + "game"));
  EXPECT_EQ(Resolve("intro.jpg", "jpg"), "");
  EXPECT_EQ(Resolve("intro.jpg", "jpg", /*byName=*/true), "");
  std::string path = "unchanged";
  EXPECT_FALSE(ExtractProgramImage(path));
  AttachedFilesRelease();
  EXPECT_EQ(path, "unchanged");
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(AttachedFilesTest, UnwritableTemporaryFileCountsAsNotFound) {
  ASSERT_TRUE(Load(GameBlock()));
  std::filesystem::create_directory(temp_.path() + "_virtual.bmp");  // in the way of the file
  EXPECT_EQ(Resolve("media/tree.bmp", "bmp"), "");

  win::SetWriteFailureForTesting(true);  // the disk fills up part-way through
  std::string path = "unchanged";
  EXPECT_FALSE(ExtractProgramImage(path));
  EXPECT_EQ(Resolve("media/tree.bmp", "dat"), "");
  win::SetWriteFailureForTesting(false);
  EXPECT_EQ(path, "unchanged");
  EXPECT_EQ(TempFiles(), Names{"_virtual.bmp"});  // no partial file left

  AttachedEntry stranger = Runtime().gAttachedFiles->entries().front();  // a copy lies in no block
  EXPECT_FALSE(ExtractAttachedEntry(stranger, path, "dat"));
  EXPECT_TRUE(ExtractAttachedEntry(Runtime().gAttachedFiles->entries().front(), path, "dat"));
  EXPECT_EQ(Contents(path), "program");
}

TEST_F(AttachedFilesTest, ReleaseDeletesEveryExtractedFile) {
  ASSERT_TRUE(Load(GameBlock()));
  temp_.Write("_virtual.wav", "not ours");
  std::string path;
  ASSERT_TRUE(ExtractProgramImage(path));
  for (const std::string ending : {"jpg", "png", "avi", "mid", "mp3", "bmp", "jpg"})
    ASSERT_NE(Resolve("intro.jpg", ending), "");
  EXPECT_EQ(TempFiles().size(), 8u);

  AttachedFilesRelease();
  EXPECT_EQ(TempFiles(), Names{"_virtual.wav"});
  EXPECT_TRUE(Runtime().gAttachedFiles->entries().empty());
  EXPECT_EQ(Resolve("intro.jpg", "jpg"), "");
}

TEST_F(AttachedFilesTest, FilesWithoutABlockGiveNoEntries) {
  const uint32_t size = GameBlock().Size();
  auto front = [](const std::string& bytes) { return test::BlockWriter().Front(bytes); };
  const std::pair<const char*, test::BlockWriter> cases[] = {
      {"offset far past the end", GameBlock().Trailer(0xFFFFFFFFu)},
      {"offset on the trailer", GameBlock().Trailer(size - 4)},
      {"offset inside the tail", GameBlock().Trailer(size - 7)},
      {"block of nothing but its trailer", front("0123456789").NoEndMarker()},  // reads as a name length
      {"first name length damaged", front("xx").Word(0x7FFFFFFFu).Bytes(std::string("abc\0", 4))},
      {"end marker out of place", front("xx").Word(0).Word(0)},
      {"no end marker", front("xx").NoEndMarker()},
  };
  for (const auto& [what, writer] : cases) {
    EXPECT_FALSE(Load(writer)) << what;
    EXPECT_TRUE(Runtime().gAttachedFiles->entries().empty()) << what;
  }

  // Files that never had a block: their last word is whatever they end with.
  const std::string plain[] = {"", "abc", std::string("abcdefgh\0\0\0\0", 12)};
  for (const std::string& bytes : plain) {
    EXPECT_FALSE(LoadAttachedFiles(games_.Write("plain", bytes))) << bytes.size();
    EXPECT_TRUE(Runtime().gAttachedFiles->entries().empty());
  }
  EXPECT_FALSE(LoadAttachedFiles(games_.path() + "missing"));
  EXPECT_FALSE(LoadAttachedFiles(win::ExecutablePath()));  // a plain runtime
  EXPECT_TRUE(Runtime().gAttachedFiles->entries().empty());
}

TEST_F(AttachedFilesTest, DamagedEntriesKeepTheEntriesBeforeThem) {
  using test::BlockWriter;
  const std::string nul(1, '\0');
  const std::pair<const char*, BlockWriter> cases[] = {
      // the damage: after a sound entry, or alone
      {"empty name", BlockWriter().RawEntry(1, nul, 1, "x")},
      {"name too long", BlockWriter().RawEntry(257, std::string(256, 'n') + nul, 1, "x")},
      {"name length huge", BlockWriter().RawEntry(0xFFFFFFFFu, "abc" + nul, 1, "x")},
      {"name without NUL", BlockWriter().RawEntry(5, "abcde", 1, "x")},
      {"block ends after a name length", BlockWriter().Word(6)},
      {"size huge", BlockWriter().RawEntry(6, "big.x" + nul, 0xFFFFFFFFu, "few")},
      {"data over the end marker", BlockWriter().RawEntry(6, "big.x" + nul, 7, "abc")},
      {"early end marker", BlockWriter().Word(0).Entry("late.txt", "late")},
  };
  for (const auto& [what, damage] : cases) {
    SCOPED_TRACE(what);
    // After one sound entry: that entry survives and still extracts.
    BlockWriter afterGood = BlockWriter().Front("RUNTIME").Entry("Good.txt", "good");
    const std::vector<uint8_t> bytes = damage.Build();
    afterGood.Bytes(std::string(bytes.begin(), bytes.end() - 8));  // without its own tail
    ASSERT_TRUE(Load(afterGood));
    EXPECT_EQ(EntryNames(), Names{"good.txt"});
    EXPECT_EQ(Contents(Resolve("GOOD.TXT", "txt")), "good");
    EXPECT_EQ(Resolve("late.txt", "txt"), "");

    // As the first entry: nothing is left.
    EXPECT_FALSE(Load(BlockWriter(damage).Front("RUNTIME")));
    EXPECT_TRUE(Runtime().gAttachedFiles->entries().empty());
  }
}

}  // namespace
}  // namespace vx
