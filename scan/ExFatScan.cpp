// exFAT: the quick scan of a volume's directory tree and the walk into its folders, and
// the per-block routines the deep scan uses to find lost exFAT volumes, by their boot
// sector or, when that is gone, by a root directory whose "System Volume Information"
// folder still names "WPSettings.dat".
#include <algorithm>
#include <map>
#include <unordered_set>

#include "disk/DiskReader.h"
#include "disk/Platform.h"
#include "records/fat/FileDirectoryEntry.h"
#include "records/fat/FileNameExtensionDirectoryEntry.h"
#include "records/fat/StreamExtensionDirectoryEntery.h"
#include "results/TreeClassMethod.h"
#include "scan/RecoveryModule.h"

namespace norix {

struct ExFatEntrySet {
    size_t streamOffset = 0;  // of the stream extension in its block
    FileDirectoryEntry file;
    StreamExtensionDirectoryEntery stream;
    std::string name;
};

namespace {

constexpr size_t kEntrySize = 32;
// A directory holds at most 256 MiB of entries.
constexpr uint64_t kMaxDirectoryBytes = uint64_t{256} << 20;
// FAT values above this end a chain (0xFFFFFFF7 marks a bad cluster and breaks it).
constexpr uint32_t kBadCluster = 0xFFFFFFF7;
// Bit of general_secondary_flags: the data is one run of clusters, with no FAT chain.
constexpr uint32_t kNoFatChainBit = 1;
constexpr uint64_t kSPCSearchUnits = 65536;  // 512-byte units
constexpr uint64_t kWPSettingsSearchClusters = 2048;
// The backup boot region sits 12 sectors into the volume.
constexpr uint64_t kBackupBootSector = 12;

bool isFileEntry(uint8_t type) { return (type & 0x7F) == 0x05; }
bool isStreamEntry(uint8_t type) { return (type | 0x80) == 0xC0; }
bool isNameEntry(uint8_t type) { return (type | 0x80) == 0xC1; }
bool inUse(uint8_t type) { return (type & 0x80) != 0; }

// The first cluster of a root directory begins with the volume label (in use or not),
// the allocation bitmap and the up-case table.
bool isRootDirectoryStart(ByteView block) {
    return block.has(0, 96) && (block.u8(0) == 0x83 || block.u8(0) == 0x03) && block.u8(32) == 0x81 &&
           block.u8(64) == 0x82;
}

// A count of the volume's own sectors in device sectors; nothing when they do not divide
// evenly. A volume found without its boot sector counts in 512-byte units.
std::optional<uint64_t> deviceSectors(const MainBootSector& mbs, uint64_t count, uint32_t blockSize) {
    const uint64_t unit = mbs.computedBytesPerSector ? mbs.computedBytesPerSector : 512;
    if (blockSize == 0 || count > UINT64_MAX / unit || count * unit % blockSize != 0) return std::nullopt;
    return count * unit / blockSize;
}

// Where a volume's clusters and its FAT lie, in device sectors.
struct ExFatLayout {
    uint64_t heapStart;          // cluster 2
    uint64_t sectorsPerCluster;
    uint64_t fatStart;
    uint32_t clusterCount;       // 0 when the FAT is unknown (a root found without its boot sector)
    bool holds(uint32_t cluster) const { return cluster >= 2 && cluster - 2 < clusterCount; }
    uint64_t clusterSector(uint32_t cluster) const { return heapStart + sectorsPerCluster * (cluster - 2); }
    // How many clusters a directory may take.
    uint64_t directoryClusters(uint32_t blockSize) const {
        return std::max<uint64_t>(kMaxDirectoryBytes / (sectorsPerCluster * blockSize), 1);
    }
};

std::optional<ExFatLayout> layoutOf(const MainBootSector& mbs, uint32_t blockSize) {
    const auto spc = deviceSectors(mbs, mbs.computedSectorsPerCluster, blockSize);
    const auto fat = deviceSectors(mbs, mbs.fat_offset, blockSize);
    if (!spc || *spc == 0 || !fat) return std::nullopt;
    const bool fatKnown = mbs.computedBytesPerSector != 0;
    return ExFatLayout{mbs.cluster_heap_offset_1, *spc, mbs.getCurrentSector() + *fat,
                       fatKnown ? mbs.cluster_count : 0};
}

// The boot sector placed at a volume start: its current sector and its cluster heap.
std::optional<MainBootSector> placedAt(MainBootSector mbs, uint64_t volumeStart, uint32_t blockSize) {
    const auto heap = deviceSectors(mbs, mbs.cluster_heap_offset, blockSize);
    if (!heap) return std::nullopt;
    mbs.currentSector = volumeStart;
    mbs.SetClustHeapOffset(volumeStart + *heap);
    return mbs;
}

bool isRootOf(const MainBootSector& mbs, uint32_t blockSize, uint64_t sector) {
    const auto layout = layoutOf(mbs, blockSize);
    return layout && layout->holds(mbs.root_directory_first_cluster) &&
           layout->clusterSector(mbs.root_directory_first_cluster) == sector;
}

// True when the volume's root directory is where its boot sector says.
bool rootDirectoryAt(const MainBootSector& mbs, uint32_t blockSize, const std::string& path,
                     UnreadableRanges& unreadable) {
    const auto layout = layoutOf(mbs, blockSize);
    if (!layout || !layout->holds(mbs.root_directory_first_cluster)) return false;
    std::vector<uint8_t> sector(std::max<uint32_t>(blockSize, 512), 0);
    return !DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
               layout->clusterSector(mbs.root_directory_first_cluster), blockSize, path, sector, 1, &unreadable) &&
           isRootDirectoryStart(ByteView(sector));
}

// The clusters a chain has passed through, kept as runs, so a long file costs little.
class VisitedClusters {
public:
    // False when the cluster was visited before.
    bool insert(uint32_t cluster) {
        const auto after = runs_.upper_bound(cluster);
        if (after != runs_.begin()) {
            const auto run = std::prev(after);
            if (run->second >= cluster) return false;
            if (run->second + 1 == cluster) {
                run->second = cluster;
                return true;
            }
        }
        runs_.emplace(cluster, cluster);
        return true;
    }

private:
    std::map<uint32_t, uint32_t> runs_;  // first cluster -> last cluster
};

// A chain read from the FAT: its clusters from the first, and whether it ended with the
// end-of-chain mark. It stops at a free, bad or out-of-range link, at a cluster met
// twice, and after `limit` clusters, so a damaged FAT can neither loop nor run long.
struct ClusterChain {
    std::vector<uint32_t> clusters;
    bool complete = false;
};

ClusterChain followChain(const ExFatLayout& layout, uint32_t first, uint64_t limit, uint32_t blockSize,
                         const std::string& path, UnreadableRanges& unreadable) {
    ClusterChain chain;
    if (!layout.holds(first)) return chain;
    const uint64_t windowSectors = std::max<uint64_t>(8192 / blockSize, 1);
    std::vector<uint8_t> window(windowSectors * blockSize);
    uint64_t windowStart = UINT64_MAX;
    VisitedClusters visited;
    for (uint32_t cluster = first; visited.insert(cluster);) {
        chain.clusters.push_back(cluster);
        if (chain.clusters.size() >= limit) return chain;
        const uint64_t byte = uint64_t{cluster} * 4;
        const uint64_t sector = layout.fatStart + byte / blockSize;
        if (sector < windowStart || sector - windowStart >= windowSectors) {
            std::fill(window.begin(), window.end(), 0);
            if (DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
                    sector, blockSize, path, window, windowSectors, &unreadable))
                return chain;
            windowStart = sector;
        }
        const uint32_t next = ByteView(window).u32le((sector - windowStart) * blockSize + byte % blockSize);
        if (next > kBadCluster) {
            chain.complete = true;
            return chain;
        }
        if (!layout.holds(next)) return chain;
        cluster = next;
    }
    return chain;
}


