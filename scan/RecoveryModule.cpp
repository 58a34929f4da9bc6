// The scan driver: set-up, the order of a scan's steps, the choice of file system,
// the quick-scan dispatch and the cut-down to one chosen folder.
#include "scan/RecoveryModule.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unordered_set>
#include <unistd.h>

#include "disk/DiskReader.h"
#include "disk/Platform.h"
#include "results/TreeClassMethod.h"

namespace norix {

namespace {
// While paused, the scanning loops look at the flags this often.
constexpr auto kPausePoll = std::chrono::milliseconds(100);
// The searches for a sector read this much at a time.
constexpr uint64_t kSearchWindowBytes = 256 * 1024;

std::string lowerCased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// The log file must exist for the log to be written; the data folder is the shell's.
void createIfMissing(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) ::close(fd);
}
}  // namespace

void RecoveryModule::setDiskPathWithString_withRootName(const std::string& path, const std::string& rootName) {
    setDiskPath(path);
    std::unique_lock lock(treeMutex_);
    dirRoot_ = TreeClassMethod::createRootWithName(rootName);
}

void RecoveryModule::setDiskPathWithString(const std::string& path) { setDiskPath(path); }

void RecoveryModule::setDiskPath(const std::string& path) {
    std::lock_guard lock(diskMutex_);
    diskPath_ = path;
}

std::string RecoveryModule::diskPath() const {
    std::lock_guard lock(diskMutex_);
    return diskPath_;
}

std::shared_ptr<Disk> RecoveryModule::theDisk() const {
    std::lock_guard lock(diskMutex_);
    return theDisk_;
}

void RecoveryModule::setTheDiskInModule(std::shared_ptr<Disk> disk) {
    if (!disk) {
        consoleLog("Disk is Nil.\n");
        return;
    }
    // A description without a block size would divide by zero below; such a
    // device is read in 512-byte sectors.
    blockSize = disk->getBlockSize() ? static_cast<uint32_t>(disk->getBlockSize()) : 512;
    totalSector_ = disk->getDiskSize() / blockSize;
    std::lock_guard lock(diskMutex_);
    theDisk_ = std::move(disk);
}

void RecoveryModule::log(const std::string& message, const std::string& method) const {
    TreeClassMethod::writeError_inFile_forMethod(message, errorPath, method);
}

bool RecoveryModule::waitWhilePausedOrStopped() const {
    while (pause && !stop) std::this_thread::sleep_for(kPausePoll);
    if (stop) stopSeen_ = true;
    return stop;
}

void RecoveryModule::setScanCompleted(BaseTree* branch, uint8_t state) {
    std::unique_lock lock(treeMutex_);
    if (branch) branch->setscanCompleted(state);
}

std::vector<std::pair<uint32_t, uint32_t>> RecoveryModule::clusterRuns(const std::vector<uint32_t>& clusters) {
    std::vector<std::pair<uint32_t, uint32_t>> runs;
    for (uint32_t cluster : clusters) {
        if (!runs.empty() && runs.back().first + runs.back().second == cluster) ++runs.back().second;
        else runs.emplace_back(cluster, 1);
    }
    return runs;
}

std::optional<std::vector<uint8_t>> RecoveryModule::readClusterRuns(uint64_t heapStart, uint64_t sectorsPerCluster,
                                                                    const std::vector<uint32_t>& clusters,
                                                                    uint64_t maxBytes,
                                                                    std::optional<DiskError>* error) const {
    const uint64_t clusterBytes = sectorsPerCluster * blockSize;
    const std::string path = diskPath();
    std::vector<uint8_t> bytes;
    for (auto [first, count] : clusterRuns(clusters)) {
        uint64_t runBytes = std::min<uint64_t>(count * clusterBytes, maxBytes - bytes.size());
        runBytes -= runBytes % blockSize;
        if (first < 2 || runBytes == 0) break;
        const size_t offset = bytes.size();
        bytes.resize(offset + runBytes, 0);
        auto failed = DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
            heapStart + sectorsPerCluster * (first - 2), blockSize, path, std::span(bytes).subspan(offset),
            runBytes / blockSize, &unreadable_);
        if (failed) {
            if (error) *error = std::move(failed);
            return std::nullopt;
        }
    }
    return bytes;
}

