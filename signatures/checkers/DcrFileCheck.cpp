#include "signatures/checkers/DcrFileCheck.h"

namespace norix {

// The IFDs and sub-IFDs: strips, the JPEG-compressed reduced-resolution one being the
// preview; 512 bytes of slack.
uint64_t DcrFileCheck::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                                 uint64_t sectorNumber,
                                                                                 uint32_t blockSize,
                                                                                 const std::string& bsdPath) {
    return measureFile(sector, sectorNumber, blockSize, bsdPath, [this](TiffFile& file) -> uint64_t {
        TiffWalkRules rules;
        rules.offsetLimit = 209715200;
        const auto layout = walkTiff(file, rules);
        if (!layout) return answer(file.device, 0);
        notePreview(layout->previewStrip.offset, layout->previewStrip.length);
        return answer(file.device, layout->end, 512);
    });
}

}  // namespace norix
