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
  if (!gD3DDevice) return;
  const D3DMATRIX view = ToD3DMatrix(gViewMatrix);
  gD3DDevice->SetTransform(D3DTRANSFORMSTATE_VIEW, &view);
}

Matrix4f Rotation(void (*make)(Matrix4f&, float), float angle) {
  Matrix4f m;
  make(m, angle);
  return m;
}

// view = T(-position) x view
void TranslateViewByPosition() {
  Matrix4f translation;
  MatrixTranslation(translation, Vector3f(-gCameraPosition.x, -gCameraPosition.y, -gCameraPosition.z));
  MatrixMultiply(gViewMatrix, translation, gViewMatrix);
}

DWORD FloatBits(float f) { return std::bit_cast<DWORD>(f); }

// D3DCOLOR of a 0xRRGGBB colour, opaque.
DWORD DeviceColour(uint32_t colour) { return 0xFF000000u | (colour & 0xFFFFFFu); }

}  // namespace

void UpdateCameraLookAt() {
  MatrixLookAt(gViewMatrix, gCameraPosition, gCameraLookAt, Vector3f(0, 1, 0));
  SetViewTransform();
  MatrixIdentity(gCameraFreeMatrix);
}

void BuildCameraRotation(int32_t inverse, Matrix4f& out) {
  const float sign = inverse ? 1.0f : -1.0f;
  const Matrix4f rx = Rotation(MatrixRotationX, sign * gCameraAngles.x);
  const Matrix4f ry = Rotation(MatrixRotationY, sign * gCameraAngles.y);
  const Matrix4f rz = Rotation(MatrixRotationZ, sign * gCameraAngles.z);
  if (gCameraRotationOrder == 1) {
    MatrixMultiply(out, rz, ry);
    MatrixMultiply(out, out, rx);
  } else {
    MatrixMultiply(out, rx, ry);
    MatrixMultiply(out, out, rz);
  }
}

void UpdateCameraAngles() {
  BuildCameraRotation(0, gViewMatrix);
  TranslateViewByPosition();
  SetViewTransform();
  MatrixIdentity(gCameraFreeMatrix);
}

void UpdateCameraFree() {
  gViewMatrix = gCameraFreeMatrix;
  float x, y, z;
  MatrixToEulerDegrees(gCameraFreeMatrix.m, x, y, z);
  gCameraAngles.Set(x * kEngineDegreesToRadians, y * kEngineDegreesToRadians, z * kEngineDegreesToRadians);
  TranslateViewByPosition();
  SetViewTransform();
}

void UpdateCameraView() {
  switch (gCameraMode) {
    case kCameraAngles: UpdateCameraAngles(); break;
    case kCameraFree: UpdateCameraFree(); break;
    default: UpdateCameraLookAt(); break;
  }
}

void CameraYawViewMatrix(Matrix4f& out) {
  Matrix4f translation;
  MatrixTranslation(translation, Vector3f(-gCameraPosition.x, -gCameraPosition.y, -gCameraPosition.z));
  MatrixMultiply(out, translation, Rotation(MatrixRotationY, -gCameraAngles.y));
}

bool ProjectionAcceptable(float nearPlane, float farPlane, float fieldOfView) {
  if (!std::isfinite(nearPlane) || !std::isfinite(farPlane) || !std::isfinite(fieldOfView)) return false;
  if (!(std::fabs(farPlane - nearPlane) >= 0.01f) || !(nearPlane > 0.0f) || !(farPlane > nearPlane)) return false;
  return fieldOfView > 0.0f && fieldOfView < 3.14159265f && std::fabs(std::sin(fieldOfView / 2)) >= 0.01f;
}

int32_t SetProjection(float nearPlane, float farPlane, float fieldOfView) {
  if (!gD3DDevice || !ProjectionAcceptable(nearPlane, farPlane, fieldOfView)) return 0;
  const float aspect = gDisplayWidth > 0 ? float(gDisplayHeight) / float(gDisplayWidth) : 1.0f;
  Matrix4f projection;
  if (MatrixPerspective(projection, fieldOfView, aspect, nearPlane, farPlane) != kMathsOk) return 0;
  gProjectionMatrix = projection;
  const D3DMATRIX p = ToD3DMatrix(gProjectionMatrix);
  gD3DDevice->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &p);
  return 1;
}

int32_t SetDefaultProjection() { return SetProjection(1.0f, 1000.0f, 0.75f); }

void SetDefaultTransforms() {
  SetProjection(gCameraNear, gCameraFar, gCameraFov);
  Matrix4f identity;
  MatrixIdentity(identity);
  const D3DMATRIX i = ToD3DMatrix(identity), view = ToD3DMatrix(gViewMatrix);
  gD3DDevice->SetTransform(D3DTRANSFORMSTATE_WORLD, &i);
  gD3DDevice->SetTransform(D3DTRANSFORMSTATE_VIEW, &view);
}

