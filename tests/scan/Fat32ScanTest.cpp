// The FAT32 quick scan end to end on volumes made by mkfs.fat and mtools: every file
// listed where it belongs, and saved byte-exact; plus the rules the images do not
// reach on their own.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "scan/RecoveryModule.h"
#include "tests/scan/ScanHelpers.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

std::shared_ptr<Disk> fatImage(const fs::path& path, uint64_t sectorSize = 512) {
    return test::imageDisk(path, sectorSize, "msdos");
}

class Fat32Scan : public ::testing::Test {
protected:
    test::TempHome home;
    test::TempDir out;
    RecoveryModule module;
};

TEST_F(Fat32Scan, ListsAndSavesEveryFileOfTheFixtureByteExact) {
    const fs::path fixture = test::fixtureFolder("make-fat32-fixture.sh");
    const fs::path image = fixture / "fat32-volume.img";
    module.setDiskPathWithString_withRootName(image.string(), "Card");
    module.recoverFromDisk_withScantType_andName_selectedPath(fatImage(image), "Q", "Card", std::nullopt);
    const auto manifest = test::readManifest(fixture / "fat32.manifest");
    ASSERT_GT(manifest.size(), 40u);
    const BaseTree* quick = module.dirRoot()->getChildAtIndex(0);
    test::expectManifestListedAndSaved(module, manifest, {quick->getChildAtIndex(0), quick->getChildAtIndex(1)},
                                       out.path());
    // The sweep after the quick scan meets the volume again and lists nothing it listed.
    EXPECT_EQ(test::childNamed(module.deepNode(), "Lost Partition: Fat"), nullptr);
}

// Volumes made by mkfs.fat, then damaged the way failing media are.
class Fat32Damage : public ::testing::Test {
protected:
    fs::path makeVolume(const std::string& sectorsPerCluster, const std::string& mtoolsScript,
                        const std::string& kibibytes = "40960") {
        const fs::path image = dir / "volume.img";
        const std::string cmd = "mkfs.fat -C -F 32 -s " + sectorsPerCluster + " '" + image.string() + "' " +
                                kibibytes + " >/dev/null && export MTOOLS_SKIP_CHECK=1 IMG='" + image.string() + "' && " +
                                mtoolsScript;
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        return image;
    }
    // Overwrites the FAT entry of a cluster in both FATs of a volume made as above.
    void setFatEntry(const fs::path& image, uint32_t cluster, uint32_t value) {
        const auto bootBytes = test::readBytes(image, 0, 512);
        const ByteView boot(bootBytes);
        const uint64_t fatStart = uint64_t{boot.u16le(14)} * 512;
        const uint64_t fatBytes = uint64_t{boot.u32le(36)} * 512;
        const std::vector<uint8_t> entry{static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                                         static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
        for (uint64_t fat : {fatStart, fatStart + fatBytes}) test::writeBytes(image, fat + cluster * 4, entry);
    }
    // Where the first cluster starts, in bytes, on a volume of sectorBytes sectors.
    static uint64_t dataStart(const fs::path& image, uint64_t sectorBytes = 512) {
        const auto bootBytes = test::readBytes(image, 0, 512);
        const ByteView boot(bootBytes);
        return (uint64_t{boot.u16le(14)} + 2ull * boot.u32le(36)) * sectorBytes;
    }
    void scan(const fs::path& image, uint64_t sectorSize = 512) {
        module.setDiskPathWithString_withRootName(image.string(), "Card");
        module.recoverFromDisk_withScantType_andName_selectedPath(fatImage(image, sectorSize), "Q", "Card",
                                                                  std::nullopt);
    }
    // A local file of n patterned bytes, for mcopy.
    std::vector<uint8_t> localFile(const std::string& name, size_t n) {
        std::vector<uint8_t> bytes(n);
        for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251 + name.size());
        test::writeFile(dir / name, bytes);
        return bytes;
    }
    const BaseTree* existingChild(const std::string& name) {
        const BaseTree* branch = module.dirRoot()->getChildAtIndex(0)->getChildAtIndex(0);
        for (const auto& child : branch->childrenArray)
            if (child->fileName == name) return child.get();
        return nullptr;
    }

    test::TempHome home;
    test::TempDir dir;
    RecoveryModule module;
};

TEST_F(Fat32Damage, AFolderPointingAtItsParentIsNotWalkedTwice) {
    const fs::path image = makeVolume("1", "mmd -i \"$IMG\" ::/A ::/A/B && echo x > /tmp/n$$ && "
                                           "mcopy -i \"$IMG\" /tmp/n$$ ::/A/B/file.txt && "
                                           "mcopy -i \"$IMG\" /tmp/n$$ ::/A/KEEP.TXT; rm -f /tmp/n$$");
    // Point B's directory entry at A's cluster: A would contain itself for ever.
    const uint64_t aCluster = dataStart(image) + 512;  // A is cluster 3, B cluster 4
    ASSERT_EQ(test::readBytes(image, aCluster + 64, 1), std::vector<uint8_t>{'B'});
    test::writeBytes(image, aCluster + 64 + 26, {3});  // B's first cluster -> A's
    scan(image);
    const BaseTree* a = existingChild("A");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->fileCount, 1u);  // KEEP.TXT; B, now A itself, is not walked a second time
}

