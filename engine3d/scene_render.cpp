// The 3D frame (scene_render.h): view test, texture groups, the four passes, the render-state
// cache, materials, glue transforms and the per-frame world matrices.
#include "engine3d/scene_render.h"

#include <algorithm>
#include <cmath>

#include "common/value_slot.h"
#include "display/display_state.h"
#include "engine3d/backdrop.h"
#include "engine3d/maths3d.h"
#include "engine3d/objects.h"
#include "engine3d/records.h"
#include "engine3d/scene_settings.h"
#include "engine3d/static_world.h"
#include "models/scene_model.h"
#include "platform/d3d/device.h"

namespace vx {

using namespace win;

RenderStateCache gRenderStateCache{};
uint32_t gWireframeAll = 0;
uint32_t gGlobalAddressMode = 1;
uint32_t g3DDrawingEnabled = 1;
uint32_t gPolygonCounter = 0;
uint8_t gSceneBegun = 0;
Vector3f gPreviousCameraAngles{0, 0, 0};
TextureGroupNode* gTextureGroups = nullptr;

namespace {

ObjectRecord* ObjectOfItem(const RenderItem& it) {
  if (it.objectItem != 1 || it.objectSlot <= 0 || !gObjectRecords.IsTaken(uint32_t(it.objectSlot))) return nullptr;
  return &gObjectRecords[uint32_t(it.objectSlot)];
}

struct BlendPair {
  DWORD source, destination;
};

// The blend pair of ghosted drawing; a device that keeps no pair (or only the first) falls back to
// one it has, and at worst to plain alpha blending, never to a factor of 0.
BlendPair GhostPair(bool secondMode) {
  if (secondMode && gGhostSrcBlend2 != 0 && gGhostDestBlend2 != 0) return {gGhostSrcBlend2, gGhostDestBlend2};
  if (gGhostSrcBlend != 0 && gGhostDestBlend != 0) return {gGhostSrcBlend, gGhostDestBlend};
  return {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA};
}

void SetBlendPair(const BlendPair& pair) {
  gD3DDevice->SetRenderState(D3DRENDERSTATE_SRCBLEND, pair.source);
  gD3DDevice->SetRenderState(D3DRENDERSTATE_DESTBLEND, pair.destination);
}

void SetDepthTest(uint32_t on) {
  if (gRenderStateCache.depthTest == on) return;
  gRenderStateCache.depthTest = on;
  gD3DDevice->SetRenderState(D3DRENDERSTATE_ZENABLE, on ? (gWBuffer ? D3DZB_USEW : D3DZB_TRUE) : D3DZB_FALSE);
}

void SetFiltering(uint32_t on) {
  if (gRenderStateCache.filtering == on) return;
  gRenderStateCache.filtering = on;
  if (on)
    ApplyTextureFiltering();
  else
    SetPointFiltering();
}

void SetMaterialIndex(uint32_t index) {
  if (gRenderStateCache.materialIndex == index) return;
  gRenderStateCache.materialIndex = index;
  ApplyMaterial();
}

void SetAddressMode(uint32_t mode) {
  if (gRenderStateCache.addressMode == mode) return;
  gRenderStateCache.addressMode = mode;
  gD3DDevice->SetTextureStageState(0, D3DTSS_ADDRESS, mode);
}

struct ViewTestResult {
  int32_t failures = 0;
  float viewZ = 0.0f;
  float radius = 0.0f;
  Vector3f projected{0, 0, 0};
};

// The view test of an object item: how many of the volume tests its bounding sphere fails. The
// x and y tests are made only beyond `xyFrom` in view z.
ViewTestResult ViewTest(const RenderItem& it, const ObjectRecord& o, float xyFrom) {
  ViewTestResult r;
  float s = 0.0f;
  for (float scale : {o.scaleX, o.scaleY, o.scaleZ})
    if (scale > s) s = scale;
  r.radius = o.originRadius * 1.25f * s;
  Vector3f p = it.position;
  TransformCoord(p, p, gWorldBaseMatrix);
  TransformCoord(p, p, gViewMatrix);
  r.viewZ = p.z;
  Vector3f q(r.radius, 0.0f, r.viewZ);
  TransformCoord(p, p, gProjectionMatrix);
  TransformCoord(q, q, gProjectionMatrix);
  r.projected = p;
  if (r.viewZ >= xyFrom) {
    r.failures += p.x + q.x < -1.0f;
    r.failures += p.x - q.x > 1.0f;
    r.failures += p.y + q.x < -1.0f;
    r.failures += p.y - q.x > 1.0f;
  }
  r.failures += r.viewZ + r.radius < 0.0f;
  r.failures += r.viewZ - r.radius > gCameraFar;
  return r;
}

void SortTextureGroups() {
  int32_t count = 0;
  for (TextureGroupNode* n = gTextureGroups; n; n = n->next) ++count;
  for (int32_t sweep = 0; sweep < count; ++sweep)
    for (TextureGroupNode* a = gTextureGroups; a && a->next; a = a->next) {
      TextureGroupNode* b = a->next;
      if (b->depth < a->depth) {
        std::swap(a->textureSlot, b->textureSlot);
        std::swap(a->depth, b->depth);
      }
    }
}

void DrawItem(uint32_t item, int64_t group) {
  ApplyItemRenderStates(item);
  DrawObjectModel(uint32_t(gRenderItems[item].objectSlot), group);
}

// One selection pass: every mark is cleared, the items that `wanted` accepts are marked, and the
// best marked item (as `better` judges against the running best) is drawn and unmarked until no
// marked item can be chosen any more.
template <class Wanted, class Key, class Better>
int32_t DrawSelectionPass(Wanted wanted, Key key, double start, Better better, void (*before)() = nullptr) {
  int32_t marked = 0;
  gRenderItems.ForEachUsed([&](uint32_t item) {
    RenderItem& it = gRenderItems[item];
    it.passMark = wanted(it) ? 1 : 0;
    marked += it.passMark;
  });
  if (marked == 0) return 0;
  if (before) before();
  for (int32_t n = 0; n < marked; ++n) {
    int32_t chosen = -1;
    double best = start;
    gRenderItems.ForEachUsed([&](uint32_t item) {
      const RenderItem& it = gRenderItems[item];
      if (it.passMark != 1) return;
      const double value = key(it);
      if (better(value, best)) {
        best = value;
        chosen = int32_t(item);
      }
    });
    if (chosen < 0) {  // what is left can never be chosen
      gRenderItems.ForEachUsed([](uint32_t item) { gRenderItems[item].passMark = 0; });
      break;
    }
    gRenderItems[uint32_t(chosen)].passMark = 0;
    DrawItem(uint32_t(chosen), -1);
  }
  return marked;
}

bool Drawable(const RenderItem& it) { return it.visible == 1 && it.inFrame == 1 && it.culled == 0; }

void ClearDepthBuffer() { gD3DDevice->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0); }

bool BeginSceneOnce() {
  HRESULT result = gD3DDevice->BeginScene();
  if (Succeeded(result)) {
    gSceneBegun = 1;
    return true;
  }
  if (result == DDERR_SURFACELOST && gDirectDraw && Succeeded(gDirectDraw->RestoreAllSurfaces())) {
    result = gD3DDevice->BeginScene();
    if (Succeeded(result)) gSceneBegun = 1;
  }
  return Succeeded(result);
}

}  // namespace

