// Keyframe animation (animation.h): the animated-objects list, the end-of-frame update, key
// interpolation, blends and the recorded keys.
#include "engine3d/animation.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/runtime_hooks.h"
#include "common/value_slot.h"
#include "engine3d/animation_list.h"
#include "engine3d/object_records.h"
#include "models/model_maths.h"
#include "models/scene_model.h"

namespace vx {

namespace {

ObjectRecord& Object(uint32_t slot) { return Engine().gObjectRecords[slot]; }

int32_t KeyFrame(float time) { return SaturateToInt32(time); }

Quaternion QuaternionOf(const RotationKey& k) { return Quaternion{k.s, k.x, k.y, k.z}; }
Vector3f VectorOf(const VectorKey& k) { return Vector3f(k.x, k.y, k.z); }

// The pair of keys around a frame: the first i with time(i) <= F < time(i + 1), truncated times;
// without one, the last key twice.
template <class Key>
void KeysAround(int32_t count, const Key* keys, int32_t frame, int32_t& first, int32_t& second) {
  for (int32_t i = 0; i + 1 < count; ++i) {
    if (KeyFrame(keys[i].time) <= frame && frame < KeyFrame(keys[i + 1].time)) {
      first = i;
      second = i + 1;
      return;
    }
  }
  first = second = count - 1;
}

// Blend arrays: rotations (four floats) from and to, scales from and to, positions from and to.
enum BlendArray { kRotationFrom, kRotationTo, kScaleFrom, kScaleTo, kPositionFrom, kPositionTo };

bool HasBlendArrays(const ObjectRecord& o, int32_t track) {
  if (track >= o.blendTrackCount) return false;
  for (void* block : o.blendArrays)
    if (!block) return false;
  return true;
}

Quaternion* BlendRotations(ObjectRecord& o, BlendArray which) { return static_cast<Quaternion*>(o.blendArrays[which]); }
Vector3f* BlendVectors(ObjectRecord& o, BlendArray which) { return static_cast<Vector3f*>(o.blendArrays[which]); }

// The pose buffer of the object, one matrix per frame id, made larger only when the model grew.
Matrix4f* PoseBuffer(ObjectRecord& o, int32_t frames) {
  if (o.limbMatrices && o.limbMatrixCount >= frames) return o.limbMatrices;
  auto* grown = static_cast<Matrix4f*>(std::malloc(sizeof(Matrix4f) * size_t(frames)));
  if (!grown) return nullptr;
  std::free(o.limbMatrices);
  o.limbMatrices = grown;
  o.limbMatrixCount = frames;
  return grown;
}

// Copies every frame's matrix into the buffer at its id, so that frames without a track keep theirs.
void CopyFrameMatrices(const FrameNode& root, Matrix4f* buffer, int32_t frames) {
  static std::vector<const SceneNode*> stack;  // kept: no allocation per object per frame
  stack.clear();
  stack.push_back(&root);
  while (!stack.empty()) {
    const SceneNode* node = stack.back();
    stack.pop_back();
    if (node->kind() == SceneNode::Kind::Frame) {
      const auto* frame = static_cast<const FrameNode*>(node);
      if (frame->id() >= 0 && frame->id() < frames) buffer[frame->id()] = frame->matrix();
    }
    for (const SceneNode* c = node->firstChild(); c; c = c->nextSibling()) stack.push_back(c);
  }
}

// S x R x T of a scale, a rotation matrix and a position.
Matrix4f PoseMatrix(const Vector3f& scale, const Matrix4f& rotation, const Vector3f& position) {
  Matrix4f m = rotation;
  const float s[3] = {scale.x, scale.y, scale.z};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) m.At(r, c) *= s[r];
  m.At(3, 0) = position.x;
  m.At(3, 1) = position.y;
  m.At(3, 2) = position.z;
  return m;
}

// Where a blend stands: the pose it starts from and goes to are kept in `from` and `to` (null
// while no blend runs), taken at its first step.
struct BlendStep {
  bool first;
  float t;
  float target;
};

// One kind of key at the frame: none, the single key as it stands, or the keys around the frame,
// blended towards the target while a blend runs (only kinds with several keys blend).
template <class Key, class Value>
Value KeyedValue(const std::vector<Key>& keys, Value none, Value (*single)(const Key&),
                 Value (*at)(int32_t, const Key*, float), Value (*mix)(const Value&, const Value&, float), float frame,
                 Value* from, Value* to, const BlendStep& step) {
  if (keys.empty()) return none;
  if (keys.size() == 1) return single(keys[0]);
  const int32_t count = int32_t(std::min<size_t>(keys.size(), INT32_MAX));
  const Value value = at(count, keys.data(), frame);
  if (!from || !to) return value;
  if (step.first) {
    *from = value;
    *to = at(count, keys.data(), step.target);
  }
  return mix(*from, *to, step.t);
}

// One track's pose at the object's frame, blended towards the blend target while a blend runs.
Matrix4f TrackPose(ObjectRecord& o, const AnimationTrack& track, int32_t index, bool blending) {
  const BlendStep step{o.blendProgress == 0.0f, o.blendProgress + o.blendFactor, o.blendTargetFrame};
  auto rotations = [&](BlendArray which) { return blending ? &BlendRotations(o, which)[index] : nullptr; };
  auto vectors = [&](BlendArray which) { return blending ? &BlendVectors(o, which)[index] : nullptr; };
  const Quaternion q =
      KeyedValue(track.rotationKeys, Quaternion{1, 0, 0, 0}, QuaternionOf, SlerpRotationKey, QuaternionSlerp,
                 o.currentFrame, rotations(kRotationFrom), rotations(kRotationTo), step);
  const Vector3f scale = KeyedValue(track.scaleKeys, Vector3f(1, 1, 1), VectorOf, InterpolateVectorKeys, LerpVector,
                                    o.currentFrame, vectors(kScaleFrom), vectors(kScaleTo), step);
  const Vector3f position = KeyedValue(track.positionKeys, Vector3f(0, 0, 0), VectorOf, InterpolateVectorKeys,
                                       LerpVector, o.currentFrame, vectors(kPositionFrom), vectors(kPositionTo), step);
  return PoseMatrix(scale, MatrixFromQuaternion(q), position);
}

// The limb's current pose as keys: its frame's rotation (as a key stores it) and its position.
void CurrentPose(uint32_t objectSlot, int32_t limb, float rotation[4], Vector3f& position) {
  Matrix4f m = models::Identity();
  if (const SceneModel* model = Object(objectSlot).model) model->GetMatrixById(limb, m);
  models::RotationKeyFromMatrix(m, rotation);
  position = Vector3f(m.At(3, 0), m.At(3, 1), m.At(3, 2));
}

// Overwrites the key of the frame's time, or inserts one in time order for a frame from 1 on.
template <class Key>
void StoreKey(std::vector<Key>& keys, int32_t frame, const Key& key) {
  for (Key& k : keys) {
    if (KeyFrame(k.time) == frame) {
      k = key;
      return;
    }
  }
  if (frame < 1) return;
  auto at = std::find_if(keys.begin(), keys.end(), [frame](const Key& k) { return KeyFrame(k.time) > frame; });
  keys.insert(at, key);
}

template <class Key>
void RemoveKey(std::vector<Key>& keys, int32_t frame) {
  if (keys.size() < 2) return;
  auto at = std::find_if(keys.begin(), keys.end(), [frame](const Key& k) { return KeyFrame(k.time) == frame; });
  if (at != keys.end()) keys.erase(at);
}

}  // namespace

