#pragma once
// The scan engine: one instance serves one scan of one disk, run on one worker
// thread. Other threads may read the result tree under treeLock() (shared), toggle
// pause and stop, and poll the progress counters at any time.

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <span>
#include <string>
#include <vector>

#include "disk/Disk.h"
#include "results/BaseTree.h"
#include "scan/ApfsDicts.h"
#include "scan/RecoveryToDelegate.h"
#include "signatures/FileCheck.h"

namespace norix {

// File-system codes of a quick scan (and of the root's entry).
enum FileSystemCode : int32_t { kFat32 = 1, kExFat = 2, kHfs = 3, kApfs = 4 };

class RecoveryModule {
public:
    RecoveryModule() = default;
    RecoveryModule(const RecoveryModule&) = delete;
    RecoveryModule& operator=(const RecoveryModule&) = delete;

    // --- set-up, before the scan starts ---
    void setDel(RecoveryToDelegate* delegate) { del = delegate; }
    void setDiskPathWithString_withRootName(const std::string& path, const std::string& rootName);
    void setDiskPathWithString(const std::string& path);
    void setTheDiskInModule(std::shared_ptr<Disk> disk);
    void setFileCheckArray(SelectedSigArray checkers) { selectedSigArray = std::move(checkers); }

    // Runs the whole scan; returns when it is finished or stopped. scanType is "Q"
    // (quick scan, then deep scan) or "D" (deep scan only). The name is not used.
    void recoverFromDisk_withScantType_andName_selectedPath(std::shared_ptr<Disk> disk, const std::string& scanType,
                                                            const std::string& name,
                                                            const std::optional<std::string>& selectedPath);

    // --- control and queries, from any thread ---
    void setStop(bool value) { stop = value; }
    void setPause(bool value) { pause = value; }
    bool isStopped() const { return stop; }
    bool quickScanCompleted() const { return quickScanCompleted_; }
    uint64_t currentSectorNumber() const { return currentSectorNumber_; }
    uint64_t totalSector() const { return totalSector_; }
    int32_t filesFound() const { return fileCount + lost; }
    std::shared_mutex& treeLock() const { return treeMutex_; }
    // The root of the result tree; read it under treeLock().
    BaseTree* dirRoot() const { return dirRoot_.get(); }
    std::string diskPath() const;
    std::shared_ptr<Disk> theDisk() const;
    int32_t fileSystemCode() const { return fileSystem; }

    // --- scan driver steps ---
    void initializeValue();
    void CheckFileSystem();
    void quickScanOnDisk(const std::shared_ptr<Disk>& disk);
    void quickScanOnBlock(std::span<const uint8_t> sectorZero);
    void searchForSpecialFolderScanForPath(const std::string& path);
    void editFolderData(BaseTree* folder);

    // --- the quick scan of each file system ---
    void quickScanForFat32_withScanType_withStartSector(std::span<const uint8_t> bootSector,
                                                        const std::string& scanType, uint64_t startSector);
    void quickSacnForExfat_withScanType(std::span<const uint8_t> sectorZero, const std::string& scanType);
    void quickScanForHFS();
    void quickSacnForAPFS(std::span<const uint8_t> sectorZero);

    // --- the deep scan and the end-of-scan arrangement ---
    void deepScanOnDisk_withItemDict_andextenDict(const std::shared_ptr<Disk>& disk, ApfsItemDict& items,
                                                  ApfsExtentDict& extents);
    void checkForSUbFoldersAndAPFSArrangeMentswithItemDict_andextenDict(ApfsItemDict& items,
                                                                        ApfsExtentDict& extents);
    void rearrangeTreeFroHFS(BaseTree* lostVolume);
    void changeForHFSPointerInHFSLostPartition();
    void enumerateDirectoryEntryApfsItemsDict_ExtentDict_Parent_andScantType(ApfsItemDict& items,
                                                                             ApfsExtentDict& extents,
                                                                             BaseTree* parent,
                                                                             const std::string& scanType);

    // The deep-scan branch: the root's child 1 when it has two or more, else child 0.
    BaseTree* deepNode() const;
    // The scan log ("Core.txt" in the data folder).
    void log(const std::string& message, const std::string& method) const;

    // --- per-scan state ---
    std::string volumeContent;
    uint32_t blockSize = 0;
    std::atomic<bool> stop{false};
    std::atomic<bool> pause{false};
    uint8_t jpgPresent = 0;
    std::atomic<int32_t> fileCount{0}, folderCount{0}, lost{0};
    int32_t fatEntryCount = 0, exfatEntryCount = 0, hfsEntryCount = 0, apfsEntryCount = 0;
    int32_t fileSystem = 0;
    uint8_t u17 = 0, u40 = 0, u41 = 0, u42 = 0;
    uint32_t catTotalBlockCount = 0;
    uint64_t journalBlockStart = 0, journalBlockSize = 0;
    uint64_t previousBlockNumberExFat = 0, previousBlockNumberFat = 0, previousBlockNumberAPFS = 0,
             previousBlockNumberHFS = 0;
    uint64_t startSectorForPhysicalScan = 0, HFSLastVIBBlock = 0;
    uint64_t tillSectorReaded = 0;
    uint64_t WPFound = 0;
    // tag category ("Word", "PowerPoint", "Sheet", "Artist", "Camera") -> group name -> counter
    std::map<std::string, std::map<std::string, uint32_t>> Tags;
    // extension -> carved files of that extension placed so far
    std::map<std::string, uint32_t> LFDict;
    SelectedSigArray selectedSigArray;
    int64_t ActiveFileSystem = 0;
    std::string errorPath;
    std::string activeExtension;
    uint64_t jpgStartSector = 0, extraByteOffsetForJPG = 0, jpgRawSize = 0;
    RecoveryToDelegate* del = nullptr;

private:
    // Waits while paused; true when the scan must stop.
    bool waitWhilePausedOrStopped() const;
    void setDiskPath(const std::string& path);
    void sweepChunks(const std::string& path, uint64_t totalBlocks, uint64_t deviceBytes);
    void examineBlock(std::span<const uint8_t> block, uint64_t absoluteBlock);
    void setScanCompleted(BaseTree* branch, uint8_t state);

    std::atomic<bool> quickScanCompleted_{false};
    std::atomic<uint64_t> currentSectorNumber_{0};
    std::atomic<uint64_t> totalSector_{0};
    mutable std::shared_mutex treeMutex_;
    std::unique_ptr<BaseTree> dirRoot_;
    // The device path and disk may be swapped (APFS redirect) while another thread
    // asks for them.
    mutable std::mutex diskMutex_;
    std::string diskPath_;
    std::shared_ptr<Disk> theDisk_;
};

}  // namespace norix