void ResetRenderStateCache() {
  gRenderStateCache = RenderStateCache{};
  gRenderStateCache.depthTest = gRenderStateCache.depthWrite = 1;
  gRenderStateCache.culling = 1;
  gRenderStateCache.filtering = 1;
  gRenderStateCache.normalize = 1;
  gRenderStateCache.materialIndex = kSceneMaterial;
  gRenderStateCache.addressMode = 1;
}

void SetCachedRenderState(D3DRENDERSTATETYPE state, uint32_t& cached, uint32_t value, bool force) {
  if (!force && cached == value) return;
  cached = value;
  if (gD3DDevice) gD3DDevice->SetRenderState(state, value);
}

void ApplyTextureFiltering() {
  switch (gFilterLevel) {
    case 1:
      gD3DDevice->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTFN_LINEAR);
      gD3DDevice->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTFG_LINEAR);
      break;
    case 2:
      gD3DDevice->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTFN_ANISOTROPIC);
      gD3DDevice->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTFG_ANISOTROPIC);
      break;
    default: SetPointFiltering(); break;
  }
}

void SetPointFiltering() {
  gD3DDevice->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  gD3DDevice->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  gD3DDevice->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTFN_POINT);
  gD3DDevice->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTFG_POINT);
}

void ApplyMaterial() {
  const D3DMATERIAL7* material = gRenderStateCache.materialIndex == kFullBrightMaterial   ? &gFullBrightMaterial
                                 : gRenderStateCache.materialIndex == kNoAmbientMaterial ? &gPlainMaterial
                                                                                          : &gSceneMaterial;
  gD3DDevice->SetMaterial(material);
}

