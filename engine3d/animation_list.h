// The animated-objects list: one node per object whose keyframe animation the end of the frame
// advances. The play commands add nodes; stopping an animation or deleting its object removes them.
#pragma once
#include <cstdint>

#include "engine3d/engine_state.h"

namespace vx {

class AnimationSet;

struct AnimationListNode {
  AnimationListNode* next;
  AnimationListNode* previous;
  uint32_t objectSlot;
  AnimationSet* animationSet;
};

// True when the node is on the list (compared by address, so a deleted node is never read).
bool AnimatedListHolds(const AnimationListNode* node);
// Unlinks the node from the list and deletes it; the pointer is cleared. When the node is the head,
// the head moves to its next node, else to its previous one, else to none.
void RemoveFromAnimatedList(AnimationListNode*& node);

}  // namespace vx
