// runtime/support/object_table.h — the numbered object tables of the runtime.
//
// Windows, sprites and images are numbered objects. Each kind has one growable table of
// fixed-size records guarded by its own lock:
//   - a number >= 0 indexes the table; the table grows in steps of `kGrowth` slots to reach it;
//   - creating an object under a number in use releases the old object first;
//   - -1 at creation takes the lowest free slot (growing the table when none is free);
//   - -1 given to a release means every object of the kind;
//   - operations on a number that holds no object do nothing and report 0.
// A record is "in use" when `in_use(record)` says so; a released slot is reset to Record{}.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace runtime {

template <typename Record, int kGrowth>
class ObjectTable {
 public:
  // Highest number a caller may ask for; keeps a wild number from allocating gigabytes.
  static constexpr int kMaxNumber = 1 << 20;

  // The record for `number` if it holds an object, else nullptr. Caller holds the lock.
  Record* find(int number) {
    if (number < 0 || number >= int(slots_.size()) || !slots_[number].in_use) return nullptr;
    return &slots_[number].record;
  }

  // Makes `number` (or, for -1, the lowest free slot) a fresh, in-use record; the previous
  // object of that number is released first through `release`. Returns the number, or -1
  // when the number is out of range. Caller holds the lock.
  template <typename Release>
  int claim(int number, Release&& release) {
    if (number < -1 || number > kMaxNumber) return -1;
    if (number == -1) {
      for (number = 0; number < int(slots_.size()) && slots_[number].in_use; ++number) {
      }
    }
    if (number >= int(slots_.size())) slots_.resize((number / kGrowth + 1) * kGrowth);
    if (slots_[number].in_use) release(slots_[number].record);
    slots_[number] = Slot{};
    slots_[number].in_use = true;
    return number;
  }

  // Releases `number`, or every object for -1. Caller holds the lock.
  template <typename Release>
  void free(int number, Release&& release) {
    if (number == -1) {
      for (auto& slot : slots_) {
        if (slot.in_use) release(slot.record);
        slot = Slot{};
      }
      return;
    }
    if (Record* record = find(number)) {
      release(*record);
      slots_[number] = Slot{};
    }
  }

  // Calls `visit(number, record)` for every object in use. Caller holds the lock.
  template <typename Visit>
  void for_each(Visit&& visit) {
    for (int n = 0; n < int(slots_.size()); ++n)
      if (slots_[n].in_use) visit(n, slots_[n].record);
  }

  int capacity() const { return int(slots_.size()); }
  std::recursive_mutex& lock() { return lock_; }

 private:
  struct Slot {
    bool in_use = false;
    Record record{};
  };
  std::vector<Slot> slots_;
  std::recursive_mutex lock_;
};

}  // namespace runtime
