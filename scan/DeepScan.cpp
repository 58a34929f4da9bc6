// The deep scan: a sweep of the whole device in 8 MiB chunks of 4 KiB blocks. Inside
// each block every 512-byte unit is offered first to the file-system routines (lost
// FAT and exFAT volumes) and then to the signature test, which carves files of the
// selected types; a block that is an APFS tree node or container superblock is taken
// whole first. The next chunk is read while the current one is examined.
#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "disk/DiskReader.h"
#include "disk/Platform.h"
#include "records/fat/FatDataEntry.h"
#include "records/fat/FatLongNameEntry.h"
#include "results/TreeClassMethod.h"
#include "scan/ChunkPipeline.h"
#include "scan/RecoveryModule.h"
#include "signatures/SignatureCheck.h"

namespace norix {

namespace {

constexpr uint64_t kBlockBytes = 4096;
constexpr uint64_t kBlocksPerChunk = 2048;  // 8 MiB
constexpr uint64_t kUnitBytes = 512;
constexpr uint64_t kUnitsPerBlock = kBlockBytes / kUnitBytes;
constexpr uint64_t kUnitsPerChunk = kBlocksPerChunk * kUnitsPerBlock;

enum FileSystemFound { kFoundFat = 0, kFoundExFat = 1, kFoundApfs = 2, kFoundHfs = 3, kFoundNone = 4 };

// Reads blocks [start, start + count) of 4 KiB into the buffer. Only the sectors that
// cannot be read stay zero; they are noted in unreadable.
void readChunk(const std::string& path, uint64_t start, uint64_t count, uint64_t deviceBytes,
               std::span<uint8_t> buffer, UnreadableRanges& unreadable) {
    std::memset(buffer.data(), 0, buffer.size());  // std::fill goes byte by byte in unoptimised builds
    DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
        start * kUnitsPerBlock, kUnitBytes, path, buffer, count * kUnitsPerBlock, &unreadable);
    // Past the end of the device the last block reads as zeros.
    const uint64_t chunkBytes = start * kBlockBytes;
    if (deviceBytes - chunkBytes < count * kBlockBytes)
        std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(deviceBytes - chunkBytes), buffer.end(), 0);
}

// A unit of directory entries: every entry up to the end marker is a short entry whose
// byte 12 holds no more than the lower-case flags (0x08 name, 0x10 extension) or a
// long-name part (attribute 0x0F, type 0, no cluster), and the unit begins with a
// plausible file or folder, a short name made by the "~1" rule, or a long name whose
// parts carry the checksum of the short entry after them. A unit of fewer than four
// entries (a folder's last) must be zero after them. Reads bytes only: it runs on every
// unit of the device.
bool isFatDirectoryUnit(ByteView unit) {
    constexpr size_t kEntries = kUnitBytes / 32;
    auto isLongNamePart = [&](size_t at) { return unit.u8(at + 11) == 0x0F; };
    size_t used = 0;
    for (; used < kEntries && unit.u8(used * 32) != 0; ++used) {
        const size_t at = used * 32;
        if (isLongNamePart(at) ? unit.u8(at + 12) != 0 || unit.u16le(at + 26) != 0 : (unit.u8(at + 12) & ~0x18) != 0)
            return false;
    }
    // A folder's last unit may hold a few entries: the rest of it is then zero.
    if (used == 0) return false;
    for (size_t at = used * 32; used < 4 && at < kUnitBytes; ++at)
        if (unit.u8(at) != 0) return false;
    for (size_t entry = 0; entry < 5; ++entry)
        if (!isLongNamePart(entry * 32) && unit.matches(entry * 32 + 6, "~1")) return true;
    for (size_t entry = 0; entry < 2; ++entry) {
        const size_t at = entry * 32;
        if (isLongNamePart(at)) {
            size_t shortAt = at;
            while (shortAt < used * 32 && isLongNamePart(shortAt)) shortAt += 32;
            if (shortAt < used * 32 && FatLongNameEntry::shortNameChecksum(unit.sub(shortAt, 11)) == unit.u8(at + 13))
                return true;
            continue;
        }
        // The first or the second entry a plausible file or folder.
        const FatDataEntry fde = FatDataEntry::initFDEWithBlock(unit.sub(at + 11, 21));
        if ((fde.isFile || fde.isFolder) && unit.u8(at + 31) == 0 &&
            RecoveryModule::checkValidate_withExtensuion_andFlag(unit.sub(at, 8), unit.sub(at + 8, 3), fde.isFile))
            return true;
    }
    return false;
}

