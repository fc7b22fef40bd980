// The 3D frame (scene_render.h): view test, the draw list (one record per mesh drawn, sorted once
// into the four passes), the render-state cache, materials, glue transforms and the per-frame
// world matrices.
#include "engine3d/scene_render.h"

#include <algorithm>
#include <cmath>

#include "common/runtime_hooks.h"
#include "common/value_slot.h"
#include "engine3d/backdrop.h"
#include "engine3d/maths3d.h"
#include "engine3d/object_records.h"
#include "engine3d/objects.h"
#include "engine3d/scene_settings.h"
#include "engine3d/static_world.h"
#include "models/scene_model.h"
#include "models/scene_nodes.h"
#include "platform/d3d/device.h"
#include "surfaces/display_state.h"

namespace vx {

using namespace win;

namespace {

struct BlendPair {
  DWORD source, destination;
};

// The blend pair of ghosted drawing; a device that keeps no pair (or only the first) falls back to
// one it has, and at worst to plain alpha blending, never to a factor of 0.
BlendPair GhostPair(bool secondMode) {
  if (secondMode && Display().gGhostSrcBlend2 != 0 && Display().gGhostDestBlend2 != 0)
    return {Display().gGhostSrcBlend2, Display().gGhostDestBlend2};
  if (Display().gGhostSrcBlend != 0 && Display().gGhostDestBlend != 0)
    return {Display().gGhostSrcBlend, Display().gGhostDestBlend};
  return {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA};
}

void SetBlendPair(const BlendPair& pair) {
  Display().gD3DDevice->SetRenderState(D3DRENDERSTATE_SRCBLEND, pair.source);
  Display().gD3DDevice->SetRenderState(D3DRENDERSTATE_DESTBLEND, pair.destination);
}

void SetDepthTest(uint32_t on) {
  if (Scene().gRenderStateCache.depthTest == on) return;
  Scene().gRenderStateCache.depthTest = on;
  Display().gD3DDevice->SetRenderState(D3DRENDERSTATE_ZENABLE,
                                       on ? (Display().gWBuffer ? D3DZB_USEW : D3DZB_TRUE) : D3DZB_FALSE);
}

void SetFiltering(uint32_t on) {
  if (Scene().gRenderStateCache.filtering == on) return;
  Scene().gRenderStateCache.filtering = on;
  if (on)
    ApplyTextureFiltering();
  else
    SetPointFiltering();
}

void SetMaterialIndex(uint32_t index) {
  if (Scene().gRenderStateCache.materialIndex == index) return;
  Scene().gRenderStateCache.materialIndex = index;
  ApplyMaterial();
}

void SetAddressMode(uint32_t mode) {
  if (Scene().gRenderStateCache.addressMode == mode) return;
  Scene().gRenderStateCache.addressMode = mode;
  Display().gD3DDevice->SetTextureStageState(0, D3DTSS_ADDRESS, mode);
}

struct ViewTestResult {
  int32_t failures = 0;
  float viewZ = 0.0f;
  float radius = 0.0f;
  Vector3f projected{0, 0, 0};
};

// The view test of an object: how many of the volume tests its bounding sphere fails. The x and y
// tests are made only beyond `xyFrom` in view z.
ViewTestResult ViewTest(const ObjectRecord& o, float xyFrom) {
  ViewTestResult r;
  float s = 0.0f;
  for (float scale : {o.scaleX, o.scaleY, o.scaleZ})
    if (scale > s) s = scale;
  r.radius = o.originRadius * 1.25f * s;
  Vector3f p = o.position;
  TransformCoord(p, p, Scene().gWorldBaseMatrix);
  TransformCoord(p, p, Scene().gViewMatrix);
  r.viewZ = p.z;
  Vector3f q(r.radius, 0.0f, r.viewZ);
  TransformCoord(p, p, Scene().gProjectionMatrix);
  TransformCoord(q, q, Scene().gProjectionMatrix);
  r.projected = p;
  if (r.viewZ >= xyFrom) {
    r.failures += p.x + q.x < -1.0f;
    r.failures += p.x - q.x > 1.0f;
    r.failures += p.y + q.x < -1.0f;
    r.failures += p.y - q.x > 1.0f;
  }
  r.failures += r.viewZ + r.radius < 0.0f;
  r.failures += r.viewZ - r.radius > Display().gCameraFar;
  return r;
}

bool Drawable(const RenderItem& it, const ObjectDrawState& d) {
  return it.visible == 1 && d.inFrame == 1 && d.culled == 0;
}

void ClearDepthBuffer() { Display().gD3DDevice->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0); }

bool BeginSceneOnce() {
  HRESULT result = Display().gD3DDevice->BeginScene();
  if (Succeeded(result)) {
    Scene().gSceneBegun = 1;
    return true;
  }
  if (result == DDERR_SURFACELOST && Display().gDirectDraw && Succeeded(Display().gDirectDraw->RestoreAllSurfaces())) {
    result = Display().gD3DDevice->BeginScene();
    if (Succeeded(result)) Scene().gSceneBegun = 1;
  }
  return Succeeded(result);
}

// ---- the frame's draw list ---

enum class Pass : uint8_t { Opaque, Ghost, Overlay, CameraLocked };

// One mesh to draw in the frame. Records sort by pass, then `order` (the texture group's rank in
// the opaque pass; view depth or position z, negated where the pass draws the largest first),
// then `itemOrder` (the item's place in the list, negated where later items go first), then the
// walk's sequence, which keeps each object's meshes together in tree order.
struct DrawRecord {
  Pass pass;
  uint32_t texture;  // TextureRecord slot, 0 none
  double order;
  int32_t itemOrder;
  uint32_t sequence;
  uint32_t item;
  MeshNode* mesh;
  uint32_t world;  // index into the list's matrices

