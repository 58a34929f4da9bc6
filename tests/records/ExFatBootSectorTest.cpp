// exFAT main boot sectors made by mkfs.exfat, checked against dump.exfat (exfatprogs'
// own reader), then damaged with dd.
#include <gtest/gtest.h>

#include <algorithm>

#include "disk/ByteView.h"
#include "records/fat/MainBootSector.h"
#include "tests/records/ToolImage.h"

namespace norix {
namespace {

using test::reportNumber;
using test::ToolImage;

const std::string kExFat = "truncate -s 8M \"$IMG\"\nmkfs.exfat \"$IMG\" >/dev/null\n";

std::string patch(uint64_t offset, const std::string& octalBytes) {
    return "printf '" + octalBytes + "' | dd of=\"$IMG\" bs=1 seek=" + std::to_string(offset) +
           " conv=notrunc status=none\n";
}

struct ExFatVolume {
    std::string name, script;
};
void PrintTo(const ExFatVolume& param, std::ostream* os) { *os << param.name; }

class MainBootSectorOnVolumes : public ::testing::TestWithParam<ExFatVolume> {};

TEST_P(MainBootSectorOnVolumes, FieldsAgreeWithDumpExfat) {
    const ToolImage image(GetParam().script);
    const std::string dump = image.run("dump.exfat \"$IMG\"");
    const auto mbs = MainBootSector::initMBSWithData_withCurrentSector(ByteView(image.read(0, 512)), 0);
    ASSERT_TRUE(mbs) << dump;
    EXPECT_EQ(mbs->volume_length, reportNumber(dump, "Volume Length(sectors):"));
    EXPECT_EQ(mbs->fat_offset, reportNumber(dump, "FAT Offset(sector offset):"));
    EXPECT_EQ(mbs->fat_length, reportNumber(dump, "FAT Length(sectors):"));
    EXPECT_EQ(mbs->cluster_heap_offset, reportNumber(dump, "Cluster Heap Offset (sector offset):"));
    EXPECT_EQ(mbs->cluster_count, reportNumber(dump, "Cluster Count:"));
    EXPECT_EQ(mbs->root_directory_first_cluster, reportNumber(dump, "Root Cluster (cluster offset):"));
    EXPECT_EQ(mbs->volume_serial_number, reportNumber(dump, "Volume Serial:"));
    EXPECT_EQ(mbs->bytes_per_sector, reportNumber(dump, "Sector Size Bits:"));
    EXPECT_EQ(mbs->sectors_per_cluster, reportNumber(dump, "Sector per Cluster bits:"));
    EXPECT_EQ(mbs->computedBytesPerSector, 512u);
    EXPECT_EQ(mbs->computedBytesPerSector * mbs->computedSectorsPerCluster, reportNumber(dump, "Cluster size:"));
    EXPECT_EQ(mbs->number_of_fats, 1);
    EXPECT_EQ(mbs->boot_signature, 0xAA55);
    EXPECT_EQ(mbs->file_system_revision, 0x0100);
    EXPECT_EQ(mbs->partition_offset, 0u);
    EXPECT_TRUE(std::all_of(mbs->must_be_zero.begin(), mbs->must_be_zero.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(std::string(mbs->file_system_name.begin(), mbs->file_system_name.end()), "EXFAT   ");
    EXPECT_EQ(mbs->cluster_heap_offset_1, 0u);  // placed by the scan, not read
}

INSTANTIATE_TEST_SUITE_P(
    MkfsExfat, MainBootSectorOnVolumes,
    ::testing::Values(ExFatVolume{"Default", kExFat},
                      ExFatVolume{"Clusters128KiB", "truncate -s 64M \"$IMG\"\nmkfs.exfat -c 128K \"$IMG\" >/dev/null\n"},
                      ExFatVolume{"SectorSizedClusters", "truncate -s 4M \"$IMG\"\nmkfs.exfat -c 512 \"$IMG\" >/dev/null\n"},
                      ExFatVolume{"Labelled", "truncate -s 8M \"$IMG\"\nmkfs.exfat -L Café \"$IMG\" >/dev/null\n"}),
    [](const auto& info) { return info.param.name; });

TEST(MainBootSector, BackupBootSectorKeepsTheSectorItWasReadFrom) {
    // The backup boot region starts 12 sectors in.
    const ToolImage image(kExFat);
    const auto main = MainBootSector::initMBSWithData_withCurrentSector(ByteView(image.read(0, 512)), 0);
    const auto backup = MainBootSector::initMBSWithData_withCurrentSector(ByteView(image.read(12 * 512, 512)), 12);
    ASSERT_TRUE(main && backup);
    EXPECT_EQ(main->getCurrentSector(), 0u);
    EXPECT_EQ(backup->getCurrentSector(), 12u);
    EXPECT_EQ(backup->cluster_heap_offset, main->cluster_heap_offset);
    EXPECT_EQ(backup->volume_serial_number, main->volume_serial_number);
}

struct Damaged {
    std::string name, script;
    bool accepted;
};
void PrintTo(const Damaged& param, std::ostream* os) { *os << param.name; }

class MainBootSectorDamaged : public ::testing::TestWithParam<Damaged> {};

TEST_P(MainBootSectorDamaged, AcceptedOnlyWhenStillPlausible) {
    const ToolImage image(GetParam().script);
    const auto mbs = MainBootSector::initMBSWithData_withCurrentSector(ByteView(image.read(0, 512)), 0);
    EXPECT_EQ(mbs.has_value(), GetParam().accepted);
}

INSTANTIATE_TEST_SUITE_P(
    Dd, MainBootSectorDamaged,
    ::testing::Values(
        Damaged{"TwoFats", kExFat + patch(110, "\\002"), false},
        Damaged{"NameRunsIntoMustBeZero", kExFat + patch(11, "X"), false},
        Damaged{"OtherName", kExFat + patch(3, "FAT32"), false},
        Damaged{"NoBootSignature", kExFat + patch(510, "\\000\\000"), false},
        // A sector size outside 512-4096 bytes, or a cluster above 32 MiB, is no exFAT
        // volume; taken as one it would have the scans read gigabytes per cluster.
        Damaged{"SectorShift31", kExFat + patch(108, "\\037"), false},
        Damaged{"SectorShift8", kExFat + patch(108, "\\010"), false},
        Damaged{"ClusterOf64MiB", kExFat + patch(109, "\\021"), false},
        Damaged{"ClusterOf32MiBPasses", kExFat + patch(109, "\\020"), true},
        Damaged{"ZeroedSector", "truncate -s 1M \"$IMG\"\n", false},
        Damaged{"Fat32", "mkfs.fat -C \"$IMG\" 40960 -F 32 >/dev/null\n", false}),
    [](const auto& info) { return info.param.name; });

TEST(MainBootSector, TruncatedSectorThrows) {
    const ToolImage image(kExFat);
    EXPECT_THROW(MainBootSector::initMBSWithData_withCurrentSector(ByteView(image.read(0, 511)), 0),
                 std::out_of_range);
}

}  // namespace
}  // namespace norix