void SetStageTexture(uint32_t textureSlot) {
  if (!gD3DDevice) return;
  DirectDrawSurface* surface = nullptr;
  if (textureSlot > 0 && gTextureRecords.IsTaken(textureSlot)) surface = gTextureRecords[textureSlot].texture.surface;
  gD3DDevice->SetTexture(0, surface);
}

void ApplyItemRenderStates(uint32_t itemSlot) {
  const RenderItem& it = gRenderItems[itemSlot];
  RenderStateCache& c = gRenderStateCache;
  if (int32_t(itemSlot) == gBackdropItem || it.cameraLocked) {
    SetDepthTest(0);
    SetCachedRenderState(D3DRENDERSTATE_ZWRITEENABLE, c.depthWrite, 0);
  } else {
    SetDepthTest(it.depthTest ? 1 : 0);
    SetCachedRenderState(D3DRENDERSTATE_ZWRITEENABLE, c.depthWrite, it.depthWrite == 1 && it.ghost == 0 ? 1 : 0);
  }

  const uint32_t blend = ((gBlendLevel > 0 && it.ghost == 1) ? 1u : 0u) +
                         ((gColourKeyAvailable == 1 && it.colourKey == 1) ? 2u : 0u);
  const uint32_t ghostMode = (it.ghostMode & 0xFFFF) == 1 ? 1u : 0u;
  if (blend != c.blend || ghostMode != c.ghostMode) {
    gD3DDevice->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, (blend & 1) ? 1 : 0);
    gD3DDevice->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, (blend & 2) ? 1 : 0);
    if (blend & 1)
      SetBlendPair(GhostPair(ghostMode == 1));
    else
      SetBlendPair({D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA});
    c.blend = blend;
    c.ghostMode = ghostMode;
  }

  SetCachedRenderState(D3DRENDERSTATE_FILLMODE, c.wireframe, it.wireframe == 1 ? D3DFILL_WIREFRAME : D3DFILL_SOLID);
  SetCachedRenderState(D3DRENDERSTATE_CULLMODE, c.culling, it.culling == 1 ? D3DCULL_CCW : D3DCULL_NONE);
  SetFiltering(it.filtering == 1 ? 1 : 0);
  SetMaterialIndex(it.fullBright == 1 ? kFullBrightMaterial : it.ambient == 1 ? kSceneMaterial : kNoAmbientMaterial);
  if (gFogOn == 1) SetCachedRenderState(D3DRENDERSTATE_FOGENABLE, c.fog, it.fog ? 1 : 0);
  SetCachedRenderState(D3DRENDERSTATE_NORMALIZENORMALS, c.normalize, gNormalizeNormals ? 1 : 0);
  SetAddressMode(uint32_t(it.addressMode));
}

