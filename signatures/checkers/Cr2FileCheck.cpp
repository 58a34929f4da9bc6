#include "signatures/checkers/Cr2FileCheck.h"

namespace norix {

// The IFD chain (no sub-IFDs): the first IFD's strip is the full-size JPEG, and the file
// ends with the raw data strip of the last IFD. No slack follows it.
uint64_t Cr2FileCheck::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                                 uint64_t sectorNumber,
                                                                                 uint32_t blockSize,
                                                                                 const std::string& bsdPath) {
    return measureFile(sector, sectorNumber, blockSize, bsdPath, [this](TiffFile& file) -> uint64_t {
        TiffWalkRules rules;
        rules.subIfds = false;
        rules.offsetLimit = 209715200;
        const auto layout = walkTiff(file, rules);
        if (!layout || layout->dataEnd > 157286400) return answer(file.device, 0);
        notePreview(layout->previewStrip.offset, layout->previewStrip.length);
        return answer(file.device, layout->dataEnd);
    });
}

}  // namespace norix