// --- The animated-objects list -------------------------------------------------------------------------

void AddToAnimatedList(uint32_t objectSlot) {
  if (!Engine().gObjectRecords.IsTaken(objectSlot)) return;
  auto* node = new AnimationListNode{nullptr, nullptr, objectSlot, nullptr};
  if (const SceneModel* model = Object(objectSlot).model) node->animationSet = model->GetAnimationSet();
  if (!Engine().gAnimatedObjectsHead) {
    Engine().gAnimatedObjectsHead = node;
  } else {
    AnimationListNode* tail = Engine().gAnimatedObjectsHead;
    while (tail->next) tail = tail->next;
    tail->next = node;
    node->previous = tail;
  }
  Object(objectSlot).animationNode = node;
}

void StopObjectAnimation(uint32_t objectSlot) {
  if (!Engine().gObjectRecords.IsTaken(objectSlot)) return;
  ObjectRecord& o = Object(objectSlot);
  o.playing = 0;
  o.looping = 0;
  // Whether or not it plays: a node left behind would go on posing from a set that may be deleted.
  if (AnimationListNode* node = o.animationNode) {
    o.animationNode = nullptr;
    if (AnimatedListHolds(node) && node->objectSlot == objectSlot) RemoveFromAnimatedList(node);
  }
}

