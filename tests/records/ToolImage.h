#pragma once
// Disk images made by the real tools (mkfs.fat, mtools, mkfs.exfat, ...) for the record
// tests, and the independent readers (minfo, dump.exfat) their fields are checked with.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace norix::test {

class ToolImage {
public:
    // Runs the shell script, which makes the image at "$IMG", in a private folder with
    // TZ=UTC, a UTF-8 locale and MTOOLS_SKIP_CHECK=1. Throws when the script fails.
    explicit ToolImage(const std::string& script);

    // Runs a further script on the image (mtools, dd, ...) and returns what it printed.
    std::string run(const std::string& script) const;
    std::vector<uint8_t> read(uint64_t offset, size_t size) const;
    const std::filesystem::path& path() const { return image_; }

private:
    std::shared_ptr<TempDir> dir_ = std::make_shared<TempDir>();
    std::filesystem::path image_ = dir_->path() / "disk.img";
};

// The number after `key` on its line of a tool's report, e.g. ("reserved (boot) sectors:").
// Decimal, or hexadecimal after "0x". Throws when the key is missing.
uint64_t reportNumber(const std::string& report, const std::string& key);
// The rest of the line after `key`, trimmed.
std::string reportText(const std::string& report, const std::string& key);

}  // namespace norix::test
