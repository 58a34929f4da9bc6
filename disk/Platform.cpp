#include "disk/Platform.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace norix {

namespace {

std::atomic<bool> consoleQuiet{false};

// An absolute path from the environment, or nothing (relative values are ignored, as
// the XDG base-directory rules require).
const char* absoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    return value && value[0] == '/' ? value : nullptr;
}

std::string homeFolder() {
    if (const char* home = absoluteEnv("HOME")) return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found) return entry.pw_dir;
    return {};
}

}  // namespace

std::string dataFolder() {
    const char* dataHome = absoluteEnv("XDG_DATA_HOME");
    return (dataHome ? std::string(dataHome) : homeFolder() + "/.local/share") + "/Norix Data Recovery";
}

std::string documentsFolder() {
    const char* documents = absoluteEnv("XDG_DOCUMENTS_DIR");
    return documents ? documents : homeFolder() + "/Documents";
}

bool makeFolder(const std::string& path) {
    mkdir(path.c_str(), 0777);
    struct stat info{};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool makeFolderWithParents(const std::string& path) {
    std::filesystem::path partial;
    bool made = false;
    for (const auto& part : std::filesystem::path(path)) made = makeFolder((partial /= part).string());
    return made;
}

void consoleLog(const char* format, ...) {
    if (consoleQuiet) return;
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
}

void setConsoleQuiet(bool quiet) { consoleQuiet = quiet; }

void settleTimeZone() { setenv("TZ", ":/etc/localtime", 0); }

}  // namespace norix
