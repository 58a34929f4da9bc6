#pragma once
// An HFS+ record: big-endian on disk, offsets from the structure's start; a pure parse
// of the bytes given (a view too short throws std::out_of_range).
#include <cstdint>
#include <optional>
#include <vector>

#include "disk/ByteView.h"
#include "records/hfs/HPlusForkData.h"

namespace norix {

// The volume header (512 bytes, 1024 bytes into the volume; its backup 1024 bytes
// before the volume's end).
class VIB {
public:
    static constexpr uint16_t kSignature = 0x482B;  // "H+"
    static constexpr uint32_t kJournaled = 1u << 13;

    uint16_t signature = 0, version = 0;              // 0, 2
    uint32_t attributes = 0, lastMountedVersion = 0;  // 4, 8
    uint32_t journalInfoBlock = 0;                    // 12
    uint32_t createDate = 0, modifyDate = 0, backupDate = 0, checkedDate = 0;  // 16..28
    uint32_t fileCount = 0, folderCount = 0;          // 32, 36
    uint32_t blockSize = 0, totalBlocks = 0, freeBlocks = 0;  // 40, 44, 48
    uint32_t nextAllocation = 0, rsrcClumpSize = 0, dataClumpSize = 0;  // 52, 56, 60
    uint32_t nextCatalogID = 0, writeCount = 0;       // 64, 68
    uint64_t encodingsBitmap = 0;                     // 72
    HPlusForkData allocationFile, extentsFile, cat, attributesFile, startupFile;  // 112, 192, 272, 352, 432

    // Nothing unless the signature is "H+", the version 4, and the dates, block size,
    // total and free block counts are all non-zero.
    static std::optional<VIB> initVIBWithBlock(ByteView block);

    const HPlusExtDesc& getExtentFileDescForIndex(int index) const { return extentsFile.extents.at(index); }
    const HPlusExtDesc& getCatlogFileDescForIndex(int index) const { return cat.extents.at(index); }
    // Where B-tree node `node` of nodeSize bytes begins, in bytes from the volume's start,
    // its tree's file laid out in the given extents; nothing when no extent holds it whole.
    std::optional<uint64_t> nodeByteOffset(uint32_t node, uint32_t nodeSize,
                                           const std::vector<HPlusExtDesc>& extents) const;
    // The same as a device sector; 0 when no extent holds it or it does not begin on a
    // sector. Node size in sectors, sector size in bytes.
    uint64_t catNodeToSector_WithCatNodeSize_SectorSize_VolStart_andCatArray(
        uint32_t node, uint32_t nodeSectors, uint32_t sectorSize, uint64_t volStart,
        const std::vector<HPlusExtDesc>& catArray) const;
    // Another copy of the same volume's header: same creation date, block size and size.
    bool isEqualToVib(const VIB& other) const {
        return createDate == other.createDate && blockSize == other.blockSize && totalBlocks == other.totalBlocks;
    }
    bool journaled() const { return (attributes & kJournaled) != 0; }
};

}  // namespace norix
