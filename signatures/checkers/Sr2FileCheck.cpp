#include "signatures/checkers/Sr2FileCheck.h"

namespace norix {

namespace {
constexpr uint64_t kSmallestPreview = 1025;  // a shorter JPEG is a thumbnail
}

// The IFDs and sub-IFDs: raw data strips and the JPEG they name; 512 bytes of slack.
uint64_t Sr2FileCheck::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                                 uint64_t sectorNumber,
                                                                                 uint32_t blockSize,
                                                                                 const std::string& bsdPath) {
    return measureFile(sector, sectorNumber, blockSize, bsdPath, [this](TiffFile& file) -> uint64_t {
        const auto layout = walkTiff(file, TiffWalkRules{});
        if (!layout) return answer(file.device, 0);
        if (layout->longestJpeg.length >= kSmallestPreview)
            notePreview(layout->longestJpeg.offset, layout->longestJpeg.length);
        return answer(file.device, layout->end, 512);
    });
}

}  // namespace norix
