#include "signatures/checkers/RawFileCheck.h"

namespace norix {

namespace {

constexpr uint16_t kJpgFromRaw = 0x2E;
constexpr uint64_t kPreviewSectorLimit = 104857600;
constexpr uint64_t kJpegLimit = 5242880;  // 5 MiB: a longer stream is not measured
constexpr size_t kScanChunk = 4096;

}  // namespace

uint64_t RawFileCheck::jpegSize_inOffset_withBSDPath_andBlockSize(uint64_t sectorNumber, uint64_t offset,
                                                                  const std::string& bsdPath, uint32_t blockSize) {
    DeviceWindow device({}, sectorNumber, blockSize, bsdPath);
    const auto start = device.bytesAt(offset, 2);
    if (!start || start->u16be(0) != 0xFFD8) return 0;
    // The marker segments, each FF xx and a length that counts itself.
    uint64_t at = 2;
    for (;;) {
        if (at > kJpegLimit) return 0;
        const auto segment = device.bytesAt(offset + at, 4);
        if (!segment || segment->u8(0) != 0xFF) return 0;
        at += 2 + segment->u16be(2);
        if (segment->u8(1) == 0xDA) break;
    }
    // The entropy-coded data up to the end-of-image marker, which the length includes.
    for (; at <= kJpegLimit; at += kScanChunk) {
        const auto chunk = device.bytesAt(offset + at, kScanChunk + 1);
        if (!chunk) return 0;
        for (size_t i = 0; i < kScanChunk; ++i)
            if (chunk->u8(i) == 0xFF && chunk->u8(i + 1) == 0xD9) return at + i + 2 <= kJpegLimit ? at + i + 2 : 0;
    }
    return 0;
}

// The first IFD only: its strips, its own end and the data of tag 0x2E, whose JPEG (as
// long as its end marker says) is the preview; 512 bytes of slack.
uint64_t RawFileCheck::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                                 uint64_t sectorNumber,
                                                                                 uint32_t blockSize,
                                                                                 const std::string& bsdPath) {
    return measureFile(sector, sectorNumber, blockSize, bsdPath, [&, this](TiffFile& file) -> uint64_t {
        std::optional<FileRun> jpegTag;
        TiffWalkRules rules;
        rules.chain = rules.subIfds = false;
        rules.onEntry = [&jpegTag](TiffFile& tiff, ByteView entry, int) {
            if (tiff.tag(entry) == kJpgFromRaw && !tiff.valueInEntry(entry))
                jpegTag = FileRun{tiff.u32(entry, 8), tiff.count(entry)};
        };
        const auto layout = walkTiff(file, rules);
        if (!layout) return answer(file.device, 0);
        uint64_t end = layout->end;
        if (jpegTag && jpegTag->offset / blockSize < kPreviewSectorLimit) {
            notePreview(jpegTag->offset,
                        jpegSize_inOffset_withBSDPath_andBlockSize(sectorNumber, jpegTag->offset, bsdPath, blockSize));
            end = std::max(end, jpegTag->end());
        }
        return answer(file.device, end, 512);
    });
}

}  // namespace norix
