// export: a key tree to a .reg file in regedit's format.
#include "ErrorText.h"
#include "FileIo.h"
#include "KeyHandle.h"
#include "KeyReader.h"
#include "RegFileWriter.h"
#include "Verbs.h"

#include <ostream>

#include <filesystem>

namespace zelregtool {

int ExportVerb(const Arguments& arguments, Console& console) {
    const auto key = KeyArgument(arguments.Positional()[0], console);
    if (!key) return 1;
    const std::string& file = arguments.Positional()[1];

    KeyHandle handle;
    LONG status = handle.Open(key->root, key->subKey, KEY_READ);
    if (status != ERROR_SUCCESS) return KeyFailure(*key, status, console);
    std::vector<RegKeySection> sections;
    const auto collect = [&sections](const KeyPath& path, const std::vector<RegValue>& values,
                                     const std::vector<std::string>&) {
        sections.push_back({path.FullName(), values});
    };
    KeyPath failed;
    status = WalkKeys(*key, handle.get(), true, std::nullopt, collect, failed);
    if (status != ERROR_SUCCESS) return Fail(console, "Cannot read " + failed.FullName() + ": " + ErrorText(status));
    handle.Reset();

    std::string bytes;
    try {
        bytes = EncodeRegFile(FormatRegFile(sections));
    } catch (const std::runtime_error& e) {
        return Fail(console, std::string("Cannot export: ") + e.what() + ".");
    }
    std::error_code ignored;
    if (!arguments.Has("y") && std::filesystem::exists(file, ignored) &&
        !Confirm(console, "File " + file + " already exists. Overwrite")) {
        console.err << "The operation was cancelled: nothing was written.\n";
        return 1;
    }
    std::string problem;
    if (!ReplaceFileContent(file, bytes, problem)) return Fail(console, "Cannot write " + file + ": " + problem);
    return Succeed(console);
}

}  // namespace zelregtool
