// The engine's records: pools that grow without losing links or contents, refused double frees,
// the out-of-memory error when a pool cannot grow; objects, meshes, textures and image surfaces each released
// exactly once (stand-ins count the releases) by whichever path frees them, at deletion or reset.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>
#include <random>
#include <tuple>
#include <vector>

#include "engine3d/animation_list.h"
#include "engine3d/object_records.h"
#include "engine3d/object_support.h"
#include "engine3d/objects.h"
#include "generated/error_numbers.h"
#include "models/scene_model.h"
#include "platform/win/heap.h"
#include "platform/win/messages.h"
#include "runtime/dispatcher_state.h"
#include "surfaces/texture_names.h"

namespace vx {
namespace {

using Slots = std::vector<int32_t>;

// Addresses that stand for surfaces and palettes, only ever compared, and the releases of each.
std::array<char, 256> gStandIns;
std::map<const void*, int> gReleases;
int gMade = 0;

win::IDirectDrawSurface7* StandIn(int i) { return reinterpret_cast<win::IDirectDrawSurface7*>(&gStandIns[size_t(i)]); }
int Releases(const void* p) { return gReleases.count(p) ? gReleases.at(p) : 0; }
bool NoneReleasedTwice() {
  return std::none_of(gReleases.begin(), gReleases.end(), [](const auto& r) { return r.second > 1; });
}

template <class Record>
Slots UsedOrder(RecordPool<Record>& pool) {
  Slots order;  // bounded, so that a broken chain fails the comparison instead of looping
  for (int32_t s = pool.usedHead; s >= 0 && s < pool.capacity && order.size() <= size_t(pool.capacity);
       s = pool.records[s].next)
    order.push_back(s);
  return order;
}

class RecordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gReleases.clear();
    gMade = 0;
    gSurfaceHooks = {[](int32_t, int32_t) { return StandIn(64 + gMade++ % 64); },
                     [](win::IDirectDrawSurface7* s) { ++gReleases[s]; },
                     [](win::IDirectDrawPalette* p) { ++gReleases[p]; }, [] {}};
    ResetEngineRecords();
  }
  void TearDown() override {
    FreeRecordPools();
    EXPECT_EQ(Engine().gAnimatedObjectsHead, nullptr);
    EXPECT_EQ(Records().gTextureNameList, nullptr);
    gSurfaceHooks = DefaultSurfaceHooks();
    gRecordPoolByteLimit = kDefaultRecordPoolByteLimit;
    Interpreter().gErrorCode = Interpreter().gYieldFlag = 0;
    win::ClearMessageQueue();
  }

  // An object with its RenderItem, as the object commands build it.
  static uint32_t MakeObject(int32_t number) {
    const uint32_t object = AllocObjectRecord(), item = AllocRenderItem(RenderItemKind::kObject);
    Engine().gObjectRecords[object].inUse = 1;
    Engine().gObjectRecords[object].itemSlot = int32_t(item);
    Engine().gObjectRecords[object].objectNumber = number;
    Records().gRenderItems[item].ownerSlot = int32_t(object);
    return Engine().gObjectSlotById[size_t(number)] = object;
  }
  static uint32_t MakeMesh() {
    const uint32_t mesh = AllocMeshRecord();
    MeshRecord& m = Engine().gMeshRecords[mesh];
    m.vertexCount = m.normalCount = 3;
    m.positions = static_cast<float*>(win::GlobalAlloc(win::GPTR, 9 * sizeof(float)));
    return mesh;
  }
  static uint32_t MakeImage() {
    const uint32_t image = AllocImageRecord();
    EXPECT_EQ(CreateImageSurface(image, 4, 4), 1);
    return image;
  }
  // The texture made from an image: one use, named "".
  static uint32_t MakeImageTexture(uint32_t image, int surface) {
    const uint32_t texture = AllocTextureRecord();
    Records().gTextureRecords[texture].texture.surface = StandIn(surface);
    Records().gTextureRecords[texture].texture.sourceId = int32_t(image);
    AddTextureName(texture, "");
    Records().gImageRecords[image].textureSlot = int32_t(texture);
    return texture;
  }
};

