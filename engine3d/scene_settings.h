// The scene's one camera (position, look-at point, angles, free rotation and its three view
// updates), its projection and viewport, the global fog, the ambient level and colour, and the
// device-wide switches that the renderer reads; and the run set-up of the 3D scene. The camera
// near plane, far plane and field of view are display values (surfaces/display_state.h), reset with
// the display's defaults at every run.
#pragma once
#include <cstdint>

#include "common/maths_types.h"
#include "engine3d/scene_state.h"
#include "platform/d3d/d3d_types.h"

namespace vx {

// --- Camera --------------------------------------------------------------------------------------

// The field of view the engine uses for its own projections (backdrop, camera-locked items).
constexpr float kStandardFov = 3.14159265f / 2.905f;

// Matrices between the engine's and the device's layout (the same 16 floats).
win::D3DMATRIX ToD3DMatrix(const Matrix4f& m);
Matrix4f FromD3DMatrix(const win::D3DMATRIX& m);

// --- View updates ------------------------------------------------------------------------------------
// View = look-at of the position towards the look-at point, up (0, 1, 0); the free matrix becomes
// the identity.
void UpdateCameraLookAt();
// The rotation part of the angle view (inverse 0) or the camera's own orientation (inverse 1).
void BuildCameraRotation(int32_t inverse, Matrix4f& out);
// View = T(-position) x the angle rotation; the free matrix becomes the identity.
void UpdateCameraAngles();
// View = T(-position) x the free matrix; the angles follow the free matrix.
void UpdateCameraFree();
// The update of the current mode.
void UpdateCameraView();
// T(-position) x Ry(-y angle): the view with the camera's Y angle alone.
void CameraYawViewMatrix(Matrix4f& out);

// --- Projection, viewport, fog and switches -------------------------------------------------------
// True when a projection of these planes and field of view can be built: the planes at least
// 0.01 apart, both in front of the eye, the field of view above 0 and below pi.
bool ProjectionAcceptable(float nearPlane, float farPlane, float fieldOfView);
// Builds and sets the perspective projection (aspect height over width). 0 without a device or
// when the values are refused; then nothing changes.
int32_t SetProjection(float nearPlane, float farPlane, float fieldOfView);
int32_t SetDefaultProjection();
// The device set-up's transforms: the projection of the display's camera values, the world the
// identity and the view the camera's.
void SetDefaultTransforms();
int32_t SetViewportRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
int32_t EnableFog();
int32_t DisableFog();
int32_t SetFogDistance(float distance);
int32_t SetFogColour(uint32_t colour);
// The scene material gets diffuse 1 - level and ambient level (percent / 100).
int32_t SetAmbientLevel(int32_t percent);
int32_t SetAmbientColour(uint32_t colour);
void SetNormalizeNormals(uint32_t flag);
int32_t SetMipmapFilter(uint32_t mode);
// The static world's file calls (LoadStaticWorldFile, SaveStaticWorldFile): engine3d/static_world_file.h.

// Run set-up of the scene, after the records: backdrop none, camera at the origin looking along
// +z, the projection, the default light, the static world's buffers. Returns 1.
int32_t Reset3DScene();

}  // namespace vx
