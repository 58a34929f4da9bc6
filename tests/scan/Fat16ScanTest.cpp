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

    // Every file of the manifest below the branches (paths relative to them), deleted ones
    // marked so; every live file, and every deleted one whose clusters are intact, saved.
    void expectListedAndSaved(const std::string& fixture, const std::vector<const BaseTree*>& branches) {
        std::map<std::string, const BaseTree*> nodes;
        for (const BaseTree* branch : branches) test::collect(branch, "", nodes);
        const auto manifest = test::manifestOf(fixture);
        ASSERT_GT(manifest.size(), 20u);
        std::vector<std::pair<const test::ManifestEntry*, BaseTree*>> toSave;
        for (const auto& file : manifest) {
            // A deleted short entry has lost its first letter, which reads as a space.
            std::string blanked = file.path;
            blanked[blanked.rfind('/') + 1] = ' ';
            auto found = nodes.find(file.path);
            if (found == nodes.end() && file.deleted) found = nodes.find(blanked);
            ASSERT_NE(found, nodes.end()) << file.path;
            EXPECT_EQ(found->second->fileSize, file.size) << file.path;
            EXPECT_EQ(found->second->deleted != 0, file.deleted) << file.path;
            if (!file.deleted || file.intact) toSave.emplace_back(&file, const_cast<BaseTree*>(found->second));
        }
        test::expectSavedByteExact(module, toSave, out.path());
    }

    test::TempHome home;
    test::TempDir dir, out;
    RecoveryModule module;
};

TEST_P(Fat16Scan, TheQuickScanListsAndSavesEveryFileAndTheSweepAddsNothing) {
    scan(test::unpack(GetParam(), dir), "Q");
    EXPECT_EQ(module.dirRoot()->entry, 1);
    const BaseTree* quick = module.dirRoot()->getChildAtIndex(0);
    expectListedAndSaved(GetParam(), {quick->getChildAtIndex(0), quick->getChildAtIndex(1)});
    for (const auto& child : module.deepNode()->childrenArray)
        EXPECT_EQ(child->fileName.find("Lost Partition"), std::string::npos) << child->fileName;
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
    expectListedAndSaved("fat16", {partition});
}

}  // namespace
}  // namespace norix
