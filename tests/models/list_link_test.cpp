// The list node and holder the texture-name list is built on: appending, unlinking one node
// with the holder's first entry moving on, and chains deleted whole, however long.
#include <gtest/gtest.h>

#include "models/list_link.h"

namespace vx {
namespace {

int gDeleted = 0;

struct Counted : ListLink {
  explicit Counted(int v) : value(v) {}
  ~Counted() override { ++gDeleted; }
  int value;
};

TEST(ListLink, NodesAppendUnlinkAndDeleteTheRestOfTheirChain) {
  gDeleted = 0;
  ListHead head;
  head.first = new Counted(1);
  for (int i = 2; i <= 4; ++i) head.first->Append(new Counted(i));
  ListLink* second = head.first->next;
  ASSERT_EQ(static_cast<Counted*>(second)->value, 2);
  EXPECT_EQ(second->previous, head.first);

  // Unlinking the first entry moves the holder to its next (it has no previous).
  ListLink* first = head.first;
  first->UnlinkAndDelete(head.first);
  EXPECT_EQ(gDeleted, 1);
  EXPECT_EQ(head.first, second);
  EXPECT_EQ(second->previous, nullptr);
  // A middle node joins its neighbours.
  ListLink* third = second->next;
  third->UnlinkAndDelete(head.first);
  EXPECT_EQ(static_cast<Counted*>(second->next)->value, 4);
  EXPECT_EQ(second->next->previous, second);
  // Deleting the holder's entry deletes the nodes after it.
  ReleaseOwnedObject(head.first);
  EXPECT_EQ(head.first, nullptr);
  EXPECT_EQ(gDeleted, 4);

  // A long chain goes without a deep recursion.
  gDeleted = 0;
  auto* start = new Counted(0);
  ListLink* last = start;
  for (int i = 1; i < 200000; ++i) {
    auto* node = new Counted(i);
    last->next = node;
    node->previous = last;
    last = node;
  }
  delete start;
  EXPECT_EQ(gDeleted, 200000);
}

}  // namespace
}  // namespace vx
