// The exFAT scan on volumes made by mkfs.exfat and filled through the exfat-fuse driver
// (tools/make-exfat-scan-fixture.sh): every file listed where it belongs and saved
// byte-exact; then the deep scan's routines on the same volumes placed in disk images,
// with their boot sectors gone or their directories and FAT damaged.
#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "results/TreeClassMethod.h"
#include "scan/RecoveryModule.h"
#include "tests/scan/ScanHelpers.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

const test::ManifestEntry& manifestEntry(const std::vector<test::ManifestEntry>& manifest, const std::string& path) {
    const auto found = std::find_if(manifest.begin(), manifest.end(), [&](const auto& e) { return e.path == path; });
    if (found == manifest.end()) throw std::runtime_error(path + " is not in the manifest");
    return *found;
}

// Where the fixture volume's boot sector puts things, in 512-byte sectors from its start
// (mkfs.exfat makes 512-byte sectors).
struct BootFields {
    uint64_t fat, heap, spc, rootCluster;
    uint64_t clusterSector(uint64_t cluster) const { return heap + spc * (cluster - 2); }
};

BootFields bootFieldsOf(const fs::path& image) {
    const auto bytes = test::readBytes(image, 0, 512);
    const ByteView boot(bytes);
    return {boot.u32le(80), boot.u32le(88), uint64_t{1} << boot.u8(109), boot.u32le(96)};
}

using test::childNamed;
using test::dataSha;
using test::collect;
using test::imageDisk;
using test::manifestOf;
using test::unpack;

class ExFatScanBase : public ::testing::Test {
protected:
    // Another thread walks the tree under the shared lock all along, as a window does,
    // while the scan links nodes and gives folders their chained clusters; the
    // ThreadSanitizer build runs these tests too.
    void scan(const fs::path& image) {
        module = std::make_unique<RecoveryModule>();
        module->setDiskPathWithString_withRootName(image.string(), "Card");
        std::atomic<bool> done{false};
        size_t seen = 0;
        std::thread reader([&] {
            while (!done) {
                std::shared_lock lock(module->treeLock());
                seen = 0;
                for (const BaseTree* node : test::preOrder(*module->dirRoot()))
                    seen += 1 + node->dataExtArray.size() + node->deleted;
            }
        });
        module->recoverFromDisk_withScantType_andName_selectedPath(imageDisk(image, 512, "exfat"), "Q", "Card",
                                                                   std::nullopt);
        done = true;
        reader.join();
        EXPECT_GT(seen, 0u);
        existing.clear();
        deleted.clear();
        const BaseTree* quick = module->dirRoot()->getChildAtIndex(0);
        collect(quick->getChildAtIndex(0), "", existing);
        collect(quick->getChildAtIndex(1), "", deleted);
    }
    // A deleted file sits under "Deleted Files", or, inside a folder that still exists, under
    // "Existing Files" with its own deleted mark.
    const BaseTree* find(const std::string& path, bool deletedFile) {
        if (deletedFile && deleted.count(path)) return deleted[path];
        return existing.count(path) ? existing[path] : nullptr;
    }

    test::TempHome home;
    test::TempDir dir;
    std::unique_ptr<RecoveryModule> module = std::make_unique<RecoveryModule>();
    std::map<std::string, const BaseTree*> existing, deleted;
};

// --- the quick scan, end to end, on each fixture volume ---

class ExFatVolume : public ExFatScanBase, public ::testing::WithParamInterface<std::string> {};

TEST_P(ExFatVolume, ListsAndSavesEveryFileByteExact) {
    const fs::path image = unpack(GetParam(), dir);
    scan(image);
    const auto manifest = manifestOf(GetParam());
    ASSERT_GT(manifest.size(), 90u);

    std::vector<std::pair<const test::ManifestEntry*, BaseTree*>> toSave;
    for (const auto& file : manifest) {
        BaseTree* node = const_cast<BaseTree*>(find(file.path, file.deleted));
        ASSERT_NE(node, nullptr) << (file.deleted ? "deleted " : "") << file.path;
        EXPECT_EQ(node->fileType, 2) << file.path;
        EXPECT_EQ(node->fileSize, file.size) << file.path;
        EXPECT_EQ(node->deleted != 0, file.deleted) << file.path;
        if (!file.deleted || file.intact) toSave.emplace_back(&file, node);
    }
    // What the volume was made to hold: a file chained in the FAT over two runs, a
    // folder of two clusters in one run, and one whose clusters are chained.
    EXPECT_GE(existing["/fragmented.bin"]->dataExtArray.size(), 2u);
    EXPECT_EQ(existing["/Big folder"]->dataExtArray.size(), 1u);
    EXPECT_EQ(existing["/Growing"]->dataExtArray.size(), 1u);
    // The sweep after the quick scan meets the volume again and lists nothing it listed.
    for (const auto& child : module->deepNode()->childrenArray)
        EXPECT_EQ(child->fileName.find("Lost Partition"), std::string::npos) << child->fileName;
    test::expectSavedByteExact(*module, toSave, dir / "out");
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ExFatVolume, ::testing::Values("exfat-scan-4k", "exfat-scan-16k"));

