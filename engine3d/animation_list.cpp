// Removal from the animated-objects list, shared by stopping an animation and deleting an object.
#include "engine3d/animation_list.h"

namespace vx {

bool AnimatedListHolds(const AnimationListNode* node) {
  if (!node || !Engine().gAnimatedObjectsHead) return false;
  // The head may have moved back onto an earlier node, so look both ways from it.
  for (const AnimationListNode* n = Engine().gAnimatedObjectsHead; n; n = n->next)
    if (n == node) return true;
  for (const AnimationListNode* n = Engine().gAnimatedObjectsHead->previous; n; n = n->previous)
    if (n == node) return true;
  return false;
}

void RemoveFromAnimatedList(AnimationListNode*& node) {
  if (!node) return;
  if (Engine().gAnimatedObjectsHead == node) Engine().gAnimatedObjectsHead = node->next ? node->next : node->previous;
  if (node->previous) node->previous->next = node->next;
  if (node->next) node->next->previous = node->previous;
  delete node;
  node = nullptr;
}

}  // namespace vx
