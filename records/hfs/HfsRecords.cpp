#include "records/hfs/HfsRecords.h"

#include <cstdlib>
#include <memory>

#include <utf8proc.h>

namespace norix {

HPlusExtDesc HPlusExtDesc::initExtDescWithBlock(ByteView block) { return {block.u32be(0), block.u32be(4)}; }

HPlusForkData HPlusForkData::initFordDataWithBlock(ByteView block) {
    HPlusForkData fork;
    fork.logicalSize = block.u64be(0);
    fork.clumpSize = block.u32be(8);
    fork.totalBlocks = block.u32be(12);
    for (size_t i = 0; i < fork.extents.size(); ++i)
        fork.extents[i] = HPlusExtDesc::initExtDescWithBlock(block.sub(16 + 8 * i, 8));
    return fork;
}

XFolderInfo XFolderInfo::initXFolderIndoWithBlock(ByteView block) {
    XFolderInfo info;
    info.V = static_cast<int16_t>(block.u16be(0));
    info.h = static_cast<int16_t>(block.u16be(2));
    info.reserved1 = static_cast<int32_t>(block.u32be(4));
    info.extendedFinderFlags = block.u16be(8);
    info.reserved2 = static_cast<int16_t>(block.u16be(10));
    info.putAwayFolderID = static_cast<int32_t>(block.u32be(12));
    return info;
}

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

BTNodeDesc BTNodeDesc::initBTNodeDescWIthBlock(ByteView block) {
    BTNodeDesc d;
    d.fLink = block.u32be(0);
    d.bLink = block.u32be(4);
    d.kind = static_cast<int8_t>(block.u8(8));
    d.height = block.u8(9);
    d.numRecords = block.u16be(10);
    d.reserved = block.u16be(12);
    return d;
}

BTHdrRec BTHdrRec::initBTHdrRecWithBlock(ByteView block) {
    BTHdrRec h;
    h.treeDepth = block.u16be(0);
    h.rootNode = block.u32be(2);
    h.leafRecords = block.u32be(6);
    h.firstLeafNode = block.u32be(10);
    h.lastLeafNode = block.u32be(14);
    h.nodeSize = block.u16be(18);
    h.maxKeyLength = block.u16be(20);
    h.totalNodes = block.u32be(22);
    h.freeNodes = block.u32be(26);
    h.clumpSize = block.u32be(32);
    h.btreeType = block.u8(36);
    h.keyCompareType = block.u8(37);
    h.attributes = block.u32be(38);
    return h;
}

HPlusCatalogKey HPlusCatalogKey::initHPlusCatalogKeyWithBlock(ByteView block) {
    HPlusCatalogKey key;
    key.keyLength = block.u16be(0);
    key.parentID = block.u32be(2);
    key.length = block.u16be(6);
    if (key.length >= 1 && key.length <= 255)
        for (size_t i = 0; i < key.length; ++i) key.unicode.push_back(static_cast<char16_t>(block.u16be(8 + 2 * i)));
    return key;
}

std::string HPlusCatalogKey::getFileName() const {
    std::vector<uint8_t> units;
    for (char16_t unit : unicode) {
        units.push_back(static_cast<uint8_t>(unit >> 8));
        units.push_back(static_cast<uint8_t>(unit));
    }
    const std::string decomposed = utf16ToUtf8(ByteView(units), Endian::Big, false);
    std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> composed(
        utf8proc_NFC(reinterpret_cast<const utf8proc_uint8_t*>(decomposed.c_str())), &std::free);
    // A name holding a NUL unit stops there, as it would on any Linux path.
    return composed ? std::string(reinterpret_cast<const char*>(composed.get())) : decomposed;
}

void HPlusCatalogCommon::read(ByteView block) {
    recordType = static_cast<int16_t>(block.u16be(0));
    flags = block.u16be(2);
    valence = block.u32be(4);
    id = block.u32be(8);
    createDate = block.u32be(12);
    contentModDate = block.u32be(16);
    attributeModDate = block.u32be(20);
    accessDate = block.u32be(24);
    backupDate = block.u32be(28);
}

std::optional<HPlusCatalogFolder> HPlusCatalogFolder::initHPlusCatalogFolder(ByteView block) {
    HPlusCatalogFolder f;
    f.read(block);
    f.finderInfo = XFolderInfo::initXFolderIndoWithBlock(block.sub(64, 16));
    f.textEncoding = block.u32be(80);
    f.reserved = block.u32be(84);
    if (!f.datesAndIdSet() || f.recordType != kType) return std::nullopt;
    return f;
}

namespace {
// A fork's size fits its blocks, and it has exactly the blocks its size needs.
bool forkSizeMatches(const HPlusForkData& fork, uint32_t blockSize) {
    return fork.logicalSize <= uint64_t{fork.totalBlocks} * blockSize &&
           fork.totalBlocks == (fork.logicalSize + blockSize - 1) / blockSize;
}
}  // namespace

std::optional<HPlusCatalogFile> HPlusCatalogFile::initHPlusCatalogFileWithBlock_andBlockSize(ByteView block,
                                                                                           uint32_t blockSize) {
    HPlusCatalogFile f;
    f.read(block);
    f.textEncoding = block.u32be(80);
    f.dataFork = HPlusForkData::initFordDataWithBlock(block.sub(88, 80));
    f.resourceFork = HPlusForkData::initFordDataWithBlock(block.sub(168, 80));
    if (!f.datesAndIdSet() || f.recordType != kType) return std::nullopt;
    const HPlusExtDesc& first = f.dataFork.extents[0];
    const bool hasData = f.dataFork.logicalSize && f.dataFork.totalBlocks && first.startBlock && first.blockCount;
    // An empty file has no blocks and no extent; only a known block size lets it pass.
    const bool empty = blockSize != 0 && f.dataFork.logicalSize == 0 && f.dataFork.totalBlocks == 0 &&
                       first.startBlock == 0 && first.blockCount == 0;
    if (!hasData && !empty) return std::nullopt;
    if (blockSize == 0) return f;
    if (!forkSizeMatches(f.dataFork, blockSize) || !forkSizeMatches(f.resourceFork, blockSize)) return std::nullopt;
    return f;
}

}  // namespace norix
