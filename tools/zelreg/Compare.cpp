// compare: two keys' values (with /s, everything below them too) as reg.exe compares them.
// Lines: "< " for what KEY1 has and KEY2 has not, or KEY1's side of a value that differs;
// "> " the same for KEY2; "= " for what both have alike (/os and /oa). Then "Result Compared:
// Identical" or "Different"; exit code 0 identical, 2 different, 1 failure.
#include "ErrorText.h"
#include "KeyHandle.h"
#include "KeyReader.h"
#include "RegistryView.h"
#include "ValueText.h"
#include "Verbs.h"

#include <ostream>

namespace zelregtool {
namespace {

struct Side {
    KeyPath path;
    HKEY key;
};

class Comparison {
public:
    Comparison(bool showDifferences, bool showMatches, bool recursive, REGSAM view, std::ostream& out)
        : showDifferences_(showDifferences), showMatches_(showMatches), recursive_(recursive), view_(view), out_(out) {}

    bool Different() const { return different_; }
    // Where reading failed, with the status; ERROR_SUCCESS while nothing did.
    LONG Status() const { return status_; }
    const KeyPath& Failed() const { return failed_; }

    // Every value of both keys, then with /s their sub-keys.
    void Keys(const Side& left, const Side& right) {
        std::vector<RegValue> leftValues, rightValues;
        if (!Read(left.path, ReadValues(left.key, leftValues)) || !Read(right.path, ReadValues(right.key, rightValues)))
            return;
        for (const RegValue& value : leftValues) {
            if (status_ != ERROR_SUCCESS) return;
            RegValue other;
            const LONG status = ReadValue(right.key, value.name, other);
            if (status == ERROR_FILE_NOT_FOUND) {
                Difference('<', left.path, value);
            } else if (Read(right.path, status)) {
                Values(left.path, value, right.path, other);
            }
        }
        for (const RegValue& value : rightValues) {
            RegValue other;
            if (ReadValue(left.key, value.name, other) == ERROR_FILE_NOT_FOUND) Difference('>', right.path, value);
        }
        if (recursive_ && status_ == ERROR_SUCCESS) SubKeys(left, right);
    }

    // One value, or the default one: "" for /ve.
    void OneValue(const Side& left, const Side& right, const std::string& name) {
        RegValue leftValue, rightValue;
        const LONG leftStatus = ReadValue(left.key, name, leftValue);
        const LONG rightStatus = ReadValue(right.key, name, rightValue);
        if (leftStatus == ERROR_FILE_NOT_FOUND && rightStatus == ERROR_FILE_NOT_FOUND) {
            failed_ = left.path;
            status_ = ERROR_FILE_NOT_FOUND;
        } else if (leftStatus == ERROR_FILE_NOT_FOUND) {
            if (Read(right.path, rightStatus)) Difference('>', right.path, rightValue);
        } else if (rightStatus == ERROR_FILE_NOT_FOUND) {
            if (Read(left.path, leftStatus)) Difference('<', left.path, leftValue);
        } else if (Read(left.path, leftStatus) && Read(right.path, rightStatus)) {
            Values(left.path, leftValue, right.path, rightValue);
        }
    }

private:
    void SubKeys(const Side& left, const Side& right) {
        std::vector<std::string> leftNames, rightNames;
        if (!Read(left.path, ReadSubKeyNames(left.key, leftNames)) ||
            !Read(right.path, ReadSubKeyNames(right.key, rightNames)))
            return;
        for (std::size_t i = 0; i < leftNames.size() && status_ == ERROR_SUCCESS; ++i) {
            const std::string& name = leftNames[i];
            KeyHandle leftChild, rightChild;
            LONG status = leftChild.Open(left.key, name, KEY_READ | view_);
            if (status == ERROR_FILE_NOT_FOUND) continue;  // deleted meanwhile
            if (!Read(left.path.Child(name), status)) return;
            status = rightChild.Open(right.key, name, KEY_READ | view_);
            if (status == ERROR_FILE_NOT_FOUND) {
                KeyLine('<', left.path.Child(name));
            } else if (Read(right.path.Child(name), status)) {
                if (showMatches_) KeyLine('=', left.path.Child(name));
                Keys({left.path.Child(name), leftChild.get()}, {right.path.Child(name), rightChild.get()});
            }
        }
        for (std::size_t i = 0; i < rightNames.size() && status_ == ERROR_SUCCESS; ++i) {
            KeyHandle leftChild;
            if (leftChild.Open(left.key, rightNames[i], KEY_READ | view_) == ERROR_FILE_NOT_FOUND)
                KeyLine('>', right.path.Child(rightNames[i]));
        }
    }