// --- The end of the frame ----------------------------------------------------------------------------------

void AdvanceAnimations() {
  for (AnimationListNode* node = Engine().gAnimatedObjectsHead; node;) {
    AnimationListNode* next = node->next;
    const uint32_t slot = node->objectSlot;
    if (Engine().gObjectRecords.IsTaken(slot) && Object(slot).animationNode == node && !Object(slot).inStaticWorld) {
      ObjectRecord& o = Object(slot);
      // The set is the model's as it is now: clearing or replacing it never leaves the node a stale one.
      node->animationSet = o.model ? o.model->GetAnimationSet() : nullptr;
      if (o.playing) o.currentFrame += o.speed;
      if (!o.looping) {
        if (o.currentFrame > o.endFrame) {
          o.playing = 0;
          o.currentFrame = o.endFrame;
        } else if (o.speed < 0.0f && o.currentFrame < o.startFrame) {
          o.playing = 0;
          o.currentFrame = o.startFrame;
        }
      } else if (o.speed >= 0.0f) {
        if (o.currentFrame > o.endFrame) o.currentFrame = o.startFrame;
      } else if (o.currentFrame < o.startFrame) {
        o.currentFrame = o.endFrame;
      }
      if (node->animationSet) UpdateObjectAnimation(slot, node->animationSet);
    }
    node = next;
  }
}

void UpdateObjectAnimation(uint32_t objectSlot, const AnimationSet* set) {
  if (!Engine().gObjectRecords.IsTaken(objectSlot) || !set) return;
  ObjectRecord& o = Object(objectSlot);
  SceneModel* model = o.model;
  if (!model || !model->root) return;
  const int32_t frames = model->frameCount;
  if (frames < 2) return;
  Matrix4f* poses = PoseBuffer(o, frames);
  if (!poses) return;
  CopyFrameMatrices(*model->root, poses, frames);

  bool blending = o.blendPending != 0;
  if (blending && !HasBlendArrays(o, set->TrackCount() - 1)) {
    // No room to hold the blend's two poses: the object goes to the target at once.
    o.currentFrame = o.blendTargetFrame;
    o.blendPending = 0;
    o.blendProgress = 0.0f;
    blending = false;
  }
  int32_t index = 0;
  for (const AnimationTrack* track = set->firstTrack; track; track = track->next, ++index) {
    const int32_t frame = track->GetFrameId();
    const Matrix4f pose = TrackPose(o, *track, index, blending);
    if (frame >= 1 && frame < frames) poses[frame] = pose;
  }
  model->SetMatricesFromArray(poses + 1, frames - 1);
  Engine().gSceneChanged = 1;

  if (blending) {
    if (o.blendProgress == 0.0f) o.currentFrame = o.blendTargetFrame;
    o.blendProgress += o.blendFactor;
    if (o.blendProgress + o.blendFactor >= 1.0f) {
      o.blendProgress = 0.0f;
      o.blendPending = 0;
    }
  }
}

// --- Interpolation -------------------------------------------------------------------------------------------

