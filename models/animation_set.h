// Keyframe animation as a model carries it: a set of tracks, one per animated frame, each with
// rotation, scale and position keys. Times are frame numbers.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vx {

// time, then the quaternion as scalar part followed by x, y, z.
struct RotationKey {
  float time, s, x, y, z;
};
static_assert(sizeof(RotationKey) == 20);

struct VectorKey {
  float time, x, y, z;
};
static_assert(sizeof(VectorKey) == 16);

class AnimationTrack {
 public:
  AnimationTrack() = default;
  ~AnimationTrack();  // deletes the tracks after it
  AnimationTrack(const AnimationTrack&) = delete;
  AnimationTrack& operator=(const AnimationTrack&) = delete;

  void SetName(std::string name) { name_ = std::move(name); }
  const std::string& GetName() const { return name_; }
  void SetFrameId(int32_t id) { frameId_ = id; }
  int32_t GetFrameId() const { return frameId_; }

  std::vector<RotationKey> rotationKeys;
  std::vector<VectorKey> scaleKeys;
  std::vector<VectorKey> positionKeys;
  AnimationTrack* next = nullptr;

 private:
  std::string name_;
  int32_t frameId_ = 0;
};

class AnimationSet {
 public:
  AnimationSet() = default;
  ~AnimationSet();  // deletes its tracks and the sets after it
  AnimationSet(const AnimationSet&) = delete;
  AnimationSet& operator=(const AnimationSet&) = delete;

  void AddTrack(AnimationTrack* track);  // at the end of the chain
  AnimationTrack* FindTrackByFrame(int32_t frameId) const;
  int32_t TrackCount() const;

  AnimationTrack* firstTrack = nullptr;
  AnimationSet* next = nullptr;
};

}  // namespace vx