void ResetRenderStates() {
  RenderStateCache& c = gRenderStateCache;
  SetDepthTest(1);
  SetCachedRenderState(D3DRENDERSTATE_ZWRITEENABLE, c.depthWrite, 1);
  if (c.blend != 0 || c.ghostMode != 0) {
    gD3DDevice->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 0);
    gD3DDevice->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, 0);
    SetBlendPair(GhostPair(false));
    c.blend = c.ghostMode = 0;
  }
  SetCachedRenderState(D3DRENDERSTATE_FILLMODE, c.wireframe, gWireframeAll == 1 ? D3DFILL_WIREFRAME : D3DFILL_SOLID);
  SetCachedRenderState(D3DRENDERSTATE_CULLMODE, c.culling, D3DCULL_CCW);
  c.filtering = 1;
  ApplyTextureFiltering();
  c.materialIndex = kSceneMaterial;
  ApplyMaterial();
  if (gFogOn == 1) SetCachedRenderState(D3DRENDERSTATE_FOGENABLE, c.fog, 1);
  if (gNormalizeNormals == 1) SetCachedRenderState(D3DRENDERSTATE_NORMALIZENORMALS, c.normalize, 1);
  SetAddressMode(gGlobalAddressMode);
}

// --- Objects -------------------------------------------------------------------------------------------

void DrawObjectModel(uint32_t objectSlot, int64_t group) {
  if (!gObjectRecords.IsTaken(objectSlot) || !gObjectRecords[objectSlot].model) return;
  const int32_t glued = gObjectRecords[objectSlot].gluedObject;
  D3DMATRIX saved;
  if (glued > 0) {
    gD3DDevice->GetTransform(D3DTRANSFORMSTATE_WORLD, &saved);
    ApplyGlueTransform(objectSlot, uint32_t(glued), FromD3DMatrix(saved));
  }
  SceneModel* model = gObjectRecords[objectSlot].model;
  // An instance shares its tree: the root frame holds whichever object set it last.
  if (ModelUserCount(model) > 1) UpdateObjectFrame(objectSlot);
  gPolygonCounter += model->Render(gD3DDevice, group);
  if (glued > 0) gD3DDevice->SetTransform(D3DTRANSFORMSTATE_WORLD, &saved);
  gObjectRecords[objectSlot].worldMatricesCurrent = 0;
}

void ApplyGlueTransform(uint32_t objectSlot, uint32_t targetSlot, const Matrix4f& base) {
  // chain[0] is the target; each further entry is the object the one before it is glued to, and
  // limbs[i] the limb of chain[i] that the link before it hangs on.
  uint32_t chain[10];
  int32_t limbs[10];
  int32_t count = 0;
  uint32_t holder = objectSlot;
  for (uint32_t entry = targetSlot; entry > 0 && gObjectRecords.IsTaken(entry) && count < 10;) {
    chain[count] = entry;
    limbs[count] = gObjectRecords[holder].gluedLimb;
    ++count;
    holder = entry;
    const int32_t next = gObjectRecords[entry].gluedObject;
    if (next <= 0 || uint32_t(next) == objectSlot) break;
    entry = uint32_t(next);
  }
  for (int32_t i = count - 1; i >= 0; --i) {
    UpdateObjectWorldMatrices(chain[i], 0);
    Matrix4f limbWorld, world;
    MatrixIdentity(limbWorld);
    GetLimbWorldMatrix(chain[i], limbs[i], limbWorld);
    MatrixMultiply(world, base, limbWorld);
    const D3DMATRIX d = ToD3DMatrix(world);
    gD3DDevice->SetTransform(D3DTRANSFORMSTATE_WORLD, &d);
  }
}

