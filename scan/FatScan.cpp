// FAT12, FAT16 and FAT32: the quick scan of a volume's directory tree, and the per-block
// routine the deep scan uses to find lost FAT volumes and lost root directories. The
// three differ only in the width of a FAT entry and in where the root directory lies.
#include <algorithm>
#include <unordered_set>

#include "disk/DiskReader.h"
#include "disk/Platform.h"
#include "records/fat/FatLongNameEntry.h"
#include "results/TreeClassMethod.h"
#include "scan/RecoveryModule.h"

namespace norix {

namespace {

constexpr size_t kEntrySize = 32;
constexpr uint32_t kEndOfChain = 0x0FFFFFF8;
constexpr uint32_t kClusterMask = 0x0FFFFFFF;
// A FAT directory holds at most 65536 entries.
constexpr size_t kMaxDirectoryBytes = 65536 * kEntrySize;
constexpr size_t kMaxLongNameParts = 20;

bool startsWithDotEntries(ByteView cluster) {
    return cluster.size() >= 64 && cluster.u8(0) == '.' && cluster.u8(32) == '.' && cluster.u8(33) == '.';
}

// Short names are meant to be ASCII; other bytes (a code page) become '_'.
std::string shortNameText(ByteView bytes) {
    std::string text = bytes.text(0, bytes.size());
    for (char& c : text)
        if (static_cast<uint8_t>(c) >= 0x80) c = '_';
    return text;
}

std::string lowerAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// The long name whose parts stand just before the short entry at offset, or nothing.
// Parts run backwards from part 1; an existing entry's parts must carry its checksum
// (a deleted entry has lost the first byte the checksum covers).
std::optional<std::string> longNameBefore(ByteView dir, size_t offset, size_t floor, bool deleted) {
    std::vector<FatLongNameEntry> parts;
    for (size_t k = 1; k <= kMaxLongNameParts && offset >= floor + k * kEntrySize; ++k) {
        const auto part = FatLongNameEntry::initLFNWithBlock(dir.sub(offset - k * kEntrySize, kEntrySize));
        if (!part || !(part->u8Ordinal == 0xE5 || (part->u8Ordinal & 0x1F) == k)) break;
        parts.push_back(*part);
        if (part->u8Ordinal != 0xE5 && (part->u8Ordinal & 0x40)) break;  // the name's last part
    }
    if (parts.empty()) return std::nullopt;
    if (!deleted) {
        const uint8_t sum = FatLongNameEntry::shortNameChecksum(dir.sub(offset, 11));
        for (const auto& part : parts)
            if (part.u8Checksum != sum) return std::nullopt;
    }
    std::string name = FatLongNameEntry::joinedName(parts);
    if (name.empty()) return std::nullopt;
    return name;
}

// One short entry read with its name, or nothing when it is not a file or folder worth listing.
struct NamedEntry {
    FatDataEntry entry;
    std::string name;
};

std::optional<NamedEntry> readNamedEntry(ByteView dir, size_t offset, size_t longNameFloor) {
    const ByteView raw = dir.sub(offset, kEntrySize);
    std::array<uint8_t, 8> nameBytes;
    std::copy_n(raw.data(), 8, nameBytes.begin());
    NamedEntry named{FatDataEntry::initFDEWithBlock(raw.from(11)), {}};
    if (nameBytes[0] == 0xE5) {
        nameBytes[0] = ' ';
        named.entry.setDeleted(true);
    }
    const ByteView name(nameBytes.data(), nameBytes.size());
    const ByteView extension = raw.sub(8, 3);
    const bool isFile = named.entry.isFile;
    if (!RecoveryModule::checkValidate_withExtensuion_andFlag(name, extension, isFile) || raw.u8(11) == 0)
        return std::nullopt;
    if (!named.entry.isFile && !named.entry.isFolder) return std::nullopt;

    if (auto longName = longNameBefore(dir, offset, longNameFloor, named.entry.isDeleted)) {
        named.name = *longName;
        return named;
    }
    // Without a long name, the short name with the case its flags ask for.
    const uint8_t caseFlags = named.entry.FDE1.u8Reserved;
    const std::string shortBase = RecoveryModule::getNameStringFrom(name).value_or("");
    std::string base = shortNameText(ByteView(reinterpret_cast<const uint8_t*>(shortBase.data()), shortBase.size()));
    if (caseFlags & 0x08) base = lowerAscii(base);
    if (base.empty()) return std::nullopt;
    std::string ext = shortNameText(extension);
    ext.erase(ext.find_last_not_of(' ') + 1);
    if (caseFlags & 0x10) ext = lowerAscii(ext);
    named.name = isFile && !ext.empty() ? base + "." + ext : base;
    return named;
}

// A volume's own sectors (its bytes per sector; 512-byte units for a root found without
// its boot sector) in device sectors; nothing when they do not divide evenly.
std::optional<uint64_t> deviceSectors(const FatBootSectors& fs, uint64_t count, uint32_t blockSize) {
    const uint64_t unit = fs.u16BytsPrSec != 0 ? fs.u16BytsPrSec : 512;
    if (blockSize == 0 || count * unit % blockSize != 0) return std::nullopt;
    return count * unit / blockSize;
}

// Where a volume's areas lie, in device sectors.
struct FatLayout {
    uint64_t volumeStart;
    uint64_t fatStart;
    uint64_t fatSectors;  // of one FAT
    uint64_t rootStart;   // the fixed root directory of FAT12/16, right after the FATs
    uint64_t rootSectors; // its length; 0 on FAT32, whose root is a cluster chain
    uint64_t dataStart;   // cluster 2
    uint64_t sectorsPerCluster;
    uint64_t end;         // the first sector after the volume; UINT64_MAX when unknown
    uint32_t rootCluster;
    uint32_t clusterCount;  // 0 when the boot sector does not say (FAT32)
    uint8_t entryBits;      // of one FAT entry: 12, 16 or 32
    uint64_t clusterSector(uint32_t cluster) const { return dataStart + sectorsPerCluster * (cluster - 2); }
    uint64_t rootSector() const { return rootSectors != 0 ? rootStart : clusterSector(rootCluster); }
    // The sectors of the root read at once: the fixed region, or FAT32's first cluster.
    uint64_t rootSpan() const { return rootSectors != 0 ? rootSectors : sectorsPerCluster; }
    uint32_t reserved() const { return static_cast<uint32_t>(fatStart - volumeStart); }
};

// The layout of a volume whose data region begins at volumeStart + its reserved sectors,
// FATs and fixed root; the volume's own counts become device sectors here and nowhere else.
std::optional<FatLayout> layoutAt(const FatBootSectors& fs, uint64_t volumeStart, uint32_t blockSize) {
    const auto reserved = deviceSectors(fs, fs.u16ReservedSectorCount, blockSize);
    const auto fat = deviceSectors(fs, fs.u32FATSize, blockSize);
    const auto rootSectors = deviceSectors(fs, fs.u32RootDirectorySectors, blockSize);
    const auto spc = deviceSectors(fs, fs.u8SectorPerCluster, blockSize);
    const auto total = deviceSectors(fs, fs.u32TotalSectors, blockSize);
    // A root found without its boot sector is taken to be cluster 2.
    const uint32_t root = fs.u32RootCluster != 0 ? fs.u32RootCluster : 2;
    if (!reserved || !fat || !rootSectors || !spc || *spc == 0 || !total || root < 2 || root >= kEndOfChain)
        return std::nullopt;
    const uint64_t rootStart = volumeStart + *reserved + *fat * fs.u8NumberOfFats;
    const uint64_t end = *total != 0 ? volumeStart + *total : UINT64_MAX;
    return FatLayout{volumeStart, volumeStart + *reserved, *fat, rootStart, *rootSectors, rootStart + *rootSectors,
                     *spc,        end,                     root, fs.u32ClusterCount, fs.u8FatEntryBits};
}

// The layout of the volume the scan holds, placed by its data-region start.
std::optional<FatLayout> layoutOf(const FatBootSectors& fs, uint32_t blockSize) {
    const auto metadata = layoutAt(fs, 0, blockSize);
    if (!metadata || fs.u64RootDirectorySectors < metadata->dataStart) return std::nullopt;
    return layoutAt(fs, fs.u64RootDirectorySectors - metadata->dataStart, blockSize);
}

// True when a sector can begin a root directory: not a folder's own "." cluster, and
// beginning with a volume label, the last part of a long name, or a file or folder.
bool looksLikeRootStart(ByteView sector) {
    if (startsWithDotEntries(sector)) return false;
    if (sector.matches(70, "~1") || sector.matches(102, "~1")) return true;  // the hidden folders a Mac leaves
    const uint8_t attribute = sector.u8(11);
    if (attribute == 0x08) return true;
    if (const auto part = FatLongNameEntry::initLFNWithBlock(sector.sub(0, kEntrySize)))
        return part->u8Ordinal == 0xE5 || (part->u8Ordinal & 0x40) != 0;
    const FatDataEntry entry = FatDataEntry::initFDEWithBlock(sector.sub(11, 21));
    return (entry.isFile || entry.isFolder) &&
           RecoveryModule::checkValidate_withExtensuion_andFlag(sector.sub(0, 8), sector.sub(8, 3), entry.isFile);
}

// Splits "name.ext" at its last dot; a name without one has no extension.
std::pair<std::string, std::optional<std::string>> splitExtension(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return {name, std::nullopt};
    return {name.substr(0, dot), name.substr(dot + 1)};
}

}  // namespace

bool RecoveryModule::checkStart8BytesAreZero(ByteView bytes) {
    for (size_t i = 0; i < 8; ++i)
        if (bytes.u8(i) != 0) return false;
    return true;
}

bool RecoveryModule::checkValidate_withExtensuion_andFlag(ByteView name, ByteView extension, bool isFile) {
    for (size_t i = 0; i < 8; ++i)
        if (name.u8(i) == 0) return false;
    if (!isFile) return true;
    static constexpr std::string_view kRefused = "\"%/#!-+*<.@";
    for (size_t i = 0; i < 3; ++i) {
        const auto c = static_cast<char>(extension.u8(i));
        if (c == 0 || kRefused.find(c) != std::string_view::npos) return false;
    }
    return true;
}

std::optional<std::string> RecoveryModule::getNameStringFrom(ByteView name) {
    size_t length = 0;
    for (size_t i = 0; i < 8; ++i) {
        if (name.u8(i) != ' ') {
            length = i + 1;
            continue;
        }
        if (i + 1 == 8 || name.u8(i + 1) == ' ') break;  // two spaces, or a trailing one, end the name
    }
    if (length == 0) return std::nullopt;
    return name.text(0, length);
}

std::string RecoveryModule::getFatFileNameFromBlock(ByteView entry) {
    auto part = FatLongNameEntry::initLFNWithBlock(entry);
    return part ? part->nameString : std::string();
}

std::optional<FatBootSectors> RecoveryModule::readFatBootSectors(ByteView bootSector, uint64_t startSector) const {
    auto boot = FatBootSectors::readBlock_blockSize(bootSector, blockSize);
    const auto layout = boot ? layoutAt(*boot, startSector, blockSize) : std::nullopt;
    if (!layout) return std::nullopt;
    const std::string path = diskPath();
    // The first FAT must begin with the media byte; when it does not, the second may.
    std::vector<uint8_t> firstFat(blockSize, 0);
    if (DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
            layout->fatStart, blockSize, path, firstFat, 1, &unreadable_)) {
        consoleLog("Errorn inside Fat Entry\n");
        return std::nullopt;
    }
    std::vector<uint8_t> secondFat;
    if (!boot->fatStartMatchesMedia(ByteView(firstFat))) {
        secondFat.assign(blockSize, 0);
        if (DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
                layout->fatStart + layout->fatSectors, blockSize, path, secondFat, 1, &unreadable_))
            secondFat.clear();
    }
    auto fs = FatBootSectors::initFatSectorWithBlock_blockSize_withFirstFat_andSecondFat(bootSector, blockSize,
                                                                                        ByteView(firstFat),
                                                                                        ByteView(secondFat));
    if (fs) fs->setU64RootDirectorySector(layout->dataStart);
    return fs;
}

