// The list node: chains are deleted in a loop, however long.
#include "models/list_link.h"

namespace vx {

ListLink::~ListLink() { DeleteFollowing(*this); }

void ListLink::Append(ListLink* node) {
  ListLink* last = this;
  while (last->next) last = last->next;
  last->next = node;
  node->previous = last;
  node->next = nullptr;
}

void ListLink::UnlinkAndDelete(ListLink*& first) {
  if (first == this) first = previous ? previous : next;
  if (previous) previous->next = next;
  if (next) next->previous = previous;
  previous = next = nullptr;
  delete this;
}

}  // namespace vx
