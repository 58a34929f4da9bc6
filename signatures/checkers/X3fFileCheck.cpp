#include "signatures/checkers/X3fFileCheck.h"

#include <algorithm>
#include <cstring>

namespace norix {

namespace {

constexpr uint64_t kSearchLimit = 19922944;    // how far the directory is looked for
constexpr uint64_t kPreviewLimit = 26214400;   // 25 MiB
constexpr size_t kSearchChunk = 65536;
constexpr uint32_t kMaxEntries = 4096;
constexpr size_t kDirectoryHeader = 12, kEntrySize = 12;  // "SECd", version, count; offset, length, type
constexpr size_t kImageHeader = 28;                       // "SECi" and the image's description

// The directory: a "SECd" section whose entries are followed by its own offset, the
// file's last four bytes.
struct Directory {
    uint64_t at = 0;
    uint32_t entries = 0;
    uint64_t end() const { return at + kDirectoryHeader + kEntrySize * entries + 4; }
};

std::optional<Directory> findDirectory(DeviceWindow& device) {
    const uint64_t limit = std::min(kSearchLimit, device.bytesToDeviceEnd().value_or(kSearchLimit));
    for (uint64_t at = 0; at < limit;) {
        const auto chunk = device.bytesAt(at, kSearchChunk + 3);
        if (!chunk) return std::nullopt;
        size_t i = 0;
        while (i < kSearchChunk && !chunk->matches(i, "SECd")) {
            const void* next = std::memchr(chunk->data() + i + 1, 'S', kSearchChunk - i - 1);
            i = next ? static_cast<size_t>(static_cast<const uint8_t*>(next) - chunk->data()) : kSearchChunk;
        }
        if (i == kSearchChunk) {
            at += kSearchChunk;
            continue;
        }
        const uint64_t marker = at + i;
        const auto header = device.bytesAt(marker, kDirectoryHeader);
        if (!header) return std::nullopt;
        const uint32_t entries = RawImageFormat::fourByteReadInCaseOfLittleEndian_position(*header, 11);
        const Directory directory{marker, entries};
        const auto link = entries && entries <= kMaxEntries ? device.bytesAt(directory.end() - 4, 4) : std::nullopt;
        if (link && RawImageFormat::fourByteReadInCaseOfLittleEndian_position(*link, 3) == marker) return directory;
        at = marker + 1;
    }
    return std::nullopt;
}

}  // namespace

// The directory ends the file; it is looked for within 19 MiB and the device, and a file
// without one is refused. The largest image section holding a JPEG is the preview. 512
// bytes of slack follow.
uint64_t X3fFileCheck::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                                 uint64_t sectorNumber,
                                                                                 uint32_t blockSize,
                                                                                 const std::string& bsdPath) {
    return measureFile(sector, sectorNumber, blockSize, bsdPath, [this](TiffFile& file) -> uint64_t {
        if (!file.head.matches(0, "FOVb")) return answer(file.device, 0);
        const auto directory = findDirectory(file.device);
        if (!directory) return answer(file.device, 0);
        FileRun preview;
        for (uint32_t i = 0; i < directory->entries; ++i) {
            const auto entry = file.device.bytesAt(directory->at + kDirectoryHeader + kEntrySize * i, kEntrySize);
            if (!entry) return answer(file.device, 0);
            const uint64_t offset = entry->u32le(0), length = entry->u32le(4);
            if (offset + kImageHeader > kPreviewLimit || length <= kImageHeader || length <= preview.length) continue;
            const auto image = file.device.bytesAt(offset, kImageHeader + 4);
            if (!image) return answer(file.device, 0);
            const uint8_t kind = image->u8(kImageHeader + 3);
            if (image->matches(0, "SECi") && image->matches(kImageHeader, "\xFF\xD8\xFF") &&
                (kind == 0xDB || kind == 0xE0 || kind == 0xE1))
                preview = {offset + kImageHeader, length - kImageHeader};
        }
        notePreview(preview.offset, preview.length);
        return answer(file.device, directory->end(), 512);
    });
}

}  // namespace norix
