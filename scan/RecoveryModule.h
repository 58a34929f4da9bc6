#pragma once
// The scan engine: one instance serves one scan of one disk, run on one worker
// thread. Other threads may read the result tree under treeLock() (shared), toggle
// pause and stop, and poll the progress counters at any time.

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <unordered_map>
#include <mutex>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "disk/Disk.h"
#include "disk/DiskReader.h"
#include "records/fat/FatBootSectors.h"
#include "records/fat/FatDataEntry.h"
#include "records/fat/MainBootSector.h"
#include "records/hfs/BTHdrRec.h"
#include "records/hfs/BTNodeDesc.h"
#include "records/hfs/HPlusCatalogFile.h"
#include "records/hfs/HPlusCatalogFolder.h"
#include "records/hfs/VIB.h"
#include "results/BaseTree.h"
#include "results/SearchResult.h"
#include "scan/ApfsDicts.h"
#include "scan/RecoveryToDelegate.h"
#include "scan/ScanCheckpoint.h"
#include "signatures/Checker.h"
#include "signatures/tags/FileCheck.h"

namespace norix {

// File-system codes of a quick scan (and of the root's entry).
enum FileSystemCode : int32_t { kFat32 = 1, kExFat = 2, kHfs = 3, kApfs = 4 };

// One exFAT file or folder as its directory entries describe it (ExFatScan.cpp).
struct ExFatEntrySet;
class CheckpointArchive;

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
    // The device byte ranges this scan could not read (they were read as zeros), merged.
    std::vector<ByteRange> unreadableRanges() const { return unreadable_.ranges(); }

    // --- scan driver steps ---
    void initializeValue();
    void CheckFileSystem();
    void quickScanOnDisk(const std::shared_ptr<Disk>& disk);
    void quickScanOnBlock(std::span<const uint8_t> sectorZero);
    bool quickScanPartitions(ByteView sectorZero);
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
    void enumerateDirectoryEntryApfsItemsDict_ExtentDict_Parent_andScantType(ApfsItemDict& items,
                                                                             ApfsExtentDict& extents,
                                                                             BaseTree* parent,
                                                                             const std::string& scanType);

    // 0 FAT32, 1 exFAT, 2 APFS, 3 HFS+, 4 none: the structure a 512-byte unit starts.
    static int checkForFileSystem_withSize(ByteView unit, uint32_t size);
    // Threads that examine the sweep's chunks, each its own chunk, while one more reads
    // them in order; the tree is the same for any number (at least 1).
    unsigned examinerThreads = std::max(1u, std::thread::hardware_concurrency());

    // The deep-scan branch: the root's child 1 when it has two or more, else child 0.
    BaseTree* deepNode() const;
    // The scan log ("Core.txt" in the data folder).
    void log(const std::string& message, const std::string& method) const;

    // --- checkpoints of the deep scan, to resume one cut short (scan/ScanCheckpoint.cpp) ---
    // Where the sweep keeps its checkpoint (empty: none), the caller's note kept in it, and
    // how often it is written; it is also written when a pause or stop is seen between
    // chunks. Set before the scan starts.
    std::string checkpointPath;
    std::string checkpointNote;
    std::chrono::milliseconds checkpointInterval{5000};
    // Reads a checkpoint into this engine, before anything else is set: its tree and what
    // the sweep carries. The reason when it cannot be read (the engine is then unusable).
    std::optional<std::string> loadCheckpoint(ByteView bytes, CheckpointHeader& header);
    // Why a checkpoint is not of this disk; nothing when it is.
    static std::optional<std::string> checkpointRefusal(const CheckpointHeader& header, const Disk& disk,
                                                        const std::string& devicePath);
    // Continues the loaded checkpoint's scan on disk and ends it as an uninterrupted one.
    void resumeFromDisk(std::shared_ptr<Disk> disk);

    // --- a loaded recovery session and the name search (scan/SessionAndSearch.cpp) ---
    // Makes a loaded session's tree this engine's tree, read from the device at
    // bsdPath; the tree before it and its search matches are dropped.
    void adoptRecoverySession(std::unique_ptr<BaseTree> root, const std::string& bsdPath);
    // Collects every node whose name contains text, in any case, into a new searchDir
    // and returns it when the walk ends. flag is this search's own: clearing it stops
    // the walk at its next node, and starting another search clears it. Matches point
    // into the tree: search a tree whose scan has finished (pruning removes nodes).
    std::shared_ptr<SearchResult> startSearch_andFlag(const std::string& text,
                                                      std::shared_ptr<std::atomic<bool>> flag);
    std::shared_ptr<SearchResult> searchDir() const;

