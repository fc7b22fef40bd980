// The scene tree's operations as the engine calls them: matrices by frame, texture and visibility
// by frame, vertex, normal and texture-coordinate edits, moving frames, meshes from mesh
// records, bounding spheres, the walk over the meshes with their world matrices, drawing through
// the Direct3D device, and the built-in meshes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "models/model_maths.h"
#include "platform/win/resources.h"
#include "tests/models/model_test_support.h"
#include "tests/platform/ddraw_test_support.h"

namespace vx {
namespace {

using test::Near;

Matrix4f Translation(float x, float y, float z) {
  Matrix4f m = models::Identity();
  m.At(3, 0) = x;
  m.At(3, 1) = y;
  m.At(3, 2) = z;
  return m;
}

// A mesh record of one triangle, in the engine's layout.
struct TriangleRecord {
  float positions[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  float normals[9] = {0, 0, -1, 0, 0, -1, 0, 0, -1};
  float uvs[6] = {0, 0, 1, 1, 1, 1};
  uint32_t faces[7] = {3, 0, 0, 1, 1, 2, 2};
  MeshRecordView View() const { return MeshRecordView{3, 3, 1, positions, normals, faces, uvs}; }
};

class Services : public ModelServices {
 public:
  uint32_t LoadTexture(const std::string&) override { return 0; }
  void ReleaseTexture(uint32_t slot) override { released.push_back(slot); }
  win::Direct3D* Direct3DForBuffers() override { return direct3D; }
  std::vector<uint32_t> released;
  win::Direct3D* direct3D = nullptr;
};

class SceneTree : public ::testing::Test {
 protected:
  void SetUp() override {
    SetModelServices(&services_);
    ASSERT_EQ(model_.LoadX(test::Source("frames.x")), kModelOk);
  }
  void TearDown() override { SetModelServices(nullptr); }
  Services services_;
  SceneModel model_;
};

TEST_F(SceneTree, MatricesGoToFramesByIdAndInFrameOrder) {
  model_.SetMatrixById(3, Translation(4, 5, 6));
  Matrix4f m;
  ASSERT_TRUE(model_.GetMatrixById(3, m));
  EXPECT_EQ(m.At(3, 1), 5.0f);
  EXPECT_FALSE(model_.GetMatrixById(9, m));
  // Frames 1, 2, ... take the array in order; the root keeps its own.
  const Matrix4f root = Translation(-1, -1, -1);
  model_.SetRootTransform(root);
  const Matrix4f array[2] = {Translation(10, 0, 0), Translation(20, 0, 0)};
  model_.SetMatricesFromArray(array, 2);
  ASSERT_TRUE(model_.GetMatrixById(1, m));
  EXPECT_EQ(m.At(3, 0), 10.0f);
  ASSERT_TRUE(model_.GetMatrixById(2, m));
  EXPECT_EQ(m.At(3, 0), 20.0f);
  ASSERT_TRUE(model_.GetMatrixById(3, m));
  EXPECT_EQ(m.At(3, 0), 4.0f);
  ASSERT_TRUE(model_.GetRootTransform(m));
  EXPECT_EQ(m.At(3, 0), -1.0f);
  model_.ScalePositionById(3, 2, 3, 4);
  ASSERT_TRUE(model_.GetMatrixById(3, m));
  EXPECT_TRUE(Near(Vector3f(m.At(3, 0), m.At(3, 1), m.At(3, 2)), 8, 15, 24));
}

TEST_F(SceneTree, FrameEditsReachOnlyThatFramesMeshes) {
  const MeshNode* quad = model_.FindMeshByIndex(2, 0);
  const MeshNode* plain = model_.FindMeshByIndex(3, 0);
  model_.ScaleVerticesById(2, 2, 3, 4);
  EXPECT_TRUE(Near(quad->positions()[1], 2, -3, 0));
  EXPECT_TRUE(Near(plain->positions()[0], 0, 0, 5));
  model_.ScaleVertices(1, 1, 2);
  EXPECT_TRUE(Near(plain->positions()[0], 0, 0, 10));
  model_.ScrollUvById(2, 0.5f, 0.25f);
  EXPECT_EQ(quad->textureCoords()[0], 0.5f);
  EXPECT_EQ(quad->textureCoords()[1], 1.25f);
  model_.ScaleUvById(2, 2, 4);
  EXPECT_EQ(quad->textureCoords()[1], 5.0f);
  model_.ScaleNormals(0.5f);
  EXPECT_TRUE(Near(quad->normals()[1], 0, 0, -1));
  model_.SetVisibleById(3, 0);
  EXPECT_EQ(plain->visible, 0);
  EXPECT_EQ(quad->visible, 1);
  // Setting a texture gives up the one the mesh held before.
  model_.SetTextureById(2, 40);
  model_.SetTextureById(2, 41);
  EXPECT_EQ(model_.GetTextureById(2), 41u);
  EXPECT_EQ(services_.released, (std::vector<uint32_t>{40}));
  EXPECT_EQ(model_.GetTextureById(99), 0u);
}

TEST_F(SceneTree, FramesMoveUnderOtherFramesButNeverIntoThemselves) {
  EXPECT_LT(model_.MoveNode(1, 2), 0);  // Arm lies inside Body
  EXPECT_LT(model_.MoveNode(0, 4), 0);  // the root stays
  EXPECT_LT(model_.MoveNode(9, 1), 0);
  EXPECT_LT(model_.MoveNode(4, 9), 0);
  ASSERT_EQ(model_.MoveNode(4, 2), 0);
  EXPECT_EQ(model_.root->FindFrame(4)->parent(), model_.root->FindFrame(2));
  // A moved frame follows its new parent: Loose's degenerate triangle now sits at Arm's place.
  MeshCopy copy;
  model_.CopyMeshData(copy, 4, -1);
  ASSERT_EQ(copy.vertices.size(), 3u);
  EXPECT_TRUE(Near(Vector3f(copy.vertices[0].x, copy.vertices[0].y, copy.vertices[0].z), 1, 2, 3));
}

// Children are appended after the last one without a walk over their siblings, which takes the
// last child to be right however children were unlinked before.
TEST(SceneLinks, ChildrenAppendAtTheEndWhereverOthersWereUnlinkedFrom) {
  FrameNode root(0, "root");
  FrameNode* f[4];
  for (int32_t i = 0; i < 4; ++i) root.AppendChild(f[i] = new FrameNode(i + 1, "f"));
  EXPECT_EQ(root.lastChild(), f[3]);
  f[3]->Unlink();
  EXPECT_EQ(root.lastChild(), f[2]);
  f[0]->Unlink();
  EXPECT_EQ(root.firstChild(), f[1]);
  EXPECT_EQ(root.lastChild(), f[2]);
  f[1]->AppendChild(f[3]);
  root.AppendChild(f[0]);
  std::vector<SceneNode*> order;
  for (SceneNode* c = root.firstChild(); c; c = c->nextSibling()) order.push_back(c);
  EXPECT_EQ(order, (std::vector<SceneNode*>{f[1], f[2], f[0]}));
  EXPECT_EQ(f[1]->lastChild(), f[3]);
  for (FrameNode* gone : {f[2], f[1], f[0]}) gone->Unlink();
  EXPECT_EQ(root.firstChild(), nullptr);
  EXPECT_EQ(root.lastChild(), nullptr);
  root.AppendChild(f[2]);
  EXPECT_EQ(root.firstChild(), f[2]);
  delete f[0];
  delete f[1];  // and f[3] under it
}

// The limbs of a model are found in one walk: the first frame of an id in tree order.
TEST_F(SceneTree, FramesByIdAreTheFramesTheLookUpOfEachIdFinds) {
  model_.AddMeshFrame(3, TriangleRecord().View(), 0);  // a second frame of id 3, after the file's
  const std::vector<const FrameNode*> frames = model_.root->FramesById(model_.frameCount + 2);
  ASSERT_EQ(frames.size(), size_t(model_.frameCount + 2));
  for (int32_t id = 0; id < model_.frameCount + 2; ++id) {
    EXPECT_EQ(frames[size_t(id)], model_.root->FindFrame(id)) << id;
    Matrix4f m;
    if (frames[size_t(id)]) {
      ASSERT_TRUE(model_.GetMatrixById(id, m));
      EXPECT_EQ(std::memcmp(&m, &frames[size_t(id)]->matrix(), sizeof m), 0) << id;
    }
  }
  EXPECT_EQ(frames[size_t(model_.frameCount + 1)], nullptr);
}

TEST_F(SceneTree, MeshRecordsBecomeFramesAndReplaceMeshes) {
  TriangleRecord record;
  SceneModel made;
  EXPECT_EQ(made.AddMeshFrame(3, record.View(), 0), kModelFail);  // a limb needs a root first
  ASSERT_EQ(made.AddMeshFrame(0, record.View(), 12), kModelOk);
  std::string name;
  ASSERT_TRUE(made.GetFrameName(0, name));
  EXPECT_EQ(name, "root");
  EXPECT_EQ(made.GetTextureById(0), 12u);
  EXPECT_EQ(made.AddMeshFrame(0, record.View(), 0), kModelFail);  // the root exists
  ASSERT_EQ(made.AddMeshFrame(1, record.View(), 0), kModelOk);
  ASSERT_TRUE(made.GetFrameName(1, name));
  EXPECT_EQ(name, "userframe");
  EXPECT_EQ(made.frameCount, 2);
  // A record whose face names a vertex it lacks is refused and the frame keeps its mesh.
  TriangleRecord bad;
  bad.faces[5] = 7;
  EXPECT_EQ(made.AddMeshFrame(2, bad.View(), 0), kModelFail);
  EXPECT_EQ(made.frameCount, 2);
  record.positions[3] = 9.0f;
  ASSERT_EQ(made.UpdateMeshFromRecord(1, record.View()), kModelOk);
  made.UpdateMeshFromRecord(1, bad.View());
  const MeshNode* mesh = made.FindMeshByIndex(1, 0);
  ASSERT_NE(mesh, nullptr);
  EXPECT_EQ(mesh->positions()[1].x, 9.0f);
  // The quad's frame of the loaded model takes a record's triangle in place of its mesh.
  ASSERT_EQ(model_.UpdateMeshFromRecord(3, record.View()), kModelOk);
  EXPECT_EQ(model_.MeshCountById(3), 1);
  EXPECT_EQ(model_.FindMeshByIndex(3, 0)->indices().size(), 3u);
  SceneModel empty;
  EXPECT_EQ(empty.UpdateMeshFromRecord(0, record.View()), kModelFail);
}

TEST_F(SceneTree, BoundingSpheresAreTakenAboutTheMeanAndAboutTheOrigin) {
  TriangleRecord record;
  const float square[12] = {1, 1, 0, 3, 1, 0, 3, 3, 0, 1, 3, 0};
  const uint32_t faces[14] = {3, 0, 0, 1, 1, 2, 2, 3, 0, 0, 2, 2, 3, 3};
  SceneModel made;
  ASSERT_EQ(made.AddMeshFrame(0, MeshRecordView{4, 4, 2, square, square, faces, nullptr}, 0), kModelOk);
  Vector3f centre;
  float radius = 0;
  ASSERT_EQ(made.GetBoundingSphere(centre, radius), kModelOk);
  EXPECT_TRUE(Near(centre, 2, 2, 0));
  EXPECT_NEAR(radius, std::sqrt(2.0f), 1e-6f);
  ASSERT_EQ(made.GetOriginBoundingSphere(centre, radius), kModelOk);
  EXPECT_TRUE(Near(centre, 0, 0, 0));
  EXPECT_NEAR(radius, std::sqrt(18.0f), 1e-5f);
  SceneModel none;
  EXPECT_EQ(none.GetBoundingSphere(centre, radius), kModelFail);
  EXPECT_EQ(radius, -1.0f);
  // A mesh that is one point has no sphere.
  const float point[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
  SceneModel dot;
  ASSERT_EQ(dot.AddMeshFrame(0, MeshRecordView{3, 3, 1, point, point, record.faces, nullptr}, 0), kModelOk);
  EXPECT_EQ(dot.GetOriginBoundingSphere(centre, radius), kModelFail);
}

// ---- drawing through the device -----------------------------------------------------------------

class SceneRender : public win::testing::D3DTest {
 protected:
  void SetUp() override {
    D3DTest::SetUp();
    services_.direct3D = direct3D_.get();
    SetModelServices(&services_);
    Open(16, 16);
  }
  void TearDown() override {
    SetModelServices(nullptr);
    D3DTest::TearDown();
  }
  Services services_;
};

TEST_F(SceneRender, MeshesAreVisitedUnderTheirFramesAndDrawWithTheDevicesWorld) {
  SceneModel model;
  ASSERT_EQ(model.LoadX(test::Source("frames.x")), kModelOk);
  model.SetTextureById(2, 7);
  model.SetRootTransform(Translation(100, 0, 0));
  // Every mesh in tree order with its frame's world: Arm's quad, Leg's pair (one mesh per
  // material) and the loose mesh in a frame of its own.
  std::vector<std::pair<MeshNode*, Matrix4f>> meshes;
  model.VisitMeshes(Translation(0, 0, 50), [&](MeshNode& mesh, const Matrix4f& world) {
    meshes.push_back({&mesh, world});
  });
  ASSERT_EQ(meshes.size(), 4u);
  EXPECT_EQ(meshes[0].first->textureSlot, 7u);
  EXPECT_EQ(meshes[0].first->frameId(), 2);
  EXPECT_EQ(meshes[3].first->frameId(), 4);
  // Arm's world: its scale of 2, Body's move by (1, 2, 3), the root's by 100, then the base.
  const Matrix4f& arm = meshes[0].second;
  EXPECT_EQ(arm.At(0, 0), 2.0f);
  EXPECT_EQ(arm.At(3, 0), 101.0f);
  EXPECT_EQ(arm.At(3, 1), 2.0f);
  EXPECT_EQ(arm.At(3, 2), 53.0f);
  EXPECT_EQ(meshes[3].second.At(3, 0), 100.0f);
  EXPECT_EQ(meshes[3].second.At(3, 2), 50.0f);

  const win::D3DMATRIX world = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 101, 2, 53, 1};
  ASSERT_EQ(device_->SetTransform(win::D3DTRANSFORMSTATE_WORLD, &world), win::D3D_OK);
  std::vector<win::Direct3DDevice::DrawObservation> draws;
  device_->SetDrawObserver([&](const win::Direct3DDevice::DrawObservation& d) { draws.push_back(d); });
  ASSERT_EQ(device_->BeginScene(), win::D3D_OK);
  MeshNode& quad = *meshes[0].first;
  EXPECT_EQ(quad.Draw(device_.get()), 6u);
  ASSERT_EQ(draws.size(), 1u);
  EXPECT_EQ(draws[0].vertices.size(), 4u * 32);
  EXPECT_EQ(draws[0].vertexSize, 32u);
  EXPECT_EQ(draws[0].indices, (std::vector<win::WORD>{0, 1, 2, 0, 2, 3}));
  EXPECT_EQ(std::memcmp(&draws[0].world, &world, sizeof world), 0);
  MeshVertex second;
  std::memcpy(&second, draws[0].vertices.data() + 32, sizeof second);
  EXPECT_TRUE(Near(Vector3f(second.x, second.y, second.z), 1, -1, 0));
  EXPECT_TRUE(Near(Vector3f(second.nx, second.ny, second.nz), 0, 0, -2));
  // A hidden frame's meshes draw nothing; edited geometry is drawn as edited.
  model.SetVisibleById(4, 0);
  EXPECT_EQ(meshes[3].first->Draw(device_.get()), 0u);
  EXPECT_EQ(meshes[1].first->Draw(device_.get()) + meshes[2].first->Draw(device_.get()), 6u);
  EXPECT_EQ(draws.size(), 3u);
  model.ScaleVerticesById(2, 3, 3, 3);
  quad.Draw(device_.get());
  std::memcpy(&second, draws.back().vertices.data() + 32, sizeof second);
  EXPECT_TRUE(Near(Vector3f(second.x, second.y, second.z), 3, -3, 0));
  ASSERT_EQ(device_->EndScene(), win::D3D_OK);
  device_->SetDrawObserver(nullptr);
  // World matrices from the device's current world, as the limb queries read them.
  const win::D3DMATRIX base = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 50, 1};
  ASSERT_EQ(device_->SetTransform(win::D3DTRANSFORMSTATE_WORLD, &base), win::D3D_OK);
  model.UpdateWorldMatrices(device_.get());
  Matrix4f limb;
  ASSERT_TRUE(model.GetWorldMatrixById(2, limb));
  EXPECT_EQ(limb.At(3, 2), 53.0f);
  model.RebuildVertexBuffers();
  ASSERT_EQ(device_->BeginScene(), win::D3D_OK);
  EXPECT_EQ(quad.Draw(device_.get()), 6u);
  ASSERT_EQ(device_->EndScene(), win::D3D_OK);
}

TEST_F(SceneRender, TheBuiltInMeshesLoadFromTheResourcesAndFaceOutwards) {
  struct Expect {
    int id;
    size_t triangles;
    float minY, maxY;
  };
  const Expect meshes[] = {{189, 224, -0.5f, 0.5f},
                           {190, 12, -0.5f, 0.5f},
                           {191, 96, -0.5f, 0.5f},
                           {193, 2, -0.5f, 0.5f},
                           {194, 48, -0.5f, 0.5f}};
  for (const Expect& e : meshes) {
    SCOPED_TRACE(e.id);
    const win::ResourceBlob* blob = win::FindResourceBlob("X", e.id);
    ASSERT_NE(blob, nullptr);
    MeshCopy copy;
    std::string error;
    ASSERT_TRUE(ReadXMeshData(blob->data, blob->size, copy, error)) << error;
    EXPECT_TRUE(test::WellFormed(copy));
    EXPECT_EQ(copy.indices.size(), e.triangles * 3);
    const test::Bounds b = test::BoundsOf(copy);
    EXPECT_NEAR(b.min.y, e.minY, 1e-5f);
    EXPECT_NEAR(b.max.y, e.maxY, 1e-5f);
    EXPECT_NEAR(b.min.x, -0.5f, 1e-5f);
    EXPECT_NEAR(b.max.x, 0.5f, 1e-5f);
    for (size_t i = 0; i < copy.indices.size(); i += 3) {
      const MeshVertex& a = copy.vertices[copy.indices[i]];
      const MeshVertex& p = copy.vertices[copy.indices[i + 1]];
      const MeshVertex& c = copy.vertices[copy.indices[i + 2]];
      const Vector3f n =
          models::Cross(Vector3f(p.x - a.x, p.y - a.y, p.z - a.z), Vector3f(c.x - a.x, c.y - a.y, c.z - a.z));
      // Outwards: away from the centre for the solids, towards -z for the flat quad.
      const Vector3f out =
          e.id == 193 ? Vector3f(0, 0, -1) : Vector3f(a.x + p.x + c.x, a.y + p.y + c.y, a.z + p.z + c.z);
      EXPECT_GT(n.x * out.x + n.y * out.y + n.z * out.z, 0.0f) << "triangle " << i / 3;
      // Each vertex's normal leans the same way as its face.
      EXPECT_GE(n.x * a.nx + n.y * a.ny + n.z * a.nz, 0.0f) << "triangle " << i / 3;
    }
    if (e.id == 193) {
      EXPECT_EQ(copy.vertices.size(), 4u);
      EXPECT_NEAR(copy.vertices[0].z, 0.001f, 1e-7f);
      EXPECT_TRUE(Near(Vector3f(copy.vertices[0].nx, copy.vertices[0].ny, copy.vertices[0].nz), 0, 0, -1));
    }
  }
}

}  // namespace
}  // namespace vx
