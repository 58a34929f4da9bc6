#include "disk/DiskReader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "disk/Platform.h"

namespace norix {

namespace {

// The paths KeepOpen holds, each with its descriptor (closed when the last user lets go).
std::mutex keptMutex;
std::vector<std::pair<std::string, std::shared_ptr<const int>>> kept;

thread_local const DiskReader::Resident* innermostResident = nullptr;

DiskError openError() { return DiskError{.code = 1, .reason = "Unable to open disk"}; }
DiskError readError() { return DiskError{.code = 2, .reason = "Unable to read sector"}; }

// Reads until the request is filled or the end of the device; false on a read error.
// A single pread may return less than asked in the middle of a device (signals,
// transfers over 2 GiB), which must not pass for the end of the data.
bool readFully(int fd, uint8_t* buffer, uint64_t length, off_t offset) {
    while (length > 0) {
        const ssize_t got = pread(fd, buffer, length, offset);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        buffer += got;
        length -= static_cast<uint64_t>(got);
        offset += got;
    }
    return true;
}

// Reads [offset, offset + length); where that fails, each half is read again, down to
// pieces within one device sector, which are zero-filled and noted when they fail too.
// The halves split on sector boundaries of the device, so a bad sector costs about two
// reads for every halving: scattered bad sectors do not multiply the time of a sweep.
void readSalvaging(int fd, uint8_t* buffer, uint64_t length, uint64_t offset, UnreadableRanges& unreadable) {
    if (length == 0 || readFully(fd, buffer, length, static_cast<off_t>(offset))) return;
    const uint64_t sector = unreadable.sectorBytes();
    const uint64_t end = offset + length;
    uint64_t split = (offset + length / 2) / sector * sector;
    if (split <= offset) split = (offset / sector + 1) * sector;
    if (split >= end) {
        std::fill_n(buffer, length, 0);
        unreadable.add({offset, end});
        return;
    }
    readSalvaging(fd, buffer, split - offset, offset, unreadable);
    readSalvaging(fd, buffer + (split - offset), end - split, split, unreadable);
}

std::string rangesText(const std::vector<ByteRange>& ranges, uint64_t unit) {
    std::string text;
    for (const ByteRange& range : ranges) {
        const uint64_t first = range.first / unit, last = (range.end - 1) / unit;
        if (!text.empty()) text += ", ";
        text += std::to_string(first);
        if (last != first) {
            text += '-';
            text += std::to_string(last);
        }
    }
    return text;
}

}  // namespace

void UnreadableRanges::add(ByteRange range) {
    if (range.end <= range.first) return;
    std::lock_guard lock(mutex_);
    // Take in every range that overlaps or meets this one.
    auto it = ranges_.upper_bound(range.first);
    if (it != ranges_.begin() && std::prev(it)->second >= range.first) --it;
    while (it != ranges_.end() && it->first <= range.end) {
        range.first = std::min(range.first, it->first);
        range.end = std::max(range.end, it->second);
        it = ranges_.erase(it);
    }
    ranges_.emplace(range.first, range.end);
}

std::vector<ByteRange> UnreadableRanges::ranges() const {
    std::lock_guard lock(mutex_);
    std::vector<ByteRange> list;
    for (const auto& [first, end] : ranges_) list.push_back({first, end});
    return list;
}

bool UnreadableRanges::overlaps(ByteRange range) const {
    std::lock_guard lock(mutex_);
    auto it = ranges_.upper_bound(range.first);
    if (it != ranges_.begin() && std::prev(it)->second > range.first) return true;
    return it != ranges_.end() && it->first < range.end;
}

void UnreadableRanges::reset(uint32_t sectorBytes) {
    std::lock_guard lock(mutex_);
    ranges_.clear();
    sectorBytes_ = sectorBytes ? sectorBytes : 512;
}

std::string unreadableSectorsText(const std::vector<ByteRange>& ranges, uint64_t sectorBytes) {
    if (ranges.empty()) return {};
    return "unreadable sectors " + rangesText(ranges, sectorBytes ? sectorBytes : 512);
}

std::string byteRangesText(const std::vector<ByteRange>& ranges) { return "bytes " + rangesText(ranges, 1); }

int DiskReader::openFileToReadAtPath(const std::string& path) {
    if (path.find('\0') != std::string::npos) return -1;  // would open a different, shorter path
    return open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

DiskReader::KeepOpen::KeepOpen(const std::string& path) {
    const int fd = openFileToReadAtPath(path);
    if (fd < 0) return;  // each read opens the path itself and reports the failure
    fd_ = std::shared_ptr<const int>(new int(fd), [](const int* held) {
        ::close(*held);
        delete held;
    });
    std::lock_guard lock(keptMutex);
    kept.emplace_back(path, fd_);
}

DiskReader::KeepOpen::~KeepOpen() {
    if (!fd_) return;
    std::lock_guard lock(keptMutex);
    std::erase_if(kept, [&](const auto& entry) { return entry.second == fd_; });
}

DiskReader::Descriptor::Descriptor(const std::string& path) {
    {
        std::lock_guard lock(keptMutex);
        for (const auto& [keptPath, fd] : kept)
            if (keptPath == path) kept_ = fd;
    }
    if (!kept_) own_ = openFileToReadAtPath(path);
}

DiskReader::Descriptor::~Descriptor() {
    if (own_ >= 0) ::close(own_);
}

DiskReader::Resident::Resident(const std::string& path, uint64_t deviceOffset, ByteView bytes)
    : path_(path), deviceOffset_(deviceOffset), bytes_(bytes), outer_(innermostResident) {
    innermostResident = this;
}

DiskReader::Resident::~Resident() { innermostResident = outer_; }

std::optional<ByteView> DiskReader::Resident::find(const std::string& path, uint64_t deviceOffset, uint64_t length) {
    for (const Resident* held = innermostResident; held; held = held->outer_) {
        if (deviceOffset < held->deviceOffset_ || held->path_ != path) continue;
        const uint64_t at = deviceOffset - held->deviceOffset_;
        if (held->bytes_.has(at, length)) return held->bytes_.sub(at, length);
    }
    return std::nullopt;
}

std::optional<DiskError> DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
    uint64_t firstSector, uint32_t sectorSize, const std::string& path, std::span<uint8_t> buffer,
    uint64_t numberOfSectors, UnreadableRanges* unreadable) {
    constexpr uint64_t maxOffset = static_cast<uint64_t>(std::numeric_limits<off_t>::max());
    if (sectorSize != 0 && (numberOfSectors > buffer.size() / sectorSize || firstSector > maxOffset / sectorSize))
        return readError();
    const uint64_t length = numberOfSectors * sectorSize;
    const uint64_t offset = firstSector * sectorSize;
    if (length > maxOffset - offset) return readError();

    if (const auto held = Resident::find(path, offset, length)) {
        std::memcpy(buffer.data(), held->data(), length);
        return std::nullopt;
    }
    const Descriptor device(path);
    const int fd = device.fd();
    if (fd < 0) {
        consoleLog("%d\n", fd);
        return openError();
    }
    bool read = true;
    if (unreadable) readSalvaging(fd, buffer.data(), length, offset, *unreadable);
    else read = readFully(fd, buffer.data(), length, static_cast<off_t>(offset));
    if (!read) return readError();
    return std::nullopt;
}

}  // namespace norix
