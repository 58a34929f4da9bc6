#include "signatures/checkers/KdcK25FileCheck.h"

namespace norix {

// The IFDs and sub-IFDs: strips, tiles and the JPEG they name (the preview). No slack.
uint64_t KdcK25FileCheck::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                                    uint64_t sectorNumber,
                                                                                    uint32_t blockSize,
                                                                                    const std::string& bsdPath) {
    return measureFile(sector, sectorNumber, blockSize, bsdPath, [this](TiffFile& file) -> uint64_t {
        const auto layout = walkTiff(file, TiffWalkRules{});
        if (!layout) return answer(file.device, 0);
        notePreview(layout->longestJpeg.offset, layout->longestJpeg.length);
        return answer(file.device, layout->end);
    });
}

}  // namespace norix
