// .3ds files converted to text .x and read back: the object hierarchy, local frames, faces
// turned to face outwards after the change of axes, materials and textures; damaged files;
// and the public corpus against the assimp command line as an outside oracle.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/models/model_test_support.h"

namespace vx {
namespace {

using test::Fixture;
using test::Near;

std::string OutputPath(const std::string& name) { return ::testing::TempDir() + "/" + name; }

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

TEST(ThreeDs, TheBoxKeepsItsHierarchyFramesFacesAndTexture) {
  const std::string out = OutputPath("box_from_3ds.x");
  ASSERT_EQ(ConvertThreeDsToX(Fixture("box.3ds"), out), 0);
  SceneModel model;
  std::string error;
  ASSERT_EQ(model.LoadX(out, error), kModelOk) << error;
  // Root, Box, and Tri under Box; the lamp and the camera are gone.
  ASSERT_EQ(model.frameCount, 3);
  std::string name;
  ASSERT_TRUE(model.GetFrameName(1, name));
  EXPECT_EQ(name, "Box");
  ASSERT_TRUE(model.GetFrameName(2, name));
  EXPECT_EQ(name, "Tri");
  EXPECT_EQ(model.root->FindFrame(2)->parent(), model.root->FindFrame(1));

  const MeshNode* box = model.FindMeshByIndex(1, 0);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->positions.size(), 8u);
  EXPECT_EQ(box->indices.size(), 36u);
  EXPECT_EQ(box->textureName, "wood.bmp");
  EXPECT_NEAR(box->diffuse[0], 200.0f / 255.0f, 1e-6f);