  bool operator<(const DrawRecord& o) const {
    if (pass != o.pass) return pass < o.pass;
    if (order != o.order) return order < o.order;
    if (itemOrder != o.itemOrder) return itemOrder < o.itemOrder;
    return sequence < o.sequence;
  }
};

// The meshes of one texture in the frame, with the mean view depth of their objects.
struct TextureGroup {
  uint32_t texture;
  double depthSum;
  uint32_t meshes;
  double depth;
};

// Kept from frame to frame, so that a steady scene allocates nothing.
struct FrameDrawList {
  std::vector<DrawRecord> records;
  std::vector<Matrix4f> worlds;
  std::vector<TextureGroup> groups;   // in the order the walk met them
  std::vector<uint32_t> groupOrder;   // group indices, nearest first
  std::vector<uint32_t> groupRank;    // by group index
  std::vector<uint32_t> groupOfSlot;  // by texture slot: group index + 1 while the stamp is this frame's
  std::vector<uint32_t> slotStamp;
  uint32_t stamp = 0;
  uint32_t overlayItems = 0, lockedItems = 0;
};

FrameDrawList& TheDrawList() {
  static FrameDrawList list;
  return list;
}

// The world transform an object is drawn under: the device's, or for a glued object the glued-to
// limb's world after it.
Matrix4f ObjectBaseWorld(uint32_t objectSlot, const Matrix4f& deviceWorld) {
  const int32_t glued = Engine().gObjectRecords[objectSlot].gluedObject;
  if (glued <= 0) return deviceWorld;
  return ApplyGlueTransform(objectSlot, uint32_t(glued), deviceWorld);
}

bool Drawn(const MeshNode& mesh) { return mesh.visible == 1 && !mesh.indices().empty(); }

void DrawMesh(MeshNode& mesh, const Matrix4f& world) {
  const D3DMATRIX d = ToD3DMatrix(world);
  Display().gD3DDevice->SetTransform(D3DTRANSFORMSTATE_WORLD, &d);
  Scene().gPolygonCounter += mesh.Draw(Display().gD3DDevice);
}

void EnterGroup(FrameDrawList& list, uint32_t texture, double depth) {
  if (texture >= list.groupOfSlot.size()) {
    list.groupOfSlot.resize(size_t(texture) + 1, 0);
    list.slotStamp.resize(size_t(texture) + 1, 0);
  }
  if (list.slotStamp[texture] != list.stamp) {
    list.slotStamp[texture] = list.stamp;
    list.groupOfSlot[texture] = uint32_t(list.groups.size()) + 1;
    list.groups.push_back({texture, 0.0, 0, 0.0});
  }
  TextureGroup& group = list.groups[list.groupOfSlot[texture] - 1];
  group.depthSum += depth;
  ++group.meshes;
}

// The pass an item in the frame is drawn in, and its order there; false when it is not drawn.
bool PassOf(const RenderItem& it, const ObjectRecord& o, int32_t listOrder, Pass& pass, double& order,
            int32_t& itemOrder) {
  const ObjectDrawState& d = o.draw;
  if (d.cameraLocked == 1) {
    // Farthest first, the first in the list first among equals; none that is not in front.
    pass = Pass::CameraLocked;
    order = -double(o.position.z);
    itemOrder = listOrder;
    return o.position.z > 0.0f;
  }
  if (!Drawable(it, d)) return false;
  itemOrder = -listOrder;  // among equal depths the later item first
  if (d.overlay == 1) {
    pass = Pass::Overlay;  // front to back; none beyond the pass's starting depth
    order = d.viewDepth;
    return d.viewDepth <= 19999999.9;
  }
  if (d.ghost == 1) {
    pass = Pass::Ghost;  // back to front
    order = -d.viewDepth;
    return d.viewDepth >= 0.0;
  }
  pass = Pass::Opaque;  // ordered by texture group once the groups are known
  order = 0.0;
  itemOrder = listOrder;
  return true;
}

// The scene walk: every item in the frame enters its meshes' textures into the groups, and every
// drawn mesh becomes a record; then the groups are ranked and the records sorted once.
void BuildDrawList(FrameDrawList& list, const Matrix4f& deviceWorld) {
  list.records.clear();
  list.worlds.clear();
  list.groups.clear();
  list.overlayItems = list.lockedItems = 0;
  if (++list.stamp == 0) {
    std::fill(list.slotStamp.begin(), list.slotStamp.end(), 0);
    list.stamp = 1;
  }
  int32_t listOrder = 0;
  uint32_t sequence = 0;
  Records().gRenderItems.ForEachUsed([&](uint32_t item) {
    const RenderItem& it = Records().gRenderItems[item];
    const int32_t position = listOrder++;
    ObjectRecord* o = ObjectOfItem(item);
    if (!o) return;
    ObjectDrawState& d = o->draw;
    d.inFrame = 0;
    if (it.visible != 1 || o->inUse != 1) return;
    d.inFrame = 1;
    const uint32_t objectSlot = uint32_t(it.ownerSlot);
    list.lockedItems += d.cameraLocked == 1;
    list.overlayItems += Drawable(it, d) && d.cameraLocked == 0 && d.overlay == 1;
    SceneModel* model = o->model;
    if (!model) return;
    Pass pass;
    double order = 0.0;
    int32_t itemOrder = 0;
    const bool drawn = PassOf(it, *o, position, pass, order, itemOrder);
    Matrix4f base = deviceWorld;
    if (drawn) {
      base = ObjectBaseWorld(objectSlot, deviceWorld);
      // An instance shares its tree: the root frame holds whichever object set it last.
      if (ModelUserCount(model) > 1) UpdateObjectFrame(objectSlot);
      Engine().gObjectRecords[objectSlot].worldMatricesCurrent = 0;
    }
    const double depth = Engine().gObjectRecords[objectSlot].draw.viewDepth;
    model->VisitMeshes(base, [&](MeshNode& mesh, const Matrix4f& world) {
      EnterGroup(list, mesh.textureSlot, depth);
      if (!drawn || !Drawn(mesh)) return;
      list.records.push_back(
          {pass, mesh.textureSlot, order, itemOrder, sequence++, item, &mesh, uint32_t(list.worlds.size())});
      list.worlds.push_back(world);
    });
  });

  // Groups nearest first by the mean depth of their meshes' objects; among equal depths the
  // group met first.
  for (TextureGroup& g : list.groups) {
    g.depth = g.depthSum / double(g.meshes);
    if (std::isnan(g.depth)) g.depth = HUGE_VAL;
  }
  list.groupOrder.resize(list.groups.size());
  for (uint32_t i = 0; i < list.groupOrder.size(); ++i) list.groupOrder[i] = i;
  std::sort(list.groupOrder.begin(), list.groupOrder.end(), [&list](uint32_t a, uint32_t b) {
    const double da = list.groups[a].depth, db = list.groups[b].depth;
    return da != db ? da < db : a < b;
  });
  list.groupRank.resize(list.groups.size());
  for (uint32_t rank = 0; rank < list.groupOrder.size(); ++rank) list.groupRank[list.groupOrder[rank]] = rank;
  for (DrawRecord& r : list.records) {
    if (r.pass == Pass::Opaque) r.order = double(list.groupRank[list.groupOfSlot[r.texture] - 1]);
  }
  std::sort(list.records.begin(), list.records.end());
}

// Draws the records of one pass from `at` on; the index after them.
size_t DrawPass(const FrameDrawList& list, size_t at, Pass pass) {
  uint32_t item = kNoRecordSlot;
  uint32_t texture = 0;
  bool textureSet = false;
  for (; at < list.records.size() && list.records[at].pass == pass; ++at) {
    const DrawRecord& r = list.records[at];
    if (!textureSet || r.texture != texture) {
      SetStageTexture(r.texture);
      texture = r.texture;
      textureSet = true;
    }
    if (r.item != item) {
      ApplyItemRenderStates(r.item);
      item = r.item;
    }
    DrawMesh(*r.mesh, list.worlds[r.world]);
  }
  return at;
}

}  // namespace

