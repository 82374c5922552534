// export: a key tree to a .reg file in regedit's format; "-" for standard output.
#include "ErrorText.h"
#include "KeyHandle.h"
#include "KeyReader.h"
#include "OutputFile.h"
#include "RegFileWriter.h"
#include "RegistryView.h"
#include "Verbs.h"

#include <ostream>

namespace zelregtool {

int ExportVerb(const Arguments& arguments, Console& console) {
    const auto key = KeyArgument(arguments.Positional()[0], console);
    if (!key) return 1;
    const std::string& file = arguments.Positional()[1];

    const REGSAM view = ViewAccess(arguments);
    KeyHandle handle;
    LONG status = handle.Open(key->root, key->subKey, KEY_READ | view);
    if (status != ERROR_SUCCESS) return KeyFailure(*key, status, console);
    // Standard output carries the file alone, so that it can be piped on: no message there.
    const bool toStandardOutput = file == "-";
    OutputFile output;
    std::string problem;
    if (!toStandardOutput && !OutputFile::Resolve(file, output, problem))
        return Fail(console, "Cannot write " + file + ": " + problem);
    if (!toStandardOutput && output.kind() == OutputFile::Kind::PlainFile && !arguments.Has("y") &&
        !Confirm(console, "File " + file + " already exists. Overwrite")) {
        console.err << "The operation was cancelled: nothing was written.\n";
        return 1;
    }

    // As with reg.exe, what cannot be read or written is left out with a warning, and the
    // file holds everything else.
    std::size_t leftOut = 0;
    const auto warn = [&](const std::string& what, const std::string& why) {
        console.err << "WARNING: " << what << " is left out of the file: " << why << '\n';
        ++leftOut;
    };
    const char* const lineBreak = "a .reg file cannot hold a line break in a name";
    std::vector<RegKeySection> sections;
    const auto collect = [&](const KeyPath& path, const std::vector<RegValue>& values,
                             const std::vector<std::string>&) {
        const std::string name = path.FullName();
        if (!RegFileCanHoldName(name)) return warn("the key " + name, lineBreak);
        RegKeySection section{name, {}};
        for (const RegValue& value : values) {
            if (RegFileCanHoldName(value.name))
                section.values.push_back(value);
            else
                warn("the value \"" + value.name + "\" of " + name, lineBreak);
        }
        sections.push_back(std::move(section));
    };
    const auto skip = [&](const KeyPath& path, LONG failure) {
        warn("the key " + path.FullName(), ErrorText(failure));
        return true;
    };
    KeyPath failed;
    status = WalkKeys(*key, handle.get(), true, std::nullopt, view, collect, skip, failed);
    if (status != ERROR_SUCCESS) return Fail(console, "Cannot read " + failed.FullName() + ": " + ErrorText(status));
    handle.Reset();

    const std::string bytes = EncodeRegFile(FormatRegFile(sections));
    if (toStandardOutput) {
        console.out.flush();
        std::ostream& data = console.Data();
        data.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        data.flush();
        if (!data) return Fail(console, "Cannot write to standard output.");
    } else if (!output.Write(bytes, problem)) {
        return Fail(console, "Cannot write " + file + ": " + problem);
    }
    if (leftOut > 0)
        return Fail(console, std::to_string(leftOut) + " key(s) or value(s) were left out; " +
                                 (toStandardOutput ? std::string("the output") : file) + " holds everything else.");
    if (toStandardOutput || output.IsStandardOutput()) return 0;
    return Succeed(console);
}

}  // namespace zelregtool