void RecoveryModule::quickScanForFat32_withScanType_withStartSector(std::span<const uint8_t> bootSector,
                                                                    const std::string& scanType,
                                                                    uint64_t startSector) {
    try {
        FS.reset();
        FS = readFatBootSectors(ByteView(bootSector), startSector);
        const auto layout = FS ? layoutOf(*FS, blockSize) : std::nullopt;
        if (!layout) return;
        const uint64_t root = layout->rootSector();
        BaseTree* parent = scanType == "Q" ? dirRoot()->getChildAtIndex(0) : deepNode();
        ScanForFatFromSector_rootDirectoryStart_fatDetailsArray_dir_andScanType(root, root, parent, scanType);
    } catch (const std::exception& e) {
        log(e.what(), "quickScanForFat32");
    }
}

std::optional<std::vector<uint32_t>> RecoveryModule::getClusterForSector_withReservedCount_andvolStart(
    uint32_t firstCluster, uint32_t reservedCount, uint64_t volStart) {
    std::vector<uint32_t> chain;
    const auto layout = FS ? layoutOf(*FS, blockSize) : std::nullopt;
    if (!layout || firstCluster > kEndOfChain) return chain;
    // The FAT bounds every chain: no chain is longer than the FAT has entries (or the
    // volume clusters), and a cluster met twice ends it. A volume found without its FATs
    // has no chains.
    const unsigned bits = layout->entryBits;
    uint64_t fatEntries = layout->fatSectors * blockSize * 8 / bits;
    if (layout->clusterCount != 0) fatEntries = std::min<uint64_t>(fatEntries, layout->clusterCount + 2ull);
    // FAT12 and FAT16 end a chain at 0xFF8 and 0xFFF8; every end is answered as FAT32's.
    const uint32_t endOfChain = bits == 32 ? kEndOfChain : bits == 16 ? 0xFFF8 : 0xFF8;
    const uint64_t fatStart = volStart + reservedCount;
    const uint64_t windowSectors = std::max<uint64_t>(8192 / blockSize, 2);
    std::vector<uint8_t> window(windowSectors * blockSize);
    uint64_t windowStart = UINT64_MAX;
    std::unordered_set<uint32_t> visited{firstCluster};
    const std::string path = diskPath();
    for (uint32_t cluster = firstCluster; fatEntries != 0;) {
        // A 12-bit entry is read as the 16 bits holding it, which may straddle two sectors.
        const uint64_t byte = uint64_t{cluster} * bits / 8;
        const uint64_t sector = fatStart + byte / blockSize;
        const uint64_t lastSector = fatStart + (byte + (bits == 32 ? 3 : 1)) / blockSize;
        if (sector < windowStart || lastSector >= windowStart + windowSectors) {
            std::fill(window.begin(), window.end(), 0);
            if (DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
                    sector, blockSize, path, window, windowSectors, &unreadable_))
                return std::nullopt;
            windowStart = sector;
        }
        const size_t at = (sector - windowStart) * blockSize + byte % blockSize;
        uint32_t next = bits == 32 ? ByteView(window).u32le(at) & kClusterMask : ByteView(window).u16le(at);
        if (bits == 12) next = cluster % 2 == 0 ? next & 0x0FFF : next >> 4;
        if (next >= endOfChain) {
            chain.push_back(kClusterMask);
            return chain;
        }
        // A free, bad, out-of-range or already visited cluster: the chain is broken here.
        if (next < 2 || next >= fatEntries || !visited.insert(next).second) {
            chain.push_back(0);
            return chain;
        }
        chain.push_back(next);
        cluster = next;
    }
    return chain;
}