void RecoveryModule::rememberQuickDirectory(uint64_t heapStart, uint64_t sectorsPerCluster,
                                            const std::vector<uint32_t>& clusters, uint64_t bytes) {
    uint64_t left = bytes / blockSize;
    for (auto [first, count] : clusterRuns(clusters)) {
        if (left == 0 || first < 2) break;
        const uint64_t sectors = std::min(left, sectorsPerCluster * count);
        const uint64_t start = heapStart + sectorsPerCluster * (first - 2);
        rememberQuickSectors(start, start + sectors);
        left -= sectors;
    }
}

void RecoveryModule::rememberQuickSectors(uint64_t first, uint64_t end) {
    auto [run, added] = quickDirectorySectors_.try_emplace(first, end);
    if (!added) run->second = std::max(run->second, end);
}

bool RecoveryModule::quickScanListed(uint64_t sector) const {
    const auto after = quickDirectorySectors_.upper_bound(sector);
    return after != quickDirectorySectors_.begin() && sector < std::prev(after)->second;
}

std::optional<uint64_t> RecoveryModule::findSector(uint64_t first, uint64_t count,
                                                   const std::function<bool(ByteView sector)>& matches) const {
    const std::string path = diskPath();
    const uint64_t windowSectors = std::max<uint64_t>(kSearchWindowBytes / blockSize, 1);
    std::vector<uint8_t> window(windowSectors * blockSize);
    for (uint64_t sector = first; sector - first < count;) {
        if (waitWhilePausedOrStopped() || sector >= totalSector()) return std::nullopt;
        const uint64_t sectors = std::min({windowSectors, count - (sector - first), totalSector() - sector});
        std::fill(window.begin(), window.end(), 0);
        if (DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
                sector, blockSize, path, window, sectors, &unreadable_))
            return std::nullopt;
        for (uint64_t i = 0; i < sectors; ++i)
            if (matches(ByteView(window).sub(i * blockSize, blockSize))) return sector + i;
        sector += sectors;
    }
    return std::nullopt;
}

void RecoveryModule::countLinked(BaseTree* node) {
    std::unique_lock lock(treeMutex_);
    TreeClassMethod::addChildCountInDIR(node);
}

void RecoveryModule::walkFolders(BaseTree* dir, const char* method,
                                 const std::function<std::optional<int>(BaseTree* folder)>& readFolder,
                                 uint32_t firstFolderCluster) {
    // A work list, each first cluster once: a damaged volume whose folders point back
    // at their ancestors cannot loop or nest without end.
    std::unordered_set<uint32_t> visited;
    std::vector<BaseTree*> pending{dir};
    while (!pending.empty()) {
        BaseTree* node = pending.back();
        pending.pop_back();
        std::vector<BaseTree*> children;
        for (auto& child : node->childrenArray) children.push_back(child.get());
        for (BaseTree* child : children) {
            if (waitWhilePausedOrStopped()) return;
            try {
                if (child->fileType != 1 || child->clustToRead < firstFolderCluster || child->SPC == 0 ||
                    !visited.insert(child->clustToRead).second)
                    continue;
                const auto added = readFolder(child);
                if (!added) break;  // the device cannot be read here: the other folders are left
                if (*added > 0) pending.push_back(child);
            } catch (const std::exception& e) {
                log(e.what(), method);
            }
        }
    }
}

BaseTree* RecoveryModule::deepNode() const {
    if (!dirRoot_) return nullptr;
    return dirRoot_->getChildAtIndex(dirRoot_->childCount() >= 2 ? 1 : 0);
}