void ResetRenderStateCache() {
  Scene().gRenderStateCache = RenderStateCache{};
  Scene().gRenderStateCache.depthTest = Scene().gRenderStateCache.depthWrite = 1;
  Scene().gRenderStateCache.culling = 1;
  Scene().gRenderStateCache.filtering = 1;
  Scene().gRenderStateCache.normalize = 1;
  Scene().gRenderStateCache.materialIndex = kSceneMaterial;
  Scene().gRenderStateCache.addressMode = 1;
}

void SetCachedRenderState(D3DRENDERSTATETYPE state, uint32_t& cached, uint32_t value, bool force) {
  if (!force && cached == value) return;
  cached = value;
  if (Display().gD3DDevice) Display().gD3DDevice->SetRenderState(state, value);
}

void ApplyTextureFiltering() {
  switch (Display().gFilterLevel) {
    case 1:
      Display().gD3DDevice->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTFN_LINEAR);
      Display().gD3DDevice->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTFG_LINEAR);
      break;
    case 2:
      Display().gD3DDevice->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTFN_ANISOTROPIC);
      Display().gD3DDevice->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTFG_ANISOTROPIC);
      break;
    default: SetPointFiltering(); break;
  }
}

void SetPointFiltering() {
  Display().gD3DDevice->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  Display().gD3DDevice->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  Display().gD3DDevice->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTFN_POINT);
  Display().gD3DDevice->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTFG_POINT);
}