// The clusters of a directory: its first, then those its FAT chain leads to.
static std::vector<uint32_t> withChain(uint32_t first, const std::optional<std::vector<uint32_t>>& chain) {
    std::vector<uint32_t> clusters{first};
    if (chain)
        for (uint32_t cluster : *chain)
            if (cluster >= 2 && cluster < kEndOfChain) clusters.push_back(cluster);
    return clusters;
}

void RecoveryModule::ScanForFatFromSector_rootDirectoryStart_fatDetailsArray_dir_andScanType(
    uint64_t sector, uint64_t rootDirectoryStart, BaseTree* dir, const std::string& scanType) {
    try {
        const bool quickBranch = dir->fileName == kQuickScan;
        const auto layout = layoutOf(*FS, blockSize);
        // FAT12/16 keep the root in a region of its own before cluster 2: it is read as
        // one cluster of the region's length.
        const bool fixedRoot = layout && layout->rootSectors != 0 && sector == layout->rootStart;
        if (!layout || (!fixedRoot && sector < layout->dataStart)) return;
        const uint64_t heapStart = fixedRoot ? layout->rootStart : layout->dataStart;
        const uint64_t clusterSectors = fixedRoot ? layout->rootSectors : layout->sectorsPerCluster;
        // A FAT32 root is read through its whole cluster chain, not only its first cluster.
        const auto first = static_cast<uint32_t>((sector - heapStart) / clusterSectors + 2);
        const std::vector<uint32_t> clusters =
            fixedRoot ? std::vector<uint32_t>{2}
                      : withChain(first, getClusterForSector_withReservedCount_andvolStart(first, layout->reserved(),
                                                                                         layout->volumeStart));
        const auto bytes = readClusterRuns(heapStart, clusterSectors, clusters, kMaxDirectoryBytes);
        if (!bytes) {
            consoleLog("Error in reading Fat Data.\n");
            return;
        }
        const ByteView directory(*bytes);
        if (!quickBranch && !startsWithDotEntries(directory)) return;
        if (scanType == "Q") rememberQuickDirectory(heapStart, clusterSectors, clusters, bytes->size());
        int count = 0;
        for (size_t offset = quickBranch ? 0 : 64; directory.has(offset, kEntrySize); offset += kEntrySize) {
            const auto named = readNamedEntry(directory, offset, quickBranch ? 0 : 64);
            if (!named) continue;
            const auto [base, extension] = splitExtension(named->name);
            count += addFatFileAndFolder_withFileName_extension_rootDirectory_andParent_sacnType(
                named->entry, named->entry.isFolder ? named->name : base, extension, rootDirectoryStart, dir, scanType);
        }
        if (count == 0) return;
        if (!quickBranch) return checkForSubNodesForFat_withStartSector_withScanType(dir, rootDirectoryStart, scanType);
        std::vector<BaseTree*> categories;
        for (auto& child : dir->childrenArray) categories.push_back(child.get());
        for (BaseTree* category : categories) {
            if (waitWhilePausedOrStopped()) return;
            checkForSubNodesForFat_withStartSector_withScanType(category, rootDirectoryStart, scanType);
        }
    } catch (const std::exception& e) {
        log(e.what(), "Fat ScanForFatFromSector");
    }
}

