// The HFS+ quick scan on volumes made by tools/mkhfsplus.py and filled by the Linux
// kernel's hfsplus driver (tools/make-hfs-fixture.sh): every live file listed under its
// folder and saved byte-exact, deleted ones found in the journal's stale catalog nodes
// and in the free space of live nodes; then the same volumes with their journal flag,
// extents-overflow tree or leaf chain damaged.
#include <gtest/gtest.h>

#include <map>

#include "scan/RecoveryModule.h"
#include "tests/scan/ScanHelpers.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

using test::collect;
using test::unpack;

// Big-endian fields of the fixture volume, written in place.
uint32_t u32At(const fs::path& image, uint64_t offset) { return ByteView(test::readBytes(image, offset, 4)).u32be(0); }
void putU32(const fs::path& image, uint64_t offset, uint32_t value) {
    test::writeBytes(image, offset,
                     {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)});
}

class HfsScan : public ::testing::Test {
protected:
    // scanType "Q" lists the volume's quick-scan branch; "D" sweeps the image only.
    void scan(const fs::path& image, uint64_t sectorSize = 512, const std::string& scanType = "Q") {
        module = std::make_unique<RecoveryModule>();
        module->setDiskPathWithString_withRootName(image.string(), "Mac");
        module->recoverFromDisk_withScantType_andName_selectedPath(
            test::imageDisk(image, sectorSize, scanType == "Q" ? "hfs" : ""), scanType, "Mac", std::nullopt);
        existing.clear();
        deleted.clear();
        if (scanType != "Q") return;
        const BaseTree* quick = module->dirRoot()->getChildAtIndex(0);
        collect(quick->getChildAtIndex(0), "", existing);
        collect(quick->getChildAtIndex(1), "", deleted);
    }
    // One node per path: a deleted file sits under "Deleted Files" (by its name alone when
    // its folder was not found), or inside a folder that still exists with its own deleted mark.
    const BaseTree* find(std::string path, bool deletedFile) {
        const std::string name = path.substr(path.rfind('/'));
        if (deletedFile && !deleted.count(path) && !existing.count(path)) path = name;
        const auto& where = deletedFile && deleted.count(path) ? deleted : existing;
        EXPECT_LE(where.count(path), 1u) << path << " is listed twice";
        return where.count(path) ? where.find(path)->second : nullptr;
    }
    BaseTree* fragmented() { return const_cast<BaseTree*>(find("/fragmented.bin", false)); }

    test::TempHome home;
    test::TempDir dir;
    std::unique_ptr<RecoveryModule> module;
    std::multimap<std::string, const BaseTree*> existing, deleted;
};

struct Volume {
    const char* fixture;
    uint64_t sectorSize;
    // Deleted files with intact blocks that must be found: all of them with a journal,
    // without one the one whose record stays whole in a live node's free space.
    std::vector<std::string> deletedFound;
};

void PrintTo(const Volume& v, std::ostream* os) { *os << v.fixture << " on " << v.sectorSize << "-byte sectors"; }

class HfsVolume : public HfsScan, public ::testing::WithParamInterface<Volume> {};

TEST_P(HfsVolume, ListsAndSavesEveryFileByteExact) {
    const Volume& volume = GetParam();
    scan(unpack(volume.fixture, dir), volume.sectorSize);
    const auto manifest = test::manifestOf(volume.fixture);
    std::vector<std::pair<const test::ManifestEntry*, BaseTree*>> toSave;
    for (const auto& file : manifest) {
        const bool expected = !file.deleted || std::count(volume.deletedFound.begin(), volume.deletedFound.end(),
                                                          file.path);
        BaseTree* node = const_cast<BaseTree*>(find(file.path, file.deleted));
        if (!expected && !node) continue;
        ASSERT_NE(node, nullptr) << file.path;
        EXPECT_EQ(node->deleted != 0, file.deleted) << file.path;
        if (!expected) continue;  // an older copy of a record whose blocks were reused
        EXPECT_EQ(node->fileSize, file.size) << file.path;
        toSave.emplace_back(&file, node);
    }
    // The sweep meets the volume again and finds nothing the quick scan did not list.
    for (const auto& child : module->deepNode()->childrenArray)
        EXPECT_EQ(child->fileName.find("HFS"), std::string::npos) << child->fileName;
    // Five of its thirteen extents are in the extents-overflow tree.
    EXPECT_EQ(fragmented()->dataExtArray.size(), 13u);
    EXPECT_FALSE(fragmented()->incomplete);
    test::expectSavedByteExact(*module, toSave, dir / "out");
    std::printf("[ numbers  ] %s: deleted items from the journal %u, from node free space %u\n", volume.fixture,
                module->hfsJournalDeleted, module->hfsSlackDeleted);
}

