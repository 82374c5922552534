// ZelRegistryTransaction: a property set collection written through it is seen by no other
// handle before the commit and whole after it; a rollback, the end of the object without a
// commit and a failure halfway through the Write leave the previous collection; what opening
// refuses, and where the key lies. The fixture checks that no key handle stays open.
//
// Wine's registry has no transactions: there the class opens none and passes on the status 120
// of RegCreateKeyTransactedA, which the tests check before they end.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ZelRegistryTransaction.h"
#include "platform/afx/AfxTestHooks.h"
#include "support/ZelExpectedDeviation.h"
#include "support/ZelRegistryFixture.h"
#include "transaction/ZelCollectionSupport.h"
#include "tree/ZelTreeTestSupport.h"

namespace {

constexpr int kSets = 4;
constexpr int kItems = 6;

// Whether the transaction opened; where the registry has none to give, what the class answers.
bool Opened(const ZelRegistryTransaction& transaction) {
    EXPECT_EQ(transaction.Status(),
              ZelDeviations::kWineNoTransactedKeys.Expect<LONG>(ERROR_SUCCESS, ERROR_CALL_NOT_IMPLEMENTED));
    return transaction.Status() == ERROR_SUCCESS;
}

// Every test starts from round 1 of the collection, written the ordinary way, and writes round 2
// (one set and one item per set more, so that no part of it passes for round 1) over it.
class TransactionWrite : public ZelRegistryTest {
protected:
    void SetUp() override {
        ZelRegistryTest::SetUp();
        ZelRoundCollection(m_location, 1, kSets, kItems)->Write(nullptr, nullptr);
        ASSERT_EQ(Stored(), First());
        ZelHookedItem::s_written = nullptr;
    }
    void TearDown() override {
        ZelHookedItem::s_written = nullptr;
        ZelRegistryTest::TearDown();
    }

    ZelCollectionImage Stored() const { return ZelStoredImage(m_location); }
    ZelCollectionImage First() const { return ZelRoundImage(m_location, 1, kSets, kItems); }
    ZelCollectionImage Second() const { return ZelRoundImage(m_location, 2, kSets + 1, kItems + 1); }
    std::unique_ptr<ZelPropertySets> SecondCollection() const {
        return ZelRoundCollection<ZelHookedItem>(m_location, 2, kSets + 1, kItems + 1);
    }