void UpdateObjectWorldMatrices(uint32_t objectSlot, int32_t followGlue) {
  if (!gObjectRecords.IsTaken(objectSlot) || !gD3DDevice) return;
  if (gObjectRecords[objectSlot].worldMatricesCurrent == 1) return;
  gObjectRecords[objectSlot].worldMatricesCurrent = 1;
  const int32_t glued = gObjectRecords[objectSlot].gluedObject;
  const bool follow = followGlue != 0 && glued > 0;
  D3DMATRIX saved;
  if (follow) {
    gD3DDevice->GetTransform(D3DTRANSFORMSTATE_WORLD, &saved);
    ApplyGlueTransform(objectSlot, uint32_t(glued), FromD3DMatrix(saved));
  }
  if (SceneModel* model = gObjectRecords[objectSlot].model) {
    if (ModelUserCount(model) > 1) UpdateObjectFrame(objectSlot);
    model->UpdateWorldMatrices(gD3DDevice);
  }
  if (follow) gD3DDevice->SetTransform(D3DTRANSFORMSTATE_WORLD, &saved);
  ObjectRecord& o = gObjectRecords[objectSlot];
  for (int32_t limb = 0; limb < o.limbCapacity && o.limbs; ++limb) {
    ObjectLimbRecord& l = o.limbs[limb];
    if (l.exists != 1) break;
    Matrix4f m;
    if (!o.model || !o.model->GetWorldMatrixById(limb, m)) continue;
    l.worldPosition[0] = m.At(3, 0);
    l.worldPosition[1] = m.At(3, 1);
    l.worldPosition[2] = m.At(3, 2);
    m.At(3, 0) = m.At(3, 1) = m.At(3, 2) = 0.0f;
    Vector3f direction;
    TransformCoord(direction, Vector3f(0, 0, 1), m);
    AnglesTowardsPoint(0, 0, 0, direction.x, direction.y, direction.z, l.worldAngles[0], l.worldAngles[1],
                       l.worldAngles[2]);
  }
}

bool GetLimbWorldMatrix(uint32_t objectSlot, int32_t limb, Matrix4f& out) {
  if (!gObjectRecords.IsTaken(objectSlot) || !gObjectRecords[objectSlot].model) return false;
  return gObjectRecords[objectSlot].model->GetWorldMatrixById(limb, out);
}

void ProjectObjectToScreen(uint32_t itemSlot, int32_t& inScreen, int32_t& screenX, int32_t& screenY) {
  inScreen = 0;
  screenX = screenY = 0;
  if (!gRenderItems.IsTaken(itemSlot)) return;
  const RenderItem& it = gRenderItems[itemSlot];
  const ObjectRecord* o = ObjectOfItem(it);
  if (!o) return;
  const ViewTestResult r = ViewTest(it, *o, 20.0f);
  inScreen = r.failures == 0 || o->gluedObject > 0 ? 1 : 0;
  // A place at the eye or far off projects beyond any integer.
  screenX = SaturateToInt32((r.projected.x + 1.0f) * float(gDisplayWidth) / 2.0f);
  screenY = SaturateToInt32((1.0f - r.projected.y) * float(gDisplayHeight) / 2.0f);
}

// --- The frame --------------------------------------------------------------------------------------------

void RenderSceneIfReady() {
  if (g3DDrawingEnabled == 1 && gD3DDevice && gRenderEnabled == 1) RenderScene();
}