bool isExFatUnit(ByteView unit) {
    const uint8_t b0 = unit.u8(0), b32 = unit.u8(32), b64 = unit.u8(64);
    if (((b0 == 0x83 || b0 == 0x03) && b32 == 0x81 && b64 == 0x82) || b0 == 0x85 || b0 == 0x05 ||
        unit.matches(0, "\xEB\x76\x90" "EXFAT"))
        return true;
    // A folder's further cluster may begin with the stream and name entries of a set
    // begun in the cluster before: a file entry and its stream entry follow them.
    size_t at = 0;
    while (at < 18 * 32 && at + 64 <= kUnitBytes && (unit.u8(at) & 0x7E) == 0x40) at += 32;
    return at != 0 && at + 64 <= kUnitBytes && unit.u8(at) == 0x85 && (unit.u8(at + 32) & 0x7F) == 0x40;
}

}  // namespace

int RecoveryModule::checkForFileSystem_withSize(ByteView unit, uint32_t size) {
    if (size != kUnitBytes)  // a whole 4 KiB block: an APFS tree node or container superblock
        return magicFunctionFSTree(unit) || checkAPFSStartBlockWithCurrentBlock(unit) ? kFoundApfs : kFoundNone;
    if (unit.u8(0) == '.' && unit.u8(32) == '.' && unit.u8(33) == '.' && unit.u8(12) == 0) return kFoundFat;
    // A FAT boot sector, whatever name its formatter wrote after the jump.
    if (unit.matches(0, "\xEB\x58\x90") && unit.matches(82, "FAT32   ")) return kFoundFat;
    if (FatBootSectors::namesFat12Or16(unit)) return kFoundFat;
    if (isFatDirectoryUnit(unit)) return kFoundFat;
    if (isExFatUnit(unit)) return kFoundExFat;
    if (unit.matches(0, std::string_view("H+\0\x04", 4))) return kFoundHfs;
    const BTNodeDesc node = BTNodeDesc::initBTNodeDescWIthBlock(unit);  // a catalog leaf node
    if (node.isLeaf() && node.numRecords < 255 && node.reserved == 0) return kFoundHfs;
    return kFoundNone;
}

void RecoveryModule::deepScanOnDisk_withItemDict_andextenDict(const std::shared_ptr<Disk>& disk,
                                                              ApfsItemDict& items, ApfsExtentDict& extents) {
    const std::string path = diskPath();
    log("Deep ScanStarted For Drive : " + path, "deepScanOnDisk");
    if (!resumeBlock_) initializeValue();  // a resumed sweep carries on with its checkpoint's
    apfsDeepItems_ = &items;
    apfsDeepExtents_ = &extents;
    {
        std::unique_lock lock(treeLock());
        if (BaseTree* deep = deepNode()) deep->setscanCompleted(1);
    }
    // The whole device is swept, its last partial chunk and partial block included.
    const uint64_t deviceBytes = disk ? totalSector() * blockSize : 0;
    try {
        sweepChunks(path, (deviceBytes + kBlockBytes - 1) / kBlockBytes, deviceBytes, resumeBlock_.value_or(0));
    } catch (const std::exception& e) {
        log(e.what(), "deepScanOnDisk");
    }
    apfsDeepItems_ = nullptr;
    apfsDeepExtents_ = nullptr;
}

