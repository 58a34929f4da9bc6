// The deep scan: a sweep of the whole device in 8 MiB chunks of 4 KiB blocks, and
// the arrangement of the tree when it ends.
#include <algorithm>
#include <cstring>
#include <vector>

#include "disk/DiskReader.h"
#include "results/TreeClassMethod.h"
#include "scan/RecoveryModule.h"

namespace norix {

namespace {
constexpr uint64_t kBlockBytes = 4096;
constexpr uint64_t kBlocksPerChunk = 2048;  // 8 MiB
}  // namespace

void RecoveryModule::deepScanOnDisk_withItemDict_andextenDict(const std::shared_ptr<Disk>& disk,
                                                              ApfsItemDict& /*items*/,
                                                              ApfsExtentDict& /*extents*/) {
    const std::string path = diskPath();
    log("Deep ScanStarted For Drive : " + path, "deepScanOnDisk");
    initializeValue();
    {
        std::unique_lock lock(treeLock());
        if (BaseTree* deep = deepNode()) deep->setscanCompleted(1);
    }
    // The whole device is swept, its last partial chunk and partial block included:
    // nothing at the end of a disk is left unexamined.
    const uint64_t deviceBytes = disk ? totalSector() * blockSize : 0;
    try {
        sweepChunks(path, (deviceBytes + kBlockBytes - 1) / kBlockBytes, deviceBytes);
    } catch (const std::exception& e) {
        log(e.what(), "deepScanOnDisk");
    }
}

void RecoveryModule::sweepChunks(const std::string& path, uint64_t totalBlocks, uint64_t deviceBytes) {
    std::vector<uint8_t> chunk(kBlocksPerChunk * kBlockBytes);
    for (uint64_t chunkStart = 0; chunkStart < totalBlocks; chunkStart += kBlocksPerChunk) {
        if (waitWhilePausedOrStopped()) return;
        const uint64_t blocks = std::min(kBlocksPerChunk, totalBlocks - chunkStart);
        const size_t bytes = static_cast<size_t>(blocks * kBlockBytes);
        std::memset(chunk.data(), 0, bytes);
        if (DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
                chunkStart, kBlockBytes, path, std::span(chunk).first(bytes), blocks)) {
            tillSectorReaded = 0;
            continue;
        }
        // Past the end of the device the block is examined as zeros.
        const uint64_t chunkBytes = chunkStart * kBlockBytes;
        if (deviceBytes - chunkBytes < bytes)
            std::memset(chunk.data() + (deviceBytes - chunkBytes), 0, bytes - (deviceBytes - chunkBytes));
        for (uint64_t b = 0; b < blocks; ++b)
            examineBlock(std::span<const uint8_t>(chunk).subspan(b * kBlockBytes, kBlockBytes), chunkStart + b);
    }
}

void RecoveryModule::examineBlock(std::span<const uint8_t> /*block*/, uint64_t absoluteBlock) {
    // Progress counts in device sectors, whatever their size.
    currentSectorNumber_ = absoluteBlock * kBlockBytes / blockSize;
}

void RecoveryModule::checkForSUbFoldersAndAPFSArrangeMentswithItemDict_andextenDict(ApfsItemDict& items,
                                                                                    ApfsExtentDict& extents) {
    try {
        std::vector<BaseTree*> hfsVolumes;
        {
            std::shared_lock lock(treeLock());
            BaseTree* deep = deepNode();
            if (!deep) return;
            for (auto& child : deep->childrenArray)
                if (child->fileName.find("HFS") != std::string::npos) hfsVolumes.push_back(child.get());
        }
        for (BaseTree* volume : hfsVolumes) rearrangeTreeFroHFS(volume);
        changeForHFSPointerInHFSLostPartition();
        enumerateDirectoryEntryApfsItemsDict_ExtentDict_Parent_andScantType(items, extents, deepNode(), "D");

        std::unique_lock lock(treeLock());
        BaseTree* deep = deepNode();
        for (auto& child : deep->childrenArray) TreeClassMethod::freeZeroChildFoldersFromNDIR(child.get());
        deep->setscanCompleted(stop ? 3 : 2);
    } catch (const std::exception& e) {
        log(e.what(), "checkForSUbFoldersAndAPFSArrangeMentswithItemDict");
    }
}

}  // namespace norix
