#include "signatures/checkers/JpgFileCheck.h"

#include <cstring>

#include "signatures/DeviceWindow.h"

namespace norix {

namespace {

constexpr uint64_t kFirstLength = 4;         // the length field of the segment after FF D8 FF xx
constexpr uint64_t kWalkLimit = 26214400;    // 25 MiB of segments and scan data
constexpr uint64_t kLongFileSize = 5242880;  // the answer when the end lies beyond the limit
constexpr uint64_t kEndSlack = 2 + 512;      // the end-of-image marker, then 512 bytes
constexpr size_t kScanChunk = 4096;          // scan data searched at a time for the end marker
constexpr uint8_t kMarker = 0xFF, kStartOfScan = 0xDA, kEndOfImage = 0xD9;

// The answer from the scan data on: the end-of-image marker plus the slack.
uint64_t endOfScan(DeviceWindow& device, uint64_t position) {
    for (; position <= kWalkLimit; position += kScanChunk) {
        // One byte more than searched, so that a marker byte at the end has its follower.
        const auto chunk = device.bytesAt(position, kScanChunk + 1);
        if (!chunk) return 0;
        const uint8_t* bytes = chunk->data();
        for (const uint8_t* at = bytes;
             (at = static_cast<const uint8_t*>(std::memchr(at, kMarker, bytes + kScanChunk - at))); ++at) {
            const size_t index = static_cast<size_t>(at - bytes);
            if (chunk->u8(index + 1) != kEndOfImage) continue;
            return position + index > kWalkLimit ? kLongFileSize : position + index + kEndSlack;
        }
    }
    return kLongFileSize;
}

// The answer from the first segment's length field on. The position always equals the
// length walked so far, so a broken chain answers the position just past the marker
// that should have followed.
uint64_t walkSegments(DeviceWindow& device) {
    for (uint64_t position = kFirstLength; position <= kWalkLimit;) {
        const auto length = device.bytesAt(position, 2);
        if (!length) return 0;
        const uint16_t declared = JpgFileCheck::twoByteRead_andPosition(*length, 0);
        const uint64_t marker = position + (declared == 0 ? 2 : declared);
        const auto next = device.bytesAt(marker, 2);
        if (!next) return 0;
        position = marker + 2;
        if (next->u8(0) != kMarker) return position;
        if (next->u8(1) == kStartOfScan) return endOfScan(device, position);
    }
    return kLongFileSize;
}

}  // namespace

uint16_t JpgFileCheck::twoByteRead_andPosition(ByteView buffer, size_t position) { return buffer.u16be(position); }

uint64_t JpgFileCheck::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                                 uint64_t sectorNumber,
                                                                                 uint32_t blockSize,
                                                                                 const std::string& bsdPath) {
    DeviceWindow device(sector, sectorNumber, blockSize, bsdPath);
    return walkSegments(device);
}

}  // namespace norix
