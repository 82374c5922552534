// Property items: the type and its two value fields in memory, the wrong-type error, copying,
// constructors that run out of memory, and the values "TYPE" and "VALUE" in the registry.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/ZelExceptionCheck.h"
#include "support/ZelExhaustion.h"
#include "support/ZelRegistryFixture.h"
#include "zelpropitem.h"

namespace {

const std::string kItem = ".\\zelpropitem | ZelPropertyItem | ";

std::vector<BYTE> Bytes(std::initializer_list<int> bytes) { return std::vector<BYTE>(bytes.begin(), bytes.end()); }

TEST(PropertyItem, ATypeChangeClearsTheOtherFieldAndTheWrongTypeIsRefusedLeavingTheItem) {
    const ZelRegistryQuonSet parent("Software\\Props", FALSE, FALSE);
    const ZelPropertyItem fresh;
    EXPECT_EQ(fresh.GetItemType(), ITEMTYPE_NONE);
    EXPECT_STREQ(fresh.GetString(), "");
    EXPECT_EQ(fresh.GetLong(), 0);

    const HINSTANCE host = AfxGetResourceHandle();
    ZelPropertyItem item(parent, "K", CString("abc"));
    item.SetLong(5);
    EXPECT_TRUE(item == ZelPropertyItem(parent, "K", 5)) << "the string field must have been emptied";
    auto e = ZelExpectConverted([&] { item.GetString(); });
    ASSERT_TRUE(e);
    EXPECT_EQ(ZelDescribe(*e), kItem + "CString ZelPropertyItem :: GetString() | Catch am Methodenende | 1001");
    EXPECT_EQ(ZelLocalCauseNo(*e), 2803u);
    EXPECT_EQ(AfxGetResourceHandle(), host) << "the language module's scope must end with the error";
    EXPECT_EQ(item.GetItemType(), ITEMTYPE_LONG);
    EXPECT_EQ(item.GetLong(), 5);

    item.SetString("x");
    EXPECT_TRUE(item == ZelPropertyItem(parent, "K", CString("x"))) << "the long field must be 0 again";
    e = ZelExpectConverted([&] { item.GetLong(); });
    ASSERT_TRUE(e);
    EXPECT_EQ(ZelDescribe(*e), kItem + "LONG ZelPropertyItem::GetLong() | Catch am Methodenende | 1001");
    EXPECT_EQ(ZelLocalCauseNo(*e), 2803u);
    EXPECT_STREQ(item.GetString(), "x");
}

TEST(PropertyItem, CopiesCarryTypeAndValueAndAnItemCanBeAssignedFromItsOwnChild) {
    const ZelRegistryQuonSet parent("Software\\Props", FALSE, FALSE);
    ZelPropertyItem source(parent, "Width", 800);
    source.AddItem(new ZelRegistryQuonSet(parent, "Child"));
    const ZelPropertyItem copy(source);
    EXPECT_TRUE(copy == source);
    EXPECT_EQ(copy.GetLong(), 800);
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
    const std::vector<std::pair<std::string, std::function<void()>>> constructors = {
        {"ZelPropertyItem :: ZelPropertyItem()", [] { ZelPropertyItem item; }},
        {"ZelPropertyItem  :: ZelPropertyItem ( const ZelRegistryQuonSet & Parent, const CString & szKey )",
         [&] { ZelPropertyItem item(parent, key); }},
        {"ZelPropertyItem  :: ZelPropertyItem ( const ZelRegistryQuonSet & Parent, const CString & szKey, "
         "const CString & szValue )",
         [&] { ZelPropertyItem item(parent, key, value); }},
        {"ZelPropertyItem  :: ZelPropertyItem ( const ZelRegistryQuonSet & Parent, const CString & szKey,LONG nValue )",
         [&] { ZelPropertyItem item(parent, key, 7); }},
    };
    // Only the item's own state is made in the item's try block; what the node part reports
    // passes unchanged.
    const std::vector<std::string> once{" |  | 1002 <- CMemoryException"};
    for (const auto& [method, make] : constructors)
        EXPECT_EQ(ZelReportsOf(ZelExhaustionReports(make), kItem + method), once);

    // The copy constructor does not tell exhaustion apart. Failing after its state was made,
    // while the children are copied, it must release that state (the sanitizer sees leaks).
    ZelPropertyItem source(parent, "Source", 1);
    source.AddItem(new ZelRegistryQuonSet(parent, "Child"));
    const std::vector<std::string> own =
        ZelReportsOf(ZelExhaustionReports([&] { ZelPropertyItem item(source); }),
                     kItem + "ZelPropertyItem :: ZelPropertyItem ( const ZelPropertyItem & CopyObj)");
    ASSERT_GE(own.size(), 2u);
    EXPECT_EQ(own.front(), " | Catch am Methodenende | 1001 <- CMemoryException");
    for (size_t i = 1; i < own.size(); ++i)
        EXPECT_EQ(own[i], " | Catch am Methodenende | 1001 <- ZelPropertyObjectException");
}

class PropertyItemStore : public ZelRegistryTest {
protected:
    std::string At(const std::string& sub) const { return m_strFreePath + "\\" + sub; }
    ZelRawValue Raw(const std::string& sub, const char* name) const { return ZelRawQuery(HKEY_CURRENT_USER, At(sub), name); }
    void SetRaw(const std::string& sub, const char* name, DWORD type, const void* data, DWORD size) {
        ASSERT_EQ(ZelRawSet(HKEY_CURRENT_USER, At(sub), name, type, data, size), ERROR_SUCCESS);
    }