int RecoveryModule::addFatFileAndFolder_withFileName_extension_rootDirectory_andParent_sacnType(
    const FatDataEntry& entry, const std::string& fileName, const std::optional<std::string>& extension,
    uint64_t rootDirectory, BaseTree* parent, const std::string& scanType) {
    try {
        ActiveFileSystem = 4;
        const auto layout = FS ? layoutOf(*FS, blockSize) : std::nullopt;
        if (!layout || fileName.empty() || fileName.find("(null)") != std::string::npos) return 0;
        const uint32_t firstCluster =
            (uint32_t{entry.FDE2.u16FirstClusterHighWrd} << 16) | entry.FDE2.u16FirstClusterLowWrd;

        auto node = TreeClassMethod::createNDIR();
        node->setentry(1);
        node->setblockSstartsAtSector(layout->dataStart);
        node->setspc(static_cast<uint32_t>(layout->sectorsPerCluster));
        node->setfileSize(entry.FDE3.u32FileSize);
        node->setpresentSect(rootDirectory);
        node->setcreatedDate(uint32_t{entry.FDE2.u16CreatedDate} << 16 | entry.FDE2.u16CreatedTime);
        node->setmodifiedDate(uint32_t{entry.FDE2.u16WriteDate} << 16 | entry.FDE2.u16WriteTime);
        node->setdelete(entry.isDeleted || fileName.find(".Trashes") != std::string::npos);
        // The root's own entries.
        if (rootDirectory >= layout->rootSector() && rootDirectory - layout->rootSector() <= layout->rootSpan())
            node->setfileID(2);
        node->createButtons();

        if (entry.isFile) {
            ++fileCount;
            node->setFileTypes(2);
            node->setName(extension ? fileName + "." + *extension : fileName);
            node->setblockSize(blockSize);
            addFatFileExtents(*node, firstCluster);
            BaseTree* file = node.get();
            if (!addFileDir_toDir_onParentID_withScanType_andFileSytem(std::move(node), parent, 0, scanType, "Fat"))
                return 0;
            countLinked(file);
            return 1;
        }

        node->setFileTypes(1);
        node->setName(fileName);
        node->setClusterToRead(firstCluster);
        if (firstCluster >= 2) {
            node->setstartRange(layout->clusterSector(firstCluster));
            node->setendRange(layout->clusterSector(firstCluster) + layout->sectorsPerCluster - 1);
        }
        // A folder's extents hold the cluster numbers of its further clusters.
        if (firstCluster >= 2)
            if (const auto chain = getClusterForSector_withReservedCount_andvolStart(
                    firstCluster, layout->reserved(), layout->volumeStart))
                for (size_t i = 0; i + 1 < chain->size(); ++i)
                    if ((*chain)[i] < kEndOfChain) TreeClassMethod::addDataExtStartBlock_blockCount_toDir((*chain)[i], 1, node.get());
        ++folderCount;
        BaseTree* folder = node.get();
        if (!addFolderDir_toParentDir_withParentID_withscanType_andFileSystem(std::move(node), parent, 0, scanType,
                                                                             "Fat"))
            return 1;
        countLinked(folder);
        return 2;
    } catch (const std::exception& e) {
        log(e.what(), "Fat addFatFileAndFolder");
        return 0;
    }
}

