// Shared set-up of the record tests: freshly reset pools, and stand-in DirectDraw objects whose
// releases are counted, so that a test can tell a surface released once from one released twice.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <vector>

#include "engine3d/animation_list.h"
#include "engine3d/records.h"
#include "engine3d/texture_names.h"
#include "platform/win/messages.h"
#include "runtime/interpreter.h"

namespace vx::test {

// Addresses that stand for surfaces and palettes; they are only ever compared, never read.
struct FakeDirectDraw {
  std::array<char, 256> storage{};
  int nextSurface = 0;
  int made = 0;
  int evictions = 0;
  bool failMaking = false;
  std::map<const void*, int> releases;

  template <class T>
  T* At(size_t i) { return reinterpret_cast<T*>(&storage[i]); }
  win::IDirectDrawSurface7* Surface(int i) { return At<win::IDirectDrawSurface7>(size_t(i)); }
  win::IDirectDrawPalette* Palette(int i) { return At<win::IDirectDrawPalette>(128 + size_t(i)); }
  int Releases(const void* p) const { return releases.count(p) ? releases.at(p) : 0; }
  int TotalReleases() const {
    int n = 0;
    for (const auto& [p, count] : releases) n += count;
    return n;
  }
  bool NoneReleasedTwice() const {
    return std::none_of(releases.begin(), releases.end(), [](const auto& r) { return r.second > 1; });
  }
};

inline FakeDirectDraw* gFake = nullptr;

inline SurfaceHooks FakeSurfaceHooks() {
  return {[](int32_t, int32_t) -> win::IDirectDrawSurface7* {
            if (gFake->failMaking) return nullptr;
            ++gFake->made;
            return gFake->Surface(64 + gFake->nextSurface++ % 64);
          },
          [](win::IDirectDrawSurface7* s) { ++gFake->releases[s]; },
          [](win::IDirectDrawPalette* p) { ++gFake->releases[p]; }, [] { ++gFake->evictions; }};
}

class EngineRecordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gFake = &fake;
    gSurfaceHooks = FakeSurfaceHooks();
    gRecordPoolByteLimit = kDefaultRecordPoolByteLimit;
    win::ClearMessageQueue();
    gErrorCode = 0;
    ResetEngineRecords();
  }
  void TearDown() override {
    FreeRecordPools();
    EXPECT_EQ(gAnimatedObjectsHead, nullptr);
    EXPECT_EQ(gTextureNameList, nullptr);
    gSurfaceHooks = DefaultSurfaceHooks();
    gRecordPoolByteLimit = kDefaultRecordPoolByteLimit;
    gErrorCode = 0;
    gYieldFlag = 0;
    win::ClearMessageQueue();
    gFake = nullptr;
  }

  FakeDirectDraw fake;
};

// Walks both lists of a pool and checks that they agree with its counts: the used list runs from
// head to tail with matching back links, every slot is on exactly one list, and the free list
// holds the rest.
template <class Record>
::testing::AssertionResult PoolIsConsistent(RecordPool<Record>& pool) {
  std::vector<int> seen(size_t(pool.capacity), 0);
  int32_t count = 0, previous = kNoLink;
  for (int32_t s = pool.usedHead; s != kNoLink; s = pool.records[s].next) {
    if (s < 0 || s >= pool.capacity) return ::testing::AssertionFailure() << "used link out of range: " << s;
    if (seen[size_t(s)]++) return ::testing::AssertionFailure() << "used list loops at " << s;
    if (pool.records[s].previous != previous)
      return ::testing::AssertionFailure() << "slot " << s << " links back to " << pool.records[s].previous;
    if (!pool.IsTaken(uint32_t(s))) return ::testing::AssertionFailure() << "used slot " << s << " not marked";
    previous = s;
    ++count;
  }
  if (previous != pool.usedTail) return ::testing::AssertionFailure() << "tail " << pool.usedTail << " != " << previous;
  if (count != pool.usedCount) return ::testing::AssertionFailure() << "count " << pool.usedCount << " != " << count;
  int32_t s = pool.freeHead;
  for (int32_t i = 0; i < pool.capacity - pool.usedCount; ++i) {
    if (s < 0 || s >= pool.capacity) return ::testing::AssertionFailure() << "free link out of range: " << s;
    if (seen[size_t(s)]++) return ::testing::AssertionFailure() << "slot " << s << " on two lists";
    if (pool.IsTaken(uint32_t(s))) return ::testing::AssertionFailure() << "free slot " << s << " marked used";
    s = pool.records[s].next;
  }
  return ::testing::AssertionSuccess();
}

template <class Record>
std::vector<int32_t> UsedOrder(RecordPool<Record>& pool) {
  std::vector<int32_t> order;
  // Bounded, so that a broken chain fails the comparison instead of looping.
  for (int32_t s = pool.usedHead; s != kNoLink && order.size() <= size_t(pool.capacity); s = pool.records[s].next) {
    order.push_back(s);
    if (s < 0 || s >= pool.capacity) break;
  }
  return order;
}

}  // namespace vx::test