void RecoveryModule::sweepChunks(const std::string& path, uint64_t totalBlocks, uint64_t deviceBytes,
                                 uint64_t firstBlock) {
    sweepPath_ = path;
    const DiskReader::KeepOpen device(path);  // every read of the sweep, carved files' included, shares it
    const unsigned threads = std::max(examinerThreads, 1u);
    // The scan thread sizes files with the selected checkers, every other examiner with its own.
    std::vector<SelectedSigArray> checkers(threads);
    for (unsigned thread = 1; thread < threads; ++thread) checkers[thread] = selectedSigArray.clone();
    std::vector<ChunkFindings> findings(ChunkPipeline::slotsFor(threads));
    ChunkPipeline pipeline(
        firstBlock, totalBlocks, kBlocksPerChunk, threads,
        [&](uint64_t start, std::span<uint8_t> bytes) {
            readChunk(path, start, bytes.size() / kBlockBytes, deviceBytes, bytes, unreadable_);
        },
        [&](size_t slot, uint64_t start, ByteView bytes, unsigned thread) {
            // The checkers read what lies in the chunk from it, unless some of it could not be
            // read: there they meet the read errors a read of the device gives.
            const uint64_t offset = start * kBlockBytes;
            const ByteView held = bytes.sub(0, std::min(bytes.size(), deviceBytes - std::min(deviceBytes, offset)));
            std::optional<DiskReader::Resident> resident;
            if (!unreadable_.overlaps({offset, offset + held.size()})) resident.emplace(path, offset, held);
            findInChunk(bytes, start, thread == 0 ? selectedSigArray : checkers[thread], findings[slot]);
        },
        pause, stop);
    for (uint64_t chunkStart = firstBlock; chunkStart < totalBlocks;) {
        if (pause || stop) checkpointBetweenChunks(chunkStart, true);
        if (waitWhilePausedOrStopped()) return;
        const auto chunk = pipeline.take(chunkStart);
        if (!chunk) return;
        examineChunk(chunk->bytes, chunkStart, findings[chunk->slot]);
        uint64_t step = kBlocksPerChunk;
        // A structure that runs past this chunk may skip whole chunks.
        if (tillSectorReaded > kUnitsPerChunk) {
            const uint64_t chunks = tillSectorReaded / kUnitsPerChunk;
            step += chunks * kBlocksPerChunk;
            tillSectorReaded -= chunks * kUnitsPerChunk;
        }
        chunkStart += step;
        // The chunk is applied and the next one known.
        pipeline.release(chunk->slot, chunkStart);
        checkpointBetweenChunks(chunkStart, false);
    }
}

void RecoveryModule::findInChunk(ByteView chunk, uint64_t chunkStart, SelectedSigArray& checkers,
                                 ChunkFindings& findings) const {
    const uint64_t blocks = chunk.size() / kBlockBytes;
    findings.fileSystems.assign(kUnitsPerChunk, kFoundNone);
    findings.apfsBlocks.assign(kBlocksPerChunk, 0);
    findings.carved.clear();
    static constexpr std::array<uint8_t, kBlockBytes> kZeroBlock{};
    for (uint64_t b = 0; b < blocks && !stop; ++b) {
        const ByteView block = chunk.sub(b * kBlockBytes, kBlockBytes);
        // Nothing starts in a block of zeros (much of a disk): it is passed over at once.
        if (std::memcmp(block.span().data(), kZeroBlock.data(), kBlockBytes) == 0) continue;
        findings.apfsBlocks[b] = checkForFileSystem_withSize(block, kBlockBytes) == kFoundApfs;
        for (uint64_t u = 0; u < kUnitsPerBlock; ++u) {
            const uint64_t inChunk = b * kUnitsPerBlock + u;
            const ByteView unit = block.sub(u * kUnitBytes, kUnitBytes);
            if (checkStart8BytesAreZero(unit)) continue;
            findings.fileSystems[inChunk] = static_cast<uint8_t>(checkForFileSystem_withSize(unit, kUnitBytes));
            if (checkers.empty()) continue;
            // A user type's header may sit some way into its file: the signature test sees
            // the bytes that follow the unit too, up to 1 KiB in all.
            const size_t at = inChunk * kUnitBytes;
            CarvedFile& found = findings.carved.emplace_back();
            found.unit = static_cast<uint32_t>(inChunk);
            try {
                if (carveAt(chunk.sub(at, std::min<size_t>(2 * kUnitBytes, chunk.size() - at)),
                            chunkStart * kUnitsPerBlock + inChunk, checkers, found))
                    continue;
            } catch (const std::exception& e) {
                found.error = e.what();
                continue;
            }
            findings.carved.pop_back();
        }
    }
}