    const ZelRegistryQuonSet m_location{m_strFreePath.c_str(), FALSE, FALSE};
};

TEST_F(PropertyItemStore, MinusOneAndTheEmptyStringGoThereAndBackExactly) {
    ZelPropertyItem number(m_location, "Number", -1);
    number.Write(nullptr, nullptr);
    EXPECT_EQ(Raw("Number", "TYPE").dwType, DWORD{REG_DWORD});
    EXPECT_EQ(Raw("Number", "TYPE").data, Bytes({2, 0, 0, 0}));
    EXPECT_EQ(Raw("Number", "VALUE").dwType, DWORD{REG_DWORD});
    EXPECT_EQ(Raw("Number", "VALUE").data, Bytes({0xFF, 0xFF, 0xFF, 0xFF}));

    ZelPropertyItem empty(m_location, "Unused", CString(""));
    empty.Write(nullptr, "Empty");
    EXPECT_STREQ(empty.GetKey(), "Empty");
    EXPECT_FALSE(ZelRawKeyExists(HKEY_CURRENT_USER, At("Unused")));
    EXPECT_EQ(Raw("Empty", "TYPE").data, Bytes({1, 0, 0, 0}));
    EXPECT_EQ(Raw("Empty", "VALUE").dwType, DWORD{REG_SZ});
    EXPECT_EQ(Raw("Empty", "VALUE").data, Bytes({0}));

    ZelPropertyItem back(m_location, "Number");
    EXPECT_EQ(back.Read(nullptr, nullptr), TRUE);
    EXPECT_TRUE(back == number);
    EXPECT_EQ(back.Read(nullptr, "Empty"), TRUE);
    EXPECT_EQ(back.GetItemType(), ITEMTYPE_STRING);
    EXPECT_STREQ(back.GetString(), "");
}

TEST_F(PropertyItemStore, AnUnknownTypeIsKeptAndAMissingTypeReadsAsNone) {
    const DWORD seven = 7;
    SetRaw("Odd", "TYPE", REG_DWORD, &seven, sizeof seven);
    SetRaw("Odd", "VALUE", REG_SZ, "kept", 5);
    ZelPropertyItem odd(m_location, "Odd", 9);
    EXPECT_EQ(odd.Read(nullptr, nullptr), TRUE);
    EXPECT_EQ(odd.GetItemType(), 7);
    EXPECT_EQ(odd.GetLong(), 9) << "no VALUE is read for an unknown type";
    EXPECT_STREQ(odd.GetString(), "");
    odd.Write(nullptr, "OddCopy");
    EXPECT_EQ(Raw("OddCopy", "TYPE").data, Bytes({7, 0, 0, 0}));
    EXPECT_EQ(Raw("OddCopy", "VALUE").lStatus, ERROR_FILE_NOT_FOUND);

    SetRaw("Untyped", "VALUE", REG_SZ, "ignored", 8);
    ZelPropertyItem untyped(m_location, "Untyped", CString("mine"));
    EXPECT_EQ(untyped.Read(nullptr, nullptr), TRUE);
    EXPECT_EQ(untyped.GetItemType(), ITEMTYPE_NONE);
    EXPECT_STREQ(untyped.GetString(), "mine");

    EXPECT_EQ(untyped.Read(nullptr, "Missing"), FALSE);
    EXPECT_STREQ(untyped.GetKey(), "Missing");
}

TEST_F(PropertyItemStore, AStaleFieldLeftByReadingMakesEqualItemsDiffer) {
    ZelPropertyItem(m_location, "Title", CString("Main window")).Write(nullptr, nullptr);
    ZelPropertyItem reader(m_location, "Title", 9);
    EXPECT_EQ(reader.Read(nullptr, nullptr), TRUE);
    EXPECT_STREQ(reader.GetString(), "Main window");
    const ZelPropertyItem fresh(m_location, "Title", CString("Main window"));
    EXPECT_FALSE(reader == fresh) << "the long field still holds 9";
    reader.SetLong(0);
    reader.SetString("Main window");
    EXPECT_TRUE(reader == fresh);
}

TEST_F(PropertyItemStore, AFailureWhileReadingOrWritingClosesTheItemKey) {
    // An item whose value primitives fail the framework's way.
    class Failing : public ZelPropertyItem {
    public:
        using ZelPropertyItem::ZelPropertyItem;
        LONG QueryValue(HKEY, LPCTSTR, DWORD*, BYTE*, DWORD*) override { AfxThrowMemoryException(); }
        LONG SetValue(HKEY, LPCTSTR, DWORD, const BYTE*, DWORD) override { AfxThrowMemoryException(); }
    };
    Failing item(m_location, "Item", 1);
    auto written = ZelExpectConverted([&] { item.Write(nullptr, nullptr); });
    ASSERT_TRUE(written);
    EXPECT_EQ(ZelDescribe(*written), kItem + "VOID ZelPropertyItem :: Write ( const PVOID pHandle, const LPCTSTR pszKey ) | "
                                             "Catch am Methodenende | 1001");
    auto read = ZelExpectConverted([&] { item.Read(nullptr, nullptr); });
    ASSERT_TRUE(read);
    EXPECT_EQ(ZelDescribe(*read), kItem + "BOOL ZelPropertyItem :: Read ( const PVOID pHandle, const LPCTSTR pszKey ) | "
                                          "Catch am Methodenende | 1001");
    // The fixture's tear-down checks that both keys were closed.
}

}  // namespace
