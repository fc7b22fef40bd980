// The static world file: a world saved, cleared and loaded back has the same geometry, the same
// textures (written beside it as DXT1 ".dds" files) and the same collision answers; a smaller world
// saved over a larger one leaves nothing of it; damaged files (cut at every length, huge counts,
// stray markers, indices outside their part) fail and keep the world that was there; a missing
// file is made empty; a standalone game finds the world and each of its textures among its
// attached files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "common/host_state.h"
#include "common/le_words.h"
#include "engine3d/static_world_file.h"
#include "platform/win/files.h"
#include "runtime/attached_files.h"
#include "tests/engine3d/static_world_fixture.h"
#include "tests/support/block_writer.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

using test::BoxMesh;
using test::StripMesh;
using test::TestMesh;

std::vector<uint8_t> Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

class StaticWorldFileTest : public test::StaticWorldTest {
 protected:
  std::string Path(const std::string& name) const { return dir_.path() + name; }

  // The world's bytes with every group under texture number 0: its geometry, whatever textures
  // it was given.
  static std::vector<uint8_t> Shape() {
    std::vector<uint32_t> slots;
    for (StaticTextureGroup& g : Engine().gStaticWorld.geometry.groups)
      slots.push_back(std::exchange(g.textureSlot, 0));
    std::vector<uint8_t> bytes = EncodeStaticWorld(Engine().gStaticWorld.geometry);
    auto slot = slots.begin();
    for (StaticTextureGroup& g : Engine().gStaticWorld.geometry.groups) g.textureSlot = *slot++;
    return bytes;
  }
  // What the box and sweep tests answer for a few moves through the world.
  static std::vector<float> CollisionAnswers() {
    std::vector<float> answers;
    const float moves[][6] = {{-20, 0, 100, 20, 0, 100}, {0, 30, 100, 0, -30, 100}, {5, 5, 5, 5, 5, 5}};
    for (const auto& m : moves) {
      float out[3];
      answers.push_back(float(StaticWorldSweepTest(m, m + 3, 0.5f, 1.0f, out)));
      answers.insert(answers.end(), out, out + 3);
      const float oldBox[6] = {m[0] - 1, m[1] - 1, m[2] - 1, m[0] + 1, m[1] + 1, m[2] + 1};
      const float newBox[6] = {m[3] - 1, m[4] - 1, m[5] - 1, m[3] + 1, m[4] + 1, m[5] + 1};
      answers.push_back(float(StaticBoxListTest(oldBox, newBox, out)));
      answers.insert(answers.end(), out, out + 3);
    }
    return answers;
  }
  // Two textures, parts of every kind, two boxes, culled once so that their states are set.
  void BuildWorld(uint32_t first, uint32_t second) {
    ASSERT_EQ(Add(first, BoxMesh(0, 0, 100, 4, 4, 4)), 1);
    ASSERT_EQ(Add(first, BoxMesh(10, 0, 120, 2, 2, 2), 0, 1), 1);
    ASSERT_EQ(Add(second, BoxMesh(60, 0, 150, 20, 20, 1), 1, 1, 0, 1), 1);  // hides none of them
    ASSERT_EQ(Add(second, StripMesh(20), 1), 1);
    ASSERT_EQ(AddStaticCollisionBox(-2, -2, 98, 2, 2, 102), 0);
    ASSERT_EQ(AddStaticCollisionBox(0, 0, 0, 10, 10, 10), 0);
    Frame();
  }
  // One group of one three-vertex part, and one box.
  static void SmallWorld() {
    ASSERT_EQ(Add(0, StripMesh(3)), 1);
    ASSERT_EQ(AddStaticCollisionBox(1, 2, 3, 4, 5, 6), 0);
  }

  test::TempFolder dir_;
};

