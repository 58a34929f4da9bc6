// FAT32 directory entries written by mtools, for what the scan fixture does not hold:
// attribute bytes on either side of the file and folder ranges, packed dates, a long
// name of exactly one part, and a first cluster above 65535.
#include <gtest/gtest.h>

#include <algorithm>

#include "disk/ByteView.h"
#include "records/fat/FatDataEntry.h"
#include "records/fat/FatLongNameEntry.h"
#include "tests/records/ToolImage.h"

namespace norix {
namespace {

using test::ToolImage;

struct Listed {
    std::string name;
    FatDataEntry entry;
    std::vector<FatLongNameEntry> parts;  // in name order, part 1 first
};

std::string shortName(ByteView e) {
    auto trimmed = [](std::string s) { return s.substr(0, s.find_last_not_of(' ') + 1); };
    const std::string base = trimmed(e.text(0, 8)), extension = trimmed(e.text(8, 3));
    return extension.empty() ? base : base + "." + extension;
}

// The short entries of the root directory's first cluster, named by their long names.
std::vector<Listed> listRoot(const ToolImage& image, size_t clusterBytes) {
    const std::string info = image.run("minfo -i \"$IMG\" ::");
    const uint64_t dataStart = test::reportNumber(info, "reserved (boot) sectors:") +
                               test::reportNumber(info, "fats:") * test::reportNumber(info, "Big fatlen=");
    const auto bytes = image.read(dataStart * 512, clusterBytes);
    const ByteView cluster(bytes);
    std::vector<Listed> listed;
    std::vector<FatLongNameEntry> pending;  // disk order: last part first
    for (size_t offset = 0; offset + 32 <= cluster.size() && cluster.u8(offset) != 0; offset += 32) {
        const ByteView e = cluster.sub(offset, 32);
        if (auto part = FatLongNameEntry::initLFNWithBlock(e)) {
            pending.push_back(*part);
            continue;
        }
        std::reverse(pending.begin(), pending.end());
        listed.push_back({pending.empty() ? shortName(e) : FatLongNameEntry::joinedName(pending),
                          FatDataEntry::initFDEWithBlock(e.from(11)), pending});
        pending.clear();
    }
    return listed;
}

const Listed& find(const std::vector<Listed>& listed, const std::string& name) {
    auto it = std::find_if(listed.begin(), listed.end(), [&](const Listed& l) { return l.name == name; });
    if (it == listed.end()) throw std::runtime_error("no entry " + name);
    return *it;
}

TEST(FatDirectoryEntries, AttributesDatesAndAOnePartLongName) {
    const ToolImage image(R"(mkfs.fat -C "$IMG" 307200 -F 32 -s 8 -n NORIXVOL >/dev/null
printf 'hello\n' > hello.txt
touch -d '2019-07-08 09:10:12' hello.txt
m() { "$@" -i "$IMG"; }
m mcopy -m hello.txt ::/README.TXT
m mmd ::/HIDDEN ::/ARCHDIR
m mattrib +h ::/HIDDEN
m mattrib +a ::/ARCHDIR
for name in RO NOARCH SYS; do m mcopy hello.txt ::/$name.TXT; done
m mattrib +r ::/RO.TXT
m mattrib -a +r ::/NOARCH.TXT
m mattrib +s +h ::/SYS.TXT
m mcopy hello.txt "::/日本語のファイル名.txt"
)");
    const auto listed = listRoot(image, 4096);
    // name, attribute byte, folder, file: only 0x10-0x17 and 0x20-0x27 are either.
    for (const auto& [name, attribute, folder, file] :
         {std::tuple{"HIDDEN", 0x12, true, false}, std::tuple{"ARCHDIR", 0x30, false, false},
          std::tuple{"RO.TXT", 0x21, false, true}, std::tuple{"SYS.TXT", 0x26, false, true},
          std::tuple{"NOARCH.TXT", 0x01, false, false}, std::tuple{"NORIXVOL", 0x08, false, false}}) {
        const FatDataEntry& entry = find(listed, name).entry;
        EXPECT_EQ(entry.FDE1.attributeByte, attribute) << name;
        EXPECT_EQ(entry.isFolder, folder) << name;
        EXPECT_EQ(entry.isFile, file) << name;
    }
    // mcopy -m stamps the file's time on creation, access and write.
    constexpr uint16_t date = (2019 - 1980) << 9 | 7 << 5 | 8, time = 9 << 11 | 10 << 5 | 12 / 2;
    const FatDirectoryEntryPart2& dates = find(listed, "README.TXT").entry.FDE2;
    EXPECT_EQ(std::tuple(dates.u16CreatedDate, dates.u16CreatedTime, dates.u16LastAccessDate, dates.u16WriteDate,
                         dates.u16WriteTime),
              std::tuple(date, time, date, date, time));
    // 13 units exactly: one part with no end-of-name unit after it.
    EXPECT_EQ(find(listed, "日本語のファイル名.txt").parts.size(), 1u);
}

TEST(FatDataEntry, FirstClusterAbove65535UsesTheHighWord) {
    // 512-byte clusters: a 34 MB file pushes the next one past cluster 65535.
    const ToolImage image(R"(mkfs.fat -C "$IMG" 40960 -F 32 -s 1 >/dev/null
head -c 34000000 /dev/zero > filler.bin
printf 'high\n' > high.txt
mcopy -i "$IMG" filler.bin ::/FILLER.BIN
mcopy -i "$IMG" high.txt ::/HIGH.TXT
)");
    const auto cluster = find(listRoot(image, 512), "HIGH.TXT").entry.FDE2;
    const std::string shown = image.run("mshowfat -i \"$IMG\" ::/HIGH.TXT");
    const auto expected = static_cast<uint32_t>(std::stoul(shown.substr(shown.find('<') + 1)));
    ASSERT_GT(expected, 0xFFFFu);
    EXPECT_EQ(uint32_t{cluster.u16FirstClusterHighWrd} << 16 | cluster.u16FirstClusterLowWrd, expected);
}

}  // namespace
}  // namespace norix