TEST_F(RecordsTest, RandomTakesAndFreesKeepListsSlotsAndContentsAcrossGrowth) {
  // A model of the used list in order; every record carries a mark that must survive every move.
  // Sprite items come and go with their sprite records, object items alone.
  std::mt19937 random(20240611u);
  std::vector<uint32_t> model;
  const RenderItem* firstArray = Records().gRenderItems.records;
  for (int step = 0; step < 3000; ++step) {
    if (model.empty() || random() % 100 < 60) {
      const bool sprite = random() % 3 != 0;
      const uint32_t slot = AllocRenderItem(sprite ? RenderItemKind::kSprite : RenderItemKind::kObject);
      ASSERT_TRUE(std::find(model.begin(), model.end(), slot) == model.end()) << "slot handed out twice";
      if (sprite)
        SpriteOf(slot)->spriteNumber = int32_t(slot) + 1000;
      else
        Records().gRenderItems[slot].ownerSlot = int32_t(slot) + 1000;
      model.push_back(slot);
    } else {
      const size_t i = random() % model.size();
      ASSERT_EQ(FreeRenderItem(model[i]), 1);
      model.erase(model.begin() + std::ptrdiff_t(i));
    }
    ASSERT_EQ(UsedOrder(Records().gRenderItems), Slots(model.begin(), model.end())) << "step " << step;
    // The sprite records' list keeps the order of the sprites' items.
    Slots sprites, spriteItems;
    for (uint32_t slot : model)
      if (SpriteOf(slot)) sprites.push_back(int32_t(slot));
    ForEachSprite([&](uint32_t s) { spriteItems.push_back(Records().gSpriteRecords[s].itemSlot); });
    ASSERT_EQ(spriteItems, sprites) << "step " << step;
  }
  EXPECT_NE(Records().gRenderItems.records, firstArray) << "the sequence should have moved the array";
  for (uint32_t slot : model) {
    if (const SpriteRecord* sprite = SpriteOf(slot))
      EXPECT_EQ(std::tuple(sprite->spriteNumber, sprite->itemSlot), std::tuple(int32_t(slot) + 1000, int32_t(slot)));
    else
      EXPECT_EQ(Records().gRenderItems[slot].ownerSlot, int32_t(slot) + 1000);
  }
}