TEST_F(StaticWorldFileTest, ASavedWorldLoadsBackWithItsGeometryTexturesAndCollisions) {
  const uint32_t red = ColourTexture(0xFF0000), blue = ColourTexture(0x0000FF);
  BuildWorld(red, blue);
  const std::vector<uint8_t> shape = Shape();
  const std::vector<float> answers = CollisionAnswers();
  const std::string level = Path("level.dat");
  ASSERT_EQ(SaveStaticWorldFile(level.c_str()), 1);
  for (uint32_t slot : {red, blue}) {
    const std::vector<uint8_t> dds = Bytes(StaticTextureFileName(level, slot));
    ASSERT_GE(dds.size(), 128u) << slot;
    EXPECT_EQ(std::string(dds.begin(), dds.begin() + 4), "DDS ");
    EXPECT_EQ(std::string(dds.begin() + 84, dds.begin() + 88), "DXT1");
  }
  EXPECT_EQ(Bytes(level).size(), EncodeStaticWorld(Engine().gStaticWorld.geometry).size());

  ClearStaticGeometry();
  EXPECT_EQ(CollisionAnswers(), std::vector<float>(answers.size(), 0.0f));
  ASSERT_EQ(LoadStaticWorldFile(level.c_str()), 1);
  EXPECT_EQ(Shape(), shape);
  EXPECT_EQ(CollisionAnswers(), answers);
  const auto& groups = Engine().gStaticWorld.geometry.groups;
  ASSERT_EQ(groups.size(), 2u);
  const uint32_t loadedRed = groups.front().textureSlot, loadedBlue = groups.back().textureSlot;
  ASSERT_GT(loadedRed, 0u);
  ASSERT_GT(loadedBlue, 0u);
  EXPECT_EQ(test::ColourAt(StaticTextureSurface(loadedRed), 0, 0), 0xFF0000u);
  EXPECT_EQ(test::ColourAt(StaticTextureSurface(loadedBlue), 0, 0), 0x0000FFu);
  EXPECT_EQ(Frame().batches, 2u) << "drawn again";

  // Loaded again under another spelling: its textures are the ones already loaded.
  const std::string shouting = Path("LEVEL.DAT");
  ASSERT_EQ(LoadStaticWorldFile(shouting.c_str()), 1);
  EXPECT_EQ(groups.front().textureSlot, loadedRed);
  EXPECT_EQ(groups.back().textureSlot, loadedBlue);
  EXPECT_EQ(UsesOf(loadedRed), 1) << "the old world gave its use back";
}

TEST_F(StaticWorldFileTest, ASmallerWorldSavedOverALargerOneLeavesNothingOfIt) {
  BuildWorld(0, 0);
  const std::string level = Path("level.dat");
  ASSERT_EQ(SaveStaticWorldFile(level.c_str()), 1);
  ClearStaticGeometry();
  EXPECT_EQ(SaveStaticWorldFile(level.c_str()), 0) << "an empty world is not saved";
  SmallWorld();
  const std::vector<uint8_t> small = EncodeStaticWorld(Engine().gStaticWorld.geometry);
  ASSERT_EQ(SaveStaticWorldFile(level.c_str()), 1);
  EXPECT_EQ(Bytes(level), small);
  ClearStaticGeometry();
  ASSERT_EQ(LoadStaticWorldFile(level.c_str()), 1);
  EXPECT_EQ(EncodeStaticWorld(Engine().gStaticWorld.geometry), small);
}

TEST_F(StaticWorldFileTest, AFileCutAtAnyLengthFailsAndKeepsTheWorldThatWasThere) {
  SmallWorld();
  const std::vector<uint8_t> whole = EncodeStaticWorld(Engine().gStaticWorld.geometry);
  ClearStaticGeometry();
  ASSERT_EQ(Add(0, BoxMesh(1, 2, 3, 4, 5, 6)), 1);
  const std::vector<uint8_t> before = EncodeStaticWorld(Engine().gStaticWorld.geometry);
  const std::string cut = Path("cut.dat");
  for (size_t length = 0; length < whole.size(); ++length) {
    WriteBytes(cut, std::vector<uint8_t>(whole.begin(), whole.begin() + ptrdiff_t(length)));
    ASSERT_EQ(ReadStaticWorldFile(cut, cut), 0) << length;
    ASSERT_EQ(EncodeStaticWorld(Engine().gStaticWorld.geometry), before) << length;
  }
  WriteBytes(cut, whole);
  EXPECT_EQ(ReadStaticWorldFile(cut, cut), 1);
}