    // --- saving ---
    // Saves every checked node into savingPath/<root name>/<its folders>; the counters
    // and the stop flag are shared with the caller, which polls and sets them. Every
    // folder below savingPath is made and entered relative to its parent, never
    // through a symbolic link.
    SaveReport startSavingWithSavingPath_withSavingFileCount_andSavingSize_boolForStop(
        const std::string& savingPath, std::atomic<int64_t>& savedFile, std::atomic<int64_t>& savedSize,
        const std::atomic<bool>& stopSaving, CollisionHandler onCollision = {});

    // --- placing found files and folders in the tree ---
    // scanType "Q" or "D"; fileSystem "Fat", "ExFat", "HFS", "Apfs", or "LF" for a file
    // found by its header (named and numbered here after activeExtension). Each takes
    // ownership of the node and answers whether it was linked; a rejected node is
    // dropped. They take treeLock() themselves (never while reading the device), so no
    // caller may hold it.
    bool addFileDir_toDir_onParentID_withScanType_andFileSytem(std::unique_ptr<BaseTree> fileDir, BaseTree* dir,
                                                               uint32_t parentID, const std::string& scanType,
                                                               const std::string& fileSystem);
    bool addFolderDir_toParentDir_withParentID_withscanType_andFileSystem(std::unique_ptr<BaseTree> folderDir,
                                                                          BaseTree* parentDir, uint32_t parentID,
                                                                          const std::string& scanType,
                                                                          const std::string& fileSystem);
    // Links child under parent: a file's size is added to every ancestor, a folder to
    // the parent's folderCount. Answers the linked node (nothing without both).
    // addChild_andParent takes treeLock(); linkChild is for a caller holding it exclusively.
    BaseTree* addChild_andParent(std::unique_ptr<BaseTree> child, BaseTree* parent);
    BaseTree* linkChild(std::unique_ptr<BaseTree> child, BaseTree* parent);
    // False for names never shown as files / folders; true when a tag text holds a
    // character that keeps it from naming a folder.
    static bool checkValidFileName(const std::string& name);
    static bool checkValidFolderName(const std::string& name);
    static bool checkForSpecialCharacterInName(const std::string& text);
    int32_t getEntryCountForFileSystem(const std::string& name) const;
    // The embedded JPEG preview (jpgStartSector, extraByteOffsetForJPG, jpgRawSize) of
    // rawFile as a node of its own; nothing when it does not lie inside rawFile.
    std::unique_ptr<BaseTree> createJPGRawNode(const BaseTree& rawFile) const;
    // Reads the node's own metadata and files a copy of it under tags ("Tags").
    void searchForTagsInNDIR_andAddToRespectiveParent(const BaseTree& node, BaseTree* tags);

