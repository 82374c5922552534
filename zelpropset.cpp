#include "zelpropset.h"

#include "frame/ZelConvert.h"
#include "zelpropitem.h"

IMPLEMENT_DYNAMIC(ZelPropertySet, ZelRegistryQuonSet)

namespace {

constexpr const char* kSource = ".\\zelpropset";
constexpr const char* kClass = "ZelRegistryQuonSet";

}  // namespace

ZelPropertySet::ZelPropertySet() : ZelRegistryQuonSet() {}

ZelPropertySet::ZelPropertySet(const ZelRegistryQuonSet& Parent, const CString& szKey)
    : ZelRegistryQuonSet(Parent, szKey) {}

// Inside this body the object is already a ZelPropertySet, so the assignment reaches this
// class's copy factory for every child.
ZelPropertySet::ZelPropertySet(const ZelPropertySet& src) : ZelRegistryQuonSet() { ZelRegistryQuonSet::operator=(src); }

ZelPropertySet::~ZelPropertySet() = default;

const ZelPropertySet& ZelPropertySet::operator=(const ZelPropertySet& src) {
    ZelRegistryQuonSet::operator=(src);
    return *this;
}

BOOL ZelPropertySet::operator==(const ZelPropertySet& other) const { return ZelRegistryQuonSet::operator==(other); }

// Nothing can fail once the child exists; a failing constructor's storage is released by the
// new-expression itself, and its error, already converted there, is converted once more here.
ZelRegistryQuonSet* ZelPropertySet::CreateChildObject(const ZelRegistryQuonSet& Parent, const CString& szKey) {
    static constexpr ZelSite kSite{kSource, kClass, "ZelRegistryQuonSet * ZelRegistryQuonSet :: CreateChildObject( Parent,.. )"};
    return ZelCatchAtEndTellingMemory(kSite, [&]() -> ZelRegistryQuonSet* { return new ZelPropertyItem(Parent, szKey); });
}

ZelRegistryQuonSet* ZelPropertySet::CreateChildObject(const ZelRegistryQuonSet& CopyObj) {
    static constexpr ZelSite kSite{kSource, kClass, "ZelRegistryQuonSet * ZelRegistryQuonSet :: CreateChildObject( CopyObj )"};
    return ZelCatchAtEndTellingMemory(kSite, [&]() -> ZelRegistryQuonSet* {
        if (!CopyObj.IsKindOf(RUNTIME_CLASS(ZelPropertyItem))) return nullptr;
        return new ZelPropertyItem(static_cast<const ZelPropertyItem&>(CopyObj));
    });
}
