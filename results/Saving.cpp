// Copying checked nodes out of the scanned device into the destination folder.
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "disk/DiskReader.h"
#include "disk/Platform.h"
#include "results/BaseTree.h"

namespace norix {

namespace {

constexpr uint64_t kUnitsPerPass = 1024;
constexpr uint64_t kMaxPassBytes = 8u << 20;
// No real device has larger units; a larger value comes from damaged metadata.
constexpr uint32_t kMaxBlockSize = 16u << 20;
constexpr uint64_t kMaxRawJpgBytes = 256u << 20;
constexpr size_t kMaxNameBytes = 255;
// Renaming on a collision gives up after "name (9999).ext".
constexpr int kMaxRenames = 9999;
// A longer "extension" is kept as part of the name, so " (n)" still has room.
constexpr size_t kMaxExtensionBytes = 200;

// The longest start of text of at most `bytes` bytes that ends on a UTF-8 boundary.
std::string utf8Prefix(const std::string& text, size_t bytes) {
    if (text.size() <= bytes) return text;
    while (bytes > 0 && (static_cast<uint8_t>(text[bytes]) & 0xC0) == 0x80) --bytes;
    return text.substr(0, bytes);
}

// Anything there, a dangling link included; a name that cannot be looked at counts as taken.
bool exists(int folderFd, const std::string& name) {
    struct stat st;
    return ::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT;
}

bool writeAll(int fd, std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes = bytes.subspan(static_cast<size_t>(n));
    }
    return true;
}

// Writes and counts the bytes; a full destination ends the run.
bool writeCounted(SaveRun& run, int fd, std::span<const uint8_t> bytes) {
    if (!writeAll(fd, bytes)) {
        if (errno == ENOSPC || errno == EDQUOT) run.report.destinationFull = true;
        return false;
    }
    run.savedSize += static_cast<int64_t>(bytes.size());
    return true;
}

// Adds the ranges of unreadable that fall in the device bytes [deviceStart, deviceStart +
// length) to lost, as offsets from fileOffset, joined to a range they meet.
void addLost(const UnreadableRanges& unreadable, uint64_t deviceStart, uint64_t length, uint64_t fileOffset,
             std::vector<ByteRange>& lost) {
    for (const ByteRange& range : unreadable.ranges()) {
        if (range.end <= deviceStart || range.first >= deviceStart + length) continue;
        const uint64_t first = fileOffset + (std::max(range.first, deviceStart) - deviceStart);
        const uint64_t end = fileOffset + (std::min(range.end, deviceStart + length) - deviceStart);
        if (!lost.empty() && lost.back().end == first) lost.back().end = end;
        else lost.push_back({first, end});
    }
}

// Reads a node's data extent by extent, in passes of at most 1024 units, and hands
// each pass, cut to what is left of fileSize, to the sink. Sectors that cannot be read
// are zeros, their bytes added to lost as offsets in the file. The stop flag is tested
// before each extent.
template <typename Stop, typename Sink>
WriteOutcome readByExtents(const BaseTree& node, const std::string& diskPath, uint32_t sectorBytes,
                           std::vector<ByteRange>& lost, Stop&& stopped, Sink&& sink) {
    const uint32_t unit = node.blockSize;
    uint64_t remaining = node.fileSize;
    if (node.dataExtArray.empty() || remaining == 0) return WriteOutcome::Written;
    if (unit == 0 || unit > kMaxBlockSize) return WriteOutcome::ReadFailed;
    const uint64_t unitsPerPass = std::clamp<uint64_t>(kMaxPassBytes / unit, 1, kUnitsPerPass);
    std::vector<uint8_t> buffer(unitsPerPass * unit);
    for (const DataExt& ext : node.dataExtArray) {
        if (stopped()) return WriteOutcome::Stopped;
        if (node.blocksStartsAtSector > UINT64_MAX - ext.startBlock) return WriteOutcome::ReadFailed;
        uint64_t position = node.blocksStartsAtSector + ext.startBlock;
        for (uint64_t left = ext.blockCount; left > 0 && remaining > 0;) {
            const uint64_t n = std::min(unitsPerPass, left);
            const size_t bytes = static_cast<size_t>(n * unit);
            // Past the end of the device a read is short: what it does not fill is zeros.
            std::fill_n(buffer.begin(), bytes, 0);
            UnreadableRanges unreadable(sectorBytes);
            if (DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
                    position, unit, diskPath, std::span(buffer).first(bytes), n, &unreadable))
                return WriteOutcome::ReadFailed;
            const size_t take = static_cast<size_t>(std::min<uint64_t>(remaining, bytes));
            addLost(unreadable, position * unit, take, node.fileSize - remaining, lost);
            if (!sink(std::span<const uint8_t>(buffer).first(take))) return WriteOutcome::WriteFailed;
            remaining -= take;
            position += n;
            left -= n;
        }
        if (remaining == 0) break;
    }
    return WriteOutcome::Written;
}