// The entry set whose file entry is at offset: it must lie wholly inside the block and
// hold a valid stream extension; its name pieces follow the stream extension.
std::optional<ExFatEntrySet> readEntrySet(ByteView block, size_t offset) {
    const auto file = FileDirectoryEntry::initFDEWithData(block.sub(offset, kEntrySize));
    if (!file || !block.has(offset, kEntrySize * (size_t{file->secondary_count} + 1))) return std::nullopt;
    for (size_t k = 1; k <= file->secondary_count; ++k) {
        const size_t streamOffset = offset + k * kEntrySize;
        if (!isStreamEntry(block.u8(streamOffset))) continue;
        const auto stream = StreamExtensionDirectoryEntery::initSEDWithData(block.sub(streamOffset, kEntrySize));
        if (!stream) return std::nullopt;
        std::vector<FileNameExtensionDirectoryEntry> pieces;
        for (size_t p = k + 1; p <= file->secondary_count && isNameEntry(block.u8(offset + p * kEntrySize)); ++p) {
            const ByteView piece = block.sub(offset + p * kEntrySize, kEntrySize);
            pieces.push_back(FileNameExtensionDirectoryEntry::initFNEWithData(piece));
        }
        return ExFatEntrySet{streamOffset, *file, *stream,
                             FileNameExtensionDirectoryEntry::joinedName(pieces, stream->name_length)};
    }
    return std::nullopt;
}

