// FAT32 boot sectors made by mkfs.fat, checked against mtools' own reading (minfo), then
// damaged with dd the way failing media damage them.
#include <gtest/gtest.h>

#include "disk/ByteView.h"
#include "records/fat/FatBootSectors.h"
#include "tests/records/ToolImage.h"

namespace norix {
namespace {

using test::ToolImage;

const std::string kFat32 = "mkfs.fat -C \"$IMG\" 40960 -F 32 -n NORIX >/dev/null\n";

// Overwrites bytes of the image, given as printf octal escapes ("\\003").
std::string patch(uint64_t offset, const std::string& octalBytes) {
    return "printf '" + octalBytes + "' | dd of=\"$IMG\" bs=1 seek=" + std::to_string(offset) +
           " conv=notrunc status=none\n";
}
std::string zeroSector(uint64_t sector, uint32_t size = 512) {
    return "dd if=/dev/zero of=\"$IMG\" bs=" + std::to_string(size) + " seek=" + std::to_string(sector) +
           " count=1 conv=notrunc status=none\n";
}

// The boot sector as the quick scan reads it (4096 bytes at sector 0), and the starts of
// both FATs read where the boot sector places them.
struct Reading {
    std::vector<uint8_t> boot, firstFat, secondFat;
};
Reading readVolume(const ToolImage& image, uint32_t blockSize, uint64_t startSector = 0) {
    Reading r{image.read(startSector * blockSize, 4096), {}, {}};
    if (auto fs = FatBootSectors::readBlock_blockSize(ByteView(r.boot), blockSize)) {
        r.firstFat = image.read(fs->firstFatSector(startSector) * blockSize, blockSize);
        r.secondFat = image.read(fs->secondFatSector(startSector) * blockSize, blockSize);
    }
    return r;
}
std::optional<FatBootSectors> decode(const Reading& r, uint32_t blockSize) {
    return FatBootSectors::initFatSectorWithBlock_blockSize_withFirstFat_andSecondFat(
        ByteView(r.boot), blockSize, ByteView(r.firstFat), ByteView(r.secondFat));
}

struct Fat32Volume {
    std::string name, mkfs;
    uint32_t blockSize;
};
void PrintTo(const Fat32Volume& param, std::ostream* os) { *os << param.name; }

class FatBootSectorsOnVolumes : public ::testing::TestWithParam<Fat32Volume> {};

TEST_P(FatBootSectorsOnVolumes, FieldsAgreeWithMinfoAndBothFatsAreFound) {
    const auto& volume = GetParam();
    const ToolImage image(volume.mkfs);
    const std::string info = image.run("minfo -i \"$IMG\" ::");
    const Reading reading = readVolume(image, volume.blockSize);

    const auto fs = decode(reading, volume.blockSize);
    ASSERT_TRUE(fs) << info;
    EXPECT_EQ(fs->u16BytsPrSec, test::reportNumber(info, "sector size:"));
    EXPECT_EQ(fs->u8SectorPerCluster, test::reportNumber(info, "cluster size:"));
    EXPECT_EQ(fs->u16ReservedSectorCount, test::reportNumber(info, "reserved (boot) sectors:"));
    EXPECT_EQ(fs->u8NumberOfFats, test::reportNumber(info, "fats:"));
    EXPECT_EQ(fs->u32FATSize, test::reportNumber(info, "Big fatlen="));
    EXPECT_EQ(fs->u8Media, test::reportNumber(info, "media descriptor byte:"));
    EXPECT_EQ(fs->u8Check, 0x90);
    EXPECT_EQ(fs->u32RootDirectorySectors, 0u);  // FAT32 keeps its root directory in clusters
    // Both FATs really begin where the record says (an intact FAT starts with the media byte).
    EXPECT_TRUE(fs->fatStartMatchesMedia(ByteView(reading.firstFat)));
    EXPECT_TRUE(fs->fatStartMatchesMedia(ByteView(reading.secondFat)));
}

INSTANTIATE_TEST_SUITE_P(
    MkfsFat, FatBootSectorsOnVolumes,
    ::testing::Values(
        Fat32Volume{"Default", kFat32, 512},
        Fat32Volume{"EightSectorClusters", "mkfs.fat -C \"$IMG\" 40960 -F 32 -s 8 >/dev/null", 512},
        Fat32Volume{"FourKiBSectors", "mkfs.fat -C \"$IMG\" 40960 -F 32 -S 4096 >/dev/null", 4096},
        Fat32Volume{"MoreReservedAndMediaF0", "mkfs.fat -C \"$IMG\" 40960 -F 32 -R 64 -M 0xF0 >/dev/null", 512},
        // 8.6 million clusters: each FAT takes more than 65535 sectors.
        Fat32Volume{"FatAbove65535Sectors", "mkfs.fat -C \"$IMG\" 4300000 -F 32 -s 1 >/dev/null", 512}),
    [](const auto& info) { return info.param.name; });

TEST(FatBootSectors, VolumeFoundFurtherInTheDevice) {
    // A FAT32 volume starting 1 MiB into the device, as a lost partition is found.
    const ToolImage image("truncate -s 41M \"$IMG\"\nmkfs.fat --offset 2048 -F 32 \"$IMG\" 40960 >/dev/null\n");
    const Reading reading = readVolume(image, 512, 2048);
    const auto fs = decode(reading, 512);
    ASSERT_TRUE(fs);
    EXPECT_EQ(fs->firstFatSector(2048), 2048u + 32);
    EXPECT_EQ(fs->secondFatSector(2048), 2048u + 32 + fs->u32FATSize);
}

// A first FAT that no longer starts with the media byte is forgiven when the second one
// still does -- and only then.
TEST(FatBootSectors, SecondFatStandsInForADamagedFirstFat) {
    const ToolImage image(kFat32 + zeroSector(32));  // the first FAT's first sector
    Reading reading = readVolume(image, 512);
    ASSERT_EQ(reading.firstFat[0], 0);
    EXPECT_TRUE(decode(reading, 512));

    reading.secondFat.clear();  // the second FAT could not be read
    EXPECT_FALSE(decode(reading, 512));
}

TEST(FatBootSectors, BothFatsDamagedIsRejected) {
    const ToolImage plain(kFat32);
    const auto fs = FatBootSectors::readBlock_blockSize(ByteView(plain.read(0, 512)), 512);
    ASSERT_TRUE(fs);
    const ToolImage image(kFat32 + zeroSector(32) + zeroSector(fs->secondFatSector(0)));
    EXPECT_FALSE(decode(readVolume(image, 512), 512));
}

TEST(FatBootSectors, SecondFatIsHeldToTheMediaByteNotTheJumpByte) {
    const ToolImage plain(kFat32);
    const auto fs = FatBootSectors::readBlock_blockSize(ByteView(plain.read(0, 512)), 512);
    ASSERT_TRUE(fs);
    // The second FAT now starts with 0x90, the third byte of the jump.
    const ToolImage image(kFat32 + zeroSector(32) + patch(fs->secondFatSector(0) * 512, "\\220"));
    EXPECT_FALSE(decode(readVolume(image, 512), 512));
}

struct Damaged {
    std::string name, script;
    bool accepted;
};
void PrintTo(const Damaged& param, std::ostream* os) { *os << param.name; }

class FatBootSectorsDamaged : public ::testing::TestWithParam<Damaged> {};

TEST_P(FatBootSectorsDamaged, AcceptedOnlyWhenStillPlausible) {
    const ToolImage image(GetParam().script);
    const Reading reading = readVolume(image, 512);
    EXPECT_EQ(decode(reading, 512).has_value(), GetParam().accepted);
}

INSTANTIATE_TEST_SUITE_P(
    Dd, FatBootSectorsDamaged,
    ::testing::Values(
        Damaged{"ThreeSectorsPerCluster", kFat32 + patch(13, "\\003"), false},
        Damaged{"ZeroSectorsPerClusterPasses", kFat32 + patch(13, "\\000"), true},
        Damaged{"BytesPerSector768", kFat32 + patch(11, "\\000\\003"), false},
        Damaged{"ZeroBytesPerSectorPasses", kFat32 + patch(11, "\\000\\000"), true},
        Damaged{"NoBootSignature", kFat32 + patch(510, "\\000\\000"), false},
        Damaged{"ShortJumpWithoutNop", kFat32 + patch(2, "\\000"), false},
        Damaged{"NearJumpE9Passes", kFat32 + patch(0, "\\351"), true},
        Damaged{"ZeroedSector", "truncate -s 1M \"$IMG\"\n", false},
        Damaged{"OneFat", "mkfs.fat -C \"$IMG\" 40960 -F 32 -f 1 >/dev/null\n", false},
        // FAT16 and FAT12 pass every other test, but their fixed root directory and
        // 16- or 12-bit FAT entries would be misread as FAT32.
        Damaged{"Fat16", "mkfs.fat -C \"$IMG\" 40960 -F 16 >/dev/null\n", false},
        Damaged{"Fat12", "mkfs.fat -C \"$IMG\" 4096 -F 12 >/dev/null\n", false},
        Damaged{"ExFat", "truncate -s 8M \"$IMG\"\nmkfs.exfat \"$IMG\" >/dev/null\n", false}),
    [](const auto& info) { return info.param.name; });

TEST(FatBootSectors, NtfsBootSectorIsRejected) {
    if (!test::haveTool("mkntfs")) GTEST_SKIP() << "mkntfs (ntfs-3g) is not installed";
    const ToolImage image("truncate -s 16M \"$IMG\"\nmkntfs -F -f -q \"$IMG\"\n");
    EXPECT_FALSE(FatBootSectors::readBlock_blockSize(ByteView(image.read(0, 4096)), 512));
}

TEST(FatBootSectors, RootDirectorySectorsRoundUpInDeviceBlocks) {
    // A root-entry count that only FAT12/16 use, written into a FAT32 boot sector.
    const ToolImage image(kFat32);
    auto boot = image.read(0, 512);
    auto withEntries = [&](uint16_t entries, uint32_t blockSize) {
        boot[17] = static_cast<uint8_t>(entries & 0xFF);
        boot[18] = static_cast<uint8_t>(entries >> 8);
        return FatBootSectors::readBlock_blockSize(ByteView(boot), blockSize)->u32RootDirectorySectors;
    };
    EXPECT_EQ(withEntries(512, 512), 32u);
    EXPECT_EQ(withEntries(512, 4096), 4u);
    EXPECT_EQ(withEntries(17, 512), 2u);
    EXPECT_EQ(withEntries(0xFFFF, 512), 4096u);
}

TEST(FatBootSectors, ZeroBlockSizeIsRefused) {
    const ToolImage image(kFat32);
    EXPECT_FALSE(FatBootSectors::readBlock_blockSize(ByteView(image.read(0, 512)), 0));
}

TEST(FatBootSectors, TruncatedBootSectorThrows) {
    const ToolImage image(kFat32);
    const auto boot = image.read(0, 511);
    EXPECT_THROW(FatBootSectors::readBlock_blockSize(ByteView(boot), 512), std::out_of_range);
}

}  // namespace
}  // namespace norix
