#include "signatures/checkers/GifFileCheck.h"

#include "signatures/DeviceWindow.h"

namespace norix {

namespace {

constexpr uint64_t kHeaderSize = 13;      // signature and logical screen descriptor
constexpr size_t kScreenFlags = 10;       // bit 7: a global colour table follows; bits 0-2: its size
constexpr uint64_t kDescriptorSize = 10;  // image descriptor, its flags at byte 9
constexpr uint64_t kWalkLimit = 0x4FFFFF;
constexpr uint64_t kLongFileSize = 5242880;  // the answer for a walk past the limit
constexpr uint32_t kLongestZeroRun = 2048;
constexpr uint64_t kShortestFile = 25;
constexpr uint64_t kEndSlack = 512;
constexpr uint8_t kImage = 0x2C, kExtension = 0x21, kTrailer = 0x3B;

uint64_t colourTableSize(uint8_t flags) { return flags & 0x80 ? 3ull << ((flags & 7) + 1) : 0; }

class GifWalk {
public:
    explicit GifWalk(DeviceWindow& device) : device_(device) {}

    // The file's answer; nothing when the device cannot be read.
    std::optional<uint64_t> size(uint64_t position) {
        for (uint32_t zeros = 0;;) {
            if (position > kWalkLimit) return kLongFileSize;
            const auto block = byteAt(position);
            if (!block) return std::nullopt;
            if (*block == kTrailer) return withSlack(position + 1);
            if (*block == 0) {
                if (++zeros > kLongestZeroRun) return position + 1;
                ++position;
                continue;
            }
            zeros = 0;
            std::optional<uint64_t> next;
            if (*block == kImage)
                next = skipImage(position);
            else if (*block == kExtension)
                next = skipSubBlocks(position + 2);  // past the introducer and the label
            else
                return withSlack(position);
            if (!next) return std::nullopt;
            position = *next;
        }
    }

    std::optional<uint8_t> byteAt(uint64_t position) {
        const auto byte = device_.bytesAt(position, 1);
        if (!byte) return std::nullopt;
        return byte->u8(0);
    }

private:
    static uint64_t withSlack(uint64_t size) { return size < kShortestFile ? 0 : size + kEndSlack; }

    // Past the image descriptor, its local colour table, the code-size byte and the data.
    std::optional<uint64_t> skipImage(uint64_t position) {
        const auto flags = byteAt(position + kDescriptorSize - 1);
        if (!flags) return std::nullopt;
        return skipSubBlocks(position + kDescriptorSize + colourTableSize(*flags) + 1);
    }

    // Past a chain of sub-blocks (a length byte, then that many bytes) and its zero
    // terminator, or the first position past the walk's limit. Every sub-block of an
    // extension is skipped: comments and application data often take more than two.
    std::optional<uint64_t> skipSubBlocks(uint64_t position) {
        while (position <= kWalkLimit) {
            const auto length = byteAt(position);
            if (!length) return std::nullopt;
            position += 1 + *length;
            if (*length == 0) break;
        }
        return position;
    }

    DeviceWindow& device_;
};

}  // namespace

uint64_t GifFileCheck::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                                 uint64_t sectorNumber,
                                                                                 uint32_t blockSize,
                                                                                 const std::string& bsdPath) {
    DeviceWindow device(sector, sectorNumber, blockSize, bsdPath);
    GifWalk walk(device);
    const auto flags = walk.byteAt(kScreenFlags);
    if (!flags) return 0;
    return walk.size(kHeaderSize + colourTableSize(*flags)).value_or(0);
}

}  // namespace norix