    // --- FAT32 ---
    // Reads and tests the boot sector at startSector (the FATs are read to confirm it).
    std::optional<FatBootSectors> readFatBootSectors(ByteView bootSector, uint64_t startSector) const;
    // Reads a directory's clusters (the root, or one folder) and files their entries under dir.
    void ScanForFatFromSector_rootDirectoryStart_fatDetailsArray_dir_andScanType(uint64_t sector,
                                                                                uint64_t rootDirectoryStart,
                                                                                BaseTree* dir,
                                                                                const std::string& scanType);
    // 0 nothing added; 1 a file added, or a folder refused by placement; 2 a folder added.
    int addFatFileAndFolder_withFileName_extension_rootDirectory_andParent_sacnType(
        const FatDataEntry& entry, const std::string& fileName, const std::optional<std::string>& extension,
        uint64_t rootDirectory, BaseTree* parent, const std::string& scanType);
    void checkForSubNodesForFat_withStartSector_withScanType(BaseTree* dir, uint64_t startSector,
                                                             const std::string& scanType);
    int deepScanForFatWithBlock_withParent_withSize_withScanType_andStartSector(ByteView block, BaseTree* parent,
                                                                                uint32_t size,
                                                                                const std::string& scanType,
                                                                                uint64_t startSector);
    // The clusters after firstCluster in the FAT (of 12-, 16- or 32-bit entries), ending
    // with 0x0FFFFFFF at an end-of-chain mark or 0 where the chain breaks; nothing on a
    // read error.
    std::optional<std::vector<uint32_t>> getClusterForSector_withReservedCount_andvolStart(uint32_t firstCluster,
                                                                                        uint32_t reservedCount,
                                                                                        uint64_t volStart);
    static bool checkValidate_withExtensuion_andFlag(ByteView name, ByteView extension, bool isFile);
    static std::string getFatFileNameFromBlock(ByteView entry);
    uint32_t checkForSPCForFat(uint64_t sector);
    static std::optional<std::string> getNameStringFrom(ByteView name);
    uint64_t returnZeroStartSectorFromSector_withLimit(uint64_t sector, uint64_t limit);
    static bool checkStart8BytesAreZero(ByteView bytes);
    // Consecutive clusters merged into runs: (first cluster, count).
    static std::vector<std::pair<uint32_t, uint32_t>> clusterRuns(const std::vector<uint32_t>& clusters);

    // --- exFAT ---
    // A block of directory entries at startSector (a directory read by the quick scan, or
    // a unit met by the deep scan) turned into nodes under dir; 1 for a boot sector.
    int scanBlock_ofSize_withDir_andScanType_withStartSector(ByteView block, uint32_t size, BaseTree* dir,
                                                             const std::string& scanType, uint64_t startSector);
    // The entry sets of the block made into nodes under parentNDIR; answers how many.
    int scanforExFatInBlock_withSize_startSector_parentNDIR_andScanType(ByteView block, uint32_t size,
                                                                        uint64_t startSector, BaseTree* parentNDIR,
                                                                        const std::string& scanType);
    // Walks into the folders below dir, all depths.
    void checkForSubFolders_ofSize_andScanType_withStartSector(BaseTree* dir, uint32_t size,
                                                               const std::string& scanType, uint64_t startSector);
    // Adds the folder's further clusters, as cluster numbers, from the FAT chain of firstCluster.
    void addClusterTo_fromSector(BaseTree* folder, uint32_t firstCluster);
    static bool IsBitSet_bit(uint32_t value, uint32_t bit);
    // The cluster size, in 512-byte units, guessed from a root directory at sector: the
    // distance to the next cluster that begins with a file entry; 0 when none.
    uint32_t checkForSPC(uint64_t sector);
    // The first sector of the first cluster from startSector on (clusters of spc sectors)
    // that names "WPSettings.dat"; 0 when none within 2048 clusters.
    uint64_t checkForWPSetiingFileFromStartSector_andWithSPC(uint64_t startSector, uint64_t spc);

    // --- HFS+ (HfsScan.cpp) ---
    // The volume header and the catalog's B-tree header, its extents, and its journal's
    // place (bytes from the volume start); the volume starts at HFSLastVIBBlock.
    std::optional<VIB> vib;
    std::optional<BTHdrRec> extBtHdrRec, catBtHdrRec;
    std::vector<HPlusExtDesc> catArray;
    // Deleted items the quick scan found in the journal and in the free space of live catalog nodes.
    uint32_t hfsJournalDeleted = 0, hfsSlackDeleted = 0;
    void scanForHFSWithBlock(ByteView block);
    void fillVIBWithBlock_WithStartSector(ByteView block, uint64_t startSector);
    void checkCatlogAndExtentsWithStartSector(uint64_t startSector);
    void getJounalDetails();
    void checkCatLogNodes();
    void checkJournalBlocks();
    // Reads the catalog node at sector and keeps its records for placing; flag marks them
    // deleted. desc: the descriptor a caller found, to confirm a node read without a known
    // catalog header. The parent and scan type are those the records are placed with.
    void ProcessCatFragForDeletedFiles_andScanType_inParent_WithBTNodeDesc_andFlag(
        uint64_t sector, const std::string& scanType, BaseTree* parent, const std::optional<BTNodeDesc>& desc,
        uint8_t flag);
    // The deep scan: a unit at a device sector holding a catalog leaf node descriptor
    // (answers how many nodes were read: one at most), a volume header at a device sector
    // (true when it places a lost volume), and the placing of what was found once the
    // sweep is over, each volume's records in their own lost partition.
    uint32_t deepScanForHFS_inSectorNumber_withSize_andParent(ByteView buffer, uint64_t sector, uint32_t size,
                                                             BaseTree* parent);
    bool checkForHFSVolumeBlocks(uint64_t sector);
    void placeLostHFSVolumes();

