// Conformance of registry transactions: what a transaction's handles see, what every other
// handle sees before and after the commit, rollback, the ends of a transaction, conflicts with
// other writers, and bad input.
//
// Wine has no registry transactions: where a test meets that (RegCreateKeyTransactedA answers
// 120, RegOpenKeyTransactedA and RegDeleteKeyTransactedA are missing), it checks Wine's answer,
// reports the deviation and ends.
#include <string>

#include "RegTestSupport.h"
#include "support/ZelExpectedDeviation.h"

namespace {

class RegTransaction : public RegTest {
protected:
    void SetUp() override {
        RegTest::SetUp();
        tx_ = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, tx_);
    }
    void TearDown() override {
        if (tx_ != INVALID_HANDLE_VALUE) CloseHandle(tx_);
        RegTest::TearDown();
    }
    // A key below the test's root, made or opened in the transaction; null where that fails.
    HKEY CreateIn(HANDLE tx, const char* path) {
        HKEY key = nullptr;
        EXPECT_EQ(ZelDeviations::kWineNoTransactedKeys.Expect(ERROR_SUCCESS, ERROR_CALL_NOT_IMPLEMENTED),
                  RegCreateKeyTransactedA(root_, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr, tx,
                                          nullptr));
        return key;
    }
    // The error a failed call of the transaction functions left, or 0 when the call succeeded.
    static DWORD Failure(BOOL succeeded) { return succeeded ? 0 : GetLastError(); }
    HANDLE tx_ = INVALID_HANDLE_VALUE;
};

TEST_F(RegTransaction, OthersSeeNothingBeforeTheCommitAndEverythingAfter) {
    SetDword(root_, "old", 1);
    RegCloseKey(Create(root_, "Doomed\\Inner"));
    HKEY top = CreateIn(tx_, "Tree");
    if (!top) return;
    // Keys made or opened below a transacted handle with the ordinary functions take part too.
    HKEY deep = Create(top, "Deep\\Deeper");
    SetDword(deep, "v", 7);
    SetString(top, "text", "hello");
    HKEY root = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyTransactedA(root_, "", 0, KEY_ALL_ACCESS, &root, tx_, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(root, "old"));
    ASSERT_EQ(ERROR_SUCCESS, ShDeleteKey(root, "Doomed"));

    // The transaction sees its own changes ...
    EXPECT_EQ(7, ReadDword(top, "Deep\\Deeper", "v"));
    EXPECT_EQ(Names{"Tree"}, SubKeys(root));  // Doomed is gone
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Query(root, "old"));
    DWORD subKeys = 0, values = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(top, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values,
                                              nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(1u, subKeys);
    EXPECT_EQ(1u, values);
    // ... no other handle does.
    EXPECT_FALSE(KeyExists(root_, "Tree"));
    EXPECT_TRUE(KeyExists(root_, "Doomed\\Inner"));
    EXPECT_EQ(1, ReadDword(root_, "", "old"));

    ASSERT_TRUE(CommitTransaction(tx_));
    EXPECT_EQ(7, ReadDword(root_, "Tree\\Deep\\Deeper", "v"));
    EXPECT_EQ("hello", ReadString(Open(root_, "Tree"), "text"));
    EXPECT_FALSE(KeyExists(root_, "Doomed"));
    EXPECT_EQ(-1, ReadDword(root_, "", "old"));
    // The transaction's handles have ended with it.
    EXPECT_EQ(ERROR_TRANSACTION_NOT_ACTIVE, Query(top, "text"));
    for (HKEY key : {top, deep, root}) RegCloseKey(key);
}

