// FAT32 directory entries written by mtools: short entries (FatDataEntry and its three
// parts) and long-name entries (FatLongNameEntry), checked against what was written and
// against mshowfat.
#include <gtest/gtest.h>

#include <algorithm>

#include "disk/ByteView.h"
#include "records/fat/FatDataEntry.h"
#include "records/fat/FatLongNameEntry.h"
#include "tests/records/ToolImage.h"

namespace norix {
namespace {

using test::ToolImage;

// One short entry of a directory cluster and the long-name parts above it.
struct Listed {
    std::string name;
    uint8_t firstByte = 0;
    FatDataEntry entry;
    std::vector<FatLongNameEntry> parts;  // in name order, part 1 first
};

std::string shortName(ByteView e) {
    auto trimmed = [](std::string s) { return s.substr(0, s.find_last_not_of(' ') + 1); };
    const std::string base = trimmed(e.text(0, 8)), extension = trimmed(e.text(8, 3));
    return extension.empty() ? base : base + "." + extension;
}

std::vector<Listed> listCluster(ByteView cluster) {
    std::vector<Listed> listed;
    std::vector<FatLongNameEntry> pending;  // disk order: last part first
    for (size_t offset = 0; offset + 32 <= cluster.size(); offset += 32) {
        const ByteView e = cluster.sub(offset, 32);
        if (e.u8(0) == 0) break;
        if (auto part = FatLongNameEntry::initLFNWithBlock(e)) {
            pending.push_back(*part);
            continue;
        }
        std::reverse(pending.begin(), pending.end());
        Listed item{pending.empty() ? shortName(e) : FatLongNameEntry::joinedName(pending), e.u8(0),
                    FatDataEntry::initFDEWithBlock(e.from(11)), pending};
        listed.push_back(std::move(item));
        pending.clear();
    }
    return listed;
}

// A FAT32 volume with 4 KiB clusters, so the whole root directory sits in its first
// cluster; made once for all the tests below.
struct RootDirectory {
    ToolImage image{R"(mkfs.fat -C "$IMG" 307200 -F 32 -s 8 -n NORIXVOL >/dev/null
printf 'hello\n' > hello.txt
touch -d '2019-07-08 09:10:12' hello.txt
head -c 20000 /dev/zero > big.bin
m() { "$@" -i "$IMG"; }
m mcopy -m hello.txt ::/README.TXT
m mmd ::/DOCS ::/HIDDEN ::/ARCHDIR
m mattrib +h ::/HIDDEN
m mattrib +a ::/ARCHDIR
m mcopy big.bin ::/BIG.BIN
m mcopy hello.txt "::/Café crème.txt"
m mcopy hello.txt "::/日本語のファイル名.txt"
m mcopy hello.txt "::/A long name spanning several entries of the directory.txt"
for name in RO NOARCH SYS; do m mcopy hello.txt ::/$name.TXT; done
m mattrib +r ::/RO.TXT
m mattrib -a +r ::/NOARCH.TXT
m mattrib +s +h ::/SYS.TXT
m mcopy hello.txt "::/Deleted long name.txt"
m mdel "::/Deleted long name.txt"
)"};
    std::vector<uint8_t> cluster = image.read(dataStart(image) * 512, 8 * 512);
    std::vector<Listed> listed = listCluster(ByteView(cluster));

