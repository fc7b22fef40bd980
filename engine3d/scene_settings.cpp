// The camera's view updates, the projection and viewport, fog, ambient light and the device-wide
// switches (scene_settings.h). Fog and ambient changes go through the renderer's state cache, so
// that the next item drawn finds the device as the cache says.
#include "engine3d/scene_settings.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "engine3d/backdrop.h"
#include "engine3d/lights.h"
#include "engine3d/maths3d.h"
#include "engine3d/scene_render.h"
#include "engine3d/static_world.h"
#include "platform/d3d/device.h"
#include "surfaces/display_state.h"
#include "surfaces/engine_textures.h"

namespace vx {

using namespace win;

SceneState gSceneState;

D3DMATRIX ToD3DMatrix(const Matrix4f& m) {
  D3DMATRIX out;
  static_assert(sizeof out == sizeof m.m);
  std::memcpy(&out, m.m, sizeof out);
  return out;
}

Matrix4f FromD3DMatrix(const D3DMATRIX& m) {
  Matrix4f out;
  std::memcpy(out.m, &m, sizeof out.m);
  return out;
}

namespace {

void SetViewTransform() {
  if (!Display().gD3DDevice) return;
  const D3DMATRIX view = ToD3DMatrix(Scene().gViewMatrix);
  Display().gD3DDevice->SetTransform(D3DTRANSFORMSTATE_VIEW, &view);
}

Matrix4f Rotation(void (*make)(Matrix4f&, float), float angle) {
  Matrix4f m;
  make(m, angle);
  return m;
}

// view = T(-position) x view
void TranslateViewByPosition() {
  Matrix4f translation;
  MatrixTranslation(translation,
                    Vector3f(-Scene().gCameraPosition.x, -Scene().gCameraPosition.y, -Scene().gCameraPosition.z));
  MatrixMultiply(Scene().gViewMatrix, translation, Scene().gViewMatrix);
}

DWORD FloatBits(float f) { return std::bit_cast<DWORD>(f); }

// D3DCOLOR of a 0xRRGGBB colour, opaque.
DWORD DeviceColour(uint32_t colour) { return 0xFF000000u | (colour & 0xFFFFFFu); }

}  // namespace

void UpdateCameraLookAt() {
  MatrixLookAt(Scene().gViewMatrix, Scene().gCameraPosition, Scene().gCameraLookAt, Vector3f(0, 1, 0));
  SetViewTransform();
  MatrixIdentity(Scene().gCameraFreeMatrix);
}

void BuildCameraRotation(int32_t inverse, Matrix4f& out) {
  const float sign = inverse ? 1.0f : -1.0f;
  const Matrix4f rx = Rotation(MatrixRotationX, sign * Scene().gCameraAngles.x);
  const Matrix4f ry = Rotation(MatrixRotationY, sign * Scene().gCameraAngles.y);
  const Matrix4f rz = Rotation(MatrixRotationZ, sign * Scene().gCameraAngles.z);
  if (Scene().gCameraRotationOrder == 1) {
    MatrixMultiply(out, rz, ry);
    MatrixMultiply(out, out, rx);
  } else {
    MatrixMultiply(out, rx, ry);
    MatrixMultiply(out, out, rz);
  }
}

void UpdateCameraAngles() {
  BuildCameraRotation(0, Scene().gViewMatrix);
  TranslateViewByPosition();
  SetViewTransform();
  MatrixIdentity(Scene().gCameraFreeMatrix);
}

void UpdateCameraFree() {
  Scene().gViewMatrix = Scene().gCameraFreeMatrix;
  float x, y, z;
  MatrixToEulerDegrees(Scene().gCameraFreeMatrix.m, x, y, z);
  Scene().gCameraAngles.Set(x * kEngineDegreesToRadians, y * kEngineDegreesToRadians, z * kEngineDegreesToRadians);
  TranslateViewByPosition();
  SetViewTransform();
}

void UpdateCameraView() {
  switch (Scene().gCameraMode) {
    case kCameraAngles: UpdateCameraAngles(); break;
    case kCameraFree: UpdateCameraFree(); break;
    default: UpdateCameraLookAt(); break;
  }
}

void CameraYawViewMatrix(Matrix4f& out) {
  Matrix4f translation;
  MatrixTranslation(translation,
                    Vector3f(-Scene().gCameraPosition.x, -Scene().gCameraPosition.y, -Scene().gCameraPosition.z));
  MatrixMultiply(out, translation, Rotation(MatrixRotationY, -Scene().gCameraAngles.y));
}

bool ProjectionAcceptable(float nearPlane, float farPlane, float fieldOfView) {
  if (!std::isfinite(nearPlane) || !std::isfinite(farPlane) || !std::isfinite(fieldOfView)) return false;
  if (!(std::fabs(farPlane - nearPlane) >= 0.01f) || !(nearPlane > 0.0f) || !(farPlane > nearPlane)) return false;
  return fieldOfView > 0.0f && fieldOfView < 3.14159265f && std::fabs(std::sin(fieldOfView / 2)) >= 0.01f;
}

int32_t SetProjection(float nearPlane, float farPlane, float fieldOfView) {
  if (!Display().gD3DDevice || !ProjectionAcceptable(nearPlane, farPlane, fieldOfView)) return 0;
  const float aspect =
      Display().gDisplayWidth > 0 ? float(Display().gDisplayHeight) / float(Display().gDisplayWidth) : 1.0f;
  Matrix4f projection;
  if (MatrixPerspective(projection, fieldOfView, aspect, nearPlane, farPlane) != kMathsOk) return 0;
  Scene().gProjectionMatrix = projection;
  const D3DMATRIX p = ToD3DMatrix(Scene().gProjectionMatrix);
  Display().gD3DDevice->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &p);
  return 1;
}