TEST_F(RegTransaction, RollbackCloseAndTheEndsOfATransaction) {
    HKEY key = CreateIn(tx_, "Rolled");
    if (!key) return;
    SetDword(key, "v", 1);
    ASSERT_TRUE(RollbackTransaction(tx_));
    EXPECT_FALSE(KeyExists(root_, "Rolled"));
    EXPECT_EQ(ERROR_TRANSACTION_NOT_ACTIVE, Set(key, "v", REG_DWORD, "\1\0\0\0", 4));
    RegCloseKey(key);
    EXPECT_FALSE(CommitTransaction(tx_));
    EXPECT_EQ(static_cast<DWORD>(ERROR_TRANSACTION_ALREADY_ABORTED), GetLastError());
    EXPECT_FALSE(RollbackTransaction(tx_));
    EXPECT_EQ(static_cast<DWORD>(ERROR_TRANSACTION_ALREADY_ABORTED), GetLastError());

    // A committed one cannot end again either.
    HANDLE committed = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
    RegCloseKey(CreateIn(committed, "Kept"));
    ASSERT_TRUE(CommitTransaction(committed));
    EXPECT_FALSE(CommitTransaction(committed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_TRANSACTION_ALREADY_COMMITTED), GetLastError());
    EXPECT_FALSE(RollbackTransaction(committed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_TRANSACTION_ALREADY_COMMITTED), GetLastError());
    CloseHandle(committed);
    EXPECT_TRUE(KeyExists(root_, "Kept"));

    // Closing a transaction that has not ended rolls it back.
    HANDLE closed = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
    key = CreateIn(closed, "Closed");
    ASSERT_TRUE(CloseHandle(closed));
    EXPECT_EQ(ERROR_TRANSACTION_NOT_ACTIVE, Set(key, "v", REG_DWORD, "\1\0\0\0", 4));
    RegCloseKey(key);
    EXPECT_FALSE(KeyExists(root_, "Closed"));
}

// The commit fails, and applies nothing, when another writer changed a key the transaction
// looked at since it did; changes elsewhere do not stand in its way.
TEST_F(RegTransaction, ACommitAfterAnotherWriterChangedWhatItUsedFailsWhole) {
    HKEY made = CreateIn(tx_, "Made");
    if (!made) return;
    HKEY shared = Create(root_, "Shared");
    HKEY elsewhere = Create(root_, "Elsewhere");
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyTransactedA(root_, "Shared", 0, KEY_ALL_ACCESS, &key, tx_, nullptr));
    SetDword(key, "mine", 1);
    SetDword(elsewhere, "theirs", 2);  // not a key this transaction used
    HANDLE second = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
    RegCloseKey(CreateIn(second, "Second"));
    ASSERT_TRUE(CommitTransaction(second));  // made a sub-key of the root, which the first did too
    CloseHandle(second);

    EXPECT_FALSE(CommitTransaction(tx_));
    EXPECT_EQ(static_cast<DWORD>(ERROR_TRANSACTIONAL_CONFLICT), GetLastError());
    EXPECT_EQ(-1, ReadDword(shared, "", "mine"));
    EXPECT_FALSE(KeyExists(root_, "Made"));
    EXPECT_TRUE(KeyExists(root_, "Second"));
    for (HKEY k : {shared, elsewhere, key, made}) RegCloseKey(k);

    // Without the other writer the same work commits.
    HANDLE retry = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyTransactedA(root_, "Shared", 0, KEY_ALL_ACCESS, &key, retry, nullptr));
    SetDword(key, "mine", 1);
    ASSERT_EQ(ERROR_SUCCESS, WriteDword(root_, "Elsewhere", "again", 3));
    ASSERT_TRUE(CommitTransaction(retry));
    CloseHandle(retry);
    RegCloseKey(key);
    EXPECT_EQ(1, ReadDword(root_, "Shared", "mine"));
}