    // --- APFS (ApfsScan.cpp) ---
    // A 4 KiB block of a file-system tree (node type and subtype bytes), and a container
    // superblock (type byte and its "NXSB" magic).
    static bool magicFunctionFSTree(ByteView block);
    static bool checkAPFSStartBlockWithCurrentBlock(ByteView block);
    void fillUIntForAPFSFromBuffer(ByteView block);
    // Collects the inodes and file extents of one file-system tree node into the
    // dictionaries; answers the entries counted (inodes twice), 0 for another block.
    uint32_t deepScanForAPFS_withSize_withScanType_withItemDict_andExtentDict(ByteView block, uint32_t size,
                                                                             const std::string& scanType,
                                                                             ApfsItemDict& items,
                                                                             ApfsExtentDict& extents);
    // Reads the live file-system trees of the container starting at the device sector
    // (its newest valid checkpoint, object maps and volume superblocks) into the
    // dictionaries; false when they cannot be read. known: a superblock of the container
    // met elsewhere, for when its first block is damaged.
    bool readApfsLiveTree(uint64_t containerSector, ApfsItemDict& items, ApfsExtentDict& extents,
                          ByteView known = {});
    // The deep scan's step for a whole 4 KiB block at a device sector: true when it
    // was an APFS structure taken (or one the quick scan read).
    bool deepScanApfsBlock(ByteView block, uint64_t sector);

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
    std::optional<FatBootSectors> FS;
    std::optional<MainBootSector> mbs;
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
    // After a chunk is examined (nextBlock: where the sweep goes on), and when a pause or stop
    // is seen between chunks (force): writes the checkpoint when one is due.
    void checkpointBetweenChunks(uint64_t nextBlock, bool force);
    void writeCheckpoint(uint64_t nextBlock);
    // Both directions of what the sweep carries from one chunk to the next.
    void checkpointState(CheckpointArchive& archive, std::vector<BaseTree*>& nodes);
    // The deep scan and the end of a scan, shared by a new and a resumed one.
    void deepScanAndArrange(ApfsItemDict& items, ApfsExtentDict& extents);
    // A carved file's own metadata and the tag category it files under (no category: none
    // found); error: the message when reading it failed. Reads the device only.
    struct CarvedTags {
        const char* category = nullptr;
        TagDictionary tags;
        std::string error;
    };
    CarvedTags readCarvedTags(const BaseTree& node, const std::string& extension) const;
    // A file found by its header, worked out from the bytes and the device alone so that
    // any thread may find it; placing it is left to the scan thread.
    struct CarvedFile {
        uint32_t unit = 0;  // of its chunk
        std::unique_ptr<BaseTree> node;
        std::string extension;
        uint8_t jpgPresent = 0;
        uint64_t jpgStartSector = 0, extraByteOffsetForJPG = 0, jpgRawSize = 0;
        CarvedTags tags;
        std::string error;  // identifying or sizing it threw this: the block ends there
    };
    // What one chunk holds, unit by unit, before any of it is applied.
    struct ChunkFindings {
        std::vector<uint8_t> fileSystems;  // per unit: the structure it starts (checkForFileSystem)
        std::vector<uint8_t> apfsBlocks;   // per block: a whole APFS structure
        std::vector<CarvedFile> carved;    // in unit order
    };
    void sweepChunks(const std::string& path, uint64_t totalBlocks, uint64_t deviceBytes, uint64_t firstBlock);
    // Examines every unit of a chunk with the thread's own checkers; reads the scan's
    // state only where it does not change during the sweep.
    void findInChunk(ByteView chunk, uint64_t chunkStart, SelectedSigArray& checkers,
                     ChunkFindings& findings) const;
    // Applies a chunk's findings in order: skips, lost volumes, carved files.
    void examineChunk(ByteView chunk, uint64_t chunkStart, ChunkFindings& findings);
    // True when the block ended with a consumed structure or a carved file; carved: the
    // findings' next carved file.
    bool examineBlock(ByteView chunk, uint64_t blockInChunk, uint64_t absoluteBlock, ChunkFindings& findings,
                      size_t& carved);
    // Gives a unit of a structure to the lost-volume routines; non-zero when one consumed it.
    int offerToFileSystems(ByteView unit, int fileSystem, uint64_t sector);
    // The checker of a file that starts in this unit and its extension, with its size when
    // identification knew it.
    static Checker* identify(ByteView unit, uint64_t unitNumber, const std::string& path, SelectedSigArray& checkers,
                             uint64_t& size, std::string& extension);
    // Tests the unit for the start of a selected file type; true with the file in found.
    bool carveAt(ByteView unit, uint64_t unitNumber, SelectedSigArray& checkers, CarvedFile& found) const;
    // Places a carved file as addFileDir does, its tags read already.
    bool placeSweptFile(CarvedFile& carved);
    void setScanCompleted(BaseTree* branch, uint8_t state);
    // Walks the folders below dir (each first cluster once, from firstFolderCluster on:
    // cluster 2 holds a FAT32 or exFAT root), reading each with readFolder, which answers
    // how many entries it added (nothing when the device failed).
    void walkFolders(BaseTree* dir, const char* method,
                     const std::function<std::optional<int>(BaseTree* folder)>& readFolder,
                     uint32_t firstFolderCluster = 3);
    // A directory's clusters read into one buffer (runs of consecutive clusters in one
    // read each), so entries are parsed across cluster boundaries; at most maxBytes.
    // Nothing on a read error, which is left in error.
    std::optional<std::vector<uint8_t>> readClusterRuns(uint64_t heapStart, uint64_t sectorsPerCluster,
                                                        const std::vector<uint32_t>& clusters, uint64_t maxBytes,
                                                        std::optional<DiskError>* error = nullptr) const;
    // Adds a linked node to its ancestors' counts, under the tree lock.
    void countLinked(BaseTree* node);
    void addFatFileExtents(BaseTree& file, uint32_t firstCluster);
    int recogniseFatVolume(ByteView block, uint64_t sector);
    bool startLostFatRoot(ByteView block, size_t offset, uint64_t sector);
    void adoptProvenFatGeometry(ByteView folderStart, uint64_t sector);
    size_t joinLostFatDirectory(std::vector<uint8_t>& buffer, uint64_t sector, bool folderStart);
    void expectLostFatContinuations(ByteView directory, size_t from, uint64_t sector);
    void leaveEndedFatVolumes(uint64_t sector);
    bool readFatCluster(uint64_t sector, std::vector<uint8_t>& buffer);
    // Directory clusters and catalog nodes the quick scan has read, and fixed FAT roots the
    // sweep has listed (device sectors first to end; for clusters, sectors from heapStart,
    // bytes of them), and whether a device sector lies in one: the sweep lists nothing twice.
    void rememberQuickSectors(uint64_t first, uint64_t end);
    void rememberQuickDirectory(uint64_t heapStart, uint64_t sectorsPerCluster, const std::vector<uint32_t>& clusters,
                                uint64_t bytes);
    bool quickScanListed(uint64_t sector) const;
    // The first of count device sectors from first on that matches, read many sectors at
    // a time; nothing when none does, a read fails or the scan is stopped.
    std::optional<uint64_t> findSector(uint64_t first, uint64_t count,
                                       const std::function<bool(ByteView sector)>& matches) const;
    // exFAT steps.
    int recogniseExFatBootSector(ByteView block, uint64_t sector);
    int recogniseLostExFatRoot(uint64_t sector, BaseTree* parent, const std::string& scanType);
    bool readExFatCluster(uint64_t sector, std::vector<uint8_t>& buffer);
    std::optional<uint64_t> joinLostExFatDirectory(const ExFatEntrySet& first, uint64_t sector);
    void completeCutExFatSet(ByteView cluster, uint64_t previous, uint64_t sector, BaseTree* parent);
    void expectLostExFatContinuations(const std::vector<ExFatEntrySet>& sets, uint64_t sector);
    bool makeExFatNode(const ExFatEntrySet& set, uint64_t sector, BaseTree* parent,
                       const std::string& scanType, bool rootStart);

