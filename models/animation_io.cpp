// Animation sets: the records, reading keys from .x AnimationSet objects into tracks (one per
// frame, in frame order, so that the track index the keyframe code uses is the frame order),
// appending an animation file to a model, and writing a set as a text .x file.
#include "models/animation_io.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <set>

#include "models/list_link.h"
#include "models/model_maths.h"
#include "models/scene_model.h"
#include "platform/win/files.h"

namespace vx {

// ---- the records ----------------------------------------------------------------------------------

AnimationTrack::~AnimationTrack() { DeleteFollowing(*this); }

AnimationSet::~AnimationSet() {
  delete firstTrack;
  DeleteFollowing(*this);
}

void AnimationSet::AddTrack(AnimationTrack* track) {
  AnimationTrack** link = &firstTrack;
  while (*link) link = &(*link)->next;
  *link = track;
}

AnimationTrack* AnimationSet::FindTrackByFrame(int32_t frameId) const {
  for (AnimationTrack* t = firstTrack; t; t = t->next)
    if (t->GetFrameId() == frameId) return t;
  return nullptr;
}

int32_t AnimationSet::TrackCount() const {
  int32_t n = 0;
  for (const AnimationTrack* t = firstTrack; t; t = t->next) ++n;
  return n;
}

// ---- reading --------------------------------------------------------------------------------------

namespace {

using xfile::DataObject;

// Frames by name (the first of a name wins) and by id, first child first. The root is the
// object's own place, named by the model rather than the file: it has no name to animate by.
void IndexFrames(const FrameNode& root, std::map<std::string, int32_t>* byName,
                 std::map<int32_t, const FrameNode*>* byId) {
  std::vector<const SceneNode*> stack{&root};
  while (!stack.empty()) {
    const SceneNode* n = stack.back();
    stack.pop_back();
    if (n->kind() == SceneNode::Kind::Frame) {
      const auto* f = static_cast<const FrameNode*>(n);
      if (byName && f != &root) byName->emplace(f->name(), f->id());
      if (byId) byId->emplace(f->id(), f);
    }
    std::vector<const SceneNode*> children;
    for (const SceneNode* c = n->firstChild(); c; c = c->nextSibling()) children.push_back(c);
    stack.insert(stack.end(), children.rbegin(), children.rend());
  }
}

// The frame an Animation animates: a reference, or a frame written inside it.
std::string AnimatedFrameName(const DataObject& animation) {
  for (const xfile::Child& c : animation.children) {
    if (c.IsReference()) return c.referenceName;
    if (c.object && c.object->Is("Frame")) return c.object->name;
  }
  return std::string();
}

bool ReadKey(const DataObject& key, float start, FrameKeys& out, std::string& error) {
  xfile::ValueCursor c(key);
  uint32_t type = 0, count = 0;
  if (!c.Unsigned(type) || !c.Unsigned(count) || count > c.Remaining()) {
    error = "bad AnimationKey";
    return false;
  }
  for (uint32_t i = 0; i < count; ++i) {
    double time = 0.0;
    uint32_t n = 0;
    if (!c.Number(time) || !c.Unsigned(n) || n > c.Remaining()) {
      error = "bad AnimationKey";
      return false;
    }
    float v[16] = {};
    for (uint32_t k = 0; k < n; ++k) {
      float f = 0.0f;
      if (!c.Float(f)) {
        error = "bad AnimationKey";
        return false;
      }
      if (k < 16) v[k] = f;
    }
    const float t = float(time) + start;
    switch (type) {
      case 0:
        if (n < 4) break;
        out.rotation.push_back(RotationKey{t, v[0], v[1], v[2], v[3]});
        break;
      case 1:
        if (n < 3) break;
        out.scale.push_back(VectorKey{t, v[0], v[1], v[2]});
        break;
      case 2:
        if (n < 3) break;
        out.position.push_back(VectorKey{t, v[0], v[1], v[2]});
        break;
      case 3:
      case 4: {
        if (n < 16) break;
        // A matrix key is taken apart into the three kinds the keyframe code blends.
        Matrix4f m;
        std::copy(v, v + 16, m.m);
        float q[4];
        models::RotationKeyFromMatrix(m, q);
        out.rotation.push_back(RotationKey{t, q[0], q[1], q[2], q[3]});
        const Vector3f s(models::Length(Vector3f(m.At(0, 0), m.At(0, 1), m.At(0, 2))),
                         models::Length(Vector3f(m.At(1, 0), m.At(1, 1), m.At(1, 2))),
                         models::Length(Vector3f(m.At(2, 0), m.At(2, 1), m.At(2, 2))));
        out.scale.push_back(VectorKey{t, s.x, s.y, s.z});
        out.position.push_back(VectorKey{t, m.At(3, 0), m.At(3, 1), m.At(3, 2)});
        break;
      }
      default: break;  // kinds this system has no use for
    }
  }
  return true;
}

void PoseKeys(const FrameNode& frame, AnimationTrack& track) {
  const Matrix4f& m = frame.matrix();
  float q[4];
  models::RotationKeyFromMatrix(m, q);
  track.rotationKeys.assign(1, RotationKey{0.0f, q[0], q[1], q[2], q[3]});
  track.positionKeys.assign(1, VectorKey{0.0f, m.At(3, 0), m.At(3, 1), m.At(3, 2)});
  const Vector3f s(models::Length(Vector3f(m.At(0, 0), m.At(0, 1), m.At(0, 2))),
                   models::Length(Vector3f(m.At(1, 0), m.At(1, 1), m.At(1, 2))),
                   models::Length(Vector3f(m.At(2, 0), m.At(2, 1), m.At(2, 2))));
  // A frame that is not scaled needs no scale key (none means no scaling).
  track.scaleKeys.clear();
  if (std::fabs(s.x - 1) > 1e-4f || std::fabs(s.y - 1) > 1e-4f || std::fabs(s.z - 1) > 1e-4f)
    track.scaleKeys.push_back(VectorKey{0.0f, s.x, s.y, s.z});
}

// A track for the frame holding its pose.
AnimationTrack* PoseTrack(const FrameNode& frame) {
  auto* track = new AnimationTrack();
  track->SetName(frame.name());
  track->SetFrameId(frame.id());
  PoseKeys(frame, *track);
  return track;
}

template <class Key>
void SortByTime(std::vector<Key>& keys) {
  std::stable_sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) { return a.time < b.time; });
}

}  // namespace

