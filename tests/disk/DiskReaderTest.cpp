// Sector reads from a real file: data, short reads at the end, and every refusal.
#include <gtest/gtest.h>

#include "disk/DiskReader.h"
#include "disk/Platform.h"
#include "tests/support/TestSupport.h"

namespace norix {
namespace {

constexpr uint8_t kUntouched = 0xEE;

struct ReadCase {
    const char* name;
    uint64_t first;
    uint32_t size;
    uint64_t count;
    const char* file;  // in the test folder; "" is the folder itself
    int code;          // 0 for success
    size_t copied;     // bytes that come from the file, the rest of the buffer stays untouched
};

class DiskReaderRead : public testing::TestWithParam<ReadCase> {};

// The 1000-byte file holds i % 251 at offset i, so every offset has a recognisable value.
TEST_P(DiskReaderRead, FillsOnlyWhatTheFileHolds) {
    const auto& param = GetParam();
    test::TempDir dir;
    std::vector<uint8_t> bytes(1000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i % 251);
    test::writeFile(dir / "device.img", bytes);
    std::vector<uint8_t> buffer(1024, kUntouched);

    setConsoleQuiet(true);
    const auto error = DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
        param.first, param.size, (dir / param.file).string(), buffer, param.count);
    setConsoleQuiet(false);

    EXPECT_EQ(error ? error->code : 0, param.code);
    if (error) {
        EXPECT_EQ(error->reason, param.code == 1 ? "Unable to open disk" : "Unable to read sector");
    }
    std::vector<uint8_t> expected(1024, kUntouched);
    for (size_t i = 0; i < param.copied; ++i) expected[i] = bytes[param.first * param.size + i];
    EXPECT_EQ(buffer, expected);
}

const ReadCase kReads[] = {
    {"WholeSectors", 3, 100, 2, "device.img", 0, 200},
    {"ShortReadAtTheEnd", 1, 512, 2, "device.img", 0, 488},
    {"ReadPastTheEnd", 100, 512, 1, "device.img", 0, 0},
    {"MissingPath", 0, 512, 1, "absent.img", 1, 0},
    {"BufferTooSmall", 0, 512, 3, "device.img", 2, 0},
    // 2^55 + 1 sectors of 512 bytes wrap to 512 bytes in 64 bits.
    {"SectorCountWrapsAround", 0, 512, (uint64_t{1} << 55) + 1, "device.img", 2, 0},
    // Sector 2^55 of 512 bytes wraps to offset 0.
    {"OffsetWrapsAround", uint64_t{1} << 55, 512, 1, "device.img", 2, 0},
};

INSTANTIATE_TEST_SUITE_P(Disk, DiskReaderRead, testing::ValuesIn(kReads),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace norix
