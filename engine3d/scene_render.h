// The 3D frame: the view test and view depth of every object, the grouping of meshes by texture,
// the four passes (opaque by texture group nearest first, ghosted back to front, overlay after a
// depth clear front to back, camera-locked last), the per-item render states behind a cache that
// sends a state only when it changes, the three materials, the glue transform of objects fixed to
// another object's limb, and the per-frame world matrices that limb queries use.
#pragma once
#include <cstdint>

#include "common/maths_types.h"
#include "engine3d/scene_state.h"
#include "platform/d3d/d3d_types.h"

namespace vx {

// The cache as the device set-up leaves the device.
void ResetRenderStateCache();
// Sends the render state only when it differs from the cached value (or always with force), and
// caches it.
void SetCachedRenderState(win::D3DRENDERSTATETYPE state, uint32_t& cached, uint32_t value, bool force = false);

// Called by the frame work: the scene when 3D drawing is on, the device exists and rendering is on.
void RenderSceneIfReady();
void RenderScene();

void ApplyItemRenderStates(uint32_t itemSlot);
void ResetRenderStates();
void ApplyTextureFiltering();
void SetPointFiltering();
void ApplyMaterial();
// Stage 0 gets the texture of the slot, none for 0.
void SetStageTexture(uint32_t textureSlot);

// Draws one object's meshes of the texture group (-1: all).
void DrawObjectModel(uint32_t objectSlot, int64_t group);
// A glue chain follows this many links at most, so that a loop of glued objects ends.
constexpr int kMaxGlueLinks = 10;
// The world that a glued object hangs from: `base` after the world of the limb it is glued to,
// through the chain of objects that limb's object is glued to in turn. Their world matrices are
// brought up to date on the way.
Matrix4f ApplyGlueTransform(uint32_t objectSlot, uint32_t targetSlot, const Matrix4f& base);
void UpdateObjectWorldMatrices(uint32_t objectSlot, int32_t followGlue);
bool GetLimbWorldMatrix(uint32_t objectSlot, int32_t limb, Matrix4f& out);
// Whether the object is on the screen, and where its position lands.
void ProjectObjectToScreen(uint32_t itemSlot, int32_t& inScreen, int32_t& screenX, int32_t& screenY);

}  // namespace vx
