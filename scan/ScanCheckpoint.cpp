// Checkpoints of the deep scan (the layout is in scan/ScanCheckpoint.h): written between
// chunks, read back by a resumed scan, which then goes on exactly as the uninterrupted
// one would have. Node pointers the sweep keeps are stored as the node's place in the
// tree's pre-order.
#include "scan/ScanCheckpoint.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>
#include <unordered_map>

#include "disk/DiskReader.h"
#include "disk/Platform.h"
#include "results/RecoverySession.h"
#include "scan/CheckpointArchive.h"
#include "scan/RecoveryModule.h"

namespace norix {

namespace {

constexpr std::string_view kMagic = "NXCKPT01";
constexpr size_t kPrologueBytes = 24;
constexpr uint64_t kIdentityBytes = 64 * 1024;
constexpr uint64_t kNoNode = UINT64_MAX;

void put64(std::vector<uint8_t>& out, uint64_t value) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

std::vector<BaseTree*> preOrder(BaseTree& root) {
    std::vector<BaseTree*> nodes, pending{&root};
    while (!pending.empty()) {
        BaseTree* node = pending.back();
        pending.pop_back();
        nodes.push_back(node);
        for (auto it = node->childrenArray.rbegin(); it != node->childrenArray.rend(); ++it) pending.push_back(it->get());
    }
    return nodes;
}

void headerFields(CheckpointArchive& a, CheckpointHeader& h) {
    a(h.devicePath, h.deviceBytes, h.identity, h.scanType, h.note, h.nextBlock);
}

// What a session's node record leaves out (or rebuilds on loading) that the scan reads
// or prints.
void nodeExtras(CheckpointArchive& a, BaseTree& n) {
    a(n.fileName, n.pathName, n.incomplete, n.scanCompleted, n.deleted, n.VALID, n.parentID, n.startRange,
      n.endrange, n.presentSector);
}

}  // namespace

// The records the sweep keeps, field by field (found by the archive with the record).
void fields(CheckpointArchive& a, FatBootSectors& r) {
    a(r.u8SectorPerCluster, r.u8Check, r.u8NumberOfFats, r.u8Media, r.u16ReservedSectorCount, r.u16BytsPrSec,
      r.u32RootDirectorySectors, r.u32FATSize, r.u32TotalSectors, r.u32RootCluster, r.u32ClusterCount,
      r.u8FatEntryBits, r.blockSize, r.u64RootDirectorySectors);
}

void fields(CheckpointArchive& a, MainBootSector& r) {
    a(r.jump_boot, r.file_system_name, r.must_be_zero, r.reserved, r.boot_code, r.currentSector, r.bytes_per_sector,
      r.sectors_per_cluster, r.number_of_fats, r.drive_select, r.percent_in_use, r.file_system_revision,
      r.volume_flags, r.boot_signature, r.fat_offset, r.fat_length, r.cluster_heap_offset, r.cluster_count,
      r.root_directory_first_cluster, r.volume_serial_number, r.partition_offset, r.volume_length,
      r.computedBytesPerSector, r.computedSectorsPerCluster, r.cluster_heap_offset_1);
}

void fields(CheckpointArchive& a, ByteRange& r) { a(r.first, r.end); }

void fields(CheckpointArchive& a, HPlusExtDesc& r) { a(r.startBlock, r.blockCount); }

void fields(CheckpointArchive& a, HPlusForkData& r) { a(r.logicalSize, r.clumpSize, r.totalBlocks, r.extents); }

void fields(CheckpointArchive& a, VIB& r) {
    a(r.signature, r.version, r.attributes, r.lastMountedVersion, r.journalInfoBlock, r.createDate, r.modifyDate,
      r.backupDate, r.checkedDate, r.fileCount, r.folderCount, r.blockSize, r.totalBlocks, r.freeBlocks,
      r.nextAllocation, r.rsrcClumpSize, r.dataClumpSize, r.nextCatalogID, r.writeCount, r.encodingsBitmap,
      r.allocationFile, r.extentsFile, r.cat, r.attributesFile, r.startupFile);
}

void fields(CheckpointArchive& a, BTHdrRec& r) {
    a(r.treeDepth, r.rootNode, r.leafRecords, r.firstLeafNode, r.lastLeafNode, r.nodeSize, r.maxKeyLength,
      r.totalNodes, r.freeNodes, r.clumpSize, r.btreeType, r.keyCompareType, r.attributes);
}

void fields(CheckpointArchive& a, HPlusCatalogCommon& r) {
    a(r.recordType, r.flags, r.valence, r.id, r.createDate, r.contentModDate, r.attributeModDate, r.accessDate,
      r.backupDate);
}

void fields(CheckpointArchive& a, XFolderInfo& r) {
    a(r.V, r.h, r.reserved1, r.extendedFinderFlags, r.reserved2, r.putAwayFolderID);
}

void fields(CheckpointArchive& a, HPlusCatalogFolder& r) {
    a(static_cast<HPlusCatalogCommon&>(r), r.finderInfo, r.textEncoding, r.reserved);
}

void fields(CheckpointArchive& a, HPlusCatalogFile& r) {
    a(static_cast<HPlusCatalogCommon&>(r), r.textEncoding, r.dataFork, r.resourceFork);
}

void fields(CheckpointArchive& a, Item& r) {
    a(r.name, r.type, r.deleted, r.parent, r.private_id, r.node_id, r.creationtime, r.accesstime,
      r.modificationtime, r.file_size, r.xid);
}

void fields(CheckpointArchive& a, ApfsRun& r) { a(r.start, r.length, r.xid, r.live); }

std::string checkpointPathFor(const std::string& sessionPath) { return sessionPath + ".checkpoint"; }

uint64_t checkpointHash(ByteView bytes) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (const uint8_t byte : bytes.span()) hash = (hash ^ byte) * 0x100000001b3ULL;
    return hash;
}

