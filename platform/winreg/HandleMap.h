// The objects behind one kind of handle, by handle value: open addressing over one array, so
// that finding a handle reads one slot and adding one allocates nothing once the array has
// room. A slot of value 0 is empty (no handle has that value); deletion moves later entries
// of the same run back, so no slot is ever marked deleted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace zelreg {

template <class T>
class HandleMap {
public:
    const std::shared_ptr<T>* Find(uintptr_t value) const {
        const std::size_t slot = SlotOf(value);
        return slot == kNone ? nullptr : &slots_[slot].object;
    }
    bool Contains(uintptr_t value) const { return SlotOf(value) != kNone; }

    // `value` is not in the map.
    void Insert(uintptr_t value, std::shared_ptr<T> object) {
        if ((count_ + 1) * 2 > slots_.size()) Grow();
        std::size_t slot = Home(value);
        while (slots_[slot].value != 0) slot = (slot + 1) & mask_;
        slots_[slot] = Slot{value, std::move(object)};
        ++count_;
    }

    // Takes the handle out, its object into `taken`; false when it is not there.
    bool Erase(uintptr_t value, std::shared_ptr<T>& taken) {
        std::size_t hole = SlotOf(value);
        if (hole == kNone) return false;
        taken = std::move(slots_[hole].object);
        slots_[hole].value = 0;
        // Later entries of the run that could sit in the hole move there, so that every entry
        // stays reachable from its home slot without a gap.
        for (std::size_t slot = (hole + 1) & mask_; slots_[slot].value != 0; slot = (slot + 1) & mask_) {
            const std::size_t home = Home(slots_[slot].value);
            if (((slot - home) & mask_) >= ((slot - hole) & mask_)) {
                slots_[hole] = std::move(slots_[slot]);
                slots_[slot].value = 0;
                hole = slot;
            }
        }
        --count_;
        return true;
    }

    std::size_t size() const { return count_; }

private:
    struct Slot {
        uintptr_t value = 0;
        std::shared_ptr<T> object;
    };
    static constexpr std::size_t kNone = ~std::size_t{0};

    std::size_t SlotOf(uintptr_t value) const {
        if (count_ == 0) return kNone;
        for (std::size_t slot = Home(value);; slot = (slot + 1) & mask_) {
            if (slots_[slot].value == value) return slot;
            if (slots_[slot].value == 0) return kNone;
        }
    }

    // Handle values are multiples of four given out in turn: dropping the low bits spreads
    // consecutive handles over consecutive slots.
    std::size_t Home(uintptr_t value) const { return (value >> 2) & mask_; }

    void Grow() {
        std::vector<Slot> old = std::move(slots_);
        slots_ = std::vector<Slot>(old.empty() ? 64 : old.size() * 2);
        mask_ = slots_.size() - 1;
        count_ = 0;
        for (Slot& slot : old) {
            if (slot.value != 0) Insert(slot.value, std::move(slot.object));
        }
    }

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::size_t count_ = 0;
};

}  // namespace zelreg