// --- a damaged FAT ---

// The last cluster of a chain, followed in the volume's FAT as its boot sector places it.
uint32_t lastClusterOf(const fs::path& image, uint32_t first) {
    const uint64_t fat = bootFieldsOf(image).fat * 512;
    uint32_t cluster = first;
    for (int links = 0; links < 1000; ++links) {
        const auto entry = test::readBytes(image, fat + uint64_t{cluster} * 4, 4);
        const uint32_t next = ByteView(entry).u32le(0);
        if (next >= 0xFFFFFFF8) return cluster;
        cluster = next;
    }
    ADD_FAILURE() << "no end to the chain of " << first;
    return first;
}

// Chains made to loop or to leave the volume, and "Summer"'s entry made to point at the
// cluster of "2024", the folder holding it: the scan ends, lists no entry twice, and keeps
// what the chains still reach; a file whose chain no longer ends is listed as one run.
TEST_F(ExFatScanBase, ChainsThatLoopOrLeaveTheVolumeAndAFolderHoldingItselfEnd) {
    const fs::path image = unpack("exfat-scan-4k", dir);
    scan(image);
    const size_t listed = existing.size();
    const auto inSummer = std::count_if(existing.begin(), existing.end(),
                                        [](const auto& e) { return e.first.rfind("/Photos/2024/Summer/", 0) == 0; });
    const uint64_t fat = bootFieldsOf(image).fat * 512;
    auto link = [&](uint32_t cluster, uint32_t value) {
        test::writeBytes(image, fat + uint64_t{cluster} * 4,
                         {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)});
    };
    // The root's first cluster and the folder "Growing" are full of entries to their end.
    const uint32_t root = static_cast<uint32_t>(bootFieldsOf(image).rootCluster);
    const uint32_t growing = existing.at("/Growing")->clustToRead;
    const BaseTree* fragmented = existing.at("/fragmented.bin");
    const uint32_t file = fragmented->dataExtArray.at(0).startBlock / fragmented->SPC + 2;
    for (const uint32_t first : {root, growing, file}) ASSERT_NE(lastClusterOf(image, first), first);
    link(lastClusterOf(image, root), root);
    link(lastClusterOf(image, growing), 0x7FFFFFF0);
    link(lastClusterOf(image, file), file);
    const uint32_t parent = existing.at("/Photos/2024")->clustToRead;
    const uint64_t entries = bootFieldsOf(image).clusterSector(parent) * 512;
    ASSERT_EQ(test::readBytes(image, entries + 64 + 2, 4), (std::vector<uint8_t>{'S', 0, 'u', 0}));
    test::writeBytes(image, entries + 32 + 20,  // the first cluster in Summer's stream extension
                     {static_cast<uint8_t>(parent), static_cast<uint8_t>(parent >> 8), 0, 0});

    scan(image);
    const auto files = std::count_if(existing.begin(), existing.end(), [](const auto& e) { return e.second->fileType == 2; });
    EXPECT_EQ(module->dirRoot()->getChildAtIndex(0)->getChildAtIndex(0)->fileCount, static_cast<uint32_t>(files));
    // Summer, left empty, is pruned, and 2024 with it; nothing else is lost.
    EXPECT_FALSE(existing.count("/Photos/2024"));
    EXPECT_EQ(existing.size(), listed - static_cast<size_t>(inSummer) - 2);
    EXPECT_EQ(existing.at("/Photos")->fileCount, 1u);  // cover.png
    EXPECT_EQ(existing["/Growing"]->fileCount, 19u);
    EXPECT_EQ(existing["/fragmented.bin"]->fileSize,
              manifestEntry(manifestOf("exfat-scan-4k"), "/fragmented.bin").size);
}

// --- the deep scan's routines: volumes found in a disk image ---