    const ZelRegistryBase m_location = Composed();
};

TEST_F(TransactionWrite, NoOtherHandleSeesTheCollectionBeforeTheCommitAndAllOfItAfter) {
    ZelRegistryTransaction transaction(m_location);
    if (!Opened(transaction)) return;
    ASSERT_NE(transaction.Key(), nullptr);
    SecondCollection()->Write(transaction.Key(), nullptr);
    EXPECT_EQ(ZelStoredImage(m_location, transaction.Key()), Second()) << "the transaction sees its own writes";
    EXPECT_EQ(Stored(), First()) << "nobody else does";

    EXPECT_EQ(transaction.Commit(), ERROR_SUCCESS);
    EXPECT_EQ(Stored(), Second());
    // Ended: the key is gone, and ending it again answers as the Win32 functions answer.
    EXPECT_EQ(transaction.Key(), nullptr);
    EXPECT_EQ(transaction.Status(), ERROR_TRANSACTION_ALREADY_COMMITTED);
    EXPECT_EQ(transaction.Commit(), ERROR_TRANSACTION_ALREADY_COMMITTED);
    EXPECT_EQ(transaction.Rollback(), ERROR_TRANSACTION_ALREADY_COMMITTED);
}

// Each way of ending without a commit, and a move, which hands the transaction on whole.
TEST_F(TransactionWrite, RollbackDestructionAndMovesWithoutACommitLeaveThePreviousCollection) {
    using Ending = std::function<void(ZelRegistryTransaction&)>;
    const std::vector<std::pair<const char*, Ending>> endings = {
        {"Rollback",
         [](ZelRegistryTransaction& t) {
             EXPECT_EQ(t.Rollback(), ERROR_SUCCESS);
             EXPECT_EQ(t.Key(), nullptr);
             EXPECT_EQ(t.Status(), ERROR_TRANSACTION_ALREADY_ABORTED);
             EXPECT_EQ(t.Commit(), ERROR_TRANSACTION_ALREADY_ABORTED);
             EXPECT_EQ(t.Rollback(), ERROR_TRANSACTION_ALREADY_ABORTED);
         }},
        {"destroyed", [](ZelRegistryTransaction&) {}},
        {"moved on, then destroyed",
         [](ZelRegistryTransaction& t) {
             const HKEY key = t.Key();
             ZelRegistryTransaction taker(std::move(t));
             EXPECT_EQ(taker.Key(), key);
             EXPECT_EQ(t.Key(), nullptr);
             EXPECT_EQ(t.Status(), ERROR_INVALID_HANDLE);
             EXPECT_EQ(t.Commit(), ERROR_INVALID_HANDLE);
         }},
        {"replaced by another one",
         [this](ZelRegistryTransaction& t) {
             t = ZelRegistryTransaction(m_location, "Other");
             EXPECT_EQ(t.Status(), ERROR_SUCCESS);
         }},
    };
    for (const auto& [name, ending] : endings) {
        SCOPED_TRACE(name);
        {
            ZelRegistryTransaction transaction(m_location);
            if (!Opened(transaction)) return;
            SecondCollection()->Write(transaction.Key(), nullptr);
            ending(transaction);
        }
        EXPECT_EQ(Stored(), First());
    }

    // The one that took it over commits the whole of it.
    ZelRegistryTransaction transaction(m_location);
    SecondCollection()->Write(transaction.Key(), nullptr);
    ZelRegistryTransaction taker(std::move(transaction));
    EXPECT_EQ(taker.Commit(), ERROR_SUCCESS);
    EXPECT_EQ(Stored(), Second());
}

// A Write that fails halfway leaves half a collection behind; within a transaction that is not
// committed it leaves nothing.
TEST_F(TransactionWrite, AWriteThatFailsHalfwayLeavesThePreviousCollectionWhole) {
    int written = 0;
    ZelHookedItem::s_written = [&written] {
        if (++written == 9) AfxThrowMemoryException();
    };
    const auto failingWrite = [&](HKEY parent) {
        written = 0;
        EXPECT_FALSE(ZelFailure([&] { SecondCollection()->Write(parent, nullptr); }).empty());
    };
    {
        ZelRegistryTransaction transaction(m_location);
        if (!Opened(transaction)) return;
        failingWrite(transaction.Key());
    }
    EXPECT_EQ(Stored(), First());

    failingWrite(nullptr);
    const ZelCollectionImage mixed = Stored();
    EXPECT_NE(mixed, First());
    EXPECT_NE(mixed, Second());
}

class TransactionOpen : public ZelRegistryTest {
protected:
    bool Exists(const std::string& path) const { return ZelRawKeyExists(HKEY_CURRENT_USER, path); }
};

// The key is the one a Write with a null handle reaches, made in the transaction when missing.
TEST_F(TransactionOpen, TheKeyIsTheLocationsOwnOrOneBelowItMadeWithinTheTransaction) {
    const std::string path = ComposedPath();
    ZelRegistryTransaction location(Composed());
    if (!Opened(location)) return;
    ZelRegistryTransaction below(Composed(), "\\Fresh\\Deeper\\");
    ASSERT_EQ(below.Status(), ERROR_SUCCESS);
    EXPECT_FALSE(Exists(path)) << "made within the transaction only";
    EXPECT_EQ(location.Rollback(), ERROR_SUCCESS);
    EXPECT_EQ(below.Commit(), ERROR_SUCCESS);
    EXPECT_TRUE(Exists(path + "\\Fresh\\Deeper"));

    // The local-machine flag chooses only the application key, never where a location's key is.
    const ZelRegistryBase machine = Composed(FALSE, TRUE);
    ZelRegistryTransaction user(machine, "User");
    ASSERT_EQ(user.Status(), ERROR_SUCCESS);
    EXPECT_EQ(user.Commit(), ERROR_SUCCESS);
    EXPECT_TRUE(Exists(path + "\\User"));
    EXPECT_FALSE(ZelRawKeyExists(HKEY_LOCAL_MACHINE, path + "\\User"));

    // A free path, and the same key written to through the transaction and then without it.
    ZelRegistryTransaction free(ZelRegistryBase((m_strFreePath + "\\").c_str(), FALSE, FALSE), "Sub");
    ASSERT_EQ(free.Status(), ERROR_SUCCESS);
    ZelPropertyItem(ZelRegistryQuonSet(), "Item", 7).Write(free.Key(), nullptr);
    EXPECT_EQ(free.Commit(), ERROR_SUCCESS);
    EXPECT_EQ(ZelRawQuery(HKEY_CURRENT_USER, m_strFreePath + "\\Sub\\Item", "VALUE").data,
              (std::vector<BYTE>{7, 0, 0, 0}));
}

// What the location's own Write could not reach, the transaction does not open: it tells why,
// creates nothing, and every later call answers the same.
TEST_F(TransactionOpen, WhatTheLocationsWriteCouldNotReachIsRefusedWithItsReason) {
    const struct {
        const char* name;
        ZelRegistryBase location;
        const char* subKey;
        LONG status;
    } cases[] = {
        {"write-protected", Composed(TRUE), "Sub", ERROR_ACCESS_DENIED},
        {"without a path", ZelRegistryBase(), nullptr, ERROR_BAD_PATHNAME},
        {"without a path, below it", ZelRegistryBase(), "Sub", ERROR_BAD_PATHNAME},
        {"an empty free path and a lone backslash", ZelRegistryBase("", FALSE, FALSE), "\\", ERROR_BAD_PATHNAME},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ZelRegistryTransaction transaction(c.location, c.subKey);
        EXPECT_EQ(transaction.Status(), c.status);
        EXPECT_EQ(transaction.Key(), nullptr);
        EXPECT_EQ(transaction.Commit(), c.status);
        EXPECT_EQ(transaction.Rollback(), c.status);
    }
    EXPECT_FALSE(Exists(ComposedPath()));
    EXPECT_FALSE(Exists("Sub"));
}

// Running out of memory while the location's path is composed is a status, never an exception,
// and leaves nothing open.
TEST_F(TransactionOpen, MemoryExhaustedWhileOpeningIsAStatus) {
    const ZelRegistryBase location = Composed();
    int failures = 0;
    for (unsigned long nth = 1; nth < 100; ++nth) {
        AfxTestFailAllocation(nth);
        ZelRegistryTransaction transaction(location, "Sub");
        AfxTestFailAllocation(0);
        if (transaction.Status() != ERROR_NOT_ENOUGH_MEMORY) {
            Opened(transaction);
            break;
        }
        ++failures;
        EXPECT_EQ(transaction.Key(), nullptr);
    }
    EXPECT_GT(failures, 0);
    EXPECT_FALSE(Exists(ComposedPath()));
}

}  // namespace
