// exFAT directory entries from tests/fixtures/exfat-files.img.zst, a volume that
// mkfs.exfat made and the exfat-fuse driver filled (tools/make-exfat-fixture.sh lists its
// files), and from fresh mkfs.exfat volumes checked against dump.exfat.
#include <gtest/gtest.h>

#include <algorithm>

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

// One entry set: file entry, stream extension, file-name entries.
struct EntrySet {
    std::string name;
    FileDirectoryEntry file;
    StreamExtensionDirectoryEntery stream;
    std::vector<FileNameExtensionDirectoryEntry> names;
};

std::vector<uint8_t> readCluster(const ToolImage& image, const MainBootSector& mbs, uint32_t cluster) {
    const uint64_t sector = mbs.cluster_heap_offset + mbs.computedSectorsPerCluster * (cluster - 2);
    return image.read(sector * mbs.computedBytesPerSector, mbs.computedSectorsPerCluster * mbs.computedBytesPerSector);
}

std::vector<EntrySet> listSets(ByteView cluster) {
    std::vector<EntrySet> sets;
    for (size_t offset = 0; offset + 32 <= cluster.size(); offset += 32) {
        const uint8_t type = cluster.u8(offset);
        if (type == 0) break;
        if ((type & 0x7F) != 0x05) continue;
        auto file = FileDirectoryEntry::initFDEWithData(cluster.sub(offset, 32));
        auto stream = StreamExtensionDirectoryEntery::initSEDWithData(cluster.sub(offset + 32, 32));
        if (!file || !stream) throw std::runtime_error("bad entry set at " + std::to_string(offset));
        EntrySet set{"", *file, *stream, {}};
        for (size_t i = 2; i <= file->secondary_count; ++i)
            set.names.push_back(FileNameExtensionDirectoryEntry::initFNEWithData(cluster.sub(offset + 32 * i, 32)));
        set.name = FileNameExtensionDirectoryEntry::joinedName(set.names, stream->name_length);
        sets.push_back(std::move(set));
        offset += 32 * file->secondary_count;
    }
    return sets;
}

struct Fixture {
    ToolImage image = ToolImage::unpacked("exfat-files");
    MainBootSector mbs = *MainBootSector::initMBSWithData_withCurrentSector(ByteView(image.read(0, 512)), 0);
    std::vector<uint8_t> root = readCluster(image, mbs, mbs.root_directory_first_cluster);
    std::vector<EntrySet> sets = listSets(ByteView(root));
};

const Fixture& fixture() {
    static const Fixture f;
    return f;
}

const EntrySet& find(const std::vector<EntrySet>& sets, const std::string& name) {
    auto it = std::find_if(sets.begin(), sets.end(), [&](const EntrySet& s) { return s.name == name; });
    if (it == sets.end()) throw std::runtime_error("no entry set " + name);
    return *it;
}

struct Expected {
    std::string label, name;
    uint64_t size;
    bool folder, deleted;
};
void PrintTo(const Expected& param, std::ostream* os) { *os << param.label; }

class ExFatEntrySets : public ::testing::TestWithParam<Expected> {};

TEST_P(ExFatEntrySets, NameSizeKindAndDeletedMark) {
    const auto& expected = GetParam();
    const EntrySet& set = find(fixture().sets, expected.name);
    EXPECT_EQ(set.stream.data_length, expected.size);
    EXPECT_EQ(set.file.isFolderEntry, expected.folder);
    EXPECT_EQ(set.file.entry_type, expected.deleted ? 0x05 : 0x85);
    EXPECT_EQ(set.stream.entry_type, expected.deleted ? 0x40 : 0xC0);
    for (const auto& piece : set.names) EXPECT_EQ(piece.entry_type, expected.deleted ? 0x41 : 0xC1);
}

INSTANTIATE_TEST_SUITE_P(
    Fixture, ExFatEntrySets,
    ::testing::Values(Expected{"Ascii", "readme.txt", 30, false, false},
                      Expected{"Accented", "Café crème.txt", 9, false, false},
                      Expected{"Cjk", "日本語のファイル名.txt", 8, false, false},
                      Expected{"SurrogatePair", "Emoji 😀 note.txt", 6, false, false},
                      Expected{"SurrogatePairAcrossEntries", "Fourteen chars😀 split.txt", 6, false, false},
                      Expected{"FourNameEntries", "A rather long file name that needs four name entries.txt", 1092,
                               false, false},
                      Expected{"EmptyFile", "empty.txt", 0, false, false},
                      Expected{"Folder", "Photos", 4096, true, false},
                      Expected{"Deleted", "deleted-report.txt", 14, false, true}),
    [](const auto& info) { return info.param.label; });

