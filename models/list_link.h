// A plain doubly linked list of heap nodes and its holder, for lists whose entries are classes
// of their own (the texture-name list is one).
#pragma once

namespace vx {

class ListLink {
 public:
  ListLink() = default;
  virtual ~ListLink();  // deletes the nodes after it
  ListLink(const ListLink&) = delete;
  ListLink& operator=(const ListLink&) = delete;

  // Adds `node` at the end of the chain this node belongs to.
  void Append(ListLink* node);
  // Joins the neighbours and deletes this node alone. When it is the holder's first entry, the
  // first entry becomes its previous node, else its next, else none.
  void UnlinkAndDelete(ListLink*& first);

  ListLink* previous = nullptr;
  ListLink* next = nullptr;
};

struct ListHead {
  ListLink* first = nullptr;
};

// Deletes the nodes after `node` of a chain linked through `next`, in a loop: each is cut off
// before it is deleted, so no destructor recurses down a long chain.
template <class T>
void DeleteFollowing(T& node) {
  T* n = node.next;
  node.next = nullptr;
  while (n) {
    T* after = n->next;
    n->next = nullptr;
    delete n;
    n = after;
  }
}

// Deletes the object a holder owns and clears the holder's pointer.
template <class T>
void ReleaseOwnedObject(T*& owned) {
  delete owned;
  owned = nullptr;
}

}  // namespace vx
