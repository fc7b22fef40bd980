// Animation sets read from .x data objects and written as text .x files. Internal to the model
// library; SceneModel and the functions of scene_model.h are the door.
#pragma once
#include <cstddef>
#include <map>
#include <memory>
#include <string>

#include "models/animation_set.h"
#include "models/scene_nodes.h"
#include "models/xfile.h"

namespace vx {

// The keys that a file brings for each frame id.
struct FrameKeys {
  std::vector<RotationKey> rotation;
  std::vector<VectorKey> scale;
  std::vector<VectorKey> position;
};

// Reads the keys of the AnimationSet objects that begin at or after `minOffset`, matching each
// animation to a frame by name, times moved on by `startFrame`. `found` tells whether the file
// has any animation set at all. False on a damaged key.
bool CollectAnimationKeys(const xfile::File& file, const FrameNode& root, float startFrame, size_t minOffset,
                          std::map<int32_t, FrameKeys>& keys, bool& found, std::string& error);

// A set of one track per frame (1, 2, ...), each holding its frame's pose at time 0.
std::unique_ptr<AnimationSet> MakePoseSet(const FrameNode& root, int32_t frameCount);

// Adds the keys to the tracks of their frames (tracks are made for frames that have none).
// With `replacePose` a kind of key that the file brings replaces the track's keys of that kind.
void MergeKeys(AnimationSet& set, const FrameNode& root, std::map<int32_t, FrameKeys>& keys, bool replacePose);

// For a model being read: its set, or none when the file has no animation.
bool ReadAnimationSets(const xfile::File& file, const FrameNode& root, int32_t frameCount,
                       std::unique_ptr<AnimationSet>& set, float startFrame, size_t minOffset, std::string& error);

}  // namespace vx
