// Arbitrary bytes through every FAT and exFAT record. The input is taken both as a
// boot sector followed by the starts of the two FATs (512 bytes in, 1024 bytes in) and as
// a run of 32-byte directory entries. A boot sector cut short may end in
// std::out_of_range; anything else escaping, or a bad read, is a finding.
//
// Seeds (corpus/fat_records/), cut from images made with mkfs.fat + mtools and mkfs.exfat:
//   fat32-boot-and-fats.bin  boot sector + first sector of each FAT of a 40 MiB FAT32 volume
//   fat32-4k-sectors-boot-and-fats.bin  the same of a volume of 4096-byte sectors (mkfs.fat -S 4096)
//   fat32-root.bin           start of a FAT32 root directory: label, long names, a deleted file
//   fat32-root-control-names.bin  a root directory whose long name holds ESC, "\" and a line feed
//   fat32-root-long-name-first.bin  a root without a label: long-name entries first
//   fat16-boot-and-fats.bin  the same of the 32 MiB FAT16 fixture (tests/fixtures/fat16.img.zst)
//   fat12-boot-and-fats.bin  the same of the FAT12 floppy fixture (tests/fixtures/fat12-floppy.img.zst)
//   fat16-boot-65525-clusters.bin  the FAT16 one with a total-sector count past what 16-bit entries address
//   fat12-root.bin           start of the floppy's fixed root: label, long names, folders
//   exfat-boot.bin           exFAT main boot sector
//   exfat-root.bin           start of an exFAT root directory (tests/fixtures/exfat-files.img.zst)
#include <cstddef>
#include <cstdint>
#include <vector>

#include "disk/ByteView.h"
#include "records/fat/AllocationBitMapDirectoryEntry.h"
#include "records/fat/FatBootSectors.h"
#include "records/fat/FatDataEntry.h"
#include "records/fat/FatLongNameEntry.h"
#include "records/fat/FileDirectoryEntry.h"
#include "records/fat/FileNameExtensionDirectoryEntry.h"
#include "records/fat/MainBootSector.h"
#include "records/fat/StreamExtensionDirectoryEntery.h"
#include "records/fat/VolumeGUIDDirectoryEntry.h"
#include "records/fat/VolumeLabelDirectoryEntry.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace norix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ByteView input(data, size);
    const auto from = [&](size_t offset) { return input.has(offset, 0) ? input.from(offset) : ByteView(); };

    for (const uint32_t blockSize : {512u, 4096u})
        fuzz::allowingShortInput([&] {
            FatBootSectors::initFatSectorWithBlock_blockSize_withFirstFat_andSecondFat(input, blockSize, from(512),
                                                                                      from(1024));
        });
    fuzz::allowingShortInput([&] { MainBootSector::initMBSWithData_withCurrentSector(input, 0); });

    std::vector<FatLongNameEntry> parts;
    std::vector<FileNameExtensionDirectoryEntry> names;
    for (size_t offset = 0; input.has(offset, 32); offset += 32) {
        const ByteView entry = input.sub(offset, 32);
        if (auto part = FatLongNameEntry::initLFNWithBlock(entry)) parts.push_back(*part);
        FatDataEntry::initFDEWithBlock(entry.from(11));
        FileDirectoryEntry::initFDEWithData(entry);
        StreamExtensionDirectoryEntery::initSEDWithData(entry);
        names.push_back(FileNameExtensionDirectoryEntry::initFNEWithData(entry));
        AllocationBitMapDirectoryEntry::initABMWithData(entry);
        VolumeLabelDirectoryEntry::initVLDWithData(entry);
        VolumeGUIDDirectoryEntry::initVGDWithData(entry);
    }
    FatLongNameEntry::joinedName(parts);
    FileNameExtensionDirectoryEntry::joinedName(names, 255);
    return 0;
}
