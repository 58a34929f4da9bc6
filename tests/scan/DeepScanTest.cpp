// The deep scan over whole disk images: lost volumes found without a partition table or
// inside another volume, the same tree whatever the number of threads examining chunks.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "results/TreeClassMethod.h"
#include "scan/RecoveryModule.h"
#include "signatures/SigCatalogue.h"
#include "tests/scan/ScanHelpers.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

using test::imageDisk;

// The tree as text: every node's path, name, size, flags, counts, dates, ids and extents.
std::string describe(const BaseTree& node, const std::string& indent = "") {
    std::ostringstream out;
    out << indent << node.fileName << " " << node.fileType << " " << node.fileSize << " " << int(node.deleted) << " "
        << int(node.incomplete) << " " << int(node.entry) << " " << int(node.scanCompleted) << " " << node.fileCount
        << " " << node.folderCount << " " << node.childrenCount << " " << node.createDate << " " << node.modDate << " "
        << node.fileID << " " << node.parentID << " " << node.SPC << " " << node.blocksStartsAtSector << " "
        << node.blockSize;
    for (const auto& ext : node.dataExtArray) out << " [" << ext.startBlock << "," << ext.blockCount << "]";
    out << "\n";
    for (const auto& child : node.childrenArray) out << describe(*child, indent + " ");
    return out.str();
}

class DeepScan : public ::testing::Test {
protected:
    std::string scan(const fs::path& image, unsigned threads = 1) {
        RecoveryModule module;
        module.examinerThreads = threads;
        SigCatalogue catalogue;
        catalogue.loadSig();
        module.setFileCheckArray(catalogue.makeSelectedSigArray());
        module.setDiskPathWithString_withRootName(image.string(), "Disk");
        module.recoverFromDisk_withScantType_andName_selectedPath(imageDisk(image), "D", "Disk",
                                                                  std::nullopt);
        std::shared_lock lock(module.treeLock());
        return describe(*module.dirRoot());
    }
    test::TempHome home;
    test::TempDir dir;
};

// One disk of lost volumes and carved files, each at a MiB boundary: a FAT32 volume whose
// partition table is wiped (one volume, though its backup boot sector six sectors in is
// met too), exFAT and HFS+ volumes, a stretch of the benchmark's mixed data with real
// files and raw images, and an APFS container. Chunks examined by 1, 2 or 4 threads give
// the same tree, node for node and in numbering.
TEST_F(DeepScan, FindsLostVolumesAndCarvedFilesTheSameWithAnyNumberOfThreads) {
    const fs::path disk = dir / "disk.img", carved = dir / "carved.img";
    const fs::path raw = fs::path(NORIX_SOURCE_DIR) / "tests" / "fixtures" / "raw";
    ASSERT_EQ(std::system(("'" NORIX_SOURCE_DIR "/tools/make-deepscan-bench-image.sh' '" + carved.string() +
                           "' half 24 >/dev/null")
                              .c_str()),
              0);
    uint64_t rawAt = 1 << 20;
    for (const char* sample : {"nikon-preview.nef", "canon-preview.cr2", "sony.arw", "adobe-preview.dng"}) {
        const auto bytes = test::readFile(raw / sample);
        test::writeBytes(carved, rawAt, bytes);
        rawAt += (bytes.size() + (1 << 20)) & ~uint64_t{(1 << 20) - 1};
    }
    uint64_t end = 0;
    for (const fs::path& part : {test::fixtureFolder("make-fat32-fixture.sh") / "fat32-mbr.img",
                                 test::unpack("exfat-scan-4k", dir), test::unpack("hfs-512", dir), carved,
                                 test::unpack("apfs", dir)}) {
        ASSERT_EQ(std::system(("dd if='" + part.string() + "' of='" + disk.string() + "' bs=1M seek=" +
                               std::to_string(end >> 20) + " conv=notrunc,sparse status=none")
                                  .c_str()),
                  0);
        end += (fs::file_size(part) + (1 << 20) - 1) & ~uint64_t{(1 << 20) - 1};
    }
    test::writeBytes(disk, 0, std::vector<uint8_t>(512, 0));

    const std::string tree = scan(disk);
    for (const char* found : {" Lost Partition: Fat 1", " Lost Partition: ExFat 1", "Lost Partition: HFS",
                              "Lost Partition: Apfs", "beach.jpg", "fragmented.bin", "nef [1 - 1000]",
                              "cr2 [1 - 1000]", "File 1.docx", "File 99.jpg"})
        EXPECT_NE(tree.find(found), std::string::npos) << found << "\n" << tree;
    EXPECT_EQ(tree.find("Lost Partition: Fat 2"), std::string::npos) << tree;
    for (unsigned threads : {2u, 4u}) EXPECT_EQ(scan(disk, threads), tree) << threads << " threads";
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