namespace {

// A key object read into the keys of one frame.
using FrameKeyObject = std::pair<int32_t, const DataObject*>;

// The key objects of the animation sets at or after `minOffset`, each with its frame once: sets
// and animations that name the same animation or key again add nothing to read.
std::vector<FrameKeyObject> KeyObjectsToRead(const xfile::File& file, const FrameNode& root, size_t minOffset,
                                             bool& found) {
  found = false;
  std::map<std::string, int32_t> byName;
  IndexFrames(root, &byName, nullptr);
  std::vector<FrameKeyObject> order;
  std::set<FrameKeyObject> seen;
  std::set<const DataObject*> animations;
  for (const auto& object : file.objects) {
    if (!object->Is("AnimationSet") || object->sourceOffset < minOffset) continue;
    found = true;
    for (const xfile::Child& c : object->children) {
      const DataObject* animation = c.Target();
      if (!animation || !animation->Is("Animation") || !animations.insert(animation).second) continue;
      const auto frame = byName.find(AnimatedFrameName(*animation));
      if (frame == byName.end()) continue;
      for (const xfile::Child& kc : animation->children) {
        const DataObject* key = kc.Target();
        if (key && key->Is("AnimationKey") && seen.emplace(frame->second, key).second)
          order.emplace_back(frame->second, key);
      }
    }
  }
  return order;
}

// The most memory the keys of the objects take once read: a matrix key becomes one key of each kind.
uint64_t KeyBytes(const std::vector<FrameKeyObject>& objects) {
  uint64_t bytes = 0;
  for (const auto& [frame, key] : objects) {
    // A count that is not a 32-bit whole number fails when the key is read.
    const double declared = key->Number(1);
    const uint64_t count = declared >= 0.0 && declared <= 4294967295.0 ? uint64_t(declared) : 0;
    const bool matrix = key->Number(0) == 3 || key->Number(0) == 4;
    bytes += count * (matrix ? sizeof(RotationKey) + 2 * sizeof(VectorKey) : sizeof(RotationKey));
  }
  return bytes;
}

}  // namespace

