// The growable pool that every kind of numbered record lives in (the engine's records, the draw
// queue's items): a zero-filled heap array, a free list and a doubly linked used list threaded
// through the first two words of each record. Slots are indices, never addresses: the array moves
// when it grows, so callers keep slots across any call that can take a record.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace vx {

constexpr int32_t kNoLink = -1;                  // end of a list in a link word
constexpr uint32_t kNoRecordSlot = 0xFFFFFFFFu;  // what a take returns when the pool could not grow

// Largest array a pool may hold, in bytes. Growth beyond it fails with kErrOutOfMemory, as when
// the memory runs out; tests lower it to reach that path.
extern uint64_t gRecordPoolByteLimit;
constexpr uint64_t kDefaultRecordPoolByteLimit = uint64_t(1) << 30;

// Raises kErrOutOfMemory for a pool that could not grow.
void ReportRecordPoolFull();

#if !defined(NDEBUG) || defined(__SANITIZE_ADDRESS__)
constexpr bool kCheckRecordSlots = true;
#elif defined(__has_feature)
constexpr bool kCheckRecordSlots = __has_feature(address_sanitizer);
#else
constexpr bool kCheckRecordSlots = false;
#endif
// Ends the process with the slot and the pool's size on standard error.
[[noreturn]] void RecordSlotOutsidePool(uint32_t slot, int32_t capacity);

// Record must be trivially copyable and begin with `int32_t next, previous`.
template <class Record>
class RecordPool {
  static_assert(std::is_trivially_copyable_v<Record>, "records are zero-filled and copied whole");

 public:
  // No destructor: the arrays are given back by Destroy at shut-down, and until then what the
  // records own stays reachable through them.
  constexpr RecordPool(int32_t initialCapacity, int32_t minimumFree)
      : initialCapacity_(initialCapacity), minimumFree_(minimumFree) {}
  RecordPool(const RecordPool&) = delete;
  RecordPool& operator=(const RecordPool&) = delete;

  Record* records = nullptr;  // capacity records
  int32_t capacity = 0;
  int32_t usedCount = 0;
  int32_t freeHead = 0;
  int32_t usedHead = kNoLink;
  int32_t usedTail = kNoLink;

  int32_t InitialCapacity() const { return initialCapacity_; }
  int32_t MinimumFree() const { return minimumFree_; }
  bool Exists() const { return records != nullptr; }

  // Makes the array at its initial capacity, zero-filled and chained. False when memory is short.
  bool Create() {
    if (records) return true;
    if (!Reallocate(initialCapacity_)) return false;
    Chain();
    return true;
  }

  void Destroy() {
    std::free(records);
    std::free(taken_);
    records = nullptr;
    taken_ = nullptr;
    capacity = usedCount = freeHead = 0;
    usedHead = usedTail = kNoLink;
  }

  // Zeroes every record; the capacity stays.
  void Clear() {
    if (!records) return;
    std::memset(static_cast<void*>(records), 0, sizeof(Record) * size_t(capacity));
    std::memset(taken_, 0, size_t(capacity));
  }

  // Empties the used list and puts every slot on the free list in slot order.
  void Chain() {
    if (!records) return;
    usedCount = 0;
    usedHead = usedTail = kNoLink;
    freeHead = 0;
    std::memset(taken_, 0, size_t(capacity));
    LinkFresh(0, capacity);
  }

  // Takes the free-list head and appends it to the used list. The record's contents are left as
  // they were (each kind prepares its own). kNoRecordSlot after kErrOutOfMemory.
  uint32_t Take() {
    if (usedCount > capacity - minimumFree_ && !Grow()) {
      ReportRecordPoolFull();
      return kNoRecordSlot;
    }
    const int32_t h = freeHead;
    freeHead = records[h].next;
    records[h].next = kNoLink;
    if (usedHead == kNoLink) {
      usedHead = h;
      records[h].previous = kNoLink;
    } else {
      records[usedTail].next = h;
      records[h].previous = usedTail;
    }
    usedTail = h;
    taken_[h] = 1;
    ++usedCount;
    return uint32_t(h);
  }