TEST_F(RecordsTest, DoubleFreesAreRefusedRetakenRecordsAreCleanAndFailedGrowthRaisesOutOfMemory) {
  const RenderItemKind sprite = RenderItemKind::kSprite;
  const uint32_t a = AllocRenderItem(sprite), b = AllocRenderItem(sprite), c = AllocRenderItem(sprite);
  Records().gRenderItems[b].visible = 7;
  SpriteOf(b)->x = 5;
  EXPECT_EQ(FreeRenderItem(b), 1);
  for (uint32_t bad : {b, 9999u, kNoRecordSlot}) EXPECT_EQ(FreeRenderItem(bad), 0) << bad;
  // Had b been pushed twice, these two takes would both return it.
  const uint32_t d = AllocRenderItem(sprite), e = AllocRenderItem(sprite);
  EXPECT_EQ(UsedOrder(Records().gRenderItems), (Slots{int32_t(a), int32_t(c), int32_t(d), int32_t(e)}));
  ASSERT_EQ(d, b);
  const SpriteRecord& it = *SpriteOf(d);
  EXPECT_EQ(std::tuple(Records().gRenderItems[d].visible, it.x, it.ownedImages[0], it.scaleY),
            std::tuple(0, 0, -1, 1.0f));

  const uint32_t object = AllocObjectRecord();
  Engine().gObjectRecords[object].limbs[5].exists = 1;
  FreeObjectRecord(object);
  ASSERT_EQ(AllocObjectRecord(), object);
  ASSERT_EQ(Engine().gObjectRecords[object].limbCapacity, kInitialLimbCapacity);
  EXPECT_EQ(Engine().gObjectRecords[object].limbs[5].exists, 0);

  // Pools and limb arrays that cannot grow raise the out-of-memory error and keep their state.
  while (Records().gTextureRecords.usedCount <= Records().gTextureRecords.capacity - 4) AllocTextureRecord();
  const auto state = [] {
    const auto& p = Records().gTextureRecords;
    return std::tuple(p.capacity, p.usedCount, p.freeHead, p.usedTail, static_cast<const void*>(p.records));
  };
  const auto before = state();
  gRecordPoolByteLimit = uint64_t(Records().gTextureRecords.capacity) * sizeof(TextureRecord);
  const uint32_t failed = AllocTextureRecord();
  EXPECT_EQ(failed, kNoRecordSlot);
  EXPECT_EQ(Interpreter().gErrorCode, kErrOutOfMemory);
  EXPECT_TRUE(win::QuitMessagePending());
  EXPECT_EQ(state(), before);
  // A caller that missed the failure is stopped where it reaches for the record.
  EXPECT_DEATH(Records().gTextureRecords[failed].texture.sourceId = 3, "record slot 4294967295 outside a pool");
  gRecordPoolByteLimit = kDefaultRecordPoolByteLimit;
  EXPECT_NE(AllocTextureRecord(), kNoRecordSlot);
  // A sprite whose own record cannot be had takes no item either; an object's item still comes.
  while (Records().gSpriteRecords.usedCount <= Records().gSpriteRecords.capacity - 4) AllocRenderItem(sprite);
  const int32_t items = Records().gRenderItems.usedCount, sprites = Records().gSpriteRecords.usedCount;
  gRecordPoolByteLimit = uint64_t(Records().gSpriteRecords.capacity) * sizeof(SpriteRecord);
  EXPECT_EQ(AllocRenderItem(sprite), kNoRecordSlot);
  EXPECT_EQ(std::pair(Records().gRenderItems.usedCount, Records().gSpriteRecords.usedCount), std::pair(items, sprites));
  EXPECT_EQ(SpriteOf(AllocRenderItem(RenderItemKind::kObject)), nullptr);
  EXPECT_EQ(Records().gRenderItems.usedCount, items + 1);
  gRecordPoolByteLimit = kDefaultRecordPoolByteLimit;

  ObjectRecord& o = Engine().gObjectRecords[object];
  o.limbs[27].meshSlot = 27;
  GrowLimbArray(object, 200);
  EXPECT_EQ(o.limbCapacity, 256) << "enough for the limb asked for";
  EXPECT_EQ(o.limbs[27].meshSlot, 27);
  gRecordPoolByteLimit = 256 * sizeof(ObjectLimbRecord);
  Interpreter().gErrorCode = 0;
  GrowLimbArray(object, 300);
  EXPECT_EQ(Interpreter().gErrorCode, kErrOutOfMemory);
  EXPECT_EQ(o.limbCapacity, 256);
  EXPECT_EQ(o.limbs[27].meshSlot, 27);
  o.limbs[27].meshSlot = 0;
}

TEST_F(RecordsTest, DeletingAnObjectReleasesWhatItOwnsOnceAndClearsItsNumber) {
  const uint32_t object = MakeObject(12), other = MakeObject(13);
  ObjectRecord& o = Engine().gObjectRecords[object];
  o.model = new SceneModel;
  for (void*& block : o.blendArrays) block = std::malloc(64);
  o.limbs[0].meshSlot = int32_t(MakeMesh());
  o.limbs[3].secondMeshSlot = int32_t(MakeMesh());
  Engine().gAnimatedObjectsHead = o.animationNode = new AnimationListNode{nullptr, nullptr, object, nullptr};
  GlueObject(other, object, 0);
  const int32_t meshesBefore = Engine().gMeshRecords.usedCount, item = o.itemSlot;

  DeleteObjectRecord(object, 12);
  EXPECT_EQ(Engine().gObjectSlotById[12], 0u);
  EXPECT_FALSE(Engine().gObjectRecords.IsTaken(object));
  EXPECT_FALSE(Records().gRenderItems.IsTaken(uint32_t(item)));
  EXPECT_EQ(Engine().gMeshRecords.usedCount, meshesBefore - 2);
  EXPECT_EQ(Engine().gObjectRecords[other].gluedObject, 0) << "unglued from the deleted object";
  const ObjectRecord& freed = Engine().gObjectRecords.records[object];
  EXPECT_EQ(std::tuple(freed.model, freed.limbs, freed.animationNode), std::tuple(nullptr, nullptr, nullptr));
  EXPECT_EQ(Engine().gObjectSlotById[13], other);

  // A bare object record names item slot 0, which belongs to someone else.
  const uint32_t bare = AllocObjectRecord();
  ASSERT_EQ(AllocRenderItem(RenderItemKind::kSprite), 0u);
  EXPECT_EQ(ItemOfObject(bare), nullptr) << "the sprite's item is not the object's";
  DeleteObjectRecord(bare, 5);
  DeleteObjectRecord(bare, 5);  // gone already: only the number is cleared
  EXPECT_TRUE(Records().gRenderItems.IsTaken(0));

  // An instance shares its source's model and animation node, whichever goes first.
  for (bool sourceFirst : {true, false}) {
    const uint32_t source = MakeObject(1), instance = MakeObject(2);
    auto* model = new SceneModel;
    auto* node = new AnimationListNode{nullptr, nullptr, source, nullptr};
    Engine().gAnimatedObjectsHead = node;
    for (uint32_t s : {source, instance}) {
      Engine().gObjectRecords[s].model = model;
      ShareModel(model);
      Engine().gObjectRecords[s].animationNode = node;
    }
    DeleteObjectRecord(sourceFirst ? source : instance, sourceFirst ? 1 : 2);
    EXPECT_EQ(Engine().gObjectRecords[sourceFirst ? instance : source].model, model) << "still drawn by the other";
    EXPECT_EQ(Engine().gAnimatedObjectsHead == nullptr, sourceFirst)
        << "only the source's own deletion removes its node";
    DeleteObjectRecord(sourceFirst ? instance : source, sourceFirst ? 2 : 1);
    EXPECT_EQ(Engine().gAnimatedObjectsHead, nullptr);
  }
}