TEST(ExFatEntrySets, EveryEntrySetIsListed) {
    EXPECT_EQ(fixture().sets.size(), 9u);
}

TEST(FileNameExtensionDirectoryEntry, EachEntryDecodesItsOwnPiece) {
    const EntrySet& cafe = find(fixture().sets, "Café crème.txt");
    ASSERT_EQ(cafe.names.size(), 1u);
    EXPECT_EQ(cafe.names[0].file_name_string, "Café crème.txt");
    EXPECT_EQ(cafe.names[0].file_name_in_string(), "Café crème.txt");

    const EntrySet& longName = find(fixture().sets, "A rather long file name that needs four name entries.txt");
    ASSERT_EQ(longName.names.size(), 4u);
    EXPECT_EQ(longName.names[0].file_name_string, "A rather long f");
    EXPECT_EQ(longName.names[3].file_name_string, "entries.txt");
}

TEST(FileNameExtensionDirectoryEntry, SurrogatePairCutBetweenEntriesNeedsTheJoinedName) {
    const EntrySet& split = find(fixture().sets, "Fourteen chars😀 split.txt");
    ASSERT_EQ(split.names.size(), 2u);
    // Alone, each entry holds half of the emoji.
    EXPECT_EQ(split.names[0].file_name_string, "Fourteen chars\uFFFD");
    EXPECT_EQ(split.names[1].file_name_string, "\uFFFD split.txt");
}

TEST(FileNameExtensionDirectoryEntry, JoinedNameStopsAtTheStreamNameLength) {
    const EntrySet& readme = find(fixture().sets, "readme.txt");
    EXPECT_EQ(FileNameExtensionDirectoryEntry::joinedName(readme.names, 6), "readme");
    EXPECT_EQ(FileNameExtensionDirectoryEntry::joinedName(readme.names, 255), "readme.txt");
}

TEST(FileDirectoryEntry, TimestampsComeFromTheirOwnFields) {
    // readme.txt was touched to 2021-03-04 05:06:08 UTC after it was created.
    constexpr uint32_t touched = (2021u - 1980) << 25 | 3 << 21 | 4 << 16 | 5 << 11 | 6 << 5 | 8 / 2;
    const FileDirectoryEntry& file = find(fixture().sets, "readme.txt").file;
    EXPECT_EQ(file.last_modified, touched);
    EXPECT_EQ(file.last_accessed, touched);
    EXPECT_GT(file.create_date, touched);
}

TEST(StreamExtensionDirectoryEntery, FolderClusterHoldsItsFiles) {
    const Fixture& f = fixture();
    const EntrySet& photos = find(f.sets, "Photos");
    const auto cluster = readCluster(f.image, f.mbs, photos.stream.first_cluster);
    const auto inside = listSets(ByteView(cluster));
    ASSERT_EQ(inside.size(), 1u);
    EXPECT_EQ(inside[0].name, "Ω-image.jpg");
    EXPECT_EQ(inside[0].stream.data_length, 6000u);
    EXPECT_EQ(inside[0].stream.valid_data_length, 6000u);
}

// Real entries, some with one field changed, through the two entry tests.
class ExFatEntryTests : public ::testing::Test {
protected:
    std::vector<uint8_t> entryOf(const std::string& name, size_t index) const {
        const Fixture& f = fixture();
        const EntrySet& set = find(f.sets, name);
        // Find the set's file entry by its checksum, then step to the entry wanted.
        for (size_t offset = 0; offset + 32 <= f.root.size(); offset += 32)
            if ((f.root[offset] & 0x7F) == 0x05 && ByteView(f.root).u16le(offset + 2) == set.file.set_checksum)
                return {f.root.begin() + static_cast<long>(offset + 32 * index),
                        f.root.begin() + static_cast<long>(offset + 32 * index + 32)};
        throw std::runtime_error("no entry");
    }
};

TEST_F(ExFatEntryTests, FileEntryAllowsEighteenSecondaryEntries) {
    auto file = entryOf("readme.txt", 0);
    file[1] = 18;
    EXPECT_TRUE(FileDirectoryEntry::initFDEWithData(ByteView(file)));
    file[1] = 19;
    EXPECT_FALSE(FileDirectoryEntry::initFDEWithData(ByteView(file)));
    file[1] = 2;
    file[7] = 1;  // reserved1
    EXPECT_FALSE(FileDirectoryEntry::initFDEWithData(ByteView(file)));
}

