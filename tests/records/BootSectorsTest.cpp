// FAT32 and exFAT boot sectors made by mkfs.fat and mkfs.exfat: the geometries the scan
// fixtures do not have, and the damage (made with dd) that must make a sector be refused.
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

// Damage made with dd, and volumes of other kinds, that must have a boot sector refused
// (or, where marked, still accepted).
TEST(BootSectors, AreAcceptedOnlyWhenStillPlausible) {
    using Case = std::tuple<const char*, std::string, bool>;
    const Case fat32[] = {
        {"ThreeSectorsPerCluster", kFat32 + patch(13, "\\003"), false},
        {"BytesPerSector768", kFat32 + patch(11, "\\000\\003"), false},
        {"NoBootSignature", kFat32 + patch(510, "\\000\\000"), false},
        {"ShortJumpWithoutNop", kFat32 + patch(2, "\\000"), false},
        {"NearJumpE9Passes", kFat32 + patch(0, "\\351"), true},
        {"OneFat", "mkfs.fat -C \"$IMG\" 40960 -F 32 -f 1 >/dev/null\n", false},
        {"ExFat", kExFat, false},
    };
    for (const auto& [name, script, accepted] : fat32)
        EXPECT_EQ(decodeFat32(ToolImage(script)).has_value(), accepted) << name;

    const Case exFat[] = {
        {"TwoFats", kExFat + patch(110, "\\002"), false},
        {"NameRunsIntoMustBeZero", kExFat + patch(11, "X"), false},
        {"NoBootSignature", kExFat + patch(510, "\\000\\000"), false},
        // A sector outside 512-4096 bytes, or a cluster above 32 MiB, would have the scans
        // read gigabytes per cluster.
        {"SectorShift31", kExFat + patch(108, "\\037"), false},
        {"SectorShift8", kExFat + patch(108, "\\010"), false},
        {"ClusterOf64MiB", kExFat + patch(109, "\\021"), false},
        {"ClusterOf32MiBPasses", kExFat + patch(109, "\\020"), true},
        {"Fat32", kFat32, false},
    };
    for (const auto& [name, script, accepted] : exFat) {
        const ToolImage image(script);
        EXPECT_EQ(MainBootSector::initMBSWithData_withCurrentSector(ByteView(image.read(0, 512)), 0).has_value(),
                  accepted)
            << name;
    }
}

}  // namespace
}  // namespace norix