TEST_F(RecordsTest, TexturesAndImageSurfacesAreReleasedOnceWhicheverPathFreesThem) {
  const uint32_t image = MakeImage();
  const uint32_t texture = MakeImageTexture(image, 1);
  ASSERT_TRUE(AddTextureUse(texture));  // an object takes the image's texture
  ReleaseTextureSlot(texture, 0);
  EXPECT_EQ(Releases(StandIn(1)), 0);
  ReleaseTextureSlot(texture, 0);
  EXPECT_EQ(Releases(StandIn(1)), 1);
  EXPECT_FALSE(Records().gTextureRecords.IsTaken(texture));
  EXPECT_EQ(Records().gImageRecords[image].textureSlot, 0) << "the image no longer names its texture";
  ReleaseTextureSlot(texture, 0);  // stray releases
  ReleaseTextureSlot(texture, 1);

  // A freed image gives up its use of its texture; the slot taken again keeps its new texture
  // when the old one goes with its last other user.
  const uint32_t old = MakeImageTexture(image, 3);
  ASSERT_TRUE(AddTextureUse(old));  // an object shares it
  ASSERT_EQ(FreeImageRecord(image), 1);
  EXPECT_TRUE(Records().gTextureRecords.IsTaken(old));
  EXPECT_EQ(Records().gTextureRecords[old].texture.sourceId, 0);
  ASSERT_EQ(AllocImageRecord(), image);
  const uint32_t fresh = MakeImageTexture(image, 4);
  ReleaseTextureSlot(old, 0);
  EXPECT_EQ(Releases(StandIn(3)), 1);
  EXPECT_EQ(Records().gImageRecords[image].textureSlot, int32_t(fresh));
  ReleaseTextureSlot(old, 0);  // a stray release, too late
  // An image that is the only user of its texture takes it along.
  const uint32_t alone = MakeImage();
  const uint32_t own = MakeImageTexture(alone, 7);
  const TextureNameEntry* ownName = Records().gTextureRecords[own].nameEntry;
  ASSERT_EQ(FreeImageRecord(alone), 1);
  EXPECT_EQ(Releases(StandIn(7)), 1);
  EXPECT_FALSE(Records().gTextureRecords.IsTaken(own));
  EXPECT_FALSE(TextureNameListHolds(ownName));
  EXPECT_EQ(Records().gImageRecords[alone].valid, 0) << "a freed image is invalid";

  // The textured image load frees the old image's texture record first and its surface second.
  const uint32_t loaded = MakeImageTexture(MakeImage(), 5);
  AddTextureUse(loaded);  // an object still uses it
  const TextureNameEntry* name = Records().gTextureRecords[loaded].nameEntry;
  EXPECT_EQ(FreeTextureRecord(loaded), 1);
  EXPECT_EQ(FreeTextureSurfaceOnly(loaded), 1);
  EXPECT_FALSE(TextureNameListHolds(name)) << "a free record keeps no name to be found by";
  ASSERT_EQ(AllocTextureRecord(), loaded);
  Records().gTextureRecords[loaded].texture.surface = StandIn(6);
  ReleaseTextureSurface(loaded);
  ReleaseTextureSurface(loaded);
  EXPECT_EQ(Records().gTextureRecords[loaded].texture.surface, nullptr);

  // The display's teardown releases the image table; a later free finds nothing left to release.
  const uint32_t another = MakeImage();
  ReleaseImageSurfaceTable();
  FreeImageRecord(another);
  FreeRecordPools();
  EXPECT_EQ(Releases(StandIn(4)), 1);
  EXPECT_EQ(Releases(StandIn(5)), 1);
  EXPECT_EQ(Releases(StandIn(6)), 1);
  EXPECT_TRUE(NoneReleasedTwice());
}

