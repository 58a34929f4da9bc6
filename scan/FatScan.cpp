// FAT32: the quick scan of a volume's directory tree, and the per-block routine the
// deep scan uses to find lost FAT32 volumes and lost root directories.
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

// The checksum a long name's parts carry of the 11-byte short name they belong to.
uint8_t shortNameChecksum(ByteView shortName) {
    uint8_t sum = 0;
    for (size_t i = 0; i < 11; ++i) sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + shortName.u8(i));
    return sum;
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
        const uint8_t sum = shortNameChecksum(dir.sub(offset, 11));
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
    const auto boot = FatBootSectors::readBlock_blockSize(bootSector, blockSize);
    if (!boot) return std::nullopt;
    const std::string path = diskPath();
    // The first FAT must begin with the media byte; when it does not, the second may.
    std::vector<uint8_t> firstFat(std::max<size_t>(boot->u8SectorPerCluster, 1) * blockSize, 0);
    if (DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
            boot->firstFatSector(startSector), blockSize, path, firstFat, std::max<uint8_t>(boot->u8SectorPerCluster, 1))) {
        consoleLog("Errorn inside Fat Entry\n");
        return std::nullopt;
    }
    std::vector<uint8_t> secondFat;
    if (!boot->fatStartMatchesMedia(ByteView(firstFat))) {
        secondFat.assign(blockSize, 0);
        if (DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
                boot->secondFatSector(startSector), blockSize, path, secondFat, 1))
            secondFat.clear();
    }
    return FatBootSectors::initFatSectorWithBlock_blockSize_withFirstFat_andSecondFat(bootSector, blockSize,
                                                                                     ByteView(firstFat),
                                                                                     ByteView(secondFat));
}

void RecoveryModule::quickScanForFat32_withScanType_withStartSector(std::span<const uint8_t> bootSector,
                                                                    const std::string& scanType,
                                                                    uint64_t startSector) {
    try {
        FS.reset();
        FS = readFatBootSectors(ByteView(bootSector), startSector);
        if (!FS) return;
        const uint64_t dataStart =
            startSector + FS->u16ReservedSectorCount + uint64_t{FS->u32FATSize} * FS->u8NumberOfFats;
        FS->setU64RootDirectorySector(dataStart);
        BaseTree* parent = scanType == "Q" ? dirRoot()->getChildAtIndex(0) : deepNode();
        ScanForFatFromSector_rootDirectoryStart_fatDetailsArray_dir_andScanType(dataStart, dataStart, parent,
                                                                                scanType);
    } catch (const std::exception& e) {
        log(e.what(), "quickScanForFat32");
    }
}

std::optional<std::vector<uint32_t>> RecoveryModule::getClusterForSector_withReservedCount_andvolStart(
    uint32_t firstCluster, uint32_t reservedCount, uint64_t volStart) {
    std::vector<uint32_t> chain;
    if (!FS || firstCluster > kEndOfChain) return chain;
    // The FAT bounds every chain: no chain is longer than the FAT has entries, and a
    // cluster met twice ends it.
    const uint64_t fatEntries = uint64_t{FS->u32FATSize} * blockSize / 4;
    const uint64_t fatStart = volStart + reservedCount;
    const uint64_t windowSectors = std::max<uint64_t>(8192 / blockSize, 1);
    std::vector<uint8_t> window(windowSectors * blockSize);
    uint64_t windowStart = UINT64_MAX;
    std::unordered_set<uint32_t> visited{firstCluster};
    const std::string path = diskPath();
    for (uint32_t cluster = firstCluster;;) {
        const uint64_t byte = uint64_t{cluster} * 4;
        const uint64_t sector = fatStart + byte / blockSize;
        if (sector < windowStart || sector >= windowStart + windowSectors) {
            std::fill(window.begin(), window.end(), 0);
            if (DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
                    sector, blockSize, path, window, windowSectors))
                return std::nullopt;
            windowStart = sector;
        }
        const uint32_t next = ByteView(window).u32le((sector - windowStart) * blockSize + byte % blockSize) & kClusterMask;
        if (next >= kEndOfChain) {
            chain.push_back(next);
            return chain;
        }
        // A free, out-of-range or already visited cluster: the chain is broken here.
        if (next < 2 || next >= fatEntries || !visited.insert(next).second) {
            chain.push_back(0);
            return chain;
        }
        chain.push_back(next);
        cluster = next;
    }
}

