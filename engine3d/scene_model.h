// The holder of one object's scene tree (root frame, frame count, animation set), as far as the
// record pools use it: an ObjectRecord owns at most one and deletes it when the object goes.
// The model-file code fills in the tree and its operations.
#pragma once
#include <cstdint>

namespace vx {

class FrameNode;
class AnimationSet;

class SceneModel {
 public:
  SceneModel();
  ~SceneModel();  // deletes the animation set, then the tree
  SceneModel(const SceneModel&) = delete;
  SceneModel& operator=(const SceneModel&) = delete;

  FrameNode* root;            // null: no tree
  int32_t frameCount;         // frames read; the engine's limb count
  AnimationSet* animationSet; // null: none
};

}  // namespace vx
