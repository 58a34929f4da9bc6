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

bool exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
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

enum class ReadOutcome { Done, ReadFailed, Stopped, SinkFailed };

// Reads a node's data extent by extent, in passes of at most 1024 units, and hands
// each pass, cut to what is left of fileSize, to the sink. The stop flag is tested
// before each extent.
template <typename Sink>
ReadOutcome readByExtents(const BaseTree& node, const std::string& diskPath, const std::atomic<bool>* stop,
                          Sink&& sink) {
    const uint32_t unit = node.blockSize;
    uint64_t remaining = node.fileSize;
    if (node.dataExtArray.empty() || remaining == 0) return ReadOutcome::Done;
    if (unit == 0 || unit > kMaxBlockSize) return ReadOutcome::ReadFailed;
    const uint64_t unitsPerPass = std::clamp<uint64_t>(kMaxPassBytes / unit, 1, kUnitsPerPass);
    std::vector<uint8_t> buffer(unitsPerPass * unit);
    for (const DataExt& ext : node.dataExtArray) {
        if (stop && *stop) return ReadOutcome::Stopped;
        if (node.blocksStartsAtSector > UINT64_MAX - ext.startBlock) return ReadOutcome::ReadFailed;
        uint64_t position = node.blocksStartsAtSector + ext.startBlock;
        for (uint64_t left = ext.blockCount; left > 0 && remaining > 0;) {
            const uint64_t n = std::min(unitsPerPass, left);
            const size_t bytes = static_cast<size_t>(n * unit);
            // Past the end of the device a read is short: what it does not fill is zeros.
            std::fill_n(buffer.begin(), bytes, 0);
            if (DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
                    position, unit, diskPath, std::span(buffer).first(bytes), n))
                return ReadOutcome::ReadFailed;
            const size_t take = static_cast<size_t>(std::min<uint64_t>(remaining, bytes));
            if (!sink(std::span<const uint8_t>(buffer).first(take))) return ReadOutcome::SinkFailed;
            remaining -= take;
            position += n;
            left -= n;
        }
        if (remaining == 0) break;
    }
    return ReadOutcome::Done;
}

}  // namespace

std::string safeFileName(const std::string& name) {
    std::string safe = name;
    std::replace(safe.begin(), safe.end(), '/', '_');
    std::replace(safe.begin(), safe.end(), '\0', '_');
    if (safe.empty() || safe == "." || safe == "..") safe = "_" + safe;
    if (safe.size() > 255) {
        size_t cut = 255;
        while (cut > 0 && (static_cast<uint8_t>(safe[cut]) & 0xC0) == 0x80) --cut;  // keep UTF-8 whole
        safe.resize(cut);
    }
    return safe;
}

std::string BaseTree::getRenamedStringWithString_andFileManager(const std::string& name, const std::string& folder) {
    std::string candidate = name;
    for (int counter = 1; exists(folder + "/" + candidate); ++counter) {
        const size_t dot = candidate.rfind('.');
        const std::string stem = dot == std::string::npos ? candidate : candidate.substr(0, dot);
        const std::string extension = dot == std::string::npos ? "" : candidate.substr(dot + 1);
        candidate = safeFileName(stem + " (" + std::to_string(counter) + ")." + extension);
    }
    return candidate;
}

void BaseTree::saveFileWithdiskPath_andSavingPath_withFileManager_withFileCount_andFileSize_boolForStop(
    SaveRun& run, const std::string& parentFolder) {
    if (run.stop || selected == 0) return;
    // Iterative, in the tree's order: a folder, then each checked child.
    std::vector<std::pair<BaseTree*, std::string>> pending{{this, parentFolder}};
    while (!pending.empty()) {
        if (run.stop) return;
        auto [node, folder] = pending.back();
        pending.pop_back();
        try {
            if (node->fileType == 2) {
                node->saveFileWithStartSector_blockCount_withBlockSize_diskPath_andSavePath_withFileManager_withFileCount_andFileSize_boolForStop(
                    run, folder);
                continue;
            }
            const std::string own = folder + "/" + safeFileName(node->fileName);
            if (!exists(own) && !makeFolder(own)) continue;  // the folder and all below it are skipped
            for (auto it = node->childrenArray.rbegin(); it != node->childrenArray.rend(); ++it)
                if ((*it)->selected != 0) pending.emplace_back(it->get(), own);
        } catch (const std::exception&) {
            consoleLog("Saving Error '0_0' 404 Not Found\n");
        }
    }
}