    // Placement steps: the first three take the tree lock, the rest need it held exclusively.
    bool placeQuickScanNode(std::unique_ptr<BaseTree> node, BaseTree* dir, uint32_t parentID,
                            const std::string& fileSystem, bool rejectDuplicate);
    bool placeLostPartitionNode(std::unique_ptr<BaseTree> node, BaseTree* dir, uint32_t parentID,
                                const std::string& fileSystem, bool folder);
    // Places a file found by its header under activeExtension; its tags are read here
    // unless readAhead holds them.
    bool placeCarvedFile(std::unique_ptr<BaseTree> fileDir, const CarvedTags* readAhead);
    BaseTree* lostPartitionTarget(const BaseTree& node, BaseTree* dir, uint32_t parentID,
                                  const std::string& fileSystem, bool& createdPartition, BaseTree*& partition);
    void rememberLostFolder(const BaseTree* partition, BaseTree* folder);
    // The folder of the partition one of whose directory clusters holds the sector.
    BaseTree* lostFolderOwning(const BaseTree* partition, uint64_t sector) const;
    // The lost partition of a file system the sweep is filling now, if it has one yet.
    BaseTree* currentLostPartition(const std::string& fileSystem) const;
    BaseTree* linkAndCount(std::unique_ptr<BaseTree> child, BaseTree* parent);
    void fileTagCopy(const BaseTree& node, BaseTree* tags, const std::string& category, const std::string& group,
                     const std::string& title);

