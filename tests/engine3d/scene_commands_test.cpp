// The camera, light, grid and scene commands end to end: compiled programs run frame by frame on
// the headless engine, their results read from the engine, from their variables and from the
// screens they save. The camera stands where it was put, aimed and turned; a half-screen viewport
// draws only its half; a red point light beside a white cube lights only the side it faces; fog
// greys what is far; grid ground heights meet the points and run straight between them; every
// refused value raises its error.
#include <cstring>
#include <filesystem>

#include "engine3d/grids.h"
#include "engine3d/maths3d.h"
#include "engine3d/static_world.h"
#include "platform/d3d/direct3d.h"
#include "platform/win/heap.h"
#include "surfaces/display_state.h"
#include "surfaces/engine_textures.h"
#include "surfaces/texture_names.h"
#include "tests/engine3d/program_world.h"

namespace vx {
namespace {

class SceneCommandsTest : public test::ProgramWorld {
 protected:
  void TearDown() override {
    win::SetGlobalAllocLimit(0);
    ProgramWorld::TearDown();
  }
  // A program run from a fresh engine: no objects, grids or lights from the one before.
  int32_t RunFresh(const std::string& source, int frames = 40) {
    FreeProgramImage();
    ResetEngineRecords();
    Reset3DScene();
    ResetDisplayDefaults();
    SetProjection(Display().gCameraNear, Display().gCameraFar, Display().gCameraFov);
    SetViewportRect(0, 0, Display().gDisplayWidth, Display().gDisplayHeight);
    return Run(source, frames);
  }
  test::Picture Saved(const std::string& name) {
    const std::optional<test::Picture> picture = test::ReferenceDecode(FIF_BMP, folder_.path() + name);
    EXPECT_TRUE(picture.has_value()) << name;
    return picture.value_or(test::Picture{});
  }
  static uint32_t Grid(int32_t number) { return Engine().gGridSlotById[size_t(number)]; }
  static LightRecord& Light(int32_t number) { return Engine().gLightRecords[Engine().gLightSlotById[size_t(number)]]; }
  static ObjectDrawState& GridDraw(int32_t number) { return Engine().gObjectRecords[Grid(number)].draw; }
  // The texture coordinates of a grid's square (x, z): four corners, u and v each.
  static const float* SquareCoords(int32_t number, int32_t x, int32_t z) {
    const ObjectRecord& grid = Engine().gObjectRecords[Grid(number)];
    const MeshRecord& mesh = Engine().gMeshRecords[uint32_t(grid.limbs[0].meshSlot)];
    return mesh.textureCoords + (x * grid.gridSegmentsZ + z) * 8;
  }
};

int Red(uint32_t c) { return int(c >> 16); }
int Green(uint32_t c) { return int((c >> 8) & 0xFF); }

::testing::AssertionResult Near(const Vector3f& v, float x, float y, float z, float tolerance = 1e-4f) {
  if (std::fabs(v.x - x) <= tolerance && std::fabs(v.y - y) <= tolerance && std::fabs(v.z - z) <= tolerance)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "(" << v.x << ", " << v.y << ", " << v.z << ")";
}

constexpr float kQuarterTurn = 1.5707963f;

TEST_F(SceneCommandsTest, TheCameraStandsWhereItWasPutAimedAndTurned) {
  ASSERT_EQ(RunFresh("position camera 1, 2, 3\npoint camera 11, 2, 3\nend\n"), 0);
  EXPECT_TRUE(Near(Scene().gCameraPosition, 1, 2, 3));
  EXPECT_TRUE(Near(Scene().gCameraLookAt, 11, 2, 3));
  EXPECT_TRUE(Near(Scene().gCameraAngles, 0, kQuarterTurn, 0));
  EXPECT_EQ(Scene().gCameraMode, kCameraLookAt);

  // Turned to face +x, a step forwards goes along x; the look-at point goes along.
  ASSERT_EQ(RunFresh("position camera 1, 2, 3\nrotate camera 0, 90, 0\nmove camera 5\nposition camera 6, 0, 8\nend\n"),
            0);
  EXPECT_EQ(Scene().gCameraMode, kCameraAngles);
  EXPECT_TRUE(Near(Scene().gCameraPosition, 6, 0, 8));
  EXPECT_TRUE(Near(Scene().gCameraLookAt, 6, 0, 108));
  EXPECT_TRUE(Near(Scene().gCameraAngles, 0, kQuarterTurn, 0));
  ASSERT_EQ(RunFresh("rotate camera 0, 90, 0\nmove camera 5\nend\n"), 0);
  EXPECT_TRUE(Near(Scene().gCameraPosition, 5, 0, 0, 1e-3f));

  ASSERT_EQ(RunFresh("xrotate camera 10\nyrotate camera 20\nzrotate camera 30\nend\n"), 0);
  EXPECT_TRUE(Near(Scene().gCameraAngles, 10 * kEngineDegreesToRadians, 20 * kEngineDegreesToRadians,
                   30 * kEngineDegreesToRadians));

  // Free turns about the camera's own axes: turned left by 90 it faces -x and moves that way.
  ASSERT_EQ(RunFresh("turn camera left 90\nmove camera 2\nend\n"), 0);
  EXPECT_EQ(Scene().gCameraMode, kCameraFree);
  EXPECT_NEAR(std::fabs(std::sin(Scene().gCameraAngles.y)), 1.0f, 1e-4f);
  EXPECT_TRUE(Near(Scene().gCameraPosition, -2, 0, 0, 1e-3f));
  ASSERT_EQ(RunFresh("turn camera left 90\nturn camera right 90\nend\n"), 0);
  EXPECT_NEAR(std::fabs(std::sin(Scene().gCameraAngles.y)), 0.0f, 1e-4f);

  // Following with smoothing 1 stands the camera exactly behind the point; smoothing 0 does the
  // same instead of dividing by zero, and the yaw turns two thirds of the way each time.
  for (const char* smoothing : {"1", "0", "-3"}) {
    SCOPED_TRACE(smoothing);
    ASSERT_EQ(RunFresh("position camera 0, 0, -50\nset camera to follow 10, 0, 0, 0, 10, 5, " + std::string(smoothing) +
                       ", 0\nend\n"),
              0);
    EXPECT_TRUE(Near(Scene().gCameraPosition, 10, 5, -10));
    EXPECT_EQ(Scene().gCameraMode, kCameraAngles);
    EXPECT_TRUE(std::isfinite(Scene().gCameraAngles.y));
  }
  ASSERT_EQ(RunFresh("position camera 0, 0, -50\nset camera to follow 10, 0, 0, 90, 10, 5, 4, 0\nend\n"), 0);
  EXPECT_TRUE(Near(Scene().gCameraPosition, 0 + (0 - 0) / 4.0f, 1.25f, -50 + 50 / 4.0f, 1e-3f))
      << "a quarter of the way";
  // The wanted place is where the camera stands and the point lies at 90 degrees: the yaw turns
  // to 60, then to 80.
  ASSERT_EQ(RunFresh("set camera to follow 10, 0, 0, 90, 10, 0, 1, 0\nend\n"), 0);
  EXPECT_NEAR(Scene().gCameraAngles.y * kEngineRadiansToDegrees, 60.0f, 1e-3f);
  ASSERT_EQ(RunFresh("set camera to follow 10, 0, 0, 90, 10, 0, 1, 0\nset camera to follow 10, 0, 0, 90, 10, 0, 1, 0\n"
                     "end\n"),
            0);
  EXPECT_NEAR(Scene().gCameraAngles.y * kEngineRadiansToDegrees, 80.0f, 1e-3f);

  // A box of the static world between the point and the wanted place keeps the camera short of it.
  ASSERT_EQ(RunFresh("add static collision box -5, 0, -8, 5, 10, -7\n"
                     "set camera to follow 0, 0, 0, 0, 20, 2, 1, 1\nend\n"),
            0);
  EXPECT_GT(Scene().gCameraPosition.z, -8.0f) << "stopped before the box";

  ASSERT_EQ(RunFresh("set camera range 2, 500\nset camera fov 1.2\nset camera rotation zyx\nautocam off\nend\n"), 0);
  EXPECT_EQ(Display().gCameraNear, 2.0f);
  EXPECT_EQ(Display().gCameraFar, 500.0f);
  EXPECT_EQ(Display().gCameraFov, 1.2f);
  Matrix4f expected;
  MatrixPerspective(expected, 1.2f, 120.0f / 160.0f, 2.0f, 500.0f);
  EXPECT_EQ(std::memcmp(expected.m, Scene().gProjectionMatrix.m, sizeof expected.m), 0)
      << "the values and the matrix agree";
  EXPECT_EQ(Scene().gCameraRotationOrder, 0);
  EXPECT_EQ(Scene().gAutoCamera, 0);
}

// Pitching up aims the camera's front at its top, rolling left turns its top to the left: a
// roll then a pitch up sends the camera's step the way the roll turned its top.
TEST_F(SceneCommandsTest, RollAndPitchTurnTheWayTheirNamesSay) {
  const struct {
    const char* turns;
    Vector3f step;
  } cases[] = {
      {"pitch camera up 90", {0, 2, 0}},
      {"pitch camera down 90", {0, -2, 0}},
      {"roll camera left 90\npitch camera up 90", {-2, 0, 0}},
      {"roll camera right 90\npitch camera up 90", {2, 0, 0}},
      {"roll camera left 45\nroll camera right 45\npitch camera up 90", {0, 2, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.turns);
    ASSERT_EQ(RunFresh(std::string(c.turns) + "\nmove camera 2\nend\n"), 0);
    EXPECT_TRUE(Near(Scene().gCameraPosition, c.step.x, c.step.y, c.step.z, 1e-3f));
  }
}

// A spot light's cones may be equal; a grid's tiles may be laid out in more columns than rows.
TEST_F(SceneCommandsTest, EqualSpotConesAndTileLayoutsThatAreNotSquare) {
  ASSERT_EQ(RunFresh("make light 1\nset spot light 1, 20, 20\n"
                     "make matrix 1, 10, 10, 4, 3\n"
                     "ink rgb(0, 255, 0), 0\nbox 0, 0, 64, 32\nget image 1, 0, 0, 64, 32\n"
                     "prepare matrix texture 1, 1, 4, 2\n"
                     "set matrix tile 1, 2, 1, 6\nset matrix tile 1, 3, 2, 8\nend\n"),
            0);
  EXPECT_EQ(Light(1).type, 2);
  EXPECT_NEAR(Light(1).innerCone, 20 * kEngineDegreesToRadians, 1e-6f);
  EXPECT_NEAR(Light(1).outerCone, 20 * kEngineDegreesToRadians, 1e-6f);
  EXPECT_EQ(Engine().gObjectRecords[Grid(1)].tileCount, 8);
  // Tile 6 of four by two: column 1 of four, row 1 of two, one texel in from each side.
  const float* square = SquareCoords(1, 2, 1);
  EXPECT_FLOAT_EQ(square[0], 0.25f + 1 / 64.0f);
  EXPECT_FLOAT_EQ(square[1], 1.0f - 1 / 32.0f);
  EXPECT_FLOAT_EQ(square[2], 0.5f - 1 / 64.0f);
  EXPECT_FLOAT_EQ(square[5], 0.5f + 1 / 32.0f);
  const float* last = SquareCoords(1, 3, 2);
  EXPECT_FLOAT_EQ(last[0], 0.75f + 1 / 64.0f) << "tile 8: the last column of the second row";
  EXPECT_FLOAT_EQ(last[1], 1.0f - 1 / 32.0f);
}

TEST_F(SceneCommandsTest, AHalfScreenViewportDrawsOnlyInTheLeftHalf) {
  if (!test::kDeviceFills) GTEST_SKIP() << "the device only records its triangles";
  ASSERT_EQ(RunFresh("hide mouse\n"
                     "set camera view 0, 0, 80, 120\n"
                     "make object cube 1, 4\n"
                     "color object 1, rgb(255, 0, 0)\n"
                     "set object 1, 1, 1, 1, 1, 0\n"
                     "color backdrop rgb(0, 0, 255)\n"
                     "position camera 0, 0, -10\n"
                     "point camera 0, 0, 0\n"
                     "save bitmap \"half.bmp\"\n"
                     "wait key\n"),
            0);
  const test::Picture half = Saved("half.bmp");
  ASSERT_EQ(half.width, 160u);
  EXPECT_EQ(half.At(40, 60), 0xFF0000u) << "the cube in the middle of the left half";
  EXPECT_EQ(half.At(5, 5), 0x0000FFu) << "the backdrop";
  int right = 0;
  for (uint32_t y = 0; y < 120; ++y)
    for (uint32_t x = 80; x < 160; ++x) right += half.At(x, y) != 0 ? 1 : 0;
  EXPECT_EQ(right, 0) << "nothing drawn in the right half";
  EXPECT_EQ(Scene().gViewportWidth, 80);
}

TEST_F(SceneCommandsTest, ARedPointLightBesideAWhiteCubeLightsOnlyTheSideItFaces) {
  if (!test::kDeviceFills) GTEST_SKIP() << "the device only records its triangles";
  const std::string scene =
      "set ambient light 0\n"
      "color backdrop 0\n"
      "make object cube 1, 4\n"
      "yrotate object 1, 45\n"
      "color object 1, rgb(255, 255, 255)\n"
      "position camera 0, 0, -10\n"
      "point camera 0, 0, 0\n";
  ASSERT_EQ(RunFresh(scene + "hide light 0\n"
                             "make light 1\n"
                             "set point light 1, -6, 0, -6\n"
                             "color light 1, rgb(255, 0, 0)\n"
                             "save bitmap \"red.bmp\"\n"
                             "hide light 1\n"
                             "refresh screen\n"
                             "save bitmap \"dark.bmp\"\n"
                             "wait key\n"),
            0)
      << Runtime().gLastEngineError;
  const test::Picture red = Saved("red.bmp"), dark = Saved("dark.bmp");
  const uint32_t nearSide = red.At(70, 60), farSide = red.At(90, 60);
  EXPECT_GT(Red(nearSide), 100) << std::hex << nearSide;
  EXPECT_LT(Green(nearSide), 30) << std::hex << nearSide;
  EXPECT_LT(Red(farSide), 30) << std::hex << farSide;
  EXPECT_EQ(dark.At(70, 60), 0u) << "no light, no ambient: black";
  // Light 0, shown again, lights both sides white.
  ASSERT_EQ(RunFresh(scene + "save bitmap \"white.bmp\"\nwait key\n"), 0);
  const test::Picture white = Saved("white.bmp");
  EXPECT_GT(Green(white.At(70, 60)), 30);
}

TEST_F(SceneCommandsTest, FogGreysFarCubesAndLeavesNearOnesTheirColour) {
  if (!test::kDeviceFills) GTEST_SKIP() << "the device only records its triangles";
  if (!Display().gFogAvailable) GTEST_SKIP() << "the device does not fog";
  ASSERT_EQ(RunFresh("color backdrop rgb(128, 128, 128)\n"
                     "fog color rgb(128, 128, 128)\n"
                     "fog distance 30\n"
                     "fog on\n"
                     "make object cube 1, 2\n"
                     "color object 1, rgb(255, 0, 0)\n"
                     "set object 1, 1, 1, 1, 1, 0\n"
                     "position object 1, -2, 0, 5\n"
                     "make object cube 2, 8\n"
                     "color object 2, rgb(255, 0, 0)\n"
                     "set object 2, 1, 1, 1, 1, 0\n"
                     "position object 2, 12, 0, 30\n"
                     "position camera 0, 0, 0\n"
                     "point camera 0, 0, 10\n"
                     "save bitmap \"fog.bmp\"\n"
                     "fog off\n"
                     "refresh screen\n"
                     "save bitmap \"clear.bmp\"\n"
                     "wait key\n"),
            0);
  const test::Picture fog = Saved("fog.bmp"), clear = Saved("clear.bmp");
  // Where the cubes stand on the screen: the near one left of the middle, the far one right.
  const uint32_t nearCube = fog.At(45, 60), farCube = fog.At(125, 60);
  EXPECT_GT(Red(nearCube) - Green(nearCube), 150) << std::hex << nearCube;
  EXPECT_LT(Red(farCube) - Green(farCube), 80) << std::hex << farCube;
  EXPECT_GT(Green(farCube), 80) << std::hex << farCube;
  EXPECT_EQ(clear.At(125, 60), 0xFF0000u) << "without fog the far cube is red";
}

TEST_F(SceneCommandsTest, GroundHeightsMeetTheGridPointsAndRunStraightBetweenThem) {
  ASSERT_EQ(RunFresh("make matrix 1, 100, 50, 10, 5\n"
                     "set matrix height 1, 2, 1, 4\n"
                     "set matrix height 1, 3, 1, 8\n"
                     "set matrix height 1, 3, 2, 6\n"
                     "set matrix height 1, 10, 5, 3\n"
                     "update matrix 1\n"
                     "end\n"),
            0);
  const uint32_t grid = Grid(1);
  ASSERT_NE(grid, 0u);
  EXPECT_EQ(GridDraw(1).wireframe, 1) << "wireframe until textured";
  // The camera over the middle of the grid, looking along it.
  EXPECT_NEAR(Scene().gCameraPosition.x, 50.0f, 1e-4f);
  EXPECT_NEAR(Scene().gCameraPosition.z, 25.0f, 1e-4f);
  EXPECT_NEAR(Scene().gCameraLookAt.z, 125.0f, 1e-4f);
  for (int32_t x = 0; x <= 10; ++x)
    for (int32_t z = 0; z <= 5; ++z)
      EXPECT_FLOAT_EQ(GetMatrixGroundHeight(grid, float(x) * 10, float(z) * 10), GetMatrixPointHeight(grid, x, z))
          << x << ", " << z;
  EXPECT_FLOAT_EQ(GetMatrixPointHeight(grid, 3, 1), 8.0f);
  EXPECT_FLOAT_EQ(GetMatrixGroundHeight(grid, 25, 10), 6.0f) << "half way from 4 to 8";
  EXPECT_FLOAT_EQ(GetMatrixGroundHeight(grid, 30, 15), 7.0f) << "half way from 8 to 6";
  EXPECT_FLOAT_EQ(GetMatrixGroundHeight(grid, 22.5f, 10), 5.0f);
  EXPECT_FLOAT_EQ(GetMatrixGroundHeight(grid, 100, 50), 3.0f) << "the far corner";
  // The rebuilt model holds the new heights.
  Vector3f centre;
  float radius = 0.0f;
  Engine().gObjectRecords[grid].model->GetOriginBoundingSphere(centre, radius);
  EXPECT_GT(radius, std::sqrt(100.0f * 100.0f + 50.0f * 50.0f));
}

// Each form of each shift moves the heights one row or column with wrap-around; the drawn mesh
// follows at once, with a flag of 1, and not with a flag of 0 until the grid is updated.
TEST_F(SceneCommandsTest, ShiftsMoveTheHeightsAndRebuildTheGridAsTheirFlagSays) {
  // Heights 10 x + z on points 0 to 3 each way, 10 units apart.
  const std::string numbered =
      "make matrix 1, 30, 30, 3, 3\n"
      "for x = 0 to 3\nfor z = 0 to 3\nset matrix height 1, x, z, x * 10 + z\nnext z\nnext x\n"
      "update matrix 1\n";
  struct Moved {
    int32_t x, z;
    float height;
  };
  const struct {
    const char* direction;
    std::vector<Moved> points;
  } cases[] = {
      {"down", {{1, 0, 11}, {1, 1, 12}, {1, 2, 10}, {1, 3, 13}}},
      {"up", {{1, 0, 12}, {1, 1, 10}, {1, 2, 11}, {1, 3, 13}}},
      {"left", {{0, 1, 11}, {1, 1, 21}, {2, 1, 1}, {3, 1, 31}}},
      {"right", {{0, 1, 31}, {1, 1, 1}, {2, 1, 11}, {3, 1, 21}}},
  };
  // The height the grid's model draws at a point.
  const auto drawn = [](int32_t x, int32_t z) {
    const MeshNode* mesh = Engine().gObjectRecords[Grid(1)].model->FindMeshByIndex(0, 0);
    if (!mesh) return -1.0f;
    for (const Vector3f& p : mesh->positions())
      if (p.x == float(x) * 10 && p.z == float(z) * 10) return p.y;
    return -1.0f;
  };
  for (const auto& c : cases) {
    for (const char* flag : {"", ", 1", ", 0"}) {
      const std::string shift = std::string("shift matrix ") + c.direction + " 1" + flag;
      SCOPED_TRACE(shift);
      ASSERT_EQ(RunFresh(numbered + shift + "\nend\n"), 0);
      const bool rebuilt = std::strcmp(flag, ", 0") != 0;
      for (const Moved& p : c.points) {
        EXPECT_EQ(GetMatrixPointHeight(Grid(1), p.x, p.z), p.height) << p.x << ", " << p.z;
        EXPECT_EQ(drawn(p.x, p.z), rebuilt ? p.height : float(p.x * 10 + p.z)) << p.x << ", " << p.z;
      }
    }
  }
}

TEST_F(SceneCommandsTest, GridsTakeTilesRandomHeightsFromTheProgramsGeneratorAndGoAway) {
  ASSERT_EQ(RunFresh("make matrix 1, 10, 10, 4, 3\n"
                     "ink rgb(0, 255, 0), 0\n"
                     "box 0, 0, 64, 32\n"
                     "get image 1, 0, 0, 64, 32\n"
                     "prepare matrix texture 1, 1, 4, 4\n"
                     "set matrix tile 1, 2, 1, 6\n"
                     "set matrix tile 1, 3, 2, 16, 0, 0\n"
                     "random seed 7\n"
                     "randomize matrix 1, 10\n"
                     "make matrix 2, 10, 10, 70, 71\n"
                     "make matrix 3, 10, 10, 50, 100\n"
                     "delete matrix 3\n"
                     "make matrix 3, 10, 10, 2, 2\n"
                     "set matrix height 1, 4, 3, 2.5\n"
                     "end\n"),
            0);
  const uint32_t grid = Grid(1);
  EXPECT_EQ(GridDraw(1).wireframe, 0) << "textured, so filled";
  EXPECT_EQ(Engine().gObjectRecords[grid].tileCount, 16);
  // Square (2, 1) has tile 6: column 1, row 1 of four by four, one texel in from each side.
  const float* square = SquareCoords(1, 2, 1);
  EXPECT_FLOAT_EQ(square[0], 0.25f + 1 / 64.0f);
  EXPECT_FLOAT_EQ(square[1], 0.5f - 1 / 32.0f);
  EXPECT_FLOAT_EQ(square[2], 0.5f - 1 / 64.0f);
  EXPECT_FLOAT_EQ(square[5], 0.25f + 1 / 32.0f);
  const float* last = SquareCoords(1, 3, 2);
  EXPECT_FLOAT_EQ(last[0], 0.75f) << "the last tile, no inset";
  EXPECT_FLOAT_EQ(last[1], 1.0f);
  const float* first = SquareCoords(1, 0, 0);
  EXPECT_FLOAT_EQ(first[0], 1 / 64.0f) << "every other square tile 1";
  // The heights are the program's random draws after its seed 7, x outer, z inner.
  uint32_t state = 7;
  for (int32_t x = 0; x <= 4; ++x)
    for (int32_t z = 0; z <= 3; ++z) {
      state = state * 214013u + 2531011u;
      const float expected = (x == 4 && z == 3) ? 2.5f : float(((state >> 16) & 0x7FFF) % 1000) / 100.0f;
      EXPECT_FLOAT_EQ(GetMatrixPointHeight(grid, x, z), expected) << x << ", " << z;
    }
  EXPECT_NE(Grid(2), 0u) << "70 by 71 squares";
  EXPECT_EQ(Engine().gObjectRecords[Grid(3)].gridSegmentsX, 2) << "a deleted grid's number is free again";
  EXPECT_EQ(ObjectSlotOf(3), 0u) << "grid numbers are not object numbers";

  // A maximum beyond the integers is held at their end, so every draw stands as it came.
  ASSERT_EQ(RunFresh("random seed 3\nmake matrix 1, 10, 10, 1, 1\nrandomize matrix 1, 1000000000000.0\nend\n"), 0);
  state = 3;
  for (int32_t x = 0; x <= 1; ++x)
    for (int32_t z = 0; z <= 1; ++z) {
      state = state * 214013u + 2531011u;
      EXPECT_FLOAT_EQ(GetMatrixPointHeight(Grid(1), x, z), float((state >> 16) & 0x7FFF) / 100.0f) << x << ", " << z;
    }
}

TEST_F(SceneCommandsTest, LightsAreMadeAimedColouredAndReadBack) {
  ASSERT_EQ(RunFresh("make light 1\n"
                     "set directional light 1, 3, 0, 4\n"
                     "make light 2\n"
                     "set point light 2, 1, 2, 3\n"
                     "point light 2, 1, 2, 3\n"
                     "set directional light 2, 0, 0, 0\n"
                     "make light 3\n"
                     "color light 3, rgb(255, 128, 0)\n"
                     "set light range 3, 50\n"
                     "make light 4\n"
                     "color light 4, 510, 0, 0\n"
                     "set directional light 4, 0, -1, 0\n"
                     "position light 4, 9, 9, 9\n"
                     "make light 5\n"
                     "set spot light 5, 10, 30\n"
                     "position light 5, 0, 10, 0\n"
                     "point light 5, 0, 0, 0\n"
                     "hide light 5\n"
                     "make light 6\n"
                     "delete light 6\n"
                     "make light 6\n"
                     "set directional light 6, 3, 0, 4\n"
                     "rotate light 1, 0, 90, 0\n"
                     "t = light type(5)\n"
                     "v = light visible(5)\n"
                     "r# = light range(3)\n"
                     "d# = light direction y(5)\n"
                     "x# = light position x(2)\n"
                     "u# = light range(70000)\n"
                     "end\n"),
            0);
  EXPECT_TRUE(Near(Vector3f(Light(1).directionX, Light(1).directionY, Light(1).directionZ), 1, 0, 0))
      << "turned from +z by 90 degrees about y";
  EXPECT_TRUE(Near(Vector3f(Light(6).directionX, Light(6).directionY, Light(6).directionZ), 0.6f, 0, 0.8f))
      << "divided by its length";
  // A direction of no length, or a light aimed at where it stands, keeps the direction it had.
  EXPECT_TRUE(Near(Vector3f(Light(2).directionX, Light(2).directionY, Light(2).directionZ), 0, 0, 1));
  EXPECT_EQ(Light(2).type, 3);
  EXPECT_FLOAT_EQ(Light(3).red, 1.0f);
  EXPECT_NEAR(Light(3).green, 0.502f, 1e-3f);
  EXPECT_FLOAT_EQ(Light(3).blue, 0.0f);
  EXPECT_FLOAT_EQ(Light(4).red, 2.0f) << "no clamping";
  EXPECT_TRUE(Near(Vector3f(Light(4).positionX, Light(4).positionY, Light(4).positionZ), 0, 0, 0))
      << "a directional light has no position";
  EXPECT_NEAR(Light(5).innerCone, 10 * kEngineDegreesToRadians, 1e-6f);
  EXPECT_NEAR(Light(5).outerCone, 30 * kEngineDegreesToRadians, 1e-6f);
  EXPECT_EQ(Light(5).on, 0);
  EXPECT_EQ(Light(5).deviceEnabled, 0);
  EXPECT_EQ(test::IntAt(13000), 2) << "spot";
  EXPECT_EQ(test::IntAt(13001), 0) << "hidden";
  EXPECT_FLOAT_EQ(test::FloatAt(15000), 50.0f);
  EXPECT_FLOAT_EQ(test::FloatAt(15001), -1.0f) << "aimed straight down";
  EXPECT_FLOAT_EQ(test::FloatAt(15002), 1.0f);
  EXPECT_FLOAT_EQ(test::FloatAt(15003), 0.0f) << "no light number, 0 rather than what the temporary held";
  // The device lights follow the records.
  win::D3DLIGHT7 device{};
  ASSERT_TRUE(win::Succeeded(Display().gD3DDevice->GetLight(Engine().gLightSlotById[3], &device)));
  EXPECT_FLOAT_EQ(device.dvRange, 50.0f);
  win::BOOL enabled = 1;
  Display().gD3DDevice->GetLightEnable(Engine().gLightSlotById[5], &enabled);
  EXPECT_EQ(enabled, 0);
  EXPECT_EQ(Engine().gLightRecords.usedCount, 7) << "light 0 and six more, the deleted one given back";
}

TEST_F(SceneCommandsTest, ALightTakesTheWayAnObjectFacesInEitherRotationMode) {
  ASSERT_EQ(RunFresh("make object cube 1, 1\n"
                     "rotate object 1, 30, 60, 0\n"
                     "position object 1, 4, 5, 6\n"
                     "make object cube 2, 1\n"
                     "turn object left 2, 50\n"
                     "pitch object up 2, 20\n"
                     "make light 1\n"
                     "set light to object orientation 1, 1\n"
                     "set light to object position 1, 1\n"
                     "make light 2\n"
                     "set light to object orientation 2, 2\n"
                     "end\n"),
            0);
  for (int32_t n : {1, 2}) {
    SCOPED_TRACE(n);
    Matrix4f frame;
    ASSERT_TRUE(Engine().gObjectRecords[ObjectSlotOf(n)].model->GetMatrixById(0, frame));
    const Vector3f facing(frame.At(2, 0), frame.At(2, 1), frame.At(2, 2));
    EXPECT_TRUE(Near(Vector3f(Light(n).directionX, Light(n).directionY, Light(n).directionZ), facing.x, facing.y,
                     facing.z, 1e-4f));
  }
  EXPECT_TRUE(Near(Vector3f(Light(1).positionX, Light(1).positionY, Light(1).positionZ), 4, 5, 6));
  EXPECT_EQ(Light(2).lightWord, 1) << "taken from the free rotation";
}

TEST_F(SceneCommandsTest, SceneSettingsMathsAndConversions) {
  std::filesystem::copy_file(std::string(VX_MODEL_FIXTURES_DIR) + "/box.3ds", folder_.path() + "a.3DS");
  ASSERT_EQ(RunFresh("set ambient light 30\n"
                     "color ambient light rgb(10, 20, 30)\n"
                     "a# = curvevalue(10, 0, 4)\n"
                     "b# = curvevalue(10, 0, 0)\n"
                     "c# = curveangle(10, 350, 2)\n"
                     "d# = curveangle(350, 10, 2)\n"
                     "e# = wrapvalue(-90)\n"
                     "f# = newxvalue(1, 90, 2)\n"
                     "g# = newzvalue(1, 0, 2)\n"
                     "h# = newyvalue(1, 90, 2)\n"
                     "i# = curveangle(100, 0, -1)\n"
                     "convert 3ds to x \"a.3DS\", \"b.X\"\n"
                     "draw 3d over 2d\n"
                     "backdrop off\n"
                     "texture backdrop 5\n"
                     "make object cube 1, 1\n"
                     "n = fog available()\n"
                     "m = display ready()\n"
                     "end\n"),
            0)
      << Runtime().gLastEngineError;
  EXPECT_FLOAT_EQ(Display().gAmbientLevel, 0.3f);
  EXPECT_FLOAT_EQ(Display().gSceneMaterial.diffuse.r, 0.7f);
  EXPECT_EQ(Scene().gAmbientColour, 0x0A141Eu);
  EXPECT_FLOAT_EQ(test::FloatAt(15000), 2.5f);
  EXPECT_FLOAT_EQ(test::FloatAt(15001), 10.0f) << "speed 0 goes all the way";
  EXPECT_FLOAT_EQ(test::FloatAt(15002), 0.0f) << "the short way over 0";
  EXPECT_FLOAT_EQ(test::FloatAt(15003), 0.0f);
  EXPECT_FLOAT_EQ(test::FloatAt(15004), 270.0f);
  EXPECT_NEAR(test::FloatAt(15005), 3.0f, 1e-4f);
  EXPECT_FLOAT_EQ(test::FloatAt(15006), 3.0f);
  EXPECT_NEAR(test::FloatAt(15007), -1.0f, 1e-4f);
  EXPECT_FLOAT_EQ(test::FloatAt(15008), 100.0f);
  EXPECT_EQ(folder_.Read("b.X").substr(0, 4), "xof ");
  EXPECT_EQ(Interpreter().gDrawSceneAtFrameUpdate, 1u);
  Interpreter().gDrawSceneAtFrameUpdate = 0;
  EXPECT_EQ(Scene().gBackdropObject, 0) << "switched off before the first object, so never made";
  EXPECT_EQ(test::IntAt(13000), int32_t(Display().gFogAvailable));
  EXPECT_EQ(test::IntAt(13001), 1);

  // The backdrop gives back the use of each texture it no longer shows.
  ASSERT_EQ(RunFresh("make object cube 1, 1\n"
                     "color backdrop rgb(1, 2, 3)\n"
                     "color backdrop rgb(1, 2, 3)\n"
                     "ink rgb(255, 255, 0), 0\n"
                     "box 0, 0, 16, 16\n"
                     "get image 1, 0, 0, 16, 16\n"
                     "texture backdrop 1\n"
                     "scroll backdrop 50, 25\n"
                     "end\n"),
            0);
  EXPECT_EQ(FindTextureName(TextureNameKey(nullptr, 0x010203, 0)), nullptr) << "the colour's texture went";
  EXPECT_EQ(Scene().gBackdropOwnTexture, 0);
  const uint32_t planeMesh = uint32_t(Engine().gObjectRecords[uint32_t(Scene().gBackdropObject)].limbs[0].meshSlot);
  EXPECT_FLOAT_EQ(Engine().gMeshRecords[planeMesh].textureCoords[0], 0.5f);
  EXPECT_FLOAT_EQ(Engine().gMeshRecords[planeMesh].textureCoords[1], 1.25f);
}

TEST_F(SceneCommandsTest, RefusedValuesRaiseTheirErrors) {
  const struct {
    const char* source;
    int32_t error;
  } cases[] = {
      {"rotate camera 360, 0, 0", kErrAngleOutOfRange},
      {"yrotate camera -1", kErrAngleOutOfRange},
      {"set camera range 1.0, 1.0", kErrCameraRangeInvalid},
      {"set camera range 0.5, 100", kErrCameraRangeInvalid},
      {"set camera range 1, 1.005", kErrCameraRangeInvalid},
      {"set camera range 2, 0", kErrValueOutOfRange},
      {"set camera fov 0", kErrValueOutOfRange},
      {"set camera fov 3.2", kErrValueOutOfRange},
      {"set camera view 10, 0, 10, 100", kErrCopyAreaOutside},
      {"set camera view 0, 0, 161, 120", kErrCopyAreaOutside},
      {"set camera to object orientation 0", kErrObjectNumberOutOfRange},
      {"set camera to object orientation 4", kErrObjectNotExist},
      {"make light 0", kErrLightNumberTaken},
      {"make light 70000", kErrLightNumberOutOfRange},
      {"make light 1\nmake light 1", kErrLightNumberTaken},
      {"delete light 0", kErrLightZeroNotDeleted},
      {"delete light 2", kErrLightNotExist},
      {"show light -1", kErrLightNumberOutOfRange},
      {"position light 3, 0, 0, 0", kErrLightNotExist},
      {"set light range 0, 0", kErrValueOutOfRange},
      {"set light range 0, -5", kErrValueOutOfRange},
      {"set light range 0, 1000000.0 * 1000000.0 * 1000000.0 * 1000000.0", kErrValueOutOfRange},
      {"set spot light 0, 40, 30", kErrValueOutOfRange},
      {"set spot light 0, -1, 30", kErrValueOutOfRange},
      {"set spot light 0, 10, 181", kErrValueOutOfRange},
      {"set light to object position 0, 1", kErrObjectNotExist},
      {"set light to object orientation 0, 0", kErrObjectNumberOutOfRange},
      {"make matrix 0, 10, 10, 2, 2", kErrMatrixNumberOutOfRange},
      {"make matrix 1, 10, 10, 2, 2\nmake matrix 1, 10, 10, 2, 2", kErrMatrixExists},
      {"make matrix 1, 0, 10, 2, 2", kErrMatrixSizeBelowOne},
      {"make matrix 1, 10, 10, 0, 2", kErrMatrixNeedsSegments},
      {"make matrix 1, 10, 10, 70, 72", kErrMatrixTooManyPoints},
      {"make matrix 1, 10, 10, 5001, 1", kErrMatrixTooManyPoints},
      {"make matrix 1, 10, 10, 65536, 65536", kErrMatrixTooManyPoints},
      {"delete matrix 5", kErrMatrixNotExist},
      {"update matrix 65536", kErrMatrixNumberOutOfRange},
      {"make matrix 1, 10, 10, 2, 2\nfill matrix 1, 0, 0", kErrTileNumberOutOfRange},
      {"make matrix 1, 10, 10, 2, 2\nfill matrix 1, 0, 1", kErrTileNumberOutOfRange},
      {"make matrix 1, 10, 10, 2, 2\nrandomize matrix 1, 0", kErrMatrixHeightRange},
      {"make matrix 1, 10, 10, 2, 2\nset matrix height 1, 3, 0, 1", kErrPointOutsideMatrix},
      {"make matrix 1, 10, 10, 2, 2\nset matrix normal 1, 0, -1, 0, 1, 0", kErrPointOutsideMatrix},
      {"make matrix 1, 10, 10, 2, 2\nprepare matrix texture 1, 0, 1, 1", kErrImageNumberOutOfRange},
      {"make matrix 1, 10, 10, 2, 2\nprepare matrix texture 1, 3, 1, 1", kErrImageNotExist},
      {"make matrix 1, 10, 10, 2, 2\nget image 1, 0, 0, 8, 8\nprepare matrix texture 1, 1, 0, 1", kErrValueOutOfRange},
      {"make matrix 1, 10, 10, 2, 2\nget image 1, 0, 0, 8, 8\nprepare matrix texture 1, 1, 2, 2\n"
       "set matrix tile 1, 2, 0, 1",
       kErrPointOutsideMatrix},
      {"make matrix 1, 10, 10, 2, 2\nget image 1, 0, 0, 8, 8\nprepare matrix texture 1, 1, 2, 2\n"
       "set matrix tile 1, 0, 0, 5",
       kErrTileNumberOutOfRange},
      {"set ambient light 101", kErrAmbientLightOutOfRange},
      {"color ambient light -1", kErrValueOutOfRange},
      {"make object cube 1, 1\ntexture backdrop 0", kErrImageNumberOutOfRange},
      {"make object cube 1, 1\ntexture backdrop 9", kErrImageNotExist},
      {"convert 3ds to x \"a.x\", \"b.x\"", kErrConvertSourceNot3ds},
      {"convert 3ds to x \"a.3ds\", \"b.txt\"", kErrConvertTargetNotX},
      {"convert 3ds to x \"missing.3ds\", \"b.x\"", kErrFileNotFound},
      {"convert 3ds to x \"broken.3ds\", \"taken.x\"", kErrFileExists},
      {"convert 3ds to x \"broken.3ds\", \"out.x\"", kErrModelNotRead},
  };
  folder_.Write("broken.3ds", std::string("\x4d\x4d\xff\xff\x00\x00", 6));
  folder_.Write("taken.x", "xof 0303txt 0032\n");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    EXPECT_EQ(RunFresh(std::string(c.source) + "\nend\n"), c.error);
  }

  // Fog commands on a device without fog only warn.
  const uint32_t fog = Display().gFogAvailable;
  Display().gFogAvailable = 0;
  for (const char* source : {"fog on", "fog off", "fog distance 5", "fog color 0"}) {
    SCOPED_TRACE(source);
    EXPECT_EQ(RunFresh(std::string(source) + "\nend\n"), kErrFogNotAvailable);
    EXPECT_EQ(Interpreter().gErrorWarningFlag, 1);
  }
  Display().gFogAvailable = fog;

  // A light the device cannot make leaves its number and its record free.
  FreeProgramImage();
  ResetEngineRecords();
  Reset3DScene();
  const int32_t lights = Engine().gLightRecords.usedCount;
  win::CurrentDirect3DFaults().failSetLight = true;
  EXPECT_EQ(Run("make light 1\nend\n"), kErrLightNotCreated);
  win::CurrentDirect3DFaults().failSetLight = false;
  EXPECT_EQ(Engine().gLightSlotById[1], 0u);
  EXPECT_EQ(Engine().gLightRecords.usedCount, lights);

  // A grid whose memory can't be had is no grid: 101, and its number stays free.
  FreeProgramImage();
  ResetEngineRecords();
  Reset3DScene();
  win::SetGlobalAllocLimit(200000);
  EXPECT_EQ(Run("make matrix 1, 10, 10, 70, 71\nend\n"), kErrOutOfMemory);
  win::SetGlobalAllocLimit(0);
  EXPECT_EQ(Engine().gGridSlotById[1], 0u);
  EXPECT_EQ(Run("make matrix 1, 10, 10, 70, 71\nend\n"), 0) << "with the memory back, the grid is made";
}

}  // namespace
}  // namespace vx