void RecoveryModule::examineChunk(ByteView chunk, uint64_t chunkStart, ChunkFindings& findings) {
    const uint64_t blocks = chunk.size() / kBlockBytes;
    size_t carved = 0;
    uint64_t b = 0;
    if (tillSectorReaded >= 9) {
        b = tillSectorReaded / kUnitsPerBlock;
        tillSectorReaded %= kUnitsPerBlock;
    }
    for (; b < blocks; ++b) {
        bool endedWithHit = false;
        try {
            endedWithHit = examineBlock(chunk, b, chunkStart + b, findings, carved);
        } catch (const std::exception& e) {
            consoleLog("Error For value : %d\nwith Exception : %s\n\nstartSector : %llu\n", 0, e.what(),
                       static_cast<unsigned long long>(chunkStart + b));
        }
        if (endedWithHit && tillSectorReaded >= 9) {
            b += tillSectorReaded / kUnitsPerBlock;
            if (b >= blocks) {
                tillSectorReaded = kUnitsPerBlock * (b - blocks) + tillSectorReaded % kUnitsPerBlock;
                return;
            }
            tillSectorReaded %= kUnitsPerBlock;
        }
    }
}

bool RecoveryModule::examineBlock(ByteView chunk, uint64_t blockInChunk, uint64_t absoluteBlock,
                                  ChunkFindings& findings, size_t& carved) {
    const ByteView block = chunk.sub(blockInChunk * kBlockBytes, kBlockBytes);
    // Units are addressed by their byte offset, in 512-byte units, whatever the
    // device's sector size: a 4 KiB-sector disk holds files at any 512-byte boundary.
    const uint64_t firstUnit = absoluteBlock * kUnitsPerBlock;
    currentSectorNumber_ = absoluteBlock * kBlockBytes / blockSize;
    // A whole block is an APFS structure before its units are anything else.
    if (blockSize <= kBlockBytes && findings.apfsBlocks[blockInChunk] &&
        deepScanApfsBlock(block, currentSectorNumber_))
        return true;
    uint64_t u = 0;
    if (tillSectorReaded) {
        u = tillSectorReaded;
        tillSectorReaded = 0;
    }
    bool endedWithHit = false;
    for (; u < kUnitsPerBlock; ++u) {
        const ByteView unit = block.sub(u * kUnitBytes, kUnitBytes);
        if (checkStart8BytesAreZero(unit)) continue;
        const uint64_t inChunk = blockInChunk * kUnitsPerBlock + u;
        const uint64_t byteOffset = (firstUnit + u) * kUnitBytes;
        endedWithHit = false;
        // The file-system routines work in device sectors: only units that start one are theirs.
        if (byteOffset % blockSize == 0) {
            const int consumed = offerToFileSystems(unit, findings.fileSystems[inChunk], byteOffset / blockSize);
            if (consumed > 0) {
                endedWithHit = true;
                // The routine's skip, in device sectors, becomes 512-byte units.
                tillSectorReaded *= blockSize / kUnitBytes;
                if (tillSectorReaded == 0) continue;
                if (u + tillSectorReaded >= kUnitsPerBlock) {
                    tillSectorReaded -= kUnitsPerBlock - u;
                    break;
                }
                u += tillSectorReaded;
                tillSectorReaded = 0;
                continue;
            }
        }
        // The rest of the block is still examined after a carved file: a small file may
        // follow it in the same block, and what a file embeds is found as a file anyway.
        while (carved < findings.carved.size() && findings.carved[carved].unit < inChunk) ++carved;
        if (carved == findings.carved.size() || findings.carved[carved].unit != inChunk) continue;
        CarvedFile& found = findings.carved[carved++];
        if (!found.error.empty()) throw std::runtime_error(found.error);
        if (placeSweptFile(found)) endedWithHit = true;
    }
    return endedWithHit;
}

int RecoveryModule::offerToFileSystems(ByteView unit, int fileSystem, uint64_t sector) {
    switch (fileSystem) {
    case kFoundFat:
        return deepScanForFatWithBlock_withParent_withSize_withScanType_andStartSector(unit, deepNode(), kUnitBytes,
                                                                                       "D", sector);
    case kFoundExFat:
        return scanBlock_ofSize_withDir_andScanType_withStartSector(unit, kUnitBytes, deepNode(), "D", sector);
    case kFoundHfs:
        if (checkForHFSVolumeBlocks(sector)) return 0;
        return static_cast<int>(deepScanForHFS_inSectorNumber_withSize_andParent(unit, sector, kUnitBytes, deepNode()));
    default: return 0;
    }
}

