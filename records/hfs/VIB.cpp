#include "records/hfs/VIB.h"

namespace norix {

std::optional<VIB> VIB::initVIBWithBlock(ByteView block) {
    VIB v;
    v.signature = block.u16be(0);
    v.version = block.u16be(2);
    v.attributes = block.u32be(4);
    v.lastMountedVersion = block.u32be(8);
    v.journalInfoBlock = block.u32be(12);
    v.createDate = block.u32be(16);
    v.modifyDate = block.u32be(20);
    v.backupDate = block.u32be(24);
    v.checkedDate = block.u32be(28);
    v.fileCount = block.u32be(32);
    v.folderCount = block.u32be(36);
    v.blockSize = block.u32be(40);
    v.totalBlocks = block.u32be(44);
    v.freeBlocks = block.u32be(48);
    v.nextAllocation = block.u32be(52);
    v.rsrcClumpSize = block.u32be(56);
    v.dataClumpSize = block.u32be(60);
    v.nextCatalogID = block.u32be(64);
    v.writeCount = block.u32be(68);
    v.encodingsBitmap = block.u64be(72);
    v.allocationFile = HPlusForkData::initFordDataWithBlock(block.sub(112, 80));
    v.extentsFile = HPlusForkData::initFordDataWithBlock(block.sub(192, 80));
    v.cat = HPlusForkData::initFordDataWithBlock(block.sub(272, 80));
    v.attributesFile = HPlusForkData::initFordDataWithBlock(block.sub(352, 80));
    v.startupFile = HPlusForkData::initFordDataWithBlock(block.sub(432, 80));
    const bool accepted = v.createDate && v.modifyDate && v.blockSize && v.totalBlocks && v.freeBlocks &&
                          v.signature == kSignature && v.version == 4;
    if (!accepted) return std::nullopt;
    return v;
}

std::optional<uint64_t> VIB::nodeByteOffset(uint32_t node, uint32_t nodeSize,
                                            const std::vector<HPlusExtDesc>& extents) const {
    // Counted in bytes, so any block, node and sector size maps exactly.
    uint64_t offset = uint64_t{node} * nodeSize;
    for (const HPlusExtDesc& extent : extents) {
        const uint64_t bytes = uint64_t{extent.blockCount} * blockSize;
        if (offset < bytes) {
            if (nodeSize > bytes - offset) return std::nullopt;  // split over two extents
            return uint64_t{extent.startBlock} * blockSize + offset;
        }
        offset -= bytes;
    }
    return std::nullopt;
}

uint64_t VIB::catNodeToSector_WithCatNodeSize_SectorSize_VolStart_andCatArray(
    uint32_t node, uint32_t nodeSectors, uint32_t sectorSize, uint64_t volStart,
    const std::vector<HPlusExtDesc>& catArray) const {
    const uint64_t nodeSize = uint64_t{nodeSectors} * sectorSize;
    if (nodeSize == 0 || nodeSize > UINT32_MAX) return 0;
    const auto offset = nodeByteOffset(node, static_cast<uint32_t>(nodeSize), catArray);
    if (!offset || *offset % sectorSize != 0) return 0;
    return volStart + *offset / sectorSize;
}

}  // namespace norix
