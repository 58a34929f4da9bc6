#include "signatures/DeviceWindow.h"

#include <algorithm>
#include <limits>

#include <unistd.h>

#include "disk/DiskReader.h"

namespace norix {

namespace {
// True when [position, position + length) lies inside [start, start + size).
bool inside(uint64_t position, size_t length, uint64_t start, size_t size) {
    return position >= start && position - start <= size && length <= size - (position - start);
}
}  // namespace

DeviceWindow::DeviceWindow(std::span<const uint8_t> firstSector, uint64_t sectorNumber, uint32_t blockSize,
                           const std::string& bsdPath, size_t windowBytes)
    : firstSector_(firstSector),
      sectorNumber_(sectorNumber),
      blockSize_(blockSize),
      bsdPath_(bsdPath),
      windowBytes_(windowBytes) {
    uint64_t start = 0;
    if (!__builtin_mul_overflow(sectorNumber, uint64_t{blockSize}, &start)) deviceStart_ = start;
}

std::optional<ByteView> DeviceWindow::bytesAt(uint64_t position, size_t length) {
    if (inside(position, length, 0, firstSector_.size()))
        return ByteView(firstSector_.subspan(static_cast<size_t>(position), length));
    if (deviceStart_ && position <= std::numeric_limits<uint64_t>::max() - *deviceStart_)
        if (const auto held = DiskReader::Resident::find(bsdPath_, *deviceStart_ + position, length)) return held;
    if (window_.empty() || !inside(position, length, windowStart_, window_.size())) {
        if (!readWindowAt(position, length)) return std::nullopt;
    }
    return ByteView(std::span<const uint8_t>(window_).subspan(static_cast<size_t>(position - windowStart_), length));
}

std::optional<uint64_t> DeviceWindow::bytesToDeviceEnd() const {
    const DiskReader::Descriptor device(bsdPath_);
    if (device.fd() < 0) return std::nullopt;
    const off_t end = ::lseek(device.fd(), 0, SEEK_END);
    if (end < 0 || !deviceStart_ || static_cast<uint64_t>(end) < *deviceStart_) return std::nullopt;
    return static_cast<uint64_t>(end) - *deviceStart_;
}

bool DeviceWindow::readWindowAt(uint64_t position, size_t length) {
    window_.clear();
    if (blockSize_ == 0) return false;
    const uint64_t sector = position / blockSize_;
    if (sector > std::numeric_limits<uint64_t>::max() - sectorNumber_) return false;
    windowStart_ = sector * blockSize_;
    const uint64_t needed = position - windowStart_ + length;
    const uint64_t sectors = (std::max<uint64_t>(needed, windowBytes_) + blockSize_ - 1) / blockSize_;
    window_.resize(static_cast<size_t>(sectors * blockSize_));
    if (!DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
            sectorNumber_ + sector, blockSize_, bsdPath_, window_, sectors))
        return true;
    window_.clear();
    return false;
}

}  // namespace norix
