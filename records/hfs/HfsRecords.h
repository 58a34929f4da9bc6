#pragma once
// HFS+ on-disk records: the volume header, B-tree node descriptor and header record,
// catalog keys, folder and file records, fork data and extent descriptors. Every field is
// big-endian on disk; offsets are from the start of each structure. Each factory is a pure
// parse of the bytes it is given: a view too short throws std::out_of_range.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "disk/ByteView.h"

namespace norix {

// An extent descriptor (8 bytes): a run of allocation blocks.
struct HPlusExtDesc {
    uint32_t startBlock = 0;  // 0
    uint32_t blockCount = 0;  // 4
    static HPlusExtDesc initExtDescWithBlock(ByteView block);
};

// Fork data (80 bytes): the size of a fork and its first eight extents.
struct HPlusForkData {
    uint64_t logicalSize = 0;  // 0
    uint32_t clumpSize = 0;    // 8
    uint32_t totalBlocks = 0;  // 12
    std::array<HPlusExtDesc, 8> extents{};  // 16, 24, ... 72
    static HPlusForkData initFordDataWithBlock(ByteView block);
};

// Extended Finder information of a folder (16 bytes).
struct XFolderInfo {
    int16_t V = 0, h = 0;              // 0, 2
    int32_t reserved1 = 0;             // 4
    uint16_t extendedFinderFlags = 0;  // 8
    int16_t reserved2 = 0;             // 10
    int32_t putAwayFolderID = 0;       // 12
    static XFolderInfo initXFolderIndoWithBlock(ByteView block);
};

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

// The descriptor at the start of every B-tree node (14 bytes).
struct BTNodeDesc {
    static constexpr int8_t kLeaf = -1, kIndex = 0, kHeader = 1;
    uint32_t fLink = 0, bLink = 0;  // 0, 4
    int8_t kind = 0;                // 8
    uint8_t height = 0;             // 9
    uint16_t numRecords = 0;        // 10
    uint16_t reserved = 0;          // 12
    static BTNodeDesc initBTNodeDescWIthBlock(ByteView block);
    bool operator==(const BTNodeDesc&) const = default;
    // A catalog leaf node as the scans accept it.
    bool isLeaf() const { return height == 1 && kind == kLeaf && numRecords > 0; }
};

// The B-tree header record (106 bytes, 14 bytes into node 0).
struct BTHdrRec {
    uint16_t treeDepth = 0;      // 0
    uint32_t rootNode = 0;       // 2
    uint32_t leafRecords = 0;    // 6
    uint32_t firstLeafNode = 0;  // 10
    uint32_t lastLeafNode = 0;   // 14
    uint16_t nodeSize = 0;       // 18
    uint16_t maxKeyLength = 0;   // 20
    uint32_t totalNodes = 0;     // 22
    uint32_t freeNodes = 0;      // 26
    uint32_t clumpSize = 0;      // 32
    uint8_t btreeType = 0;       // 36
    uint8_t keyCompareType = 0;  // 37
    uint32_t attributes = 0;     // 38
    static BTHdrRec initBTHdrRecWithBlock(ByteView block);
};

// A catalog key: parent folder id and the item's name, UTF-16 big-endian.
struct HPlusCatalogKey {
    uint16_t keyLength = 0;  // 0, bytes after this field
    uint32_t parentID = 0;   // 2
    uint16_t length = 0;     // 6, name length in UTF-16 units
    std::u16string unicode;  // 8, the `length` units (none when length is over 255)
    static HPlusCatalogKey initHPlusCatalogKeyWithBlock(ByteView block);
    // The name as UTF-8, composed (NFC): the volume stores it decomposed.
    std::string getFileName() const;
};

// The fields a folder and a file record share (offsets 0 to 31).
struct HPlusCatalogCommon {
    int16_t recordType = 0;  // 0
    uint16_t flags = 0;      // 2
    uint32_t valence = 0;    // 4 (folders; reserved in files)
    uint32_t id = 0;         // 8
    uint32_t createDate = 0, contentModDate = 0, attributeModDate = 0, accessDate = 0, backupDate = 0;  // 12..28
    void read(ByteView block);
    bool datesAndIdSet() const { return accessDate && contentModDate && createDate && id; }
};

// A folder record (88 bytes).
struct HPlusCatalogFolder : HPlusCatalogCommon {
    static constexpr int16_t kType = 1;
    XFolderInfo finderInfo;     // 64
    uint32_t textEncoding = 0;  // 80
    uint32_t reserved = 0;      // 84
    uint32_t folderID() const { return id; }
    static std::optional<HPlusCatalogFolder> initHPlusCatalogFolder(ByteView block);
};

// A file record (248 bytes).
struct HPlusCatalogFile : HPlusCatalogCommon {
    static constexpr int16_t kType = 2;
    uint32_t textEncoding = 0;   // 80
    HPlusForkData dataFork;      // 88
    HPlusForkData resourceFork;  // 168
    uint32_t fileID() const { return id; }
    // blockSize: the volume's allocation block size in bytes, or 0 when no volume header
    // is known (the fork sizes are then not checked against their block counts). With a
    // block size, an empty data fork is accepted (an empty file); without one it is not.
    static std::optional<HPlusCatalogFile> initHPlusCatalogFileWithBlock_andBlockSize(ByteView block,
                                                                                      uint32_t blockSize);
};

}  // namespace norix
