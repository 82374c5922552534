// Property sets and set collections: the classes their factories give the children when a
// tree is read back or copied, the registry layout of a whole collection, and factories that
// run out of memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/afx/AfxTestHooks.h"
#include "support/ZelExceptionCheck.h"
#include "support/ZelRegistryFixture.h"
#include "zelpropitem.h"
#include "zelpropsets.h"

// A class derived from the item, with a record of its own (outside the anonymous namespace,
// whose unused record accessor would be an error).
class TaggedItem : public ZelPropertyItem {
    DECLARE_DYNAMIC(TaggedItem)
public:
    using ZelPropertyItem::ZelPropertyItem;
};
IMPLEMENT_DYNAMIC(TaggedItem, ZelPropertyItem)

namespace {

using OwnedChild = std::unique_ptr<ZelRegistryQuonSet>;

// A child that must be a property item, as one.
ZelPropertyItem& AsItem(ZelRegistryQuonSet* node) {
    EXPECT_NE(node, nullptr);
    EXPECT_EQ(node->GetRuntimeClass(), RUNTIME_CLASS(ZelPropertyItem));
    return static_cast<ZelPropertyItem&>(*node);
}

class PropertySets : public ZelRegistryTest {
protected:
    std::string At(const std::string& sub) const { return m_strFreePath + "\\" + sub; }

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

TEST_F(PropertySets, TheLayoutsExampleIsStoredValueByValueAndReadBackWithTheRightClasses) {
    HKEY parent = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, m_strFreePath.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE,
                              nullptr, &parent, nullptr),
              ERROR_SUCCESS);
    Layouts().Write(parent, nullptr);
    RegCloseKey(parent);

    const std::string width = At("Layouts\\Main\\Width");
    const std::string title = At("Layouts\\Main\\Title");
    const ZelRawValue widthType = ZelRawQuery(HKEY_CURRENT_USER, width, "TYPE");
    const ZelRawValue widthValue = ZelRawQuery(HKEY_CURRENT_USER, width, "VALUE");
    const ZelRawValue titleType = ZelRawQuery(HKEY_CURRENT_USER, title, "TYPE");
    const ZelRawValue titleValue = ZelRawQuery(HKEY_CURRENT_USER, title, "VALUE");
    EXPECT_EQ(widthType.dwType, DWORD{REG_DWORD});
    EXPECT_EQ(widthType.data, (std::vector<BYTE>{2, 0, 0, 0}));
    EXPECT_EQ(widthValue.dwType, DWORD{REG_DWORD});
    EXPECT_EQ(widthValue.data, (std::vector<BYTE>{0x20, 0x03, 0, 0}));
    EXPECT_EQ(titleType.dwType, DWORD{REG_DWORD});
    EXPECT_EQ(titleType.data, (std::vector<BYTE>{1, 0, 0, 0}));
    EXPECT_EQ(titleValue.dwType, DWORD{REG_SZ});
    EXPECT_EQ(titleValue.Text(), std::string("Main window", 12)) << "the text and its terminating zero";
    EXPECT_TRUE(ZelRawKeyExists(HKEY_CURRENT_USER, At("Layouts\\Print")));
    // Sets write no values of their own, and keys below an item's key are not read.
    EXPECT_EQ(ZelRawQuery(HKEY_CURRENT_USER, At("Layouts\\Main"), "TYPE").lStatus, ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(ZelRawCreate(HKEY_CURRENT_USER, width + "\\Deeper"), ERROR_SUCCESS);

    ZelPropertySets back(m_location, "Layouts");
    EXPECT_EQ(back.Read(nullptr, nullptr), TRUE);
    ASSERT_EQ(back.GetCount(), 2);
    for (POSITION pos = back.GetHeadPosition(); pos != nullptr;)
        EXPECT_EQ(back.GetNext(pos)->GetRuntimeClass(), RUNTIME_CLASS(ZelPropertySet));
    ZelRegistryQuonSet* main = back.GetItem("Main");
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->GetCount(), 2);
    EXPECT_EQ(AsItem(main->GetItem("Width")).GetLong(), 800);
    EXPECT_EQ(AsItem(main->GetItem("Width")).GetCount(), 0);
    EXPECT_EQ(AsItem(main->GetItem("Title")).GetItemType(), ITEMTYPE_STRING);
    EXPECT_STREQ(AsItem(main->GetItem("Title")).GetString(), "Main window");
    EXPECT_EQ(back.GetItem("Print")->GetCount(), 0);

    // A plain node gets the same keys as plain nodes, which carry no values.
    ZelRegistryQuonSet plain(m_location, "Layouts");
    EXPECT_EQ(plain.Read(nullptr, nullptr), TRUE);
    ZelRegistryQuonSet* plainWidth = plain.GetItem("Main")->GetItem("Width");
    ASSERT_NE(plainWidth, nullptr);
    EXPECT_EQ(plainWidth->GetRuntimeClass(), RUNTIME_CLASS(ZelRegistryQuonSet));
    EXPECT_EQ(plainWidth->GetCount(), 1) << "a plain node reads the key below as a child";
}