class ExFatLostVolume : public ::testing::Test {
protected:
    // A disk image of 1 MiB of zeros and then the volumes, one after the other.
    void makeDisk(const std::vector<fs::path>& volumes) {
        std::vector<uint8_t> bytes(2048 * 512, 0);
        for (const fs::path& volume : volumes) {
            starts.push_back(bytes.size() / 512);
            const auto content = test::readFile(volume);
            bytes.insert(bytes.end(), content.begin(), content.end());
        }
        test::writeFile(disk, bytes);
        module.setDiskPathWithString_withRootName(disk.string(), "Disk");
        module.setTheDiskInModule(imageDisk(disk));
        TreeClassMethod::addDeepNodesInDIR(module.dirRoot());
    }
    // The 512-byte unit at sector, handed over as the deep scan's sweep does.
    int offer(uint64_t sector) {
        const auto unit = test::readBytes(disk, sector * 512, 512);
        return module.scanBlock_ofSize_withDir_andScanType_withStartSector(ByteView(unit), 512, module.deepNode(), "D",
                                                                           sector);
    }
    const BaseTree* partition(const std::string& label) {
        return childNamed(module.deepNode(), "Lost Partition: " + label);
    }
    // The root file the volume holds in its root directory's first cluster, read from the disk.
    void expectRootNoteSaved(const BaseTree* volume, const std::string& fixture) {
        ASSERT_NE(volume, nullptr);
        const BaseTree* note = childNamed(volume, "root note 01.txt");
        ASSERT_NE(note, nullptr);
        EXPECT_EQ(dataSha(*note, disk, dir), manifestEntry(manifestOf(fixture), "/root note 01.txt").sha256);
    }
    uint64_t rootSector(const fs::path& volume, size_t index) {
        const BootFields boot = bootFieldsOf(volume);
        return starts.at(index) + boot.clusterSector(boot.rootCluster);
    }

    test::TempHome home;
    test::TempDir dir;
    RecoveryModule module;
    fs::path disk = dir / "disk.img";
    std::vector<uint64_t> starts;
};

// The first volume has lost its main boot sector, the second both its boot regions.
TEST_F(ExFatLostVolume, VolumesAreFoundByTheBackupBootSectorOrByARootHoldingWPSettings) {
    const fs::path first = unpack("exfat-scan-4k", dir);
    const fs::path second = unpack("exfat-scan-16k", dir);
    makeDisk({first, second});
    test::writeBytes(disk, starts[0] * 512, std::vector<uint8_t>(512, 0));
    test::writeBytes(disk, starts[1] * 512, std::vector<uint8_t>(24 * 512, 0));
    EXPECT_EQ(offer(starts[0] + 12), 1);
    ASSERT_TRUE(module.mbs);
    EXPECT_EQ(module.mbs->cluster_heap_offset_1, starts[0] + bootFieldsOf(first).heap);
    EXPECT_GT(offer(rootSector(first, 0)), 0);
    expectRootNoteSaved(partition("ExFat"), "exfat-scan-4k");

    // "System Volume Information" is the cluster after the root; its first entry set is
    // WPSettings.dat, whose name entry is the set's third. Without that name the second
    // root is taken for no volume.
    const uint64_t name = (rootSector(second, 1) + bootFieldsOf(second).spc) * 512 + 64 + 2;
    ASSERT_EQ(test::readBytes(disk, name, 2), (std::vector<uint8_t>{'W', 0}));
    test::writeBytes(disk, name, {'X', 0});
    EXPECT_EQ(offer(rootSector(second, 1)), 0);
    EXPECT_EQ(module.exfatEntryCount, 1);
    EXPECT_EQ(module.deepNode()->childCount(), 3u);  // "Lost and Found", "Tags" and the first volume

    // With it, the root the first volume does not know is a volume of its own.
    test::writeBytes(disk, name, {'W', 0});
    EXPECT_GT(offer(rootSector(second, 1)), 0);
    EXPECT_EQ(module.exfatEntryCount, 2);
    const BootFields boot = bootFieldsOf(second);
    EXPECT_EQ(module.mbs->computedSectorsPerCluster, boot.spc);
    EXPECT_EQ(module.mbs->cluster_heap_offset_1, starts[1] + boot.heap);
    EXPECT_EQ(module.WPFound, 0u);
    expectRootNoteSaved(partition("ExFat - 1"), "exfat-scan-16k");
}

}  // namespace
}  // namespace norix