Quaternion SlerpRotationKey(int32_t count, const RotationKey* keys, float frame) {
  if (count < 1) return Quaternion{1, 0, 0, 0};
  int32_t a = 0, b = 0;
  KeysAround(count, keys, SaturateToInt32(frame), a, b);
  const float t0 = float(KeyFrame(keys[a].time)), t1 = float(KeyFrame(keys[b].time));
  const float fraction = t1 != t0 ? (frame - t0) / (t1 - t0) : 1.0f;
  return QuaternionSlerp(QuaternionOf(keys[a]), QuaternionOf(keys[b]), fraction);
}

Vector3f InterpolateVectorKeys(int32_t count, const VectorKey* keys, float frame) {
  if (count < 1) return Vector3f(0, 0, 0);
  const int32_t f = SaturateToInt32(frame);
  if (f < KeyFrame(keys[0].time)) return VectorOf(keys[0]);
  int32_t a = 0, b = 0;
  KeysAround(count, keys, f, a, b);
  const float t0 = float(KeyFrame(keys[a].time)), t1 = float(KeyFrame(keys[b].time));
  const float percent = t1 != t0 ? 100.0f * (frame - t0) / (t1 - t0) : 100.0f;
  return LerpVector(VectorOf(keys[a]), VectorOf(keys[b]), 0.01f * percent);
}

Vector3f LerpVector(const Vector3f& a, const Vector3f& b, float t) {
  return Vector3f(a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t);
}

Quaternion QuaternionSlerp(const Quaternion& a, const Quaternion& b, float t) {
  double dot = double(a.s) * b.s + double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z;
  double sign = 1.0;
  if (dot < 0.0) {
    sign = -1.0;
    dot = -dot;
  }
  double wa = 1.0 - t, wb = t;
  if (dot < 0.9995) {
    const double angle = std::acos(std::min(dot, 1.0));
    const double sine = std::sin(angle);
    wa = std::sin((1.0 - t) * angle) / sine;
    wb = std::sin(t * angle) / sine;
  }
  wb *= sign;
  return Quaternion{float(wa * a.s + wb * b.s), float(wa * a.x + wb * b.x), float(wa * a.y + wb * b.y),
                    float(wa * a.z + wb * b.z)};
}

Matrix4f MatrixFromQuaternion(const Quaternion& q) {
  Matrix4f m = models::Identity();
  const double length = std::sqrt(double(q.s) * q.s + double(q.x) * q.x + double(q.y) * q.y + double(q.z) * q.z);
  if (!(length > 0.0) || !std::isfinite(length)) return m;
  const double w = q.s / length, x = q.x / length, y = q.y / length, z = q.z / length;
  // The inverse of the rotation that the quaternion turns a row vector by: keys store it so.
  m.At(0, 0) = float(1 - 2 * (y * y + z * z));
  m.At(0, 1) = float(2 * (x * y - w * z));
  m.At(0, 2) = float(2 * (x * z + w * y));
  m.At(1, 0) = float(2 * (x * y + w * z));
  m.At(1, 1) = float(1 - 2 * (x * x + z * z));
  m.At(1, 2) = float(2 * (y * z - w * x));
  m.At(2, 0) = float(2 * (x * z - w * y));
  m.At(2, 1) = float(2 * (y * z + w * x));
  m.At(2, 2) = float(1 - 2 * (x * x + y * y));
  return m;
}

// --- Blends ----------------------------------------------------------------------------------------------------

bool EnsureBlendArrays(uint32_t objectSlot, int32_t tracks) {
  if (!Engine().gObjectRecords.IsTaken(objectSlot)) return false;
  ObjectRecord& o = Object(objectSlot);
  const int32_t wanted = std::max(tracks, 1);
  if (HasBlendArrays(o, wanted - 1)) return true;
  for (void*& block : o.blendArrays) {
    std::free(block);
    block = nullptr;
  }
  o.blendTrackCount = 0;
  for (int i = 0; i < 6; ++i) {
    o.blendArrays[i] = std::calloc(size_t(wanted), i < kScaleFrom ? sizeof(Quaternion) : sizeof(Vector3f));
    if (!o.blendArrays[i]) {
      for (void*& block : o.blendArrays) {
        std::free(block);
        block = nullptr;
      }
      return false;
    }
  }
  o.blendTrackCount = wanted;
  return true;
}