TEST_F(Fat32Damage, ALostRootOnADiskOf4KiBSectorsIsReadWhereItLies) {
    const auto data = localFile("data.bin", 20000);
    localFile("empty.txt", 0);
    const std::string copy = " && mcopy -i \"$IMG\" '" + dir.path().string();
    const fs::path image = makeVolume("16 -n CARD", "mcopy -i \"$IMG\" '" + dir.path().string() +
                                                        "/empty.txt' ::/EMPTY.TXT && mmd -i \"$IMG\" ::/FIRST" + copy +
                                                        "/data.bin' ::/DATA.BIN",
                                      "600000");
    const uint16_t reserved = ByteView(test::readBytes(image, 0, 512)).u16le(14);
    test::writeBytes(image, 0, std::vector<uint8_t>(reserved * 512u, 0));  // boot sectors gone
    scan(image, 4096);
    std::shared_lock lock(module.treeLock());
    const auto nodes = test::preOrder(*module.deepNode());
    const auto file = std::ranges::find(nodes, std::string("DATA.BIN"), &BaseTree::fileName);
    ASSERT_NE(file, nodes.end());
    EXPECT_EQ((*file)->getDataForFileWithBSD(image.string()), data);
}

TEST_F(Fat32Damage, TheRootFolderIsReadFromTheClusterTheBootSectorNames) {
    localFile("note.txt", 100);
    const fs::path image = makeVolume("1", "mcopy -i \"$IMG\" '" + (dir / "note.txt").string() + "' ::/NOTE.TXT");
    // Move the root from cluster 2 to cluster 1000, where other formatters may put it.
    const uint64_t root = dataStart(image);
    test::writeBytes(image, root + 998 * 512, test::readBytes(image, root, 512));
    test::writeBytes(image, root, std::vector<uint8_t>(512, 0));
    setFatEntry(image, 1000, 0x0FFFFFFF);
    setFatEntry(image, 2, 0);
    test::writeBytes(image, 44, {0xE8, 0x03, 0, 0});
    scan(image);
    EXPECT_NE(existingChild("NOTE.TXT"), nullptr);
}

// A volume of 4 KiB logical sectors on devices of either sector size. Its folder ORPHAN
// loses its entry in the root, so only the sweep after the quick scan can reach it.
class Fat32OwnSectorSize : public Fat32Damage, public ::testing::WithParamInterface<uint64_t> {};

TEST_P(Fat32OwnSectorSize, TheQuickScanReadsItAndTheSweepAddsOnlyWhatItCouldNotReach) {
    const auto kept = localFile("kept.bin", 9000), orphaned = localFile("lost.bin", 5000);
    const std::string copy = " && mcopy -i \"$IMG\" '" + dir.path().string();
    const std::string script =
        "mmd -i \"$IMG\" ::/KEPT ::/ORPHAN" + copy + "/kept.bin' ::/KEPT/DATA.BIN" + copy + "/lost.bin' ::/ORPHAN/LOST.BIN";
    const fs::path image = makeVolume("1 -S 4096", script, "270000");
    const uint64_t root = dataStart(image, 4096);
    ASSERT_EQ(test::readBytes(image, root + 32, 6), (std::vector<uint8_t>{'O', 'R', 'P', 'H', 'A', 'N'}));
    test::writeBytes(image, root + 33, {0});
    scan(image, GetParam());

    std::shared_lock lock(module.treeLock());
    const BaseTree* folder = existingChild("KEPT");
    ASSERT_NE(folder, nullptr);
    ASSERT_EQ(folder->childCount(), 1u);
    EXPECT_EQ(folder->getChildAtIndex(0)->getDataForFileWithBSD(image.string()), kept);
    std::map<std::string, std::vector<const BaseTree*>> byName;
    for (const BaseTree* node : test::preOrder(*module.dirRoot())) byName[node->fileName].push_back(node);
    EXPECT_EQ(byName["DATA.BIN"].size(), 1u);
    ASSERT_EQ(byName["LOST.BIN"].size(), 1u);
    EXPECT_EQ(byName["LOST.BIN"][0]->getDataForFileWithBSD(image.string()), orphaned);
    EXPECT_EQ(byName["Lost Partition: Fat"].size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(DeviceSectors, Fat32OwnSectorSize, ::testing::Values(512, 4096),
                         [](const auto& info) { return "sector" + std::to_string(info.param); });

}  // namespace
}  // namespace norix