void ApplyMaterial() {
  const D3DMATERIAL7* material =
      Scene().gRenderStateCache.materialIndex == kFullBrightMaterial  ? &Display().gFullBrightMaterial
      : Scene().gRenderStateCache.materialIndex == kNoAmbientMaterial ? &Display().gPlainMaterial
                                                                      : &Display().gSceneMaterial;
  Display().gD3DDevice->SetMaterial(material);
}

void SetStageTexture(uint32_t textureSlot) {
  if (!Display().gD3DDevice) return;
  DirectDrawSurface* surface = nullptr;
  if (textureSlot > 0 && Records().gTextureRecords.IsTaken(textureSlot))
    surface = Records().gTextureRecords[textureSlot].texture.surface;
  Display().gD3DDevice->SetTexture(0, surface);
}

void ApplyItemRenderStates(uint32_t itemSlot) {
  const RenderItem& it = Records().gRenderItems[itemSlot];
  static const ObjectDrawState kNoObject{};
  const ObjectRecord* o = ObjectOfItem(itemSlot);
  const ObjectDrawState& d = o ? o->draw : kNoObject;
  RenderStateCache& c = Scene().gRenderStateCache;
  if (int32_t(itemSlot) == Scene().gBackdropItem || d.cameraLocked) {
    SetDepthTest(0);
    SetCachedRenderState(D3DRENDERSTATE_ZWRITEENABLE, c.depthWrite, 0);
  } else {
    SetDepthTest(d.depthTest ? 1 : 0);
    SetCachedRenderState(D3DRENDERSTATE_ZWRITEENABLE, c.depthWrite, d.depthWrite == 1 && d.ghost == 0 ? 1 : 0);
  }

  const uint32_t blend = ((Display().gBlendLevel > 0 && d.ghost == 1) ? 1u : 0u) +
                         ((Display().gColourKeyAvailable == 1 && it.colourKey == 1) ? 2u : 0u);
  const uint32_t ghostMode = (d.ghostMode & 0xFFFF) == 1 ? 1u : 0u;
  if (blend != c.blend || ghostMode != c.ghostMode) {
    Display().gD3DDevice->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, (blend & 1) ? 1 : 0);
    Display().gD3DDevice->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, (blend & 2) ? 1 : 0);
    if (blend & 1)
      SetBlendPair(GhostPair(ghostMode == 1));
    else
      SetBlendPair({D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA});
    c.blend = blend;
    c.ghostMode = ghostMode;
  }

  SetCachedRenderState(D3DRENDERSTATE_FILLMODE, c.wireframe, d.wireframe == 1 ? D3DFILL_WIREFRAME : D3DFILL_SOLID);
  SetCachedRenderState(D3DRENDERSTATE_CULLMODE, c.culling, d.culling == 1 ? D3DCULL_CCW : D3DCULL_NONE);
  SetFiltering(d.filtering == 1 ? 1 : 0);
  SetMaterialIndex(d.fullBright == 1 ? kFullBrightMaterial : d.ambient == 1 ? kSceneMaterial : kNoAmbientMaterial);
  if (Scene().gFogOn == 1) SetCachedRenderState(D3DRENDERSTATE_FOGENABLE, c.fog, d.fog ? 1 : 0);
  SetCachedRenderState(D3DRENDERSTATE_NORMALIZENORMALS, c.normalize, Scene().gNormalizeNormals ? 1 : 0);
  SetAddressMode(uint32_t(d.addressMode));
}