int32_t SetViewportRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (!gD3DDevice || x1 < 0 || y1 < 0 || x2 <= x1 || y2 <= y1) return 0;
  D3DVIEWPORT7 viewport{};
  gD3DDevice->GetViewport(&viewport);
  viewport.dwX = DWORD(x1);
  viewport.dwY = DWORD(y1);
  viewport.dwWidth = DWORD(x2 - x1);
  viewport.dwHeight = DWORD(y2 - y1);
  gViewportWidth = x2 - x1;
  gViewportHeight = y2 - y1;
  if (Failed(gD3DDevice->SetViewport(&viewport))) return 0;
  gViewport = viewport;
  return 1;
}

int32_t EnableFog() {
  if (gD3DDevice) {
    gD3DDevice->SetRenderState(gTableFogOnly ? D3DRENDERSTATE_FOGTABLEMODE : D3DRENDERSTATE_FOGVERTEXMODE,
                               D3DFOG_LINEAR);
    gD3DDevice->SetRenderState(D3DRENDERSTATE_FOGEND, FloatBits(gFogDistance));
    gD3DDevice->SetRenderState(D3DRENDERSTATE_FOGCOLOR, DeviceColour(gFogColour));
    SetCachedRenderState(D3DRENDERSTATE_FOGENABLE, gRenderStateCache.fog, 1, true);
  }
  gFogOn = 1;
  return 1;
}

int32_t DisableFog() {
  if (gD3DDevice) SetCachedRenderState(D3DRENDERSTATE_FOGENABLE, gRenderStateCache.fog, 0, true);
  gFogOn = 0;
  return 1;
}

int32_t SetFogDistance(float distance) {
  gFogDistance = distance;
  if (gD3DDevice) gD3DDevice->SetRenderState(D3DRENDERSTATE_FOGEND, FloatBits(gFogDistance));
  return 1;
}

int32_t SetFogColour(uint32_t colour) {
  gFogColour = colour & 0xFFFFFFu;
  if (gD3DDevice) gD3DDevice->SetRenderState(D3DRENDERSTATE_FOGCOLOR, DeviceColour(gFogColour));
  return 1;
}

int32_t SetAmbientLevel(int32_t percent) {
  gAmbientLevel = float(double(percent) / 100.0);
  gSceneMaterial = D3DMATERIAL7{};
  const float diffuse = 1.0f - gAmbientLevel;
  gSceneMaterial.diffuse = D3DCOLORVALUE{diffuse, diffuse, diffuse, 0.0f};
  gSceneMaterial.ambient = D3DCOLORVALUE{gAmbientLevel, gAmbientLevel, gAmbientLevel, 0.0f};
  if (!gD3DDevice) return 0;
  // The device now holds the scene material, whatever the last item asked for.
  gRenderStateCache.materialIndex = kSceneMaterial;
  return Succeeded(gD3DDevice->SetMaterial(&gSceneMaterial)) ? 1 : 0;
}

int32_t SetAmbientColour(uint32_t colour) {
  gAmbientColour = colour & 0xFFFFFFu;
  if (gD3DDevice) gD3DDevice->SetRenderState(D3DRENDERSTATE_AMBIENT, gAmbientColour);
  return 1;
}

void SetNormalizeNormals(uint32_t flag) { gNormalizeNormals = flag; }

int32_t SetMipmapFilter(uint32_t mode) {
  if (mode == gMipFilterMode || !gMipmapping) return 1;
  gMipFilterMode = mode;
  static constexpr DWORD kFilters[3] = {D3DTFP_NONE, D3DTFP_POINT, D3DTFP_LINEAR};
  if (mode < 3 && gD3DDevice) gD3DDevice->SetTextureStageState(0, D3DTSS_MIPFILTER, kFilters[mode]);
  return 1;
}

int32_t Reset3DScene() {
  ResetBackdrop();
  gModelFolder.clear();
  gCameraMode = kCameraLookAt;
  gCameraPosition.Set(0, 0, 0);
  gCameraLookAt.Set(0, 0, 100.0f);
  gCameraAngles.Set(0, 0, 0);
  gCameraRotationOrder = 1;
  gAutoCamera = 1;
  gCameraFollowFree.Set(0, 0, 0);
  gStaticCollisionResponse.Set(0, 0, 0);
  MatrixIdentity(gCameraFreeMatrix);
  gFogDistance = 1000.0f;
  gFogColour = 0;
  gNormalizeNormals = 1;
  gMipFilterMode = 2;
  gViewportWidth = gDisplayWidth;
  gViewportHeight = gDisplayHeight;
  ResetRenderStateCache();
  DisableFog();  // the device may still fog from an earlier run
  SetAmbientColour(0xFFFFFF);
  UpdateCameraLookAt();
  SetProjection(gCameraNear, gCameraFar, gCameraFov);
  CreateDefaultLight();
  if (gD3DDevice) {
    D3DMATRIX view;
    gD3DDevice->GetTransform(D3DTRANSFORMSTATE_VIEW, &view);
    gViewMatrix = FromD3DMatrix(view);
  }
  ResetStaticWorld();
  return 1;
}

}  // namespace vx
