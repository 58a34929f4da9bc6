// Arbitrary bytes as a small disk through the sweep's FAT routine: each 512-byte unit
// in turn, as the sweep offers them, with the bytes themselves as the device, so what a
// unit points at (a boot sector's FATs and root, a root's guessed clusters, a folder's
// cluster) is read back from them. Then the same bytes as a whole disk with an MBR,
// quick-scanned through its partition entries. Anything escaping, or a bad read, is a
// finding.
//
// Seeds (corpus/fat_scan/):
//   fat32-16k-volume.bin                a whole 16 KiB FAT32 volume made by mkfs.fat
//   fat12-40k-chain-loop.bin            a whole 40 KiB FAT12 volume (mkfs.fat -F 12 -s 1 -r 16, then
//                                       mtools: a folder, a long name, a file of 8 clusters, a deleted
//                                       file) whose file and folder chains loop back in both FATs
//   fat32-root.bin                      a root directory with no volume around it (a lost root)
//   fat32-4k-sectors-boot-and-fats.bin  a boot sector of 4096-byte sectors, its FATs cut away
//   formatted-fat32-folders.bin         the first 2 KiB of the data region of formatted-same.img
//                                       (tools/make-formatted-fat32-fixture.sh, sectors 1292-1295):
//                                       a card formatted over its folders, with no boot sector or
//                                       FAT: the new root, then three folders' "." clusters
//   mbr-disk.bin                        an MBR (sfdisk) whose first entry holds a 40 KiB FAT12 volume
//                                       (mkfs.fat, mtools: one file) at sector 1, its second a volume
//                                       past the disk's end, its third one starting at sector 2^32-1
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "disk/Platform.h"
#include "results/TreeClassMethod.h"
#include "scan/RecoveryModule.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace norix;


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setConsoleQuiet(true);
    const std::string path = fuzz::deviceHolding(data, size);
    if (path.empty()) std::abort();
    const auto disk = std::make_shared<Disk>(
        DiskDescription{{DiskKey::ImagePath, path},
                        {DiskKey::MediaSize, uint64_t{size}},
                        {DiskKey::MediaBlockSize, uint64_t{512}},
                        {DiskKey::MediaContent, std::string("FDisk_partition_scheme")}},
        std::vector<std::string>{});
    RecoveryModule module;
    module.setDiskPathWithString_withRootName(path, "Fuzz");
    module.setTheDiskInModule(disk);
    TreeClassMethod::addDeepNodesInDIR(module.dirRoot());
    const ByteView input(data, size);
    for (size_t unit = 0; input.has(unit * 512, 512); ++unit)
        module.deepScanForFatWithBlock_withParent_withSize_withScanType_andStartSector(
            input.sub(unit * 512, 512), module.deepNode(), 512, "D", unit);

    RecoveryModule whole;
    whole.setDiskPathWithString_withRootName(path, "Fuzz");
    whole.setTheDiskInModule(disk);
    whole.CheckFileSystem();
    TreeClassMethod::addQuickNodesInDir(whole.dirRoot());
    whole.quickScanOnDisk(disk);
    return 0;
}