void ResetRenderStates() {
  RenderStateCache& c = Scene().gRenderStateCache;
  SetDepthTest(1);
  SetCachedRenderState(D3DRENDERSTATE_ZWRITEENABLE, c.depthWrite, 1);
  if (c.blend != 0 || c.ghostMode != 0) {
    Display().gD3DDevice->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 0);
    Display().gD3DDevice->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, 0);
    SetBlendPair(GhostPair(false));
    c.blend = c.ghostMode = 0;
  }
  SetCachedRenderState(D3DRENDERSTATE_FILLMODE, c.wireframe,
                       Scene().gWireframeAll == 1 ? D3DFILL_WIREFRAME : D3DFILL_SOLID);
  SetCachedRenderState(D3DRENDERSTATE_CULLMODE, c.culling, D3DCULL_CCW);
  c.filtering = 1;
  ApplyTextureFiltering();
  c.materialIndex = kSceneMaterial;
  ApplyMaterial();
  if (Scene().gFogOn == 1) SetCachedRenderState(D3DRENDERSTATE_FOGENABLE, c.fog, 1);
  if (Scene().gNormalizeNormals == 1) SetCachedRenderState(D3DRENDERSTATE_NORMALIZENORMALS, c.normalize, 1);
  SetAddressMode(Scene().gGlobalAddressMode);
}

// --- Objects -------------------------------------------------------------------------------------------

void DrawObjectModel(uint32_t objectSlot, int64_t group) {
  if (!Engine().gObjectRecords.IsTaken(objectSlot) || !Engine().gObjectRecords[objectSlot].model ||
      !Display().gD3DDevice)
    return;
  D3DMATRIX saved;
  Display().gD3DDevice->GetTransform(D3DTRANSFORMSTATE_WORLD, &saved);
  const Matrix4f base = ObjectBaseWorld(objectSlot, FromD3DMatrix(saved));
  SceneModel* model = Engine().gObjectRecords[objectSlot].model;
  if (ModelUserCount(model) > 1) UpdateObjectFrame(objectSlot);
  model->VisitMeshes(base, [group](MeshNode& mesh, const Matrix4f& world) {
    if (!Drawn(mesh) || (group != -1 && group != int64_t(mesh.textureSlot))) return;
    if (group == -1) SetStageTexture(mesh.textureSlot);
    DrawMesh(mesh, world);
  });
  Display().gD3DDevice->SetTransform(D3DTRANSFORMSTATE_WORLD, &saved);
  Engine().gObjectRecords[objectSlot].worldMatricesCurrent = 0;
}

