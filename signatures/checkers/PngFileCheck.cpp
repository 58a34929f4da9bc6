#include "signatures/checkers/PngFileCheck.h"

#include "signatures/DeviceWindow.h"

namespace norix {

namespace {

// The walk's position trails each chunk's start by four bytes: a chunk's length lies
// at position + 4 and its type at position + 8. It starts before the chunk that
// follows the 8-byte signature and the 25-byte header chunk.
constexpr uint64_t kFirstPosition = 29;
constexpr uint64_t kChunkOverhead = 12;       // length, type and CRC
constexpr uint32_t kLongestChunk = 51404800;  // a longer one ends the walk
constexpr uint64_t kWalkLimit = 52428800;     // 50 MiB
constexpr uint64_t kRunawayPosition = 102809600;
constexpr uint64_t kLongFileSize = 5242880;  // answered (with the slack) for a runaway walk
constexpr uint64_t kShortestWalk = 50;
constexpr uint64_t kEndSlack = 4 + 512;  // the four bytes the position trails by, then 512

bool isLetter(uint8_t byte) { return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z'); }

// Any chunk type of four letters is taken, not only those of the first PNG standard:
// files carry eXIf, animation (acTL, fcTL, fdAT) and private chunks, and ending the
// walk at one would cut the picture short.
bool isChunkType(ByteView type) {
    for (size_t i = 0; i < 4; ++i)
        if (!isLetter(type.u8(i))) return false;
    return true;
}

// The position where the walk ends: just past the end chunk for an intact file.
std::optional<uint64_t> walkChunks(DeviceWindow& device) {
    uint64_t position = kFirstPosition;
    while (position < kWalkLimit) {
        const auto chunk = device.bytesAt(position + 4, 8);
        if (!chunk) return std::nullopt;
        const uint32_t length = PngFileCheck::fourByteRead_position(*chunk, 0);
        const ByteView type = chunk->sub(4, 4);
        if (!isChunkType(type) || length > kLongestChunk) break;
        position += length + kChunkOverhead;
        if (type.matches(0, "IEND")) break;
    }
    return position;
}

}  // namespace

uint32_t PngFileCheck::fourByteRead_position(ByteView buffer, size_t position) { return buffer.u32be(position); }

uint64_t PngFileCheck::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                                 uint64_t sectorNumber,
                                                                                 uint32_t blockSize,
                                                                                 const std::string& bsdPath) {
    DeviceWindow device(sector, sectorNumber, blockSize, bsdPath);
    const auto position = walkChunks(device);
    if (!position || *position < kShortestWalk) return 0;
    if (*position > kRunawayPosition) return kLongFileSize + kEndSlack;
    return *position + kEndSlack;
}

}  // namespace norix