uint64_t deviceIdentity(const std::string& devicePath, uint64_t deviceBytes) {
    std::vector<uint8_t> first(std::min(kIdentityBytes, deviceBytes - deviceBytes % 512), 0);
    if (DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(0, 512, devicePath, first,
                                                                                       first.size() / 512))
        std::fill(first.begin(), first.end(), 0);
    return checkpointHash(ByteView(first));
}

std::optional<std::string> replaceFileAtomically(const std::string& path, ByteView bytes) {
    const std::string temporary = path + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return temporary + ": " + std::strerror(errno);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    const int error = done < bytes.size() || ::fsync(fd) != 0 ? errno : 0;
    ::close(fd);
    if (error || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string reason = temporary + ": " + std::strerror(error ? error : errno);
        ::unlink(temporary.c_str());
        return reason;
    }
    // The rename itself is made durable with the folder.
    const std::string folder = std::filesystem::path(path).parent_path().string();
    const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return std::nullopt;
}

void RecoveryModule::checkpointState(CheckpointArchive& a, std::vector<BaseTree*>& nodes) {
    int32_t files = fileCount, folders = folderCount, lostFiles = lost;
    a(files, folders, lostFiles);
    fileCount = files;
    folderCount = folders;
    lost = lostFiles;
    a(tillSectorReaded, fatEntryCount, exfatEntryCount, hfsEntryCount, apfsEntryCount, fileSystem, u17, u40, u41, u42,
      catTotalBlockCount, journalBlockStart, journalBlockSize, previousBlockNumberExFat, previousBlockNumberFat,
      previousBlockNumberAPFS, previousBlockNumberHFS, startSectorForPhysicalScan, HFSLastVIBBlock, WPFound,
      ActiveFileSystem, volumeContent, FS, mbs, Tags, LFDict);
    a(enclosingFatVolumes_, fatVolumesFound_, quickDirectorySectors_);
    // HFS+: the volume the quick scan read (swapped for each lost one while it is
    // placed) and what the sweep has collected.
    a(vib, extBtHdrRec, catBtHdrRec, catArray, hfsJournalDeleted, hfsSlackDeleted, hfsOverflowExtents_);
    a.each(hfsFound_, [&](HfsItem& i) { a(i.parentID, i.name, i.folder, i.file, i.source, i.volume); });
    a.each(hfsLostVolumes_, [&](HfsVolume& v) {
        a(v.header, v.startSector, v.catalogHeader, v.journalStart, v.journalBytes, v.overflowExtents);
    });
    for (const HfsItem& item : hfsFound_)
        if (item.volume < -1 || item.volume >= static_cast<int64_t>(hfsLostVolumes_.size()))
            throw std::runtime_error("a catalog record names lost volume " + std::to_string(item.volume));
    // APFS: the sweep's dictionaries and the container they belong to.
    ApfsItemDict& items = a.reading() || !apfsDeepItems_ ? resumedItems_ : *apfsDeepItems_;
    ApfsExtentDict& extents = a.reading() || !apfsDeepExtents_ ? resumedExtents_ : *apfsDeepExtents_;
    a(items.items, items.live, items.liveKnown, extents.extents);
    a(apfsQuickContainer_, apfsContainerUuid_, apfsNotices_);
    // The sectors found unreadable so far, for the scan log at the end of the resumed scan.
    std::vector<ByteRange> unreadable = a.reading() ? std::vector<ByteRange>{} : unreadable_.ranges();
    a(unreadable);
    if (a.reading()) resumedUnreadable_ = std::move(unreadable);

    // Lost folders by their nodes' places in the tree.
    std::unordered_map<const BaseTree*, uint64_t> placeOf;
    for (uint64_t i = 0; i < nodes.size(); ++i) placeOf.emplace(nodes[i], i);
    const auto place = [&](const BaseTree* node) {
        const auto found = placeOf.find(node);
        return found == placeOf.end() ? kNoNode : found->second;
    };
    const auto node = [&](uint64_t index) -> BaseTree* {
        if (index == kNoNode) return nullptr;
        if (index >= nodes.size()) throw std::runtime_error("a lost folder names node " + std::to_string(index));
        return nodes[index];
    };
    std::map<uint64_t, std::map<uint64_t, std::pair<uint64_t, uint64_t>>> folderSectors;
    std::map<uint64_t, std::pair<uint64_t, uint64_t>> folderNext;
    for (const auto& [partition, runs] : lostFolderSectors_)
        for (const auto& [first, run] : runs) folderSectors[place(partition)][first] = {run.first, place(run.second)};
    for (const auto& [sector, next] : lostFolderNext_) folderNext[sector] = {place(next.first), next.second};
    a(folderSectors, folderNext);
    if (!a.reading()) return;
    lostFolderSectors_.clear();
    lostFolderNext_.clear();
    for (const auto& [partition, runs] : folderSectors)
        for (const auto& [first, run] : runs) lostFolderSectors_[node(partition)][first] = {run.first, node(run.second)};
    for (const auto& [sector, next] : folderNext) lostFolderNext_[sector] = {node(next.first), next.second};
}

