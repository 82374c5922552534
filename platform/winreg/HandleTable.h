// This process's handles: key handles (HKEY), events, transactions and detailed watches share
// one numbering, as kernel handles do on Windows. Values are multiples of four below 0x80000000, so none looks like a
// predefined key, and they are not given out again until the counter wraps.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "../win32/ZelWinTypes.h"
#include "EnumWindow.h"
#include "Event.h"
#include "HandleMap.h"
#include "HiveLocation.h"
#include "ListedItem.h"

namespace zelreg {

class ChangeFeed;
class Transaction;

// A listing of a transacted handle's key as its transaction sees it, while neither the
// transaction nor the key's counter in the hive has moved.
struct TransactedListing {
    int64_t version = -1;
    int64_t generation = -1;
    std::vector<ListedItem> items;
};

struct KeyHandle {
    KeyHandle(HiveKind hive, int64_t key, REGSAM access, int64_t depth = 0, std::shared_ptr<Transaction> tx = nullptr)
        : hive(hive), key(key), access(access), depth(depth), tx(std::move(tx)) {}
    const HiveKind hive;
    const int64_t key;
    const REGSAM access;
    const int64_t depth;  // levels below the hive's root: keys never move, so it is known when opened
    // The transaction every call on the handle takes part in, or null.
    const std::shared_ptr<Transaction> tx;
    // What enumeration keeps between calls, made by the first: most handles never enumerate.
    struct Listings {
        EnumWindow subkeys;
        EnumWindow values;
        TransactedListing txSubKeys;
        TransactedListing txValues;
    };
    Listings& listings() {
        if (!listings_) listings_ = std::make_unique<Listings>();
        return *listings_;
    }

private:
    std::unique_ptr<Listings> listings_;  // guarded by the hive's mutex
};

// The rights a handle opened with `desired` gets: generic rights mapped to key rights, the
// WOW64 view flags dropped. A read-only hive refuses write rights with ERROR_ACCESS_DENIED.
REGSAM GrantAccess(REGSAM desired, bool readOnlyHive);

class HandleTable {
public:
    uintptr_t Add(std::shared_ptr<KeyHandle> key);
    uintptr_t Add(std::shared_ptr<Event> event);
    uintptr_t Add(std::shared_ptr<Transaction> transaction);
    uintptr_t Add(std::shared_ptr<ChangeFeed> feed);
    std::shared_ptr<KeyHandle> Key(uintptr_t value) const;
    std::shared_ptr<Event> GetEvent(uintptr_t value) const;
    std::shared_ptr<Transaction> GetTransaction(uintptr_t value) const;
    std::shared_ptr<ChangeFeed> GetFeed(uintptr_t value) const;

    enum class Closed { Nothing, Key, Event, Transaction, Feed };
    // Closes the handle; a transaction's object comes back with Closed::Transaction, for the
    // caller to roll back (it may live on in the key handles that take part in it).
    Closed Close(uintptr_t value, std::shared_ptr<Transaction>* transaction = nullptr);

    std::size_t KeyCount() const;
    std::mutex& mutex() { return mutex_; }

private:
    template <class T>
    using Objects = HandleMap<T>;

    uintptr_t Allocate();
    template <class T>
    uintptr_t Insert(Objects<T>& objects, std::shared_ptr<T> object);
    template <class T>
    std::shared_ptr<T> Find(const Objects<T>& objects, uintptr_t value) const;

    mutable std::mutex mutex_;
    Objects<KeyHandle> keys_;
    Objects<Event> events_;
    Objects<Transaction> transactions_;
    Objects<ChangeFeed> feeds_;  // of detailed watches
    uintptr_t next_ = 0;
    bool wrapped_ = false;
};

}  // namespace zelreg