void RecoveryModule::addFatFileExtents(BaseTree& file, uint32_t firstCluster) {
    const auto layout = layoutOf(*FS, blockSize);
    const uint64_t size = file.fileSize;
    if (!layout || size == 0 || firstCluster < 2) return;
    const uint64_t clusterBytes = layout->sectorsPerCluster * blockSize;
    // An existing file whose chain is intact is described by its chain, run by run, so a
    // fragmented file comes back whole. A deleted file's chain is gone: its clusters are
    // taken to follow one another.
    if (!file.deleted) {
        const auto chain =
            getClusterForSector_withReservedCount_andvolStart(firstCluster, layout->reserved(), layout->volumeStart);
        if (chain && !chain->empty() && chain->back() >= kEndOfChain &&
            chain->size() == (size + clusterBytes - 1) / clusterBytes) {
            std::vector<uint32_t> clusters{firstCluster};
            clusters.insert(clusters.end(), chain->begin(), chain->end() - 1);
            for (auto [first, count] : RecoveryModule::clusterRuns(clusters))
                TreeClassMethod::addDataExtStartBlock_blockCount_toDir(
                    static_cast<uint32_t>(layout->sectorsPerCluster * (first - 2)),
                    static_cast<uint32_t>(layout->sectorsPerCluster * count), &file);
            return;
        }
    }
    const uint64_t start = layout->sectorsPerCluster * (firstCluster - 2);
    const uint64_t sectors = (size + blockSize - 1) / blockSize;
    if (start + sectors > UINT32_MAX) return;  // cannot be described in 32-bit extents
    TreeClassMethod::addDataExtStartBlock_blockCount_toDir(static_cast<uint32_t>(start), 1, &file);
    if (sectors > 1)
        TreeClassMethod::addDataExtStartBlock_blockCount_toDir(static_cast<uint32_t>(start + 1),
                                                               static_cast<uint32_t>(sectors - 1), &file);
}

void RecoveryModule::checkForSubNodesForFat_withStartSector_withScanType(BaseTree* dir, uint64_t /*startSector*/,
                                                                         const std::string& scanType) {
    walkFolders(dir, "checkForSubNodesForFat", [&](BaseTree* folder) -> std::optional<int> {
        std::vector<uint32_t> clusters{folder->clustToRead};
        for (const DataExt& ext : folder->dataExtArray) clusters.push_back(ext.startBlock);
        const auto bytes = readClusterRuns(folder->blocksStartsAtSector, folder->SPC, clusters, kMaxDirectoryBytes);
        if (!bytes) {
            consoleLog("Unable to read sector\n");
            return std::nullopt;
        }
        if (scanType == "Q" && startsWithDotEntries(ByteView(*bytes)))
            rememberQuickDirectory(folder->blocksStartsAtSector, folder->SPC, clusters, bytes->size());
        return deepScanForFatWithBlock_withParent_withSize_withScanType_andStartSector(
            ByteView(*bytes), folder, static_cast<uint32_t>(bytes->size()), scanType, folder->blocksStartsAtSector);
    }, FS && FS->u32RootDirectorySectors != 0 ? 2 : 3);  // with a fixed root, cluster 2 is a folder's
}

