// Property items, sets and set collections: typed values in memory and in the registry ("TYPE"
// and "VALUE" below each item's key), the classes the factories give children read back or
// copied, and what constructors and factories report when memory runs out.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/afx/AfxTestHooks.h"
#include "support/ZelExhaustion.h"
#include "support/ZelRegistryFixture.h"
#include "tree/ZelTreeTestSupport.h"
#include "zelpropitem.h"
#include "zelpropsets.h"

// Derived from the item with a record of its own (outside the anonymous namespace, whose unused
// record accessor would be an error).
class TaggedItem : public ZelPropertyItem {
    DECLARE_DYNAMIC(TaggedItem)
public:
    using ZelPropertyItem::ZelPropertyItem;
};
IMPLEMENT_DYNAMIC(TaggedItem, ZelPropertyItem)

namespace {

const std::string kItem = ".\\zelpropitem | ZelPropertyItem | ";
const std::string kWrongType = "ZelPropertyLocalException 2803";
using Value = std::pair<DWORD, std::vector<BYTE>>;
using OwnedChild = std::unique_ptr<ZelRegistryQuonSet>;

// A child that must be a property item, as one.
ZelPropertyItem& AsItem(ZelRegistryQuonSet* node) {
    EXPECT_EQ(ZelClassOf(node), "ZelPropertyItem");
    return static_cast<ZelPropertyItem&>(*node);
}

TEST(PropertyItem, ATypeChangeClearsTheOtherFieldAndTheWrongTypeIsRefusedLeavingTheItem) {
    const ZelRegistryQuonSet parent("Software\\Props", FALSE, FALSE);
    const ZelPropertyItem fresh;
    EXPECT_EQ(fresh.GetItemType(), ITEMTYPE_NONE);
    EXPECT_EQ(fresh.GetLong(), 0);

    const HINSTANCE host = AfxGetResourceHandle();
    ZelPropertyItem item(parent, "K", CString("abc"));
    item.SetLong(5);
    EXPECT_TRUE(item == ZelPropertyItem(parent, "K", 5)) << "the string field must have been emptied";
    EXPECT_EQ(ZelFailure([&] { item.GetString(); }),
              (ZelLines{kItem + "CString ZelPropertyItem :: GetString()" + kZelEnd, kWrongType}));
    EXPECT_EQ(AfxGetResourceHandle(), host) << "the language module's scope must end with the error";

    item.SetString("x");
    EXPECT_TRUE(item == ZelPropertyItem(parent, "K", CString("x"))) << "the long field must be 0 again";
    EXPECT_EQ(ZelFailure([&] { item.GetLong(); }),
              (ZelLines{kItem + "LONG ZelPropertyItem::GetLong()" + kZelEnd, kWrongType}));
}

TEST(PropertyItem, CopiesCarryTypeAndValueAndAnItemCanBeAssignedFromItsOwnChild) {
    const ZelRegistryQuonSet parent("Software\\Props", FALSE, FALSE);
    ZelPropertyItem source(parent, "Width", 800);
    source.AddItem(new ZelRegistryQuonSet(parent, "Child"));
    const ZelPropertyItem copy(source);
    EXPECT_TRUE(copy == source);
    EXPECT_NE(copy.GetItem("Child"), source.GetItem("Child"));
    ZelPropertyItem target(parent, "Other", CString("old"));
    target = source;
    EXPECT_TRUE(target == source);

    // The source goes with the target's former children while the target is assigned.
    target.AddItem(new ZelPropertyItem(parent, "Unit", CString("px")));
    target = static_cast<const ZelPropertyItem&>(*target.GetItem("Unit"));
    EXPECT_STREQ(target.GetKey(), "Unit");
    EXPECT_STREQ(target.GetString(), "px");
    EXPECT_EQ(target.GetCount(), 0);
}

TEST(PropertyItem, ConstructorsTellMemoryExhaustionApartAndLeakNothing) {
    const ZelRegistryQuonSet parent("Software\\Props", FALSE, FALSE);
    const CString key("K");
    const CString value("v");
    const std::string withParent = "ZelPropertyItem  :: ZelPropertyItem ( const ZelRegistryQuonSet & Parent, ";
    const std::vector<std::pair<std::string, std::function<void()>>> constructors = {
        {"ZelPropertyItem :: ZelPropertyItem()", [] { ZelPropertyItem item; }},
        {withParent + "const CString & szKey )", [&] { ZelPropertyItem item(parent, key); }},
        {withParent + "const CString & szKey, const CString & szValue )",
         [&] { ZelPropertyItem item(parent, key, value); }},
        {withParent + "const CString & szKey,LONG nValue )", [&] { ZelPropertyItem item(parent, key, 7); }},
    };
    // Only the item's own state is made in its try block; what the node part reports passes.
    for (const auto& [method, make] : constructors)
        EXPECT_EQ(ZelReportsOf(ZelExhaustionReports(make), kItem + method), ZelLines{" |  | 1002 <- CMemoryException"});

    // The copy does not tell exhaustion apart. Failing while the children are copied, it must
    // release the state it made (the sanitizer sees leaks).
    ZelPropertyItem source(parent, "Source", 1);
    source.AddItem(new ZelRegistryQuonSet(parent, "Child"));
    const ZelLines own = ZelReportsOf(ZelExhaustionReports([&] { ZelPropertyItem item(source); }),
                                      kItem + "ZelPropertyItem :: ZelPropertyItem ( const ZelPropertyItem & CopyObj)");
    ASSERT_GE(own.size(), 2u);
    EXPECT_EQ(own.front(), " | Catch am Methodenende | 1001 <- CMemoryException");
    for (size_t i = 1; i < own.size(); ++i) EXPECT_EQ(own[i], kZelEnd + " <- ZelPropertyObjectException");
}

TEST(PropertySet, CopyFactoriesTakeTheirOwnKindOnlyAndAnswerNullWithoutErrorOtherwise) {
    const ZelRegistryQuonSet location("Software\\Props", FALSE, FALSE);
    ZelPropertySet set(location, "Set");
    ZelPropertySets sets(location, "Sets");
    sets.AddItem(new ZelPropertyItem(sets, "Loose", 3));
    const ZelRegistryQuonSet plain(location, "Plain");
    const TaggedItem tagged(location, "Tagged", CString("t"));
    EXPECT_EQ(set.CreateChildObject(sets), nullptr);
    EXPECT_EQ(set.CreateChildObject(plain), nullptr);
    EXPECT_EQ(sets.CreateChildObject(tagged), nullptr);
    EXPECT_EQ(sets.CreateChildObject(plain), nullptr);

    const OwnedChild item(set.CreateChildObject(tagged));  // a class derived from the item, as an item
    EXPECT_TRUE(AsItem(item.get()) == tagged);
    const OwnedChild fromSets(sets.CreateChildObject(sets));  // a collection, as a set
    EXPECT_EQ(ZelClassOf(fromSets.get()), "ZelPropertySet");
    EXPECT_EQ(AsItem(fromSets->GetItem("Loose")).GetLong(), 3);
    const OwnedChild read(set.CreateChildObject(location, "Read"));
    EXPECT_EQ(AsItem(read.get()).GetItemType(), ITEMTYPE_NONE);
}

TEST(PropertySet, FactoriesTellMemoryExhaustionApart) {
    const ZelRegistryQuonSet location("Software\\Props", FALSE, FALSE);
    ZelPropertySet set(location, "Set");
    ZelPropertySets sets(location, "Sets");
    const ZelPropertyItem item(location, "Item", 1);
    const ZelPropertySet child(location, "Child");
    const CString key("K");
    const std::string setText = ".\\zelpropset | ZelRegistryQuonSet | ZelRegistryQuonSet * ZelRegistryQuonSet :: ";
    const std::string setsText = ".\\zelpropsets | ZelPropertySets | ZelRegistryQuonSet * ZelRegistryQuonSets::";
    const std::vector<std::pair<std::string, std::function<ZelRegistryQuonSet*()>>> factories = {
        {setText + "CreateChildObject( CopyObj )", [&] { return set.CreateChildObject(item); }},
        {setText + "CreateChildObject( Parent,.. )", [&] { return set.CreateChildObject(set, key); }},
        {setsText + "CreateChildObject( CopyObj )", [&] { return sets.CreateChildObject(child); }},
        {setsText + "CreateChildObject( Parent,.. )", [&] { return sets.CreateChildObject(sets, key); }},
    };
    // The child's own storage first, then the first allocation in its constructor, converted there.
    for (const auto& [text, create] : factories) {
        const auto make = [&, &create = create] { OwnedChild made(create()); };
        const ZelLines own = ZelReportsOf(ZelExhaustionReports(make), text);
        ASSERT_GE(own.size(), 2u) << text;
        EXPECT_EQ(own[0], " |  | 1002 <- CMemoryException") << text;
        EXPECT_EQ(own[1], " |  | 1001 <- ZelPropertyObjectException") << text;
    }
}

class PropsStore : public ZelRegistryTest {
protected:
    std::string At(const std::string& sub) const { return m_strFreePath + "\\" + sub; }
    Value Raw(const std::string& sub, const char* name) const {
        const ZelRawValue raw = ZelRawQuery(HKEY_CURRENT_USER, At(sub), name);
        return {raw.dwType, raw.data};
    }
    LONG Status(const std::string& sub, const char* name) const {
        return ZelRawQuery(HKEY_CURRENT_USER, At(sub), name).lStatus;
    }
    void SetRaw(const std::string& sub, const char* name, DWORD type, const void* data, DWORD size) {
        ASSERT_EQ(ZelRawSet(HKEY_CURRENT_USER, At(sub), name, type, data, size), ERROR_SUCCESS);
    }