    // FAT32 volumes the known one was found inside, innermost last, with their numbers;
    // and how many FAT32 volumes the sweep has numbered.
    std::vector<std::pair<FatBootSectors, int32_t>> enclosingFatVolumes_;
    int32_t fatVolumesFound_ = 0;
    // Device sector runs of the directories the quick scan read: first -> end.
    std::map<uint64_t, uint64_t> quickDirectorySectors_;
    // Per lost partition, the directory clusters of its folders: first sector -> (last, folder).
    std::map<const BaseTree*, std::map<uint64_t, std::pair<uint64_t, BaseTree*>>> lostFolderSectors_;
    // Where a lost FAT folder's next directory cluster may start when its chain is gone:
    // sector -> (folder, the sector of the folder's cluster before it).
    std::unordered_map<uint64_t, std::pair<BaseTree*, uint64_t>> lostFolderNext_;

    // HFS+ steps. Records are collected first and placed once all are known, folders
    // before what they hold, so an item is never placed before the folder it belongs to.
    enum class HfsSource : uint8_t { Catalog, NodeFreeSpace, Journal, DeepScan };
    struct HfsItem {
        uint32_t parentID = 0;
        std::string name;
        std::optional<HPlusCatalogFolder> folder;
        std::optional<HPlusCatalogFile> file;
        HfsSource source = HfsSource::Catalog;
        int volume = -1;  // deep scan: index in hfsLostVolumes_, -1 for none
    };
    // A lost volume the deep scan placed: its header, first sector and what the quick
    // scan keeps for its own volume.
    struct HfsVolume {
        VIB header;
        uint64_t startSector = 0;
        std::optional<BTHdrRec> catalogHeader;
        uint64_t journalStart = 0, journalBytes = 0;  // bytes from the volume's start
        std::map<std::pair<uint32_t, uint32_t>, std::array<HPlusExtDesc, 8>> overflowExtents;
    };
    enum class HfsRecord { Skipped, EndNode, Taken };
    std::optional<std::vector<uint8_t>> readHfsBytes(uint64_t volumeOffset, size_t length) const;
    std::optional<VIB> readHfsHeaderAt(uint64_t sector) const;
    void readExtentsOverflow();
    void parseCatalogNode(ByteView node, HfsSource source, int volume = -1);
    // The record at offset, which must end before limit; end is set past it when taken.
    HfsRecord parseCatalogRecord(ByteView node, size_t offset, size_t limit, HfsSource source, int volume,
                                 size_t* end = nullptr);
    void scanNodeSlack(ByteView slack);
    // Places the items (then empties the list) with the volume in vib, HFSLastVIBBlock and
    // hfsOverflowExtents_.
    void placeHfsItems(std::vector<HfsItem>& found, const std::string& scanType, BaseTree* parent);
    // A catalog node the quick scan read, at bytes from the volume's start.
    void rememberQuickHfsNode(uint64_t volumeOffset, size_t length);
    void placeHfsItem(const HfsItem& item, const std::string& scanType, BaseTree* parent);
    void addHfsFileRuns(BaseTree& node, const HPlusCatalogFile& file) const;
    bool insideHfsVolume(const HPlusForkData& fork) const;
    // Further extents of data forks from the extents-overflow tree: (file id, first block) -> extents.
    std::map<std::pair<uint32_t, uint32_t>, std::array<HPlusExtDesc, 8>> hfsOverflowExtents_;
    // What was found and not yet placed, in the order it was met.
    std::vector<HfsItem> hfsFound_;
    std::vector<HfsVolume> hfsLostVolumes_;

