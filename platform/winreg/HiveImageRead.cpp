#include "HiveImage.h"

#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "HiveSchema.h"
#include "KeyStore.h"
#include "KeyValues.h"
#include "NewFile.h"
#include "RegError.h"
#include "RegNames.h"

namespace zelreg {
namespace {

// Deeper than any hive holds (Windows keeps keys at most 512 levels deep).
constexpr int kMaxImageDepth = 512;

struct Entry {
    std::string name;
    std::string keyClass;
    int64_t sub;
};

class ImageReader {
public:
    explicit ImageReader(Connection& db) {
        {
            Query q(db, "SELECT key, name, type, data FROM cells WHERE kind = 1 ORDER BY key, seq");
            while (q.Step()) {
                values_[q.Int(0)].push_back(
                    ImageValue{std::string(q.Text(1)), static_cast<DWORD>(q.Int(2)), std::string(q.Blob(3))});
            }
        }
        Query q(db, "SELECT key, name, class, sub FROM cells WHERE kind = 0 ORDER BY key, fold");
        while (q.Step()) {
            entries_[q.Int(0)].push_back(Entry{std::string(q.Text(1)), std::string(q.Text(2)), q.Int(3)});
        }
    }

    ImageKey Read(int64_t id, std::string name, std::string keyClass, int depth) {
        // A key reached twice, or too deep, is a damaged file, never a loop followed forever.
        if (depth > kMaxImageDepth || !seen_.insert(id).second || !IsStorableName(name)) Fail(ERROR_BADDB);
        ImageKey key{std::move(name), std::move(keyClass), std::move(values_[id]), {}};
        for (const ImageValue& value : key.values) {
            if (!IsStorableName(value.name)) Fail(ERROR_BADDB);
        }
        for (Entry& entry : entries_[id]) {
            key.children.push_back(Read(entry.sub, std::move(entry.name), std::move(entry.keyClass), depth + 1));
        }
        return key;
    }

private:
    std::unordered_map<int64_t, std::vector<ImageValue>> values_;
    std::unordered_map<int64_t, std::vector<Entry>> entries_;
    std::unordered_set<int64_t> seen_;
};

ImageKey ReadImage(Connection& file) {
    std::string reason;
    const HiveState state = ExamineHive(file, reason);
    if (state == HiveState::Refused || state == HiveState::Empty) Fail(ERROR_BADDB);
    std::unique_ptr<Connection> upgraded;
    if (state == HiveState::Outdated) upgraded = UpgradedCopy(file);
    Connection& db = upgraded ? *upgraded : file;
    SqlTransaction snapshot(db, false);
    return ImageReader(db).Read(kRootKeyId, "", "", 0);
}

void Fill(Connection& db, ChangeSet& changes, int64_t id, const ImageKey& image, bool isVolatile) {
    for (const ImageValue& value : image.values) {
        StoreValue(db, changes, RequireKey(db, id, kWithFigures), value.name, value.type, value.data);
    }
    for (const ImageKey& child : image.children) {
        const KeyState made = CreateChild(db, changes, RequireKey(db, id, kWithFigures), child.name,
                                          child.keyClass.empty() ? nullptr : child.keyClass.c_str(), isVolatile);
        Fill(db, changes, made.id, child, isVolatile);
    }
}

}  // namespace

ImageKey ReadHiveImage(const std::string& file) {
    struct stat st {};
    if (stat(file.c_str(), &st) != 0) Fail(errno == ENOENT ? ERROR_FILE_NOT_FOUND : FileStatus(errno));
    if (!S_ISREG(st.st_mode)) Fail(ERROR_BADDB);
    try {
        Connection db(file, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
        return ReadImage(db);
    } catch (const RegError& e) {
        // Whatever keeps the file from being read whole (damage, a file of another program)
        // makes it no hive to restore from.
        if (e.status == ERROR_NOT_ENOUGH_MEMORY) throw;
        Fail(ERROR_BADDB);
    } catch (const BusyError&) {
        // Another program is writing the file: it is not a saved hive at rest.
        Fail(ERROR_BADDB);
    }
}

void ApplyHiveImage(Connection& db, ChangeSet& changes, int64_t key, const ImageKey& image) {
    const bool isVolatile = RequireKey(db, key).isVolatile;
    DeleteSubtree(db, changes, key, false);
    Fill(db, changes, key, image, isVolatile);
}

}  // namespace zelreg
