#include "disk/DiskReader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "disk/Platform.h"

namespace norix {

namespace {

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

}  // namespace

int DiskReader::openFileToReadAtPath(const std::string& path) {
    if (path.find('\0') != std::string::npos) return -1;  // would open a different, shorter path
    return open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

std::optional<DiskError> DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
    uint64_t firstSector, uint32_t sectorSize, const std::string& path, std::span<uint8_t> buffer,
    uint64_t numberOfSectors) {
    constexpr uint64_t maxOffset = static_cast<uint64_t>(std::numeric_limits<off_t>::max());
    if (sectorSize != 0 && (numberOfSectors > buffer.size() / sectorSize || firstSector > maxOffset / sectorSize))
        return readError();
    const uint64_t length = numberOfSectors * sectorSize;
    const uint64_t offset = firstSector * sectorSize;
    if (length > maxOffset - offset) return readError();

    const int fd = openFileToReadAtPath(path);
    if (fd < 0) {
        consoleLog("%d\n", fd);
        return openError();
    }
    const bool read = readFully(fd, buffer.data(), length, static_cast<off_t>(offset));
    close(fd);
    if (!read) return readError();
    return std::nullopt;
}

}  // namespace norix
