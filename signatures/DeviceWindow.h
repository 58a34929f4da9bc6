#pragma once
// The bytes of a file on a device, counted from the sector where it starts, read
// through a window of whole sectors that is read again from the sector holding a
// position whenever the bytes wanted are not in it. The first sector, already in
// memory, serves positions inside it without a read.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "disk/AlignedBytes.h"
#include "disk/ByteView.h"

namespace norix {

class DeviceWindow {
public:
    static constexpr size_t kDefaultWindow = 65536;

    DeviceWindow(std::span<const uint8_t> firstSector, uint64_t sectorNumber, uint32_t blockSize,
                 const std::string& bsdPath, size_t windowBytes = kDefaultWindow);

    // The length bytes at the file position; nothing when the device cannot be read.
    // The view lasts until the next call (bytes past the device's end read as zeros).
    std::optional<ByteView> bytesAt(uint64_t position, size_t length);
    // The bytes from the file's start to the device's end; nothing when unknown.
    std::optional<uint64_t> bytesToDeviceEnd() const;

private:
    bool readWindowAt(uint64_t position, size_t length);

    std::span<const uint8_t> firstSector_;
    uint64_t sectorNumber_;
    uint32_t blockSize_;
    std::optional<uint64_t> deviceStart_;  // the file's first byte on the device, when it has one
    std::string bsdPath_;
    size_t windowBytes_;
    AlignedBytes window_;
    uint64_t windowStart_ = 0;  // file position of window_[0]
};

}  // namespace norix