TEST_F(ExFatEntryTests, StreamExtensionTypesAndReservedFields) {
    auto stream = entryOf("readme.txt", 1);
    ASSERT_TRUE(StreamExtensionDirectoryEntery::initSEDWithData(ByteView(stream)));
    stream[0] = 0xC1;  // the type of a file-name entry passes when the reserved fields are zero
    EXPECT_TRUE(StreamExtensionDirectoryEntery::initSEDWithData(ByteView(stream)));
    stream[0] = 0x85;
    EXPECT_FALSE(StreamExtensionDirectoryEntery::initSEDWithData(ByteView(stream)));
    stream[0] = 0xC0;
    stream[16] = 1;  // reserved3
    EXPECT_FALSE(StreamExtensionDirectoryEntery::initSEDWithData(ByteView(stream)));

    EXPECT_FALSE(StreamExtensionDirectoryEntery::initSEDWithData(ByteView(entryOf("readme.txt", 0))));
    // A real file-name entry: its first name unit sits where reserved1 is.
    EXPECT_FALSE(StreamExtensionDirectoryEntery::initSEDWithData(ByteView(entryOf("readme.txt", 2))));
    EXPECT_TRUE(StreamExtensionDirectoryEntery::initSEDWithData(ByteView(entryOf("deleted-report.txt", 1))));
}

TEST_F(ExFatEntryTests, ShortEntriesThrow) {
    const auto entry = entryOf("readme.txt", 1);
    const ByteView cut(entry.data(), 31);
    EXPECT_THROW(FileDirectoryEntry::initFDEWithData(cut), std::out_of_range);
    EXPECT_THROW(StreamExtensionDirectoryEntery::initSEDWithData(cut), std::out_of_range);
    EXPECT_THROW(FileNameExtensionDirectoryEntry::initFNEWithData(cut), std::out_of_range);
    EXPECT_THROW(VolumeLabelDirectoryEntry::initVLDWithData(cut), std::out_of_range);
    EXPECT_THROW(AllocationBitMapDirectoryEntry::initABMWithData(cut), std::out_of_range);
}

// The first entries of a fresh root directory: volume label, then allocation bitmap.
struct Formatted {
    std::string name, options;
    std::string label;
};
void PrintTo(const Formatted& param, std::ostream* os) { *os << param.name; }

class ExFatRootDirectory : public ::testing::TestWithParam<Formatted> {};

TEST_P(ExFatRootDirectory, LabelAndBitmapAgreeWithDumpExfat) {
    const auto& format = GetParam();
    const ToolImage image("truncate -s 64M \"$IMG\"\nmkfs.exfat " + format.options + " \"$IMG\" >/dev/null\n");
    const std::string dump = image.run("dump.exfat \"$IMG\"");
    const auto mbs = MainBootSector::initMBSWithData_withCurrentSector(ByteView(image.read(0, 512)), 0);
    ASSERT_TRUE(mbs);
    const auto root = readCluster(image, *mbs, mbs->root_directory_first_cluster);

    const auto label = VolumeLabelDirectoryEntry::initVLDWithData(ByteView(root).sub(0, 32));
    EXPECT_EQ(label.entry_type, 0x83);
    EXPECT_EQ(label.volume_label_string, format.label);
    if (!format.label.empty()) {
        EXPECT_EQ(label.volume_label_string, test::reportText(dump, "Volume label:"));
        EXPECT_EQ(label.character_count, reportNumber(dump, "Volume label character count:"));
    }

    const auto bitmap = AllocationBitMapDirectoryEntry::initABMWithData(ByteView(root).sub(32, 32));
    EXPECT_EQ(bitmap.entry_type, 0x81);
    EXPECT_EQ(bitmap.first_cluster, reportNumber(dump, "Bitmap start cluster:"));
    EXPECT_EQ(bitmap.data_length, reportNumber(dump, "Bitmap size:"));
    EXPECT_EQ(bitmap.data_length, (mbs->cluster_count + 7) / 8);  // one bit a cluster
}

INSTANTIATE_TEST_SUITE_P(MkfsExfat, ExFatRootDirectory,
                         ::testing::Values(Formatted{"NoLabel", "", ""},
                                           Formatted{"AsciiLabel", "-L NORIX", "NORIX"},
                                           Formatted{"AccentedLabel", "-L 'Norix Café'", "Norix Café"},
                                           Formatted{"CjkLabel", "-c 128K -L '日本語ラベル'", "日本語ラベル"}),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace norix