// A folder being saved: the node, its folder in the destination and the next child
// to look at.
struct OpenFolder {
    const BaseTree* node;
    SaveFolder dir;
    size_t next = 0;
};

}  // namespace

SaveFolder::~SaveFolder() {
    if (fd >= 0) ::close(fd);
}

std::string safeFileName(const std::string& name) {
    std::string safe = name;
    std::replace(safe.begin(), safe.end(), '/', '_');
    std::replace(safe.begin(), safe.end(), '\0', '_');
    if (safe.empty() || safe == "." || safe == "..") safe = "_" + safe;
    return utf8Prefix(safe, kMaxNameBytes);
}

std::optional<SaveFolder> openSaveFolder(const SaveFolder& parent, const std::string& name) {
    if (::mkdirat(parent.fd, name.c_str(), 0777) != 0 && errno != EEXIST) return std::nullopt;
    const int fd = ::openat(parent.fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    return SaveFolder{fd, parent.path + "/" + name};
}

std::optional<std::string> BaseTree::getRenamedStringWithString_andFileManager(const std::string& name,
                                                                                int folderFd) {
    if (!exists(folderFd, name)) return name;
    // Each candidate is made from the name itself: "a.jpg", "a (1).jpg", "a (2).jpg", ...
    const size_t dot = name.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && dot > 0 && dot + 1 < name.size() && name.size() - dot <= kMaxExtensionBytes;
    const std::string stem = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot) : "";
    for (int counter = 1; counter <= kMaxRenames; ++counter) {
        const std::string suffix = " (" + std::to_string(counter) + ")" + extension;
        const std::string candidate = utf8Prefix(stem, kMaxNameBytes - suffix.size()) + suffix;
        if (!exists(folderFd, candidate)) return candidate;
    }
    return std::nullopt;
}

void BaseTree::saveFileWithdiskPath_andSavingPath_withFileManager_withFileCount_andFileSize_boolForStop(
    SaveRun& run, const SaveFolder& parent) {
    if (run.stopped() || selected == 0) return;
    if (fileType == 2) {
        try {
            saveFileWithStartSector_blockCount_withBlockSize_diskPath_andSavePath_withFileManager_withFileCount_andFileSize_boolForStop(
                run, parent);
        } catch (const std::exception&) {
            consoleLog("Saving Error '0_0' 404 Not Found\n");
        }
        return;
    }
    // Iterative, in the tree's order; each folder stays open while its children are saved.
    std::vector<OpenFolder> open;
    const auto enter = [&](const BaseTree& folder, const SaveFolder& in) {
        const std::string name = safeFileName(folder.fileName);
        auto dir = openSaveFolder(in, name);
        // The folder and all below it are skipped.
        if (!dir) return consoleLog("Unable to create the folder %s/%s\n", in.path.c_str(), name.c_str());
        open.push_back({&folder, std::move(*dir)});
    };
    enter(*this, parent);
    while (!open.empty() && !run.stopped()) {
        OpenFolder& top = open.back();
        if (top.next == top.node->childrenArray.size()) {
            open.pop_back();
            continue;
        }
        BaseTree* child = top.node->childrenArray[top.next++].get();
        if (child->selected == 0) continue;
        try {
            if (child->fileType == 2)
                child->saveFileWithStartSector_blockCount_withBlockSize_diskPath_andSavePath_withFileManager_withFileCount_andFileSize_boolForStop(
                    run, top.dir);
            else
                enter(*child, top.dir);
        } catch (const std::exception&) {
            consoleLog("Saving Error '0_0' 404 Not Found\n");
        }
    }
}