TEST_F(PropertySets, CopyFactoriesTakeTheirOwnKindOnlyAndAnswerNullWithoutErrorOtherwise) {
    ZelPropertySet set(m_location, "Set");
    ZelPropertySets sets(m_location, "Sets");
    sets.AddItem(new ZelPropertyItem(sets, "Loose", 3));
    const ZelRegistryQuonSet plain(m_location, "Plain");
    const TaggedItem tagged(m_location, "Tagged", CString("t"));

    EXPECT_EQ(set.CreateChildObject(ZelPropertySet(m_location, "S")), nullptr);
    EXPECT_EQ(set.CreateChildObject(sets), nullptr);
    EXPECT_EQ(set.CreateChildObject(plain), nullptr);
    // An object of a class derived from the item is copied as an item.
    const OwnedChild item(set.CreateChildObject(tagged));
    EXPECT_TRUE(AsItem(item.get()) == tagged);
    EXPECT_NE(item.get(), &tagged);

    EXPECT_EQ(sets.CreateChildObject(tagged), nullptr);
    EXPECT_EQ(sets.CreateChildObject(plain), nullptr);
    const OwnedChild fromSets(sets.CreateChildObject(sets));
    ASSERT_NE(fromSets, nullptr);
    EXPECT_EQ(fromSets->GetRuntimeClass(), RUNTIME_CLASS(ZelPropertySet));
    EXPECT_EQ(AsItem(fromSets->GetItem("Loose")).GetLong(), 3);
    const OwnedChild read(set.CreateChildObject(m_location, "Read"));
    EXPECT_EQ(AsItem(read.get()).GetItemType(), ITEMTYPE_NONE);
}

TEST_F(PropertySets, CopiesRebuildEveryLevelWithSeparateItems) {
    const ZelPropertySets source = Layouts();
    const ZelPropertySets copy(source);
    EXPECT_TRUE(copy == source);
    ZelRegistryQuonSet* main = copy.GetItem("Main");
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->GetRuntimeClass(), RUNTIME_CLASS(ZelPropertySet));
    ZelRegistryQuonSet* sourceWidth = source.GetItem("Main")->GetItem("Width");
    ZelPropertyItem& width = AsItem(main->GetItem("Width"));
    EXPECT_NE(&width, sourceWidth);
    EXPECT_TRUE(width == AsItem(sourceWidth));

    // The items are compared as nodes: a set whose item differs only in value stays equal.
    width.SetLong(1024);
    EXPECT_EQ(AsItem(sourceWidth).GetLong(), 800);
    EXPECT_TRUE(copy == source);

    ZelPropertySet assigned;
    assigned = static_cast<const ZelPropertySet&>(*main);
    EXPECT_EQ(AsItem(assigned.GetItem("Width")).GetLong(), 1024);
    EXPECT_STREQ(AsItem(assigned.GetItem("Title")).GetString(), "Main window");
}

TEST_F(PropertySets, FactoriesTellMemoryExhaustionApart) {
    ZelPropertySet set(m_location, "Set");
    ZelPropertySets sets(m_location, "Sets");
    const ZelPropertyItem item(m_location, "Item", 1);
    const ZelPropertySet child(m_location, "Child");
    const CString key("K");
    const std::string setText = ".\\zelpropset | ZelRegistryQuonSet | ZelRegistryQuonSet * ZelRegistryQuonSet :: ";
    const std::string setsText = ".\\zelpropsets | ZelPropertySets | ZelRegistryQuonSet * ZelRegistryQuonSets::";
    const std::vector<std::pair<std::string, std::function<ZelRegistryQuonSet*()>>> factories = {
        {setText + "CreateChildObject( CopyObj )", [&] { return set.CreateChildObject(item); }},
        {setText + "CreateChildObject( Parent,.. )", [&] { return set.CreateChildObject(set, key); }},
        {setsText + "CreateChildObject( CopyObj )", [&] { return sets.CreateChildObject(child); }},
        {setsText + "CreateChildObject( Parent,.. )", [&] { return sets.CreateChildObject(sets, key); }},
    };
    for (const auto& [text, create] : factories) {
        // The child's own storage, then the first allocation inside its constructor, which
        // that constructor has converted already.
        for (const auto& [nth, expected] : {std::pair{1ul, " |  | 1002"}, std::pair{2ul, " |  | 1001"}}) {
            AfxTestFailAllocation(nth);
            auto e = ZelExpectConverted([&, &create = create] { OwnedChild made(create()); });
            AfxTestFailAllocation(0);
            ASSERT_TRUE(e) << text;
            EXPECT_EQ(ZelDescribe(*e), text + expected);
            EXPECT_EQ(e->GetCause()->IsKindOf(RUNTIME_CLASS(CMemoryException)), nth == 1) << text;
        }
    }
}

}  // namespace
