// FAT32 and exFAT boot sectors made by mkfs.fat and mkfs.exfat: the geometries the scan
// fixtures do not have, and the volumes that must have their boot sector refused.
#include <gtest/gtest.h>

#include "disk/ByteView.h"
#include "records/fat/FatBootSectors.h"
#include "records/fat/MainBootSector.h"
#include "tests/records/ToolImage.h"

namespace norix {
namespace {

using test::ToolImage;

const std::string kFat32 = "mkfs.fat -C \"$IMG\" 40960 -F 32 >/dev/null\n";
const std::string kExFat = "truncate -s 8M \"$IMG\"\nmkfs.exfat \"$IMG\" >/dev/null\n";

// Overwrites bytes of the image, given as printf octal escapes ("\\003").
std::string patch(uint64_t offset, const std::string& octalBytes) {
    return "printf '" + octalBytes + "' | dd of=\"$IMG\" bs=1 seek=" + std::to_string(offset) +
           " conv=notrunc status=none\n";
}
std::string zeroSector(uint64_t sector) {
    return "dd if=/dev/zero of=\"$IMG\" bs=512 seek=" + std::to_string(sector) + " count=1 conv=notrunc status=none\n";
}

// The boot sector as the quick scan reads it, and the start of each FAT where it says.
std::optional<FatBootSectors> decodeFat32(const ToolImage& image, uint32_t blockSize = 512) {
    const auto boot = image.read(0, 4096);
    std::vector<uint8_t> firstFat, secondFat;
    if (auto fs = FatBootSectors::readBlock_blockSize(ByteView(boot), blockSize)) {
        firstFat = image.read(fs->firstFatSector(0) * blockSize, blockSize);
        secondFat = image.read(fs->secondFatSector(0) * blockSize, blockSize);
    }
    return FatBootSectors::initFatSectorWithBlock_blockSize_withFirstFat_andSecondFat(
        ByteView(boot), blockSize, ByteView(firstFat), ByteView(secondFat));
}

class Fat32Geometry : public ::testing::TestWithParam<std::pair<const char*, uint32_t>> {};

// 4 KiB logical sectors, and a FAT of more than 65535 sectors (8.6 million clusters).
TEST_P(Fat32Geometry, AgreesWithMinfo) {
    const ToolImage image(GetParam().first);
    const std::string info = image.run("minfo -i \"$IMG\" ::");
    const auto fs = decodeFat32(image, GetParam().second);
    ASSERT_TRUE(fs) << info;
    EXPECT_EQ(fs->u16BytsPrSec, test::reportNumber(info, "sector size:"));
    EXPECT_EQ(fs->u8SectorPerCluster, test::reportNumber(info, "cluster size:"));
    EXPECT_EQ(fs->u16ReservedSectorCount, test::reportNumber(info, "reserved (boot) sectors:"));
    EXPECT_EQ(fs->u32FATSize, test::reportNumber(info, "Big fatlen="));
}

INSTANTIATE_TEST_SUITE_P(MkfsFat, Fat32Geometry,
                         ::testing::Values(std::pair("mkfs.fat -C \"$IMG\" 40960 -F 32 -S 4096 >/dev/null", 4096u),
                                           std::pair("mkfs.fat -C \"$IMG\" 4300000 -F 32 -s 1 >/dev/null", 512u)));

TEST(FatBootSectors, TheSecondFatStandsInForADamagedFirstOnlyWhenItStartsWithTheMediaByte) {
    const ToolImage plain(kFat32);
    const auto fs = decodeFat32(plain);
    ASSERT_TRUE(fs);
    EXPECT_FALSE(FatBootSectors::readBlock_blockSize(ByteView(plain.read(0, 512)), 0));
    const std::string firstGone = kFat32 + zeroSector(fs->firstFatSector(0));
    EXPECT_TRUE(decodeFat32(ToolImage(firstGone)));
    EXPECT_FALSE(decodeFat32(ToolImage(firstGone + zeroSector(fs->secondFatSector(0)))));
    // 0x90, the third byte of the jump, is not the media byte.
    EXPECT_FALSE(decodeFat32(ToolImage(firstGone + patch(fs->secondFatSector(0) * 512, "\\220"))));
}

// Volumes a scan would misread must have their boot sector refused: exFAT as FAT and
// the other way round, and exFAT sectors or clusters so large that the scans would read
// gigabytes per cluster. Other damage is replayed by the fat_records fuzz target.
TEST(BootSectors, AreRefusedWhereTheScanWouldMisreadTheVolume) {
    EXPECT_FALSE(decodeFat32(ToolImage(kExFat)));
    EXPECT_TRUE(decodeFat32(ToolImage(kFat32 + patch(0, "\\351"))));  // a near jump (E9) passes
    for (const auto& [script, accepted] : {std::pair{kExFat + patch(108, "\\037"), false},  // 2^31-byte sectors
                                           {kExFat + patch(109, "\\021"), false},           // 64 MiB clusters
                                           {kExFat + patch(109, "\\020"), true},            // 32 MiB passes
                                           {kFat32, false}}) {
        const ToolImage image(script);
        EXPECT_EQ(MainBootSector::initMBSWithData_withCurrentSector(ByteView(image.read(0, 512)), 0).has_value(),
                  accepted)
            << script;
    }
}

}  // namespace
}  // namespace norix
