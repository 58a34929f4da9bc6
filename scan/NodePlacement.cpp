// Where every file and folder a scan finds goes in the result tree: under the
// quick-scan categories, under its folder in a lost partition, or, for a file found
// by its header, under "Lost and Found" by extension in groups of a thousand, with a
// copy under "Tags" by camera model, artist or author.
//
// Only the scan thread changes the tree, so it may look at the tree without the lock;
// it takes the lock exclusively for every change, and never while it reads the device.
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "results/TreeClassMethod.h"
#include "scan/RecoveryModule.h"
#include "signatures/tags/FileCheck.h"

namespace norix {

namespace {

constexpr uint64_t kLargestFile = 107374182400;  // 100 GiB
constexpr uint32_t kGroupSize = 1000;            // carved files per numbered group folder

constexpr std::array<std::string_view, 17> kJunkFilePrefixes{
    "live.", "journals.", "reverseDirectoryStore.", "0.", "dbStr-", "store.", "tmp.", "Lion.", "Cab.",
    "journal.", "journalAttr.", "retire.", "._", "_~", "000", "temp", "_"};
constexpr std::array<std::string_view, 8> kJunkFolderPrefixes{".0.", ".Spot", ".fseven", "journals.",
                                                              "store.", "Store", ".store", "0000"};
// Characters that disqualify a tag text as a folder name (the last six in UTF-8).
constexpr std::array<std::string_view, 33> kTagSpecialCharacters{
    "!", "@", "#", "$", "%", "^", "&", "*", "(", ")", "+", "\u00FC", "\u0201", "<", ">", "?", "/",
    "|", "\\", "~", "`", ".", ":", ";", "\"", "}", "{", "[", "]", "\u00A5", "\u00EB", "\u00E0", "\u00E4"};

using TagReader = std::optional<TagDictionary> (*)(const BaseTree&, uint32_t, const std::string&);

struct TagSource {
    std::string_view extension;
    const char* category;
    TagReader reader;
};

constexpr std::array<TagSource, 10> kTagSources{{
    {"docx", "Word", &FileCheck::checkForTagsInOfficeX_withBlockSize_andPath},
    {"pptx", "PowerPoint", &FileCheck::checkForTagsInOfficeX_withBlockSize_andPath},
    {"xlsx", "Sheet", &FileCheck::checkForTagsInOfficeX_withBlockSize_andPath},
    {"doc", "Word", &FileCheck::checkForTagsInOffice_withBlockSize_andPath},
    {"ppt", "PowerPoint", &FileCheck::checkForTagsInOffice_withBlockSize_andPath},
    {"xls", "Sheet", &FileCheck::checkForTagsInOffice_withBlockSize_andPath},
    {"mp3", "Artist", &FileCheck::checkForTagsInAudio_withBlockSize_andPath},
    {"jpg", "Camera", &FileCheck::checkForTagsInImage_withBlockSize_andPath},
    {"raf", "Camera", &FileCheck::checkForTagsInImage_withBlockSize_andPath},
    {"crw", "Camera", &FileCheck::checkForTagsInImage_withBlockSize_andPath},
}};

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

std::string asciiLowerCased(std::string text) {
    std::ranges::transform(text, text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string valueFor(const TagDictionary& tags, const std::string& key) {
    const auto found = tags.find(key);
    return found == tags.end() ? std::string{} : found->second;
}

// A tag group names a folder only when it has more than 3 characters (UTF-16 units,
// as displayed) once spaces and tabs are trimmed and holds none of the special ones.
bool acceptedTagGroup(const std::string& group) {
    const size_t first = group.find_first_not_of(" \t");
    if (first == std::string::npos) return false;
    const std::string_view trimmed = std::string_view(group).substr(first, group.find_last_not_of(" \t") + 1 - first);
    size_t units = 0;
    for (unsigned char c : trimmed) units += ((c & 0xC0) != 0x80) + (c >= 0xF0);
    return units > 3 && !RecoveryModule::checkForSpecialCharacterInName(group);
}

// "Fat" for the first lost partition of a file system, then "Fat - 1", "Fat - 2"...
std::string lostPartitionLabel(const std::string& fileSystem, int32_t entryCount) {
    return entryCount <= 1 ? fileSystem : fileSystem + " - " + std::to_string(entryCount - 1);
}

// "jpg [1001 - 2000]": the group that holds the file after the first `placed` ones.
std::string groupName(const std::string& extension, uint32_t placed) {
    const uint64_t first = uint64_t{placed} / kGroupSize * kGroupSize + 1;
    return extension + " [" + std::to_string(first) + " - " + std::to_string(first + kGroupSize - 1) + "]";
}

std::string numberedName(uint64_t number, const std::string& extension) {
    return "File " + std::to_string(number) + "." + extension;
}

// (sector + sectors) × sectorSize + bytes, or nothing when that leaves 64 bits.
std::optional<uint64_t> devicePosition(uint64_t sector, uint64_t sectors, uint64_t sectorSize, uint64_t bytes) {
    uint64_t position = 0;
    if (__builtin_add_overflow(sector, sectors, &position) || __builtin_mul_overflow(position, sectorSize, &position) ||
        __builtin_add_overflow(position, bytes, &position))
        return std::nullopt;
    return position;
}

}  // namespace

// --- name filters ---

bool RecoveryModule::checkValidFileName(const std::string& name) {
    if (name.empty() || name == ".DS_Store" || name == "._.DS_Store") return false;
    if (std::ranges::any_of(kJunkFilePrefixes, [&](std::string_view prefix) { return name.starts_with(prefix); }))
        return false;
    return !contains(name, "fseventsd") && !contains(name, "VolumeConfiguration.plist");
}

bool RecoveryModule::checkValidFolderName(const std::string& name) {
    if (name.empty() || name == ".DS_Store" || name.ends_with(".tmp")) return false;
    return std::ranges::none_of(kJunkFolderPrefixes, [&](std::string_view prefix) { return name.starts_with(prefix); });
}

bool RecoveryModule::checkForSpecialCharacterInName(const std::string& text) {
    return std::ranges::any_of(kTagSpecialCharacters,
                               [&](std::string_view special) { return contains(text, special); });
}

int32_t RecoveryModule::getEntryCountForFileSystem(const std::string& name) const {
    if (name == "Apfs") return apfsEntryCount;
    if (name == "ExFat") return exfatEntryCount;
    if (name == "Fat") return fatEntryCount;
    return hfsEntryCount;
}

// --- linking ---

BaseTree* RecoveryModule::addChild_andParent(std::unique_ptr<BaseTree> child, BaseTree* parent) {
    try {
        std::unique_lock lock(treeLock());
        return linkChild(std::move(child), parent);
    } catch (const std::exception& e) {
        log(e.what(), "addChild andParent");
        return nullptr;
    }
}

BaseTree* RecoveryModule::linkChild(std::unique_ptr<BaseTree> child, BaseTree* parent) {
    if (!child || !parent) return nullptr;
    BaseTree* linked = parent->addChild(std::move(child));
    TreeClassMethod::addParent_toNDIR(parent, linked);
    if (linked->fileType == 2) {
        for (BaseTree* ancestor = parent; ancestor; ancestor = ancestor->pndirPointer)
            ancestor->fileSize += linked->fileSize;
    } else {
        parent->folderCount += 1;
    }
    return linked;
}

BaseTree* RecoveryModule::linkAndCount(std::unique_ptr<BaseTree> child, BaseTree* parent) {
    BaseTree* linked = linkChild(std::move(child), parent);
    TreeClassMethod::addChildCountInDIR(linked);
    return linked;
}

// --- placing ---

bool RecoveryModule::addFileDir_toDir_onParentID_withScanType_andFileSytem(std::unique_ptr<BaseTree> fileDir,
                                                                           BaseTree* dir, uint32_t parentID,
                                                                           const std::string& scanType,
                                                                           const std::string& fileSystem) {
    try {
        if (!fileDir || fileDir->fileSize > kLargestFile) return false;
        if (scanType == "D" && fileSystem == "LF") return placeCarvedFile(std::move(fileDir), nullptr);
        // A file without extents cannot be read back, unless there is nothing to read.
        const bool unreadable = fileDir->dataExtArray.empty() && fileDir->fileSize > 0;
        if (!checkValidFileName(fileDir->fileName) || unreadable) return false;
        if (scanType == "Q") return placeQuickScanNode(std::move(fileDir), dir, parentID, fileSystem, true);
        if (scanType == "D") return placeLostPartitionNode(std::move(fileDir), dir, parentID, fileSystem, false);
        return false;
    } catch (const std::exception& e) {
        log(e.what(), "addFileDir");
        return false;
    }
}

bool RecoveryModule::addFolderDir_toParentDir_withParentID_withscanType_andFileSystem(
    std::unique_ptr<BaseTree> folderDir, BaseTree* parentDir, uint32_t parentID, const std::string& scanType,
    const std::string& fileSystem) {
    try {
        if (!folderDir || !checkValidFolderName(folderDir->fileName)) return false;
        if (folderDir->fileName == ".Trashes") folderDir->setName("Trashes");
        if (scanType == "Q") return placeQuickScanNode(std::move(folderDir), parentDir, parentID, fileSystem, false);
        if (scanType == "D" && fileSystem != "LF")
            return placeLostPartitionNode(std::move(folderDir), parentDir, parentID, fileSystem, true);
        return false;
    } catch (const std::exception& e) {
        log(e.what(), "addFolderDir");
        return false;
    }
}

bool RecoveryModule::placeQuickScanNode(std::unique_ptr<BaseTree> node, BaseTree* dir, uint32_t parentID,
                                        const std::string& fileSystem, bool rejectDuplicate) {
    std::unique_lock lock(treeLock());
    BaseTree* quick = dirRoot() ? dirRoot()->getChildAtIndex(0) : nullptr;
    if (quick && quick->fileName != kQuickScan) quick = nullptr;
    // Without a suggested parent the whole quick-scan branch is looked through.
    BaseTree* scope = dir ? dir : quick;
    // The live catalog and its journal copies report the same HFS+ record more than once.
    if (rejectDuplicate && fileSystem == "HFS" &&
        TreeClassMethod::checkForNDIR_withFileID_andNodeName(scope, node->fileID, node->fileName)) {
        fileCount -= 1;
        return false;
    }
    BaseTree* target = dir;
    if (!dir || dir->fileName == kQuickScan) {
        BaseTree* byDeletedMark = quick ? quick->getChildAtIndex(node->deleted ? 1 : 0) : nullptr;
        if (fileSystem == "ExFat" || fileSystem == "Fat" || (fileSystem != "Apfs" && parentID == 2)) {
            target = byDeletedMark;
        } else if (fileSystem != "Apfs") {
            BaseTree* owner = TreeClassMethod::checkForParentInDIR_withID(scope, parentID);
            target = owner ? owner : (quick ? quick->getChildAtIndex(1) : nullptr);
        }
    }
    return linkChild(std::move(node), target) != nullptr;
}

bool RecoveryModule::placeLostPartitionNode(std::unique_ptr<BaseTree> node, BaseTree* dir, uint32_t parentID,
                                            const std::string& fileSystem, bool folder) {
    bool createdPartition = false;
    {
        std::unique_lock lock(treeLock());
        BaseTree* partition = nullptr;
        BaseTree* target = lostPartitionTarget(*node, dir, parentID, fileSystem, createdPartition, partition);
        BaseTree* linked = linkChild(std::move(node), target);
        if (!linked) return false;
        if (folder && partition && (fileSystem == "Fat" || fileSystem == "ExFat")) rememberLostFolder(partition, linked);
    }
    if (createdPartition && folder && del) del->reloadOutlineData();
    return true;
}

BaseTree* RecoveryModule::lostPartitionTarget(const BaseTree& node, BaseTree* dir, uint32_t parentID,
                                              const std::string& fileSystem, bool& createdPartition,
                                              BaseTree*& partition) {
    if (!dir || dir->fileName != kDeepScan) return dir;
    // A partition is matched by its folder's whole name: "Lost Partition: ExFat"
    // contains "Fat" but holds another volume.
    const std::string partitionName =
        "Lost Partition: " + lostPartitionLabel(fileSystem, getEntryCountForFileSystem(fileSystem));
    partition =
        fileSystem == "Apfs" ? dir : TreeClassMethod::getNDIRFromLostAndFound_withExtensionName(dir, partitionName);
    if (!partition) {
        partition = linkAndCount(TreeClassMethod::createNDIRWithName(partitionName), dir);
        linkAndCount(TreeClassMethod::createNDIRWithName("Lost"), partition);
        createdPartition = true;
        return partition;
    }
    BaseTree* lost = partition->getChildAtIndex(0);
    if (fileSystem == "Fat" || fileSystem == "ExFat") {
        // The folder whose directory cluster holds the entry; else "Lost", but the
        // root's own entries go straight into the partition.
        if (BaseTree* owner = lostFolderOwning(partition, node.presentSector)) return owner;
        return node.fileID == 2 || !lost ? partition : lost;
    }
    BaseTree* candidate = partition;
    if (BaseTree* owner = TreeClassMethod::checkForParentInDIR_withID(partition, parentID)) {
        if (TreeClassMethod::checkForNDIR_withFileID_andNodeName(owner, node.fileID, node.fileName)) return nullptr;
        candidate = owner;
    }
    const BaseTree* above = candidate->getParent();
    BaseTree* candidateLost = candidate->getChildAtIndex(0);
    if (candidateLost && contains(candidate->fileName, "Lost Partition") && !contains(candidate->fileName, "HFS") &&
        above && contains(above->fileName, kDeepScan))
        return candidateLost;
    return candidate;
}

// The directory clusters of a folder placed in a lost partition, so the entries found
// in them later join it without a search of the partition.
void RecoveryModule::rememberLostFolder(const BaseTree* partition, BaseTree* folder) {
    auto& sectors = lostFolderSectors_[partition];
    if (folder->startRange <= folder->endrange) sectors.try_emplace(folder->startRange, folder->endrange, folder);
    if (folder->SPC == 0) return;
    for (const DataExt& extent : folder->dataExtArray) {
        if (extent.startBlock < 2) continue;
        const uint64_t first = folder->blocksStartsAtSector + uint64_t{folder->SPC} * (extent.startBlock - 2);
        sectors.try_emplace(first, first + folder->SPC - 1, folder);
    }
}

BaseTree* RecoveryModule::lostFolderOwning(const BaseTree* partition, uint64_t sector) const {
    const auto found = lostFolderSectors_.find(partition);
    if (found == lostFolderSectors_.end()) return nullptr;
    auto run = found->second.upper_bound(sector);
    if (run == found->second.begin()) return nullptr;
    --run;
    return sector <= run->second.first ? run->second.second : nullptr;
}

BaseTree* RecoveryModule::currentLostPartition(const std::string& fileSystem) const {
    BaseTree* deep = deepNode();
    if (!deep) return nullptr;
    return TreeClassMethod::getNDIRFromLostAndFound_withExtensionName(
        deep, "Lost Partition: " + lostPartitionLabel(fileSystem, getEntryCountForFileSystem(fileSystem)));
}

bool RecoveryModule::placeSweptFile(CarvedFile& carved) {
    activeExtension = carved.extension;
    jpgPresent = carved.jpgPresent;
    jpgStartSector = carved.jpgStartSector;
    extraByteOffsetForJPG = carved.extraByteOffsetForJPG;
    jpgRawSize = carved.jpgRawSize;
    try {
        return carved.node->fileSize <= kLargestFile && placeCarvedFile(std::move(carved.node), &carved.tags);
    } catch (const std::exception& e) {
        log(e.what(), "addFileDir");
        return false;
    }
}

RecoveryModule::CarvedTags RecoveryModule::readCarvedTags(const BaseTree& node, const std::string& extension) const {
    CarvedTags found;
    const auto source = std::ranges::find(kTagSources, extension, &TagSource::extension);
    if (source == kTagSources.end()) return found;
    // The node's extents count in its own units (512 bytes for a carved file), which need
    // not be the device's sector size.
    try {
        auto tags = source->reader(node, node.blockSize ? node.blockSize : blockSize, diskPath());
        if (!tags || tags->empty()) return found;
        found.category = source->category;
        found.tags = std::move(*tags);
    } catch (const std::exception& e) {
        found.error = e.what();
    }
    return found;
}

bool RecoveryModule::placeCarvedFile(std::unique_ptr<BaseTree> fileDir, const CarvedTags* readAhead) {
    const std::string extension = activeExtension;
    BaseTree* deep = deepNode();
    BaseTree* lostAndFound = deep ? deep->getChildAtIndex(0) : nullptr;
    if (extension.empty() || !lostAndFound) return false;

    BaseTree* typeFolder = TreeClassMethod::getNDIRFromLostAndFound_withExtensionName(lostAndFound, extension);
    const uint32_t placed = typeFolder ? LFDict[extension] : 0;
    const uint64_t number = uint64_t{placed} + 1;
    fileDir->setName(numberedName(number, extension));

    // The device is read before the tree is locked.
    const CarvedTags found = readAhead ? CarvedTags{} : readCarvedTags(*fileDir, extension);
    const CarvedTags& tags = readAhead ? *readAhead : found;
    if (!tags.error.empty()) log(tags.error, "searchForTagsInNDIR");
    std::unique_ptr<BaseTree> preview = jpgPresent ? createJPGRawNode(*fileDir) : nullptr;

    {
        std::unique_lock lock(treeLock());
        if (!typeFolder) typeFolder = linkAndCount(TreeClassMethod::createNDIRWithName(extension), lostAndFound);
        BaseTree* group = typeFolder->childrenArray.empty() ? nullptr : typeFolder->childrenArray.back().get();
        if (placed % kGroupSize == 0 || !group)
            group = linkAndCount(TreeClassMethod::createNDIRWithName(groupName(extension, placed)), typeFolder);
        BaseTree* file = linkAndCount(std::move(fileDir), group);
        if (preview) {
            preview->setName(numberedName(number, "jpg"));
            linkAndCount(std::move(preview), group);
        }
        if (tags.category)
            fileTagCopy(*file, deep->getChildAtIndex(1), tags.category, valueFor(tags.tags, "Model"),
                        valueFor(tags.tags, "Name"));
    }
    LFDict[extension] = static_cast<uint32_t>(number);
    activeExtension.clear();
    return true;
}

// --- the embedded preview of a raw image ---

std::unique_ptr<BaseTree> RecoveryModule::createJPGRawNode(const BaseTree& rawFile) const {
    // The preview is counted in the raw file's own units (512 bytes for a carved file),
    // whatever the device's sector size.
    const uint32_t unit = rawFile.blockSize;
    if (unit == 0 || rawFile.dataExtArray.empty()) return nullptr;
    // The preview must lie inside the raw file; a size running past its end is cut there.
    const auto fileStart = devicePosition(rawFile.blocksStartsAtSector, rawFile.dataExtArray.front().startBlock,
                                          rawFile.blockSize, 0);
    const auto fileEnd = fileStart ? devicePosition(*fileStart, 0, 1, rawFile.fileSize) : std::nullopt;
    const auto previewStart = devicePosition(jpgStartSector, 0, unit, extraByteOffsetForJPG);
    if (!fileEnd || !previewStart || *previewStart < *fileStart || *previewStart >= *fileEnd) return nullptr;
    const uint64_t size = std::min(jpgRawSize, *fileEnd - *previewStart);

    // The extent's start holds the byte offset into the sectors from jpgStartSector; an
    // offset beyond 32 bits moves its whole sectors into the start sector instead.
    uint64_t startSector = jpgStartSector;
    uint64_t offset = extraByteOffsetForJPG;
    if (offset > UINT32_MAX) {
        startSector += offset / unit;
        offset %= unit;
    }
    const uint64_t sectors = (size + offset + unit - 1) / unit;
    if (size == 0 || sectors > UINT32_MAX) return nullptr;

    auto preview = TreeClassMethod::createNDIR();
    preview->setFileTypes(2);
    preview->createButtons();
    preview->setfileSize(size);
    preview->setblockSstartsAtSector(startSector);
    preview->setentry(6);
    preview->setblockSize(unit);
    TreeClassMethod::addDataExtStartBlock_blockCount_toDir(static_cast<uint32_t>(offset),
                                                           static_cast<uint32_t>(sectors), preview.get());
    return preview;
}

// --- tags ---

void RecoveryModule::searchForTagsInNDIR_andAddToRespectiveParent(const BaseTree& node, BaseTree* tags) {
    try {
        const CarvedTags found = readCarvedTags(node, node.getExtension().value_or(""));
        if (!found.error.empty()) throw std::runtime_error(found.error);
        if (!found.category) return;
        std::unique_lock lock(treeLock());
        fileTagCopy(node, tags, found.category, valueFor(found.tags, "Model"), valueFor(found.tags, "Name"));
    } catch (const std::exception& e) {
        log(e.what(), "searchForTagsInNDIR");
    }
}

void RecoveryModule::fileTagCopy(const BaseTree& node, BaseTree* tags, const std::string& category,
                                 const std::string& group, const std::string& title) {
    if (!tags || !acceptedTagGroup(group)) return;
    BaseTree* categoryFolder = TreeClassMethod::getNDIRFromLostAndFound_withExtensionName(tags, category);
    if (!categoryFolder) return;
    const std::string key = asciiLowerCased(group);
    auto& counters = Tags[category];
    BaseTree* groupFolder = TreeClassMethod::getNDIRFromLostAndFound_withExtensionName(categoryFolder, key);
    if (!groupFolder) {
        groupFolder = linkAndCount(TreeClassMethod::createNDIRWithName(key), categoryFolder);
        counters[key] = 0;
    }
    // Untitled copies are numbered per group; titled ones take their title.
    const std::string extension = node.getExtension().value_or("");
    const bool untitled = title.empty() || title == "Unknown";
    auto copy = TreeClassMethod::createAndValuesFromDIR(&node);
    copy->setName(untitled ? numberedName(++counters[key], extension) : title + "." + extension);
    copy->createButtons();
    linkAndCount(std::move(copy), groupFolder);
}

}  // namespace norix
