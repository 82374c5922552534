#include "zelpropsets.h"

#include "frame/ZelConvert.h"

IMPLEMENT_DYNAMIC(ZelPropertySets, ZelPropertySet)

namespace {

constexpr const char* kSource = ".\\zelpropsets";
constexpr const char* kClass = "ZelPropertySets";

}  // namespace

ZelPropertySets::ZelPropertySets() : ZelPropertySet() {}

ZelPropertySets::ZelPropertySets(const ZelRegistryQuonSet& Parent, const CString& szKey)
    : ZelPropertySet(Parent, szKey) {}

// Not the set's copy constructor: that would copy the children with the set's factory, which
// takes items only. Inside this body the object is already a ZelPropertySets.
ZelPropertySets::ZelPropertySets(const ZelPropertySets& src) : ZelPropertySet() { ZelRegistryQuonSet::operator=(src); }

ZelPropertySets::~ZelPropertySets() = default;

const ZelPropertySets& ZelPropertySets::operator=(const ZelPropertySets& src) {
    ZelRegistryQuonSet::operator=(src);
    return *this;
}

BOOL ZelPropertySets::operator==(const ZelPropertySets& other) const { return ZelRegistryQuonSet::operator==(other); }

// As for the set's factories: nothing can fail once the child exists.
ZelRegistryQuonSet* ZelPropertySets::CreateChildObject(const ZelRegistryQuonSet& Parent, const CString& szKey) {
    static constexpr ZelSite kSite{kSource, kClass, "ZelRegistryQuonSet * ZelRegistryQuonSets::CreateChildObject( Parent,.. )"};
    return ZelCatchAtEndTellingMemory(kSite, [&]() -> ZelRegistryQuonSet* { return new ZelPropertySet(Parent, szKey); });
}

ZelRegistryQuonSet* ZelPropertySets::CreateChildObject(const ZelRegistryQuonSet& CopyObj) {
    static constexpr ZelSite kSite{kSource, kClass, "ZelRegistryQuonSet * ZelRegistryQuonSets::CreateChildObject( CopyObj )"};
    return ZelCatchAtEndTellingMemory(kSite, [&]() -> ZelRegistryQuonSet* {
        if (!CopyObj.IsKindOf(RUNTIME_CLASS(ZelPropertySet))) return nullptr;
        return new ZelPropertySet(static_cast<const ZelPropertySet&>(CopyObj));
    });
}