void RecoveryModule::checkpointBetweenChunks(uint64_t nextBlock, bool force) {
    // After a stop has cut work short, what is left is no state to go on from.
    if (checkpointPath.empty() || stopSeen_ || lastCheckpointBlock_ == nextBlock) return;
    // A large tree takes a while to write: the sweep spends at most a tenth of its time on it.
    const auto now = std::chrono::steady_clock::now();
    const auto interval = std::max<std::chrono::steady_clock::duration>(checkpointInterval, 9 * lastCheckpointCost_);
    if (!force && now - lastCheckpoint_ < interval) return;
    writeCheckpoint(nextBlock);
    lastCheckpoint_ = std::chrono::steady_clock::now();
    lastCheckpointCost_ = lastCheckpoint_ - now;
    lastCheckpointBlock_ = nextBlock;
}

void RecoveryModule::writeCheckpoint(uint64_t nextBlock) {
    const auto disk = theDisk();
    if (!disk) return;
    CheckpointHeader header{diskPath(), disk->getDiskSize(), 0, scanType_, checkpointNote, nextBlock};
    if (!deviceIdentity_) deviceIdentity_ = deviceIdentity(header.devicePath, header.deviceBytes);
    header.identity = *deviceIdentity_;
    std::vector<uint8_t> file(kMagic.begin(), kMagic.end());
    file.resize(kPrologueBytes);
    CheckpointArchive a(file);
    headerFields(a, header);
    {
        std::shared_lock lock(treeMutex_);
        std::vector<BaseTree*> nodes = preOrder(*dirRoot_);
        uint64_t count = nodes.size();
        a.count(count);
        for (const BaseTree* node : nodes) node->setWriteableData(file);
        for (BaseTree* node : nodes) nodeExtras(a, *node);
        checkpointState(a, nodes);
    }
    const ByteView payload = ByteView(file).from(kPrologueBytes);
    std::vector<uint8_t> prologue;
    put64(prologue, payload.size());
    put64(prologue, checkpointHash(payload));
    std::copy(prologue.begin(), prologue.end(), file.begin() + kMagic.size());
    if (auto error = replaceFileAtomically(checkpointPath, ByteView(file))) {
        log(*error, "writeCheckpoint");
        consoleLog("The scan checkpoint cannot be written (%s); the scan goes on without one.\n", error->c_str());
        checkpointPath.clear();
    }
}