namespace {
// The volume's layout, from the boot sector the scan holds.
struct FatLayout {
    uint64_t dataStart;
    uint32_t sectorsPerCluster;
    uint32_t reserved;
    uint64_t volumeStart;
    uint64_t clusterSector(uint32_t cluster) const { return dataStart + uint64_t{sectorsPerCluster} * (cluster - 2); }
};

FatLayout layoutOf(const FatBootSectors& fs) {
    const uint64_t fats = uint64_t{fs.u32FATSize} * fs.u8NumberOfFats;
    const uint64_t dataStart = fs.u64RootDirectorySectors;
    return {dataStart, std::max<uint32_t>(fs.u8SectorPerCluster, 1), fs.u16ReservedSectorCount,
            dataStart >= fats + fs.u16ReservedSectorCount ? dataStart - fats - fs.u16ReservedSectorCount : 0};
}

}  // namespace

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
        const FatLayout layout = layoutOf(*FS);
        if (sector < layout.dataStart) return;
        // The root is read through its whole cluster chain, not only its first cluster.
        const auto first = static_cast<uint32_t>((sector - layout.dataStart) / layout.sectorsPerCluster + 2);
        const auto chain = getClusterForSector_withReservedCount_andvolStart(first, layout.reserved, layout.volumeStart);
        const auto bytes = readClusterRuns(layout.dataStart, layout.sectorsPerCluster, withChain(first, chain),
                                           kMaxDirectoryBytes);
        if (!bytes) {
            consoleLog("Error in reading Fat Data.\n");
            return;
        }
        const ByteView directory(*bytes);
        if (!quickBranch && !startsWithDotEntries(directory)) return;
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
        if (fileName.empty() || fileName.find("(null)") != std::string::npos) return 0;
        const FatLayout layout = layoutOf(*FS);
        const uint32_t firstCluster =
            (uint32_t{entry.FDE2.u16FirstClusterHighWrd} << 16) | entry.FDE2.u16FirstClusterLowWrd;

        auto node = TreeClassMethod::createNDIR();
        node->setentry(1);
        node->setblockSstartsAtSector(layout.dataStart);
        node->setspc(layout.sectorsPerCluster);
        node->setfileSize(entry.FDE3.u32FileSize);
        node->setpresentSect(rootDirectory);
        node->setcreatedDate(uint32_t{entry.FDE2.u16CreatedDate} << 16 | entry.FDE2.u16CreatedTime);
        node->setmodifiedDate(uint32_t{entry.FDE2.u16WriteDate} << 16 | entry.FDE2.u16WriteTime);
        node->setdelete(entry.isDeleted || fileName.find(".Trashes") != std::string::npos);
        if (rootDirectory >= layout.dataStart && rootDirectory - layout.dataStart <= layout.sectorsPerCluster)
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
            node->setstartRange(layout.clusterSector(firstCluster));
            node->setendRange(layout.clusterSector(firstCluster) + layout.sectorsPerCluster - 1);
        }
        // A folder's extents hold the cluster numbers of its further clusters.
        if (firstCluster >= 2)
            if (const auto chain =
                    getClusterForSector_withReservedCount_andvolStart(firstCluster, layout.reserved, layout.volumeStart))
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
    const FatLayout layout = layoutOf(*FS);
    const uint64_t size = file.fileSize;
    if (size == 0 || firstCluster < 2) return;
    const uint64_t clusterBytes = uint64_t{layout.sectorsPerCluster} * blockSize;
    // An existing file whose chain is intact is described by its chain, run by run, so a
    // fragmented file comes back whole. A deleted file's chain is gone: its clusters are
    // taken to follow one another.
    if (!file.deleted) {
        const auto chain = getClusterForSector_withReservedCount_andvolStart(firstCluster, layout.reserved,
                                                                            layout.volumeStart);
        if (chain && !chain->empty() && chain->back() >= kEndOfChain &&
            chain->size() == (size + clusterBytes - 1) / clusterBytes) {
            std::vector<uint32_t> clusters{firstCluster};
            clusters.insert(clusters.end(), chain->begin(), chain->end() - 1);
            for (auto [first, count] : RecoveryModule::clusterRuns(clusters))
                TreeClassMethod::addDataExtStartBlock_blockCount_toDir(
                    static_cast<uint32_t>(uint64_t{layout.sectorsPerCluster} * (first - 2)),
                    static_cast<uint32_t>(uint64_t{layout.sectorsPerCluster} * count), &file);
            return;
        }
    }
    const uint64_t start = uint64_t{layout.sectorsPerCluster} * (firstCluster - 2);
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
        const FatLayout layout = layoutOf(*FS);
        const auto bytes = readClusterRuns(layout.dataStart, layout.sectorsPerCluster, clusters, kMaxDirectoryBytes);
        if (!bytes) {
            consoleLog("Unable to read sector\n");
            return std::nullopt;
        }
        return deepScanForFatWithBlock_withParent_withSize_withScanType_andStartSector(
            ByteView(*bytes), folder, static_cast<uint32_t>(bytes->size()), scanType, folder->blocksStartsAtSector);
    });
}

