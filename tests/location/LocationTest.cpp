// Registry locations: path composition, the two forms, copying, and what a location without its
// implementation object still does.
#include <gtest/gtest.h>

#include <string>

#include "ZelRegistryBase.h"
#include "platform/afx/AfxTestHooks.h"
#include "tree/ZelTreeTestSupport.h"

namespace {

const std::string kComponents = "Software\\Quellmar\\Components\\";
const std::string kLedger = kComponents + "Ledger\\Versions\\2.0\\";
const std::string kBase = ".\\ZelRegistryBase | ZelRegistryBase | ";
const std::string kCreate = kBase + "PVOID ZelRegistryBase :: Create ( LPCTSTR, LPCTSTR,... )" + kZelEnd;

TEST(Location, ComposesEverySubKeyValueAndTakesSegmentsAsTheyAre) {
    const struct {
        const char *component, *version;
        int subKey;
        const char* subPath;
        std::string path;
    } cases[] = {
        {"Ledger", "2.0", 0, nullptr, kLedger + "Options"},
        {"Ledger", "2.0", 1, nullptr, kLedger + "Properties"},
        {"Ledger", "2.0", 2, nullptr, kLedger + "AdditionalInfos"},
        {"Ledger", "2.0", 3, "", kLedger + "Settings"},
        // Unknown values fall back to the additional infos.
        {"Ledger", "2.0", 4, nullptr, kLedger + "AdditionalInfos"},
        {"Ledger", "2.0", -1, nullptr, kLedger + "AdditionalInfos"},
        {"Ledger", "2.0", 3, "Print\\Layouts", kLedger + "Settings\\Print\\Layouts"},
        // Empty and null segments leave doubled separators; nothing is validated or trimmed.
        {"", nullptr, 0, nullptr, kComponents + "\\Versions\\\\Options"},
        {" A\\B ", "\\1\\", 0, "\\", kComponents + " A\\B \\Versions\\\\1\\\\Options\\\\"},
    };
    for (const auto& c : cases) {
        const auto subKey = static_cast<ZelRegistryBase::eSubKey>(c.subKey);
        const ZelRegistryBase location(c.component, c.version, subKey, c.subPath, "r", FALSE, FALSE);
        EXPECT_EQ(ZelPathOf(location), c.path) << c.subKey << " " << (c.subPath ? c.subPath : "null");
    }
}

TEST(Location, TheShortCreateChangesTheTextButNeverTheForm) {
    EXPECT_EQ(ZelPathOf(ZelRegistryBase()), "");
    EXPECT_EQ(ZelPathOf(ZelRegistryBase(nullptr, TRUE, TRUE)), "");
    ZelRegistryBase free("\\Software\\Free\\", FALSE, FALSE);
    EXPECT_EQ(ZelPathOf(free), "\\Software\\Free\\");

    // A composed location takes the new text as its component.
    ZelRegistryBase composed("Ledger", "2.0", ZelRegistryBase::eOptions, nullptr, nullptr, FALSE, FALSE);
    composed.Create("Other", FALSE, FALSE);
    EXPECT_EQ(ZelPathOf(composed), kComponents + "Other\\Versions\\2.0\\Options");
    // The long Create switches a free location to the composed form for good.
    free.Create("Ledger", "2.0", ZelRegistryBase::eProperties, "X", nullptr, FALSE, FALSE);
    EXPECT_EQ(ZelPathOf(free), kLedger + "Properties\\X");
    free.Create("Plain", FALSE, FALSE);
    EXPECT_EQ(ZelPathOf(free), kComponents + "Plain\\Versions\\2.0\\Properties\\X");
}

TEST(Location, CopyAndAssignmentCarryTheWholeLocationAndStayIndependent) {
    ZelRegistryBase source("Ledger", "2.0", ZelRegistryBase::eSettings, "Print", "reserved", TRUE, TRUE);
    const ZelRegistryBase copy(source);
    ZelRegistryBase target("\\free", FALSE, FALSE);
    target = source;
    target.Create("Other", FALSE, FALSE);  // the form travels with the rest: still composed
    const std::string other = kComponents + "Other\\Versions\\2.0\\Settings\\Print";
    EXPECT_EQ(ZelPathOf(target), other);
    source.Create("Changed", "9", ZelRegistryBase::eOptions, nullptr, nullptr, FALSE, FALSE);
    EXPECT_EQ(ZelPathOf(copy), kLedger + "Settings\\Print");
    const ZelRegistryBase& self = target;
    target = self;
    EXPECT_EQ(ZelPathOf(target), other);
    // Equality asks only whether both locations are intact.
    EXPECT_TRUE(ZelRegistryBase("a", FALSE, FALSE) == ZelRegistryBase("b", TRUE, TRUE));
}

TEST(Location, AFailedCreateLeavesALocationWithoutStateThatAnswersEmptyAndIgnoresChanges) {
    ZelRegistryBase location("\\before", FALSE, FALSE);
    AfxTestFailAllocation(1);  // the copy of the component text
    const ZelLines failure = ZelFailure(
        [&] { location.Create("Ledger", "2.0", ZelRegistryBase::eOptions, nullptr, nullptr, FALSE, FALSE); });
    AfxTestFailAllocation(0);
    EXPECT_EQ(failure, (ZelLines{kCreate, "CMemoryException"}));

    EXPECT_EQ(ZelPathOf(location), "");
    location.Create("Ledger", "2.0", ZelRegistryBase::eOptions, nullptr, nullptr, FALSE, FALSE);
    location.Create("\\again", FALSE, FALSE);
    EXPECT_EQ(ZelPathOf(location), "");
    ZelRegistryBase intact("\\intact", FALSE, FALSE);
    EXPECT_FALSE(location == intact);
    EXPECT_FALSE(intact == location);
    location = intact;
    EXPECT_EQ(ZelPathOf(location), "");
    intact = location;
    EXPECT_EQ(ZelPathOf(intact), "\\intact");
    const ZelRegistryBase copyOfBroken(location);
    EXPECT_EQ(ZelPathOf(copyOfBroken), "");
    EXPECT_TRUE(copyOfBroken == intact);
}

TEST(Location, ConstructorsReportTheirOwnTextsAboveTheFailure) {
    const ZelRegistryBase source("\\source", FALSE, FALSE);
    AfxTestFailAllocation(1);  // the implementation object: one clause, so no memory number
    EXPECT_EQ(ZelFailure([] { ZelRegistryBase location; }),
              (ZelLines{kBase + "ZelRegistryBase :: ZelRegistryBase ( VOID )" + kZelEnd, "CMemoryException"}));
    AfxTestFailAllocation(2);  // the long form's Create
    EXPECT_EQ(ZelFailure([] { ZelRegistryBase location("Ledger", "2.0", ZelRegistryBase::eOptions, nullptr, nullptr,
                                                       FALSE, FALSE); }),
              (ZelLines{kBase + "ZelRegistryBase :: ZelRegistryBase( LPCTSTR, LPCTSTR,... )" + kZelEnd, kCreate,
                        "CMemoryException"}));
    AfxTestFailAllocation(2);  // the short form's Create reports under the constructor's text
    const std::string shortLine = kBase + "ZelRegistryBase :: ZelRegistryBase( PVOID&, ... )" + kZelEnd;
    EXPECT_EQ(ZelFailure([] { ZelRegistryBase location("\\path", FALSE, FALSE); }),
              (ZelLines{shortLine, shortLine, "CMemoryException"}));
    AfxTestFailAllocation(1);
    EXPECT_EQ(ZelFailure([&] { ZelRegistryBase location(source); }),
              (ZelLines{kBase + "ZelRegistryBase :: ZelRegistryBase( const ZelRegistryBase & )" + kZelEnd,
                        "CMemoryException"}));
    AfxTestFailAllocation(0);
}

}  // namespace