void RenderScene() {
  gPolygonCounter = 0;

  gRenderItems.ForEachUsed([](uint32_t item) {
    RenderItem& it = gRenderItems[item];
    if (it.visible == 1 && it.objectItem == 1) {
      if (const ObjectRecord* o = ObjectOfItem(it)) {
        const ViewTestResult r = ViewTest(it, *o, 100.0f);
        it.culled = r.failures > 0 && o->gluedObject <= 0 ? 1 : 0;
        it.viewDepth = double(r.viewZ) + double(r.radius);
      }
    }
    if (it.viewDepth < 0.0) it.viewDepth = 0.0;
  });

  DeleteTextureGroups(gTextureGroups);
  gRenderItems.ForEachUsed([](uint32_t item) {
    RenderItem& it = gRenderItems[item];
    it.inFrame = 0;
    const ObjectRecord* o = ObjectOfItem(it);
    if (it.visible != 1 || !o || o->inUse != 1) return;
    it.inFrame = 1;
    if (o->model) o->model->CollectTextureGroups(gTextureGroups, it.viewDepth);
  });
  SortTextureGroups();

  bool begun = gBackdropBeganScene == 1 || gSceneBegun == 1;
  if (!begun) begun = BeginSceneOnce();
  if (begun) {
    if (StaticWorldHoldsGeometry()) {
      ResetRenderStates();
      gPolygonCounter += RenderStaticWorld().indices;
    }

    // Opaque objects, batched by texture, nearest group first.
    for (TextureGroupNode* group = gTextureGroups; group; group = group->next) {
      SetStageTexture(group->textureSlot);
      gRenderItems.ForEachUsed([group](uint32_t item) {
        const RenderItem& it = gRenderItems[item];
        if (Drawable(it) && it.ghost == 0 && it.cameraLocked == 0 && it.overlay == 0)
          DrawItem(item, int64_t(group->textureSlot));
      });
    }

    // Ghosted objects back to front; among equal depths the later item first.
    DrawSelectionPass(
        [](const RenderItem& it) { return Drawable(it) && it.ghost == 1 && it.cameraLocked == 0 && it.overlay == 0; },
        [](const RenderItem& it) { return it.viewDepth; }, 0.0, [](double v, double best) { return v >= best; });

    // Overlay objects over everything so far, front to back.
    DrawSelectionPass([](const RenderItem& it) { return Drawable(it) && it.cameraLocked == 0 && it.overlay == 1; },
                      [](const RenderItem& it) { return it.viewDepth; }, 19999999.9,
                      [](double v, double best) { return v <= best; }, ClearDepthBuffer);

    // Camera-locked objects last, in camera space, farthest first; those not in front are left out.
    int32_t locked = 0;
    gRenderItems.ForEachUsed([&locked](uint32_t item) {
      const RenderItem& it = gRenderItems[item];
      locked += it.visible == 1 && it.inFrame == 1 && it.cameraLocked == 1;
    });
    if (locked > 0) {
      D3DMATRIX savedView;
      D3DVIEWPORT7 savedViewport{};
      SetProjection(1.0f, 3000.0f, kStandardFov);
      gD3DDevice->GetTransform(D3DTRANSFORMSTATE_VIEW, &savedView);
      const D3DMATRIX identity = ToD3DMatrix(gIdentityView);
      gD3DDevice->SetTransform(D3DTRANSFORMSTATE_VIEW, &identity);
      gD3DDevice->GetViewport(&savedViewport);
      D3DVIEWPORT7 flat = savedViewport;
      flat.dvMinZ = flat.dvMaxZ = 0.0f;
      gD3DDevice->SetViewport(&flat);
      DrawSelectionPass([](const RenderItem& it) { return it.visible == 1 && it.inFrame == 1 && it.cameraLocked == 1; },
                        [](const RenderItem& it) { return double(it.position.z); }, 0.0,
                        [](double v, double best) { return v > best; });
      gD3DDevice->SetTransform(D3DTRANSFORMSTATE_VIEW, &savedView);
      SetProjection(gCameraNear, gCameraFar, gCameraFov);
      gD3DDevice->SetViewport(&savedViewport);
    }

    if (gSceneBegun == 1) {
      gD3DDevice->EndScene();
      gSceneBegun = 0;
    }
  }
  gPreviousCameraAngles = gCameraAngles;
}

}  // namespace vx
