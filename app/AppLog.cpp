#include "app/AppLog.h"

#include <cstdio>
#include <filesystem>

#include "disk/Platform.h"
#include "results/TreeClassMethod.h"

namespace norix::app {

AppLog::AppLog() : path_(dataFolder() + "/UI.txt") {
    makeFolderWithParents(dataFolder());
    if (std::filesystem::exists(path_)) return;
    if (std::FILE* file = std::fopen(path_.c_str(), "wb")) {
        const char header[] = {'\0', '\n'};
        std::fwrite(header, 1, sizeof header, file);
        std::fclose(file);
    }
}

void AppLog::write(const std::string& message, const std::string& method) const {
    TreeClassMethod::writeError_inFile_forMethod(message, path_, method);
}

uint8_t AppLog::savedCount() const {
    int count = 0;
    if (std::FILE* file = std::fopen(path_.c_str(), "rb")) {
        count = std::fgetc(file);
        std::fclose(file);
    }
    return count == EOF ? 0 : static_cast<uint8_t>(count);
}

uint8_t AppLog::addSavingRun() const {
    const uint8_t before = savedCount();
    const uint8_t after = before >= 250 ? 1 : before + 1;
    if (std::FILE* file = std::fopen(path_.c_str(), "r+b")) {
        std::fputc(after, file);
        std::fclose(file);
    }
    return before;
}

}  // namespace norix::app
