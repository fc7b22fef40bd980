// The object, limb and animation commands end to end: compiled programs run frame by frame on the
// headless engine, with their results read from the engine and from the screens they save. A moved
// cube shows where it was put, a ghosted sphere lets the cube behind it through and a hidden limb
// is gone; every refused number raises its error; objects without a model take every command;
// shared colours stay while anyone draws them; glue never closes a loop; turns go the way they are
// named; frames advance by the speed and wrap; recorded keys play back, and a written animation
// file plays the same poses on a fresh object.
#include <cstring>
#include <filesystem>

#include "common/checklist.h"
#include "engine3d/animation_list.h"
#include "engine3d/maths3d.h"
#include "engine3d/scene_settings.h"
#include "engine3d/static_world.h"
#include "models/model_maths.h"
#include "surfaces/display_state.h"
#include "surfaces/engine_textures.h"
#include "surfaces/texture_names.h"
#include "tests/engine3d/program_world.h"
#include "tests/engine3d/surface_fixture.h"

namespace vx {
namespace {

const std::string kModels = std::string(VX_SOURCE_DIR) + "/tests/fixtures/models/";

class ObjectCommandsTest : public test::ProgramWorld {
 protected:
  void SetUp() override {
    ProgramWorld::SetUp();
    for (const char* name : {"anim.x", "arm.x"}) std::filesystem::copy_file(kModels + name, folder_.path() + name);
  }
  // A program run from a fresh engine: no objects, meshes or textures from the one before.
  int32_t RunFresh(const std::string& source, int frames = 60) {
    FreeProgramImage();
    ResetEngineRecords();
    Reset3DScene();
    return Run(source, frames);
  }
  static ObjectRecord& Object(int32_t number) { return Engine().gObjectRecords[ObjectSlotOf(number)]; }
  static RenderItem& Item(int32_t number) { return Records().gRenderItems[uint32_t(Object(number).itemSlot)]; }
  static Matrix4f Frame(int32_t number, int32_t frame) {
    Matrix4f m = models::Identity();
    EXPECT_TRUE(Object(number).model->GetMatrixById(frame, m)) << "object " << number << " frame " << frame;
    return m;
  }
  // The screen a program saved, as 0xRRGGBB pixels.
  test::Picture Saved(const std::string& name) {
    const std::optional<test::Picture> picture = test::ReferenceDecode(FIF_BMP, folder_.path() + name);
    EXPECT_TRUE(picture.has_value()) << name;
    return picture.value_or(test::Picture{});
  }
};

::testing::AssertionResult Near(const Matrix4f& actual, const Matrix4f& expected, float tolerance = 1e-4f) {
  for (int i = 0; i < 16; ++i)
    if (!(std::fabs(actual.m[i] - expected.m[i]) <= tolerance))
      return ::testing::AssertionFailure() << "element " << i << " is " << actual.m[i] << ", not " << expected.m[i];
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult Row(const Matrix4f& m, int row, float x, float y, float z) {
  if (std::fabs(m.At(row, 0) - x) < 1e-4f && std::fabs(m.At(row, 1) - y) < 1e-4f && std::fabs(m.At(row, 2) - z) < 1e-4f)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "row " << row << " is " << m.At(row, 0) << ", " << m.At(row, 1) << ", "
                                       << m.At(row, 2);
}

int Channel(uint32_t colour, int shift) { return int((colour >> shift) & 0xFF); }

// Full-bright one-colour objects before a black backdrop, seen from 10 units in front.
const char* const kLooking =
    "color backdrop 0\n"
    "position camera 0, 0, -10\n"
    "point camera 0, 0, 0\n";

TEST_F(ObjectCommandsTest, AMovedCubeShowsWhereItWasPut) {
  if (!test::kDeviceFills) GTEST_SKIP() << "the device only records its triangles";
  ASSERT_EQ(Run(std::string("make object cube 1, 2\n"
                            "color object 1, rgb(255, 0, 0)\n"
                            "set object 1, 1, 1, 1, 1, 0\n") +
                    kLooking +
                    "save bitmap \"centre.bmp\"\n"
                    "position object 1, 3, 0, 0\n"
                    "save bitmap \"moved.bmp\"\n"
                    "wait key\n",
                40),
            0)
      << Runtime().gLastEngineError;
  const test::Picture centre = Saved("centre.bmp"), moved = Saved("moved.bmp");
  ASSERT_EQ(moved.width, 160u);
  EXPECT_EQ(centre.At(80, 60), 0xFF0000u);
  // Three units right at ten units away: a little right of three quarters across.
  EXPECT_EQ(moved.At(110, 60), 0xFF0000u);
  EXPECT_NE(moved.At(80, 60), 0xFF0000u);
  EXPECT_NE(moved.At(50, 60), 0xFF0000u);
}

TEST_F(ObjectCommandsTest, AGhostedSphereLetsTheCubeBehindItShow) {
  if (!test::kDeviceFills) GTEST_SKIP() << "the device only records its triangles";
  if (Display().gBlendLevel == 0) GTEST_SKIP() << "the device does not blend";
  ASSERT_EQ(Run(std::string("make object cube 1, 4\n"
                            "color object 1, rgb(255, 0, 0)\n"
                            "set object 1, 1, 1, 1, 1, 0\n"
                            "make object sphere 2, 2\n"
                            "color object 2, rgb(0, 0, 255)\n"
                            "set object 2, 1, 1, 1, 1, 0\n"
                            "position object 2, 0, 0, -3\n") +
                    kLooking +
                    "save bitmap \"solid.bmp\"\n"
                    "ghost object on 2\n"
                    "save bitmap \"ghost.bmp\"\n"
                    "ghost object off 2\n"
                    "save bitmap \"again.bmp\"\n"
                    "wait key\n",
                30),
            0);
  EXPECT_EQ(Saved("solid.bmp").At(80, 60), 0x0000FFu);
  const uint32_t ghost = Saved("ghost.bmp").At(80, 60);
  EXPECT_GT(Channel(ghost, 16), 60) << std::hex << ghost;
  EXPECT_GT(Channel(ghost, 0), 60) << std::hex << ghost;
  EXPECT_EQ(Saved("again.bmp").At(80, 60), 0x0000FFu);
  EXPECT_EQ(Saved("ghost.bmp").At(80, 40), 0xFF0000u) << "the cube above the sphere";
}

TEST_F(ObjectCommandsTest, AHiddenLimbIsGoneAndComesBack) {
  if (!test::kDeviceFills) GTEST_SKIP() << "the device only records its triangles";
  ASSERT_EQ(Run(std::string("make object cube 1, 1\n"
                            "make mesh from object 1, 1\n"
                            "add limb 1, 1, 1\n"
                            "offset limb 1, 1, 3, 0, 0\n"
                            "color object 1, rgb(0, 255, 0)\n"
                            "set object 1, 1, 1, 1, 1, 0\n") +
                    kLooking +
                    "save bitmap \"limb.bmp\"\n"
                    "hide limb 1, 1\n"
                    "refresh screen\n"
                    "save bitmap \"hidden.bmp\"\n"
                    "show limb 1, 1\n"
                    "refresh screen\n"
                    "save bitmap \"shown.bmp\"\n"
                    "wait key\n",
                30),
            0);
  const test::Picture limb = Saved("limb.bmp"), hidden = Saved("hidden.bmp");
  EXPECT_EQ(limb.At(80, 60), 0x00FF00u);
  EXPECT_EQ(limb.At(110, 60), 0x00FF00u);
  EXPECT_EQ(hidden.At(80, 60), 0x00FF00u);
  EXPECT_NE(hidden.At(110, 60), 0x00FF00u);
  EXPECT_EQ(Saved("shown.bmp").At(110, 60), 0x00FF00u);
  EXPECT_EQ(Object(1).limbCount, 2);
}

TEST_F(ObjectCommandsTest, ObjectsHandedToTheStaticWorldAreDrawnThereAndComeBack) {
  if (!test::kDeviceFills) GTEST_SKIP() << "the device only records its triangles";
  ASSERT_EQ(Run(std::string("make object cube 1, 2\n"
                            "color object 1, rgb(255, 0, 0)\n"
                            "position object 1, 3, 0, 0\n"
                            "make object plain 2, 30, 30\n"
                            "color object 2, rgb(0, 255, 0)\n"
                            "position object 2, 0, 0, 5\n") +
                    kLooking +
                    "add object to static world 2\n"
                    "delete object 2\n"
                    "move object to static world 1\n"
                    "add static collision box -1, -1, -1, 1, 1, 1\n"
                    "refresh screen\n"
                    "save bitmap \"world.bmp\"\n"
                    "restore object from static world 1\n"
                    "save static world \"level.dat\"\n"
                    "clear static world\n"
                    "refresh screen\n"
                    "save bitmap \"clear.bmp\"\n"
                    "load static world \"level.dat\"\n"
                    "static world culling off\n"
                    "refresh screen\n"
                    "save bitmap \"loaded.bmp\"\n"
                    "wait key\n",
                40),
            0)
      << Runtime().gLastEngineError;
  auto red = [](uint32_t c) { return Channel(c, 16) > 100 && Channel(c, 8) < 40; };
  auto green = [](uint32_t c) { return Channel(c, 8) > 100 && Channel(c, 16) < 40; };
  const test::Picture world = Saved("world.bmp"), clear = Saved("clear.bmp"), loaded = Saved("loaded.bmp");
  // A moved object is drawn by the world while geometry added for good holds it: the wall behind.
  EXPECT_TRUE(red(world.At(110, 60))) << std::hex << world.At(110, 60) << ": the moved object, drawn by the world";
  EXPECT_TRUE(green(world.At(50, 60))) << "the wall's geometry outlives its object";
  EXPECT_TRUE(red(clear.At(110, 60))) << "the object itself again";
  EXPECT_FALSE(green(clear.At(50, 60))) << "the world emptied";
  EXPECT_TRUE(green(loaded.At(50, 60))) << "the world read back from its file";
  EXPECT_FALSE(red(loaded.At(80, 60)));
  EXPECT_EQ(Object(1).inStaticWorld, 0);
  EXPECT_EQ(Item(1).visible, 1);
  EXPECT_EQ(Engine().gStaticWorld.occlusionOn, 0);
  EXPECT_TRUE(std::filesystem::exists(folder_.path() + "level.dat"));
}

TEST_F(ObjectCommandsTest, RefusedNumbersRaiseTheirErrors) {
  folder_.Write("short.x", "xof 0303txt 003");
  const struct {
    const char* source;
    int32_t error;
  } cases[] = {
      {"rotate object 1, 0, 0, 0", kErrObjectNotExist},
      {"make object cube 0, 1", kErrObjectNumberOutOfRange},
      {"make object cube 1, 1\nmake object sphere 1, 1", kErrObjectExists},
      {"make object cube 1, 1\nrotate object 1, 360.5, 0, 0", kErrAngleOutOfRange},
      {"make object cube 1, 1\nyrotate object 1, -1", kErrAngleOutOfRange},
      {"make object cube 1, 1\nrotate limb 1, 0, 0, 361, 0", kErrAngleOutOfRange},
      {"make object cube 1, 1\nadd limb 1, 0, 0", kErrNewLimbNumberBelowOne},
      {"make object cube 1, 1\nadd limb 1, 3, 0", kErrPreviousLimbNotExist},
      {"make object cube 1, 1\nadd limb 1, 1, 0\nadd limb 1, 1, 0", kErrLimbExists},
      {"make object cube 1, 1\nadd limb 1, 1, 5", kErrMeshNotExist},
      {"make object cube 1, 1\nadd limb 1, 1, 65535", kErrMeshNumberOutOfRange},
      {"load object \"arm.x\", 1\nlink limb 1, 2, 1\nlink limb 1, 2, 1", kErrLimbLinkedAlready},
      {"load object \"arm.x\", 1\nlink limb 1, 1, 2", kErrLimbNotLinked},
      {"load object \"arm.x\", 1\nlink limb 1, 1, 1", kErrLimbNumberOutOfRange},
      {"load object \"arm.x\", 1\nhide limb 1, 3", kErrLimbNotExist},
      {"load object \"arm.x\", 1\nshow limb 1, 32", kErrLimbNumberOutOfRange},
      {"make object cube 1, 1\ntexture limb 1, 0, 70000", kErrImageNumberOutOfRange},
      {"make object cube 1, 1\ntexture limb 1, 0, 7", kErrImageNotExist},
      {"make object cube 1, 1\nchange mesh 1, 0, 3", kErrMeshNotExist},
      {"make object 1, 3, 0", kErrMeshNotExist},
      {"make object 1, 0, 70000", kErrImageNumberOutOfRange},
      {"make object cube 1, 1\nplay object 1", kErrObjectHasNoAnimation},
      {"load object \"anim.x\", 1\nset object frame 1, -1", kErrAnimationFrameOutOfRange},
      {"load object \"anim.x\", 1\nset object frame 1, 20.5", kErrAnimationFrameOutOfRange},
      {"load object \"anim.x\", 1\nappend object \"anim.x\", 1, 20", kErrAnimationStartAfterLastFrame},
      {"load object \"anim.x\", 1\nappend object \"missing.x\", 1, 25", kErrAnimationFileNotLoaded},
      {"make object cube 1, 1\nappend object \"anim.x\", 1, 5", kErrAnimationFileNotLoaded},
      {"make object cube 1, 1\nset object speed 1, 101", kErrAnimationSpeedOutOfRange},
      {"make object cube 1, 1\nset object interpolation 1, 0", kErrInterpolationOutOfRange},
      {"make object cube 1, 1\nmake object cube 2, 1\nglue object to limb 1, 2, 32", kErrLimbNumberOutOfRange},
      {"make object cube 1, 1\nmake object cube 2, 1\nglue object to limb 1, 2, 1", kErrLimbNotExist},
      {"load mesh \"arm.x\", 65535", kErrMeshNumberOutOfRange},
      {"load mesh \"arm.obj\", 1", kErrModelFileEnding},
      {"load mesh \"missing.x\", 1", kErrMeshNotLoaded},
      {"delete mesh 4", kErrMeshNotExist},
      {"make object cube 1, 1\nmake mesh from object 65535, 1", kErrMeshNumberOutOfRange},
      {"make mesh from object 2, 9", kErrObjectNotExist},
      {"make object 1, 0, 0\nmake mesh from object 2, 1", kErrNoMeshMade},
      {"save object animation \"walk.x\", 5", kErrObjectNotExist},
      {"append object animation \"arm.x\", \"walk.x\", 5, 0", kErrObjectNotExist},
      {"make object cube 1, 1\nsave object animation \"walk.x\", 1", kErrObjectHasNoAnimation},
      {"load object \"anim.x\", 1\nsave object animation \"no/such/walk.x\", 1", kErrAnimationFileNotSaved},
      {"load object \"arm.x\", 1\nappend object animation \"arm.x\", \"short.x\", 1, 0", kErrAnimationFileNotLoaded},
      {"load object \"arm.x\", 1\nappend object animation \"arm.x\", \"missing.x\", 1, 0", kErrAnimationFileNotLoaded},
      {"make object 1, 0, 0\nappend object animation \"arm.x\", \"anim.x\", 1, 0", kErrAnimationFileNotLoaded},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    EXPECT_EQ(RunFresh(std::string(c.source) + "\nend\n"), c.error);
  }
}

TEST_F(ObjectCommandsTest, AcceptedEdgesOfTheRanges) {
  ASSERT_EQ(RunFresh("load object \"arm.x\", 65535\n"
                     "make object cube 1, 1\n"
                     "rotate object 1, 360, 0, 360\n"
                     "load object \"anim.x\", 2\n"
                     "set object frame 2, 20\n"
                     "set object speed 2, 100\n"
                     "set object speed 1, -100\n"
                     "make object 3, 0, 0\n"
                     "make object plain 4, 4, 2\n"
                     "set texture address mode 5\n"
                     "make object cube 5, 1\n"
                     "position object 5, 1, 2, 3\n"
                     "unglue object 5\n"
                     "end\n"),
            0);
  EXPECT_NE(ObjectSlotOf(65535), 0u);
  EXPECT_EQ(Object(1).angleX, 0.0f);
  EXPECT_EQ(Object(1).angleZ, 0.0f);
  EXPECT_EQ(Object(2).speed, 4.0f);
  EXPECT_EQ(Object(1).speed, -4.0f);
  EXPECT_EQ(Object(2).blendTargetFrame, 20.0f);
  EXPECT_EQ(Object(3).model, nullptr) << "no mesh, no model";
  EXPECT_EQ(Object(4).draw.culling, 0) << "a plain shows both sides";
  EXPECT_EQ(Scene().gGlobalAddressMode, 1u);
  EXPECT_EQ(Object(5).position.z, 3.0f) << "an object that hangs on nothing stays";
}

TEST_F(ObjectCommandsTest, AnObjectWithoutAModelTakesEveryCommand) {
  ASSERT_EQ(RunFresh("make object 1, 0, 0\n"
                     "make object cube 2, 1\n"
                     "add limb 1, 1, 0\n"
                     "texture limb 1, 0, 0\n"
                     "color limb 1, 0, 255\n"
                     "offset limb 1, 0, 1, 1, 1\n"
                     "rotate limb 1, 0, 10, 10, 10\n"
                     "scale limb 1, 0, 50, 50, 50\n"
                     "hide limb 1, 0\n"
                     "show limb 1, 0\n"
                     "scroll limb texture 1, 0, 0.5, 0.5\n"
                     "scroll object texture 1, 0.1, 0.1\n"
                     "scale object texture 1, 2, 2\n"
                     "color object 1, 255\n"
                     "texture object 1, 0\n"
                     "set object 1, 1, 0, 1\n"
                     "set object texture 1, 0, 1\n"
                     "perform checklist for object limbs 1\n"
                     "set object keyframe 1, 5\n"
                     "delete object keyframe 1, 5\n"
                     "clear all object keyframes 1\n"
                     "fix object pivot 1\n"
                     "point object 1, 1, 1, 1\n"
                     "move object 1, 1\n"
                     "turn object left 1, 10\n"
                     "glue object to limb 2, 1, 0\n"
                     "unglue object 2\n"
                     "set object collision on 1\n"
                     "set object collision off 1\n"
                     "set object collision to boxes 1\n"
                     "scale object normals 1, 50\n"
                     "instance object 1, 3\n"
                     "position object 3, 1, 0, 0\n"
                     "wait 1\n"
                     "delete object 1\n"
                     "wait 1\n"
                     "end\n",
                     80),
            0)
      << Runtime().gLastEngineError;
  EXPECT_EQ(Checklist().gChecklistCount, 0);
  EXPECT_EQ(ObjectSlotOf(1), 0u);
  EXPECT_NE(ObjectSlotOf(3), 0u);
}

TEST_F(ObjectCommandsTest, ASharedColourStaysWhileAnyObjectDrawsIt) {
  ASSERT_EQ(RunFresh("make object cube 1, 1\n"
                     "make object cube 2, 1\n"
                     "color object 1, 255\n"
                     "color object 2, 255\n"
                     "color object 2, 255\n"
                     "color limb 1, 0, 65280\n"
                     "wait 1\n"
                     "end\n"),
            0);
  const uint32_t blue = Object(2).model->GetTextureById(0);
  ASSERT_NE(blue, 0u);
  ASSERT_NE(Records().gTextureRecords[blue].texture.surface, nullptr) << "object 1 gave back only its own use";
  const TextureNameEntry* entry = FindTextureName("colour:255");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->useCount, 1) << "one mesh, one use, however often it was given the colour";
  EXPECT_EQ(FindTextureName("colour:65280")->useCount, 1);

  Interpreter().gErrorCode = 0;
  DeleteObjectRecord(ObjectSlotOf(2), 2);
  EXPECT_EQ(FindTextureName("colour:255"), nullptr) << "gone with its last user";
  EXPECT_NE(FindTextureName("colour:65280"), nullptr);
}

TEST_F(ObjectCommandsTest, LimbsTexturedWithAnImageHoldOneUseEachAndGiveItBackOnce) {
  const uint32_t image = AllocImageRecord();
  ASSERT_EQ(CreateImageSurface(image, 8, 8), 1);
  Records().gImageSlotById[5] = image;
  ASSERT_EQ(Run("make object cube 1, 1\n"
                "make object cube 2, 1\n"
                "make mesh from object 1, 1\n"
                "texture object 1, 5\n"
                "texture limb 2, 0, 5\n"
                "make object 3, 1, 5\n"
                "texture limb 2, 0, 5\n"
                "color limb 1, 0, 255\n"
                "end\n"),
            0);
  const int32_t texture = Records().gImageRecords[image].textureSlot;
  ASSERT_GT(texture, 0);
  ASSERT_NE(Records().gTextureRecords[uint32_t(texture)].nameEntry, nullptr);
  EXPECT_EQ(Records().gTextureRecords[uint32_t(texture)].nameEntry->useCount, 2)
      << "one for object 2, one for object 3";
  EXPECT_EQ(Object(2).limbs[0].imageNumber, 5);
  EXPECT_EQ(Object(3).limbs[0].imageNumber, 5);
  EXPECT_EQ(Object(1).limbs[0].imageNumber, 0) << "coloured since";
  DeleteObjectRecord(ObjectSlotOf(2), 2);
  EXPECT_EQ(Records().gImageRecords[image].textureSlot, texture);
  DeleteObjectRecord(ObjectSlotOf(3), 3);
  EXPECT_EQ(Records().gImageRecords[image].textureSlot, 0) << "given up by its last user";
}

TEST_F(ObjectCommandsTest, GlueNeverClosesALoopAndUngluingLeavesTheObjectAtItsLimb) {
  ASSERT_EQ(RunFresh("load object \"arm.x\", 1\n"
                     "make object cube 2, 1\n"
                     "make object cube 3, 1\n"
                     "glue object to limb 2, 1, 2\n"
                     "glue object to limb 3, 2, 0\n"
                     "glue object to limb 1, 3, 0\n"
                     "glue object to limb 2, 2, 0\n"
                     "position object 1, 3, 0, 0\n"
                     "wait 1\n"
                     "unglue object 2\n"
                     "unglue object 1\n"
                     "wait 1\n"
                     "end\n"),
            0);
  EXPECT_EQ(Object(1).gluedObject, 0) << "object 1 would hang on itself through 3 and 2";
  EXPECT_EQ(Object(3).gluedObject, int32_t(ObjectSlotOf(2)));
  EXPECT_EQ(Object(2).gluedObject, 0);
  // The lower arm hangs one unit below the arm's place.
  EXPECT_NEAR(Object(2).position.x, 3.0f, 1e-5);
  EXPECT_NEAR(Object(2).position.y, -1.0f, 1e-5);
  EXPECT_EQ(Object(1).position.x, 3.0f);
}

TEST_F(ObjectCommandsTest, TurnsGoTheWayTheyAreNamedAndMovesFollowTheFront) {
  ASSERT_EQ(RunFresh("for n = 1 to 8\n"
                     "make object cube n, 1\n"
                     "next n\n"
                     "turn object left 1, 90\n"
                     "pitch object up 2, 90\n"
                     "roll object right 3, 90\n"
                     "point object 4, 10, 0, 0\n"
                     "move object 4, 5\n"
                     "turn object right 5, 30\n"
                     "turn object left 5, 30\n"
                     "set object to object orientation 6, 1\n"
                     "pitch object down 7, 90\n"
                     "move object 7, 2\n"
                     "roll object left 8, 90\n"
                     "end\n"),
            0);
  EXPECT_TRUE(Row(Frame(1, 0), 2, -1, 0, 0)) << "the front turned to the left";
  EXPECT_NEAR(Object(1).angleY, -90.0f, 1e-3);
  EXPECT_TRUE(Row(Frame(2, 0), 2, 0, 1, 0)) << "the front tilted up";
  EXPECT_TRUE(Row(Frame(3, 0), 1, 1, 0, 0)) << "the top rolled to the right";
  EXPECT_NEAR(Object(4).angleY, 90.0f, 1e-3);
  EXPECT_NEAR(Object(4).position.x, 5.0f, 1e-4);
  EXPECT_NEAR(Object(4).position.z, 0.0f, 1e-4);
  EXPECT_TRUE(Near(Frame(5, 0), models::Identity()));
  EXPECT_TRUE(Row(Frame(6, 0), 2, -1, 0, 0)) << "the first object's free orientation";
  EXPECT_EQ(Object(6).freeRotation, 1);
  EXPECT_NEAR(Object(7).position.y, -2.0f, 1e-4) << "moved forwards, which faces down";
  EXPECT_TRUE(Row(Frame(8, 0), 1, -1, 0, 0));
}

TEST_F(ObjectCommandsTest, FixingThePivotKeepsTheShapeWhereItStands) {
  ASSERT_EQ(RunFresh("make object box 1, 4, 1, 1\n"
                     "rotate object 1, 0, 90, 0\n"
                     "scale object 1, 200, 200, 200\n"
                     "fix object pivot 1\n"
                     "end\n"),
            0);
  EXPECT_EQ(Object(1).angleY, 0.0f);
  MeshCopy copy;
  Object(1).model->CopyMeshData(copy, -1, -1);
  float maxX = 0, maxZ = 0;
  for (const MeshVertex& v : copy.vertices) {
    maxX = std::max(maxX, std::fabs(v.x));
    maxZ = std::max(maxZ, std::fabs(v.z));
  }
  EXPECT_NEAR(maxX, 0.5f, 1e-4) << "the long side turned to z";
  EXPECT_NEAR(maxZ, 2.0f, 1e-4);
}

TEST_F(ObjectCommandsTest, StylesAndSwitchesReachTheRecords) {
  const uint32_t blending = Display().gBlendLevel;
  Display().gBlendLevel = 0;
  const int32_t error = RunFresh(
      "make object cube 1, 1\n"
      "set object 1, 0, 0, 0\n"
      "make object cube 2, 1\n"
      "set object 2, 1, 1, 1, 0, 0, 0, 0\n"
      "set object overlay on 2\n"
      "ghost object on 1\n"
      "lock object on 1\n"
      "wireframe on\n"
      "collision off\n"
      "set object collision box 1, -1, -2, -3, 1, 2, 3, 1\n"
      "set object collision box 2, 0, 0, 0, 2, 2, 2, 0\n"
      "delete object collision box 2\n"
      "set object rotation zyx 2\n"
      "end\n");
  Display().gBlendLevel = blending;
  ASSERT_EQ(error, 0);
  EXPECT_EQ(Object(1).draw.wireframe, 1);
  EXPECT_EQ(Item(1).colourKey, 1);
  EXPECT_EQ(Object(1).draw.culling, 0);
  EXPECT_EQ(Object(1).draw.ghost, 0) << "a device that does not blend draws no ghosts";
  EXPECT_EQ(Object(1).draw.cameraLocked, 1);
  EXPECT_EQ(Object(2).draw.filtering, 0);
  EXPECT_EQ(Object(2).draw.fullBright, 1);
  EXPECT_EQ(Object(2).draw.fog, 0);
  EXPECT_EQ(Object(2).draw.ambient, 0);
  EXPECT_EQ(Object(2).draw.overlay, 1);
  EXPECT_EQ(Scene().gWireframeAll, 1u);
  EXPECT_EQ(Engine().gCollisionEnabled, 0u);
  EXPECT_EQ(Object(1).boxCollision, 1);
  EXPECT_EQ(Object(1).boxMode, 0);
  EXPECT_FLOAT_EQ(Object(1).boxCentre[2], 0.0f);
  EXPECT_EQ(Object(2).boxCollision, 0);
  EXPECT_EQ(Object(2).boxMode, 1);
  EXPECT_EQ(Object(2).rotationOrder, 1);
  Reset3DScene();
  EXPECT_EQ(Scene().gWireframeAll, 0u) << "the next run draws the static world solid";
}

TEST_F(ObjectCommandsTest, FramesAdvanceBySpeedAndWrapAndOnePlayStopsAtTheEnd) {
  ASSERT_TRUE(
      Start("load object \"anim.x\", 1\n"
            "load object \"anim.x\", 2\n"
            "set object speed 1, 50\n"
            "loop object 1\n"
            "play object 2\n"
            "wait key\n"));
  Frames(5);
  ASSERT_EQ(Interpreter().gErrorCode, 0);
  std::vector<float> frames;
  for (int i = 0; i < 30; ++i) {
    frames.push_back(Object(1).currentFrame);
    Frames(1);
  }
  int wraps = 0;
  for (size_t i = 1; i < frames.size(); ++i) {
    EXPECT_LE(frames[i], 20.0f);
    if (frames[i] == 0.0f && frames[i - 1] == 20.0f)
      ++wraps;
    else
      EXPECT_EQ(frames[i], frames[i - 1] + 2.0f) << i;
  }
  EXPECT_GE(wraps, 2);
  Frames(80);
  EXPECT_EQ(Object(2).playing, 0) << "at 0.2 a frame it went through its 20 frames";
  EXPECT_EQ(Object(2).currentFrame, 20.0f);
}

TEST_F(ObjectCommandsTest, RecordedKeysPlayBackAndAWrittenFilePlaysTheSamePosesOnAFreshObject) {
  ASSERT_TRUE(
      Start("load object \"arm.x\", 1\n"
            "set object keyframe 1, 0\n"
            "rotate limb 1, 1, 0, 90, 0\n"
            "offset limb 1, 2, 0, -2, 0\n"
            "set object keyframe 1, 10\n"
            "save object animation \"arm-walk.x\", 1\n"
            "load object \"arm.x\", 2\n"
            "append object animation \"arm.x\", \"arm-walk.x\", 2, 0\n"
            "loop object 1\n"
            "loop object 2\n"
            "wait key\n"));
  Frames(30);
  ASSERT_EQ(Interpreter().gErrorCode, 0) << Runtime().gLastEngineError;
  EXPECT_EQ(Object(1).frameCount, 10.0f);
  EXPECT_EQ(Object(2).frameCount, 10.0f);
  EXPECT_GT(Object(1).currentFrame, 0.0f);
  for (int32_t limb : {1, 2}) EXPECT_TRUE(Near(Frame(2, limb), Frame(1, limb))) << "limb " << limb << " in step";

  auto poseAt = [this](int32_t number, float frame) {
    Object(number).currentFrame = frame;
    UpdateObjectAnimation(ObjectSlotOf(number), Object(number).model->GetAnimationSet());
  };
  for (float f : {0.0f, 2.5f, 5.0f, 10.0f}) {
    poseAt(1, f);
    poseAt(2, f);
    for (int32_t limb : {1, 2}) EXPECT_TRUE(Near(Frame(2, limb), Frame(1, limb))) << "frame " << f << " limb " << limb;
  }
  // Frame 10 is the pose recorded last, frame 0 the pose at rest.
  Matrix4f turned;
  ComposeFrameMatrix(turned, Vector3f(0, 0, 0), Vector3f(0, 90, 0), Vector3f(1, 1, 1), 0);
  EXPECT_TRUE(Near(Frame(1, 1), turned));
  EXPECT_TRUE(Row(Frame(1, 2), 3, 0, -2, 0));
  poseAt(1, 0);
  EXPECT_TRUE(Near(Frame(1, 1), models::Identity()));
  EXPECT_TRUE(Row(Frame(1, 2), 3, 0, -1, 0));
  poseAt(1, 5);
  EXPECT_TRUE(Row(Frame(1, 2), 3, 0, -1.5f, 0));
  EXPECT_TRUE(Row(Frame(1, 1), 2, std::sqrt(0.5f), 0, std::sqrt(0.5f))) << "half way round";

  // Deleting keys leaves every track at least one of each kind.
  Interpreter().gErrorCode = 0;
  AnimationSet* set = Object(1).model->GetAnimationSet();
  DeleteKeyframe(*set, 10);
  DeleteKeyframe(*set, 0);
  EXPECT_EQ(set->firstTrack->rotationKeys.size(), 1u) << "a track keeps its last key";
}

// An image taller than wide, red over blue, becomes a square texture with its rows in order, made
// at once or refreshed in place by a new grab of the same size; an object wearing it shows red
// above blue. The backdrop is off while the program draws what it grabs, or each frame would
// clear it.
TEST_F(ObjectCommandsTest, ATextureOfAnImageTallerThanWideKeepsItsRows) {
  ASSERT_EQ(RunFresh(std::string("ink rgb(0, 255, 0), 0\nbox 0, 0, 20, 50\nget image 2, 0, 0, 20, 50\n"
                                 "make object plain 2, 4, 10\ntexture object 2, 2\nposition object 2, 100, 0, 0\n"
                                 "backdrop off\n"
                                 "ink rgb(255, 0, 0), 0\nbox 0, 0, 20, 25\n"
                                 "ink rgb(0, 0, 255), 0\nbox 0, 25, 20, 50\n"
                                 "get image 1, 0, 0, 20, 50\nget image 2, 0, 0, 20, 50\n"
                                 "make object plain 1, 4, 10\n"
                                 "texture object 1, 1\n"
                                 "set object 1, 1, 1, 0, 0, 0\nbackdrop on\n") +
                     kLooking + "save bitmap \"tall.bmp\"\nwait key\n"),
            0);
  for (int32_t number : {1, 2}) {
    SCOPED_TRACE(number);
    const ImageRecord& image = Records().gImageRecords[Records().gImageSlotById[size_t(number)]];
    ASSERT_EQ(std::pair(image.width, image.height), std::pair(20, 50));
    ASSERT_GT(image.textureSlot, 0);
    win::IDirectDrawSurface7* texture = Records().gTextureRecords[uint32_t(image.textureSlot)].texture.surface;
    ASSERT_NE(texture, nullptr);
    const int32_t side = int32_t(texture->Width());
    ASSERT_EQ(int32_t(texture->Height()), side);
    // Row 25 of 50 falls half way down the texture.
    for (int32_t x : {0, side / 2, side - 1}) {
      for (int32_t y = 0; y < side / 2 - 2; ++y) ASSERT_EQ(test::ColourAt(texture, x, y), 0xFF0000u) << x << ", " << y;
      for (int32_t y = side / 2 + 2; y < side; ++y)
        ASSERT_EQ(test::ColourAt(texture, x, y), 0x0000FFu) << x << ", " << y;
    }
  }
  if (!test::kDeviceFills) return;
  const test::Picture tall = Saved("tall.bmp");
  EXPECT_EQ(tall.At(tall.width / 2, tall.height / 2 - 20), 0xFF0000u) << "the upper half";
  EXPECT_EQ(tall.At(tall.width / 2, tall.height / 2 + 20), 0x0000FFu) << "the lower half";
}

// The model's own root frame is named "root" too; a frame of the file by that name is still the
// one its animation moves.
TEST_F(ObjectCommandsTest, AFrameNamedRootAnimatesLikeAFrameOfAnyOtherName) {
  for (const std::string name : {"body", "root"}) {
    SCOPED_TRACE(name);
    folder_.Write("named.x", "xof 0303txt 0032\nFrame " + name +
                                 " {\n Mesh { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; }\n}\n"
                                 "AnimationSet Rise {\n Animation {\n  { " +
                                 name + " }\n  AnimationKey { 2; 2; 0;3;0,1,0;;, 10;3;0,3,0;;; }\n }\n}\n");
    FreeProgramImage();
    ResetEngineRecords();
    Reset3DScene();
    ASSERT_TRUE(
        Start("load object \"named.x\", 1\nset object speed 1, 0\nloop object 1\nset object frame 1, 5\nwait key\n"));
    Frames(3);
    ASSERT_EQ(Interpreter().gErrorCode, 0) << Runtime().gLastEngineError;
    EXPECT_EQ(Object(1).frameCount, 10.0f);
    EXPECT_TRUE(Row(Frame(1, 1), 3, 0, 2, 0)) << "half way up at frame 5";
  }
}

TEST_F(ObjectCommandsTest, TheLimbListStaysInsideTheChecklist) {
  std::string model = "xof 0303txt 0032\n";
  for (int f = 1; f <= 600; ++f)
    model += "Frame " + (f == 3 ? std::string(300, 'n') : "f" + std::to_string(f)) + " {\n}\n";
  model += "Mesh quad {\n 3; 0;0;0;, 0;1;0;, 1;0;0;;\n 1; 3;0,1,2;;\n}\n";
  folder_.Write("many.x", model);
  ASSERT_EQ(RunFresh("load object \"many.x\", 1\nperform checklist for object limbs 1\nend\n"), 0)
      << Runtime().gLastEngineError;
  EXPECT_EQ(Checklist().gChecklistCount, kChecklistCapacity);
  EXPECT_EQ(Checklist().gChecklistFilled, 1);
  EXPECT_EQ(Checklist().gChecklist[0].values[0], 0);
  EXPECT_STREQ(Checklist().gChecklist[0].text, "root");
  EXPECT_EQ(Checklist().gChecklist[3].values[0], 3);
  EXPECT_EQ(std::strlen(Checklist().gChecklist[3].text), 255u);
  EXPECT_EQ(Checklist().gChecklist[511].values[0], 511);
}

}  // namespace
}  // namespace vx