    void Values(const KeyPath& leftPath, const RegValue& left, const KeyPath& rightPath, const RegValue& right) {
        if (left.type == right.type && left.data == right.data) {
            if (showMatches_) ValueLine('=', leftPath, left);
            return;
        }
        Difference('<', leftPath, left);
        Difference('>', rightPath, right);
    }

    void Difference(char mark, const KeyPath& path, const RegValue& value) {
        different_ = true;
        if (showDifferences_) ValueLine(mark, path, value);
    }

    void ValueLine(char mark, const KeyPath& path, const RegValue& value) {
        out_ << mark << " Value: " << path.FullName() << "  " << ShownName(value.name) << "  " << TypeName(value.type)
             << "  " << DisplayData(value) << '\n';
    }

    void KeyLine(char mark, const KeyPath& path) {
        if (mark != '=') different_ = true;
        if (mark == '=' ? showMatches_ : showDifferences_) out_ << mark << " Key: " << path.FullName() << '\n';
    }

    // Whether `status` lets the comparison go on; a failure is kept, with where it happened.
    bool Read(const KeyPath& path, LONG status) {
        if (status == ERROR_SUCCESS) return true;
        if (status_ == ERROR_SUCCESS) {
            status_ = status;
            failed_ = path;
        }
        return false;
    }

    const bool showDifferences_, showMatches_, recursive_;
    const REGSAM view_;
    std::ostream& out_;
    bool different_ = false;
    LONG status_ = ERROR_SUCCESS;
    KeyPath failed_;
};

}  // namespace

int CompareVerb(const Arguments& arguments, Console& console) {
    const auto leftKey = KeyArgument(arguments.Positional()[0], console);
    if (!leftKey) return 1;
    const auto rightKey = KeyArgument(arguments.Positional()[1], console);
    if (!rightKey) return 1;
    const int outputs = arguments.Has("oa") + arguments.Has("od") + arguments.Has("os") + arguments.Has("on");
    const bool oneValue = arguments.Has("v") || arguments.Has("ve");
    // reg.exe takes one output switch, one value at most, and /s only for whole keys.
    if (outputs > 1 || (arguments.Has("v") && arguments.Has("ve")) || (oneValue && arguments.Has("s")))
        return UsageError(console, "compare");

    const REGSAM view = ViewAccess(arguments);
    KeyHandle left, right;
    LONG status = left.Open(leftKey->root, leftKey->subKey, KEY_READ | view);
    if (status != ERROR_SUCCESS) return KeyFailure(*leftKey, status, console);
    status = right.Open(rightKey->root, rightKey->subKey, KEY_READ | view);
    if (status != ERROR_SUCCESS) return KeyFailure(*rightKey, status, console);

    const bool all = arguments.Has("oa");
    Comparison comparison(all || !(arguments.Has("os") || arguments.Has("on")), all || arguments.Has("os"),
                          arguments.Has("s"), view, console.out);
    const Side leftSide{*leftKey, left.get()}, rightSide{*rightKey, right.get()};
    if (oneValue)
        comparison.OneValue(leftSide, rightSide, arguments.Value("v"));
    else
        comparison.Keys(leftSide, rightSide);
    if (comparison.Status() == ERROR_FILE_NOT_FOUND && oneValue)
        return KeyFailure(comparison.Failed(), ERROR_FILE_NOT_FOUND, console);
    if (comparison.Status() != ERROR_SUCCESS)
        return Fail(console, "Cannot read " + comparison.Failed().FullName() + ": " + ErrorText(comparison.Status()));
    console.out << "Result Compared: " << (comparison.Different() ? "Different" : "Identical") << '\n';
    Succeed(console);
    return comparison.Different() ? 2 : 0;
}

}  // namespace zelregtool
