#include "signatures/checkers/PefFileCheck.h"

namespace norix {

// The IFD chain (at most 6 IFDs): the raw data strips and the JPEGs the IFDs name, the
// longest one being the preview; 512 bytes of slack follow the last of them.
uint64_t PefFileCheck::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                                 uint64_t sectorNumber,
                                                                                 uint32_t blockSize,
                                                                                 const std::string& bsdPath) {
    return measureFile(sector, sectorNumber, blockSize, bsdPath, [this](TiffFile& file) -> uint64_t {
        TiffWalkRules rules;
        rules.maxIfds = 6;
        rules.subIfds = false;
        const auto layout = walkTiff(file, rules);
        if (!layout) return answer(file.device, 0);
        notePreview(layout->longestJpeg.offset, layout->longestJpeg.length);
        return answer(file.device, layout->end, 512);
    });
}

}  // namespace norix