    // Layouts with the sets Main (Width 800, Title "Main window") and Print (empty).
    ZelPropertySets Layouts() const {
        ZelPropertySets layouts(m_location, "Layouts");
        auto* main = new ZelPropertySet(layouts, "Main");
        layouts.AddItem(main);
        main->AddItem(new ZelPropertyItem(*main, "Width", 800));
        main->AddItem(new ZelPropertyItem(*main, "Title", CString("Main window")));
        layouts.AddItem(new ZelPropertySet(layouts, "Print"));
        return layouts;
    }

    const ZelRegistryQuonSet m_location{m_strFreePath.c_str(), FALSE, FALSE};
};

TEST_F(PropsStore, MinusOneAndTheEmptyStringGoThereAndBackExactly) {
    ZelPropertyItem number(m_location, "Number", -1);
    number.Write(nullptr, nullptr);
    EXPECT_EQ(Raw("Number", "TYPE"), (Value{REG_DWORD, {2, 0, 0, 0}}));
    EXPECT_EQ(Raw("Number", "VALUE"), (Value{REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}}));
    ZelPropertyItem empty(m_location, "Unused", CString(""));
    empty.Write(nullptr, "Empty");
    EXPECT_STREQ(empty.GetKey(), "Empty");
    EXPECT_FALSE(ZelRawKeyExists(HKEY_CURRENT_USER, At("Unused")));
    EXPECT_EQ(Raw("Empty", "TYPE"), (Value{REG_DWORD, {1, 0, 0, 0}}));
    EXPECT_EQ(Raw("Empty", "VALUE"), (Value{REG_SZ, {0}}));

