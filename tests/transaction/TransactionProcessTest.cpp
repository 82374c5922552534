// ZelRegistryTransaction between processes: another process sees nothing of a collection before
// the commit and all of it after; a writer killed anywhere in the middle of a collection leaves
// the previous one whole; a commit after another process changed what it wrote fails with
// ERROR_TRANSACTIONAL_CONFLICT and changes nothing.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "ZelRegistryTransaction.h"
#include "support/ZelRegistryFixture.h"
#include "transaction/ZelCollectionSupport.h"
#include "winreg/StoreTestSupport.h"

namespace {

class TransactionProcesses : public ZelRegistryTest {
protected:
    void TearDown() override {
        ZelHookedItem::s_written = nullptr;
        ZelRegistryTest::TearDown();
    }

    // The collection as a process of its own reads it.
    ZelCollectionImage StoredElsewhere() const {
        Pipe answer;
        ZelCollectionImage image;
        const pid_t reader = StartChild([&] {
            for (const auto& [key, value] : ZelStoredImage(m_location)) {
                const std::string line = key + "=" + value + "\n";
                if (write(answer.end[1], line.data(), line.size()) != static_cast<ssize_t>(line.size())) return 1;
            }
            return 0;
        });
        answer.CloseWriteEnd();
        std::string text;
        char buffer[4096];
        for (ssize_t n; (n = read(answer.end[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
        EXPECT_EQ(WaitChild(reader), 0);
        for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
            const std::string line = text.substr(at, end - at);
            const std::size_t eq = line.find('=');
            image[line.substr(0, eq)] = line.substr(eq + 1);
        }
        return image;
    }

    const ZelRegistryBase m_location = Composed();
};

TEST_F(TransactionProcesses, AnotherProcessSeesNothingBeforeTheCommitAndAllOfItAfter) {
    ZelRoundCollection(m_location, 1, 3, 4)->Write(nullptr, nullptr);
    ZelRegistryTransaction transaction(m_location);
    ZelRoundCollection(m_location, 2, 4, 5)->Write(transaction.Key(), nullptr);
    EXPECT_EQ(StoredElsewhere(), ZelRoundImage(m_location, 1, 3, 4));
    ASSERT_EQ(transaction.Commit(), ERROR_SUCCESS);
    EXPECT_EQ(StoredElsewhere(), ZelRoundImage(m_location, 2, 4, 5));
}

// Round after round a child writes the collection in a transaction and is killed: by itself
// after a random number of item writes (any of them, or after the last one but before the
// commit), or from outside at a random moment, which may fall into the commit; now and then it
// lives to commit. The collection read back is always one round's, whole: the last committed.
TEST_F(TransactionProcesses, AWriterKilledAnywhereInTheMiddleLeavesThePreviousCollectionWhole) {
    constexpr int kSets = 8;
    constexpr int kItems = 25;
    constexpr int kTotal = kSets * kItems;
    std::mt19937 random(20240611);
    int committed = 0;
    int killedInside = 0;
    for (int round = 1; round <= 30; ++round) {
        const int kind = round % 5;  // 0: commits, 1: killed from outside, else killed by itself
        const int killAfter = kind >= 2 ? static_cast<int>(random() % (kTotal + 1)) + 1 : 0;
        SCOPED_TRACE("round " + std::to_string(round) + ", kill after " + std::to_string(killAfter) + " items");
        Pipe done;
        const pid_t writer = StartChild([&] {
            int written = 0;
            ZelHookedItem::s_written = [&] {
                if (++written == killAfter) raise(SIGKILL);
            };
            const auto collection = ZelRoundCollection<ZelHookedItem>(m_location, round, kSets, kItems);
            ZelRegistryTransaction transaction(m_location);
            collection->Write(transaction.Key(), nullptr);
            if (killAfter == kTotal + 1) raise(SIGKILL);  // all of it written, nothing committed
            if (transaction.Commit() != ERROR_SUCCESS) return 1;
            return done.Say() ? 0 : 1;
        });
        done.CloseWriteEnd();
        if (kind == 1) {
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 60000));
            kill(writer, SIGKILL);
        }
        const int status = WaitChild(writer);
        const bool confirmed = done.Hear();
        if (kind >= 2) {
            EXPECT_EQ(status, 128 + SIGKILL);
            ++killedInside;
        }
        if (kind == 0) {
            EXPECT_TRUE(confirmed);
        }

        const ZelCollectionImage stored = ZelStoredImage(m_location);
        // Killed from outside, the commit may or may not have landed; either way it is whole.
        if (confirmed || (kind == 1 && !stored.empty() && stored == ZelRoundImage(m_location, round, kSets, kItems)))
            committed = round;
        const ZelCollectionImage expected =
            committed == 0 ? ZelCollectionImage{} : ZelRoundImage(m_location, committed, kSets, kItems);
        ASSERT_EQ(stored, expected) << "last committed round " << committed;
    }
    EXPECT_EQ(committed, 30);
    EXPECT_EQ(killedInside, 18);
}

// The transaction wrote into a key that another process changed meanwhile: the commit fails as a
// whole; the other process's change stays. A change anywhere else does not stand in the way.
TEST_F(TransactionProcesses, ACommitAfterAnotherProcessChangedWhatItWroteFailsWithAConflict) {
    ZelRoundCollection(m_location, 1, 3, 4)->Write(nullptr, nullptr);
    const std::string item = ComposedPath() + "\\Layouts\\Set001\\Item0001";
    const auto writeElsewhere = [](const std::string& path) {
        return RunChild([&] { return ZelRawSet(HKEY_CURRENT_USER, path, "VALUE", REG_SZ, "theirs", 7); });
    };

    ZelRegistryTransaction transaction(m_location);
    ZelRoundCollection(m_location, 2, 3, 4)->Write(transaction.Key(), nullptr);
    ASSERT_EQ(writeElsewhere(item), 0);
    EXPECT_EQ(transaction.Commit(), ERROR_TRANSACTIONAL_CONFLICT);
    EXPECT_EQ(transaction.Status(), ERROR_TRANSACTION_ALREADY_ABORTED);
    ZelCollectionImage expected = ZelRoundImage(m_location, 1, 3, 4);
    expected["Set001\\Item0001"] = "1:theirs";
    EXPECT_EQ(ZelStoredImage(m_location), expected);

    ASSERT_EQ(ZelRawCreate(HKEY_CURRENT_USER, m_strFreePath), ERROR_SUCCESS);
    ZelRegistryTransaction retry(m_location);
    ZelRoundCollection(m_location, 2, 3, 4)->Write(retry.Key(), nullptr);
    ASSERT_EQ(writeElsewhere(m_strFreePath), 0);
    EXPECT_EQ(retry.Commit(), ERROR_SUCCESS);
    EXPECT_EQ(ZelStoredImage(m_location), ZelRoundImage(m_location, 2, 3, 4));
}

}  // namespace