int32_t SetDefaultProjection() { return SetProjection(1.0f, 1000.0f, 0.75f); }

void SetDefaultTransforms() {
  SetProjection(Display().gCameraNear, Display().gCameraFar, Display().gCameraFov);
  Matrix4f identity;
  MatrixIdentity(identity);
  const D3DMATRIX i = ToD3DMatrix(identity), view = ToD3DMatrix(Scene().gViewMatrix);
  Display().gD3DDevice->SetTransform(D3DTRANSFORMSTATE_WORLD, &i);
  Display().gD3DDevice->SetTransform(D3DTRANSFORMSTATE_VIEW, &view);
}

int32_t SetViewportRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (!Display().gD3DDevice || x1 < 0 || y1 < 0 || x2 <= x1 || y2 <= y1) return 0;
  D3DVIEWPORT7 viewport{};
  Display().gD3DDevice->GetViewport(&viewport);
  viewport.dwX = DWORD(x1);
  viewport.dwY = DWORD(y1);
  viewport.dwWidth = DWORD(x2 - x1);
  viewport.dwHeight = DWORD(y2 - y1);
  Scene().gViewportWidth = x2 - x1;
  Scene().gViewportHeight = y2 - y1;
  if (Failed(Display().gD3DDevice->SetViewport(&viewport))) return 0;
  Display().gViewport = viewport;
  return 1;
}

int32_t EnableFog() {
  if (Display().gD3DDevice) {
    Display().gD3DDevice->SetRenderState(
        Display().gTableFogOnly ? D3DRENDERSTATE_FOGTABLEMODE : D3DRENDERSTATE_FOGVERTEXMODE, D3DFOG_LINEAR);
    Display().gD3DDevice->SetRenderState(D3DRENDERSTATE_FOGEND, FloatBits(Scene().gFogDistance));
    Display().gD3DDevice->SetRenderState(D3DRENDERSTATE_FOGCOLOR, DeviceColour(Scene().gFogColour));
    SetCachedRenderState(D3DRENDERSTATE_FOGENABLE, Scene().gRenderStateCache.fog, 1, true);
  }
  Scene().gFogOn = 1;
  return 1;
}

int32_t DisableFog() {
  if (Display().gD3DDevice) SetCachedRenderState(D3DRENDERSTATE_FOGENABLE, Scene().gRenderStateCache.fog, 0, true);
  Scene().gFogOn = 0;
  return 1;
}