TEST_F(StaticWorldFileTest, CountsMarkersAndIndicesAreCheckedBeforeAnythingIsMade) {
  SmallWorld();
  const std::vector<uint8_t> good = EncodeStaticWorld(Engine().gStaticWorld.geometry);
  // Group marker, texture number, part marker, then the vertex count at 6 and three vertices.
  constexpr size_t kVertexCount = 6, kIndexCount = 6 + 4 + 3 * 32, kFirstIndex = kIndexCount + 4;
  const std::string file = Path("bad.dat");
  auto refused = [&](std::vector<uint8_t> bytes) {
    WriteBytes(file, bytes);
    return ReadStaticWorldFile(file, file) == 0 && EncodeStaticWorld(Engine().gStaticWorld.geometry) == good;
  };
  auto with = [&](size_t at, uint32_t word) {
    std::vector<uint8_t> bytes = good;
    WriteLE32(bytes.data() + at, word);
    return bytes;
  };
  EXPECT_TRUE(refused(with(kVertexCount, 0xFFFFFFFFu)));
  EXPECT_TRUE(refused(with(kIndexCount, 0x7FFFFFFFu)));
  EXPECT_TRUE(refused(with(kIndexCount, 4))) << "not whole triangles";
  std::vector<uint8_t> stray = good;
  stray[kFirstIndex] = 3;
  EXPECT_TRUE(refused(stray)) << "an index past the part's three vertices";
  std::vector<uint8_t> marker = good;
  marker[0] = 2;
  EXPECT_TRUE(refused(marker));

  // More vertices than 16-bit indices reach, all of them present in the file.
  std::vector<uint8_t> huge = {1, 0, 0, 0, 0, 1};
  AppendLE32(huge, kMaxStaticPartVertices + 1);
  huge.resize(huge.size() + (kMaxStaticPartVertices + 1) * sizeof(StaticVertex));
  huge.insert(huge.end(), good.begin() + ptrdiff_t(kIndexCount), good.end());
  EXPECT_TRUE(refused(huge));

  std::vector<uint8_t> tail = good;
  tail.insert(tail.end(), {7, 7, 7});
  WriteBytes(file, tail);
  EXPECT_EQ(ReadStaticWorldFile(file, file), 1) << "what follows the last marker is not read";
}

TEST_F(StaticWorldFileTest, AnOccluderKeepsNoGeometryThroughTheFile) {
  ASSERT_EQ(Add(0, BoxMesh(0, 0, 50, 40, 40, 1), 1, 1), 1);
  ASSERT_EQ(Add(0, BoxMesh(0, 0, 200, 2, 2, 2)), 1);
  std::vector<uint8_t> bytes = EncodeStaticWorld(Engine().gStaticWorld.geometry);
  EXPECT_EQ(ReadLE32(bytes.data() + 6), 0u) << "no vertices written";
  // A file that still holds the geometry of an occluder loads without it.
  ClearStaticGeometry();
  ASSERT_EQ(Add(0, BoxMesh(0, 0, 50, 40, 40, 1), 1), 1);
  ASSERT_EQ(Add(0, BoxMesh(0, 0, 200, 2, 2, 2)), 1);
  bytes = EncodeStaticWorld(Engine().gStaticWorld.geometry);
  const size_t flags = 6 + 4 + 8 * 32 + 4 + 36 * 2 + 5 * 4;
  ASSERT_EQ(bytes[flags + 1], 1) << "has a culling box";
  bytes[flags + 3] = 1;  // and dropped its geometry
  const std::string file = Path("occluder.dat");
  WriteBytes(file, bytes);
  ClearStaticGeometry();
  ASSERT_EQ(ReadStaticWorldFile(file, file), 1);
  EXPECT_TRUE(Parts()[0]->vertices.empty());
  Frame();
  EXPECT_EQ(Parts()[1]->visible, 0) << "it still hides what lies behind it";
}

