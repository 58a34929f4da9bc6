// The deep scan over whole disk images: lost volumes found without a partition table or
// inside another volume, the overlapped sweep giving exactly what the plain one gives.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "results/TreeClassMethod.h"
#include "scan/RecoveryModule.h"
#include "tests/scan/ScanHelpers.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

using test::imageDisk;

// The tree as text: every node's path, name, size, deletion mark and extents.
std::string describe(const BaseTree& node, const std::string& indent = "") {
    std::ostringstream out;
    out << indent << node.fileName << " " << node.fileType << " " << node.fileSize << " " << int(node.deleted) << " "
        << node.blocksStartsAtSector << " " << node.blockSize;
    for (const auto& ext : node.dataExtArray) out << " [" << ext.startBlock << "," << ext.blockCount << "]";
    out << "\n";
    for (const auto& child : node.childrenArray) out << describe(*child, indent + " ");
    return out.str();
}

class DeepScan : public ::testing::Test {
protected:
    std::string scan(const fs::path& image, bool overlap) {
        RecoveryModule module;
        module.overlapReads = overlap;
        module.setDiskPathWithString_withRootName(image.string(), "Disk");
        module.recoverFromDisk_withScantType_andName_selectedPath(imageDisk(image), "D", "Disk",
                                                                  std::nullopt);
        std::shared_lock lock(module.treeLock());
        return describe(*module.dirRoot());
    }
    test::TempHome home;
    test::TempDir dir;
};

// The overlapped sweep gives exactly the tree the plain one gives.
TEST_F(DeepScan, FindsLostVolumesWithoutAPartitionTableWithEitherSweep) {
    const fs::path disk = dir / "wiped.img";
    fs::copy_file(test::fixtureFolder("make-fat32-fixture.sh") / "fat32-mbr.img", disk);
    test::writeBytes(disk, 0, std::vector<uint8_t>(512, 0));
    const std::string tree = scan(disk, true);
    EXPECT_EQ(scan(disk, false), tree);
    // One volume, though its backup boot sector six sectors in is met too.
    EXPECT_NE(tree.find("Lost Partition: Fat 1"), std::string::npos) << tree;
    EXPECT_EQ(tree.find("Lost Partition", tree.find("Lost Partition") + 1), std::string::npos) << tree;
    for (const char* name : {"beach.jpg", "q1.csv", "Ünïcødé файл.txt", " etter.txt"})
        EXPECT_NE(tree.find(name), std::string::npos) << name << "\n" << tree;

    const std::string exFat = scan(test::unpack("exfat-scan-4k", dir), true);
    EXPECT_NE(exFat.find(" Lost Partition: ExFat 1"), std::string::npos) << exFat;
    for (const char* name : {"fragmented.bin", "WPSettings.dat", "deep.txt"})
        EXPECT_NE(exFat.find(name), std::string::npos) << name << "\n" << exFat;
}

// A disk image kept as a file on a volume without a label: its boot sector, met in the
// volume's data, rebuilds the image's own files but leaves the volume's geometry alone.
TEST_F(DeepScan, AVolumeImageStoredOnAVolumeKeepsBothGeometries) {
    std::vector<uint8_t> inner(7000), after(12000);
    for (size_t i = 0; i < inner.size(); ++i) inner[i] = static_cast<uint8_t>(i * 13 + i / 509);
    for (size_t i = 0; i < after.size(); ++i) after[i] = static_cast<uint8_t>(i * 5 + i / 257);
    test::writeFile(dir / "inner.bin", inner);
    test::writeFile(dir / "after.bin", after);
    const std::string d = dir.path().string();
    const std::string make =
        "cd '" + d + "' && export MTOOLS_SKIP_CHECK=1 && mkfs.fat -C -F 32 -s 1 -n INNER inner.img 34000 >/dev/null && "
        "mcopy -i inner.img inner.bin '::/inner file with a long name.bin' && "
        "mkfs.fat -C -F 32 -s 1 outer.img 65536 >/dev/null && "
        "mcopy -i outer.img inner.img '::/inner disk image.img' && mmd -i outer.img '::/after folder' && "
        "mcopy -i outer.img after.bin '::/after folder/after file.bin'";
    ASSERT_EQ(std::system(make.c_str()), 0);
    const fs::path image = dir / "outer.img";
    RecoveryModule module;
    module.setDiskPathWithString_withRootName(image.string(), "Disk");
    module.recoverFromDisk_withScantType_andName_selectedPath(imageDisk(image), "D", "Disk",
                                                              std::nullopt);
    std::shared_lock lock(module.treeLock());
    std::map<std::string, const BaseTree*> byName;
    for (const BaseTree* node : test::preOrder(*module.dirRoot())) byName.emplace(node->fileName, node);
    for (const auto& [name, bytes] :
         {std::pair{"inner file with a long name.bin", &inner}, {"after file.bin", &after}}) {
        ASSERT_TRUE(byName.count(name)) << name << "\n" << describe(*module.dirRoot());
        EXPECT_EQ(byName[name]->getDataForFileWithBSD(image.string()), *bytes) << name;
    }
}

}  // namespace
}  // namespace norix
