#include "signatures/checkers/Mp3FileCheck.h"

#include <algorithm>

#include "signatures/DeviceWindow.h"

namespace norix {

namespace {

constexpr uint64_t kShortestSong = 10240;
constexpr uint64_t kPlainWalkLimit = 0xA00000;   // 10 MiB
constexpr uint32_t kPlainStrayBytes = 5;         // stepped over in a row
constexpr uint64_t kEndSlack = 512;              // after a walk stopped by its limit
constexpr uint64_t kTaggedWalkLimit = 0x800000;  // 8 MiB
constexpr uint32_t kTaggedStrayBytes = 50;
constexpr uint64_t kSyncSearch = 2048;   // bytes after the tag searched for the first frame
constexpr uint64_t kTagHeaderSize = 10;  // "ID3", version, flags, then the size at 6
constexpr uint32_t kLargestTag = 10 << 20;
constexpr uint64_t kId3v1Size = 128;  // "TAG" and the fields that follow it

// kbit/s by bit-rate index: MPEG-1 layers I, II, III, then MPEG-2 and 2.5 layer I and
// layers II and III.
constexpr uint16_t kBitRates[5][15] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};
// Hz by version bits (00 MPEG-2.5, 01 reserved, 10 MPEG-2, 11 MPEG-1) and sampling-rate index.
constexpr uint32_t kSamplingRates[4][3] = {
    {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
constexpr uint32_t kMpeg1 = 3, kLayerI = 3, kLayerIII = 1;  // version and layer bits

// A frame sync: 0xFF, then a second byte of MPEG-1 layer III (with or without CRC),
// MPEG-1 layer II, MPEG-2 or MPEG-2.5 layer III.
bool isFrameSync(uint32_t header) {
    const uint32_t second = (header >> 16) & 0xFF;
    return header >> 24 == 0xFF &&
           (second == 0xE3 || second == 0xF3 || second == 0xFA || second == 0xFB || second == 0xFD);
}

bool isFrame(uint32_t header) { return isFrameSync(header) && Mp3FileCheck::isFrameHeader(header); }

std::optional<uint32_t> headerAt(DeviceWindow& device, uint64_t position) {
    const auto bytes = device.bytesAt(position, 4);
    if (!bytes) return std::nullopt;
    return Mp3FileCheck::fourByteReading_fromBuffer(0, *bytes);
}

// From the first byte. A frame sync with invalid fields ends the walk at its position;
// the sixth stray byte in a row ends it with a block of slack.
uint64_t plainWalk(DeviceWindow& device, uint32_t blockSize) {
    uint64_t position = 0;
    for (uint32_t strays = 0; position < kPlainWalkLimit;) {
        const auto header = headerAt(device, position);
        if (!header) return 0;
        if (isFrameSync(*header)) {
            if (!Mp3FileCheck::isFrameHeader(*header)) return position < kShortestSong ? 0 : position;
            position += Mp3FileCheck::frameLength(*header);
            strays = 0;
        } else if (++strays > kPlainStrayBytes) {
            return position <= kShortestSong ? 0 : position + blockSize;
        } else {
            ++position;
        }
    }
    return position + kEndSlack;
}

// The position of the first frame within kSyncSearch bytes from start; nothing when
// there is none or the device cannot be read.
std::optional<uint64_t> firstFrame(DeviceWindow& device, uint64_t start) {
    const auto bytes = device.bytesAt(start, kSyncSearch + 3);
    if (!bytes) return std::nullopt;
    for (size_t at = 0; at < kSyncSearch; ++at)
        if (isFrame(Mp3FileCheck::fourByteReading_fromBuffer(at, *bytes))) return start + at;
    return std::nullopt;
}

uint32_t secondByte(uint32_t header) { return (header >> 16) & 0xFF; }

// After the ID3 tag: every frame must repeat the first one's second byte (version,
// layer and CRC flag); the 51st stray byte in a row, or any other frame sync, ends the
// walk at its position. An ID3v1 tag right after the last frame belongs to the song.
uint64_t taggedWalk(DeviceWindow& device, uint64_t tagEnd) {
    const auto first = firstFrame(device, tagEnd);
    const auto firstHeader = first ? headerAt(device, *first) : std::nullopt;
    if (!firstHeader) return 0;
    uint64_t position = *first, framesEnd = position;
    for (uint32_t strays = 0; position < kTaggedWalkLimit;) {
        const auto header = headerAt(device, position);
        if (!header) return 0;
        if (isFrameSync(*header)) {
            if (!Mp3FileCheck::isFrameHeader(*header) || secondByte(*header) != secondByte(*firstHeader)) break;
            framesEnd = position += Mp3FileCheck::frameLength(*header);
            strays = 0;
        } else if (++strays > kTaggedStrayBytes) {
            break;
        } else {
            ++position;
        }
    }
    const auto trailer = device.bytesAt(framesEnd, 3);
    if (!trailer) return 0;
    if (trailer->matches(0, "TAG")) position = std::max(position, framesEnd + kId3v1Size);
    position = std::min(position, kTaggedWalkLimit);
    return position < kShortestSong ? 0 : position;
}

// The tag's size from its header: a 28-bit integer in four bytes of seven bits.
uint32_t tagSize(ByteView head) {
    uint32_t size = 0;
    for (size_t at = 6; at < kTagHeaderSize; ++at) size = size << 7 | (head.u8(at) & 0x7F);
    return size;
}

}  // namespace

uint32_t Mp3FileCheck::fourByteReading_fromBuffer(size_t position, ByteView buffer) { return buffer.u32be(position); }

uint32_t Mp3FileCheck::bitCheck_startBit_numberOfBits(uint32_t value, unsigned startBit, unsigned numberOfBits) {
    return (value >> (startBit + 1 - numberOfBits)) & ((1u << numberOfBits) - 1);
}

bool Mp3FileCheck::isFrameHeader(uint32_t header) {
    const uint32_t version = bitCheck_startBit_numberOfBits(header, 20, 2);       // 01 is reserved
    const uint32_t layer = bitCheck_startBit_numberOfBits(header, 18, 2);         // 00 is reserved
    const uint32_t bitRate = bitCheck_startBit_numberOfBits(header, 15, 4);       // 0000 free, 1111 bad
    const uint32_t samplingRate = bitCheck_startBit_numberOfBits(header, 11, 2);  // 11 is reserved
    return version != 1 && layer != 0 && bitRate != 0 && bitRate != 15 && samplingRate != 3;
}

uint32_t Mp3FileCheck::frameLength(uint32_t header) {
    const uint32_t version = bitCheck_startBit_numberOfBits(header, 20, 2);
    const uint32_t layer = bitCheck_startBit_numberOfBits(header, 18, 2);
    const size_t table = version == kMpeg1 ? kLayerI - layer : (layer == kLayerI ? 3 : 4);
    const uint32_t bitRate = kBitRates[table][bitCheck_startBit_numberOfBits(header, 15, 4)] * 1000u;
    const uint32_t samplingRate = kSamplingRates[version][bitCheck_startBit_numberOfBits(header, 11, 2)];
    const uint32_t padding = bitCheck_startBit_numberOfBits(header, 9, 1);
    if (layer == kLayerI) return (12 * bitRate / samplingRate + padding) * 4;  // 384 samples in 4-byte slots
    // 1152 samples a frame, 576 for MPEG-2 and 2.5 layer III: an eighth of that per byte.
    const uint32_t eighthOfSamples = layer == kLayerIII && version != kMpeg1 ? 72 : 144;
    return eighthOfSamples * bitRate / samplingRate + padding;
}

uint64_t Mp3FileCheck::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                                 uint64_t sectorNumber,
                                                                                 uint32_t blockSize,
                                                                                 const std::string& bsdPath) {
    const ByteView head(sector);
    if (!head.has(0, kTagHeaderSize)) return 0;
    bId3File = head.matches(0, "ID3");
    DeviceWindow device(sector, sectorNumber, blockSize, bsdPath);
    if (!bId3File) return plainWalk(device, blockSize);
    const uint32_t tag = tagSize(head);
    return tag > kLargestTag ? 0 : taggedWalk(device, kTagHeaderSize + tag);
}

}  // namespace norix