namespace {

// The model's frames and the limbs' world places and angles under `base`, the world the model
// hangs from.
void WriteWorldMatrices(uint32_t objectSlot, const Matrix4f& base) {
  ObjectRecord& o = Engine().gObjectRecords[objectSlot];
  if (SceneModel* model = o.model) {
    if (ModelUserCount(model) > 1) UpdateObjectFrame(objectSlot);
    if (model->root) model->root->UpdateWorldMatrices(base);
  }
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

// The same unless they are current; they are from then on.
void UpdateWorldMatricesUnder(uint32_t objectSlot, const Matrix4f& base) {
  if (!Engine().gObjectRecords.IsTaken(objectSlot) || !Display().gD3DDevice) return;
  if (Engine().gObjectRecords[objectSlot].worldMatricesCurrent == 1) return;
  Engine().gObjectRecords[objectSlot].worldMatricesCurrent = 1;
  WriteWorldMatrices(objectSlot, base);
}

}  // namespace

Matrix4f ApplyGlueTransform(uint32_t objectSlot, uint32_t targetSlot, const Matrix4f& base) {
  // chain[0] is the target; each further entry is the object the one before it is glued to, and
  // limbs[i] the limb of chain[i] that the link before it hangs on.
  uint32_t chain[kMaxGlueLinks];
  int32_t limbs[kMaxGlueLinks];
  int32_t count = 0;
  uint32_t holder = objectSlot;
  for (uint32_t entry = targetSlot; entry > 0 && Engine().gObjectRecords.IsTaken(entry) && count < kMaxGlueLinks;) {
    chain[count] = entry;
    limbs[count] = Engine().gObjectRecords[holder].gluedLimb;
    ++count;
    holder = entry;
    const int32_t next = Engine().gObjectRecords[entry].gluedObject;
    if (next <= 0 || uint32_t(next) == objectSlot) break;
    entry = uint32_t(next);
  }
  // From the far end: each link's matrices hang from the world the link after it gave.
  Matrix4f world = base;
  for (int32_t i = count - 1; i >= 0; --i) {
    UpdateWorldMatricesUnder(chain[i], world);
    Matrix4f limbWorld;
    MatrixIdentity(limbWorld);
    GetLimbWorldMatrix(chain[i], limbs[i], limbWorld);
    MatrixMultiply(world, base, limbWorld);
  }
  return world;
}

void UpdateObjectWorldMatrices(uint32_t objectSlot, int32_t followGlue) {
  if (!Engine().gObjectRecords.IsTaken(objectSlot) || !Display().gD3DDevice) return;
  if (Engine().gObjectRecords[objectSlot].worldMatricesCurrent == 1) return;
  Engine().gObjectRecords[objectSlot].worldMatricesCurrent = 1;
  D3DMATRIX deviceWorld;
  Display().gD3DDevice->GetTransform(D3DTRANSFORMSTATE_WORLD, &deviceWorld);
  Matrix4f base = FromD3DMatrix(deviceWorld);
  const int32_t glued = Engine().gObjectRecords[objectSlot].gluedObject;
  if (followGlue != 0 && glued > 0) base = ApplyGlueTransform(objectSlot, uint32_t(glued), base);
  WriteWorldMatrices(objectSlot, base);
}

bool GetLimbWorldMatrix(uint32_t objectSlot, int32_t limb, Matrix4f& out) {
  if (!Engine().gObjectRecords.IsTaken(objectSlot) || !Engine().gObjectRecords[objectSlot].model) return false;
  return Engine().gObjectRecords[objectSlot].model->GetWorldMatrixById(limb, out);
}

void ProjectObjectToScreen(uint32_t itemSlot, int32_t& inScreen, int32_t& screenX, int32_t& screenY) {
  inScreen = 0;
  screenX = screenY = 0;
  const ObjectRecord* o = ObjectOfItem(itemSlot);
  if (!o) return;
  const ViewTestResult r = ViewTest(*o, 20.0f);
  inScreen = r.failures == 0 || o->gluedObject > 0 ? 1 : 0;
  // A place at the eye or far off projects beyond any integer.
  screenX = SaturateToInt32((r.projected.x + 1.0f) * float(Display().gDisplayWidth) / 2.0f);
  screenY = SaturateToInt32((1.0f - r.projected.y) * float(Display().gDisplayHeight) / 2.0f);
}

// --- The frame --------------------------------------------------------------------------------------------

void RenderSceneIfReady() {
  if (Scene().g3DDrawingEnabled == 1 && Display().gD3DDevice && Display().gRenderEnabled == 1) RenderScene();
}

void RenderScene() {
  Scene().gPolygonCounter = 0;

  Records().gRenderItems.ForEachUsed([](uint32_t item) {
    ObjectRecord* o = ObjectOfItem(item);
    if (!o) return;
    if (Records().gRenderItems[item].visible == 1) {
      const ViewTestResult r = ViewTest(*o, 100.0f);
      o->draw.culled = r.failures > 0 && o->gluedObject <= 0 ? 1 : 0;
      o->draw.viewDepth = double(r.viewZ) + double(r.radius);
    }
    if (o->draw.viewDepth < 0.0) o->draw.viewDepth = 0.0;
  });

  FrameDrawList& list = TheDrawList();
  D3DMATRIX deviceWorld = ToD3DMatrix(Scene().gWorldBaseMatrix);
  if (Display().gD3DDevice) Display().gD3DDevice->GetTransform(D3DTRANSFORMSTATE_WORLD, &deviceWorld);
  BuildDrawList(list, FromD3DMatrix(deviceWorld));

  bool begun = Scene().gBackdropBeganScene == 1 || Scene().gSceneBegun == 1;
  if (!begun) begun = BeginSceneOnce();
  if (begun) {
    if (StaticWorldHoldsGeometry()) {
      ResetRenderStates();
      Scene().gPolygonCounter += RenderStaticWorld().indices;
    }

    // Opaque objects batched by texture, nearest group first; ghosted objects back to front.
    size_t at = DrawPass(list, 0, Pass::Opaque);
    at = DrawPass(list, at, Pass::Ghost);
    // Overlay objects over everything so far, front to back.
    if (list.overlayItems > 0) ClearDepthBuffer();
    at = DrawPass(list, at, Pass::Overlay);

    // Camera-locked objects last, in camera space, farthest first.
    if (list.lockedItems > 0) {
      D3DMATRIX savedView;
      D3DVIEWPORT7 savedViewport{};
      SetProjection(1.0f, 3000.0f, kStandardFov);
      Display().gD3DDevice->GetTransform(D3DTRANSFORMSTATE_VIEW, &savedView);
      const D3DMATRIX identity = ToD3DMatrix(Scene().gIdentityView);
      Display().gD3DDevice->SetTransform(D3DTRANSFORMSTATE_VIEW, &identity);
      Display().gD3DDevice->GetViewport(&savedViewport);
      D3DVIEWPORT7 flat = savedViewport;
      flat.dvMinZ = flat.dvMaxZ = 0.0f;
      Display().gD3DDevice->SetViewport(&flat);
      DrawPass(list, at, Pass::CameraLocked);
      Display().gD3DDevice->SetTransform(D3DTRANSFORMSTATE_VIEW, &savedView);
      SetProjection(Display().gCameraNear, Display().gCameraFar, Display().gCameraFov);
      Display().gD3DDevice->SetViewport(&savedViewport);
    }
    Display().gD3DDevice->SetTransform(D3DTRANSFORMSTATE_WORLD, &deviceWorld);

    if (Scene().gSceneBegun == 1) {
      Scene().gSceneBegun = 0;
      // A device that could not finish the scene faulted while filling it.
      if (Failed(Display().gD3DDevice->EndScene())) {
        EngineErrorLog("Failed to draw the scene");
        RaiseRuntimeError(kErrSevereException);
      }
    }
  }
  Scene().gPreviousCameraAngles = Scene().gCameraAngles;
}

}  // namespace vx