int32_t SetFogDistance(float distance) {
  Scene().gFogDistance = distance;
  if (Display().gD3DDevice)
    Display().gD3DDevice->SetRenderState(D3DRENDERSTATE_FOGEND, FloatBits(Scene().gFogDistance));
  return 1;
}

int32_t SetFogColour(uint32_t colour) {
  Scene().gFogColour = colour & 0xFFFFFFu;
  if (Display().gD3DDevice)
    Display().gD3DDevice->SetRenderState(D3DRENDERSTATE_FOGCOLOR, DeviceColour(Scene().gFogColour));
  return 1;
}

int32_t SetAmbientLevel(int32_t percent) {
  Display().gAmbientLevel = float(double(percent) / 100.0);
  Display().gSceneMaterial = D3DMATERIAL7{};
  const float diffuse = 1.0f - Display().gAmbientLevel;
  Display().gSceneMaterial.diffuse = D3DCOLORVALUE{diffuse, diffuse, diffuse, 0.0f};
  Display().gSceneMaterial.ambient =
      D3DCOLORVALUE{Display().gAmbientLevel, Display().gAmbientLevel, Display().gAmbientLevel, 0.0f};
  if (!Display().gD3DDevice) return 0;
  // The device now holds the scene material, whatever the last item asked for.
  Scene().gRenderStateCache.materialIndex = kSceneMaterial;
  return Succeeded(Display().gD3DDevice->SetMaterial(&Display().gSceneMaterial)) ? 1 : 0;
}

int32_t SetAmbientColour(uint32_t colour) {
  Scene().gAmbientColour = colour & 0xFFFFFFu;
  if (Display().gD3DDevice) Display().gD3DDevice->SetRenderState(D3DRENDERSTATE_AMBIENT, Scene().gAmbientColour);
  return 1;
}

void SetNormalizeNormals(uint32_t flag) { Scene().gNormalizeNormals = flag; }

int32_t SetMipmapFilter(uint32_t mode) {
  if (mode == Scene().gMipFilterMode || !Display().gMipmapping) return 1;
  Scene().gMipFilterMode = mode;
  static constexpr DWORD kFilters[3] = {D3DTFP_NONE, D3DTFP_POINT, D3DTFP_LINEAR};
  if (mode < 3 && Display().gD3DDevice) Display().gD3DDevice->SetTextureStageState(0, D3DTSS_MIPFILTER, kFilters[mode]);
  return 1;
}

int32_t Reset3DScene() {
  ResetBackdrop();
  Records().gModelFolder.clear();
  Scene().gCameraMode = kCameraLookAt;
  Scene().gCameraPosition.Set(0, 0, 0);
  Scene().gCameraLookAt.Set(0, 0, 100.0f);
  Scene().gCameraAngles.Set(0, 0, 0);
  Scene().gCameraRotationOrder = 1;
  Scene().gAutoCamera = 1;
  Scene().gCameraFollowFree.Set(0, 0, 0);
  Scene().gStaticCollisionResponse.Set(0, 0, 0);
  MatrixIdentity(Scene().gCameraFreeMatrix);
  Scene().gFogDistance = 1000.0f;
  Scene().gFogColour = 0;
  Scene().gNormalizeNormals = 1;
  Scene().gMipFilterMode = 2;
  Scene().gWireframeAll = 0;  // a new run draws the static world solid and wrapped
  Scene().gGlobalAddressMode = 1;
  Scene().gViewportWidth = Display().gDisplayWidth;
  Scene().gViewportHeight = Display().gDisplayHeight;
  ResetRenderStateCache();
  DisableFog();  // the device may still fog from an earlier run
  SetAmbientColour(0xFFFFFF);
  UpdateCameraLookAt();
  SetProjection(Display().gCameraNear, Display().gCameraFar, Display().gCameraFov);
  CreateDefaultLight();
  if (Display().gD3DDevice) {
    D3DMATRIX view;
    Display().gD3DDevice->GetTransform(D3DTRANSFORMSTATE_VIEW, &view);
    Scene().gViewMatrix = FromD3DMatrix(view);
  }
  ResetStaticWorld();
  return 1;
}

}  // namespace vx