const std::vector<std::string> kJournalDeleted{"/Documents/old draft.txt", "/deleted-note.txt", "/OldStuff/list.txt",
                                               "/OldStuff/Inner/inside.txt"};

INSTANTIATE_TEST_SUITE_P(Fixtures, HfsVolume,
                         ::testing::Values(Volume{"hfs-4k", 512, kJournalDeleted},
                                           Volume{"hfs-4k", 4096, kJournalDeleted},
                                           Volume{"hfs-512", 512, {"/OldStuff/list.txt"}},
                                           Volume{"hfs-512", 4096, {"/OldStuff/list.txt"}}));

// --- damaged volumes ---

// The header's journaled attribute cleared: the journal area is not read, so what only
// the journal remembers is not found. The extents-overflow tree's header node wiped:
// fragmented.bin keeps its eight recorded runs and is marked incomplete, never given a
// guessed ninth.
TEST_F(HfsScan, AJournalTheVolumeDoesNotUseIsNotReadAndAFileMissingFurtherExtentsIsIncomplete) {
    const fs::path image = unpack("hfs-4k", dir);
    putU32(image, 1024 + 4, u32At(image, 1024 + 4) & ~VIB::kJournaled);
    const uint64_t blockBytes = u32At(image, 1024 + 40);
    test::writeBytes(image, blockBytes * u32At(image, 1024 + 192 + 16), std::vector<uint8_t>(14, 0));
    scan(image);
    EXPECT_FALSE(deleted.count("/deleted-note.txt"));
    EXPECT_EQ(module->hfsJournalDeleted, 0u);
    EXPECT_NE(find("/OldStuff/list.txt", true), nullptr);  // from a live node's free space
    ASSERT_NE(fragmented(), nullptr);
    EXPECT_EQ(fragmented()->dataExtArray.size(), 8u);
    EXPECT_TRUE(fragmented()->incomplete);
    EXPECT_FALSE(find("/Photos/2024/big.jpg", false)->incomplete);
}

// The catalog's last leaf node linked back to its first: the walk ends and lists each
// item once.
TEST_F(HfsScan, ALoopingLeafChainEnds) {
    const fs::path image = unpack("hfs-512", dir);
    scan(image);
    const size_t listed = existing.size();
    const uint64_t catalog = uint64_t{u32At(image, 1024 + 40)} * u32At(image, 1024 + 272 + 16);
    const uint32_t nodeSize = u32At(image, catalog + 14 + 18) >> 16;
    uint32_t last = u32At(image, catalog + 14 + 10);
    for (uint32_t next; (next = u32At(image, catalog + uint64_t{last} * nodeSize)) != 0;) last = next;
    putU32(image, catalog + uint64_t{last} * nodeSize, u32At(image, catalog + 14 + 10));
    scan(image);
    EXPECT_EQ(existing.size(), listed);
    EXPECT_NE(find("/fragmented.bin", false), nullptr);
}

// --- the deep scan: a lost volume inside a disk image ---

// The journaled volume 1 MiB into a disk image (a whole number of its 4 KiB blocks), or
// 512 bytes further (none): found by its header, it is rebuilt under its own lost
// partition and every file whose blocks are intact reads back byte-exact, the ones only
// its journal still remembers included, marked deleted.
class HfsLostVolume : public HfsScan, public ::testing::WithParamInterface<uint64_t> {};

TEST_P(HfsLostVolume, IsRebuiltWithItsFoldersAndItsFilesReadBackByteExact) {
    const auto volume = test::readFile(unpack("hfs-4k", dir));
    std::vector<uint8_t> bytes(GetParam(), 0);
    bytes.insert(bytes.end(), volume.begin(), volume.end());
    bytes.resize(bytes.size() + (1 << 20), 0);
    const fs::path disk = dir / "disk.img";
    test::writeFile(disk, bytes);
    scan(disk, 512, "D");

    std::multimap<std::string, const BaseTree*> found;
    for (const auto& partition : module->deepNode()->childrenArray)
        collect(partition.get(), "/" + partition->fileName, found);
    const std::string root = "/Lost Partition: HFS/Norix HFS";
    size_t compared = 0;
    for (const auto& file : test::manifestOf("hfs-4k")) {
        if (!file.intact) continue;
        ASSERT_EQ(found.count(root + file.path), 1u) << file.path;
        const BaseTree* node = found.find(root + file.path)->second;
        EXPECT_EQ(node->deleted != 0, file.deleted) << file.path;  // copies in the journal are stale
        EXPECT_EQ(test::dataSha(*node, disk, dir), file.sha256) << file.path;
        ++compared;
    }
    EXPECT_EQ(compared, 26u);
}

INSTANTIATE_TEST_SUITE_P(Offsets, HfsLostVolume, ::testing::Values(uint64_t{1} << 20, (uint64_t{1} << 20) + 512));

}  // namespace
}  // namespace norix