void BaseTree::saveFileWithStartSector_blockCount_withBlockSize_diskPath_andSavePath_withFileManager_withFileCount_andFileSize_boolForStop(
    SaveRun& run, const SaveFolder& folder) {
    if (run.stopped()) return;
    std::string name = safeFileName(fileName);
    int fd = -1;
    while (fd < 0) {
        while (exists(folder.fd, name)) {
            if (run.skipAll) return void(++run.report.skipped);
            std::optional<std::string> renamed;
            if (run.renameALL) {
                renamed = getRenamedStringWithString_andFileManager(name, folder.fd);
            } else {
                const CollisionAnswer answer = run.onCollision ? run.onCollision(name) : CollisionAnswer{};
                if (answer.kind == CollisionAnswer::Skip) return void(++run.report.skipped);
                if (answer.kind == CollisionAnswer::SkipAll) {
                    run.skipAll = true;
                    return void(++run.report.skipped);
                }
                const std::string wanted = safeFileName(answer.name);
                if (answer.kind == CollisionAnswer::Rename) {
                    name = wanted;
                    continue;
                }
                run.renameALL = true;
                renamed = !answer.name.empty() && wanted != name
                              ? wanted
                              : getRenamedStringWithString_andFileManager(name, folder.fd);
            }
            if (!renamed) {
                consoleLog("Error While Saving \"%s/%s\": no free name\n", folder.path.c_str(), name.c_str());
                return;
            }
            name = *renamed;
            break;
        }
        fd = ::openat(folder.fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            consoleLog("Error While Saving \"%s/%s\"\n", folder.path.c_str(), name.c_str());
            return;
        }
    }
    if (name != fileName) run.renamed.emplace_back(this, name);

    const int64_t sizeBefore = run.savedSize;
    WriteOutcome outcome;
    std::vector<ByteRange> lost;
    if (entry == 6) {
        const auto data = getDataForRawJPGWithBSD(run.diskPath, &lost, run.sectorBytes);
        outcome = !data                         ? WriteOutcome::ReadFailed
                  : writeCounted(run, fd, *data) ? WriteOutcome::Written
                                                 : WriteOutcome::WriteFailed;
    } else {
        outcome = saveFileWithdiskPath_andSavePath_withFileManager_withFileCount_andFileSize_boolForStop(run, fd, lost);
    }
    if (::close(fd) != 0 && outcome == WriteOutcome::Written) outcome = WriteOutcome::WriteFailed;

    const std::string path = folder.path + "/" + name;
    switch (outcome) {
    case WriteOutcome::Written:
        // Kept with zeros where the device failed, and said so: never counted as whole.
        if (lost.empty()) run.savedFile += 1;
        else run.report.unreadable.push_back({path, std::move(lost)});
        break;
    case WriteOutcome::ReadFailed:  // what could be read stays: it is all there is
        consoleLog("Failed saving %s\n", path.c_str());
        break;
    case WriteOutcome::WriteFailed:
        consoleLog("Error While Saving \"%s\"\n", path.c_str());
        [[fallthrough]];
    case WriteOutcome::Stopped:
        // A file cut short must not pass for a whole one.
        ::unlinkat(folder.fd, name.c_str(), 0);
        run.savedSize = sizeBefore;
        run.report.cutShort.push_back(path);
        break;
    }
}

WriteOutcome BaseTree::saveFileWithdiskPath_andSavePath_withFileManager_withFileCount_andFileSize_boolForStop(
    SaveRun& run, int fd, std::vector<ByteRange>& lost) {
    return readByExtents(
        *this, run.diskPath, run.sectorBytes, lost, [&] { return run.stopped(); },
        [&](std::span<const uint8_t> bytes) { return writeCounted(run, fd, bytes); });
}

std::optional<std::vector<uint8_t>> BaseTree::getDataForFileWithBSD(const std::string& diskPath) const {
    if (entry == 6) return getDataForRawJPGWithBSD(diskPath);
    std::vector<uint8_t> data;
    std::vector<ByteRange> lost;
    const WriteOutcome outcome = readByExtents(
        *this, diskPath, 512, lost, [] { return false; },
        [&](std::span<const uint8_t> bytes) {
            data.insert(data.end(), bytes.begin(), bytes.end());
            return true;
        });
    if (outcome != WriteOutcome::Written) return std::nullopt;
    return data;
}

std::optional<std::vector<uint8_t>> BaseTree::getDataForRawJPGWithBSD(const std::string& diskPath,
                                                                      std::vector<ByteRange>* lost,
                                                                      uint32_t sectorBytes) const {
    if (dataExtArray.empty() || blockSize == 0) return std::nullopt;
    const DataExt& ext = dataExtArray.front();
    const uint64_t bufferBytes = uint64_t{ext.blockCount} * blockSize;
    // The fragment must lie wholly inside what is read.
    if (bufferBytes > kMaxRawJpgBytes || ext.startBlock > bufferBytes || fileSize > bufferBytes - ext.startBlock)
        return std::nullopt;
    std::vector<uint8_t> buffer(static_cast<size_t>(bufferBytes), 0);
    UnreadableRanges unreadable(sectorBytes);
    if (DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
            blocksStartsAtSector, blockSize, diskPath, buffer, ext.blockCount, &unreadable))
        return std::nullopt;
    if (lost) addLost(unreadable, blocksStartsAtSector * blockSize + ext.startBlock, fileSize, 0, *lost);
    return std::vector<uint8_t>(buffer.begin() + ext.startBlock, buffer.begin() + ext.startBlock + fileSize);
}

}  // namespace norix
