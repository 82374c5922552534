// Building and looking into settings trees in tests.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "ZelRegistrySet.h"

// The keys of a node's children, in list order, walked as a caller walks them.
inline std::vector<std::string> ZelChildKeys(const ZelRegistryQuonSet& node) {
    std::vector<std::string> keys;
    for (POSITION pos = node.GetHeadPosition(); pos != nullptr;)
        keys.emplace_back(static_cast<const char*>(node.GetNext(pos)->GetKey()));
    return keys;
}

inline std::vector<std::string> ZelKeys(std::initializer_list<const char*> keys) {
    return std::vector<std::string>(keys.begin(), keys.end());
}

// Adds plain children with the given keys below node, which keeps them.
inline void ZelAddChildren(ZelRegistryQuonSet& node, std::initializer_list<const char*> keys) {
    for (const char* key : keys) node.AddItem(new ZelRegistryQuonSet(node, key));
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