void RecoveryModule::recoverFromDisk_withScantType_andName_selectedPath(
    std::shared_ptr<Disk> disk, const std::string& scanType, const std::string& /*name*/,
    const std::optional<std::string>& selectedPath) {
    errorPath = dataFolder() + "/Core.txt";
    createIfMissing(errorPath);
    log("New Scan", "NS");

    tillSectorReaded = 0;
    stop = false;
    stopSeen_ = false;
    pause = false;
    scanType_ = scanType;
    resumeBlock_.reset();
    deviceIdentity_.reset();
    lastCheckpoint_ = std::chrono::steady_clock::now();
    lastCheckpointBlock_.reset();
    lastCheckpointCost_ = {};
    // What the quick scan lists, kept for the sweep after it.
    quickDirectorySectors_.clear();
    apfsQuickContainer_ = false;
    apfsNotices_.clear();
    setTheDiskInModule(disk);
    if (!theDisk() || !dirRoot_) return;
    unreadable_.reset(blockSize);
    initializeValue();
    CheckFileSystem();

    if (scanType == "Q") {
        if (del) del->reloadOutlineData();
        {
            std::unique_lock lock(treeMutex_);
            TreeClassMethod::addQuickNodesInDir(dirRoot_.get());
        }
        quickScanOnDisk(theDisk());
        quickScanCompleted_ = true;
        if (selectedPath) searchForSpecialFolderScanForPath(*selectedPath);
        if (!stop && del) del->quickCompleted();
    }

    ApfsItemDict items;
    ApfsExtentDict extents;
    if (del) del->reloadOutlineData();
    {
        std::unique_lock lock(treeMutex_);
        TreeClassMethod::addDeepNodesInDIR(dirRoot_.get());
    }
    deepScanAndArrange(items, extents);
}

void RecoveryModule::resumeFromDisk(std::shared_ptr<Disk> disk) {
    errorPath = dataFolder() + "/Core.txt";
    createIfMissing(errorPath);
    log("Resumed Scan", "NS");
    stop = false;
    stopSeen_ = false;
    pause = false;
    lastCheckpoint_ = std::chrono::steady_clock::now();
    lastCheckpointBlock_ = resumeBlock_;
    setTheDiskInModule(std::move(disk));
    if (!theDisk() || !dirRoot_ || !resumeBlock_) return;
    quickScanCompleted_ = scanType_ == "Q";
    unreadable_.reset(blockSize);
    for (const ByteRange& range : resumedUnreadable_) unreadable_.add(range);
    ApfsItemDict items = std::move(resumedItems_);
    ApfsExtentDict extents = std::move(resumedExtents_);
    if (del) del->reloadOutlineData();
    deepScanAndArrange(items, extents);
    resumeBlock_.reset();
}

void RecoveryModule::deepScanAndArrange(ApfsItemDict& items, ApfsExtentDict& extents) {
    deepScanOnDisk_withItemDict_andextenDict(theDisk(), items, extents);
    if (del) del->openLoadingWindow();
    checkForSUbFoldersAndAPFSArrangeMentswithItemDict_andextenDict(items, extents);
    if (const auto text = unreadableSectorsText(unreadable_.ranges(), blockSize); !text.empty())
        log(text, "recoverFromDisk");
    if (del) del->reloadOutlineData();
    items.clear();
    extents.clear();
}

void RecoveryModule::initializeValue() {
    FS.reset();
    enclosingFatVolumes_.clear();
    fatVolumesFound_ = 0;
    lostFolderSectors_.clear();
    mbs.reset();
    fileCount = 0;
    folderCount = 0;
    lost = 0;
    fatEntryCount = exfatEntryCount = hfsEntryCount = apfsEntryCount = 0;
    u17 = u40 = u41 = u42 = 0;
    startSectorForPhysicalScan = HFSLastVIBBlock = tillSectorReaded = WPFound = 0;
    vib.reset();
    hfsLostVolumes_.clear();
    jpgStartSector = extraByteOffsetForJPG = jpgRawSize = 0;
    LFDict.clear();
    Tags.clear();
    for (const char* category : {"Word", "PowerPoint", "Sheet", "Artist", "Camera"}) Tags[category];
}

