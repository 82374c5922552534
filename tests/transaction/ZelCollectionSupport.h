// A property set collection whose every item tells which round wrote it, so that a collection
// read back shows at a glance whether it is one round's, whole, or a mixture.
#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "zelpropitem.h"
#include "zelpropset.h"
#include "zelpropsets.h"

// The collection as "Set\Item" -> "<type>:<value>", from memory or read back.
using ZelCollectionImage = std::map<std::string, std::string>;

// An item that calls s_written after each Write of its own, so a test can stop a Write of a
// whole collection after a chosen number of items (by a failure, or by killing the process).
class ZelHookedItem : public ZelPropertyItem {
public:
    using ZelPropertyItem::ZelPropertyItem;
    void Write(void* const pHandle, const char* const pszKey) override {
        ZelPropertyItem::Write(pHandle, pszKey);
        if (s_written) s_written();
    }
    static inline std::function<void()> s_written;
};

// Round `round` of the collection "Layouts": `sets` sets of `items` items, longs and strings by
// turns, each value carrying the round. (Held by pointer: a copy would make its items plain.)
template <class Item = ZelPropertyItem>
std::unique_ptr<ZelPropertySets> ZelRoundCollection(const ZelRegistryBase& location, int round, int sets, int items) {
    auto result = std::make_unique<ZelPropertySets>(ZelRegistryQuonSet(location, "Layouts"), "Layouts");
    ZelPropertySets& collection = *result;
    for (int s = 0; s < sets; ++s) {
        char name[32];
        std::snprintf(name, sizeof name, "Set%03d", s);
        auto* set = new ZelPropertySet(collection, name);
        collection.AddItem(set);
        for (int i = 0; i < items; ++i) {
            std::snprintf(name, sizeof name, "Item%04d", i);
            if (i % 2 == 0)
                set->AddItem(new Item(*set, name, static_cast<LONG>(round * 100000 + s * 1000 + i)));
            else
                set->AddItem(new Item(*set, name, CString(("round " + std::to_string(round) + " item " +
                                                           std::to_string(s) + "." + std::to_string(i)).c_str())));
        }
    }
    return result;
}

inline ZelCollectionImage ZelImageOf(const ZelRegistryQuonSet& collection) {
    ZelCollectionImage image;
    for (POSITION pos = collection.GetHeadPosition(); pos != nullptr;) {
        const ZelRegistryQuonSet* set = collection.GetNext(pos);
        for (POSITION at = set->GetHeadPosition(); at != nullptr;) {
            const auto* item = static_cast<const ZelPropertyItem*>(set->GetNext(at));
            const std::string key = std::string(set->GetKey()) + "\\" + static_cast<const char*>(item->GetKey());
            image[key] = item->GetItemType() == ITEMTYPE_LONG     ? "2:" + std::to_string(item->GetLong())
                         : item->GetItemType() == ITEMTYPE_STRING ? "1:" + std::string(item->GetString())
                                                                  : std::to_string(item->GetItemType()) + ":";
        }
    }
    return image;
}

// The collection as it is stored below `parent` (null: the location's own key), read back the
// way an application reads it; empty when it is not there.
inline ZelCollectionImage ZelStoredImage(const ZelRegistryBase& location, HKEY parent = nullptr) {
    ZelPropertySets stored(ZelRegistryQuonSet(location, "Layouts"), "Layouts");
    if (!stored.Read(parent, nullptr)) return {};
    return ZelImageOf(stored);
}

inline ZelCollectionImage ZelRoundImage(const ZelRegistryBase& location, int round, int sets, int items) {
    return ZelImageOf(*ZelRoundCollection(location, round, sets, items));
}
