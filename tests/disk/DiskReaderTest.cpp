// Sector reads from a real file: data, short reads at the end, and every refusal.
#include <gtest/gtest.h>

#include "disk/DiskReader.h"
#include "disk/Platform.h"
#include "tests/support/TestSupport.h"

namespace norix {
namespace {

constexpr uint8_t kUntouched = 0xEE;

// The 1000-byte file holds i % 251 at offset i, so every offset has a recognisable value.
TEST(DiskReader, FillsOnlyWhatTheFileHoldsAndRefusesReadsThatWrapAround) {
    test::TempDir dir;
    std::vector<uint8_t> bytes(1000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i % 251);
    test::writeFile(dir / "device.img", bytes);
    // first sector, sector size, count, file, error code (0: none), bytes copied from the file
    using Read = std::tuple<uint64_t, uint32_t, uint64_t, const char*, int, size_t>;
    for (const auto& [first, size, count, file, code, copied] : {
             Read{3, 100, 2, "device.img", 0, 200},
             Read{1, 512, 2, "device.img", 0, 488},  // short read at the end
             Read{100, 512, 1, "device.img", 0, 0},
             Read{0, 512, 1, "absent.img", 1, 0},
             Read{0, 512, 3, "device.img", 2, 0},  // the buffer is too small
             // 2^55 + 1 sectors of 512 bytes wrap to 512 bytes in 64 bits; sector 2^55 to offset 0.
             Read{0, 512, (uint64_t{1} << 55) + 1, "device.img", 2, 0},
             Read{uint64_t{1} << 55, 512, 1, "device.img", 2, 0},
         }) {
        SCOPED_TRACE(testing::Message() << first << " " << count);
        std::vector<uint8_t> buffer(1024, kUntouched);
        setConsoleQuiet(true);
        const auto error = DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
            first, size, (dir / file).string(), buffer, count);
        setConsoleQuiet(false);
        EXPECT_EQ(error ? error->code : 0, code);
        if (error) {
            EXPECT_EQ(error->reason, code == 1 ? "Unable to open disk" : "Unable to read sector");
        }
        std::vector<uint8_t> expected(1024, kUntouched);
        for (size_t i = 0; i < copied; ++i) expected[i] = bytes[first * size + i];
        EXPECT_EQ(buffer, expected);
    }
}

// Reads on several threads note what failed in any order; the list comes out merged.
TEST(UnreadableRanges, MergesRangesThatOverlapMeetOrBridgeAndNamesThemBySector) {
    UnreadableRanges ranges(512);
    for (const ByteRange range : {ByteRange{4096, 4608}, {1024, 1536}, {512, 1024}, {8192, 9216}, {8704, 8800},
                                  {4000, 4200}, {300, 300}})
        ranges.add(range);
    EXPECT_EQ(ranges.ranges(), (std::vector<ByteRange>{{512, 1536}, {4000, 4608}, {8192, 9216}}));
    EXPECT_EQ(unreadableSectorsText(ranges.ranges(), 512), "unreadable sectors 1-2, 7-8, 16-17");
    ranges.add({1536, 4000});
    EXPECT_EQ(byteRangesText(ranges.ranges()), "bytes 512-4607, 8192-9215");
}

}  // namespace
}  // namespace norix