// The entry sets of a block, up to the end of the directory (an entry whose first 8 bytes
// are zero); anything that is not a whole set is stepped over an entry at a time. `end`
// gets the offset where the walk stopped.
std::vector<ExFatEntrySet> readEntrySets(ByteView block, size_t& end) {
    std::vector<ExFatEntrySet> sets;
    size_t offset = 0;
    while (block.has(offset, kEntrySize) && !RecoveryModule::checkStart8BytesAreZero(block.sub(offset, kEntrySize))) {
        auto set = isFileEntry(block.u8(offset)) ? readEntrySet(block, offset) : std::nullopt;
        if (!set) {
            offset += kEntrySize;
            continue;
        }
        offset += kEntrySize * (size_t{set->file.secondary_count} + 1);
        sets.push_back(std::move(*set));
    }
    end = offset;
    return sets;
}

// Runs of device sectors counted from the node's start sector, added as its extents. Runs
// that reach beyond 32 bits from there are counted from the file's first run instead;
// what cannot be described at all gets no extents.
void addRuns(BaseTree& file, const std::vector<std::pair<uint64_t, uint64_t>>& runs) {
    uint64_t base = UINT64_MAX, end = 0;
    for (auto [start, count] : runs) {
        base = std::min(base, start);
        end = std::max(end, start + count);
    }
    if (runs.empty() || end - base > UINT32_MAX) return;
    if (end <= UINT32_MAX) base = 0;
    file.setblockSstartsAtSector(file.blocksStartsAtSector + base);
    for (auto [start, count] : runs)
        TreeClassMethod::addDataExtStartBlock_blockCount_toDir(static_cast<uint32_t>(start - base),
                                                               static_cast<uint32_t>(count), &file);
}

// A file's data. An existing file whose FAT chain is intact is described run by run, so a
// fragmented file comes back whole; a file stored as one run (no FAT chain), or a deleted
// one whose chain is gone, is one run from its first cluster.
void describeFileData(BaseTree& file, const ExFatEntrySet& set, const ExFatLayout& layout, uint32_t blockSize,
                      const std::string& path, UnreadableRanges& unreadable) {
    const uint64_t size = set.stream.data_length;
    const uint32_t first = set.stream.first_cluster;
    if (size == 0 || first < 2) return;
    const uint64_t clusterBytes = layout.sectorsPerCluster * blockSize;
    const uint64_t clusters = size / clusterBytes + (size % clusterBytes != 0);
    const bool chained = !RecoveryModule::IsBitSet_bit(set.stream.general_secondary_flags, kNoFatChainBit);
    if (chained && !file.deleted && layout.clusterCount != 0) {
        const ClusterChain chain = followChain(layout, first, clusters + 1, blockSize, path, unreadable);
        if (chain.complete && chain.clusters.size() == clusters) {
            std::vector<std::pair<uint64_t, uint64_t>> runs;
            for (auto [cluster, count] : RecoveryModule::clusterRuns(chain.clusters))
                runs.emplace_back(layout.sectorsPerCluster * (cluster - 2), layout.sectorsPerCluster * count);
            return addRuns(file, runs);
        }
    }
    const uint64_t start = layout.sectorsPerCluster * (first - 2);
    const uint64_t sectors = size / blockSize + (size % blockSize != 0);
    if (sectors == 1) return addRuns(file, {{start, 1}});
    addRuns(file, {{start, 1}, {start + 1, sectors - 1}});
}