TEST_F(RecordsTest, ImagesAgeOutDeletedSpritesGoAndLimbsTakeTheirImagesTexturesAgain) {
  const uint32_t dying = MakeImage();
  Records().gImageRecords[dying].lifeCounter = 2;
  const uint32_t sprite = AllocRenderItem(RenderItemKind::kSprite);
  Records().gSpriteSlotById[44] = sprite;
  SpriteOf(sprite)->spriteNumber = 44;
  SpriteOf(sprite)->pendingRemoval = 2;
  SpriteOf(sprite)->ownedImages[0] = int32_t(MakeImage());
  const uint32_t image = MakeImage();
  const uint32_t texture = MakeImageTexture(image, 8);
  ObjectLimbRecord& limb = Engine().gObjectRecords[MakeObject(3)].limbs[1];
  limb.imageSlot = int32_t(image);
  limb.textureSlot = 99;  // stale
  Records().gImageCopiesFreed = 1;

  AgeImagesAndTextures();  // no texture refresh asked for
  EXPECT_EQ(limb.textureSlot, 99);
  EXPECT_TRUE(Records().gImageRecords.IsTaken(dying));
  EXPECT_TRUE(Records().gRenderItems.IsTaken(sprite));
  Records().gImageCopiesFreed = Records().gTextureRefreshFlag = 1;
  AgeImagesAndTextures();
  EXPECT_FALSE(Records().gImageRecords.IsTaken(dying));
  EXPECT_FALSE(Records().gRenderItems.IsTaken(sprite));
  EXPECT_EQ(Records().gSpriteSlotById[44], 0u);
  EXPECT_EQ(Records().gImageRecords.usedCount, 2) << "reserved and textured ones; the copy went with the sprite";
  EXPECT_EQ(limb.textureSlot, int32_t(texture));
}

TEST_F(RecordsTest, WhatARunLeavesIsReleasedOnceByTheNextResetAndAtShutDown) {
  for (int pass = 0; pass < 2; ++pass) {
    const uint32_t object = MakeObject(1);
    Engine().gObjectRecords[object].model = new SceneModel;
    Engine().gObjectRecords[object].limbs[0].meshSlot = int32_t(MakeMesh());
    MakeMesh();
    for (NumberMap* map : {&Records().gSpriteSlotById, &Engine().gObjectSlotById, &Engine().gMeshSlotById})
      (*map)[65535] = 9;
    const uint32_t image = MakeImage();
    AddTextureUse(MakeImageTexture(image, 10 + pass));
    win::IDirectDrawSurface7* imageSurface = Records().gImageRecords[image].surface;
    if (pass == 0) {
      ResetEngineRecords();  // the next run
      EXPECT_EQ(Engine().gObjectSlotById[65535] + Records().gSpriteSlotById[65535] + Engine().gMeshSlotById[65535], 0u);
      EXPECT_EQ(UsedOrder(Engine().gMeshRecords), (Slots{0, 1})) << "slot 0 of numbered kinds is reserved";
      EXPECT_EQ(AllocRenderItem(RenderItemKind::kSprite), 0u) << "the free list starts again at slot 0";
    } else {
      FreeRecordPools();  // shut-down
    }
    EXPECT_EQ(Releases(imageSurface), 1) << "pass " << pass;
    EXPECT_EQ(Releases(StandIn(10 + pass)), 1) << "pass " << pass;
  }
  EXPECT_TRUE(NoneReleasedTwice());
}

}  // namespace
}  // namespace vx