    // APFS steps.
    struct ApfsTargets {
        BaseTree* base = nullptr;     // items at the volume's root
        BaseTree* deleted = nullptr;  // deleted items at the root (quick scan) and orphans
        bool quick = true;
    };
    std::optional<ApfsTargets> apfsTargets(const std::string& scanType);
    // Places the item and, first, its folders not yet placed; placed maps ids to nodes.
    void ApfsTreeItem_andItemsDict_ParentDict_ExtentDict_withScanType(const Item& item, const ApfsItemDict& items,
                                                                     const ApfsExtentDict& extents,
                                                                     const ApfsTargets& targets,
                                                                     std::map<uint64_t, BaseTree*>& placed);
    std::unique_ptr<BaseTree> apfsNode(const Item& item, bool deleted, const ApfsExtentDict& extents) const;
    void addApfsRuns(BaseTree& node, const Item& item, const ApfsExtentDict& extents) const;
    uint32_t parseApfsNode(ByteView block, ApfsItemDict& items, ApfsExtentDict& extents, bool live);
    bool readApfsBlocks(uint64_t containerSector, uint64_t firstBlock, std::span<uint8_t> buffer) const;
    std::optional<uint64_t> apfsOmapLookup(uint64_t containerSector, uint64_t treeBlock, OidT oid, XidT xid) const;
    void walkApfsTree(uint64_t containerSector, uint64_t omapTree, OidT root, XidT xid, ApfsItemDict& items,
                      ApfsExtentDict& extents);
    // The deep scan's dictionaries, and whether the quick scan read an APFS container at sector 0.
    ApfsItemDict* apfsDeepItems_ = nullptr;
    ApfsExtentDict* apfsDeepExtents_ = nullptr;
    bool apfsQuickContainer_ = false;
    std::array<uint8_t, 16> apfsContainerUuid_{};  // of the container the deep scan collects
    uint64_t apfsContainerBlocks_ = 0;             // its size by its superblock; 0 when unknown
    std::set<std::string> apfsNotices_;            // told the user in this scan

    // Checkpoints: the scan type, the block a resumed sweep starts at (and the APFS
    // dictionaries and unreadable ranges it carries on with), when the last one was
    // written, how long that took and at which block, and whether a stop cut any work
    // short (what it left is then no state to continue from).
    std::string scanType_;
    std::optional<uint64_t> resumeBlock_;
    ApfsItemDict resumedItems_;
    ApfsExtentDict resumedExtents_;
    std::vector<ByteRange> resumedUnreadable_;
    std::chrono::steady_clock::time_point lastCheckpoint_;
    std::chrono::steady_clock::duration lastCheckpointCost_{};
    std::optional<uint64_t> lastCheckpointBlock_;
    std::optional<uint64_t> deviceIdentity_;
    mutable std::atomic<bool> stopSeen_{false};
    // Every read of the scan notes here what it could not read, from any thread; reading
    // on, it loses only those sectors.
    mutable UnreadableRanges unreadable_;
    // The device path of the sweep in progress, kept so the per-unit work copies nothing.
    std::string sweepPath_;
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
    // The latest search's matches and its stop flag.
    mutable std::mutex searchMutex_;
    std::shared_ptr<SearchResult> searchDir_;
    std::shared_ptr<std::atomic<bool>> searchFlag_;
};

}  // namespace norix