// Enumeration through a transacted handle: the values in the order they were first set (new
// ones after those the key had), the sub-keys in name order.
TEST_F(RegTransaction, ListingsThroughTheTransactionMergeItsChanges) {
    if (ZelDeviations::kWineLacksTransactedOpenAndDelete.Prevents()) return;
    HKEY plain = Create(root_, "Listed");
    for (const char* name : {"a", "b", "c"}) SetDword(plain, name, 1);
    for (const char* name : {"K1", "K3"}) RegCloseKey(Create(plain, name));
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyTransactedA(root_, "Listed", 0, KEY_ALL_ACCESS, &key, tx_, nullptr));
    SetDword(key, "z", 2);
    SetDword(key, "B", 2);  // an existing value, set again: keeps its place and first name
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "a"));
    RegCloseKey(Create(key, "K2"));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(key, "K1"));
    EXPECT_EQ((Names{"b", "c", "z"}), ValueNames(key));
    EXPECT_EQ((Names{"K2", "K3"}), SubKeys(key));
    EXPECT_EQ(2, ReadDword(key, "", "b"));
    EXPECT_EQ((Names{"a", "b", "c"}), ValueNames(plain));
    ASSERT_TRUE(CommitTransaction(tx_));
    EXPECT_EQ((Names{"b", "c", "z"}), ValueNames(plain));
    EXPECT_EQ((Names{"K2", "K3"}), SubKeys(plain));
    RegCloseKey(key);
    RegCloseKey(plain);
}

TEST_F(RegTransaction, BadHandlesAndBadUseGetAStatusAndChangeNothing) {
    // What is no transaction is an invalid handle; an ended transaction answers how it ended.
    const auto& stubs = ZelDeviations::kWineTransactionStubs;
    EXPECT_EQ(Failure(CommitTransaction(nullptr)), stubs.Expect<DWORD>(ERROR_INVALID_HANDLE, 0));
    EXPECT_EQ(Failure(CommitTransaction(reinterpret_cast<HANDLE>(root_))), stubs.Expect<DWORD>(ERROR_INVALID_HANDLE, 0));
    HANDLE ended = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
    EXPECT_EQ(Failure(CommitTransaction(ended)), 0u);
    EXPECT_EQ(Failure(CommitTransaction(ended)), stubs.Expect<DWORD>(ERROR_TRANSACTION_ALREADY_COMMITTED, 0));
    EXPECT_EQ(Failure(RollbackTransaction(ended)),
              stubs.Expect<DWORD>(ERROR_TRANSACTION_ALREADY_COMMITTED, ERROR_ACCESS_DENIED));
    EXPECT_EQ(Failure(CloseHandle(ended)), stubs.Expect<DWORD>(0, ERROR_INVALID_HANDLE));

    HKEY key = kSentinel;
    EXPECT_EQ(ZelDeviations::kWineNoTransactedKeys.Expect(ERROR_INVALID_HANDLE, ERROR_CALL_NOT_IMPLEMENTED),
              RegCreateKeyTransactedA(root_, "Bad", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr, nullptr,
                                      nullptr));
    EXPECT_FALSE(KeyExists(root_, "Bad"));
    if (ZelDeviations::kWineLacksTransactedOpenAndDelete.Prevents()) return;
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegOpenKeyTransactedA(root_, "", 0, KEY_READ, &key, root_, nullptr));

    // A key another transaction made is not there for this one.
    HANDLE other = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
    HKEY theirs = CreateIn(other, "Theirs");
    EXPECT_EQ(ERROR_TRANSACTIONAL_CONFLICT, RegCreateKeyTransactedA(theirs, "Mine", 0, nullptr, 0, KEY_ALL_ACCESS,
                                                                    nullptr, &key, nullptr, tx_, nullptr));
    // Deleting in a transaction: leaves only, as outside one; a tree with SHDeleteKey.
    HKEY branch = CreateIn(tx_, "Branch\\Leaf");
    RegCloseKey(branch);
    HKEY root = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyTransactedA(root_, "", 0, KEY_ALL_ACCESS, &root, tx_, nullptr));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyTransactedA(root, "Branch", 0, 0, tx_, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyTransactedA(root, "Branch\\Leaf", 0, 0, tx_, nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyTransactedA(root, "Branch\\Leaf", 0, 0, tx_, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyTransactedA(root, "Branch", 0, 0, tx_, nullptr));
    RegCloseKey(root);
    RegCloseKey(theirs);
    CloseHandle(other);
}

}  // namespace
