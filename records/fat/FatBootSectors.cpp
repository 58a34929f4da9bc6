#include "records/fat/FatBootSectors.h"

namespace norix {

namespace {
// The checks on the parameter block itself, once its fields are copied.
bool plausibleFat32(const FatBootSectors& fs, uint16_t fatSize16) {
    if (fs.u16BytsPrSec % 512 != 0) return false;                                         // 0 passes
    if (fs.u8SectorPerCluster != 1 && fs.u8SectorPerCluster % 2 != 0) return false;       // 0 passes
    if (fs.u8NumberOfFats != 2) return false;
    // FAT12 and FAT16 keep their FAT size in the 16-bit field and have a fixed root
    // directory and narrower FAT entries: read as FAT32 they would give wrong clusters.
    return fatSize16 == 0 && fs.u32FATSize != 0;
}
}  // namespace

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
    fs.u32RootDirectorySectors = static_cast<uint32_t>((rootEntries * 32 + blockSize - 1) / blockSize);
    fs.u8Media = block.u8(21);                     // byte 21
    const uint16_t fatSize16 = block.u16le(22);    // bytes 22-23
    fs.u32FATSize = fatSize16 != 0 ? fatSize16 : block.u32le(36);  // bytes 36-39: 32-bit FAT size
    const uint16_t totalSectors16 = block.u16le(19);                 // bytes 19-20
    fs.u32TotalSectors = totalSectors16 != 0 ? totalSectors16 : block.u32le(32);  // bytes 32-35
    fs.u32RootCluster = block.u32le(44);                             // bytes 44-47

    if (!plausibleFat32(fs, fatSize16)) return std::nullopt;
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