  // Take, with the record zero-filled but for its links.
  uint32_t TakeZeroed() {
    const uint32_t slot = Take();
    if (slot == kNoRecordSlot) return slot;
    Record& r = records[slot];
    const int32_t next = r.next, previous = r.previous;
    std::memset(static_cast<void*>(&r), 0, sizeof(Record));
    r.next = next;
    r.previous = previous;
    return slot;
  }

  // Unlinks a taken record and pushes it on the free list. False (nothing changes) for a slot that
  // is not taken, so a second free of the same slot cannot put it on the free list twice.
  bool Free(uint32_t slot) {
    if (usedCount < 1 || !IsTaken(slot)) return false;
    const int32_t s = int32_t(slot);
    Record& r = records[s];
    if (r.previous != kNoLink) records[r.previous].next = r.next;
    if (r.next != kNoLink) records[r.next].previous = r.previous;
    if (usedHead == s) usedHead = r.next;
    if (usedTail == s) usedTail = r.previous;
    r.previous = kNoLink;
    r.next = freeHead;
    if (freeHead >= 0 && freeHead < capacity) records[freeHead].previous = s;
    freeHead = s;
    taken_[s] = 0;
    --usedCount;
    return true;
  }

  bool IsTaken(uint32_t slot) const { return slot < uint32_t(capacity) && taken_[slot] != 0; }

  // The record of a slot. A slot outside the array is a fault of the caller: debug and sanitizer
  // builds stop at it; a release build hands out a zeroed spare record, so that the fault writes
  // nowhere that matters.
  Record& operator[](uint32_t slot) {
    if (slot < uint32_t(capacity)) [[likely]]
      return records[slot];
    if constexpr (kCheckRecordSlots) RecordSlotOutsidePool(slot, capacity);
    std::memset(static_cast<void*>(&spare_), 0, sizeof(Record));
    return spare_;
  }

  // Calls f(slot) for every used record in list order; f may free the record it is given.
  template <class F>
  void ForEachUsed(F&& f) {
    for (int32_t s = usedHead; s != kNoLink;) {
      const int32_t next = records[s].next;
      f(uint32_t(s));
      s = next;
    }
  }

 private:
  // Gives slots [from, to) the links of a fresh chain: next i + 1, previous i - 1.
  void LinkFresh(int32_t from, int32_t to) {
    for (int32_t i = from; i < to; ++i) {
      records[i].next = i + 1;
      records[i].previous = i - 1;
    }
  }

  // Moves the pool into a zero-filled array of newCapacity records, copying the old ones.
  bool Reallocate(int32_t newCapacity) {
    const uint64_t bytes = uint64_t(sizeof(Record)) * uint64_t(newCapacity);
    if (newCapacity <= capacity || bytes > gRecordPoolByteLimit) return false;
    auto* grown = static_cast<Record*>(std::calloc(size_t(newCapacity), sizeof(Record)));
    auto* grownTaken = static_cast<uint8_t*>(std::calloc(size_t(newCapacity), 1));
    if (!grown || !grownTaken) {
      std::free(grown);
      std::free(grownTaken);
      return false;
    }
    if (records) {
      std::memcpy(static_cast<void*>(grown), records, sizeof(Record) * size_t(capacity));
      std::memcpy(grownTaken, taken_, size_t(capacity));
    }
    std::free(records);
    std::free(taken_);
    records = grown;
    taken_ = grownTaken;
    capacity = newCapacity;
    return true;
  }

  bool Grow() {
    const int32_t oldCapacity = capacity;
    const int64_t doubled = oldCapacity > 0 ? int64_t(oldCapacity) * 2 : int64_t(initialCapacity_);
    if (doubled > INT32_MAX / 2 || !Reallocate(int32_t(doubled))) return false;
    LinkFresh(oldCapacity, capacity);
    if (oldCapacity == 0) freeHead = 0;
    return true;
  }

  int32_t initialCapacity_;
  int32_t minimumFree_;
  uint8_t* taken_ = nullptr;  // 1 per slot on the used list
  Record spare_{};
};

}  // namespace vx