bool CollectAnimationKeys(const xfile::File& file, const FrameNode& root, float startFrame, size_t minOffset,
                          std::map<int32_t, FrameKeys>& keys, bool& found, std::string& error) {
  const std::vector<FrameKeyObject> objects = KeyObjectsToRead(file, root, minOffset, found);
  if (KeyBytes(objects) > kModelMemoryBudget) {
    error = "animation keys would take more than " + std::to_string(kModelMemoryBudget >> 20) + " MB";
    return false;
  }
  for (const auto& [frame, key] : objects)
    if (!ReadKey(*key, startFrame, keys[frame], error)) return false;
  return true;
}

std::unique_ptr<AnimationSet> MakePoseSet(const FrameNode& root, int32_t frameCount) {
  std::map<int32_t, const FrameNode*> byId;
  IndexFrames(root, nullptr, &byId);
  auto set = std::make_unique<AnimationSet>();
  AnimationTrack** tail = &set->firstTrack;
  for (int32_t id = 1; id < frameCount; ++id) {
    const auto it = byId.find(id);
    if (it == byId.end()) continue;
    *tail = PoseTrack(*it->second);
    tail = &(*tail)->next;
  }
  return set;
}

void MergeKeys(AnimationSet& set, const FrameNode& root, std::map<int32_t, FrameKeys>& keys, bool replacePose) {
  std::map<int32_t, const FrameNode*> byId;
  IndexFrames(root, nullptr, &byId);
  std::map<int32_t, AnimationTrack*> tracks;
  AnimationTrack** tail = &set.firstTrack;
  for (; *tail; tail = &(*tail)->next) tracks.emplace((*tail)->GetFrameId(), *tail);
  for (auto& [id, k] : keys) {
    AnimationTrack*& track = tracks[id];
    if (!track) {
      const auto it = byId.find(id);
      if (it == byId.end()) continue;
      track = *tail = PoseTrack(*it->second);
      tail = &track->next;
    }
    auto merge = [&](auto& into, auto& from) {
      if (from.empty()) return;
      if (replacePose) into.clear();
      into.insert(into.end(), from.begin(), from.end());
      SortByTime(into);
    };
    merge(track->rotationKeys, k.rotation);
    merge(track->scaleKeys, k.scale);
    merge(track->positionKeys, k.position);
  }
}

bool ReadAnimationSets(const xfile::File& file, const FrameNode& root, int32_t frameCount,
                       std::unique_ptr<AnimationSet>& set, float startFrame, size_t minOffset, std::string& error) {
  std::map<int32_t, FrameKeys> keys;
  bool found = false;
  if (!CollectAnimationKeys(file, root, startFrame, minOffset, keys, found, error)) return false;
  set.reset();
  if (!found) return true;
  set = MakePoseSet(root, frameCount);
  MergeKeys(*set, root, keys, true);
  return true;
}

namespace {

// Reads a .x file's animation into the model: into its set (made when it has none) from the start
// frame, using only the animation sets that begin at or after `minOffset` of the decoded data.
int32_t ReadAnimationData(SceneModel& model, const std::vector<uint8_t>& bytes, float startFrame, size_t minOffset) {
  if (!model.root) return kModelFail;
  xfile::File file;
  std::string error;
  if (!xfile::ReadFile(bytes.data(), bytes.size(), file, error)) return kModelFail;
  std::map<int32_t, FrameKeys> keys;
  bool found = false;
  if (!CollectAnimationKeys(file, *model.root, startFrame, minOffset, keys, found, error)) return kModelFail;
  if (!model.animationSet) {
    if (!found) return kModelOk;
    model.animationSet = MakePoseSet(*model.root, model.frameCount).release();
    MergeKeys(*model.animationSet, *model.root, keys, startFrame == 0.0f);
    return kModelOk;
  }
  MergeKeys(*model.animationSet, *model.root, keys, false);
  return kModelOk;
}

constexpr size_t kHeaderLineSize = 17;  // "xof 0303txt 0032" and its line end

}  // namespace

