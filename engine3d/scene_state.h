// The 3D scene's state: the camera, the view and projection, fog and the scene switches, what the
// scene render keeps between frames and the backdrop plane. The one instance is defined in
// engine3d/scene_settings.cpp.
#pragma once
#include <cstdint>

#include "common/maths_types.h"

namespace vx {

constexpr int32_t kCameraLookAt = 0, kCameraAngles = 1, kCameraFree = 2;

constexpr Matrix4f kIdentityMatrix{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};

// What the device was last told, as far as the renderer changes it.
struct RenderStateCache {
  uint32_t depthTest, depthWrite;
  uint32_t blend;      // 0 none, 1 alpha blend, 2 colour key, 3 both
  uint32_t ghostMode;  // 1 when the last ghosted item used blend mode 1
  uint32_t wireframe, culling, filtering, fog, normalize;
  uint32_t materialIndex;  // kSceneMaterial, kFullBrightMaterial or kNoAmbientMaterial
  uint32_t addressMode;    // stage 0: 1 wrap, 2 mirror, 3 clamp
};
constexpr uint32_t kSceneMaterial = 1, kFullBrightMaterial = 2, kNoAmbientMaterial = 3;

struct SceneState {
  Vector3f gCameraPosition{0, 0, 0};
  Vector3f gCameraLookAt{0, 0, 100.0f};
  Vector3f gCameraAngles{0, 0, 0};               // radians
  uint8_t gCameraRotationOrder = 1;              // 1: Rz x Ry x Rx for the view; 0: Rx x Ry x Rz
  Matrix4f gCameraFreeMatrix = kIdentityMatrix;  // rotation of the free mode, identity in the other modes
  int32_t gCameraMode = kCameraLookAt;           // 0 look-at, 1 angles, 2 free matrix
  uint8_t gAutoCamera = 1;                       // new objects place the camera
  Vector3f gCameraFollowFree{0, 0, 0};           // where the following camera last stood clear of the static world
  Vector3f gStaticCollisionResponse{0, 0, 0};    // the last static-world sphere test's response point

  // --- Matrices the renderer reads --------------------------------------------------------------------
  Matrix4f gViewMatrix = kIdentityMatrix;        // the camera's view after its last update
  Matrix4f gProjectionMatrix = kIdentityMatrix;  // the projection last set
  Matrix4f gWorldBaseMatrix = kIdentityMatrix;   // the identity world of the device set-up
  Matrix4f gIdentityView = kIdentityMatrix;

  // --- Scene switches --------------------------------------------------------------------------------
  uint32_t gFogOn = 0;
  float gFogDistance = 1000.0f;        // the distance at which everything has the fog colour
  uint32_t gFogColour = 0;             // 0xRRGGBB
  uint32_t gAmbientColour = 0xFFFFFF;  // 0xRRGGBB
  uint32_t gNormalizeNormals = 1;
  uint32_t gMipFilterMode = 2;  // 0 none, 1 point, 2 linear
  int32_t gViewportWidth = 640, gViewportHeight = 480;

  // --- Scene render ------------------------------------------------------------------------------
  RenderStateCache gRenderStateCache{};

  uint32_t gWireframeAll = 0;       // the static world draws in wireframe
  uint32_t gGlobalAddressMode = 1;  // the static world's texture address mode
  uint32_t g3DDrawingEnabled = 1;   // starts at 1; no command changes it
  uint32_t gPolygonCounter = 0;     // triangle-list indices drawn in the frame
  uint8_t gSceneBegun = 0;
  Vector3f gPreviousCameraAngles{0, 0, 0};

  // --- Backdrop plane ----------------------------------------------------------------------------
  int32_t gBackdropObject = 0;      // ObjectRecord slot, 0 none
  int32_t gBackdropItem = -1;       // its RenderItem slot, -1 none
  uint32_t gBackdropTexture = 0;    // TextureRecord slot
  uint8_t gBackdropOwnTexture = 0;  // the texture is the plane's own one-colour texture
  uint8_t gBackdropOn = 0;
  uint8_t gBackdropRequest = 0;     // switch the plane on at the next frame
  uint8_t gBackdropPending = 1;     // the next object built makes the plane
  uint8_t gBackdropBeganScene = 0;  // the plane began this frame's scene
};
extern SceneState gSceneState;  // the one instance (engine3d/scene_settings.cpp)
inline SceneState& Scene() { return gSceneState; }

}  // namespace vx
