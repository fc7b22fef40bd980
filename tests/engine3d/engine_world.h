// A headless display with its software 3D device and fresh engine records, set up as a run is
// (records reset, the 3D scene reset), and small helpers that write model files and make objects.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "engine3d/backdrop.h"
#include "engine3d/engine_shutdown.h"
#include "engine3d/meshes.h"
#include "engine3d/object_records.h"
#include "engine3d/objects.h"
#include "engine3d/scene_render.h"
#include "engine3d/scene_settings.h"
#include "models/scene_model.h"
#include "platform/win/messages.h"
#include "runtime/errors.h"
#include "tests/display/bitmap_test_support.h"
#include "tests/support/temp_folder.h"

namespace vx::test {

class EngineWorld : public ::testing::Test {
 protected:
  void SetUp() override {
    PrepareHeadlessDisplay("VXENGINE", 160, 120);
    Display().gFullScreen = 0;  // a window: the surfaces of any size, in system memory
    Display().gRenderEnabled = 1;
    Interpreter().gStandaloneFlag = 0;
    Host().gTempFolder = folder_.path();
    ResetDisplayDefaults();
    ASSERT_TRUE(EnumerateDisplayCards(0, 1) && InitDisplayAndDevice(160, 120, 1)) << Runtime().gLastEngineError;
    ResetEngineRecords();
    Reset3DScene();
  }
  void TearDown() override {
    ReleaseRunResources();
    ReleaseDirectDrawObjects(0);
    FreeRecordPools();
    EXPECT_EQ(win::LiveSurfaceCount(), 0u);
    win::DestroyWindow(Host().gMainWindow);
    Host().gMainWindow = nullptr;
    win::ClearMessageQueue();
    win::ResetDisplayFaults();
    win::SetDirect3DFaults({});
    Interpreter().gErrorCode = 0;
  }

  // A new numbered object built from a fresh mesh that `fill` makes; its object slot.
  template <class Fill>
  uint32_t MakeMeshObject(int32_t number, Fill fill) {
    const uint32_t mesh = AllocMeshRecord();
    fill(mesh);
    const uint32_t slot = AllocObjectRecord();
    Engine().gObjectSlotById[size_t(number)] = slot;
    Engine().gObjectRecords[slot].objectNumber = number;
    EXPECT_EQ(BuildObjectFromMeshSlot(slot, mesh), 1);
    BuildObjectRecords(slot, 0);
    Engine().gObjectRecords[slot].limbCount = 1;
    FreeMeshRecord(mesh);
    return slot;
  }
  uint32_t MakeCube(int32_t number, float size) {
    return MakeMeshObject(number, [size](uint32_t mesh) { LoadCubeMesh(mesh, size); });
  }
  ObjectDrawState& DrawOf(uint32_t objectSlot) { return Engine().gObjectRecords[objectSlot].draw; }
  void Place(uint32_t objectSlot, float x, float y, float z) {
    Engine().gObjectRecords[objectSlot].position.Set(x, y, z);
    UpdateObjectFrame(objectSlot);
  }

  TempFolder folder_;
};

// A text .x file: a chain of `frames` frames under the root, the last holding a unit quad whose
// material names `texture` ("" for none), each frame moved by (1, 0, 0) from its parent.
inline std::string FramesModel(int frames, const std::string& texture = "") {
  std::string text = "xof 0303txt 0032\n";
  std::string close;
  for (int f = 1; f <= frames; ++f) {
    text += "Frame f" + std::to_string(f) + " {\n FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 1,0,0,1;; }\n";
    close += "}\n";
  }
  text +=
      "Mesh quad {\n 4; -0.5;-0.5;0;, -0.5;0.5;0;, 0.5;0.5;0;, 0.5;-0.5;0;;\n 2; 3;0,1,2;, 3;0,2,3;;\n"
      " MeshNormals { 4; 0;0;-1;, 0;0;-1;, 0;0;-1;, 0;0;-1;; 2; 3;0,1,2;, 3;0,2,3;; }\n"
      " MeshTextureCoords { 4; 0;1;, 0;0;, 1;0;, 1;1;; }\n";
  if (!texture.empty())
    text += " MeshMaterialList { 1; 2; 0, 0;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { \"" + texture +
            "\"; } } }\n";
  text += "}\n" + close;
  return text;
}

inline bool Finite(const Matrix4f& m) {
  for (float v : m.m)
    if (!std::isfinite(v)) return false;
  return true;
}

}  // namespace vx::test