    ZelPropertyItem back(m_location, "Number");
    EXPECT_EQ(back.Read(nullptr, nullptr), TRUE);
    EXPECT_TRUE(back == number);
    EXPECT_EQ(back.Read(nullptr, "Empty"), TRUE);
    EXPECT_EQ(back.GetItemType(), ITEMTYPE_STRING);
    EXPECT_STREQ(back.GetString(), "");
}

TEST_F(PropsStore, AnUnknownTypeIsKeptAMissingTypeReadsAsNoneAndReadingLeavesTheOtherField) {
    const DWORD seven = 7;
    SetRaw("Odd", "TYPE", REG_DWORD, &seven, sizeof seven);
    SetRaw("Odd", "VALUE", REG_SZ, "kept", 5);
    ZelPropertyItem odd(m_location, "Odd", 9);
    EXPECT_EQ(odd.Read(nullptr, nullptr), TRUE);
    EXPECT_EQ(odd.GetItemType(), 7);
    EXPECT_EQ(odd.GetLong(), 9) << "no VALUE is read for an unknown type";
    EXPECT_STREQ(odd.GetString(), "");
    odd.Write(nullptr, "OddCopy");
    EXPECT_EQ(Raw("OddCopy", "TYPE"), (Value{REG_DWORD, {7, 0, 0, 0}}));
    EXPECT_EQ(Status("OddCopy", "VALUE"), ERROR_FILE_NOT_FOUND);

    SetRaw("Untyped", "VALUE", REG_SZ, "ignored", 8);
    ZelPropertyItem untyped(m_location, "Untyped", CString("mine"));
    EXPECT_EQ(untyped.Read(nullptr, nullptr), TRUE);
    EXPECT_EQ(untyped.GetItemType(), ITEMTYPE_NONE);
    EXPECT_STREQ(untyped.GetString(), "mine");
    EXPECT_EQ(untyped.Read(nullptr, "Missing"), FALSE);
    EXPECT_STREQ(untyped.GetKey(), "Missing");

    // Reading a string leaves the long field as it was, so equal-looking items differ.
    ZelPropertyItem(m_location, "Title", CString("Main window")).Write(nullptr, nullptr);
    ZelPropertyItem reader(m_location, "Title", 9);
    EXPECT_EQ(reader.Read(nullptr, nullptr), TRUE);
    EXPECT_EQ(reader.GetItemType(), ITEMTYPE_STRING);
    EXPECT_STREQ(reader.GetString(), "Main window");
    EXPECT_FALSE(reader == ZelPropertyItem(m_location, "Title", CString("Main window"))) << "the long field holds 9";
}