int RecoveryModule::deepScanForFatWithBlock_withParent_withSize_withScanType_andStartSector(
    ByteView block, BaseTree* parent, uint32_t size, const std::string& scanType, uint64_t startSector) {
    try {
        const bool deep = scanType == "D";
        const uint64_t s = startSector;
        if (deep) leaveEndedFatVolumes(s);
        size_t offset = 64;
        const bool folderCluster = deep && startsWithDotEntries(block);
        // Any maker's name may follow the jump ("MSDOS5.0", "BSD  4.4", "mkfs.fat", a
        // camera's): the boot-sector test itself decides.
        if (deep && !folderCluster && (block.matches(0, "\xEB\x58\x90") || FatBootSectors::namesFat12Or16(block)))
            return recogniseFatVolume(block, s);
        if (deep && !folderCluster && FS) {
            const auto layout = layoutOf(*FS, blockSize);
            const uint64_t root = layout ? layout->rootSector() : FS->u64RootDirectorySectors;
            bool zeroed = true;
            for (size_t i = 13; i <= 20; ++i) zeroed = zeroed && block.u8(i) == 0;
            if (s != root && zeroed) {
                offset = 96;
                if (!layout || s != layout->volumeStart) FS.reset();  // the block is outside the known volume
            } else {
                offset = 0;  // the root's first entries are files and folders like any others
            }
        }
        if (!deep && !startsWithDotEntries(block)) return 0;  // not a folder's first cluster
        if (folderCluster) adoptProvenFatGeometry(block, s);
        if (deep && !FS) {
            if (!startLostFatRoot(block, offset, s)) return 0;
            offset = 0;  // the root read again as a whole cluster, from its first entry
        }

        std::vector<uint8_t> buffer(block.data(), block.data() + std::min<size_t>(size, block.size()));
        if (deep && !readFatCluster(s, buffer)) return 0;
        // The folder's cluster before this one, when put in front to complete a long name.
        const size_t before = deep ? joinLostFatDirectory(buffer, s, folderCluster) : 0;
        offset += before;
        // A long name's parts may start the cluster, but never in a folder's own "." cluster.
        const size_t longNameFloor = startsWithDotEntries(ByteView(buffer)) ? 64 : 0;
        int count = 0;
        for (const ByteView entries(buffer); entries.has(offset, kEntrySize); offset += kEntrySize) {
            if (checkStart8BytesAreZero(entries.sub(offset, kEntrySize))) break;
            // What the quick scan listed is not listed a second time.
            if (deep && quickScanListed(s + (offset - before) / blockSize)) continue;
            const auto named = readNamedEntry(entries, offset, longNameFloor);
            if (!named) continue;
            const auto [base, extension] = splitExtension(named->name);
            count += addFatFileAndFolder_withFileName_extension_rootDirectory_andParent_sacnType(
                named->entry, named->entry.isFolder ? named->name : base, extension, s, parent, scanType);
        }
        if (deep) expectLostFatContinuations(ByteView(buffer), before, s);
        if (count == 0) return 0;
        offset -= before;
        if (offset > blockSize) tillSectorReaded += (offset + blockSize - 1) / blockSize;
        return count;
    } catch (const std::exception& e) {
        log(e.what(), "Fat deepScanForFatWithBlock");
        return 0;
    }
}

// A volume reformatted with another cluster size: its new boot sector puts the old
// folders' clusters in the wrong places; or one whose boot sectors are both gone. A
// folder's "." cluster found where no known geometry puts it proves the old geometry
// when, for one cluster size, the folders its entries name (its parent, its
// subfolders) begin where that size puts them. The proven geometry then replaces the boot sector's; the FATs, cleared by the
// format, are no longer read.
void RecoveryModule::adoptProvenFatGeometry(ByteView unit, uint64_t s) {
    const auto layout = FS ? layoutOf(*FS, blockSize) : std::nullopt;
    auto clusterAt = [](ByteView entries, size_t at) {
        return uint32_t{entries.u16le(at + 20)} << 16 | entries.u16le(at + 26);
    };
    const uint32_t cluster = clusterAt(unit, 0);
    if (cluster < 2 || cluster >= kEndOfChain || (layout && layout->clusterSector(cluster) == s)) return;
    std::vector<uint32_t> named;
    for (size_t at = kEntrySize; unit.has(at, kEntrySize) && unit.u8(at) != 0 && named.size() < 8; at += kEntrySize) {
        const uint32_t other = clusterAt(unit, at);
        if (unit.u8(at) != 0xE5 && unit.u8(at + 11) != 0x0F && FatDataEntry::initFDEWithBlock(unit.sub(at + 11, 21)).isFolder &&
            other >= 2 && other < kEndOfChain && other != cluster)
            named.push_back(other);
    }
    std::vector<uint8_t> sector(std::max<uint32_t>(blockSize, 512));
    for (uint64_t units = 1; units <= 128 && !named.empty(); units *= 2) {  // cluster size in 512-byte units
        if (units * 512 % blockSize != 0) continue;
        const uint64_t spc = units * 512 / blockSize;
        if (s < spc * (cluster - 2)) break;
        const uint64_t dataStart = s - spc * (cluster - 2);
        const bool proven = std::ranges::all_of(named, [&](uint32_t folder) {
            std::fill(sector.begin(), sector.end(), 0);
            return !DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
                       dataStart + spc * (folder - 2), blockSize, diskPath(), sector, 1, &unreadable_) &&
                   startsWithDotEntries(ByteView(sector)) && clusterAt(ByteView(sector), 0) == folder;
        });
        if (!proven) continue;
        // Without a boot sector the volume counts in 512-byte units, cluster 2 first.
        FatBootSectors old;
        old.setU8SectorPerClusters(static_cast<uint8_t>(units));
        old.setU64RootDirectorySector(dataStart);
        if (!FS) fatEntryCount = ++fatVolumesFound_;  // a volume whose boot sectors are gone
        FS = old;
        return;
    }
}