void RecoveryModule::CheckFileSystem() {
    const auto kind = theDisk()->getVolumeKind().value_or("");
    if (kind == "msdos") {
        fileSystem = kFat32;
        // Only a check that the device can be read at all.
        std::vector<uint8_t> probe(4096, 0);
        if (auto error = DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
                0, 4096, diskPath(), probe, 1))
            consoleLog("%s\n", error->localizedDescription().c_str());
    } else if (kind == "exfat") {
        fileSystem = kExFat;
    } else if (kind == "apfs") {
        fileSystem = kApfs;
    } else {
        fileSystem = kHfs;
    }
}

void RecoveryModule::quickScanOnDisk(const std::shared_ptr<Disk>& disk) {
    BaseTree* quickBranch = dirRoot_->getChildAtIndex(0);
    setScanCompleted(quickBranch, 1);

    volumeContent = disk->getMediaContent().value_or("");
    if (volumeContent == kApfsVolumeContent && disk->getParentDisk()) {
        // An APFS volume is read through its container's device.
        auto container = disk->getParentDisk();
        const std::string containerPath = container->getBSDPath().value_or("");
        {
            std::lock_guard lock(diskMutex_);
            theDisk_ = container;
            diskPath_ = containerPath;
        }
        if (del) del->setBSDPath(containerPath);
    }

    const uint32_t sectorSize = fileSystem == kFat32 ? 4096 : blockSize;
    std::vector<uint8_t> sectorZero(sectorSize, 0);
    if (auto error = DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
            0, sectorSize, diskPath(), sectorZero, 1, &unreadable_)) {
        consoleLog("%s\n", error->localizedDescription().c_str());
        return;
    }
    quickScanOnBlock(sectorZero);
    {
        std::unique_lock lock(treeMutex_);
        for (auto& category : quickBranch->childrenArray) TreeClassMethod::freeZeroChildFoldersFromNDIR(category.get());
        quickBranch->setscanCompleted(2);
    }
}

void RecoveryModule::quickScanOnBlock(std::span<const uint8_t> sectorZero) {
    {
        std::unique_lock lock(treeMutex_);
        dirRoot_->setentry(static_cast<uint8_t>(fileSystem));
    }
    log(std::to_string(fileSystem), "fileSystem");
    switch (fileSystem) {
    case kExFat: quickSacnForExfat_withScanType(sectorZero, "Q"); break;
    case kHfs:
        if (!quickScanPartitions(ByteView(sectorZero))) quickScanForHFS();
        break;
    case kApfs: quickSacnForAPFS(sectorZero); break;
    default: quickScanForFat32_withScanType_withStartSector(sectorZero, "Q", 0); break;
    }
}

// A whole disk whose sector 0 is an MBR: the FAT volumes of its primary partitions are
// listed as the quick scan lists a volume, each read where its entry says it starts.
// False when the disk has no such table.
bool RecoveryModule::quickScanPartitions(ByteView sectorZero) {
    if (volumeContent != "FDisk_partition_scheme" || !sectorZero.has(0, 512) || sectorZero.u16le(510) != 0xAA55)
        return false;
    std::vector<uint8_t> bootSector(blockSize);
    // Four 16-byte entries from byte 446: type at 4, first sector at 8, sector count at 12.
    for (size_t entry = 446; entry < 510; entry += 16) {
        const uint8_t type = sectorZero.u8(entry + 4);
        const uint64_t start = sectorZero.u32le(entry + 8), count = sectorZero.u32le(entry + 12);
        const bool extended = type == 0x05 || type == 0x0F || type == 0x85;
        if (type == 0 || extended || start == 0 || count == 0 || start + count > totalSector()) continue;
        if (waitWhilePausedOrStopped()) break;
        if (DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(start, blockSize, diskPath(),
                                                                                           bootSector, 1))
            continue;
        quickScanForFat32_withScanType_withStartSector(bootSector, "Q", start);
        if (!FS) continue;
        fileSystem = kFat32;
        std::unique_lock lock(treeMutex_);
        dirRoot_->setentry(kFat32);
    }
    return true;
}