Checker* RecoveryModule::identify(ByteView unit, uint64_t unitNumber, const std::string& path,
                                  SelectedSigArray& checkers, uint64_t& size, std::string& extension) {
    size = 0;
    const std::string_view found =
        SignatureCheck::checkSignatureInBlock_andSectorNumber_blockSize_andBSDPath_fileSizeForOfficeX(
            unit.span(), unitNumber, kUnitBytes, path, size);
    if (found.empty()) {
        // The user's own types, tried in order.
        for (const auto& other : checkers.other)
            if (other->isFile_andSectorNumber_blockSize_andBSDPath(unit.span(), unitNumber, kUnitBytes, path)) {
                extension = other->parentKey().value_or("");
                return other.get();
            }
        return nullptr;
    }
    extension.assign(found);
    const auto checker = checkers.byExtension.find(extension);
    return checker == checkers.byExtension.end() ? nullptr : checker->second.get();
}

bool RecoveryModule::carveAt(ByteView unit, uint64_t unitNumber, SelectedSigArray& checkers, CarvedFile& found) const {
    // unit: the 512 bytes of the unit and up to 512 that follow it.
    uint64_t size = 0;
    Checker* checker = identify(unit, unitNumber, sweepPath_, checkers, size, found.extension);
    if (!checker) return false;
    if (size == 0) size = checker->fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(
                              unit.span().first(kUnitBytes), unitNumber, kUnitBytes, sweepPath_);
    if (size == 0) return false;

    auto node = TreeClassMethod::createNDIR();
    node->setFileTypes(2);
    node->createButtons();
    node->setblockSize(kUnitBytes);
    node->setfileSize(size);
    const uint64_t units = (size + kUnitBytes - 1) / kUnitBytes;
    // Extents are 32-bit: a file past the first 2 TiB keeps its position in the base.
    uint32_t start = static_cast<uint32_t>(unitNumber);
    if (unitNumber > UINT32_MAX) {
        node->setblockSstartsAtSector(unitNumber);
        start = 0;
    }
    if (units > UINT32_MAX) return false;
    TreeClassMethod::addDataExtStartBlock_blockCount_toDir(start, static_cast<uint32_t>(units), node.get());

    found.jpgPresent = checker->isJPGPresent();
    found.jpgStartSector = found.jpgPresent ? checker->jpgFileOffset() : 0;
    found.extraByteOffsetForJPG = found.jpgPresent ? checker->extraByteForJPGOffset() : 0;
    found.jpgRawSize = found.jpgPresent ? checker->jpgFileSize() + kUnitBytes : 0;
    // The tags are read with the name's extension, as placing names it.
    found.tags = readCarvedTags(*node, found.extension);
    found.node = std::move(node);
    return true;
}

void RecoveryModule::checkForSUbFoldersAndAPFSArrangeMentswithItemDict_andextenDict(ApfsItemDict& items,
                                                                                    ApfsExtentDict& extents) {
    try {
        {
            std::shared_lock lock(treeLock());
            if (!deepNode()) return;
        }
        // Lost HFS+ volumes are placed whole, each record with its own volume's start and
        // folders before what they hold: nothing is left to move afterwards.
        placeLostHFSVolumes();
        enumerateDirectoryEntryApfsItemsDict_ExtentDict_Parent_andScantType(items, extents, deepNode(), "D");

        std::unique_lock lock(treeLock());
        lostFolderSectors_.clear();  // empty folders go now
        lostFolderNext_.clear();
        BaseTree* deep = deepNode();
        for (auto& child : deep->childrenArray) TreeClassMethod::freeZeroChildFoldersFromNDIR(child.get());
        deep->setscanCompleted(stop ? 3 : 2);
    } catch (const std::exception& e) {
        log(e.what(), "checkForSUbFoldersAndAPFSArrangeMentswithItemDict");
    }
}

}  // namespace norix