// --- Keys -----------------------------------------------------------------------------------------------------------

int32_t LoadAnimationFile(uint32_t objectSlot, const std::string& fileName, int32_t startFrame) {
  if (!Engine().gObjectRecords.IsTaken(objectSlot) || !Object(objectSlot).model) return 0;
  std::string path = fileName;
  ResolveVirtualFile(path, "dat");
  const int32_t frames = SaturateToInt32(Object(objectSlot).frameCount);
  return ReadXAnimationIntoModel(*Object(objectSlot).model, path, frames, float(startFrame)) >= 0 ? 1 : 0;
}

void RecountFrames(const AnimationSet* set, uint32_t objectSlot) {
  if (!Engine().gObjectRecords.IsTaken(objectSlot)) return;
  int32_t last = 0;
  for (const AnimationTrack* t = set ? set->firstTrack : nullptr; t; t = t->next) {
    if (!t->rotationKeys.empty()) last = std::max(last, KeyFrame(t->rotationKeys.back().time));
    if (!t->scaleKeys.empty()) last = std::max(last, KeyFrame(t->scaleKeys.back().time));
    if (!t->positionKeys.empty()) last = std::max(last, KeyFrame(t->positionKeys.back().time));
  }
  Object(objectSlot).frameCount = float(last);
  Object(objectSlot).endFrame = float(last);
}

AnimationSet* CreateAnimationSet(uint32_t objectSlot) {
  if (!Engine().gObjectRecords.IsTaken(objectSlot) || !Object(objectSlot).model) return nullptr;
  auto* set = new AnimationSet();
  for (int32_t limb = 1; limb < Object(objectSlot).limbCapacity; ++limb) {
    if (Object(objectSlot).limbs[limb].exists != 1) continue;
    auto* track = new AnimationTrack();
    std::string name;
    Object(objectSlot).model->GetFrameName(limb, name);
    track->SetName(name);
    track->SetFrameId(limb);
    set->AddTrack(track);
  }
  ResetTracksToCurrentPose(*set, objectSlot);
  SceneModel* model = Object(objectSlot).model;
  delete model->GetAnimationSet();
  model->SetAnimationSet(set);
  return set;
}

void ResetTracksToCurrentPose(AnimationSet& set, uint32_t objectSlot) {
  for (AnimationTrack* t = set.firstTrack; t; t = t->next) {
    float q[4];
    Vector3f p;
    CurrentPose(objectSlot, t->GetFrameId(), q, p);
    t->rotationKeys.assign(1, RotationKey{0.0f, q[0], q[1], q[2], q[3]});
    t->positionKeys.assign(1, VectorKey{0.0f, p.x, p.y, p.z});
    t->scaleKeys.clear();
  }
}

int32_t SetKeyframe(AnimationSet& set, uint32_t objectSlot, int32_t frame) {
  for (AnimationTrack* t = set.firstTrack; t; t = t->next) {
    float q[4];
    Vector3f p;
    CurrentPose(objectSlot, t->GetFrameId(), q, p);
    StoreKey(t->rotationKeys, frame, RotationKey{float(frame), q[0], q[1], q[2], q[3]});
    StoreKey(t->positionKeys, frame, VectorKey{float(frame), p.x, p.y, p.z});
  }
  return std::max(SaturateToInt32(Object(objectSlot).frameCount), frame);
}

void DeleteKeyframe(AnimationSet& set, int32_t frame) {
  if (frame == 0) return;
  for (AnimationTrack* t = set.firstTrack; t; t = t->next) {
    RemoveKey(t->rotationKeys, frame);
    RemoveKey(t->positionKeys, frame);
  }
}

}  // namespace vx
