// Building and looking into settings trees, and the failures they report, in tests.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "ZelRegistrySet.h"
#include "support/ZelExceptionCheck.h"

using ZelLines = std::vector<std::string>;

// How a conversion in the node class begins, and how a conversion's end-of-method clause ends.
inline const std::string kZelSet = ".\\ZelRegistrySet | ZelRegistryQuonSet | ";
inline const std::string kZelEnd = " | Catch am Methodenende | 1001";

// The keys of a node's children, in list order, walked as a caller walks them.
inline ZelLines ZelChildKeys(const ZelRegistryQuonSet& node) {
    ZelLines keys;
    for (POSITION pos = node.GetHeadPosition(); pos != nullptr;)
        keys.emplace_back(static_cast<const char*>(node.GetNext(pos)->GetKey()));
    return keys;
}

// Adds plain children with the given keys below node, which keeps them.
inline void ZelAddChildren(ZelRegistryQuonSet& node, std::initializer_list<const char*> keys) {
    for (const char* key : keys) node.AddItem(new ZelRegistryQuonSet(node, key));
}

inline std::string ZelPathOf(const ZelRegistryBase& location) { return location.GetRegistryPath().GetString(); }

inline std::string ZelClassOf(const CObject* object) {
    return object ? object->GetRuntimeClass()->m_lpszClassName : "(none)";
}

// What f throws, outermost first: each converted level as ZelDescribe writes it, then the class
// of the innermost cause (a local exception with its number). Empty when f throws nothing.
template <class F>
ZelLines ZelFailure(F&& f) {
    const auto caught = ZelExpectConverted(std::forward<F>(f));
    ZelLines chain;
    const CException* e = caught.get();
    while (e && e->IsKindOf(RUNTIME_CLASS(ZelPropertyObjectException))) {
        const auto* level = static_cast<const ZelEhBasis*>(e);
        chain.push_back(ZelDescribe(*level));
        e = level->GetCause();
    }
    if (caught) chain.push_back(ZelClassOf(e));
    if (ZelClassOf(e) == "ZelPropertyLocalException")
        chain.back() += " " + std::to_string(static_cast<const ZelPropertyLocalException*>(e)->GetLocalErrorNo());
    return chain;
}

// A node that counts its living instances, so tests can see children being destroyed, and
// carries a payload of its own that the node's equality knows nothing of.
class ZelTrackedNode : public ZelRegistryQuonSet {
public:
    explicit ZelTrackedNode(const char* key, int payload = 0)
        : ZelRegistryQuonSet(ZelRegistryBase(), key), m_payload(payload) {
        ++s_alive;
    }
    // As derived nodes copy: default node first, so that assignment uses this class's factories.
    ZelTrackedNode(const ZelTrackedNode& other) : ZelRegistryQuonSet(), m_payload(other.m_payload) {
        ZelRegistryQuonSet::operator=(other);
        ++s_alive;
    }
    ~ZelTrackedNode() override { --s_alive; }

    int m_payload;
    static inline int s_alive = 0;
};
