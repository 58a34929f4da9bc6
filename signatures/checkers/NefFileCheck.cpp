#include "signatures/checkers/NefFileCheck.h"

namespace norix {

// The first IFD and its sub-IFDs: the raw data strips and the full-size JPEG (0x201,
// 0x202), the longest one. One sub-IFD holding a single strip ends the file exactly;
// otherwise 512 bytes of slack follow the last data.
uint64_t NefFileCheck::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                                 uint64_t sectorNumber,
                                                                                 uint32_t blockSize,
                                                                                 const std::string& bsdPath) {
    return measureFile(sector, sectorNumber, blockSize, bsdPath, [this](TiffFile& file) -> uint64_t {
        TiffWalkRules rules;
        rules.maxIfds = 32;
        const auto layout = walkTiff(file, rules);
        if (!layout) return answer(file.device, 0);
        notePreview(layout->longestJpeg.offset, layout->longestJpeg.length);
        const bool exact = layout->subIfds == 1 && layout->stripRuns == 1;
        return answer(file.device, layout->end, exact ? 0 : 512);
    });
}

}  // namespace norix
