#include "records/fat/FatBootSectors.h"

namespace norix {

namespace {
// The checks on the parameter block itself, once its fields are copied.
bool plausible(const FatBootSectors& fs) {
    if (fs.u16BytsPrSec % 512 != 0) return false;                                         // 0 passes
    if (fs.u8SectorPerCluster != 1 && fs.u8SectorPerCluster % 2 != 0) return false;       // 0 passes
    return fs.u8NumberOfFats == 2 && fs.u32FATSize != 0;
}

// FAT12 or FAT16 by the count of clusters the data region holds; false when the region
// is empty or holds more clusters than 16-bit entries can address.
bool countClusters(FatBootSectors& fs) {
    const uint64_t metadata = fs.u16ReservedSectorCount + uint64_t{fs.u8NumberOfFats} * fs.u32FATSize +
                              fs.u32RootDirectorySectors;
    if (fs.u8SectorPerCluster == 0 || fs.u32TotalSectors <= metadata) return false;
    const uint64_t clusters = (fs.u32TotalSectors - metadata) / fs.u8SectorPerCluster;
    if (clusters == 0 || clusters >= 65525) return false;
    fs.u32ClusterCount = static_cast<uint32_t>(clusters);
    fs.u8FatEntryBits = clusters < 4085 ? 12 : 16;
    return true;
}
}  // namespace

bool FatBootSectors::namesFat12Or16(ByteView sector) {
    if (sector.size() < 62 || sector.u8(0) != 0xEB || sector.u8(2) != 0x90) return false;  // bytes 0-2: EB xx 90
    return sector.matches(54, "FAT12   ") || sector.matches(54, "FAT16   ") ||          // bytes 54-61
           sector.matches(54, "FAT     ");
}

std::optional<FatBootSectors> FatBootSectors::readBlock_blockSize(ByteView block, uint32_t blockSize) {
    if (blockSize == 0) return std::nullopt;
    FatBootSectors fs;
    fs.u8Check = block.u8(2);
    const uint8_t jump = block.u8(0);  // byte 0: the jump opcode
    if (!(jump == 0xE9 || (jump == 0xEB && fs.u8Check == 0x90))) return std::nullopt;
    if (block.u8(510) != 0x55 || block.u8(511) != 0xAA) return std::nullopt;  // bytes 510-511: signature

    fs.u16BytsPrSec = block.u16le(11);            // bytes 11-12
    fs.u8SectorPerCluster = block.u8(13);          // byte 13
    fs.u16ReservedSectorCount = block.u16le(14);   // bytes 14-15
    fs.u8NumberOfFats = block.u8(16);              // byte 16
    const uint64_t rootEntries = block.u16le(17);  // bytes 17-18: root-directory entries
    fs.u8Media = block.u8(21);                     // byte 21
    const uint16_t fatSize16 = block.u16le(22);    // bytes 22-23
    fs.u32FATSize = fatSize16 != 0 ? fatSize16 : block.u32le(36);  // bytes 36-39: 32-bit FAT size
    const uint16_t totalSectors16 = block.u16le(19);                 // bytes 19-20
    fs.u32TotalSectors = totalSectors16 != 0 ? totalSectors16 : block.u32le(32);  // bytes 32-35
    if (!plausible(fs)) return std::nullopt;
    // A 16-bit FAT size of 0 is FAT32's layout, whatever its cluster count: small FAT32
    // volumes exist (mkfs.fat -F 32 makes them) and are read as FAT32 everywhere.
    if (fatSize16 == 0) {
        fs.u32RootCluster = block.u32le(44);                         // bytes 44-47
        return fs;
    }
    const uint64_t sectorBytes = fs.u16BytsPrSec != 0 ? fs.u16BytsPrSec : 512;
    fs.u32RootDirectorySectors = static_cast<uint32_t>((rootEntries * 32 + sectorBytes - 1) / sectorBytes);
    if (!countClusters(fs)) return std::nullopt;
    return fs;
}

std::optional<FatBootSectors> FatBootSectors::initFatSectorWithBlock_blockSize_withFirstFat_andSecondFat(
    ByteView block, uint32_t blockSize, ByteView firstFat, ByteView secondFat) {
    auto fs = readBlock_blockSize(block, blockSize);
    if (!fs) return std::nullopt;
    // A damaged first FAT is forgiven when the second one still begins with the media
    // byte (byte 21) -- the same byte the first FAT is held to.
    if (fs->fatStartMatchesMedia(firstFat) || fs->fatStartMatchesMedia(secondFat)) return fs;
    return std::nullopt;
}

}  // namespace norix