// A folder stored as one run of clusters: its further clusters from its length, as
// cluster numbers.
void addContiguousClusters(BaseTree& folder, const ExFatEntrySet& set, const ExFatLayout& layout,
                           uint32_t blockSize) {
    const uint64_t clusterBytes = layout.sectorsPerCluster * blockSize;
    const uint64_t length = set.stream.data_length;
    const uint64_t clusters =
        std::min(length / clusterBytes + (length % clusterBytes != 0), layout.directoryClusters(blockSize));
    for (uint64_t k = 1; k < clusters; ++k) {
        const uint64_t cluster = uint64_t{set.stream.first_cluster} + k;
        if (cluster > UINT32_MAX || (layout.clusterCount != 0 && !layout.holds(static_cast<uint32_t>(cluster)))) break;
        TreeClassMethod::addDataExtStartBlock_blockCount_toDir(static_cast<uint32_t>(cluster), 1, &folder);
    }
}

}  // namespace

bool RecoveryModule::IsBitSet_bit(uint32_t value, uint32_t bit) { return bit < 32 && ((value >> bit) & 1) != 0; }

void RecoveryModule::quickSacnForExfat_withScanType(std::span<const uint8_t> sectorZero, const std::string& scanType) {
    try {
        mbs = MainBootSector::initMBSWithData_withCurrentSector(ByteView(sectorZero), 0);
        if (mbs) mbs = placedAt(*mbs, 0, blockSize);  // the volume starts at device sector 0
        const auto layout = mbs ? layoutOf(*mbs, blockSize) : std::nullopt;
        if (!layout || !layout->holds(mbs->root_directory_first_cluster)) return;
        const uint32_t rootCluster = mbs->root_directory_first_cluster;
        consoleLog("%llu\n", static_cast<unsigned long long>(layout->clusterSector(rootCluster)));

        // The root directory is read through its whole chain, not only its first cluster.
        const std::string path = diskPath();
        const ClusterChain root =
            followChain(*layout, rootCluster, layout->directoryClusters(blockSize), blockSize, path, unreadable_);
        std::optional<DiskError> error;
        const auto bytes =
            readClusterRuns(layout->heapStart, layout->sectorsPerCluster, root.clusters, kMaxDirectoryBytes, &error);
        if (!bytes) {
            consoleLog("Error while reading the disk : %s\n", error->localizedDescription().c_str());
            return;
        }
        if (scanType == "Q")
            rememberQuickDirectory(layout->heapStart, layout->sectorsPerCluster, root.clusters, bytes->size());
        BaseTree* parent = scanType == "Q" ? dirRoot()->getChildAtIndex(0) : deepNode();
        const auto clusterBytes = static_cast<uint32_t>(layout->sectorsPerCluster * blockSize);
        if (scanBlock_ofSize_withDir_andScanType_withStartSector(ByteView(*bytes), static_cast<uint32_t>(bytes->size()),
                                                                 parent, scanType, layout->heapStart) > 0) {
            std::vector<BaseTree*> categories;
            for (auto& child : parent->childrenArray) categories.push_back(child.get());
            for (BaseTree* category : categories) {
                if (waitWhilePausedOrStopped()) break;
                checkForSubFolders_ofSize_andScanType_withStartSector(category, clusterBytes, scanType,
                                                                      layout->heapStart);
            }
        }
        consoleLog("Folder Count : %d\n File Count : %d\nLost Count : %d\n", folderCount.load(), fileCount.load(),
                   lost.load());
    } catch (const std::exception& e) {
        log(e.what(), "quickSacnForExfat");
    }
}

int RecoveryModule::scanBlock_ofSize_withDir_andScanType_withStartSector(ByteView block, uint32_t size, BaseTree* dir,
                                                                         const std::string& scanType,
                                                                         uint64_t startSector) {
    try {
        const ByteView b = block.sub(0, std::min<size_t>(size, block.size()));
        if (b.matches(0, "\xEB\x76\x90" "EXFAT")) return recogniseExFatBootSector(b, startSector);
        if (!mbs || scanType != "D") return scanforExFatInBlock_withSize_startSector_parentNDIR_andScanType(
                                                b, static_cast<uint32_t>(b.size()), startSector, dir, scanType);
        // A unit of a known volume: a directory cluster starts here when its first entry
        // (after the label, bitmap and up-case entries of a root) is a file entry.
        size_t tested = isRootDirectoryStart(b) ? 96 : 0;
        // A further cluster may begin with the last entries of a set begun in the one before.
        while (b.has(tested, kEntrySize) && tested < 18 * kEntrySize && (b.u8(tested) & 0x7E) == 0x40)
            tested += kEntrySize;
        if (!b.has(tested, kEntrySize) || !FileDirectoryEntry::initFDEWithData(b.sub(tested, kEntrySize))) return 0;
        std::vector<uint8_t> cluster;
        if (!readExFatCluster(startSector, cluster)) return 0;
        return scanforExFatInBlock_withSize_startSector_parentNDIR_andScanType(
            ByteView(cluster), static_cast<uint32_t>(cluster.size()), startSector, dir, scanType);
    } catch (const std::exception& e) {
        log(e.what(), "ExFat scanBlock");
        return 0;
    }
}