std::optional<std::string> RecoveryModule::loadCheckpoint(ByteView bytes, CheckpointHeader& header) {
    if (!bytes.matches(0, kMagic)) return "Not a scan checkpoint";
    if (!bytes.has(0, kPrologueBytes) || bytes.u64le(8) != bytes.size() - kPrologueBytes)
        return "The scan checkpoint is cut short";
    const ByteView payload = bytes.from(kPrologueBytes);
    if (checkpointHash(payload) != bytes.u64le(16)) return "The scan checkpoint is damaged (its checksum differs)";
    try {
        CheckpointArchive a(payload, 0);
        headerFields(a, header);
        if (header.scanType != "Q" && header.scanType != "D") throw std::runtime_error("unknown scan type");
        uint64_t count = 0;
        a.count(count);
        std::optional<std::string> error;
        auto root = RecoverySession::loadRecoverySessionFromBytes_inPosition(payload, a.position(), error);
        if (!root || error) throw std::runtime_error(error.value_or("no tree"));
        std::vector<BaseTree*> nodes = preOrder(*root);
        if (nodes.size() != count) throw std::runtime_error("the tree holds another number of nodes");
        for (BaseTree* node : nodes) nodeExtras(a, *node);
        checkpointState(a, nodes);
        if (a.position() != payload.size()) throw std::runtime_error("bytes follow its end");
        std::unique_lock lock(treeMutex_);
        dirRoot_ = std::move(root);
        scanType_ = header.scanType;
        resumeBlock_ = header.nextBlock;
        deviceIdentity_ = header.identity;
        return std::nullopt;
    } catch (const std::exception& e) {
        return std::string("The scan checkpoint is damaged: ") + e.what();
    }
}

std::optional<std::string> RecoveryModule::checkpointRefusal(const CheckpointHeader& header, const Disk& disk,
                                                             const std::string& devicePath) {
    const std::string scanned = "The checkpoint is of a scan of " + header.devicePath;
    if (header.devicePath != devicePath) return scanned + ", not of " + devicePath;
    if (header.deviceBytes != disk.getDiskSize())
        return scanned + " of " + std::to_string(header.deviceBytes) + " bytes; it now holds " +
               std::to_string(disk.getDiskSize());
    if (header.identity != deviceIdentity(devicePath, disk.getDiskSize()))
        return scanned + ", whose first sectors were different: another disk, or one written to since";
    return std::nullopt;
}

}  // namespace norix