void BaseTree::saveFileWithStartSector_blockCount_withBlockSize_diskPath_andSavePath_withFileManager_withFileCount_andFileSize_boolForStop(
    SaveRun& run, const std::string& folder) {
    if (run.stop) return;
    std::string name = safeFileName(fileName);
    int fd = -1;
    while (fd < 0) {
        while (exists(folder + "/" + name)) {
            if (run.skipAll) return void(++run.skipped);
            if (run.renameALL) {
                name = getRenamedStringWithString_andFileManager(name, folder);
                break;
            }
            const CollisionAnswer answer = run.onCollision ? run.onCollision(name) : CollisionAnswer{};
            if (answer.kind == CollisionAnswer::Skip) return void(++run.skipped);
            if (answer.kind == CollisionAnswer::SkipAll) {
                run.skipAll = true;
                return void(++run.skipped);
            }
            if (answer.kind == CollisionAnswer::RenameAll) {
                run.renameALL = true;
                const std::string wanted = safeFileName(answer.name);
                name = wanted != name && !answer.name.empty() ? wanted
                                                              : getRenamedStringWithString_andFileManager(name, folder);
                break;
            }
            name = safeFileName(answer.name);
        }
        fd = ::open((folder + "/" + name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            consoleLog("Error While Saving \"%s\"\n", name.c_str());
            return;
        }
    }
    if (name != fileName) run.renamed.emplace_back(this, name);

    bool written;
    if (entry == 6) {
        const auto data = getDataForRawJPGWithBSD(run.diskPath);
        written = data && writeAll(fd, *data);
        if (written) run.savedSize += static_cast<int64_t>(data->size());
        if (!written) consoleLog("Failed saving %s\n", name.c_str());
    } else {
        written = saveFileWithdiskPath_andSavePath_withFileManager_withFileCount_andFileSize_boolForStop(run, fd);
    }
    ::close(fd);
    if (written) run.savedFile += 1;
}

bool BaseTree::saveFileWithdiskPath_andSavePath_withFileManager_withFileCount_andFileSize_boolForStop(SaveRun& run,
                                                                                                   int fd) {
    const ReadOutcome outcome = readByExtents(*this, run.diskPath, &run.stop, [&](std::span<const uint8_t> bytes) {
        if (!writeAll(fd, bytes)) return false;
        run.savedSize += static_cast<int64_t>(bytes.size());
        return true;
    });
    if (outcome == ReadOutcome::ReadFailed) consoleLog("Failed saving %s\n", fileName.c_str());
    if (outcome == ReadOutcome::SinkFailed) consoleLog("Error While Saving \"%s\"\n", fileName.c_str());
    return outcome == ReadOutcome::Done;
}

std::optional<std::vector<uint8_t>> BaseTree::getDataForFileWithBSD(const std::string& diskPath) const {
    if (entry == 6) return getDataForRawJPGWithBSD(diskPath);
    std::vector<uint8_t> data;
    const ReadOutcome outcome = readByExtents(*this, diskPath, nullptr, [&](std::span<const uint8_t> bytes) {
        data.insert(data.end(), bytes.begin(), bytes.end());
        return true;
    });
    if (outcome != ReadOutcome::Done) return std::nullopt;
    return data;
}

std::optional<std::vector<uint8_t>> BaseTree::getDataForRawJPGWithBSD(const std::string& diskPath) const {
    if (dataExtArray.empty() || blockSize == 0) return std::nullopt;
    const DataExt& ext = dataExtArray.front();
    const uint64_t bufferBytes = uint64_t{ext.blockCount} * blockSize;
    // The fragment must lie wholly inside what is read.
    if (bufferBytes > kMaxRawJpgBytes || ext.startBlock > bufferBytes || fileSize > bufferBytes - ext.startBlock)
        return std::nullopt;
    std::vector<uint8_t> buffer(static_cast<size_t>(bufferBytes), 0);
    if (DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
            blocksStartsAtSector, blockSize, diskPath, buffer, ext.blockCount))
        return std::nullopt;
    return std::vector<uint8_t>(buffer.begin() + ext.startBlock, buffer.begin() + ext.startBlock + fileSize);
}

}  // namespace norix