// An exFAT boot sector met by the deep scan at sector s. One lying inside the known
// volume (its backup) is ignored; a backup whose main boot sector is gone places the
// volume 12 sectors earlier, where its root directory is found.
int RecoveryModule::recogniseExFatBootSector(ByteView block, uint64_t s) {
    if (const auto known = mbs ? layoutOf(*mbs, blockSize) : std::nullopt;
        known && s < known->heapStart + known->sectorsPerCluster)
        return 1;
    const auto found = block.has(0, 512) ? MainBootSector::initMBSWithData_withCurrentSector(block, s) : std::nullopt;
    if (!found) return 1;
    const std::string path = diskPath();
    auto volume = placedAt(*found, s, blockSize);
    const auto backup = deviceSectors(*found, kBackupBootSector, blockSize);
    if (volume && !rootDirectoryAt(*volume, blockSize, path, unreadable_) && backup && s >= *backup) {
        auto earlier = placedAt(*found, s - *backup, blockSize);
        if (earlier && rootDirectoryAt(*earlier, blockSize, path, unreadable_)) volume = earlier;
    }
    if (!volume) return 1;
    if (startSectorForPhysicalScan == 0) startSectorForPhysicalScan = s;
    mbs = volume;
    ++exfatEntryCount;
    return 1;
}

int RecoveryModule::scanforExFatInBlock_withSize_startSector_parentNDIR_andScanType(ByteView block, uint32_t size,
                                                                                    uint64_t startSector,
                                                                                    BaseTree* parentNDIR,
                                                                                    const std::string& scanType) {
    try {
        const ByteView b = block.sub(0, std::min<size_t>(size, block.size()));
        const bool rootStart = isRootDirectoryStart(b);
        if (rootStart && mbs && scanType == "D" && WPFound == 0) {
            // A root directory of another volume: the known one is forgotten. A volume known
            // by its boot sector keeps its own root whatever cluster size is guessed.
            const uint32_t guess = checkForSPC(startSector);
            const bool sameRoot = isRootOf(*mbs, blockSize, startSector);
            const uint64_t unit = mbs->computedBytesPerSector ? mbs->computedBytesPerSector : 512;
            const bool sameSize = uint64_t{guess} * 512 == mbs->computedSectorsPerCluster * unit;
            if (guess != 0 && !(sameRoot && (sameSize || mbs->computedBytesPerSector != 0))) mbs.reset();
        }
        size_t end = 0;
        const auto sets = readEntrySets(b, end);
        if (sets.empty()) return 0;
        if (!mbs) return rootStart ? recogniseLostExFatRoot(startSector, parentNDIR, scanType) : 0;

        // The cluster that named "WPSettings.dat" is the first of "System Volume Information":
        // it places the cluster heap of a volume found without its boot sector, before any
        // entry of the block is made into a node.
        const auto layout = layoutOf(*mbs, blockSize);
        const auto svi = std::ranges::find(sets, std::string("System Volume Information"), &ExFatEntrySet::name);
        if (WPFound != 0 && layout && svi != sets.end() && svi->stream.first_cluster >= 2 &&
            layout->sectorsPerCluster * (svi->stream.first_cluster - 2) <= WPFound) {
            mbs->SetClustHeapOffset(WPFound - layout->sectorsPerCluster * (svi->stream.first_cluster - 2));
            WPFound = 0;
        }
        if (scanType == "D" && !rootStart)
            if (const auto previous = joinLostExFatDirectory(sets.front(), startSector))
                completeCutExFatSet(b, *previous, startSector, parentNDIR);
        int count = 0;
        for (const auto& set : sets) {
            // What the quick scan listed is not listed a second time.
            const uint64_t sector = startSector + set.streamOffset / blockSize;
            if (scanType == "D" && quickScanListed(sector)) continue;
            count += makeExFatNode(set, startSector, parentNDIR, scanType, rootStart);
        }
        if (scanType == "D") expectLostExFatContinuations(sets, startSector);
        if (count == 0) return 0;
        if (end > blockSize) tillSectorReaded += (end + blockSize - 1) / blockSize;
        return count;
    } catch (const std::exception& e) {
        log(e.what(), "scanforExFatInBlock");
        return 0;
    }
}

