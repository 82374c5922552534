#include "HandleTable.h"

#include "RegError.h"

namespace zelreg {
namespace {

constexpr uintptr_t kFirstHandle = 0x1000;
constexpr uintptr_t kLastHandle = 0x7FFFFFFC;
constexpr REGSAM kKeyRights = 0x3F;  // KEY_QUERY_VALUE ... KEY_CREATE_LINK
constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE |
                                WRITE_DAC | WRITE_OWNER;

}  // namespace

REGSAM GrantAccess(REGSAM desired, bool readOnlyHive) {
    REGSAM granted = desired & (kKeyRights | STANDARD_RIGHTS_ALL);
    if (desired & GENERIC_READ) granted |= KEY_READ;
    if (desired & GENERIC_WRITE) granted |= KEY_WRITE;
    if (desired & GENERIC_ALL) granted |= KEY_ALL_ACCESS;
    if (desired & MAXIMUM_ALLOWED) granted |= readOnlyHive ? KEY_READ : KEY_ALL_ACCESS;
    if (readOnlyHive && (granted & kWriteRights)) Fail(ERROR_ACCESS_DENIED);
    return granted;
}

uintptr_t HandleTable::Allocate() {
    if (next_ < kFirstHandle || next_ > kLastHandle) next_ = kFirstHandle;
    // Until the counter has come round once, no value from it on was given out.
    while (wrapped_ && (keys_.Contains(next_) || events_.Contains(next_) || transactions_.Contains(next_) ||
                        feeds_.Contains(next_))) {
        next_ = next_ >= kLastHandle ? kFirstHandle : next_ + 4;
    }
    const uintptr_t value = next_;
    if (next_ >= kLastHandle) {
        next_ = kFirstHandle;
        wrapped_ = true;
    } else {
        next_ += 4;
    }
    return value;
}

template <class T>
uintptr_t HandleTable::Insert(Objects<T>& objects, std::shared_ptr<T> object) {
    std::lock_guard<std::mutex> lock(mutex_);
    const uintptr_t value = Allocate();
    objects.Insert(value, std::move(object));
    return value;
}

template <class T>
std::shared_ptr<T> HandleTable::Find(const Objects<T>& objects, uintptr_t value) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::shared_ptr<T>* found = objects.Find(value);
    return found ? *found : nullptr;
}

uintptr_t HandleTable::Add(std::shared_ptr<KeyHandle> key) { return Insert(keys_, std::move(key)); }
uintptr_t HandleTable::Add(std::shared_ptr<Event> event) { return Insert(events_, std::move(event)); }
uintptr_t HandleTable::Add(std::shared_ptr<Transaction> transaction) { return Insert(transactions_, std::move(transaction)); }
uintptr_t HandleTable::Add(std::shared_ptr<ChangeFeed> feed) { return Insert(feeds_, std::move(feed)); }

std::shared_ptr<KeyHandle> HandleTable::Key(uintptr_t value) const { return Find(keys_, value); }
std::shared_ptr<Event> HandleTable::GetEvent(uintptr_t value) const { return Find(events_, value); }
std::shared_ptr<Transaction> HandleTable::GetTransaction(uintptr_t value) const { return Find(transactions_, value); }
std::shared_ptr<ChangeFeed> HandleTable::GetFeed(uintptr_t value) const { return Find(feeds_, value); }

HandleTable::Closed HandleTable::Close(uintptr_t value, std::shared_ptr<Transaction>* transaction) {
    // What a handle held goes after the lock: destroying a key handle can end its transaction's
    // last reference.
    std::shared_ptr<KeyHandle> key;
    std::shared_ptr<Event> event;
    std::shared_ptr<ChangeFeed> feed;
    std::shared_ptr<Transaction> tx;
    std::lock_guard<std::mutex> lock(mutex_);
    if (keys_.Erase(value, key)) return Closed::Key;
    if (events_.Erase(value, event)) return Closed::Event;
    if (feeds_.Erase(value, feed)) return Closed::Feed;
    if (!transactions_.Erase(value, tx)) return Closed::Nothing;
    if (transaction) *transaction = std::move(tx);
    return Closed::Transaction;
}

std::size_t HandleTable::KeyCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return keys_.size();
}

}  // namespace zelreg
