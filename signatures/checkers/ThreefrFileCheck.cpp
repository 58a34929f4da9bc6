#include "signatures/checkers/ThreefrFileCheck.h"

namespace norix {

namespace {
constexpr uint64_t kPreviewOffsetLimit = 31457280, kPreviewLengthLimit = 10485760;  // 30 MiB, 10 MiB
}

// The IFDs and sub-IFDs: strips, the JPEG-compressed reduced-resolution one being the
// preview when it starts within 30 MiB and is at most 10 MiB long. No slack.
uint64_t ThreefrFileCheck::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                                     uint64_t sectorNumber,
                                                                                     uint32_t blockSize,
                                                                                     const std::string& bsdPath) {
    return measureFile(sector, sectorNumber, blockSize, bsdPath, [this](TiffFile& file) -> uint64_t {
        const auto layout = walkTiff(file, TiffWalkRules{});
        if (!layout) return answer(file.device, 0);
        const FileRun preview = layout->previewStrip;
        if (preview.offset <= kPreviewOffsetLimit && preview.length <= kPreviewLengthLimit)
            notePreview(preview.offset, preview.length);
        return answer(file.device, layout->end);
    });
}

}  // namespace norix
