// .3ds files converted to text .x and read back: the object hierarchy, local frames, faces
// turned to face outwards after the change of axes, materials and textures; damaged files;
// and the public corpus against the assimp command line as an outside oracle.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
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
  EXPECT_EQ(box->positions().size(), 8u);
  EXPECT_EQ(box->indices().size(), 36u);
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
    const Vector3f out3((a.x + p.x + c.x) / 3 - centre.x, (a.y + p.y + c.y) / 3 - centre.y,
                        (a.z + p.z + c.z) / 3 - centre.z);
    EXPECT_GT(n.x * out3.x + n.y * out3.y + n.z * out3.z, 0.0f) << "triangle " << i / 3;
  }
  // The child's triangle stays where 3DS put it (z 5 becomes y 5) through both frames.
  MeshCopy tri;
  model.CopyMeshData(tri, 2, -1);
  ASSERT_EQ(tri.vertices.size(), 3u);
  EXPECT_TRUE(Near(Vector3f(tri.vertices[1].x, tri.vertices[1].y, tri.vertices[1].z), 1, 5, 0));
  // Texture coordinates count v downwards.
  EXPECT_EQ(box->textureCoords()[1], 1.0f);
}

// ---- keyframer hierarchies built here --------------------------------------------------------

std::string Chunk(uint16_t id, const std::string& body) {
  std::string out(6, '\0');
  const uint32_t length = uint32_t(body.size() + 6);
  out[0] = char(id & 0xFF), out[1] = char(id >> 8);
  for (int i = 0; i < 4; ++i) out[size_t(2 + i)] = char((length >> (8 * i)) & 0xFF);
  return out + body;
}
std::string Word(uint16_t w) { return std::string{char(w & 0xFF), char(w >> 8)}; }
std::string Floats(std::initializer_list<float> values) {
  std::string out;
  for (float f : values) {
    char bytes[4];
    std::memcpy(bytes, &f, 4);
    out.append(bytes, 4);
  }
  return out;
}
// A mesh object of one triangle.
std::string Triangle(const std::string& name) {
  const std::string mesh = Chunk(0x4110, Word(3) + Floats({0, 0, 0, 1, 0, 0, 0, 1, 0})) +
                           Chunk(0x4120, Word(1) + Word(0) + Word(1) + Word(2) + Word(0));
  return Chunk(0x4000, name + std::string(1, '\0') + Chunk(0x4100, mesh));
}
std::string Node(uint16_t id, const std::string& name, int16_t parent) {
  return Chunk(0xB002, Chunk(0xB030, Word(id)) +
                           Chunk(0xB010, name + std::string(1, '\0') + Word(0) + Word(0) + Word(uint16_t(parent))));
}
// Each frame's name and its parent's ("" at the top), as the converted model holds them.
std::map<std::string, std::string> ParentsOf(const std::vector<std::string>& meshes, const std::string& nodes) {
  std::string editor;
  for (const std::string& name : meshes) editor += Triangle(name);
  const std::string file = Chunk(0x4D4D, Chunk(0x3D3D, editor) + Chunk(0xB000, nodes));
  const std::string source = OutputPath("keyframer.3ds"), out = OutputPath("keyframer.x");
  std::ofstream(source, std::ios::binary) << file;
  std::map<std::string, std::string> parents;
  std::string error;
  if (ConvertThreeDsToX(source, out, &error) != 0) {
    ADD_FAILURE() << error;
    return parents;
  }
  SceneModel model;
  if (model.LoadX(out, error) != kModelOk) {
    ADD_FAILURE() << error;
    return parents;
  }
  for (int32_t id = 1; id < model.frameCount; ++id) {
    const FrameNode* frame = model.root->FindFrame(id);
    const auto* parent = static_cast<const FrameNode*>(frame->parent());
    parents[frame->name()] = parent == model.root ? "" : parent->name();
  }
  return parents;
}

TEST(ThreeDs, KeyframerNodesGiveEachMeshTheNearestAncestorNamingAnotherMesh) {
  using Parents = std::map<std::string, std::string>;
  // B's node hangs under a node naming no mesh, under A's; C's under another node of C, under B's.
  EXPECT_EQ(ParentsOf({"A", "B", "C"},
                      Node(0, "A", -1) + Node(1, "nothing", 0) + Node(2, "B", 1) + Node(3, "C", 2) + Node(4, "C", 3)),
            (Parents{{"A", ""}, {"B", "A"}, {"C", "B"}}));
  // The first node of a mesh that finds a parent decides; a later one changes nothing.
  EXPECT_EQ(ParentsOf({"A", "B", "C"}, Node(0, "A", -1) + Node(1, "B", -1) + Node(2, "C", 0) + Node(3, "C", 1)),
            (Parents{{"A", ""}, {"B", ""}, {"C", "A"}}));
  // Nodes whose parents lead round in a circle, and meshes that would be each other's parents,
  // still give every mesh one frame.
  const Parents circle = ParentsOf({"A", "B"}, Node(0, "A", 1) + Node(1, "B", 0));
  ASSERT_EQ(circle.size(), 2u);
  EXPECT_TRUE(circle.at("A").empty() || circle.at("B").empty());
  const Parents crossed =
      ParentsOf({"A", "B"}, Node(0, "A", -1) + Node(1, "B", 0) + Node(2, "B", -1) + Node(3, "A", 2));
  ASSERT_EQ(crossed.size(), 2u);
  EXPECT_TRUE(crossed.at("A").empty() || crossed.at("B").empty());
  // A mesh without a node stands at the top; a node id met twice is the first node of that id.
  EXPECT_EQ(ParentsOf({"A", "B", "C"}, Node(0, "A", -1) + Node(0, "B", -1) + Node(1, "C", 0)),
            (Parents{{"A", ""}, {"B", ""}, {"C", "A"}}));
}

TEST(ThreeDs, DamagedOrMissingFilesFailAndLeaveNoOutput) {
  const std::string out = OutputPath("damaged_from_3ds.x");
  for (const char* name :
       {"bad-truncated.3ds", "bad-not-3ds.3ds", "bad-vertex-count.3ds", "bad-face-index.3ds", "bad-chunk-length.3ds"}) {
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
    const float tolerance =
        1e-3f * std::max(1.0f, std::fabs(info.max.x - info.min.x) + std::fabs(info.max.y - info.min.y));
    EXPECT_TRUE(Near(b.min, info.min.x, info.min.y, -info.max.z, tolerance));
    EXPECT_TRUE(Near(b.max, info.max.x, info.max.y, -info.min.z, tolerance));
  }
}

}  // namespace
}  // namespace vx
