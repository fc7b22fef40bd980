// Reading .x files into scene trees: frame order (the limb numbers), triangulation, normals
// de-indexed against their own face list, materials and textures, the same model in text,
// binary and compressed form, the public corpus, and damaged files that must fail cleanly.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "common/checklist.h"
#include "models/xfile.h"
#include "tests/models/model_test_support.h"

namespace vx {
namespace {

using test::AllForms;
using test::Fixture;
using test::Near;

class RecordingTextures : public ModelServices {
 public:
  uint32_t LoadTexture(const std::string& name) override {
    loaded.push_back(name);
    return uint32_t(loaded.size()) + 6;
  }
  void ReleaseTexture(uint32_t slot) override { released.push_back(slot); }
  win::Direct3D* Direct3DForBuffers() override { return nullptr; }
  std::vector<std::string> loaded;
  std::vector<uint32_t> released;
};

class XReader : public ::testing::Test {
 protected:
  void SetUp() override { SetModelServices(&textures_); }
  void TearDown() override { SetModelServices(nullptr); }
  RecordingTextures textures_;
};

const MeshNode* Mesh(const SceneModel& model, int32_t frame, int32_t index) {
  const MeshNode* m = model.FindMeshByIndex(frame, index);
  EXPECT_NE(m, nullptr) << "frame " << frame << " mesh " << index;
  return m;
}

TEST_F(XReader, FramesNumberInReadOrderAndMeshesComeOutAsTheFileMeantInEveryForm) {
  MeshCopy first;
  for (const std::string& path : AllForms("frames")) {
    SCOPED_TRACE(path);
    textures_.loaded.clear();
    SceneModel model;
    std::string error;
    ASSERT_EQ(model.LoadX(path, error), kModelOk) << error;
    // The root, then the frames as read (nested ones right after their parent), then a frame of
    // its own for the mesh that stands outside every frame.
    ASSERT_EQ(model.frameCount, 5);
    const char* names[] = {"root", "Body", "Arm", "Leg", "Loose"};
    for (int32_t id = 0; id < 5; ++id) {
      std::string name;
      ASSERT_TRUE(model.GetFrameName(id, name));
      EXPECT_EQ(name, names[id]);
    }
    Matrix4f m;
    ASSERT_TRUE(model.GetMatrixById(1, m));
    EXPECT_TRUE(Near(Vector3f(m.At(3, 0), m.At(3, 1), m.At(3, 2)), 1, 2, 3));
    ASSERT_TRUE(model.GetMatrixById(2, m));
    EXPECT_EQ(m.At(1, 1), 2.0f);

    // The quad: two triangles; its normals have their own face list, so the corners that pair
    // a vertex with a different normal become vertices of their own.
    const MeshNode* quad = Mesh(model, 2, 0);
    ASSERT_NE(quad, nullptr);
    EXPECT_EQ(model.MeshCountById(2), 1);
    ASSERT_EQ(quad->indices().size(), 6u);
    ASSERT_EQ(quad->positions().size(), 4u);
    ASSERT_EQ(quad->normals().size(), quad->positions().size());
    EXPECT_EQ(quad->indices(), (std::vector<uint16_t>{0, 1, 2, 0, 2, 3}));
    EXPECT_TRUE(Near(quad->positions()[1], 1, -1, 0));
    EXPECT_TRUE(Near(quad->normals()[0], 0, 0, -1));
    EXPECT_TRUE(Near(quad->normals()[1], 0, 0, -2));
    EXPECT_TRUE(Near(quad->normals()[2], 0, 0, -2));
    EXPECT_TRUE(Near(quad->normals()[3], 0, 0, -1));
    EXPECT_EQ(quad->textureCoords(), (std::vector<float>{0, 1, 1, 1, 1, 0, 0, 0}));
    EXPECT_EQ(quad->textureName, "red.bmp");
    EXPECT_EQ(quad->diffuse[0], 1.0f);

    // Two materials: one mesh per material, in material order; normals made from the faces.
    ASSERT_EQ(model.MeshCountById(3), 2);
    const MeshNode* plain = Mesh(model, 3, 0);
    const MeshNode* blue = Mesh(model, 3, 1);
    ASSERT_TRUE(plain && blue);
    EXPECT_EQ(plain->textureName, "");
    EXPECT_EQ(blue->textureName, "blue.png");
    ASSERT_EQ(plain->positions().size(), 3u);
    EXPECT_TRUE(Near(plain->positions()[0], 0, 0, 5));
    EXPECT_TRUE(Near(plain->normals()[0], 0, 0, -1));
    EXPECT_TRUE(Near(blue->positions()[0], 0, 0, 0));

    // A triangle with no area keeps zero normals rather than dividing by zero.
    const MeshNode* loose = Mesh(model, 4, 0);
    ASSERT_NE(loose, nullptr);
    EXPECT_TRUE(Near(loose->normals()[0], 0, 0, 0));

    // Textures are asked of the engine once the tree stands, in tree order.
    EXPECT_EQ(textures_.loaded, (std::vector<std::string>{"red.bmp", "blue.png"}));
    uint32_t slot = model.GetTextureById(2);
    EXPECT_EQ(slot, 7u);
    std::string textureName;
    ASSERT_TRUE(model.GetTextureNameById(2, textureName));
    EXPECT_EQ(textureName, "red.bmp");

    MeshCopy copy;
    model.CopyMeshData(copy, -1, -1);
    EXPECT_TRUE(test::WellFormed(copy));
    if (first.vertices.empty()) {
      first = copy;
    } else {
      ASSERT_EQ(copy.vertices.size(), first.vertices.size());
      EXPECT_EQ(std::memcmp(copy.vertices.data(), first.vertices.data(), copy.vertices.size() * sizeof(MeshVertex)), 0);
      EXPECT_EQ(copy.indices, first.indices);
    }
    EXPECT_EQ(model.animationSet, nullptr);
  }
}

TEST_F(XReader, CopiedGeometryIsMovedByTheFrameMatricesBelowTheRoot) {
  SceneModel model;
  ASSERT_EQ(model.LoadX(test::Source("frames.x")), kModelOk);
  Matrix4f far = {};
  far.m[0] = far.m[5] = far.m[10] = far.m[15] = 1.0f;
  far.At(3, 0) = 100.0f;
  model.SetRootTransform(far);
  MeshCopy arm;
  model.CopyMeshData(arm, 2, -1);
  ASSERT_EQ(arm.vertices.size(), 4u);
  // Arm scales by 2 under Body, which moves by (1, 2, 3); the root's place is left out.
  EXPECT_TRUE(Near(Vector3f(arm.vertices[1].x, arm.vertices[1].y, arm.vertices[1].z), 3, 0, 3));
  MeshCopy placed;
  model.CopyMeshData(placed, 2, -1, &far);
  EXPECT_TRUE(Near(Vector3f(placed.vertices[1].x, placed.vertices[1].y, placed.vertices[1].z), 103, 0, 3));
  // Normals come out at unit length.
  EXPECT_TRUE(Near(Vector3f(placed.vertices[1].nx, placed.vertices[1].ny, placed.vertices[1].nz), 0, 0, -1));
  MeshCopy blueOnly;
  model.CopyMeshData(blueOnly, -1, 8);
  EXPECT_EQ(blueOnly.meshVertexCounts, (std::vector<uint32_t>{3}));
}

TEST_F(XReader, FrameListStaysInsideTheChecklistAndItsTexts) {
  // 600 frames, one with a name of 300 characters.
  std::string text = "xof 0303txt 0032\n";
  const std::string longName(300, 'n');
  for (int i = 0; i < 600; ++i) text += "Frame " + (i == 3 ? longName : "f" + std::to_string(i)) + " {\n}\n";
  const std::string path = ::testing::TempDir() + "/many_frames.x";
  std::ofstream(path) << text;
  SceneModel model;
  ASSERT_EQ(model.LoadX(path), kModelOk);
  EXPECT_EQ(model.frameCount, 601);
  ResetChecklist();
  model.ListFrames();
  EXPECT_EQ(Checklist().gChecklistCount, kChecklistCapacity);
  EXPECT_EQ(Checklist().gChecklist[0].values[0], 0);
  EXPECT_STREQ(Checklist().gChecklist[1].text, "f0");
  EXPECT_EQ(std::string(Checklist().gChecklist[4].text), longName.substr(0, 255));
  EXPECT_EQ(Checklist().gChecklist[511].values[0], 511);
  std::string name;
  ASSERT_TRUE(model.GetFrameName(4, name));
  EXPECT_EQ(name, longName);
}

TEST_F(XReader, DamagedFilesFailWithAReasonAndLeaveNoTree) {
  const char* damaged[] = {
      "bad-truncated-text.x", "bad-truncated-binary.x", "bad-deflate.x",    "bad-zip-size.x",     "bad-zip-short.x",
      "bad-list-count.x",     "bad-array-count.x",      "bad-face-index.x", "bad-normal-index.x", "bad-deep-frames.x",
      "bad-template-loop.x",  "bad-header.x",           "bad-unclosed.x",   "bad-string.x"};
  for (const char* name : damaged) {
    SCOPED_TRACE(name);
    SceneModel model;
    std::string error;
    EXPECT_EQ(model.LoadX(Fixture(name), error), kModelFail);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(model.root, nullptr);
    EXPECT_EQ(model.frameCount, 0);
    EXPECT_EQ(model.animationSet, nullptr);
  }
  EXPECT_TRUE(textures_.loaded.empty());
  SceneModel missing;
  EXPECT_EQ(missing.LoadX(Fixture("no-such-file.x")), kModelFail);
}

TEST_F(XReader, EveryCutOfAGoodFileFailsCleanly) {
  // Every prefix of the binary and compressed forms either fails or, where the cut falls after
  // the last object, loads; nothing reads outside the data.
  for (const char* name : {"frames.bin32.x", "frames.bzip.x", "anim.bin64.x"}) {
    std::ifstream in(Fixture(name), std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
      xfile::File file;
      std::string error;
      const std::vector<uint8_t> part(bytes.begin(), bytes.begin() + std::ptrdiff_t(cut));
      if (!xfile::ReadFile(part.data(), part.size(), file, error)) {
        EXPECT_FALSE(error.empty());
        EXPECT_TRUE(file.objects.empty());
      }
    }
  }
}

// What a file names over and over would be built over and over: a model whose meshes, their
// materials or its keys would pass the budget is refused before any of it is made.
TEST_F(XReader, ModelsThatWouldPassTheMemoryBudgetAreRefusedBeforeTheyAreBuilt) {
  const auto read = [](const std::string& text, std::string& error) {
    XModel model;
    const bool ok = ReadXModelFromMemory(reinterpret_cast<const uint8_t*>(text.data()), text.size(), model, error);
    SceneModel owner;
    owner.root = model.root;
    owner.animationSet = model.animationSet;
    return ok;
  };
  const std::string header = "xof 0303txt 0032\n";
  std::string materials = header + "Material Long { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { \"" +
                          std::string(16384, 't') + ".bmp\"; } }\n" +
                          "Mesh m { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshMaterialList { 20000; 1; 0;;";
  for (int i = 0; i < 20000; ++i) materials += "{Long}";
  materials += "} }\n";
  std::string error;
  EXPECT_FALSE(read(materials, error));
  EXPECT_NE(error.find("would take more than 256 MB"), std::string::npos) << error;

  // Keys: 2,000 frames, each with an animation naming one key object of 10,000 keys.
  std::string keys = header + "AnimationKey K { 2; 10000; ";
  for (int i = 0; i < 10000; ++i) keys += std::to_string(i) + ";3;0,0,0;;" + (i + 1 < 10000 ? "," : ";");
  keys += " }\n";
  for (int i = 0; i < 2000; ++i) keys += "Frame f" + std::to_string(i) + " {}\n";
  keys += "AnimationSet S {";
  for (int i = 0; i < 2000; ++i) keys += "Animation { {f" + std::to_string(i) + "} {K} }";
  keys += "}\n";
  EXPECT_FALSE(read(keys, error));
  EXPECT_NE(error.find("animation keys would take more than 256 MB"), std::string::npos) << error;
}

TEST_F(XReader, ALoadIntoAModelThatHoldsATreeFails) {
  SceneModel model;
  ASSERT_EQ(model.LoadX(test::Source("frames.x")), kModelOk);
  FrameNode* root = model.root;
  EXPECT_EQ(model.LoadX(test::Source("anim.x")), kModelFail);
  EXPECT_EQ(model.root, root);
  EXPECT_EQ(model.frameCount, 5);
}

TEST_F(XReader, TemplatesTheFileDeclaresShapeItsObjects) {
  std::ifstream in(test::Source("frames.x"), std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  xfile::File file;
  std::string error;
  ASSERT_TRUE(xfile::ReadFile(reinterpret_cast<const uint8_t*>(text.data()), text.size(), file, error)) << error;
  ASSERT_TRUE(file.templates.count("Sticker"));
  const xfile::DataObject& sticker = *file.objects[0];
  EXPECT_EQ(sticker.templateName, "Sticker");
  ASSERT_EQ(sticker.values.size(), 4u);
  EXPECT_EQ(sticker.Number(0), 2.0);
  EXPECT_EQ(sticker.Number(2), 0.25);
  ASSERT_NE(sticker.Text(3), nullptr);
  EXPECT_EQ(*sticker.Text(3), "ignored");
  // The material list's reference points at the top-level material by name.
  const xfile::DataObject& body = *file.objects[2];
  const xfile::DataObject& arm = *body.children[1].object;
  const xfile::DataObject& quad = *arm.children[1].object;
  const xfile::DataObject& list = *quad.children[2].object;
  ASSERT_EQ(list.children.size(), 1u);
  EXPECT_TRUE(list.children[0].IsReference());
  EXPECT_EQ(list.children[0].Target(), file.objects[1].get());
}

// An array of two dimensions holds rows times columns elements, as the members after it show.
TEST_F(XReader, AnArrayOfTwoDimensionsHoldsRowsTimesColumns) {
  const std::string text =
      "xof 0303txt 0032\n"
      "template Table { DWORD rows; DWORD cols; array FLOAT cells[rows][cols]; STRING label; }\n"
      "Table t { 2; 3; 1.5, 2, 3, 4, 5, 6.5; \"six\"; }\n"
      "Frame f { Mesh { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; } }\n";
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  xfile::File file;
  std::string error;
  ASSERT_TRUE(xfile::ReadFile(bytes, text.size(), file, error)) << error;
  const xfile::DataObject& table = *file.objects[0];
  ASSERT_EQ(table.values.size(), 9u);
  EXPECT_EQ(table.Number(2), 1.5);
  EXPECT_EQ(table.Number(7), 6.5);
  ASSERT_NE(table.Text(8), nullptr);
  EXPECT_EQ(*table.Text(8), "six");
  XModel model;
  ASSERT_TRUE(ReadXModelFromMemory(bytes, text.size(), model, error)) << error;
  SceneModel owner;
  owner.root = model.root;
  owner.frameCount = model.frameCount;
  EXPECT_EQ(owner.frameCount, 2);
  EXPECT_EQ(model.notes, std::vector<std::string>{"template Table skipped"});
}

// Members cost the reader work whether or not they hold data: templates that expand to more
// members than the data could hold are refused, however they nest; data nested as deep as
// templates go, one number to every two bytes, is read.
TEST_F(XReader, TemplatesAreReadOnlyAsFarAsTheDataCanPayForThem) {
  const auto read = [](const std::string& text, xfile::File& file, std::string& error) {
    return xfile::ReadFile(reinterpret_cast<const uint8_t*>(text.data()), text.size(), file, error);
  };
  xfile::File file;
  std::string error;
  // Six members of the template before, fifteen times over: 6^15 members of no data.
  std::string members = "xof 0303txt 0032\ntemplate A{}\n";
  for (char c = 'B'; c <= 'P'; ++c) {
    members += std::string("template ") + c + "{";
    for (int k = 0; k < 6; ++k) members += std::string{char(c - 1), ';'};
    members += "}\n";
  }
  members += "P x{}\n";
  EXPECT_FALSE(read(members, file, error));
  EXPECT_NE(error.find("templates expand to more members than"), std::string::npos) << error;
  EXPECT_TRUE(file.objects.empty());

  // Arrays of nothing, each as long as the file, within each other.
  const std::string arrays =
      "xof 0303txt 0032\ntemplate E{}\ntemplate R{array E e[300];}\ntemplate S{array R r[300];}\n"
      "template T{array S s[300];}\nT x{}\n" +
      std::string(300, ' ');
  EXPECT_FALSE(read(arrays, file, error));
  EXPECT_NE(error.find("templates expand to more members than"), std::string::npos) << error;

  std::string deep = "xof 0303txt 0032\ntemplate L0 { DWORD v; }\n";
  for (int level = 1; level < 15; ++level)
    deep += "template L" + std::to_string(level) + " { L" + std::to_string(level - 1) + " v; }\n";
  deep += "template Row { DWORD n; array L14 items[n]; }\nRow r { 2000;";
  for (int i = 0; i < 2000; ++i) deep += "1,";
  deep += "; }\n";
  ASSERT_TRUE(read(deep, file, error)) << error;
  EXPECT_EQ(file.objects[0]->values.size(), 2001u);
}

// ---- the public corpus ---------------------------------------------------------------------------

class XCorpus : public XReader {
 protected:
  void SetUp() override {
    XReader::SetUp();
    if (!std::filesystem::exists(test::Corpus("bsd/X"))) GTEST_SKIP() << "no public test data";
  }
};

TEST_F(XCorpus, TheCubeReadsTheSameInTextBinaryAndCompressedForm) {
  std::vector<test::Bounds> bounds;
  std::vector<size_t> indexCounts;
  for (const char* name : {"test_cube_text.x", "test_cube_binary.x", "test_cube_compressed.x"}) {
    SCOPED_TRACE(name);
    SceneModel model;
    std::string error;
    ASSERT_EQ(model.LoadX(test::Corpus(std::string("bsd/X/") + name), error), kModelOk) << error;
    MeshCopy copy;
    model.CopyMeshData(copy, -1, -1);
    EXPECT_TRUE(test::WellFormed(copy));
    bounds.push_back(test::BoundsOf(copy));
    indexCounts.push_back(copy.indices.size());
  }
  EXPECT_EQ(indexCounts[0], 36u);  // twelve triangles
  for (size_t i = 1; i < bounds.size(); ++i) {
    EXPECT_EQ(indexCounts[i], indexCounts[0]);
    EXPECT_EQ(bounds[i].vertices, bounds[0].vertices);
    EXPECT_TRUE(Near(bounds[i].min, bounds[0].min.x, bounds[0].min.y, bounds[0].min.z));
    EXPECT_TRUE(Near(bounds[i].max, bounds[0].max.x, bounds[0].max.y, bounds[0].max.z));
  }
}

TEST_F(XCorpus, EveryGoodFileLoadsWithPlausibleGeometry) {
  struct Expect {
    const char* name;
    int32_t minFrames;
    bool animated;
    const char* texture = "";  // named by a material of the file, in whatever case it spells the template
  };
  const Expect files[] = {
      {"bsd/X/test.x", 2, false},
      {"bsd/X/kwxport_test_cubewithvcolors.x", 2, false},
      {"bsd/X/anim_test.x", 3, true},
      {"bsd/X/BCN_Epileptic.X", 3, true},
      {"bsd/X/Testwuson.X", 2, true},
      {"bsd/X/fromtruespace_bin32.x", 2, false},
      // Its skin weights name a vertex beyond the mesh; skin weights are not read, so the cube loads.
      {"bsd/X/malformed_skinweights_oob.x", 3, false},
      {"other/X/dwarf.x", 3, true, "dwarf.jpg"},
  };
  for (const Expect& f : files) {
    SCOPED_TRACE(f.name);
    SceneModel model;
    std::string error;
    ASSERT_EQ(model.LoadX(test::Corpus(f.name), error), kModelOk) << error;
    EXPECT_GE(model.frameCount, f.minFrames);
    MeshCopy copy;
    model.CopyMeshData(copy, -1, -1);
    EXPECT_GT(copy.indices.size(), 0u);
    EXPECT_TRUE(test::WellFormed(copy));
    const test::Bounds b = test::BoundsOf(copy);
    EXPECT_LT(b.min.x, b.max.x);
    EXPECT_EQ(model.animationSet != nullptr, f.animated);
    Vector3f centre;
    float radius = 0;
    EXPECT_EQ(model.GetBoundingSphere(centre, radius), kModelOk);
    EXPECT_GT(radius, 0.0f);
    std::vector<std::string> textures;
    std::vector<const SceneNode*> nodes{model.root};
    while (!nodes.empty()) {
      const SceneNode* n = nodes.back();
      nodes.pop_back();
      if (n->kind() == SceneNode::Kind::Mesh) textures.push_back(static_cast<const MeshNode*>(n)->textureName);
      for (const SceneNode* c = n->firstChild(); c; c = c->nextSibling()) nodes.push_back(c);
    }
    if (*f.texture) {
      EXPECT_NE(std::find(textures.begin(), textures.end(), f.texture), textures.end());
    }
  }
}

}  // namespace
}  // namespace vx