// A directory cluster of the known volume whose folder is not known yet. A folder's
// first cluster (its "." entry) becomes "Folder <cluster>", under the folder its ".."
// entry names when that one is known, else in the partition itself (its parent was the
// root, or is gone). Any other cluster joins the folder that expects it or its first
// entry's data next (see expectLostFatContinuations); that folder's cluster before it is then put in front of
// the buffer so a long name begun there is read whole. Returns the bytes put in front.
size_t RecoveryModule::joinLostFatDirectory(std::vector<uint8_t>& buffer, uint64_t s, bool folderStart) {
    const auto layout = FS ? layoutOf(*FS, blockSize) : std::nullopt;
    if (!layout || s < layout->dataStart || buffer.size() < 64 || quickScanListed(s)) return 0;
    BaseTree* partition = currentLostPartition("Fat");
    if (partition && lostFolderOwning(partition, s)) return 0;
    const ByteView dir(buffer);
    if (folderStart) {
        const uint32_t cluster = uint32_t{dir.u16le(20)} << 16 | dir.u16le(26);
        const uint32_t parent = uint32_t{dir.u16le(52)} << 16 | dir.u16le(58);
        // A "." entry that disagrees with the geometry is left to the entries' own placing.
        if (cluster < 2 || cluster >= kEndOfChain || layout->clusterSector(cluster) != s) return 0;
        const bool parentKnown = partition && parent >= 2 && parent < kEndOfChain &&
                                 lostFolderOwning(partition, layout->clusterSector(parent));
        // Where the proven geometry puts a folder in cluster 2 (a FAT12/16 volume, whose
        // root lies before it), the root is nowhere: the folder's entries place themselves.
        if (!parentKnown && partition && lostFolderOwning(partition, layout->rootSector())) return 0;
        addFatFileAndFolder_withFileName_extension_rootDirectory_andParent_sacnType(
            FatDataEntry::initFDEWithBlock(dir.sub(11, 21)), "Folder " + std::to_string(cluster), std::nullopt,
            parentKnown ? layout->clusterSector(parent) : layout->rootSector(), deepNode(), "D");
        return 0;
    }
    auto next = lostFolderNext_.find(s);
    // A folder may also grow only once the data of the entry that did not fit is written:
    // the cluster then follows that data, and the data the folder's last entry.
    for (size_t at = 0; next == lostFolderNext_.end() && dir.has(at, kEntrySize) && dir.u8(at) != 0; at += kEntrySize) {
        if (dir.u8(at + 11) == 0x0F) continue;
        const uint32_t first = uint32_t{dir.u16le(at + 20)} << 16 | dir.u16le(at + 26);
        if (first >= 2 && first < kEndOfChain) next = lostFolderNext_.find(layout->clusterSector(first));
        break;
    }
    if (!partition || next == lostFolderNext_.end()) return 0;
    const auto [folder, previous] = next->second;
    {
        std::unique_lock lock(treeLock());
        lostFolderSectors_[partition].try_emplace(s, s + layout->sectorsPerCluster - 1, folder);
    }
    std::vector<uint8_t> earlier;
    if (!readFatCluster(previous, earlier)) return 0;
    buffer.insert(buffer.begin(), earlier.begin(), earlier.end());
    return earlier.size();
}

// After a directory cluster of a known lost folder, where the folder's next cluster may
// be when the FAT no longer says: right after this one, or else (entry order) right
// after the data of an entry it holds, since a folder grows into the next free cluster
// when a new entry no longer fits. The following cluster wins over entry order.
void RecoveryModule::expectLostFatContinuations(ByteView dir, size_t from, uint64_t s) {
    const auto layout = FS ? layoutOf(*FS, blockSize) : std::nullopt;
    BaseTree* partition = layout ? currentLostPartition("Fat") : nullptr;
    BaseTree* folder = partition ? lostFolderOwning(partition, s) : nullptr;
    if (!folder) return;
    const uint64_t spc = layout->sectorsPerCluster;
    const uint64_t clusterBytes = spc * blockSize;
    lostFolderNext_.insert_or_assign(s + spc, std::pair{folder, s});
    for (size_t at = from; dir.has(at, kEntrySize) && dir.u8(at) != 0; at += kEntrySize) {
        const uint8_t attribute = dir.u8(at + 11);
        if (dir.u8(at) == '.' || dir.u8(at) == 0xE5 || attribute == 0x0F) continue;
        const FatDataEntry entry = FatDataEntry::initFDEWithBlock(dir.sub(at + 11, 21));
        const uint32_t first = uint32_t{entry.FDE2.u16FirstClusterHighWrd} << 16 | entry.FDE2.u16FirstClusterLowWrd;
        if ((!entry.isFile && !entry.isFolder) || first < 2 || first >= kEndOfChain) continue;
        const uint64_t clusters =
            entry.isFolder ? 1 : std::max<uint64_t>(1, (entry.FDE3.u32FileSize + clusterBytes - 1) / clusterBytes);
        lostFolderNext_.try_emplace(layout->clusterSector(first) + clusters * spc, std::pair{folder, s});
    }
}

// A root directory met by the sweep with no volume known: its first acceptable entry
// must be a folder (never in a folder's own "." cluster), and the cluster size is
// guessed, with the root as cluster 2. The guess must put that folder where its own "."
// entry says it is: a FAT12/16 root, which lies before cluster 2, fails this and is not
// read with clusters that would give other files' bytes. True when it is taken as the
// root of a volume.
bool RecoveryModule::startLostFatRoot(ByteView block, size_t offset, uint64_t s) {
    if (startsWithDotEntries(block)) return false;
    for (; block.has(offset, kEntrySize) && !checkStart8BytesAreZero(block.sub(offset, kEntrySize));
         offset += kEntrySize) {
        const auto named = readNamedEntry(block, offset, 32);
        if (!named) continue;
        if (!named->entry.isFolder) return false;
        // Without a boot sector the volume counts in 512-byte units, as the guess does.
        FatBootSectors lost;
        lost.setU8SectorPerClusters(static_cast<uint8_t>(std::min<uint32_t>(checkForSPCForFat(s), 255)));
        lost.setU64RootDirectorySector(s);
        const auto layout = lost.u8SectorPerCluster == 0 ? std::nullopt : layoutOf(lost, blockSize);
        const uint32_t folder = uint32_t{named->entry.FDE2.u16FirstClusterHighWrd} << 16 |
                                named->entry.FDE2.u16FirstClusterLowWrd;
        std::vector<uint8_t> first(std::max<uint32_t>(blockSize, 512), 0);
        if (!layout || folder < 2 || folder >= kEndOfChain ||
            DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
                layout->clusterSector(folder), blockSize, diskPath(), first, 1, &unreadable_) ||
            !startsWithDotEntries(ByteView(first)) ||
            (uint32_t{ByteView(first).u16le(20)} << 16 | ByteView(first).u16le(26)) != folder)  // "."'s cluster
            return false;
        FS = lost;
        fatEntryCount = ++fatVolumesFound_;
        return true;
    }
    return false;
}

