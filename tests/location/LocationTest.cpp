// Registry locations: path composition, the two forms, copying, and what a location without
// its implementation object still does.
#include <gtest/gtest.h>

#include <string>

#include "ZelRegistryBase.h"
#include "platform/afx/AfxTestHooks.h"
#include "support/ZelExceptionCheck.h"

namespace {

std::string PathOf(const ZelRegistryBase& location) {
    return static_cast<const char*>(location.GetRegistryPath());
}

const std::string kLedger = "Software\\Quellmar\\Components\\Ledger\\Versions\\2.0\\";

ZelRegistryBase::eSubKey SubKey(int n) { return static_cast<ZelRegistryBase::eSubKey>(n); }

TEST(LocationPath, ComposesEverySubKeyValueAndFallsBackToAdditionalInfos) {
    const std::pair<int, const char*> cases[] = {{0, "Options"},         {1, "Properties"},
                                                 {2, "AdditionalInfos"}, {3, "Settings"},
                                                 {4, "AdditionalInfos"}, {-1, "AdditionalInfos"},
                                                 {0x7fffffff, "AdditionalInfos"}};
    for (const auto& [value, name] : cases) {
        ZelRegistryBase location("Ledger", "2.0", SubKey(value), nullptr, nullptr, FALSE, FALSE);
        EXPECT_EQ(PathOf(location), kLedger + name) << "sub-key value " << value;
    }
}

TEST(LocationPath, SubPathAndSegmentsAreTakenAsTheyAre) {
    ZelRegistryBase print("Ledger", "2.0", ZelRegistryBase::eSettings, "Print\\Layouts", "r", FALSE, FALSE);
    EXPECT_EQ(PathOf(print), kLedger + "Settings\\Print\\Layouts");

    ZelRegistryBase empty("Ledger", "2.0", ZelRegistryBase::eSettings, "", nullptr, FALSE, FALSE);
    EXPECT_EQ(PathOf(empty), kLedger + "Settings");
    ZelRegistryBase single("Ledger", "2.0", ZelRegistryBase::eSettings, "P", nullptr, FALSE, FALSE);
    EXPECT_EQ(PathOf(single), kLedger + "Settings\\P");

    // Empty and null segments leave doubled separators; nothing is validated or trimmed.
    ZelRegistryBase blank("", nullptr, ZelRegistryBase::eOptions, nullptr, nullptr, FALSE, FALSE);
    EXPECT_EQ(PathOf(blank), "Software\\Quellmar\\Components\\\\Versions\\\\Options");
    ZelRegistryBase spaced(" A\\B ", "\\1\\", ZelRegistryBase::eOptions, "\\", nullptr, FALSE, FALSE);
    EXPECT_EQ(PathOf(spaced), "Software\\Quellmar\\Components\\ A\\B \\Versions\\\\1\\\\Options\\\\");
}

TEST(LocationForms, FreePathAndTheSwitchBetweenForms) {
    ZelRegistryBase none;
    EXPECT_EQ(PathOf(none), "");

    ZelRegistryBase free("\\Software\\Free\\", FALSE, FALSE);
    EXPECT_EQ(PathOf(free), "\\Software\\Free\\");
    ZelRegistryBase nullPath(nullptr, TRUE, TRUE);
    EXPECT_EQ(PathOf(nullPath), "");

    // The short Create changes the text but never the form: a composed location takes the
    // new text as its component.
    ZelRegistryBase composed("Ledger", "2.0", ZelRegistryBase::eOptions, nullptr, nullptr, FALSE, FALSE);
    composed.Create("Other", FALSE, FALSE);
    EXPECT_EQ(PathOf(composed), "Software\\Quellmar\\Components\\Other\\Versions\\2.0\\Options");

    // The long Create switches a free location to the composed form for good.
    free.Create("Ledger", "2.0", ZelRegistryBase::eProperties, "X", nullptr, FALSE, FALSE);
    EXPECT_EQ(PathOf(free), kLedger + "Properties\\X");
    free.Create("Plain", FALSE, FALSE);
    EXPECT_EQ(PathOf(free), "Software\\Quellmar\\Components\\Plain\\Versions\\2.0\\Properties\\X");
}

TEST(LocationCopy, CopyAndAssignmentCarryTheWholeLocation) {
    ZelRegistryBase source("Ledger", "2.0", ZelRegistryBase::eSettings, "Print", "reserved", TRUE, TRUE);
    ZelRegistryBase copy(source);
    EXPECT_EQ(PathOf(copy), PathOf(source));

    ZelRegistryBase target("\\free", FALSE, FALSE);
    target = source;
    EXPECT_EQ(PathOf(target), PathOf(source));
    // The form travels with the rest: the assigned location stays composed.
    target.Create("Other", FALSE, FALSE);
    EXPECT_EQ(PathOf(target), "Software\\Quellmar\\Components\\Other\\Versions\\2.0\\Settings\\Print");

    // The copy is independent of its source.
    source.Create("Changed", "9", ZelRegistryBase::eOptions, nullptr, nullptr, FALSE, FALSE);
    EXPECT_EQ(PathOf(copy), kLedger + "Settings\\Print");

    const ZelRegistryBase& self = target;
    target = self;
    EXPECT_EQ(PathOf(target), "Software\\Quellmar\\Components\\Other\\Versions\\2.0\\Settings\\Print");

    // Equality asks only whether both locations are intact.
    EXPECT_TRUE(ZelRegistryBase("a", FALSE, FALSE) == ZelRegistryBase("b", TRUE, TRUE));
}

TEST(LocationFailure, FailedCreateLeavesALocationWithoutState) {
    ZelRegistryBase location("\\before", FALSE, FALSE);
    AfxTestFailAllocation(1);  // the copy of the component text
    auto e = ZelExpectConverted([&] {
        location.Create("Ledger", "2.0", ZelRegistryBase::eOptions, nullptr, nullptr, FALSE, FALSE);
    });
    ASSERT_TRUE(e);
    EXPECT_EQ(ZelDescribe(*e), ".\\ZelRegistryBase | ZelRegistryBase | "
                               "PVOID ZelRegistryBase :: Create ( LPCTSTR, LPCTSTR,... ) | "
                               "Catch am Methodenende | 1001");
    ASSERT_NE(e->GetCause(), nullptr);
    EXPECT_TRUE(e->GetCause()->IsKindOf(RUNTIME_CLASS(CMemoryException)));

    // Without its state the object answers with empty results and ignores changes.
    EXPECT_EQ(PathOf(location), "");
    location.Create("Ledger", "2.0", ZelRegistryBase::eOptions, nullptr, nullptr, FALSE, FALSE);
    location.Create("\\again", FALSE, FALSE);
    EXPECT_EQ(PathOf(location), "");
    ZelRegistryBase intact("\\intact", FALSE, FALSE);
    EXPECT_FALSE(location == intact);
    EXPECT_FALSE(intact == location);
    location = intact;
    EXPECT_EQ(PathOf(location), "");
    intact = location;
    EXPECT_EQ(PathOf(intact), "\\intact");
    ZelRegistryBase copyOfBroken(location);
    EXPECT_EQ(PathOf(copyOfBroken), "");
    EXPECT_TRUE(copyOfBroken == intact);
}

TEST(LocationFailure, ConstructorsReportTheirOwnTextsAboveTheFailure) {
    // The implementation object cannot be had: one clause, so no memory number.
    AfxTestFailAllocation(1);
    auto plain = ZelExpectConverted([] { ZelRegistryBase location; });
    ASSERT_TRUE(plain);
    EXPECT_EQ(ZelDescribe(*plain), ".\\ZelRegistryBase | ZelRegistryBase | "
                                   "ZelRegistryBase :: ZelRegistryBase ( VOID ) | "
                                   "Catch am Methodenende | 1001");
    EXPECT_TRUE(plain->GetCause()->IsKindOf(RUNTIME_CLASS(CMemoryException)));

    // The long constructor's Create fails: constructor, Create and the memory failure form
    // a chain of three.
    AfxTestFailAllocation(2);
    auto chain = ZelExpectConverted([] {
        ZelRegistryBase location("Ledger", "2.0", ZelRegistryBase::eOptions, nullptr, nullptr, FALSE, FALSE);
    });
    ASSERT_TRUE(chain);
    EXPECT_EQ(ZelDescribe(*chain), ".\\ZelRegistryBase | ZelRegistryBase | "
                                   "ZelRegistryBase :: ZelRegistryBase( LPCTSTR, LPCTSTR,... ) | "
                                   "Catch am Methodenende | 1001");
    ZelPropertyObjectException* create = ZelObjectCause(*chain);
    ASSERT_NE(create, nullptr);
    EXPECT_EQ(ZelText(create->GetMethodText()), "PVOID ZelRegistryBase :: Create ( LPCTSTR, LPCTSTR,... )");
    ASSERT_NE(create->GetCause(), nullptr);
    EXPECT_TRUE(create->GetCause()->IsKindOf(RUNTIME_CLASS(CMemoryException)));

    // The short form's Create reports under the short constructor's text.
    AfxTestFailAllocation(2);
    auto shortChain = ZelExpectConverted([] { ZelRegistryBase location("\\path", FALSE, FALSE); });
    ASSERT_TRUE(shortChain);
    const std::string shortText = "ZelRegistryBase :: ZelRegistryBase( PVOID&, ... )";
    EXPECT_EQ(ZelText(shortChain->GetMethodText()), shortText);
    ASSERT_NE(ZelObjectCause(*shortChain), nullptr);
    EXPECT_EQ(ZelText(ZelObjectCause(*shortChain)->GetMethodText()), shortText);

    ZelRegistryBase source("\\source", FALSE, FALSE);
    AfxTestFailAllocation(1);
    auto copy = ZelExpectConverted([&] { ZelRegistryBase location(source); });
    ASSERT_TRUE(copy);
    EXPECT_EQ(ZelText(copy->GetMethodText()), "ZelRegistryBase :: ZelRegistryBase( const ZelRegistryBase & )");
}

}  // namespace
