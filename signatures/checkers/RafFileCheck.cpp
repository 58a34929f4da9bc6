#include "signatures/checkers/RafFileCheck.h"

namespace norix {

namespace {

// Big-endian fields of the header's offset directory.
constexpr size_t kJpegOffset = 84, kJpegLength = 88, kCfaOffset = 100, kCfaLength = 104, kSecondCfaLength = 132;
constexpr uint32_t kCfaOffsetLimit = 209715200;
constexpr uint32_t kSmallestPreview = 1025;

}  // namespace

// The raw data (CFA) ends the file; a second frame of the same length follows it when
// the header records one. The JPEG the header names is the preview. 512 bytes of slack.
uint64_t RafFileCheck::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                                 uint64_t sectorNumber,
                                                                                 uint32_t blockSize,
                                                                                 const std::string& bsdPath) {
    return measureFile(sector, sectorNumber, blockSize, bsdPath, [this](TiffFile& file) -> uint64_t {
        const auto field = [&](size_t at) { return RawImageFormat::fourByteReadInCaseOfBigEndian_position(file.head, at); };
        const uint64_t cfaOffset = field(kCfaOffset), cfaLength = field(kCfaLength);
        if (cfaOffset > kCfaOffsetLimit) return answer(file.device, 0);
        uint64_t end = cfaOffset + cfaLength;
        if (field(kSecondCfaLength) == cfaLength) end += cfaLength;
        const uint64_t jpegOffset = field(kJpegOffset), jpegLength = field(kJpegLength);
        if (jpegLength >= kSmallestPreview) notePreview(jpegOffset, jpegLength);
        return answer(file.device, end, 512);
    });
}

}  // namespace norix
