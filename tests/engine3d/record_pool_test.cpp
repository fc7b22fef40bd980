// Taking and freeing records: growth by doubling at each kind's threshold, links and slots that
// survive growth, zero-filled records, refused double frees, and runtime error 101 when a pool or a
// limb array cannot grow.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <type_traits>
#include <vector>

#include "engine3d/records.h"
#include "platform/win/messages.h"
#include "runtime/interpreter.h"
#include "tests/engine3d/engine_fixture.h"

namespace vx {
namespace {

using test::EngineRecordsTest;
using test::PoolIsConsistent;
using test::UsedOrder;

class RecordPoolTest : public EngineRecordsTest {};

// A pool made afresh, without the slots the run set-up reserves.
template <class Record>
void MakeFresh(RecordPool<Record>& pool) {
  if constexpr (std::is_same_v<Record, ObjectRecord>) {
    for (int32_t s = 0; s < pool.capacity; ++s) ReleaseObjectContents(uint32_t(s));
  }
  pool.Destroy();
  ASSERT_TRUE(pool.Create());
}

TEST_F(RecordPoolTest, EachKindDoublesWhenItsFreeRecordsFallBelowItsThreshold) {
  struct Case {
    const char* kind;
    std::function<void()> makeFresh;
    std::function<uint32_t()> take;
    std::function<int32_t()> capacity;
    std::vector<int32_t> capacityAfterTake;  // after take 1, 2, ...
  };
  const std::vector<Case> cases = {
      {"render items", [] { MakeFresh(gRenderItems); }, AllocRenderItem, [] { return gRenderItems.capacity; },
       {4, 8, 8, 8, 8, 16, 16, 16, 16, 16, 16, 16, 16, 32}},
      {"objects", [] { MakeFresh(gObjectRecords); }, AllocObjectRecord, [] { return gObjectRecords.capacity; },
       {4, 8, 8, 8, 8, 16}},
      {"meshes", [] { MakeFresh(gMeshRecords); }, AllocMeshRecord, [] { return gMeshRecords.capacity; },
       {4, 8, 8, 8, 8, 16}},
      {"textures", [] { MakeFresh(gTextureRecords); }, AllocTextureRecord, [] { return gTextureRecords.capacity; },
       {4, 8, 8, 8, 8, 16}},
      {"lights", [] { MakeFresh(gLightRecords); }, AllocLightRecord, [] { return gLightRecords.capacity; },
       {8, 8, 8, 8, 8, 16}},
      {"images", [] { MakeFresh(gImageRecords); }, AllocImageRecord, [] { return gImageRecords.capacity; },
       {16, 16, 16, 16, 16, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 64}},
  };
  for (const Case& c : cases) {
    c.makeFresh();
    for (size_t i = 0; i < c.capacityAfterTake.size(); ++i) {
      EXPECT_EQ(c.take(), uint32_t(i)) << c.kind << " take " << i + 1;
      EXPECT_EQ(c.capacity(), c.capacityAfterTake[i]) << c.kind << " take " << i + 1;
    }
  }
  EXPECT_TRUE(PoolIsConsistent(gRenderItems));
  EXPECT_TRUE(PoolIsConsistent(gImageRecords));
}

TEST_F(RecordPoolTest, RandomTakesAndFreesKeepListsSlotsAndContentsAcrossGrowth) {
  // A model of the used list in order; every record carries a mark that must survive every move
  // of the array.
  std::mt19937 random(20240611u);
  std::vector<uint32_t> model;
  std::vector<uint32_t> objects;
  int32_t mark = 1;
  const RenderItem* firstArray = gRenderItems.records;
  for (int step = 0; step < 3000; ++step) {
    const bool take = model.empty() || random() % 100 < 60;
    if (take) {
      const uint32_t expectedReuse = gRenderItems.usedCount <= gRenderItems.capacity - 4
                                         ? uint32_t(gRenderItems.freeHead)
                                         : kNoRecordSlot;
      const uint32_t slot = AllocRenderItem();
      ASSERT_NE(slot, kNoRecordSlot);
      if (expectedReuse != kNoRecordSlot) {
        EXPECT_EQ(slot, expectedReuse) << "the free list is last in, first out";
      }
      ASSERT_TRUE(std::find(model.begin(), model.end(), slot) == model.end()) << "slot handed out twice";
      gRenderItems[slot].spriteNumber = mark++;
      model.push_back(slot);
      if (random() % 4 == 0) objects.push_back(AllocObjectRecord());
    } else {
      const size_t i = random() % model.size();
      ASSERT_EQ(FreeRenderItem(model[i]), 1);
      model.erase(model.begin() + std::ptrdiff_t(i));
      if (!objects.empty() && random() % 3 == 0) {
        ASSERT_EQ(FreeObjectRecord(objects.back()), 1);
        objects.pop_back();
      }
    }
    ASSERT_EQ(UsedOrder(gRenderItems), std::vector<int32_t>(model.begin(), model.end())) << "step " << step;
    ASSERT_TRUE(PoolIsConsistent(gRenderItems)) << "step " << step;
  }
  EXPECT_NE(gRenderItems.records, firstArray) << "the sequence should have moved the array";
  // Marks only grow along the used list, since items are appended at the tail.
  int32_t last = 0;
  for (uint32_t slot : model) {
    EXPECT_GT(gRenderItems[slot].spriteNumber, last);
    last = gRenderItems[slot].spriteNumber;
  }
  EXPECT_TRUE(PoolIsConsistent(gObjectRecords));
  for (uint32_t slot : objects) EXPECT_EQ(gObjectRecords[slot].limbCapacity, kInitialLimbCapacity);
}

TEST_F(RecordPoolTest, FreeingTheOnlyRecordEmptiesTheListAndTheNextTakeStartsItAgain) {
  MakeFresh(gLightRecords);
  const uint32_t only = AllocLightRecord();
  EXPECT_EQ(gLightRecords.usedHead, int32_t(only));
  EXPECT_EQ(FreeLightRecord(only), 1);
  EXPECT_EQ(gLightRecords.usedHead, kNoLink);
  EXPECT_EQ(gLightRecords.usedTail, kNoLink);
  EXPECT_EQ(gLightRecords.usedCount, 0);
  EXPECT_EQ(FreeLightRecord(only), 0) << "no used record";

  const uint32_t again = AllocLightRecord();
  EXPECT_EQ(again, only);
  EXPECT_EQ(gLightRecords.usedHead, int32_t(again));
  EXPECT_EQ(gLightRecords.usedTail, int32_t(again));
  EXPECT_EQ(gLightRecords.records[again].previous, kNoLink);
  EXPECT_EQ(gLightRecords.records[again].next, kNoLink);
  EXPECT_TRUE(PoolIsConsistent(gLightRecords));
}

TEST_F(RecordPoolTest, ASecondFreeOfTheSameSlotChangesNothing) {
  const uint32_t a = AllocRenderItem(), b = AllocRenderItem(), c = AllocRenderItem();
  EXPECT_EQ(FreeRenderItem(b), 1);
  EXPECT_EQ(FreeRenderItem(b), 0);
  EXPECT_EQ(FreeRenderItem(9999), 0);
  EXPECT_EQ(FreeRenderItem(kNoRecordSlot), 0);
  EXPECT_EQ(gRenderItems.usedCount, 2);
  EXPECT_TRUE(PoolIsConsistent(gRenderItems));
  // Had b been pushed twice, these two takes would both return it.
  const uint32_t d = AllocRenderItem(), e = AllocRenderItem();
  EXPECT_NE(d, e);
  EXPECT_EQ(UsedOrder(gRenderItems), (std::vector<int32_t>{int32_t(a), int32_t(c), int32_t(d), int32_t(e)}));
}

TEST_F(RecordPoolTest, RecordsAreZeroFilledWhenTakenAndPreparedPerKind) {
  // Dirty a record of each kind, free it, and take the same slot again.
  const uint32_t item = AllocRenderItem();
  gRenderItems[item].visible = 7;
  gRenderItems[item].position = Vector3f(1, 2, 3);
  gRenderItems[item].inUse = 1;
  FreeRenderItem(item);
  ASSERT_EQ(AllocRenderItem(), item);
  const RenderItem& it = gRenderItems[item];
  EXPECT_EQ(it.visible, 0);
  EXPECT_EQ(it.position.x, 0.0f);
  EXPECT_EQ(it.inUse, 0);
  EXPECT_EQ(it.ownedImages[0], -1);
  EXPECT_EQ(it.ownedImages[1], -1);
  EXPECT_EQ(it.hotSpotX, 0);
  EXPECT_EQ(it.scaleX, 1.0f);
  EXPECT_EQ(it.scaleY, 1.0f);

  const uint32_t object = AllocObjectRecord();
  gObjectRecords[object].limbs[5].exists = 1;
  gObjectRecords[object].speed = 0.2f;
  FreeObjectRecord(object);
  ASSERT_EQ(AllocObjectRecord(), object);
  EXPECT_EQ(gObjectRecords[object].speed, 0.0f);
  ASSERT_EQ(gObjectRecords[object].limbCapacity, 32);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(gObjectRecords[object].limbs[i].exists, 0);

  const uint32_t mesh = AllocMeshRecord();
  gMeshRecords[mesh].vertexCount = 12;
  FreeMeshRecord(mesh);
  EXPECT_EQ(gMeshRecords.records[mesh].inUse, 0);
  ASSERT_EQ(AllocMeshRecord(), mesh);
  EXPECT_EQ(gMeshRecords[mesh].inUse, 1);
  EXPECT_EQ(gMeshRecords[mesh].vertexCount, 0);

  const uint32_t texture = AllocTextureRecord();
  gTextureRecords[texture].texture.sourceId = 4;
  gTextureRecords[texture].texture.textureWidth = 64;
  FreeTextureRecord(texture);
  ASSERT_EQ(AllocTextureRecord(), texture);
  EXPECT_EQ(gTextureRecords[texture].texture.sourceId, 0);
  EXPECT_EQ(gTextureRecords[texture].texture.textureWidth, 0u);
  EXPECT_EQ(gTextureRecords[texture].nameEntry, nullptr);

  // Records that growth adds are zero apart from their links.
  const int32_t before = gLightRecords.capacity;
  while (gLightRecords.capacity == before) AllocLightRecord();
  for (int32_t s = before; s < gLightRecords.capacity; ++s) {
    LightRecord copy = gLightRecords.records[s];
    copy.next = copy.previous = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(&copy);
    EXPECT_TRUE(std::all_of(bytes, bytes + sizeof copy, [](unsigned char b) { return b == 0; })) << "slot " << s;
  }
}

TEST_F(RecordPoolTest, APoolThatCannotGrowRaises101AndKeepsItsState) {
  while (gTextureRecords.usedCount <= gTextureRecords.capacity - 4) AllocTextureRecord();
  const int32_t capacity = gTextureRecords.capacity, used = gTextureRecords.usedCount;
  const int32_t freeHead = gTextureRecords.freeHead, tail = gTextureRecords.usedTail;
  const TextureRecord* array = gTextureRecords.records;
  gRecordPoolByteLimit = uint64_t(capacity) * sizeof(TextureRecord);

  const uint32_t failed = AllocTextureRecord();
  EXPECT_EQ(failed, kNoRecordSlot);
  EXPECT_EQ(gErrorCode, 101);
  EXPECT_TRUE(win::QuitMessagePending());
  EXPECT_EQ(gTextureRecords.capacity, capacity);
  EXPECT_EQ(gTextureRecords.usedCount, used);
  EXPECT_EQ(gTextureRecords.freeHead, freeHead);
  EXPECT_EQ(gTextureRecords.usedTail, tail);
  EXPECT_EQ(gTextureRecords.records, array);
  // A caller that misses the failure writes into a spare record, not past the array.
  gTextureRecords[failed].texture.sourceId = 3;
  EXPECT_TRUE(PoolIsConsistent(gTextureRecords));

  gRecordPoolByteLimit = kDefaultRecordPoolByteLimit;
  EXPECT_EQ(AllocTextureRecord(), uint32_t(freeHead));
  EXPECT_EQ(gTextureRecords.capacity, capacity * 2);
  EXPECT_TRUE(PoolIsConsistent(gTextureRecords));
}

TEST_F(RecordPoolTest, LimbArraysDoubleNearTheirEndAndKeepTheirLimbs) {
  const uint32_t object = AllocObjectRecord();
  ObjectLimbRecord* first = gObjectRecords[object].limbs;
  first[27].meshSlot = 27;
  GrowLimbArray(object, 28);
  EXPECT_EQ(gObjectRecords[object].limbCapacity, 32) << "28 is not above 32 - 4";
  EXPECT_EQ(gObjectRecords[object].limbs, first);

  GrowLimbArray(object, 29);
  EXPECT_EQ(gObjectRecords[object].limbCapacity, 64);
  EXPECT_EQ(gObjectRecords[object].limbs[27].meshSlot, 27);
  EXPECT_EQ(gObjectRecords[object].limbs[63].exists, 0);

  GrowLimbArray(object, 200);
  EXPECT_EQ(gObjectRecords[object].limbCapacity, 256) << "enough for the limb asked for";
  EXPECT_EQ(gObjectRecords[object].limbs[27].meshSlot, 27);

  gRecordPoolByteLimit = 256 * sizeof(ObjectLimbRecord);
  GrowLimbArray(object, 300);
  EXPECT_EQ(gErrorCode, 101);
  EXPECT_EQ(gObjectRecords[object].limbCapacity, 256);
  EXPECT_EQ(gObjectRecords[object].limbs[27].meshSlot, 27);
  gObjectRecords[object].limbs[27].meshSlot = 0;
}

}  // namespace
}  // namespace vx