int RecoveryModule::deepScanForFatWithBlock_withParent_withSize_withScanType_andStartSector(
    ByteView block, BaseTree* parent, uint32_t size, const std::string& scanType, uint64_t startSector) {
    try {
        const bool deep = scanType == "D";
        const uint64_t s = startSector;
        size_t offset = 64;
        const bool folderCluster = deep && startsWithDotEntries(block);
        // Any maker's name may follow the jump ("MSDOS5.0", "BSD  4.4", "mkfs.fat", a
        // camera's): the boot-sector test itself decides.
        if (deep && !folderCluster && block.matches(0, "\xEB\x58\x90")) return recogniseFatVolume(block, s);
        if (deep && !folderCluster && FS) {
            const uint64_t dataStart = FS->u64RootDirectorySectors;
            bool zeroed = true;
            for (size_t i = 13; i <= 20; ++i) zeroed = zeroed && block.u8(i) == 0;
            if (s != dataStart && zeroed) {
                offset = 96;
                if (s + uint32_t(FS->u32FATSize * FS->u8NumberOfFats) + FS->u16ReservedSectorCount != dataStart)
                    FS.reset();
            } else {
                offset = s == dataStart ? 96 : 0;
            }
        }
        if (!deep && !startsWithDotEntries(block)) return 0;  // not a folder's first cluster

        std::vector<uint8_t> buffer(block.data(), block.data() + std::min<size_t>(size, block.size()));
        if (deep && FS && !readFatCluster(s, buffer)) return 0;
        int count = 0;
        for (ByteView entries(buffer); entries.has(offset, kEntrySize); offset += kEntrySize) {
            if (checkStart8BytesAreZero(entries.sub(offset, kEntrySize))) break;
            const auto named = readNamedEntry(entries, offset, deep ? 32 : 64);
            if (!named) continue;
            if (FS || !deep) {
                const auto [base, extension] = splitExtension(named->name);
                count += addFatFileAndFolder_withFileName_extension_rootDirectory_andParent_sacnType(
                    named->entry, named->entry.isFolder ? named->name : base, extension, s, parent, scanType);
                continue;
            }
            // A root directory with no volume known: its first entry must be a folder
            // (never a folder's own "." cluster), and the cluster size is guessed.
            if (!named->entry.isFolder || startsWithDotEntries(block)) return 0;
            const uint32_t guess = checkForSPCForFat(s);
            if (guess == 0) return 0;
            FS = FatBootSectors{};
            ++fatEntryCount;
            FS->setU64RootDirectorySector(s);
            FS->setU8SectorPerClusters(static_cast<uint8_t>(std::min<uint32_t>(guess, 255)));
            if (!readFatCluster(s, buffer)) return 0;
            entries = ByteView(buffer);
            offset = 96 - kEntrySize;
        }
        if (count == 0) return 0;
        if (offset > blockSize) tillSectorReaded += (offset + blockSize - 1) / blockSize;
        return count;
    } catch (const std::exception& e) {
        log(e.what(), "Fat deepScanForFatWithBlock");
        return 0;
    }
}