TEST_F(StaticWorldFileTest, AMissingFileIsMadeEmptyAndLoadsNothing) {
  SmallWorld();
  const std::vector<uint8_t> before = EncodeStaticWorld(Engine().gStaticWorld.geometry);
  const std::string missing = Path("missing.dat");
  EXPECT_EQ(LoadStaticWorldFile(missing.c_str()), 0);
  EXPECT_TRUE(std::filesystem::is_regular_file(missing));
  EXPECT_EQ(std::filesystem::file_size(missing), 0u);
  EXPECT_EQ(LoadStaticWorldFile(missing.c_str()), 0) << "an empty file holds no world";
  EXPECT_EQ(LoadStaticWorldFile(dir_.path().c_str()), 0) << "a folder is no file";
  EXPECT_EQ(EncodeStaticWorld(Engine().gStaticWorld.geometry), before);
}

TEST_F(StaticWorldFileTest, AStandaloneGameFindsTheWorldAndEachTextureAmongItsFiles) {
  const uint32_t red = ColourTexture(0xFF0000), blue = ColourTexture(0x0000FF);
  BuildWorld(red, blue);
  const std::vector<uint8_t> shape = Shape();
  const std::string level = Path("level.dat");
  ASSERT_EQ(SaveStaticWorldFile(level.c_str()), 1);
  auto text = [](const std::string& path) {
    const std::vector<uint8_t> b = Bytes(path);
    return std::string(b.begin(), b.end());
  };
  const std::string game = Path("game");
  ASSERT_TRUE(test::BlockWriter()
                  .Front("runtime")
                  .Entry("program.dat", "")
                  .Entry("media\\level.dat", text(level))
                  .Entry("media\\level.dat_" + std::to_string(red) + ".dds", text(StaticTextureFileName(level, red)))
                  .Entry("media\\level.dat_" + std::to_string(blue) + ".dds", text(StaticTextureFileName(level, blue)))
                  .WriteTo(game));
  std::filesystem::remove_all(level);
  std::filesystem::remove_all(StaticTextureFileName(level, red));
  std::filesystem::remove_all(StaticTextureFileName(level, blue));
  Runtime().gAttachedFiles = std::make_unique<AttachedFiles>();
  ASSERT_TRUE(LoadAttachedFiles(game));
  test::TempFolder temp;
  const std::string savedTemp = std::exchange(Host().gTempFolder, temp.path());
  ClearStaticGeometry();

  const int32_t loaded = LoadStaticWorldFile("Media/Level.dat");
  Runtime().gAttachedFiles.reset();
  Host().gTempFolder = savedTemp;
  ASSERT_EQ(loaded, 1);
  EXPECT_EQ(Shape(), shape);
  const auto& groups = Engine().gStaticWorld.geometry.groups;
  ASSERT_NE(StaticTextureSurface(groups.front().textureSlot), nullptr);
  ASSERT_NE(StaticTextureSurface(groups.back().textureSlot), nullptr);
  EXPECT_EQ(test::ColourAt(StaticTextureSurface(groups.front().textureSlot), 0, 0), 0xFF0000u);
  EXPECT_EQ(test::ColourAt(StaticTextureSurface(groups.back().textureSlot), 0, 0), 0x0000FFu)
      << "each texture is its own, though both pass through one temporary file";
}

}  // namespace
}  // namespace vx