// A root directory met by the deep scan with no volume known: a lost volume when the
// cluster size can be guessed and "WPSettings.dat" is named within 2048 clusters after it.
int RecoveryModule::recogniseLostExFatRoot(uint64_t sector, BaseTree* parent, const std::string& scanType) {
    MainBootSector lost;
    lost.setSetorPerClustor(checkForSPC(sector));
    const auto spc = deviceSectors(lost, lost.computedSectorsPerCluster, blockSize);
    if (!spc || *spc == 0) return 0;
    WPFound = checkForWPSetiingFileFromStartSector_andWithSPC(sector + *spc, *spc);
    if (WPFound == 0) return 0;
    ++exfatEntryCount;
    mbs = lost;
    std::vector<uint8_t> cluster;
    if (!readExFatCluster(sector, cluster)) return 0;
    return scanforExFatInBlock_withSize_startSector_parentNDIR_andScanType(
        ByteView(cluster), static_cast<uint32_t>(cluster.size()), sector, parent, scanType);
}

// A directory cluster of the known volume that no known folder holds. With the
// allocation bitmap and the FAT cleared by a format, it joins the folder that expects
// it next (see expectLostExFatContinuations), by its own place or by where its first
// entry's data lies, and the sector of that folder's cluster before it is returned;
// otherwise it begins a folder whose entry is gone with the old root: "Folder
// <cluster>", in the partition itself.
std::optional<uint64_t> RecoveryModule::joinLostExFatDirectory(const ExFatEntrySet& first, uint64_t s) {
    const auto layout = layoutOf(*mbs, blockSize);
    if (!layout || s < layout->heapStart || (s - layout->heapStart) % layout->sectorsPerCluster != 0 ||
        quickScanListed(s))
        return std::nullopt;
    BaseTree* partition = currentLostPartition("ExFat");
    if (partition && lostFolderOwning(partition, s)) return std::nullopt;
    auto next = lostFolderNext_.find(s);
    if (next == lostFolderNext_.end() && first.stream.first_cluster >= 2)
        next = lostFolderNext_.find(layout->clusterSector(first.stream.first_cluster));
    if (partition && next != lostFolderNext_.end()) {
        std::unique_lock lock(treeLock());
        lostFolderSectors_[partition].try_emplace(s, s + layout->sectorsPerCluster - 1, next->second.first);
        return next->second.second;
    }
    const uint64_t cluster = (s - layout->heapStart) / layout->sectorsPerCluster + 2;
    if (cluster > UINT32_MAX) return std::nullopt;
    auto node = TreeClassMethod::createNDIRWithName("Folder " + std::to_string(cluster));
    node->setentry(2);
    node->setFileTypes(1);
    node->setblockSize(1);
    node->setblockSstartsAtSector(layout->heapStart);
    node->setspc(static_cast<uint32_t>(layout->sectorsPerCluster));
    node->setClusterToRead(static_cast<uint32_t>(cluster));
    node->setstartRange(s);
    node->setendRange(s + layout->sectorsPerCluster - 1);
    node->setfileID(2);
    node->createButtons();
    BaseTree* folder = node.get();
    if (addFolderDir_toParentDir_withParentID_withscanType_andFileSystem(std::move(node), deepNode(), 0, "D", "ExFat"))
        countLinked(folder);
    return std::nullopt;
}

// A set cut at the edge of the folder's cluster before this one: its first entries end
// that cluster, its last ones begin this one. It is read whole from the two.
void RecoveryModule::completeCutExFatSet(ByteView cluster, uint64_t previous, uint64_t s, BaseTree* parent) {
    std::vector<uint8_t> before;
    if (!readExFatCluster(previous, before)) return;
    size_t cut = before.size();
    for (size_t at = 0; at + kEntrySize <= before.size() && before[at] != 0; at += kEntrySize)
        if (before[at] == 0x85 && at + kEntrySize * (size_t{before[at + 1]} + 1) > before.size()) cut = at;
    if (cut == before.size()) return;
    const size_t rest = kEntrySize * (size_t{before[cut + 1]} + 1) - (before.size() - cut);
    if (rest > cluster.size()) return;
    std::vector<uint8_t> joined(before.begin() + static_cast<std::ptrdiff_t>(cut), before.end());
    joined.insert(joined.end(), cluster.data(), cluster.data() + rest);
    size_t end = 0;
    const auto sets = readEntrySets(ByteView(joined), end);
    if (sets.size() == 1) makeExFatNode(sets.front(), s, parent, "D", false);
}

