#pragma once
// A device image for the identification and checker tests: another document, a sample at
// a sector boundary, then other data again, so that a read at the wrong place meets
// headers of its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "signatures/SignatureCheck.h"
#include "tests/support/TestSupport.h"

namespace norix::test {

// A committed sample, tests/fixtures/<path>.
inline std::vector<uint8_t> fixtureBytes(const std::string& path) {
    auto bytes = readFile(std::filesystem::path(NORIX_SOURCE_DIR) / "tests" / "fixtures" / path);
    EXPECT_FALSE(bytes.empty()) << path;
    return bytes;
}

struct Device {
    static constexpr uint64_t kFileAt = 3 * 4096;

    Device(const std::vector<uint8_t>& file, const std::vector<uint8_t>& after) {
        std::vector<uint8_t> bytes = fixtureBytes("tags/memo.docx");
        bytes.resize(kFileAt, 0);
        bytes.insert(bytes.end(), file.begin(), file.end());
        bytes.resize((bytes.size() + 511) / 512 * 512, 0);
        bytes.insert(bytes.end(), after.begin(), after.end());
        writeFile(path, bytes);
        unit.assign(bytes.begin() + kFileAt, bytes.begin() + kFileAt + 512);
    }

    // The type identification names at the file's first sector; size as it leaves it.
    std::string identify(uint32_t blockSize, const std::string& device, uint64_t& size) const {
        return std::string(SignatureCheck::checkSignatureInBlock_andSectorNumber_blockSize_andBSDPath_fileSizeForOfficeX(
            unit, kFileAt / blockSize, blockSize, device, size));
    }

    // The extension and size the deep scan gives the hit at the file's first sector.
    std::pair<std::string, uint64_t> hit(uint32_t blockSize, const std::string& device) const {
        uint64_t size = 0;
        const std::string extension = identify(blockSize, device, size);
        if (extension.empty()) return {extension, 0};
        if (size == 0)
            size = SignatureCheck::searchForFileCheckWithExtension_andSigNode(extension, SigNode())
                       ->fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(unit, kFileAt / blockSize, blockSize,
                                                                                   device);
        return {extension, size};
    }
    std::pair<std::string, uint64_t> hit(uint32_t blockSize = 512) const { return hit(blockSize, path); }

    TempDir dir;
    std::filesystem::path path = dir / "device.img";
    std::vector<uint8_t> unit;
};

}  // namespace norix::test
