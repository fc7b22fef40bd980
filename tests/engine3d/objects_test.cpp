// 3D objects: loading models by their ending (upper case too), missing, damaged and unsupported
// files with their errors and nothing left behind, models of many frames, instances that share a
// tree and are deleted in any order, the automatic camera, textures keyed by the folder they were
// found in, and the collision bookkeeping with ids that no slot and frame can overflow.
#include <fstream>

#include "collision/collision.h"
#include "surfaces/engine_textures.h"
#include "surfaces/texture_names.h"
#include "tests/engine3d/engine_world.h"

namespace vx {
namespace {

using test::FramesModel;

class ObjectsTest : public test::EngineWorld {
 protected:
  // Loads and returns the error raised (0 none).
  int32_t Load(const std::string& file, int32_t number) {
    Interpreter().gErrorCode = 0;
    LoadObject(file, number);
    return Interpreter().gErrorCode;
  }
  std::string Texture(const std::string& folder, uint32_t rgb) {
    const std::string path = folder_.MakeFolder(folder) + "/skin.bmp";
    test::WriteBmp(path, test::Picture{8, 8, std::vector<uint32_t>(64, rgb)});
    return path;
  }
};

TEST_F(ObjectsTest, ModelsLoadByTheirEndingAndFailuresLeaveTheNumberEmpty) {
  const std::string upper = folder_.Write("Quad.X", FramesModel(2));
  ASSERT_EQ(Load(upper, 1), 0);
  const uint32_t slot = ObjectSlotOf(1);
  ASSERT_NE(slot, 0u);
  EXPECT_EQ(Engine().gObjectRecords[slot].limbCount, 3) << "the root and two frames";
  EXPECT_EQ(Engine().gObjectRecords[slot].frameCount, 0.0f) << "no animation";
  // The quad sits at x = 2 (two frames of 1): its box is that of the quad there.
  EXPECT_FLOAT_EQ(Engine().gObjectRecords[slot].boxMin[0], 1.5f);
  EXPECT_FLOAT_EQ(Engine().gObjectRecords[slot].boxMax[0], 2.5f);
  EXPECT_FLOAT_EQ(Engine().gObjectRecords[slot].limbs[2].offsetX, 1.0f);

  // Loading into a number that holds an object replaces it; a failed load leaves it empty.
  EXPECT_EQ(Load(folder_.path() + "model.obj", 1), kErrModelFileEnding);
  EXPECT_EQ(ObjectSlotOf(1), 0u);
  EXPECT_EQ(Load(".x", 2), kErrModelFileEnding) << "a leading dot is no ending";
  EXPECT_EQ(Load(folder_.path() + "missing.x", 2), kErrFileNotFound);
  EXPECT_EQ(Load(upper, 0), kErrObjectNumberOutOfRange);
  EXPECT_EQ(Load(upper, 65536), kErrObjectNumberOutOfRange);

  const std::string text = FramesModel(2);
  const int32_t meshesBefore = Engine().gMeshRecords.usedCount, objectsBefore = Engine().gObjectRecords.usedCount;
  for (const std::string& broken : {text.substr(0, text.size() / 2), std::string("xof 0303txt 0032\nMesh {")}) {
    EXPECT_EQ(Load(folder_.Write("broken.x", broken), 3), kErrModelNotRead);
    EXPECT_EQ(ObjectSlotOf(3), 0u);
  }
  EXPECT_EQ(Load(folder_.Write("broken.3ds", std::string("\x4d\x4d\xff\xff\x00\x00", 6)), 3), kErrModelNotRead);
  EXPECT_EQ(Engine().gObjectRecords.usedCount, objectsBefore);
  EXPECT_EQ(Engine().gMeshRecords.usedCount, meshesBefore);
}

TEST_F(ObjectsTest, TheCorpusModelsLoadOrFailWithTheirErrors) {
  const std::string corpus = std::string(VX_TESTDATA_DIR) + "/models/bsd/";
  std::ifstream probe(corpus + "LICENSE-assimp.txt");
  if (!probe) GTEST_SKIP() << "no public test data";
  int loaded = 0;
  for (const char* name :
       {"X/test.x", "X/Testwuson.X", "X/test_cube_binary.x", "X/test_cube_compressed.x", "3DS/RotatingCube.3DS",
        "3DS/cube_with_diffuse_texture.3DS", "X/malformed_skinweights_oob.x"}) {
    const int32_t error = Load(corpus + name, 1);
    EXPECT_TRUE(error == 0 || error == kErrModelNotRead || error == kErrFileNotFound) << name << " " << error;
    if (error == 0) {
      ++loaded;
      EXPECT_GT(Engine().gObjectRecords[ObjectSlotOf(1)].limbCount, 0) << name;
    }
  }
  EXPECT_GT(loaded, 0);
}

TEST_F(ObjectsTest, AModelOfManyFramesGrowsTheLimbArrayFirst) {
  ASSERT_EQ(Load(folder_.Write("long.x", FramesModel(40)), 1), 0);
  const ObjectRecord& o = Engine().gObjectRecords[ObjectSlotOf(1)];
  EXPECT_EQ(o.limbCount, 41);
  EXPECT_GE(o.limbCapacity, 45);
  EXPECT_FLOAT_EQ(o.limbs[40].offsetX, 1.0f);
  EXPECT_EQ(o.limbs[40].exists, 1);
}

TEST_F(ObjectsTest, InstancesShareTheTreeAndGoInAnyOrder) {
  for (int order = 0; order < 3; ++order) {
    SCOPED_TRACE(order);
    ASSERT_EQ(Load(folder_.Write("quad.x", FramesModel(1)), 1), 0);
    const uint32_t source = ObjectSlotOf(1);
    Engine().gObjectRecords[source].playing = 1;
    Engine().gObjectRecords[source].currentFrame = 7.0f;
    InstanceObject(1, 2);
    ASSERT_EQ(Interpreter().gErrorCode, 0);
    const uint32_t copy = ObjectSlotOf(2);
    ASSERT_NE(copy, 0u);
    const ObjectRecord& s = Engine().gObjectRecords[source];
    const ObjectRecord& c = Engine().gObjectRecords[copy];
    EXPECT_EQ(c.model, s.model);
    EXPECT_EQ(ModelUserCount(s.model), 2);
    EXPECT_NE(c.limbs, s.limbs) << "a limb array of its own";
    EXPECT_EQ(c.animationNode, nullptr);
    EXPECT_EQ(c.playing, 0);
    EXPECT_EQ(c.currentFrame, 0.0f);
    EXPECT_EQ(c.limbCount, s.limbCount);
    for (void* block : c.blendArrays) EXPECT_EQ(block, nullptr);
    if (order == 0) {
      DeleteObjectRecord(source, 1);
      EXPECT_EQ(ModelUserCount(Engine().gObjectRecords[copy].model), 1);
      DeleteObjectRecord(copy, 2);
    } else if (order == 1) {
      DeleteObjectRecord(copy, 2);
      DeleteObjectRecord(source, 1);
    } else {
      ResetEngineRecords();  // the run's end with both alive
    }
  }
  Interpreter().gErrorCode = 0;
  InstanceObject(5, 6);
  EXPECT_EQ(Interpreter().gErrorCode, kErrObjectNotExist);
  Interpreter().gErrorCode = 0;
  InstanceObject(0, 6);
  EXPECT_EQ(Interpreter().gErrorCode, kErrObjectNumberOutOfRange);
}

TEST_F(ObjectsTest, ASmallModelPlacesTheCameraTwoUnitsBack) {
  ASSERT_EQ(Load(folder_.Write("quad.x", FramesModel(0)), 1), 0);
  EXPECT_FLOAT_EQ(Scene().gCameraPosition.z, -2.0f);
  EXPECT_FLOAT_EQ(Engine().gObjectRecords[ObjectSlotOf(1)].radius, 1.0f) << "a radius of 0.7 truncates to 0, plus 1";
  Scene().gAutoCamera = 0;
  Scene().gCameraPosition.Set(5, 5, 5);
  ASSERT_EQ(Load(folder_.Write("quad.x", FramesModel(0)), 2), 0);
  EXPECT_FLOAT_EQ(Scene().gCameraPosition.z, 5.0f);
}

TEST_F(ObjectsTest, TexturesOfTheSameNameInTwoFoldersStayApart) {
  Texture("red", 0xFF0000);
  Texture("green", 0x00FF00);
  const std::string model = FramesModel(0, "skin.bmp");
  const std::string red = folder_.MakeFolder("red") + "/quad.x", green = folder_.MakeFolder("green") + "/quad.x";
  std::ofstream(red) << model;
  std::ofstream(green) << model;
  ASSERT_EQ(Load(red, 1), 0);
  ASSERT_EQ(Load(green, 2), 0);
  ASSERT_EQ(Load(red, 3), 0);
  const uint32_t t1 =
      Engine().gObjectRecords[ObjectSlotOf(1)].model->GetTextureById(1);  // a mesh outside any frame gets frame 1
  const uint32_t t2 =
      Engine().gObjectRecords[ObjectSlotOf(2)].model->GetTextureById(1);  // a mesh outside any frame gets frame 1
  const uint32_t t3 =
      Engine().gObjectRecords[ObjectSlotOf(3)].model->GetTextureById(1);  // a mesh outside any frame gets frame 1
  ASSERT_NE(t1, 0u);
  ASSERT_NE(t2, 0u);
  EXPECT_NE(t1, t2);
  EXPECT_EQ(t1, t3);
  EXPECT_EQ(test::ColourAt(Records().gTextureRecords[t2].texture.surface, 1, 1), 0x00FF00u);
  EXPECT_EQ(Records().gTextureRecords[t1].nameEntry->useCount, 2);
  // The textures go with the last object that uses them.
  DeleteObjectRecord(ObjectSlotOf(1), 1);
  EXPECT_EQ(Records().gTextureRecords[t1].nameEntry->useCount, 1);
  DeleteObjectRecord(ObjectSlotOf(3), 3);
  EXPECT_FALSE(Records().gTextureRecords.IsTaken(t1));
  EXPECT_EQ(Records().gModelFolder, "") << "emptied after every load";
}

TEST_F(ObjectsTest, CollisionPairsNameTheirObjectsWhateverTheFrameNumbers) {
  const uint32_t a = MakeCube(1, 1.0f), b = MakeCube(2, 1.0f), far = MakeCube(3, 1.0f);
  Place(b, 0.5f, 0, 0);
  Place(far, 50, 0, 0);
  Engine().gObjectRecords[a].watchedPartner = int32_t(b);
  for (uint32_t s : {a, b, far}) {
    Engine().gObjectRecords[s].model->SetCollisionShape(s, kShapeFittedBox, 0, 0, 0);
    Engine().gObjectRecords[s].collisionOn = 1;
  }
  Engine().gSceneChanged = 1;
  UpdateObjectCollisions();
  EXPECT_EQ(Engine().gObjectRecords[a].collisionPartner, int32_t(b));
  EXPECT_EQ(Engine().gObjectRecords[b].collisionPartner, int32_t(a));
  EXPECT_EQ(Engine().gObjectRecords[far].collisionPartner, 0);
  EXPECT_EQ(Engine().gObjectRecords[a].watchedContact, 1);
  EXPECT_EQ(Engine().gSceneChanged, 0);

  // A frame number of 100000 or more is still the frame of its own object.
  Engine().gObjectRecords[a].collisionPartner = Engine().gObjectRecords[b].collisionPartner = 0;
  CollisionPairCallback(nullptr, MakeCollisionId(a, 100000), MakeCollisionId(b, 0));
  EXPECT_EQ(Engine().gObjectRecords[a].collisionPartner, int32_t(b));
  CollisionPairCallback(nullptr, MakeCollisionId(far, 1), MakeCollisionId(far, 200000));
  EXPECT_EQ(Engine().gObjectRecords[far].collisionPartner, 0) << "two frames of one object are no pair";
}

}  // namespace
}  // namespace vx