// After a directory cluster of a known lost folder, where the folder's next cluster
// may be with no chain or bitmap to say: right after the data of a file it holds
// (the folder grew once that was written). The cluster right after this one is no
// sign: a folder whose clusters follow one another says so in its entry, and has
// them already; any other's next cluster is elsewhere.
void RecoveryModule::expectLostExFatContinuations(const std::vector<ExFatEntrySet>& sets, uint64_t s) {
    const auto layout = layoutOf(*mbs, blockSize);
    BaseTree* partition = layout ? currentLostPartition("ExFat") : nullptr;
    BaseTree* folder = partition ? lostFolderOwning(partition, s) : nullptr;
    if (!folder) return;
    const uint64_t spc = layout->sectorsPerCluster;
    const uint64_t clusterBytes = spc * blockSize;
    for (const auto& set : sets) {
        // A folder's length counts the clusters it has grown since, wherever they lie.
        const uint32_t first = set.stream.first_cluster;
        if (set.file.isFolderEntry || first < 2 || first > kBadCluster) continue;
        const uint64_t clusters = std::max<uint64_t>(1, (set.stream.data_length + clusterBytes - 1) / clusterBytes);
        lostFolderNext_.try_emplace(layout->clusterSector(first) + clusters * spc, std::pair{folder, s});
    }
}

bool RecoveryModule::makeExFatNode(const ExFatEntrySet& set, uint64_t sector, BaseTree* parent,
                                   const std::string& scanType, bool rootStart) {
    const auto layout = layoutOf(*mbs, blockSize);
    if (set.name.empty() || !layout) return false;
    ActiveFileSystem = 2;
    const bool streamDeleted = !inUse(set.stream.entry_type);
    const bool parentDeleted = parent && parent->deleted;
    const uint32_t first = set.stream.first_cluster;

    auto node = TreeClassMethod::createNDIR();
    node->setentry(2);
    node->setName(set.name);
    node->setblockSstartsAtSector(layout->heapStart);
    node->setspc(static_cast<uint32_t>(layout->sectorsPerCluster));
    node->setcreatedDate(set.file.create_date);
    node->setmodifiedDate(set.file.last_modified);
    node->setpresentSect(sector + set.streamOffset / blockSize);
    if (rootStart) node->setfileID(2);
    node->createButtons();

    if (!set.file.isFolderEntry) {
        ++fileCount;
        ++lost;
        node->setFileTypes(2);
        node->setblockSize(blockSize);
        node->setfileSize(set.stream.data_length);
        node->setdelete(parentDeleted || streamDeleted);
        describeFileData(*node, set, *layout, blockSize, diskPath(), unreadable_);
        BaseTree* file = node.get();
        if (addFileDir_toDir_onParentID_withScanType_andFileSytem(std::move(node), parent, 0, scanType, "ExFat"))
            countLinked(file);
        return true;
    }

    ++folderCount;
    node->setFileTypes(1);
    node->setblockSize(1);
    node->setClusterToRead(first);
    if (first >= 2) {
        node->setstartRange(layout->clusterSector(first));
        node->setendRange(layout->clusterSector(first) + layout->sectorsPerCluster - 1);
    }
    node->setdelete(!inUse(set.file.entry_type) || set.name == ".Trashes" || parentDeleted || streamDeleted);
    // A folder stored as one run has no FAT chain: its length tells its clusters.
    const bool contiguous = IsBitSet_bit(set.stream.general_secondary_flags, kNoFatChainBit);
    if (contiguous && first >= 2) addContiguousClusters(*node, set, *layout, blockSize);
    // Its clusters are known before it is placed: placement looks folders up by them.
    if (!contiguous) addClusterTo_fromSector(node.get(), first);
    BaseTree* folder = node.get();
    if (addFolderDir_toParentDir_withParentID_withscanType_andFileSystem(std::move(node), parent, 0, scanType,
                                                                        "ExFat"))
        countLinked(folder);
    return true;
}