    static uint64_t dataStart(const ToolImage& image) {
        const std::string info = image.run("minfo -i \"$IMG\" ::");
        return test::reportNumber(info, "reserved (boot) sectors:") +
               test::reportNumber(info, "fats:") * test::reportNumber(info, "Big fatlen=");
    }
};

const RootDirectory& rootDirectory() {
    static const RootDirectory root;
    return root;
}

const Listed& find(const std::string& name) {
    const auto& listed = rootDirectory().listed;
    auto it = std::find_if(listed.begin(), listed.end(), [&](const Listed& l) { return l.name == name; });
    if (it == listed.end()) throw std::runtime_error("no entry " + name);
    return *it;
}

uint32_t firstClusterFromMshowfat(const ToolImage& image, const std::string& path) {
    const std::string shown = image.run("mshowfat -i \"$IMG\" '" + path + "'");
    return static_cast<uint32_t>(std::stoul(shown.substr(shown.find('<') + 1)));
}

TEST(FatDirectoryEntries, LongNamesDecodeAsUtf16) {
    for (const char* name : {"Café crème.txt", "日本語のファイル名.txt",
                             "A long name spanning several entries of the directory.txt"})
        EXPECT_NO_THROW(find(name)) << name;
    // 13 units exactly: one part with no end-of-name unit after it.
    const Listed& cjk = find("日本語のファイル名.txt");
    ASSERT_EQ(cjk.parts.size(), 1u);
    EXPECT_EQ(cjk.parts[0].nameString, "日本語のファイル名.txt");
    // Each part decodes its own 13 units; the last part stops before its end mark and padding.
    const Listed& longName = find("A long name spanning several entries of the directory.txt");
    ASSERT_EQ(longName.parts.size(), 5u);
    EXPECT_EQ(longName.parts[0].nameString, "A long name s");
    EXPECT_EQ(longName.parts[4].nameString, "y.txt");
    EXPECT_EQ(longName.parts[4].u8Ordinal, 0x45);  // part 5, marked last
    EXPECT_EQ(longName.parts[0].u8Checksum, longName.parts[4].u8Checksum);
}

TEST(FatDirectoryEntries, DeletedEntryKeepsItsLongName) {
    const Listed& deleted = find("Deleted long name.txt");
    EXPECT_EQ(deleted.firstByte, 0xE5);
    EXPECT_FALSE(deleted.entry.isDeleted);  // the scan marks it from the first name byte
    ASSERT_EQ(deleted.parts.size(), 2u);
    for (const auto& part : deleted.parts) {
        EXPECT_TRUE(part.isDeleted);
        EXPECT_EQ(part.u8Ordinal, 0xE5);
    }
    EXPECT_TRUE(deleted.entry.isFile);
    EXPECT_EQ(deleted.entry.FDE3.u32FileSize, 6u);
}

struct Attribute {
    std::string name;
    uint8_t attributeByte;
    bool isFolder, isFile;
};
void PrintTo(const Attribute& param, std::ostream* os) { *os << param.name; }

class FatAttributes : public ::testing::TestWithParam<Attribute> {};

TEST_P(FatAttributes, FolderOrFileOrNeither) {
    const auto& expected = GetParam();
    const FatDataEntry& entry = find(expected.name).entry;
    EXPECT_EQ(entry.FDE1.attributeByte, expected.attributeByte);
    EXPECT_EQ(entry.isFolder, expected.isFolder);
    EXPECT_EQ(entry.isFile, expected.isFile);
}

INSTANTIATE_TEST_SUITE_P(Mattrib, FatAttributes,
                         ::testing::Values(Attribute{"DOCS", 0x10, true, false},
                                           Attribute{"HIDDEN", 0x12, true, false},
                                           Attribute{"ARCHDIR", 0x30, false, false},
                                           Attribute{"README.TXT", 0x20, false, true},
                                           Attribute{"RO.TXT", 0x21, false, true},
                                           Attribute{"SYS.TXT", 0x26, false, true},
                                           Attribute{"NOARCH.TXT", 0x01, false, false},
                                           Attribute{"NORIXVOL", 0x08, false, false}),
                         [](const auto& info) { return info.param.name.substr(0, info.param.name.find('.')); });

TEST(FatDirectoryEntries, DatesAndTimesAreThePackedFatValues) {
    // mcopy -m stamps the file's time (2019-07-08 09:10:12) on creation, access and write.
    constexpr uint16_t date = (2019 - 1980) << 9 | 7 << 5 | 8;
    constexpr uint16_t time = 9 << 11 | 10 << 5 | 12 / 2;
    const FatDirectoryEntryPart2& dates = find("README.TXT").entry.FDE2;
    EXPECT_EQ(dates.u16CreatedDate, date);
    EXPECT_EQ(dates.u16CreatedTime, time);
    EXPECT_EQ(dates.u16LastAccessDate, date);
    EXPECT_EQ(dates.u16WriteDate, date);
    EXPECT_EQ(dates.u16WriteTime, time);
}

TEST(FatDirectoryEntries, SizeAndFirstClusterMatchMshowfat) {
    const FatDataEntry& big = find("BIG.BIN").entry;
    EXPECT_EQ(big.FDE3.u32FileSize, 20000u);
    EXPECT_EQ(big.FDE2.u16FirstClusterHighWrd, 0);
    EXPECT_EQ(big.FDE2.u16FirstClusterLowWrd, firstClusterFromMshowfat(rootDirectory().image, "::/BIG.BIN"));
    const FatDataEntry& docs = find("DOCS").entry;
    EXPECT_EQ(docs.FDE3.u32FileSize, 0u);
    EXPECT_EQ(docs.FDE2.u16FirstClusterLowWrd, firstClusterFromMshowfat(rootDirectory().image, "::/DOCS"));
}

TEST(FatDataEntry, FirstClusterAbove65535UsesTheHighWord) {
    // 512-byte clusters: a 34 MB file pushes the next one past cluster 65535.
    const ToolImage image(R"(mkfs.fat -C "$IMG" 40960 -F 32 -s 1 >/dev/null
head -c 34000000 /dev/zero > filler.bin
printf 'high\n' > high.txt
mcopy -i "$IMG" filler.bin ::/FILLER.BIN
mcopy -i "$IMG" high.txt ::/HIGH.TXT
)");
    const auto root = image.read(RootDirectory::dataStart(image) * 512, 512);
    const auto listed = listCluster(ByteView(root));
    ASSERT_EQ(listed.size(), 2u);
    ASSERT_EQ(listed[1].name, "HIGH.TXT");
    const auto& cluster = listed[1].entry.FDE2;
    const uint32_t expected = firstClusterFromMshowfat(image, "::/HIGH.TXT");
    ASSERT_GT(expected, 0xFFFFu);
    EXPECT_EQ(uint32_t{cluster.u16FirstClusterHighWrd} << 16 | cluster.u16FirstClusterLowWrd, expected);
}

TEST(FatDataEntry, ShortBufferThrows) {
    const std::vector<uint8_t> twenty(20, 0x20);  // one byte short of entry bytes 11-31
    EXPECT_THROW(FatDataEntry::initFDEWithBlock(ByteView(twenty)), std::out_of_range);
    EXPECT_THROW(FatLongNameEntry::initLFNWithBlock(ByteView(twenty)), std::out_of_range);
}

}  // namespace
}  // namespace norix
