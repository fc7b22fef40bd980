// The object and scene value functions end to end: compiled programs move, turn and animate
// objects and read them back; boxes that overlap report each other with the push-back out of the
// side they came from, apart ones do not, and other numbers that name nothing touch nothing; limb
// places follow their object at once; grids, the static world, the camera and lights answer; and
// every refused number raises its error.
#include <climits>
#include <cmath>
#include <filesystem>
#include <initializer_list>
#include <utility>

#include "engine3d/grids.h"
#include "tests/engine3d/program_world.h"

namespace vx {
namespace {

class ObjectValuesTest : public test::ProgramWorld {
 protected:
  // A program run from a fresh engine to its end.
  int32_t RunFresh(const std::string& source, int frames = 40) {
    FreeProgramImage();
    ResetEngineRecords();
    Reset3DScene();
    Engine().gCollisionEnabled = 1;
    return Run(source, frames);
  }
  // Each variable against its value: floats (names ending in "#") within the tolerance, integers exactly.
  void Expect(std::initializer_list<std::pair<const char*, double>> values, float tolerance = 1e-4f) {
    for (const auto& [name, value] : values) {
      if (std::string(name).back() == '#')
        EXPECT_NEAR(Float(name), value, tolerance) << name;
      else
        EXPECT_EQ(Int(name), int32_t(value)) << name;
    }
  }
  void Copy(const std::string& from, const std::string& name) {
    std::filesystem::copy_file(std::string(VX_SOURCE_DIR) + "/" + from + name, folder_.path() + name);
  }
};

TEST_F(ObjectValuesTest, PlacesAnglesSizesAndScreenPlacesReadBackAfterMovesAndTurns) {
  ASSERT_EQ(RunFresh("make object box 1, 2, 4, 6\n"
                     "position object 1, 1.5, -2, 3\n"
                     "px# = object position x(1) : py# = object position y(1) : pz# = object position z(1)\n"
                     "rotate object 1, 10, 20, 360\n"
                     "ax# = object angle x(1) : ay# = object angle y(1) : az# = object angle z(1)\n"
                     "rem Pointed along x and moved 2; then moved 2 after a free turn.\n"
                     "point object 1, 5.5, -2, 3 : move object 1, 2\n"
                     "mx# = object position x(1) : my# = object angle y(1)\n"
                     "turn object left 1, 45 : tx# = object position x(1) : tz# = object position z(1)\n"
                     "move object 1, 2\n"
                     "step# = sqrt((object position x(1) - tx#) ^ 2 + (object position z(1) - tz#) ^ 2)\n"
                     "rem Sizes are unscaled; a radius is the whole part of 3.74 plus one.\n"
                     "scale object 1, 200, 200, 200\n"
                     "sx# = object size x(1) : sy# = object size y(1) : sz# = object size z(1)\n"
                     "size# = object size(1) : radius# = object bounds radius(1) : cx# = object bounds center x(1)\n"
                     "hide object 1 : hidden = object visible(1) : show object 1 : shown = object visible(1)\n"
                     "one = object exist(1) : none = object exist(65535) : mesh = mesh exist(1)\n"
                     "make mesh from object 1, 1 : made = mesh exist(1)\n"
                     "rem On the screen of 160 x 120: the middle, behind the camera, and far beyond any integer.\n"
                     "position camera 0, 0, -10 : point camera 0, 0, 0\n"
                     "make object cube 2, 1 : make object cube 3, 1 : make object cube 4, 1\n"
                     "position object 3, 0, 0, -20 : position object 4, 1000000.0 * 1000000.0 * 1000000.0, 0, 0\n"
                     "x = object screen x(2) : y = object screen y(2) : in = object in screen(2)\n"
                     "behind = object in screen(3) : far = object screen x(4)\n"
                     "end\n"),
            0)
      << Runtime().gLastEngineError;
  Expect({{"px#", 1.5},
          {"py#", -2},
          {"pz#", 3},
          {"ax#", 10},
          {"ay#", 20},
          {"az#", 0},
          {"mx#", 3.5},
          {"my#", 90},
          {"step#", 2},
          {"sx#", 2},
          {"sy#", 4},
          {"sz#", 6},
          {"size#", 4},
          {"radius#", 4},
          {"cx#", 0}});
  Expect({{"hidden", 0}, {"shown", 1}, {"one", 1}, {"none", 0}, {"mesh", 0}, {"made", 1}});
  Expect({{"x", 80}, {"y", 60}, {"in", 1}, {"behind", 0}, {"far", INT32_MAX}});
}

TEST_F(ObjectValuesTest, LimbsAnswerWhereTheyStandAtOnce) {
  Copy("examples/media/", "crate.x");
  Copy("examples/media/", "crate.png");
  Copy("tests/fixtures/models/", "arm.x");
  ASSERT_EQ(RunFresh("load object \"arm.x\", 1\n"
                     "e1 = limb exist(1, 2) : e2 = limb exist(1, 3) : e3 = limb exist(1, 31)\n"
                     "oy# = limb offset y(1, 2) : reserved = limb reserved(1, 1)\n"
                     "rotate limb 1, 1, 0, 30, 0 : ly# = limb angle y(1, 1)\n"
                     "position object 1, 10, 0, 0\n"
                     "ax# = limb position x(1, 2) : ay# = limb position y(1, 2)\n"
                     "rem Offset 3 along x, turned a quarter about y, from (10, 5, 0).\n"
                     "rotate limb 1, 1, 0, 0, 0\n"
                     "position object 1, 10, 5, 0 : rotate object 1, 0, 90, 0\n"
                     "offset limb 1, 1, 3, 0, 0\n"
                     "bx# = limb position x(1, 1) : by# = limb position y(1, 1) : bz# = limb position z(1, 1)\n"
                     "dy# = limb direction y(1, 1)\n"
                     "rem A hidden object, which no frame draws, still moves its limbs.\n"
                     "hide object 1 : position object 1, 0, 0, 0 : hx# = limb position x(1, 1)\n"
                     "hide limb 1, 2 : v2 = limb visible(1, 2) : v1 = limb visible(1, 1)\n"
                     "load object \"crate.x\", 2\n"
                     "name$ = limb texture name$(2, 1) : t = limb texture(2, 1)\n"
                     "make object 3, 0, 0 : empty$ = limb texture name$(3, 0) : px# = limb position x(3, 0)\n"
                     "end\n"),
            0)
      << Runtime().gLastEngineError;
  Expect({{"e1", 1}, {"e2", 0}, {"e3", 0}, {"reserved", 0}, {"v2", 0}, {"v1", 1}, {"t", 0}});
  Expect({{"oy#", -1},
          {"ly#", 30},
          {"ax#", 10},
          {"ay#", -1},
          {"bx#", 10},
          {"by#", 5},
          {"bz#", -3},
          {"hx#", 0},
          {"px#", 0}});
  Expect({{"dy#", 90}}, 1e-3f);
  EXPECT_EQ(Text("name$"), "crate.png");
  EXPECT_EQ(Text("empty$"), "") << "an object without a model";
}

TEST_F(ObjectValuesTest, AnimationStateReadsBackAsSet) {
  Copy("tests/fixtures/models/", "anim.x");
  ASSERT_EQ(RunFresh("load object \"anim.x\", 1 : make object cube 2, 1\n"
                     "total = total object frames(1) : before = object playing(1)\n"
                     "rem Every speed and interpolation comes back as it was set.\n"
                     "wrong = 0\n"
                     "for s = -100 to 100 : set object speed 1, s : if object speed(1) <> s then wrong = wrong + 1\n"
                     "next s\n"
                     "for p = 1 to 100 : set object interpolation 1, p\n"
                     "if object interpolation(1) <> p then wrong = wrong + 1\n"
                     "next p\n"
                     "set object speed 1, 50 : loop object 1\n"
                     "wait 1 : wait 1\n"
                     "playing = object playing(1) : looping = object looping(1) : frame# = object frame(1)\n"
                     "speed = object speed(1) : stop object 1 : stopped = object playing(1)\n"
                     "rem An object without animation.\n"
                     "set object speed 2, 50 : cubespeed = object speed(2) : cubeframe# = object frame(2)\n"
                     "cubetotal = total object frames(2)\n"
                     "end\n",
                     80),
            0)
      << Runtime().gLastEngineError;
  Expect({{"total", 20},
          {"before", 0},
          {"wrong", 0},
          {"playing", 1},
          {"looping", 1},
          {"speed", 50},
          {"stopped", 0},
          {"cubespeed", 0},
          {"cubeframe#", 0},
          {"cubetotal", 0}});
  EXPECT_GT(Float("frame#"), 0.0f);
}

TEST_F(ObjectValuesTest, BoxesReportEachOtherWithThePushBackOnTheAxisTheyCameInBy) {
  ASSERT_EQ(RunFresh("make object cube 1, 2 : make object cube 2, 2 : make object cube 3, 2\n"
                     "position object 2, 1.5, 0, 0 : position object 3, 10, 0, 0\n"
                     "c12 = object collision(1, 2) : c21 = object collision(2, 1) : c13 = object collision(1, 3)\n"
                     "any1 = object collision(1, 0) : any2 = object collision(2, 0) : any3 = object collision(3, 0)\n"
                     "h1 = object hit(1, 2) : h2 = object hit(1, 2)\n"
                     "position object 2, 5, 0, 0 : apart = object hit(1, 2)\n"
                     "position object 2, 1.5, 0, 0 : again = object hit(1, 2)\n"
                     "collision off : off = object collision(1, 2) : collision on\n"
                     "rem Unit cubes touch at 1.0 apart and are apart at 1.001.\n"
                     "make object cube 4, 1 : make object cube 5, 1 : position object 4, 50, 0, 0\n"
                     "position object 5, 51, 0, 0 : touch = object collision(4, 5)\n"
                     "position object 5, 51.001, 0, 0 : gap = object collision(4, 5)\n"
                     "rem A long box turned about two axes stands upright, as it is drawn.\n"
                     "make object box 6, 4, 0.2, 0.2 : make object cube 7, 0.5 : make object cube 8, 0.5\n"
                     "position object 6, -50, 0, 0 : rotate object 6, 90, 90, 0\n"
                     "position object 7, -50, 1.6, 0 : position object 8, -50, 0, 1.6\n"
                     "upright = object collision(6, 7) : along = object collision(6, 8)\n"
                     "rem Box 1 stands off each side of box 2 for a frame, then steps into it.\n"
                     "delete object 3 : position object 2, 0, 0, 0\n"
                     "set object collision box 1, -1, -1, -1, 1, 1, 1, 0\n"
                     "set object collision box 2, -1, -1, -1, 1, 1, 1, 0\n"
                     "position object 1, -3, 0, 0 : wait 1 : position object 1, -1.5, 0, 0\n"
                     "xin = object collision(1, 2)\n"
                     "x1# = object collision x() : y1# = object collision y() : z1# = object collision z()\n"
                     "xback = object collision(2, 1) : x2# = object collision x()\n"
                     "position object 1, 0, 3, 0 : wait 1 : position object 1, 0, 1.5, 0\n"
                     "yin = object collision(1, 0)\n"
                     "x3# = object collision x() : y3# = object collision y() : z3# = object collision z()\n"
                     "position object 1, 0, 0, 4 : wait 1 : position object 1, 0, 0, 1.75\n"
                     "zin = object collision(1, 2) : z4# = object collision z()\n"
                     "position object 1, 0, 0, 5 : out = object collision(1, 2) : z5# = object collision z()\n"
                     "end\n",
                     60),
            0);
  Expect({{"c12", 1},
          {"c21", 1},
          {"c13", 0},
          {"any1", 2},
          {"any2", 1},
          {"any3", 0},
          {"h1", 1},
          {"h2", 0},
          {"apart", 0},
          {"again", 1},
          {"off", 0},
          {"touch", 1},
          {"gap", 0},
          {"upright", 1},
          {"along", 0}});
  // From -x; the other pushed the other way; from above; from +z. Each test starts from nothing.
  Expect({{"xin", 1}, {"xback", 1}, {"yin", 2}, {"zin", 1}, {"out", 0}});
  Expect({{"x1#", 0.5},
          {"y1#", 0},
          {"z1#", 0},
          {"x2#", -0.5},
          {"x3#", 0},
          {"y3#", -0.5},
          {"z3#", 0},
          {"z4#", -0.25},
          {"z5#", 0}});
}

TEST_F(ObjectValuesTest, LibraryCollisionsAndNumbersThatNameNothing) {
  ASSERT_EQ(RunFresh("make object sphere 1, 2 : make object sphere 2, 2 : make object sphere 3, 2\n"
                     "position object 2, 1, 0, 0 : position object 3, 10, 0, 0\n"
                     "rem Watching another partner asks the library again.\n"
                     "far = object collision(1, 3) : near = object collision(1, 2) : any = object collision(1, 0)\n"
                     "self = object collision(1, 1) : big = object collision(1, 70000) : low = object hit(1, -5)\n"
                     "missing = object collision(1, 9)\n"
                     "make object cube 4, 2 : self4 = object collision(4, 4) : none4 = object hit(4, 65535)\n"
                     "position object 2, 5, 0, 0 : wait 1 : apart = object collision(1, 2)\n"
                     "end\n"),
            0);
  Expect({{"far", 0},
          {"near", 1},
          {"any", 2},
          {"self", 0},
          {"big", 0},
          {"low", 0},
          {"missing", 0},
          {"self4", 0},
          {"none4", 0},
          {"apart", 0}});
}

// The sprite-wide switches reach sprites only: a shown object stays shown, a hidden one hidden, and a
// sprite without an image stays as it is.
TEST_F(ObjectValuesTest, HidingAndShowingAllSpritesLeavesTheObjectsAlone) {
  ASSERT_EQ(RunFresh("make object cube 1, 2 : make object cube 2, 2 : hide object 2\n"
                     "sprite 1, 0, 0, 5 : hide sprite 1\n"
                     "hide all sprites : kept = object visible(1)\n"
                     "show all sprites : stillhidden = object visible(2)\n"
                     "end\n"),
            0);
  Expect({{"kept", 1}, {"stillhidden", 0}});
  EXPECT_EQ(Records().gRenderItems[Records().gSpriteSlotById[1]].visible, 0) << "a sprite with no image stays hidden";
}

TEST_F(ObjectValuesTest, GridsTheStaticWorldTheCameraAndLightsAnswer) {
  // A grid of 4 by 2 squares over 8 by 4 units, point (1, 1) raised to 2, placed at (5, 0, 0).
  const uint32_t mesh = AllocMeshRecord();
  ASSERT_EQ(BuildMatrixGridMesh(mesh, 8, 4, 4, 2), 1);
  const uint32_t slot = AllocObjectRecord();
  Engine().gObjectRecords[slot].limbs[0].meshSlot = int32_t(mesh);
  BuildObjectRecords(slot, 0);
  ObjectRecord& grid = Engine().gObjectRecords[slot];
  grid.gridWidth = 8, grid.gridDepth = 4, grid.gridSegmentsX = 4, grid.gridSegmentsZ = 2;
  grid.tileCount = 6;
  grid.position.Set(5, 0, 0);
  grid.draw.wireframe = 1;
  SetMatrixPointHeight(slot, 1, 1, 2.0f);
  Engine().gGridSlotById[7] = slot;
  ASSERT_TRUE(
      Start("g = matrix exist(7) : no = matrix exist(8)\n"
            "gx# = matrix position x(7) : wire = matrix wireframe state(7)\n"
            "tiled = matrix tile state(7) : tiles = matrix tile count(7)\n"
            "point# = get matrix height(7, 1, 1) : corner# = get matrix height(7, 4, 2)\n"
            "on# = get ground height(7, 2, 2) : half# = get ground height(7, 1, 1)\n"
            "off# = get ground height(7, 8.5, 1)\n"
            "add static collision box 0, 0, 0, 2, 2, 2\n"
            "s = static box collision(-2, 0.5, 0.5, -1, 1.5, 1.5, -0.5, 0.5, 0.5, 0.5, 1.5, 1.5)\n"
            "sx# = static box collision x() : sy# = static box collision y()\n"
            "miss = static box collision(5, 5, 5, 6, 6, 6, 5, 5, 5, 6, 6, 6)\n"
            "position camera 1, 2, 3 : cz# = camera position z()\n"
            "point camera 2, 2, 3 : cy# = camera angle y()\n"
            "l0 = light exist(0) : l1 = light exist(1) : l9 = 9 + 0 : l9 = light exist(70000)\n"
            "make object cube 9, 1 : position object 9, 6, 2, 3\n"
            "wait 1 : wait 1 : drawn = statistic(1) : other = statistic(9)\n"
            "end\n"));
  Frames(40);
  ASSERT_EQ(Interpreter().gErrorCode, 0) << Runtime().gLastEngineError;
  // The ground at a grid point is the point's height, half way to it half as high, 0 off the grid;
  // outside its range a light is not answered; the cube's twelve triangles were drawn.
  Expect({{"g", 1},
          {"no", 0},
          {"wire", 1},
          {"tiled", 1},
          {"tiles", 6},
          {"s", 1},
          {"miss", 0},
          {"l0", 1},
          {"l1", 0},
          {"l9", 9},
          {"drawn", 12},
          {"other", 0}});
  Expect({{"gx#", 5},
          {"point#", 2},
          {"corner#", 0},
          {"on#", 2},
          {"half#", 1},
          {"off#", 0},
          {"sx#", 0.5},
          {"sy#", 0},
          {"cz#", 3}});
  Expect({{"cy#", 90}}, 1e-3f);
}

TEST_F(ObjectValuesTest, RefusedNumbersRaiseTheirErrors) {
  Copy("tests/fixtures/models/", "arm.x");
  const struct {
    const char* source;
    int32_t error;
  } cases[] = {
      {"x = object exist(0)", kErrObjectNumberOutOfRange},
      {"x# = object position x(65536)", kErrObjectNumberOutOfRange},
      {"x# = object angle y(3)", kErrObjectNotExist},
      {"x = object hit(3, 0)", kErrObjectNotExist},
      {"x = object collision(0, 1)", kErrObjectNumberOutOfRange},
      {"x = mesh exist(65535)", kErrMeshNumberOutOfRange},
      {"x = object speed(2)", kErrObjectNotExist},
      {"x = object screen x(2)", kErrObjectNotExist},
      {"load object \"arm.x\", 1 : x = limb exist(1, 32)", kErrLimbNumberOutOfRange},
      {"load object \"arm.x\", 1 : x = limb exist(1, -1)", kErrLimbNumberOutOfRange},
      {"load object \"arm.x\", 1 : x# = limb offset x(1, 3)", kErrLimbNotExist},
      {"load object \"arm.x\", 1 : x# = limb position y(1, 40)", kErrLimbNumberOutOfRange},
      {"load object \"arm.x\", 1 : x$ = limb texture name$(1, 5)", kErrLimbNotExist},
      {"x = matrix exist(0)", kErrMatrixNumberOutOfRange},
      {"x# = matrix position y(65536)", kErrMatrixNumberOutOfRange},
      {"x = matrix tile count(3)", kErrMatrixNotExist},
      {"x# = get matrix height(5, 3, 0)", kErrPointOutsideMatrix},
      {"x# = get matrix height(5, 0, -1)", kErrPointOutsideMatrix},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    FreeProgramImage();
    ResetEngineRecords();
    const uint32_t slot = AllocObjectRecord();
    Engine().gObjectRecords[slot].gridSegmentsX = Engine().gObjectRecords[slot].gridSegmentsZ = 2;
    Engine().gGridSlotById[5] = slot;
    EXPECT_EQ(Run(std::string(c.source) + "\nend\n", 20), c.error);
  }

  // An object whose first limb has gone cannot be tested for collisions.
  ASSERT_TRUE(Start("make object cube 1, 1 : wait 1\nx = object collision(1, 0)\nend\n"));
  Frames(2);
  Engine().gObjectRecords[ObjectSlotOf(1)].limbs[0].exists = 0;
  Frames(10);
  EXPECT_EQ(Interpreter().gErrorCode, kErrLimbNotExist);
}

}  // namespace
}  // namespace vx