// A FAT32 boot sector met by the sweep at sector s: 1 when it is taken as a volume.
int RecoveryModule::recogniseFatVolume(ByteView block, uint64_t s) {
    if (FS && FS->u64RootDirectorySectors > s) return 1;  // the backup boot sector, 6 sectors in
    FS = readFatBootSectors(block, s);
    if (!FS) return 0;
    const uint64_t dataStart = s + uint32_t(FS->u32FATSize * FS->u8NumberOfFats) + FS->u16ReservedSectorCount;
    FS->setU64RootDirectorySector(dataStart);
    std::vector<uint8_t> root(std::max<uint32_t>(blockSize, 512), 0);
    if (DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(dataStart, blockSize,
                                                                                       diskPath(), root, 1)) {
        FS.reset();
        return 0;
    }
    // A root directory is expected there: the hidden "~1" folders a Mac leaves, or a
    // volume label or a plausible entry first.
    const ByteView first(root);
    const bool macFolders = first.matches(70, "~1") || first.matches(102, "~1");
    const uint8_t attribute = first.u8(11);
    const bool rootLike = attribute == 0x08 || (first.u8(0) != 0 && checkValidate_withExtensuion_andFlag(
                                                                       first.sub(0, 8), first.sub(8, 3),
                                                                       (attribute & 0x10) == 0));
    if (!macFolders && !rootLike) {
        FS.reset();
        return 0;
    }
    if (startSectorForPhysicalScan == 0) startSectorForPhysicalScan = s;
    ++fatEntryCount;
    return 1;
}

// Re-reads one whole cluster of the known volume at sector s.
bool RecoveryModule::readFatCluster(uint64_t s, std::vector<uint8_t>& buffer) {
    const uint32_t perUnit = std::max<uint32_t>(blockSize / 512, 1);
    const uint32_t sectors = blockSize <= 512 ? FS->u8SectorPerCluster : FS->u8SectorPerCluster / perUnit;
    if (sectors == 0) return false;
    buffer.assign(size_t{sectors} * blockSize, 0);
    return !DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(s, blockSize, diskPath(),
                                                                                           buffer, sectors);
}

uint32_t RecoveryModule::checkForSPCForFat(uint64_t sector) {
    const uint64_t perUnit = std::max<uint32_t>(blockSize / 512, 1);
    const uint64_t first = returnZeroStartSectorFromSector_withLimit(sector, 255);
    if (first == 0) return 0;
    std::vector<uint8_t> buffer(blockSize);
    for (uint64_t r = first; perUnit * (r - sector) < 256; ++r) {
        std::fill(buffer.begin(), buffer.end(), 0);
        if (DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(r, blockSize, diskPath(),
                                                                                           buffer, 1))
            return 0;
        // The first folder made on the volume sits in cluster 3, right after the root's cluster 2.
        for (size_t piece = 0; piece + 512 <= buffer.size(); piece += 512) {
            const ByteView p = ByteView(buffer).sub(piece, 512);
            if (p.u8(0) == '.' || p.u8(32) == '.' || p.u8(33) == '.') {
                const uint64_t distance = perUnit * (r - sector) + piece / 512;
                return distance % 2 == 0 ? static_cast<uint32_t>(distance) : 0;
            }
        }
    }
    return 0;
}

uint64_t RecoveryModule::returnZeroStartSectorFromSector_withLimit(uint64_t sector, uint64_t limit) {
    try {
        const uint64_t perUnit = std::max<uint32_t>(blockSize / 512, 1);
        std::vector<uint8_t> buffer(std::max<uint32_t>(blockSize, 8));
        for (uint64_t r = sector + 1; perUnit * (r - sector) <= limit; ++r) {
            std::fill(buffer.begin(), buffer.end(), 0);
            if (DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(r, blockSize,
                                                                                               diskPath(), buffer, 1))
                return 0;
            if (checkStart8BytesAreZero(ByteView(buffer))) return r;
        }
    } catch (const std::exception& e) {
        log(e.what(), "returnZeroStartSectorFromSector");
    }
    return 0;
}

}  // namespace norix