TEST_F(PropsStore, AFailureWhileReadingOrWritingIsConvertedAndClosesTheItemKey) {
    // Its value primitives fail the framework's way; the fixture checks both keys were closed.
    struct Failing : ZelPropertyItem {
        using ZelPropertyItem::ZelPropertyItem;
        LONG QueryValue(HKEY, LPCTSTR, DWORD*, BYTE*, DWORD*) override { AfxThrowMemoryException(); }
        LONG SetValue(HKEY, LPCTSTR, DWORD, const BYTE*, DWORD) override { AfxThrowMemoryException(); }
    } item(m_location, "Item", 1);
    const std::string args = " ( const PVOID pHandle, const LPCTSTR pszKey )" + kZelEnd;
    EXPECT_EQ(ZelFailure([&] { item.Write(nullptr, nullptr); }),
              (ZelLines{kItem + "VOID ZelPropertyItem :: Write" + args, "CMemoryException"}));
    EXPECT_EQ(ZelFailure([&] { item.Read(nullptr, nullptr); }),
              (ZelLines{kItem + "BOOL ZelPropertyItem :: Read" + args, "CMemoryException"}));
}

TEST_F(PropsStore, TheLayoutsAreStoredValueByValueAndReadBackWithTheRightClassAtEveryLevel) {
    HKEY parent = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, m_strFreePath.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                              &parent, nullptr),
              ERROR_SUCCESS);
    Layouts().Write(parent, nullptr);
    RegCloseKey(parent);
    EXPECT_EQ(Raw("Layouts\\Main\\Width", "TYPE"), (Value{REG_DWORD, {2, 0, 0, 0}}));
    EXPECT_EQ(Raw("Layouts\\Main\\Width", "VALUE"), (Value{REG_DWORD, {0x20, 0x03, 0, 0}}));
    EXPECT_EQ(Raw("Layouts\\Main\\Title", "TYPE"), (Value{REG_DWORD, {1, 0, 0, 0}}));
    const std::string title("Main window", 12);  // with its terminating zero
    EXPECT_EQ(Raw("Layouts\\Main\\Title", "VALUE"), (Value{REG_SZ, {title.begin(), title.end()}}));
    EXPECT_TRUE(ZelRawKeyExists(HKEY_CURRENT_USER, At("Layouts\\Print")));
    EXPECT_EQ(Status("Layouts\\Main", "TYPE"), ERROR_FILE_NOT_FOUND) << "sets write no values of their own";
    ASSERT_EQ(ZelRawCreate(HKEY_CURRENT_USER, At("Layouts\\Main\\Width\\Deeper")), ERROR_SUCCESS);

    ZelPropertySets back(m_location, "Layouts");
    EXPECT_EQ(back.Read(nullptr, nullptr), TRUE);
    ASSERT_EQ(back.GetCount(), 2);
    for (POSITION pos = back.GetHeadPosition(); pos != nullptr;)
        EXPECT_EQ(ZelClassOf(back.GetNext(pos)), "ZelPropertySet");
    ZelRegistryQuonSet* main = back.GetItem("Main");
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->GetCount(), 2);
    EXPECT_EQ(AsItem(main->GetItem("Width")).GetLong(), 800);
    EXPECT_EQ(AsItem(main->GetItem("Width")).GetCount(), 0) << "keys below an item's key are not read";
    EXPECT_STREQ(AsItem(main->GetItem("Title")).GetString(), "Main window");
    EXPECT_EQ(back.GetItem("Print")->GetCount(), 0);
}

TEST_F(PropsStore, CopiesRebuildEveryLevelWithSeparateItems) {
    const ZelPropertySets source = Layouts();
    const ZelPropertySets copy(source);
    EXPECT_TRUE(copy == source);
    ZelRegistryQuonSet* main = copy.GetItem("Main");
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(ZelClassOf(main), "ZelPropertySet");
    ZelRegistryQuonSet* sourceWidth = source.GetItem("Main")->GetItem("Width");
    ZelPropertyItem& width = AsItem(main->GetItem("Width"));
    EXPECT_NE(&width, sourceWidth);
    EXPECT_TRUE(width == AsItem(sourceWidth));

    // Sets compare their items as nodes: an item that differs only in value leaves them equal.
    width.SetLong(1024);
    EXPECT_EQ(AsItem(sourceWidth).GetLong(), 800);
    EXPECT_TRUE(copy == source);

    ZelPropertySet assigned;
    assigned = static_cast<const ZelPropertySet&>(*main);
    EXPECT_EQ(AsItem(assigned.GetItem("Width")).GetLong(), 1024);
    EXPECT_STREQ(AsItem(assigned.GetItem("Title")).GetString(), "Main window");
}

}  // namespace
