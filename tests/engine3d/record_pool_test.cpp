// Taking and freeing records: growth by doubling at each kind's threshold, links and slots that
// survive growth, zero-filled records, refused double frees, and runtime error 101 when a pool or a
// limb array cannot grow.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>
#include <type_traits>
#include <vector>

#include "tests/engine3d/engine_fixture.h"

namespace vx {
namespace {

using test::PoolIsConsistent;
using test::UsedOrder;
using Slots = std::vector<int32_t>;

class RecordPoolTest : public test::EngineRecordsTest {};

// A pool made afresh, without the slots the run set-up reserves.
template <class Record>
void MakeFresh(RecordPool<Record>& pool) {
  if constexpr (std::is_same_v<Record, ObjectRecord>) {
    for (int32_t s = 0; s < pool.capacity; ++s) ReleaseObjectContents(uint32_t(s));
  }
  pool.Destroy();
  ASSERT_TRUE(pool.Create());
}

// Takes n records from a fresh pool, which must come in slot order, and gives the capacity after each.
template <class Record>
Slots CapacitiesWhileTaking(RecordPool<Record>& pool, uint32_t (*take)(), size_t n) {
  MakeFresh(pool);
  Slots capacities;
  for (size_t i = 0; i < n; ++i) {
    EXPECT_EQ(take(), uint32_t(i)) << "take " << i + 1;
    capacities.push_back(pool.capacity);
  }
  return capacities;
}

TEST_F(RecordPoolTest, EachKindDoublesWhenItsFreeRecordsFallBelowItsThreshold) {
  EXPECT_EQ(CapacitiesWhileTaking(gRenderItems, AllocRenderItem, 14),
            (Slots{4, 8, 8, 8, 8, 16, 16, 16, 16, 16, 16, 16, 16, 32}));
  EXPECT_EQ(CapacitiesWhileTaking(gObjectRecords, AllocObjectRecord, 6), (Slots{4, 8, 8, 8, 8, 16}));
  EXPECT_EQ(CapacitiesWhileTaking(gMeshRecords, AllocMeshRecord, 6), (Slots{4, 8, 8, 8, 8, 16}));
  EXPECT_EQ(CapacitiesWhileTaking(gTextureRecords, AllocTextureRecord, 6), (Slots{4, 8, 8, 8, 8, 16}));
  EXPECT_EQ(CapacitiesWhileTaking(gLightRecords, AllocLightRecord, 6), (Slots{8, 8, 8, 8, 8, 16}));
  EXPECT_EQ(CapacitiesWhileTaking(gImageRecords, AllocImageRecord, 22),
            (Slots{16, 16, 16, 16, 16, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 64}));
  EXPECT_TRUE(PoolIsConsistent(gRenderItems));
  EXPECT_TRUE(PoolIsConsistent(gImageRecords));
}

TEST_F(RecordPoolTest, RandomTakesAndFreesKeepListsSlotsAndContentsAcrossGrowth) {
  // A model of the used list in order; every record carries a mark that must survive every move
  // of the array.
  std::mt19937 random(20240611u);
  std::vector<uint32_t> model, objects;
  int32_t mark = 1;
  const RenderItem* firstArray = gRenderItems.records;
  for (int step = 0; step < 3000; ++step) {
    if (model.empty() || random() % 100 < 60) {
      const bool reuses = gRenderItems.usedCount <= gRenderItems.capacity - 4;
      const int32_t freeHead = gRenderItems.freeHead;
      const uint32_t slot = AllocRenderItem();
      ASSERT_NE(slot, kNoRecordSlot);
      if (reuses) {
        EXPECT_EQ(slot, uint32_t(freeHead)) << "the free list is last in, first out";
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
    ASSERT_EQ(UsedOrder(gRenderItems), Slots(model.begin(), model.end())) << "step " << step;
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

TEST_F(RecordPoolTest, FreesRefuseSlotsNotInUseAndTheLastFreeEmptiesTheList) {
  MakeFresh(gLightRecords);
  const uint32_t only = AllocLightRecord();
  EXPECT_EQ(FreeLightRecord(only), 1);
  EXPECT_EQ(FreeLightRecord(only), 0) << "no used record";
  EXPECT_EQ(UsedOrder(gLightRecords), Slots{});
  EXPECT_TRUE(PoolIsConsistent(gLightRecords));
  EXPECT_EQ(AllocLightRecord(), only);
  EXPECT_EQ(UsedOrder(gLightRecords), Slots{int32_t(only)});
  EXPECT_TRUE(PoolIsConsistent(gLightRecords));

  const uint32_t a = AllocRenderItem(), b = AllocRenderItem(), c = AllocRenderItem();
  EXPECT_EQ(FreeRenderItem(b), 1);
  for (uint32_t bad : {b, 9999u, kNoRecordSlot}) EXPECT_EQ(FreeRenderItem(bad), 0) << bad;
  EXPECT_EQ(gRenderItems.usedCount, 2);
  EXPECT_TRUE(PoolIsConsistent(gRenderItems));
  // Had b been pushed twice, these two takes would both return it.
  const uint32_t d = AllocRenderItem(), e = AllocRenderItem();
  EXPECT_NE(d, e);
  EXPECT_EQ(UsedOrder(gRenderItems), (Slots{int32_t(a), int32_t(c), int32_t(d), int32_t(e)}));
}

TEST_F(RecordPoolTest, RecordsAreZeroFilledWhenTakenAndPreparedPerKind) {
  // Dirty a record of each kind, free it, and take the same slot again.
  const uint32_t item = AllocRenderItem();
  gRenderItems[item].visible = gRenderItems[item].inUse = 7;
  gRenderItems[item].position = Vector3f(1, 2, 3);
  FreeRenderItem(item);
  ASSERT_EQ(AllocRenderItem(), item);
  const RenderItem& it = gRenderItems[item];
  EXPECT_EQ(std::tuple(it.visible, it.position.x, it.inUse, it.hotSpotX), std::tuple(0, 0.0f, 0, 0));
  EXPECT_EQ(std::tuple(it.ownedImages[0], it.ownedImages[1], it.scaleX, it.scaleY), std::tuple(-1, -1, 1.0f, 1.0f));

  const uint32_t object = AllocObjectRecord(), mesh = AllocMeshRecord(), texture = AllocTextureRecord();
  gObjectRecords[object].limbs[5].exists = 1;
  gObjectRecords[object].speed = 0.2f;
  gMeshRecords[mesh].vertexCount = 12;
  gTextureRecords[texture].texture.sourceId = 4;
  gTextureRecords[texture].texture.textureWidth = 64;
  FreeObjectRecord(object);
  FreeMeshRecord(mesh);
  FreeTextureRecord(texture);
  EXPECT_EQ(gMeshRecords.records[mesh].inUse, 0);
  ASSERT_EQ(AllocObjectRecord(), object);
  ASSERT_EQ(AllocMeshRecord(), mesh);
  ASSERT_EQ(AllocTextureRecord(), texture);
  EXPECT_EQ(gObjectRecords[object].speed, 0.0f);
  ASSERT_EQ(gObjectRecords[object].limbCapacity, 32);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(gObjectRecords[object].limbs[i].exists, 0);
  EXPECT_EQ(std::tuple(gMeshRecords[mesh].inUse, gMeshRecords[mesh].vertexCount), std::tuple(1, 0));
  const TextureRecord& t = gTextureRecords[texture];
  EXPECT_EQ(std::tuple(t.texture.sourceId, t.texture.textureWidth, t.nameEntry), std::tuple(0, 0u, nullptr));

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
  const auto state = [] {
    const auto& p = gTextureRecords;
    return std::tuple(p.capacity, p.usedCount, p.freeHead, p.usedTail, static_cast<const void*>(p.records));
  };
  const auto before = state();
  const int32_t capacity = gTextureRecords.capacity, freeHead = gTextureRecords.freeHead;
  gRecordPoolByteLimit = uint64_t(capacity) * sizeof(TextureRecord);

  const uint32_t failed = AllocTextureRecord();
  EXPECT_EQ(failed, kNoRecordSlot);
  EXPECT_EQ(gErrorCode, 101);
  EXPECT_TRUE(win::QuitMessagePending());
  EXPECT_EQ(state(), before);
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
  ObjectRecord& o = gObjectRecords[object];
  ObjectLimbRecord* first = o.limbs;
  first[27].meshSlot = 27;
  GrowLimbArray(object, 28);
  EXPECT_EQ(o.limbCapacity, 32) << "28 is not above 32 - 4";
  EXPECT_EQ(o.limbs, first);

  GrowLimbArray(object, 29);
  EXPECT_EQ(o.limbCapacity, 64);
  EXPECT_EQ(o.limbs[27].meshSlot, 27);
  EXPECT_EQ(o.limbs[63].exists, 0);

  GrowLimbArray(object, 200);
  EXPECT_EQ(o.limbCapacity, 256) << "enough for the limb asked for";
  EXPECT_EQ(o.limbs[27].meshSlot, 27);

  gRecordPoolByteLimit = 256 * sizeof(ObjectLimbRecord);
  GrowLimbArray(object, 300);
  EXPECT_EQ(gErrorCode, 101);
  EXPECT_EQ(o.limbCapacity, 256);
  EXPECT_EQ(o.limbs[27].meshSlot, 27);
  o.limbs[27].meshSlot = 0;
}

}  // namespace
}  // namespace vx
