// The record kinds at work: the reset at run set-up, the number maps, what freeing an object
// releases (also when an instance shares its model and animation node), textures shared by images
// and objects, image surfaces and their ageing, pending sprites, and the release of everything a
// run left behind, with every DirectDraw object released exactly once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <tuple>

#include "engine3d/scene_model.h"
#include "platform/win/heap.h"
#include "tests/engine3d/engine_fixture.h"

namespace vx {
namespace {

using test::PoolIsConsistent;
using test::UsedOrder;
using Slots = std::vector<int32_t>;

class RecordsTest : public test::EngineRecordsTest {
 protected:
  // An object with its RenderItem, as the object commands build it.
  uint32_t MakeObject(int32_t number) {
    const uint32_t object = AllocObjectRecord();
    const uint32_t item = AllocRenderItem();
    gObjectRecords[object].inUse = 1;
    gObjectRecords[object].itemSlot = int32_t(item);
    gObjectRecords[object].objectNumber = number;
    gRenderItems[item].objectItem = 1;
    gRenderItems[item].objectSlot = int32_t(object);
    gObjectSlotById[size_t(number)] = object;
    return object;
  }
  uint32_t MakeMesh() {
    const uint32_t mesh = AllocMeshRecord();
    MeshRecord& m = gMeshRecords[mesh];
    const auto block = [](size_t bytes) { return win::GlobalAlloc(win::GPTR, bytes); };
    m.vertexCount = m.normalCount = 3;
    m.positions = static_cast<float*>(block(9 * sizeof(float)));
    m.normals = static_cast<float*>(block(9 * sizeof(float)));
    m.faces = static_cast<uint32_t*>(block(7 * sizeof(uint32_t)));
    m.textureCoords = static_cast<float*>(block(6 * sizeof(float)));
    return mesh;
  }
  // An image with a surface of the given size.
  uint32_t MakeImage(int width, int height) {
    const uint32_t image = AllocImageRecord();
    EXPECT_EQ(CreateImageSurface(image, width, height), 1);
    return image;
  }
  // The texture made from an image: one use, named "".
  uint32_t MakeImageTexture(uint32_t image, int surface) {
    const uint32_t texture = AllocTextureRecord();
    gTextureRecords[texture].texture.surface = fake.Surface(surface);
    gTextureRecords[texture].texture.sourceId = int32_t(image);
    AddTextureName(texture, "");
    gImageRecords[image].textureSlot = int32_t(texture);
    return texture;
  }
};

TEST_F(RecordsTest, ResetEmptiesRecordsAndMapsKeepsGrownPoolsAndReservesSlotZeroOfNumberedKinds) {
  // Each reservation that started from capacity 2 grew the pool first.
  EXPECT_EQ(std::tuple(gMeshRecords.capacity, gObjectRecords.capacity, gImageRecords.capacity), std::tuple(8, 4, 16));
  EXPECT_EQ(fake.TotalReleases(), 0) << "fresh pools hold nothing to release";
  for (int i = 0; i < 40; ++i) gSpriteSlotById[size_t(i + 1)] = AllocRenderItem();
  const uint32_t light = AllocLightRecord();
  gLightRecords[light].on = 1;
  NumberMap* const maps[] = {&gSpriteSlotById, &gImageSlotById, &gObjectSlotById, &gMeshSlotById,
                             &gLightSlotById,  &gGridSlotById,  &gSpareSlotMap};
  for (NumberMap* map : maps) (*map)[65535] = 9;
  MakeObject(7);
  ASSERT_EQ(gRenderItems.capacity, 64);

  ResetEngineRecords();
  EXPECT_EQ(gRenderItems.capacity, 64);
  EXPECT_EQ(gLightRecords.records[light].on, 0);
  for (NumberMap* map : maps) EXPECT_TRUE(std::all_of(map->begin(), map->end(), [](uint32_t v) { return v == 0; }));
  EXPECT_EQ(UsedOrder(gImageRecords), Slots{0});
  EXPECT_EQ(UsedOrder(gObjectRecords), Slots{0});
  EXPECT_EQ(UsedOrder(gTextureRecords), Slots{0});
  EXPECT_EQ(UsedOrder(gMeshRecords), (Slots{0, 1}));
  EXPECT_EQ(gRenderItems.usedCount + gLightRecords.usedCount, 0);
  EXPECT_EQ(AllocRenderItem(), 0u) << "the free list starts again at slot 0";
  EXPECT_TRUE(PoolIsConsistent(gRenderItems));
  EXPECT_TRUE(PoolIsConsistent(gObjectRecords));
}

TEST_F(RecordsTest, DeletingAnObjectReleasesEverythingItOwnsAndClearsItsNumber) {
  const uint32_t object = MakeObject(12);
  const uint32_t other = MakeObject(13);
  ObjectRecord& o = gObjectRecords[object];
  o.model = new SceneModel;
  o.inStaticWorld = 1;
  o.boxCollision = 1;
  o.boxMax[1] = 4.0f;
  for (void*& block : o.blendArrays) block = std::malloc(64);
  o.limbs[0].meshSlot = int32_t(MakeMesh());
  o.limbs[3].secondMeshSlot = int32_t(MakeMesh());
  auto* node = new AnimationListNode{nullptr, nullptr, object, nullptr};
  gAnimatedObjectsHead = o.animationNode = node;
  gObjectRecords[other].gluedObject = int32_t(object);
  gObjectRecords[other].gluedLimb = 2;
  const int32_t meshesBefore = gMeshRecords.usedCount;
  const int32_t item = gObjectRecords[object].itemSlot;

  DeleteObjectRecord(object, 12);
  EXPECT_EQ(gObjectSlotById[12], 0u);
  EXPECT_FALSE(gObjectRecords.IsTaken(object));
  EXPECT_FALSE(gRenderItems.IsTaken(uint32_t(item)));
  EXPECT_EQ(gMeshRecords.usedCount, meshesBefore - 2);
  EXPECT_EQ(gAnimatedObjectsHead, nullptr);
  EXPECT_EQ(gObjectRecords[other].gluedObject, 0) << "unglued from the deleted object";
  const ObjectRecord& freed = gObjectRecords.records[object];
  EXPECT_EQ(std::tuple(freed.model, freed.limbs, freed.animationNode), std::tuple(nullptr, nullptr, nullptr));
  EXPECT_EQ(std::tuple(freed.limbCapacity, freed.inStaticWorld, freed.boxMax[1]), std::tuple(0, 0, 0.0f));
  for (void* block : freed.blendArrays) EXPECT_EQ(block, nullptr);
  EXPECT_EQ(gObjectSlotById[13], other);
  EXPECT_TRUE(PoolIsConsistent(gObjectRecords));
  EXPECT_TRUE(PoolIsConsistent(gMeshRecords));
}

TEST_F(RecordsTest, AnObjectWithoutItsOwnItemLeavesOtherItemsAlone) {
  const uint32_t sprite = AllocRenderItem();  // slot 0: the slot a bare object record names
  ASSERT_EQ(sprite, 0u);
  const uint32_t object = AllocObjectRecord();
  gObjectSlotById[5] = object;
  DeleteObjectRecord(object, 5);
  EXPECT_TRUE(gRenderItems.IsTaken(sprite));
  EXPECT_EQ(gObjectSlotById[5], 0u);
  DeleteObjectRecord(object, 5);  // gone already: only the number is cleared
  EXPECT_EQ(gObjectRecords.usedCount, 1);
}

TEST_F(RecordsTest, AnInstanceSharingItsSourcesModelAndNodeIsFreedWithoutAnyDoubleDelete) {
  // The instance copies the source's fields, model and animation node included.
  for (bool sourceFirst : {true, false}) {
    const uint32_t source = MakeObject(1), instance = MakeObject(2);
    auto* model = new SceneModel;
    auto* node = new AnimationListNode{nullptr, nullptr, source, nullptr};
    gAnimatedObjectsHead = node;
    for (uint32_t s : {source, instance}) {
      gObjectRecords[s].model = model;
      gObjectRecords[s].animationNode = node;
    }
    DeleteObjectRecord(sourceFirst ? source : instance, sourceFirst ? 1 : 2);
    EXPECT_EQ(gObjectRecords[sourceFirst ? instance : source].model, model) << "still drawn by the other";
    EXPECT_EQ(gAnimatedObjectsHead == nullptr, sourceFirst) << "only the source's own deletion removes its node";
    DeleteObjectRecord(sourceFirst ? instance : source, sourceFirst ? 2 : 1);
    EXPECT_EQ(gAnimatedObjectsHead, nullptr);
    EXPECT_EQ(gObjectRecords.usedCount, 1);
  }
}

TEST_F(RecordsTest, RemovingFromTheAnimatedListMovesTheHeadForwardElseBack) {
  auto* a = new AnimationListNode{nullptr, nullptr, 1, nullptr};
  auto* b = new AnimationListNode{nullptr, a, 2, nullptr};
  auto* c = new AnimationListNode{nullptr, b, 3, nullptr};
  a->next = b;
  b->next = c;
  gAnimatedObjectsHead = c;  // the head may sit on the last node
  AnimationListNode* p = c;
  RemoveFromAnimatedList(p);
  EXPECT_EQ(p, nullptr) << "the caller's pointer is cleared";
  EXPECT_EQ(gAnimatedObjectsHead, b) << "no next: the head moves back";
  EXPECT_TRUE(AnimatedListHolds(a));
  EXPECT_FALSE(AnimatedListHolds(c));
  gAnimatedObjectsHead = a;
  p = a;
  RemoveFromAnimatedList(p);
  EXPECT_EQ(gAnimatedObjectsHead, b);
  EXPECT_EQ(b->previous, nullptr);
  p = b;
  RemoveFromAnimatedList(p);
  EXPECT_EQ(gAnimatedObjectsHead, nullptr);
}

TEST_F(RecordsTest, ATextureSharedByAnImageAndObjectsIsReleasedOnceByItsLastUser) {
  const uint32_t image = MakeImage(32, 32);
  const uint32_t texture = MakeImageTexture(image, 1);
  ASSERT_TRUE(AddTextureUse(texture));  // a second object takes the image's texture
  const int32_t texturesUsed = gTextureRecords.usedCount;

  ReleaseTextureSlot(texture, 0);  // first object lets go
  EXPECT_EQ(fake.Releases(fake.Surface(1)), 0);
  EXPECT_TRUE(gTextureRecords.IsTaken(texture));
  ReleaseTextureSlot(texture, 0);  // the last
  EXPECT_EQ(fake.Releases(fake.Surface(1)), 1);
  EXPECT_FALSE(gTextureRecords.IsTaken(texture));
  EXPECT_EQ(gTextureRecords.usedCount, texturesUsed - 1);
  EXPECT_EQ(gImageRecords[image].textureSlot, 0) << "the image no longer names its texture";
  EXPECT_EQ(gTextureNameList, nullptr);

  ReleaseTextureSlot(texture, 0);  // a stray third release
  ReleaseTextureSlot(texture, 1);
  EXPECT_EQ(gTextureRecords.usedCount, texturesUsed - 1);
  FreeImageRecord(image);
  FreeRecordPools();
  EXPECT_EQ(fake.Releases(fake.Surface(1)), 1);
  EXPECT_TRUE(fake.NoneReleasedTwice());
}

TEST_F(RecordsTest, AForcedReleaseFreesASharedTextureAtOnceAndOnlyOnce) {
  const uint32_t texture = AllocTextureRecord();
  gTextureRecords[texture].texture.surface = fake.Surface(2);
  gTextureRecords[texture].texture.palette = fake.Palette(2);
  AddTextureName(texture, "brick.bmp");
  AddTextureUse(texture);
  AddTextureUse(texture);
  ReleaseTextureSlot(texture, 1);
  EXPECT_FALSE(gTextureRecords.IsTaken(texture));
  EXPECT_EQ(fake.Releases(fake.Surface(2)), 1);
  EXPECT_EQ(fake.Releases(fake.Palette(2)), 1);
  for (int i = 0; i < 2; ++i) ReleaseTextureSlot(texture, 0);  // the other users, too late
  FreeRecordPools();
  EXPECT_TRUE(fake.NoneReleasedTwice());
  EXPECT_EQ(fake.TotalReleases(), 2);
}

TEST_F(RecordsTest, AFreedImageSlotTakenAgainKeepsItsNewTextureWhenTheOldTextureGoes) {
  const uint32_t image = MakeImage(8, 8);
  const uint32_t oldTexture = MakeImageTexture(image, 3);
  ASSERT_EQ(FreeImageRecord(image), 1);
  EXPECT_EQ(gTextureRecords[oldTexture].texture.sourceId, 0) << "the texture outlives its image";
  ASSERT_EQ(AllocImageRecord(), image);
  const uint32_t newTexture = MakeImageTexture(image, 4);
  ReleaseTextureSlot(oldTexture, 0);
  EXPECT_EQ(gImageRecords[image].textureSlot, int32_t(newTexture));
  EXPECT_EQ(fake.Releases(fake.Surface(3)), 1);
  EXPECT_EQ(fake.Releases(fake.Surface(4)), 0);
}

TEST_F(RecordsTest, ATextureRecordFreedWithItsSurfaceAndNameStillAttachedIsNotReleasedAgain) {
  // The textured image load frees the old image's texture record first and its surface second.
  const uint32_t image = MakeImage(16, 16);
  const uint32_t texture = MakeImageTexture(image, 5);
  AddTextureUse(texture);  // an object still uses it
  EXPECT_EQ(FreeTextureRecord(texture), 1);
  EXPECT_EQ(FreeTextureSurfaceOnly(texture), 1);
  EXPECT_EQ(fake.Releases(fake.Surface(5)), 1);
  EXPECT_EQ(gTextureNameList, nullptr) << "a free record keeps no name to be found by";

  const uint32_t reused = AllocTextureRecord();
  ASSERT_EQ(reused, texture);
  gTextureRecords[reused].texture.surface = fake.Surface(6);
  AddTextureName(reused, "stone.png");
  FreeRecordPools();
  EXPECT_EQ(fake.Releases(fake.Surface(5)), 1);
  EXPECT_EQ(fake.Releases(fake.Surface(6)), 1);
  EXPECT_TRUE(fake.NoneReleasedTwice());
}

TEST_F(RecordsTest, ReleasesClearThePointersTheyRelease) {
  const uint32_t image = MakeImage(4, 4);
  win::IDirectDrawSurface7* surface = gImageRecords[image].surface;
  ASSERT_NE(surface, nullptr);
  ASSERT_EQ(FreeImageRecord(image), 1);
  EXPECT_EQ(gImageRecords.records[image].surface, nullptr);
  ReleaseImageSurfaceTable();
  EXPECT_EQ(fake.Releases(surface), 1);

  const uint32_t texture = AllocTextureRecord();
  gTextureRecords[texture].texture.surface = fake.Surface(7);
  ReleaseTextureSurface(texture);
  ReleaseTextureSurface(texture);
  EXPECT_EQ(gTextureRecords[texture].texture.surface, nullptr);
  EXPECT_EQ(fake.Releases(fake.Surface(7)), 1);

  // The display's teardown releases the table; a later free finds nothing left to release.
  const uint32_t second = MakeImage(4, 4);
  win::IDirectDrawSurface7* secondSurface = gImageRecords[second].surface;
  ReleaseImageSurfaceTable();
  FreeImageRecord(second);
  EXPECT_EQ(fake.Releases(secondSurface), 1);
  EXPECT_TRUE(fake.NoneReleasedTwice());
}

TEST_F(RecordsTest, ImageSurfacesAreKeptAtTheSameSizeAndRemadeOtherwise) {
  // Surfaces made and released so far after each call.
  const struct { int width, height, result, made, released, valid; } steps[] = {
      {20, 10, 1, 1, 0, 1},  // first surface
      {20, 10, 1, 1, 0, 1},  // same size: kept
      {10, 20, 1, 2, 1, 1},  // another size: remade
      {0, 20, 0, 2, 2, 0},   // a 0-wide grab: no surface, invalid
      {5, 5, 1, 3, 2, 1},
  };
  const uint32_t image = AllocImageRecord();
  const ImageRecord& r = gImageRecords[image];
  for (const auto& s : steps) {
    SCOPED_TRACE(testing::Message() << s.width << "x" << s.height);
    EXPECT_EQ(CreateImageSurface(image, s.width, s.height), s.result);
    EXPECT_EQ(std::tuple(fake.made, fake.TotalReleases(), r.valid), std::tuple(s.made, s.released, s.valid));
    if (s.result == 1) {
      EXPECT_EQ(std::tuple(r.width, r.imageHeight, r.sourceX), std::tuple(s.width, s.height, 0));
    }
  }
  fake.failMaking = true;
  EXPECT_EQ(CreateImageSurface(image, 6, 6), 0);
  EXPECT_EQ(gImageRecords[image].surface, nullptr);
  EXPECT_EQ(gImageRecords[image].valid, 0);
  EXPECT_EQ(CreateImageSurface(999, 6, 6), 0) << "no such image";
}

TEST_F(RecordsTest, ImagesAgeOutAndDeletedSpritesGoEvenWithoutTextureRefreshes) {
  const uint32_t dying = MakeImage(4, 4), invalid = AllocImageRecord();
  MakeImage(4, 4);
  gImageRecords[dying].lifeCounter = 2;
  gImageRecords[invalid].lifeCounter = 1;

  const uint32_t sprite = AllocRenderItem();
  gSpriteSlotById[44] = sprite;
  gRenderItems[sprite].spriteNumber = 44;
  gRenderItems[sprite].pendingRemoval = 2;
  gRenderItems[sprite].ownedImages[0] = int32_t(MakeImage(4, 4));
  gImageCopiesFreed = 1;

  AgeImagesAndTextures();  // a program that never grabs: no texture refresh
  EXPECT_TRUE(gImageRecords.IsTaken(dying));
  EXPECT_EQ(gImageRecords[dying].lifeCounter, 1);
  EXPECT_TRUE(gImageRecords.IsTaken(invalid)) << "only a valid image is freed";
  EXPECT_EQ(gRenderItems[sprite].pendingRemoval, 1);
  EXPECT_EQ(gImageCopiesFreed, 0);

  AgeImagesAndTextures();
  EXPECT_FALSE(gImageRecords.IsTaken(dying));
  EXPECT_FALSE(gRenderItems.IsTaken(sprite));
  EXPECT_EQ(gSpriteSlotById[44], 0u);
  EXPECT_EQ(gRenderItems.records[sprite].spriteNumber, 0);
  EXPECT_EQ(gImageRecords.usedCount, 3) << "reserved, invalid and kept remain; the copy went with the sprite";
  EXPECT_TRUE(fake.NoneReleasedTwice());
  EXPECT_TRUE(PoolIsConsistent(gImageRecords));
}

TEST_F(RecordsTest, AfterImageCopiesAreFreedObjectLimbsTakeTheirImagesTexturesAgain) {
  const uint32_t image = MakeImage(8, 8);
  const uint32_t texture = MakeImageTexture(image, 8);
  const uint32_t object = MakeObject(3);
  ObjectLimbRecord& limb = gObjectRecords[object].limbs[1];
  limb.imageSlot = int32_t(image);
  limb.textureSlot = 99;  // stale
  gObjectRecords[object].limbs[2].textureSlot = 0;

  gImageCopiesFreed = 1;
  gTextureRefreshFlag = 1;
  AgeImagesAndTextures();
  EXPECT_EQ(gObjectRecords[object].limbs[1].textureSlot, int32_t(texture));
  EXPECT_EQ(gObjectRecords[object].limbs[2].textureSlot, 0) << "a limb without a texture stays so";
  EXPECT_EQ(gTextureNameList->useCount, 2);
  EXPECT_EQ(gImageCopiesFreed, 0);
}

TEST_F(RecordsTest, FreeingALightSwitchesItsDeviceLightOffAndRegainingFocusEvictsManagedTextures) {
  const uint32_t light = AllocLightRecord();
  gLightRecords[light].deviceEnabled = 1;
  EXPECT_EQ(FreeLightRecord(light), 1);
  EXPECT_EQ(gLightRecords.records[light].deviceEnabled, 0);
  PauseMediaOnDeactivate();
  EXPECT_EQ(fake.evictions, 0);
  ResumeMediaOnActivate();
  EXPECT_EQ(fake.evictions, 1);
}

TEST_F(RecordsTest, WhatARunLeavesIsReleasedOnceByTheNextResetAndAtShutDown) {
  for (int pass = 0; pass < 2; ++pass) {
    const uint32_t object = MakeObject(1);
    gObjectRecords[object].model = new SceneModel;
    gObjectRecords[object].limbs[0].meshSlot = int32_t(MakeMesh());
    MakeMesh();
    const uint32_t image = MakeImage(4, 4);
    const uint32_t texture = MakeImageTexture(image, 10 + pass);
    AddTextureUse(texture);
    win::IDirectDrawSurface7* imageSurface = gImageRecords[image].surface;
    if (pass == 0) {
      ResetEngineRecords();  // the next run
    } else {
      FreeRecordPools();  // shut-down
      EXPECT_EQ(gObjectRecords.capacity, 0);
      EXPECT_EQ(gObjectRecords.records, nullptr);
    }
    EXPECT_EQ(fake.Releases(imageSurface), 1) << "pass " << pass;
    EXPECT_EQ(fake.Releases(fake.Surface(10 + pass)), 1) << "pass " << pass;
  }
  EXPECT_TRUE(fake.NoneReleasedTwice());
  EXPECT_TRUE(InitRecordPools());
  EXPECT_EQ(gImageRecords.capacity, 16);
}

}  // namespace
}  // namespace vx
