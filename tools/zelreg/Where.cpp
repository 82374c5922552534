// where: the hive files the registry lives in, where that place came from, their sizes and
// format (Linux; on Windows the system keeps the registry).
#include "HiveFiles.h"
#include "Verbs.h"

#include <ostream>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace zelregtool {

#if defined(_WIN32)

int WhereVerb(const Arguments&, Console& console) {
    return Fail(console, "where is not available on Windows, whose system keeps the registry.");
}

#else

namespace {

void ShowHive(HKEY root, const char* name, Console& console) {
    char file[4096];
    DWORD length = sizeof file;
    DWORD source = 0, format = 0;
    if (ZelRegQueryHiveFile(root, file, &length, &source, &format) != ERROR_SUCCESS) return;
    const std::string path(file, length);
    console.out << name << "\n    File      " << path << "\n    Folder    " << path.substr(0, path.rfind('/')) << " ("
                << HiveSourceText(source) << ")\n";
    struct stat hive {}, log {};
    if (stat(path.c_str(), &hive) != 0) {
        console.out << "    Size      none: the file does not exist (a program that writes makes it)\n\n";
        return;
    }
    const long long logSize = stat((path + "-wal").c_str(), &log) == 0 ? static_cast<long long>(log.st_size) : 0;
    console.out << "    Size      " << static_cast<long long>(hive.st_size) << " bytes, its log " << logSize
                << " bytes\n    Format    "
                << (format != 0 ? std::to_string(format) : std::string(hive.st_size == 0 ? "none yet (empty)" : "not a registry hive"))
                << "\n\n";
}

}  // namespace

int WhereVerb(const Arguments&, Console& console) {
    ShowHive(HKEY_CURRENT_USER, "HKEY_CURRENT_USER", console);
    ShowHive(HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", console);
    return 0;
}

#endif

}  // namespace zelregtool