void RecoveryModule::searchForSpecialFolderScanForPath(const std::string& path) {
    std::unique_lock lock(treeMutex_);
    auto newRoot = TreeClassMethod::createRootWithName(dirRoot_->fileName);
    newRoot->setfileCount(0);
    TreeClassMethod::addQuickNodesInDir(newRoot.get());

    BaseTree* oldBranch = dirRoot_->getChildAtIndex(0);
    BaseTree* newBranch = newRoot->getChildAtIndex(0);
    newBranch->setfileCount(0);
    newBranch->setchildrensCount(0);

    const std::string wanted = lowerCased(path);
    std::vector<BaseTree*> oldCategories;
    for (auto& child : oldBranch->childrenArray) oldCategories.push_back(child.get());
    for (size_t i = 0; i < oldCategories.size(); ++i) {
        BaseTree* category = newBranch->getChildAtIndex(i);
        BaseTree* found = TreeClassMethod::searchForPath_inDir(wanted, oldCategories[i]);
        if (!found || !category) continue;
        // The old tree is dropped below, so the found subtree moves over whole.
        auto moved = TreeClassMethod::removeDIR(found);
        moved->createButtons();
        found = category->addChild(std::move(moved));
        found->setparent(category);
        editFolderData(category);
        category->setfileCount(category->fileCount + found->fileCount);
        TreeClassMethod::addChildCountInDIR(found);
        newBranch->setfileID(found->fileCount);
        newRoot->setfileCount(newRoot->fileCount + found->fileCount);
    }
    dirRoot_ = std::move(newRoot);
}

void RecoveryModule::editFolderData(BaseTree* folder) {
    // Iterative, so a hostile volume's deep folder nesting cannot exhaust the stack.
    std::vector<BaseTree*> pending{folder};
    while (!pending.empty()) {
        BaseTree* node = pending.back();
        pending.pop_back();
        for (auto& child : node->childrenArray) {
            TreeClassMethod::addParent_toNDIR(node, child.get());
            if (child->fileType == 1) pending.push_back(child.get());
        }
    }
}

}  // namespace norix

namespace norix {

SaveReport RecoveryModule::startSavingWithSavingPath_withSavingFileCount_andSavingSize_boolForStop(
    const std::string& savingPath, std::atomic<int64_t>& savedFile, std::atomic<int64_t>& savedSize,
    const std::atomic<bool>& stopSaving, CollisionHandler onCollision) {
    SaveRun run{diskPath(), savedFile, savedSize, stopSaving, std::move(onCollision), false, false, {}, {}};
    run.sectorBytes = blockSize ? blockSize : 512;
    try {
        std::shared_lock lock(treeMutex_);
        BaseTree* root = dirRoot_.get();
        // The destination is the caller's own path (links in it included); what is made
        // below it is made relative to it.
        ::mkdir(savingPath.c_str(), 0777);
        const SaveFolder destination(::open(savingPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), savingPath);
        const auto rootFolder =
            destination.fd < 0 ? std::nullopt : openSaveFolder(destination, safeFileName(root->fileName));
        if (!rootFolder) {
            consoleLog("Unable to create the folder %s/%s\n", savingPath.c_str(), root->fileName.c_str());
        } else if (root->selected != 0) {
            for (auto& child : root->childrenArray)
                if (child->selected != 0)
                    child->saveFileWithdiskPath_andSavingPath_withFileManager_withFileCount_andFileSize_boolForStop(
                        run, *rootFolder);
        }
    } catch (const std::exception& e) {
        log(e.what(), "startSavingWithSavingPath");
    }
    // Names changed on a collision stay changed in the tree.
    std::unique_lock lock(treeMutex_);
    for (auto& [node, name] : run.renamed) node->setName(name);
    return std::move(run.report);
}

}  // namespace norix
