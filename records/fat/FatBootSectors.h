#pragma once
// The FAT12, FAT16 and FAT32 boot sector (BIOS parameter block) and the values the scans
// derive from it. Little-endian on disk; offsets are from the start of the boot sector.
// The three share the block up to byte 36; FAT32 then keeps a 32-bit FAT size and the
// root directory's first cluster, while FAT12 and FAT16 keep a 16-bit FAT size and a
// root directory of fixed size between the FATs and cluster 2. Which one a volume is
// follows from its cluster count (below 4085 FAT12, below 65525 FAT16), never from the
// type text a formatter writes.
//
// Whether a sector is a FAT boot sector is decided in two stages, because the last
// check looks at the start of the FATs, which lie outside the boot sector (32 reserved
// sectors in, typically) and which the scan reads, not the record:
//
//   auto fs = FatBootSectors::readBlock_blockSize(boot, blockSize);   // the boot sector alone
//   if (!fs) -> not FAT
//   read the first sector at fs->firstFatSector(start);
//     a failed read -> console "Errorn inside Fat Entry", not FAT32
//   if (!fs->fatStartMatchesMedia(firstFat)) {
//       read the same at fs->secondFatSector(start) (a failed read: as above)
//       if (!fs->fatStartMatchesMedia(secondFat)) -> not FAT
//   }
//
// initFatSectorWithBlock_blockSize_withFirstFat_andSecondFat runs both stages at once
// when both FAT starts are already at hand. Every count here is in the volume's own
// sectors of u16BytsPrSec bytes, which need not be the device's: the scan converts them.

#include <cstdint>
#include <optional>

#include "disk/ByteView.h"

namespace norix {

class FatBootSectors {
public:
    uint8_t u8SectorPerCluster = 0;        // byte 13
    uint8_t u8Check = 0;                   // byte 2, the third byte of the jump instruction
    uint8_t u8NumberOfFats = 0;            // byte 16
    uint8_t u8Media = 0;                   // byte 21, media descriptor; the FATs begin with it
    uint16_t u16ReservedSectorCount = 0;   // bytes 14-15
    uint16_t u16BytsPrSec = 0;             // bytes 11-12
    // Sectors of the fixed root directory (FAT12, FAT16): from the 16-bit root-entry
    // count at bytes 17-18 (32 bytes an entry), rounded up; 0 on FAT32.
    uint32_t u32RootDirectorySectors = 0;
    // Sectors of one FAT: the 16-bit size at bytes 22-23, or when that is 0 the 32-bit
    // size at bytes 36-39.
    uint32_t u32FATSize = 0;
    // Sectors of the whole volume: the 16-bit count at bytes 19-20, or when that is 0 the
    // 32-bit count at bytes 32-35.
    uint32_t u32TotalSectors = 0;
    uint32_t u32RootCluster = 0;           // FAT32 only: bytes 44-47, the root directory's first cluster
    // Clusters of the data region (FAT12, FAT16; 0 on FAT32, where it is not needed).
    uint32_t u32ClusterCount = 0;
    uint8_t u8FatEntryBits = 32;           // 12, 16 or 32: the width of one FAT entry
    int32_t blockSize = 0;                 // left for the scan; the record does not fill it
    // Absolute device sector of the data region (cluster 2); set by the scan.
    uint64_t u64RootDirectorySectors = 0;

    // The whole test: the boot sector plus the first bytes of the first and second FAT
    // (the second is consulted only when the first does not begin with the media byte;
    // pass an empty view when it was not read). nullopt when the bytes are not FAT.
    static std::optional<FatBootSectors> initFatSectorWithBlock_blockSize_withFirstFat_andSecondFat(
        ByteView block, uint32_t blockSize, ByteView firstFat, ByteView secondFat);

    // The checks that need the boot sector alone (its first 512 bytes): the jump, the
    // 0x55 0xAA signature, bytes per sector, sectors per cluster, two FATs, a FAT size,
    // and for FAT12/16 a cluster count that 16 bits can address. nullopt when they fail
    // or blockSize is 0; throws std::out_of_range when block holds fewer than 512 bytes.
    static std::optional<FatBootSectors> readBlock_blockSize(ByteView block, uint32_t blockSize);

    // True when a sector begins with a short jump and names FAT12 or FAT16 at byte 54
    // ("FAT12   ", "FAT16   ", or "FAT     "): the sweep's hint that a FAT12/16 boot
    // sector may lie here. The boot-sector test still decides.
    static bool namesFat12Or16(ByteView sector);

    // Where the first and second FAT begin, for a boot sector at sector startSector, in
    // the volume's own sectors.
    uint64_t firstFatSector(uint64_t startSector) const { return startSector + u16ReservedSectorCount; }
    uint64_t secondFatSector(uint64_t startSector) const { return firstFatSector(startSector) + u32FATSize; }
    // True when the bytes read at the start of a FAT begin with the media byte, as every
    // intact FAT does (its entry 0 holds the media byte in its low byte).
    bool fatStartMatchesMedia(ByteView fatStart) const { return !fatStart.empty() && fatStart.u8(0) == u8Media; }

    void setU64RootDirectorySector(uint64_t sector) { u64RootDirectorySectors = sector; }
    // Used when the cluster size is guessed without a boot sector.
    void setU8SectorPerClusters(uint8_t sectorsPerCluster) { u8SectorPerCluster = sectorsPerCluster; }
};

}  // namespace norix
