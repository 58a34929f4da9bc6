// exFAT directory entries from tests/fixtures/exfat-files.img.zst (mkfs.exfat, filled
// through the exfat-fuse driver; tools/make-exfat-fixture.sh) and from a fresh
// mkfs.exfat volume checked against dump.exfat: what the scan fixtures do not reach.
#include <gtest/gtest.h>

#include "disk/ByteView.h"
#include "records/fat/AllocationBitMapDirectoryEntry.h"
#include "records/fat/FileDirectoryEntry.h"
#include "records/fat/FileNameExtensionDirectoryEntry.h"
#include "records/fat/MainBootSector.h"
#include "records/fat/StreamExtensionDirectoryEntery.h"
#include "records/fat/VolumeLabelDirectoryEntry.h"
#include "tests/records/ToolImage.h"

namespace norix {
namespace {

using test::reportNumber;
using test::ToolImage;

std::vector<uint8_t> rootCluster(const ToolImage& image, MainBootSector& mbs) {
    mbs = *MainBootSector::initMBSWithData_withCurrentSector(ByteView(image.read(0, 512)), 0);
    const uint64_t sector = mbs.cluster_heap_offset + mbs.computedSectorsPerCluster * (mbs.root_directory_first_cluster - 2);
    return image.read(sector * mbs.computedBytesPerSector, mbs.computedSectorsPerCluster * mbs.computedBytesPerSector);
}

class ExFatEntries : public ::testing::Test {
protected:
    // The entry set whose joined name is `name`: its entries from the file entry on.
    std::vector<uint8_t> entrySet(const std::string& name, FileDirectoryEntry& file) const {
        const ByteView root(rootBytes);
        for (size_t offset = 0; offset + 64 <= root.size() && root.u8(offset) != 0; offset += 32) {
            if ((root.u8(offset) & 0x7F) != 0x05) continue;
            file = *FileDirectoryEntry::initFDEWithData(root.sub(offset, 32));
            const auto stream = StreamExtensionDirectoryEntery::initSEDWithData(root.sub(offset + 32, 32));
            std::vector<FileNameExtensionDirectoryEntry> names;
            for (size_t i = 2; i <= file.secondary_count; ++i)
                names.push_back(FileNameExtensionDirectoryEntry::initFNEWithData(root.sub(offset + 32 * i, 32)));
            if (stream && FileNameExtensionDirectoryEntry::joinedName(names, stream->name_length) == name)
                return {rootBytes.begin() + static_cast<long>(offset),
                        rootBytes.begin() + static_cast<long>(offset + 32 * (file.secondary_count + 1))};
        }
        throw std::runtime_error("no entry set " + name);
    }

    ToolImage image{"zstd -q -d -f -o \"$IMG\" '" NORIX_SOURCE_DIR "/tests/fixtures/exfat-files.img.zst'"};
    MainBootSector mbs;
    std::vector<uint8_t> rootBytes = rootCluster(image, mbs);
};

// A surrogate pair cut between name entries is joined whole; the timestamps come from
// their own fields: readme.txt was touched to 2021-03-04 05:06:08 UTC after it was created.
TEST_F(ExFatEntries, NamesJoinSplitPairsTimestampsComeFromTheirOwnFieldsAndSetsAreBounded) {
    FileDirectoryEntry file;
    EXPECT_EQ(entrySet("Fourteen chars😀 split.txt", file).size(), 4 * 32u);
    constexpr uint32_t touched = (2021u - 1980) << 25 | 3 << 21 | 4 << 16 | 5 << 11 | 6 << 5 | 8 / 2;
    std::vector<uint8_t> fileEntry = entrySet("readme.txt", file);
    EXPECT_EQ(file.last_modified, touched);
    EXPECT_EQ(file.last_accessed, touched);
    EXPECT_GT(file.create_date, touched);

    // The count of secondary entries bounds what is read after the file entry. Other
    // refusals are replayed by the fat_records fuzz target.
    fileEntry.resize(32);
    fileEntry[1] = 18;
    EXPECT_TRUE(FileDirectoryEntry::initFDEWithData(ByteView(fileEntry)));
    fileEntry[1] = 19;
    EXPECT_FALSE(FileDirectoryEntry::initFDEWithData(ByteView(fileEntry)));
}

// The first entries of a fresh root directory: volume label, then allocation bitmap.
TEST(ExFatRootDirectory, LabelAndBitmapAgreeWithDumpExfat) {
    const ToolImage image("truncate -s 64M \"$IMG\"\nmkfs.exfat -c 128K -L '日本語ラベル' \"$IMG\" >/dev/null\n");
    const std::string dump = image.run("dump.exfat \"$IMG\"");
    MainBootSector mbs;
    const auto root = rootCluster(image, mbs);

    const auto label = VolumeLabelDirectoryEntry::initVLDWithData(ByteView(root).sub(0, 32));
    EXPECT_EQ(label.entry_type, 0x83);
    EXPECT_EQ(label.volume_label_string, "日本語ラベル");
    EXPECT_EQ(label.volume_label_string, test::reportText(dump, "Volume label:"));
    EXPECT_EQ(label.character_count, reportNumber(dump, "Volume label character count:"));

    const auto bitmap = AllocationBitMapDirectoryEntry::initABMWithData(ByteView(root).sub(32, 32));
    EXPECT_EQ(bitmap.entry_type, 0x81);
    EXPECT_EQ(bitmap.first_cluster, reportNumber(dump, "Bitmap start cluster:"));
    EXPECT_EQ(bitmap.data_length, reportNumber(dump, "Bitmap size:"));
}

}  // namespace
}  // namespace norix
