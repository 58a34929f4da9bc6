// FAT12 and FAT16 volumes made by mkfs.fat and mtools (tools/make-fat16-fixture.sh): the
// quick scan lists every file of the manifest where it belongs, deleted ones marked so,
// and saves each byte-exact; the deep scan finds the FAT16 volume again on a disk whose
// partition table is gone.
#include <gtest/gtest.h>

#include <map>

#include "scan/RecoveryModule.h"
#include "tests/scan/ScanHelpers.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

class Fat16Scan : public ::testing::TestWithParam<std::string> {
protected:
    void scan(const fs::path& image, const std::string& scanType) {
        module.setDiskPathWithString_withRootName(image.string(), "Card");
        module.recoverFromDisk_withScantType_andName_selectedPath(test::imageDisk(image, 512, "msdos"), scanType,
                                                                  "Card", std::nullopt);
    }
    test::TempHome home;
    test::TempDir dir, out;
    RecoveryModule module;
};

TEST_P(Fat16Scan, TheQuickScanListsAndSavesEveryFileAndTheSweepAddsNothing) {
    scan(test::unpack(GetParam(), dir), "Q");
    EXPECT_EQ(module.dirRoot()->entry, 1);
    const BaseTree* quick = module.dirRoot()->getChildAtIndex(0);
    test::expectManifestListedAndSaved(module, test::manifestOf(GetParam()),
                                       {quick->getChildAtIndex(0), quick->getChildAtIndex(1)}, out.path());
    EXPECT_EQ(test::childNamed(module.deepNode(), "Lost Partition: Fat"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(MkfsFat, Fat16Scan, ::testing::Values("fat12-floppy", "fat16"));

// A disk whose partition table was wiped: the volume 1 MiB in, nothing in front of it.
TEST_F(Fat16Scan, TheDeepScanFindsAVolumeWhosePartitionTableIsGone) {
    const auto volume = test::readFile(test::unpack("fat16", dir));
    const fs::path disk = dir / "disk.img";
    test::writeFile(disk, std::vector<uint8_t>(volume.size() + (2 << 20), 0));
    test::writeBytes(disk, 1 << 20, volume);
    scan(disk, "D");
    const BaseTree* partition = test::childNamed(module.deepNode(), "Lost Partition: Fat");
    ASSERT_NE(partition, nullptr) << ::testing::PrintToString(test::childNames(module.deepNode()));
    test::expectManifestListedAndSaved(module, test::manifestOf("fat16"), {partition}, out.path());
}

// Without its boot sector a fixed root cannot be placed and nothing is listed from it;
// the folders, placed by the geometry their "." clusters prove, hold the bytes of their
// own files, never other files' bytes.
TEST_F(Fat16Scan, ARootWithoutItsBootSectorIsNotTakenForAFat32Root) {
    const fs::path image = test::unpack("fat16", dir);
    test::writeBytes(image, 0, std::vector<uint8_t>(512, 0));
    scan(image, "D");
    std::map<std::string, const BaseTree*> nodes;
    test::collect(module.deepNode(), "", nodes);
    std::vector<std::pair<const test::ManifestEntry*, BaseTree*>> listed;
    const auto manifest = test::manifestOf("fat16");
    for (const auto& file : manifest)
        for (const auto& [path, node] : nodes)
            if (node->fileType == 2 && !file.deleted && path.ends_with(file.path.substr(file.path.rfind('/'))))
                listed.emplace_back(&file, const_cast<BaseTree*>(node));
    EXPECT_EQ(listed.size(), 6u);
    test::expectSavedByteExact(module, listed, out.path());
}

}  // namespace
}  // namespace norix
