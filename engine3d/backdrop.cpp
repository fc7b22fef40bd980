// The backdrop plane (backdrop.h): a 3 x 2 grid object just in front of the eye in camera space,
// drawn full bright with depth off before the scene, so that it covers the screen.
#include "engine3d/backdrop.h"

#include "engine3d/grids.h"
#include "engine3d/maths3d.h"
#include "engine3d/meshes.h"
#include "engine3d/object_records.h"
#include "engine3d/object_support.h"
#include "engine3d/objects.h"
#include "engine3d/scene_render.h"
#include "engine3d/scene_settings.h"
#include "models/scene_model.h"
#include "platform/d3d/device.h"
#include "surfaces/display_state.h"
#include "surfaces/engine_textures.h"
#include "surfaces/texture_names.h"

namespace vx {

using namespace win;

namespace {

constexpr float kPlaneWidth = 1.6025f, kPlaneDepth = 1.2025f;
constexpr uint32_t kDefaultColour = 0x000080;

SceneModel* BackdropModel() {
  if (Scene().gBackdropObject <= 0 || !Engine().gObjectRecords.IsTaken(uint32_t(Scene().gBackdropObject)))
    return nullptr;
  return Engine().gObjectRecords[uint32_t(Scene().gBackdropObject)].model;
}

bool MakeBackdropPlane() {
  const uint32_t object = AllocObjectRecord();
  if (object == kNoRecordSlot) return false;
  const uint32_t mesh = AllocMeshRecord();
  if (mesh == kNoRecordSlot) {
    FreeObjectRecord(object);
    return false;
  }
  BuildMatrixGridMesh(mesh, kPlaneWidth, kPlaneDepth, 3, 2);
  ObjectRecord& o = Engine().gObjectRecords[object];
  o.gridWidth = kPlaneWidth;
  o.gridDepth = kPlaneDepth;
  o.gridSegmentsX = 3;
  o.gridSegmentsZ = 2;
  o.limbs[0].meshSlot = int32_t(mesh);  // the object keeps the grid mesh, as a grid does
  if (!BuildObjectFromMesh(object, mesh, 0)) {
    FreeObjectRecord(object);
    return false;
  }
  const uint32_t item = BuildObjectRecords(object, 0);
  if (item == kNoRecordSlot) {
    FreeObjectRecord(object);
    return false;
  }
  Scene().gBackdropObject = int32_t(object);
  Scene().gBackdropItem = int32_t(item);
  Engine().gObjectRecords[object].limbCount = 1;
  Engine().gObjectRecords[object].position.Set(-0.80125f, -0.6f, 1.0f);
  Engine().gObjectRecords[object].draw.cameraLocked = 1;
  Records().gRenderItems[item].visible = 0;  // drawn by the plane's own step, never as an item of the scene
  Engine().gObjectRecords[object].angleX = 270.0f;
  UpdateObjectFrame(object);
  SetBackdropPlaneColour(kDefaultColour);
  return true;
}

}  // namespace

void ResetBackdrop() {
  // The records of an earlier run are gone with the pools' reset: "none" is slot 0.
  Scene().gBackdropObject = 0;
  Scene().gBackdropItem = -1;
  Scene().gBackdropTexture = 0;
  Scene().gBackdropOwnTexture = 0;
  Scene().gBackdropOn = 0;
  Scene().gBackdropRequest = 0;
  Scene().gBackdropPending = 1;
  Scene().gBackdropBeganScene = 0;
}

void BackdropPlaneOn() {
  Scene().gBackdropPending = 0;
  if (Scene().gBackdropObject == 0) MakeBackdropPlane();
  Scene().gBackdropRequest = 1;
}

void BackdropPlaneOff() { Scene().gBackdropPending = Scene().gBackdropOn = Scene().gBackdropRequest = 0; }

namespace {

// The plane's mesh takes a use of the texture and gives up the one of its old texture; the
// caller's own use of the new one is given back.
void PutBackdropTexture(SceneModel* model, uint32_t texture) {
  AssignFrameTexture(model, 0, texture);
  if (texture) ReleaseTextureSlot(texture, 0);
  Scene().gBackdropTexture = texture;
}

}  // namespace

void SetBackdropPlaneColour(uint32_t colour) {
  SceneModel* model = BackdropModel();
  if (!model) return;
  PutBackdropTexture(model, GetColorTexture(int32_t(colour & 0xFFFFFF)));
  Scene().gBackdropOwnTexture = 1;
}

void TextureBackdropPlane(int32_t imageNumber) {
  SceneModel* model = BackdropModel();
  if (!model) return;
  uint32_t image = 0;
  if (!CheckedImageFromOne(imageNumber, image)) return;
  PutBackdropTexture(model, GetSharedImageTexture(image, 0));
  Scene().gBackdropOwnTexture = 0;
}

void ScrollBackdropPlane(int32_t u, int32_t v) {
  SceneModel* model = BackdropModel();
  if (!model) return;
  const float uLow = float(u) / 100.0f, vLow = float(v) / 100.0f;
  const uint32_t object = uint32_t(Scene().gBackdropObject);
  SetMeshAllTiles(uint32_t(Engine().gObjectRecords[object].limbs[0].meshSlot), uLow, vLow, uLow + 1.0f, vLow + 1.0f);
  RebuildMatrixMesh(object, 0);
}

void DrawBackdropPlane() {
  if (Scene().gBackdropObject > 0 && Scene().gBackdropOn == 1 && Display().gRenderEnabled == 1 &&
      Display().gD3DDevice) {
    Scene().gBackdropBeganScene = 0;
    if (Scene().gSceneBegun == 0 && Succeeded(Display().gD3DDevice->BeginScene())) {
      Scene().gSceneBegun = 1;
      Scene().gBackdropBeganScene = 1;
      D3DMATRIX savedView;
      Display().gD3DDevice->GetTransform(D3DTRANSFORMSTATE_VIEW, &savedView);
      const D3DMATRIX identity = ToD3DMatrix(Scene().gIdentityView);
      Display().gD3DDevice->SetTransform(D3DTRANSFORMSTATE_VIEW, &identity);
      SetProjection(1.0f, 3000.0f, kStandardFov);
      SetStageTexture(Scene().gBackdropTexture);
      ApplyItemRenderStates(uint32_t(Scene().gBackdropItem));
      Scene().gRenderStateCache.materialIndex = kFullBrightMaterial;
      ApplyMaterial();
      DrawObjectModel(uint32_t(Scene().gBackdropObject), int64_t(Scene().gBackdropTexture));
      Scene().gRenderStateCache.materialIndex = kSceneMaterial;
      ApplyMaterial();
      Display().gD3DDevice->SetTransform(D3DTRANSFORMSTATE_VIEW, &savedView);
      SetProjection(Display().gCameraNear, Display().gCameraFar, Display().gCameraFov);
    }
  } else {
    Scene().gBackdropBeganScene = 0;
  }
  if (Scene().gBackdropRequest) {
    Scene().gBackdropRequest = 0;
    Scene().gBackdropOn = 1;
  }
}

}  // namespace vx