void RecoveryModule::addClusterTo_fromSector(BaseTree* folder, uint32_t firstCluster) {
    const auto layout = mbs ? layoutOf(*mbs, blockSize) : std::nullopt;
    if (!folder || !layout || layout->clusterCount == 0) return;  // no FAT to follow
    const ClusterChain chain =
        followChain(*layout, firstCluster, layout->directoryClusters(blockSize), blockSize, diskPath(), unreadable_);
    std::unique_lock lock(treeLock());
    for (size_t i = 1; i < chain.clusters.size(); ++i)
        TreeClassMethod::addDataExtStartBlock_blockCount_toDir(chain.clusters[i], 1, folder);
}

void RecoveryModule::checkForSubFolders_ofSize_andScanType_withStartSector(BaseTree* dir, uint32_t /*size*/,
                                                                           const std::string& scanType,
                                                                           uint64_t /*startSector*/) {
    const std::string path = diskPath();
    walkFolders(dir, "ExFat checkForSubFolders", [&](BaseTree* folder) -> std::optional<int> {
        std::vector<uint32_t> clusters{folder->clustToRead};
        for (const DataExt& ext : folder->dataExtArray) clusters.push_back(ext.startBlock);
        std::optional<DiskError> error;
        const auto bytes =
            readClusterRuns(folder->blocksStartsAtSector, folder->SPC, clusters, kMaxDirectoryBytes, &error);
        if (!bytes) {
            consoleLog("Error while reading the disk : %s\n", error->localizedDescription().c_str());
            return std::nullopt;
        }
        if (scanType == "Q") rememberQuickDirectory(folder->blocksStartsAtSector, folder->SPC, clusters, bytes->size());
        return scanBlock_ofSize_withDir_andScanType_withStartSector(
            ByteView(*bytes), static_cast<uint32_t>(bytes->size()), folder, scanType, folder->blocksStartsAtSector);
    });
}

bool RecoveryModule::readExFatCluster(uint64_t sector, std::vector<uint8_t>& buffer) {
    const auto layout = mbs ? layoutOf(*mbs, blockSize) : std::nullopt;
    if (!layout) return false;
    buffer.assign(layout->sectorsPerCluster * blockSize, 0);
    return !DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
        sector, blockSize, diskPath(), buffer, layout->sectorsPerCluster, &unreadable_);
}

uint32_t RecoveryModule::checkForSPC(uint64_t sector) {
    const uint64_t perUnit = std::max<uint32_t>(blockSize / 512, 1);
    const uint64_t first = returnZeroStartSectorFromSector_withLimit(sector, kSPCSearchUnits);
    // Sectors r from first on while (r - sector) 512-byte units stay within the search.
    const uint64_t reach = kSPCSearchUnits / perUnit + 1;
    if (first == 0 || first - sector >= reach) return 0;
    // The folder made first after the root directory takes the cluster right after it,
    // and a folder's first cluster begins with a file entry.
    size_t piece = 0;
    const auto found = findSector(first, reach - (first - sector), [&piece](ByteView bytes) {
        for (piece = 0; piece + 512 <= bytes.size(); piece += 512)
            if (bytes.u8(piece) == 0x85 && FileDirectoryEntry::initFDEWithData(bytes.sub(piece, 512))) return true;
        return false;
    });
    if (!found) return 0;
    const uint64_t distance = perUnit * (*found - sector) + piece / 512;
    return distance % 2 == 0 ? static_cast<uint32_t>(distance) : 0;
}

uint64_t RecoveryModule::checkForWPSetiingFileFromStartSector_andWithSPC(uint64_t startSector, uint64_t spc) {
    try {
        if (spc == 0 || spc * blockSize > kMaxDirectoryBytes) return 0;
        std::vector<uint8_t> cluster(spc * blockSize);
        const std::string path = diskPath();
        for (uint64_t n = 0, t = startSector; n < kWPSettingsSearchClusters; ++n, t += spc) {
            std::fill(cluster.begin(), cluster.end(), 0);
            if (DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
                    t, blockSize, path, cluster, spc, &unreadable_))
                return 0;
            const ByteView entries(cluster);
            for (size_t offset = 64; entries.has(offset, kEntrySize); offset += kEntrySize) {
                const ByteView entry = entries.sub(offset, kEntrySize);
                if (entry.u16le(2) == u'W' &&
                    FileNameExtensionDirectoryEntry::initFNEWithData(entry).file_name_string == "WPSettings.dat")
                    return t;
            }
        }
    } catch (const std::exception& e) {
        log(e.what(), "checkForWPSetiingFileFromStartSector");
    }
    return 0;
}

}  // namespace norix