  // The 3DS box spans x 10..11, y 0..1, z 0..1; y and z change places.
  MeshCopy copy;
  model.CopyMeshData(copy, 1, -1);
  const test::Bounds b = test::BoundsOf(copy);
  EXPECT_TRUE(Near(b.min, 10, 0, 0));
  EXPECT_TRUE(Near(b.max, 11, 1, 1));
  // Every face faces away from the box's centre.
  const Vector3f centre(10.5f, 0.5f, 0.5f);
  for (size_t i = 0; i < copy.indices.size(); i += 3) {
    const MeshVertex& a = copy.vertices[copy.indices[i]];
    const MeshVertex& p = copy.vertices[copy.indices[i + 1]];
    const MeshVertex& c = copy.vertices[copy.indices[i + 2]];
    const Vector3f e1(p.x - a.x, p.y - a.y, p.z - a.z), e2(c.x - a.x, c.y - a.y, c.z - a.z);
    const Vector3f n(e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x);
    const Vector3f out3((a.x + p.x + c.x) / 3 - centre.x, (a.y + p.y + c.y) / 3 - centre.y, (a.z + p.z + c.z) / 3 - centre.z);
    EXPECT_GT(n.x * out3.x + n.y * out3.y + n.z * out3.z, 0.0f) << "triangle " << i / 3;
  }
  // The child's triangle stays where 3DS put it (z 5 becomes y 5) through both frames.
  MeshCopy tri;
  model.CopyMeshData(tri, 2, -1);
  ASSERT_EQ(tri.vertices.size(), 3u);
  EXPECT_TRUE(Near(Vector3f(tri.vertices[1].x, tri.vertices[1].y, tri.vertices[1].z), 1, 5, 0));
  // Texture coordinates count v downwards.
  EXPECT_EQ(box->textureCoords[1], 1.0f);
}

TEST(ThreeDs, DamagedOrMissingFilesFailAndLeaveNoOutput) {
  const std::string out = OutputPath("damaged_from_3ds.x");
  for (const char* name : {"bad-truncated.3ds", "bad-not-3ds.3ds", "bad-vertex-count.3ds", "bad-face-index.3ds",
                           "bad-chunk-length.3ds"}) {
    SCOPED_TRACE(name);
    std::ofstream(out) << "an old output";
    std::string why;
    const int32_t result = ConvertThreeDsToX(Fixture(name), out, &why);
    EXPECT_LT(result, 0);
    EXPECT_NE(result, -4);
    EXPECT_FALSE(Exists(out));
    // What is wrong, and for broken chunks where.
    EXPECT_FALSE(why.empty());
    if (std::string(name) == "bad-truncated.3ds" || std::string(name) == "bad-chunk-length.3ds") {
      EXPECT_NE(why.find("the chunk at byte "), std::string::npos) << why;
    }
  }
  std::ofstream(out) << "an old output";
  EXPECT_EQ(ConvertThreeDsToX(Fixture("no-such.3ds"), out), -4);
  EXPECT_FALSE(Exists(out));
  EXPECT_LT(ConvertThreeDsToX(Fixture("box.3ds"), "/no-such-folder/out.x"), 0);
}

// ---- the public corpus against assimp ------------------------------------------------------------

struct AssimpInfo {
  size_t faces = 0;
  Vector3f min{0, 0, 0}, max{0, 0, 0};
};

bool RunAssimpInfo(const std::string& path, AssimpInfo& info) {
  const std::string command = "assimp info '" + path + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return false;
  std::string text;
  char buffer[4096];
  while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
  if (pclose(pipe) != 0) return false;
  std::istringstream lines(text);
  std::string line;
  bool haveFaces = false, haveMin = false, haveMax = false;
  while (std::getline(lines, line)) {
    auto after = [&](const char* key) { return line.substr(line.find(key) + std::strlen(key)); };
    if (line.find("Faces:") != std::string::npos) {
      info.faces = std::stoul(after("Faces:"));
      haveFaces = true;
    } else if (line.find("Minimum point") != std::string::npos) {
      haveMin = std::sscanf(after("(").c_str(), "%f %f %f", &info.min.x, &info.min.y, &info.min.z) == 3;
    } else if (line.find("Maximum point") != std::string::npos) {
      haveMax = std::sscanf(after("(").c_str(), "%f %f %f", &info.max.x, &info.max.y, &info.max.z) == 3;
    }
  }
  return haveFaces && haveMin && haveMax;
}

// The converter skips the keyframer, where 3DS files may move, turn and scale objects at frame
// 0; assimp applies it, and leaves out objects no keyframer node places. Files where that makes a
// difference are compared on what the two still share.
struct CorpusFile {
  const char* name;
  bool placedByKeyframer;  // bounds differ
  bool objectsLeftOut;     // assimp has fewer faces
};

TEST(ThreeDsCorpus, EveryFileConvertsAndAgreesWithAssimpOnFacesAndBounds) {
  if (!Exists(test::Corpus("bsd/3DS"))) GTEST_SKIP() << "no public test data";
  const bool oracle = Exists("/usr/bin/assimp");
  const CorpusFile files[] = {
      {"bsd/3DS/fels.3ds", false, false},
      {"other/3DS/jeep1.3ds", false, false},
      {"other/3DS/mp5_sil.3ds", false, false},
      {"bsd/3DS/CameraRollAnim.3ds", true, false},
      {"bsd/3DS/CameraRollAnimWithChildObject.3ds", true, false},
      {"bsd/3DS/RotatingCube.3DS", true, false},
      {"bsd/3DS/TargetCameraAnim.3ds", true, false},
      {"bsd/3DS/cube_with_diffuse_texture.3DS", true, false},
      {"bsd/3DS/cube_with_specular_texture.3DS", true, false},
      {"bsd/3DS/cubes_with_alpha.3DS", true, false},
      {"bsd/3DS/test1.3ds", true, true},
      {"other/3DS/Granate.3DS", true, false},
      {"other/3DS/cart_wheel.3DS", true, true},
      {"other/3DS/mar_rifle.3ds", true, false},
      {"other/3DS/pyramob.3DS", true, false},
  };
  std::vector<std::pair<std::string, CorpusFile>> all;
  for (const CorpusFile& f : files) all.emplace_back(test::Corpus(f.name), f);
  all.emplace_back(Fixture("box.3ds"), CorpusFile{"box.3ds", false, false});
  for (const auto& [file, expect] : all) {
    SCOPED_TRACE(file);
    const std::string out = OutputPath("corpus_from_3ds.x");
    ASSERT_EQ(ConvertThreeDsToX(file, out), 0);
    SceneModel model;
    std::string error;
    ASSERT_EQ(model.LoadX(out, error), kModelOk) << error;
    MeshCopy copy;
    model.CopyMeshData(copy, -1, -1);
    EXPECT_TRUE(test::WellFormed(copy));
    EXPECT_GT(copy.indices.size(), 0u);
    AssimpInfo info;
    if (!oracle || !RunAssimpInfo(file, info)) continue;
    if (expect.objectsLeftOut) {
      EXPECT_GT(copy.indices.size() / 3, info.faces);
    } else {
      EXPECT_EQ(copy.indices.size() / 3, info.faces);
    }
    if (expect.placedByKeyframer) continue;
    const test::Bounds b = test::BoundsOf(copy);
    // assimp turns z up into y up the right-handed way: its z is our -z.
    const float tolerance = 1e-3f * std::max(1.0f, std::fabs(info.max.x - info.min.x) + std::fabs(info.max.y - info.min.y));
    EXPECT_TRUE(Near(b.min, info.min.x, info.min.y, -info.max.z, tolerance));
    EXPECT_TRUE(Near(b.max, info.max.x, info.max.y, -info.min.z, tolerance));
  }
}

}  // namespace
}  // namespace vx