// A FAT boot sector met by the sweep at sector s: 1 when it is taken as a volume. One
// that fails the tests leaves the known volume as it was.
int RecoveryModule::recogniseFatVolume(ByteView block, uint64_t s) {
    if (FS && FS->u64RootDirectorySectors > s) return 1;  // the backup boot sector, 6 sectors in
    auto found = readFatBootSectors(block, s);
    const auto layout = found ? layoutOf(*found, blockSize) : std::nullopt;
    // The whole volume must lie on the device and its root directory where it says.
    if (!layout || found->u32TotalSectors == 0 || layout->end > totalSector() || layout->rootSector() >= layout->end)
        return 0;
    std::vector<uint8_t> root(std::max<uint32_t>(blockSize, 512), 0);
    if (DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
            layout->rootSector(), blockSize, diskPath(), root, 1, &unreadable_) ||
        !looksLikeRootStart(ByteView(root)))
        return 0;
    // A volume inside the known one (a disk image kept as a file on it) is rebuilt in its
    // own geometry up to its end; then the known volume's geometry applies again.
    if (const auto known = FS ? layoutOf(*FS, blockSize) : std::nullopt; known && known->end != UINT64_MAX)
        enclosingFatVolumes_.emplace_back(*FS, fatEntryCount);
    FS = found;
    fatEntryCount = ++fatVolumesFound_;
    if (startSectorForPhysicalScan == 0) startSectorForPhysicalScan = s;
    // A fixed root (FAT12/16) is listed now, where the boot sector puts it: the sweep
    // would miss a root of few entries. What it lists is not listed again.
    if (layout->rootSectors != 0) {
        const uint64_t skip = tillSectorReaded;
        deepScanForFatWithBlock_withParent_withSize_withScanType_andStartSector(ByteView(root), deepNode(), blockSize,
                                                                                "D", layout->rootStart);
        tillSectorReaded = skip;
        rememberQuickSectors(layout->rootStart, layout->rootStart + layout->rootSectors);
    }
    return 1;
}

// Past a volume's end its geometry no longer applies: the volume it was found in, if
// any, is the known volume again.
void RecoveryModule::leaveEndedFatVolumes(uint64_t s) {
    while (FS || !enclosingFatVolumes_.empty()) {
        const auto layout = FS ? layoutOf(*FS, blockSize) : std::nullopt;
        if (layout && s < layout->end) return;
        if (enclosingFatVolumes_.empty()) {
            FS.reset();
            return;
        }
        std::tie(FS, fatEntryCount) = enclosingFatVolumes_.back();
        enclosingFatVolumes_.pop_back();
    }
}

// Re-reads one whole cluster of the known volume at sector s, or its whole fixed root.
bool RecoveryModule::readFatCluster(uint64_t s, std::vector<uint8_t>& buffer) {
    const auto layout = FS ? layoutOf(*FS, blockSize) : std::nullopt;
    if (!layout) return false;
    const uint64_t sectors = s == layout->rootSector() ? layout->rootSpan() : layout->sectorsPerCluster;
    if (sectors * blockSize > kMaxDirectoryBytes) return false;
    buffer.assign(sectors * blockSize, 0);
    return !DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
        s, blockSize, diskPath(), buffer, sectors, &unreadable_);
}

uint32_t RecoveryModule::checkForSPCForFat(uint64_t sector) {
    const uint64_t perUnit = std::max<uint32_t>(blockSize / 512, 1);
    const uint64_t first = returnZeroStartSectorFromSector_withLimit(sector, 255);
    // Sectors r from first on while (r - sector) 512-byte units stay below 256.
    const uint64_t reach = (256 + perUnit - 1) / perUnit;
    if (first == 0 || first - sector >= reach) return 0;
    // The first folder made on the volume sits in cluster 3, right after the root's cluster 2:
    // its first cluster begins with the "." entry.
    size_t piece = 0;
    const auto found = findSector(first, reach - (first - sector), [&piece](ByteView bytes) {
        for (piece = 0; piece + 512 <= bytes.size(); piece += 512)
            if (bytes.u8(piece) == '.' || bytes.u8(piece + 32) == '.' || bytes.u8(piece + 33) == '.') return true;
        return false;
    });
    if (!found) return 0;
    const uint64_t distance = perUnit * (*found - sector) + piece / 512;
    return distance % 2 == 0 ? static_cast<uint32_t>(distance) : 0;
}

uint64_t RecoveryModule::returnZeroStartSectorFromSector_withLimit(uint64_t sector, uint64_t limit) {
    try {
        const uint64_t perUnit = std::max<uint32_t>(blockSize / 512, 1);
        return findSector(sector + 1, limit / perUnit, [](ByteView bytes) { return checkStart8BytesAreZero(bytes); })
            .value_or(0);
    } catch (const std::exception& e) {
        log(e.what(), "returnZeroStartSectorFromSector");
    }
    return 0;
}

}  // namespace norix
