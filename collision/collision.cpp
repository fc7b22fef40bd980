// The collision library over FCL: each object is an FCL collision object with its geometry and a
// local placement; the pair test uses FCL's dynamic AABB tree as the broad phase, or every pair
// when the broad phase is off, and FCL's exact tests for each candidate.
#include "collision/collision.h"

#include <algorithm>
#include <memory>
#include <utility>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wpedantic"
#include <fcl/broadphase/broadphase_dynamic_AABB_tree.h>
#include <fcl/geometry/bvh/BVH_model.h>
#include <fcl/geometry/shape/box.h>
#include <fcl/geometry/shape/cone.h>
#include <fcl/geometry/shape/cylinder.h>
#include <fcl/geometry/shape/sphere.h>
#include <fcl/narrowphase/collision.h>
#pragma GCC diagnostic pop

namespace vx {
namespace {

struct Entry {
  CollisionId id = 0;
  std::unique_ptr<fcl::CollisionObjectd> object;  // null: a free slot
  fcl::Transform3d local = fcl::Transform3d::Identity();
  uint64_t order = 0;  // when it was added
};

struct Library {
  std::vector<Entry> entries;  // handle = index + 1
  std::vector<uint32_t> freeHandles;
  uint64_t nextOrder = 0;
  bool broadPhase = true;
  CollisionResponse callback = nullptr;
  int32_t responseType = kResponseNone;
  void* clientData = nullptr;
};

Library& Lib() {
  static Library library;
  return library;
}

Entry* Find(uint32_t handle) {
  Library& lib = Lib();
  if (handle == 0 || handle > lib.entries.size()) return nullptr;
  Entry& e = lib.entries[handle - 1];
  return e.object ? &e : nullptr;
}

bool Positive(float v) { return v > 0.0f; }

std::shared_ptr<fcl::CollisionGeometryd> MakeGeometry(const CollisionShape& s) {
  switch (s.kind) {
    case CollisionShape::Kind::Box:
      if (!Positive(s.size.x) || !Positive(s.size.y) || !Positive(s.size.z)) return nullptr;
      return std::make_shared<fcl::Boxd>(s.size.x, s.size.y, s.size.z);
    case CollisionShape::Kind::Sphere:
      if (!Positive(s.size.x)) return nullptr;
      return std::make_shared<fcl::Sphered>(s.size.x);
    case CollisionShape::Kind::Cylinder:
      if (!Positive(s.size.x) || !Positive(s.size.y)) return nullptr;
      return std::make_shared<fcl::Cylinderd>(s.size.x, s.size.y);
    case CollisionShape::Kind::Cone:
      if (!Positive(s.size.x) || !Positive(s.size.y)) return nullptr;
      return std::make_shared<fcl::Coned>(s.size.x, s.size.y);
    case CollisionShape::Kind::Triangles: {
      if (s.indices.size() < 3 || s.indices.size() % 3 != 0) return nullptr;
      for (uint32_t i : s.indices)
        if (i >= s.vertices.size()) return nullptr;
      auto model = std::make_shared<fcl::BVHModel<fcl::OBBRSSd>>();
      std::vector<fcl::Vector3d> points;
      points.reserve(s.vertices.size());
      for (const Vector3f& v : s.vertices) points.emplace_back(v.x, v.y, v.z);
      std::vector<fcl::Triangle> triangles;
      triangles.reserve(s.indices.size() / 3);
      for (size_t i = 0; i < s.indices.size(); i += 3)
        triangles.emplace_back(s.indices[i], s.indices[i + 1], s.indices[i + 2]);
      if (model->beginModel() != fcl::BVH_OK || model->addSubModel(points, triangles) != fcl::BVH_OK ||
          model->endModel() != fcl::BVH_OK)
        return nullptr;
      return model;
    }
  }
  return nullptr;
}

// FCL's cylinders and cones stand along z; ours along y, tip up.
fcl::Transform3d LocalPlacement(const CollisionShape& s) {
  fcl::Transform3d t = fcl::Transform3d::Identity();
  if (s.kind == CollisionShape::Kind::Cylinder || s.kind == CollisionShape::Kind::Cone) {
    fcl::Matrix3d r;
    r << 1, 0, 0, 0, 0, 1, 0, -1, 0;
    t.linear() = r;
  }
  t.translation() = fcl::Vector3d(s.offset.x, s.offset.y, s.offset.z);
  return t;
}

bool InContact(const fcl::CollisionObjectd* a, const fcl::CollisionObjectd* b) {
  fcl::CollisionRequestd request;
  fcl::CollisionResultd result;
  return fcl::collide(a, b, request, result) > 0;
}

struct PairSearch {
  std::vector<std::pair<uint32_t, uint32_t>> pairs;  // entry indices
};

}  // namespace

void SetDefaultResponse(CollisionResponse callback, int32_t responseType, void* clientData) {
  Library& lib = Lib();
  lib.callback = callback;
  lib.responseType = responseType;
  lib.clientData = clientData;
}

void DisableBroadPhase() { Lib().broadPhase = false; }

uint32_t AddCollisionObject(CollisionId id, const CollisionShape& shape) {
  std::shared_ptr<fcl::CollisionGeometryd> geometry = MakeGeometry(shape);
  if (!geometry) return 0;
  Library& lib = Lib();
  uint32_t handle;
  if (!lib.freeHandles.empty()) {
    handle = lib.freeHandles.back();
    lib.freeHandles.pop_back();
  } else {
    lib.entries.emplace_back();
    handle = uint32_t(lib.entries.size());
  }
  Entry& e = lib.entries[handle - 1];
  e.id = id;
  e.local = LocalPlacement(shape);
  e.object = std::make_unique<fcl::CollisionObjectd>(geometry, e.local);
  e.object->setUserData(reinterpret_cast<void*>(uintptr_t(handle)));
  e.object->computeAABB();
  e.order = lib.nextOrder++;
  return handle;
}

void SetCollisionTransform(uint32_t handle, const Matrix4f& world) {
  Entry* e = Find(handle);
  if (!e) return;
  fcl::Transform3d t = fcl::Transform3d::Identity();
  fcl::Matrix3d r;
  // Row vectors (p x M) become column vectors (R p): R is the transpose of the 3x3 block.
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r(i, j) = world.At(j, i);
  t.linear() = r;
  t.translation() = fcl::Vector3d(world.At(3, 0), world.At(3, 1), world.At(3, 2));
  e->object->setTransform(t * e->local);
  e->object->computeAABB();
}

void RemoveCollisionObject(uint32_t handle) {
  Entry* e = Find(handle);
  if (!e) return;
  e->object.reset();
  e->id = 0;
  Lib().freeHandles.push_back(handle);
}

CollisionId CollisionObjectIdOf(uint32_t handle) {
  const Entry* e = Find(handle);
  return e ? e->id : 0;
}

size_t CollisionObjectCount() {
  size_t n = 0;
  for (const Entry& e : Lib().entries)
    if (e.object) ++n;
  return n;
}

void ResetCollisionLibrary() {
  Library& lib = Lib();
  lib.entries.clear();
  lib.freeHandles.clear();
  lib.nextOrder = 0;
  lib.broadPhase = true;
  lib.callback = nullptr;
  lib.responseType = kResponseNone;
  lib.clientData = nullptr;
}

int32_t TestCollisions() {
  Library& lib = Lib();
  std::vector<uint32_t> live;
  for (uint32_t i = 0; i < lib.entries.size(); ++i)
    if (lib.entries[i].object) live.push_back(i);
  PairSearch search;
  auto consider = [&](uint32_t a, uint32_t b) {
    const Entry& ea = lib.entries[a];
    const Entry& eb = lib.entries[b];
    if (ea.id == eb.id) return;
    if (InContact(ea.object.get(), eb.object.get())) search.pairs.emplace_back(a, b);
  };
  if (lib.broadPhase && live.size() > 1) {
    fcl::DynamicAABBTreeCollisionManagerd manager;
    std::vector<fcl::CollisionObjectd*> objects;
    for (uint32_t i : live) objects.push_back(lib.entries[i].object.get());
    manager.registerObjects(objects);
    manager.setup();
    struct Data {
      decltype(consider)* test;
    } data{&consider};
    manager.collide(&data, [](fcl::CollisionObjectd* o1, fcl::CollisionObjectd* o2, void* raw) {
      auto* d = static_cast<Data*>(raw);
      const auto a = uint32_t(reinterpret_cast<uintptr_t>(o1->getUserData())) - 1;
      const auto b = uint32_t(reinterpret_cast<uintptr_t>(o2->getUserData())) - 1;
      (*d->test)(a, b);
      return false;  // keep going
    });
  } else {
    for (size_t i = 0; i < live.size(); ++i)
      for (size_t j = i + 1; j < live.size(); ++j) consider(live[i], live[j]);
  }
  // Pairs in the order their objects were added, whichever phase found them.
  for (auto& p : search.pairs)
    if (lib.entries[p.first].order > lib.entries[p.second].order) std::swap(p.first, p.second);
  std::sort(search.pairs.begin(), search.pairs.end(), [&](const auto& x, const auto& y) {
    const uint64_t x1 = lib.entries[x.first].order, y1 = lib.entries[y.first].order;
    if (x1 != y1) return x1 < y1;
    return lib.entries[x.second].order < lib.entries[y.second].order;
  });
  // Ids are copied first: a response may add or remove objects.
  std::vector<std::pair<CollisionId, CollisionId>> ids;
  for (const auto& p : search.pairs) ids.emplace_back(lib.entries[p.first].id, lib.entries[p.second].id);
  if (lib.responseType == kResponseSimple && lib.callback)
    for (const auto& [a, b] : ids) lib.callback(lib.clientData, a, b);
  return int32_t(ids.size());
}

}  // namespace vx