int32_t ReadXAnimationIntoModel(SceneModel& model, const std::string& path, int32_t /*readerFlags*/, float startFrame) {
  if (!model.root) return kModelFail;
  const std::optional<std::vector<uint8_t>> bytes = win::ReadWholeFile(path);
  if (!bytes) return kModelFail;
  return ReadAnimationData(model, *bytes, startFrame, 0);
}

int32_t AppendXAnimationFile(SceneModel& model, const std::string& modelPath, const std::string& animationPath,
                             int32_t /*readerFlags*/, float startFrame, const std::string& tempFolder) {
  if (!model.root) return kModelFail;
  const std::optional<std::vector<uint8_t>> modelBytes = win::ReadWholeFile(modelPath);
  const std::optional<std::vector<uint8_t>> animationBytes = win::ReadWholeFile(animationPath);
  if (!modelBytes || !animationBytes || animationBytes->size() < kHeaderLineSize || modelBytes->size() < 16)
    return kModelFail;
  std::vector<uint8_t> joined = *modelBytes;
  joined.insert(joined.end(), animationBytes->begin() + kHeaderLineSize, animationBytes->end());
  std::string work = tempFolder;
  if (!work.empty() && work.back() != '/' && work.back() != '\\') work += '/';
  work += "workfile.x";
  if (!win::WriteWholeFile(work, joined.data(), joined.size())) return kModelFail;
  const std::optional<std::vector<uint8_t>> written = win::ReadWholeFile(work);
  win::DeleteFileA(work.c_str());
  if (!written) return kModelFail;
  // Offsets count from the end of the 16-byte header: the appended part starts where the model ends.
  return ReadAnimationData(model, *written, startFrame, modelBytes->size() - 16);
}

// ---- writing --------------------------------------------------------------------------------------

namespace {

// Shortest text that reads back to the same float.
void AppendNumber(std::string& out, float v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

// "time;count;v1,v2,...;" of one timed key.
void AppendKey(std::string& out, float time, std::initializer_list<float> values) {
  AppendNumber(out, time);
  out += ';' + std::to_string(values.size()) + ';';
  const char* separator = "";
  for (float v : values) {
    out += separator;
    AppendNumber(out, v);
    separator = ",";
  }
  out += ';';
}

}  // namespace

bool WriteXAnimation(const AnimationSet& set, const std::string& path) {
  std::string out = "xof 0303txt 0032\n\nAnimationSet xvx_animset_0 {\n";
  int index = 0;
  for (const AnimationTrack* t = set.firstTrack; t; t = t->next) {
    if (t->rotationKeys.empty() && t->scaleKeys.empty() && t->positionKeys.empty()) continue;
    out += " Animation xvx_anim_" + std::to_string(index++) + " {\n";
    if (!t->GetName().empty()) out += "  { " + t->GetName() + " }\n";
    auto block = [&](int type, size_t count, auto&& writeKey) {
      if (count == 0) return;
      out += "  AnimationKey {\n   " + std::to_string(type) + ";\n   " + std::to_string(count) + ";\n";
      for (size_t i = 0; i < count; ++i) {
        out += "   ";
        writeKey(i);
        out += i + 1 < count ? ";,\n" : ";;\n";
      }
      out += "  }\n";
    };
    block(0, t->rotationKeys.size(), [&](size_t i) {
      const RotationKey& k = t->rotationKeys[i];
      AppendKey(out, k.time, {k.s, k.x, k.y, k.z});
    });
    block(1, t->scaleKeys.size(), [&](size_t i) {
      const VectorKey& k = t->scaleKeys[i];
      AppendKey(out, k.time, {k.x, k.y, k.z});
    });
    block(2, t->positionKeys.size(), [&](size_t i) {
      const VectorKey& k = t->positionKeys[i];
      AppendKey(out, k.time, {k.x, k.y, k.z});
    });
    out += " }\n";
  }
  out += "}\n";
  return win::WriteWholeFile(path, out.data(), out.size());
}

}  // namespace vx
