#include "signatures/checkers/DngFileCheck.h"

namespace norix {

namespace {
constexpr uint16_t kXmp = 700;
constexpr uint64_t kSmallestPreview = 1025;
}  // namespace

// The first IFD, at most 10 sub-IFDs and the chain: strips and tiles, and the XMP packet
// of the first IFD. A JPEG-compressed reduced-resolution strip of at least 1025 bytes is
// the preview. 512 bytes of slack.
uint64_t DngFileCheck::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                                 uint64_t sectorNumber,
                                                                                 uint32_t blockSize,
                                                                                 const std::string& bsdPath) {
    return measureFile(sector, sectorNumber, blockSize, bsdPath, [this](TiffFile& file) -> uint64_t {
        uint64_t xmpEnd = 0;
        TiffWalkRules rules;
        rules.maxIfds = 12;
        rules.offsetLimit = 209715200;
        rules.onEntry = [&xmpEnd](TiffFile& tiff, ByteView entry, int ifd) {
            if (ifd == 0 && tiff.tag(entry) == kXmp && !tiff.valueInEntry(entry))
                xmpEnd = uint64_t{tiff.u32(entry, 8)} + tiff.count(entry);
        };
        const auto layout = walkTiff(file, rules);
        if (!layout) return answer(file.device, 0);
        if (layout->previewStrip.length >= kSmallestPreview)
            notePreview(layout->previewStrip.offset, layout->previewStrip.length);
        return answer(file.device, std::max(layout->end, xmpEnd), 512);
    });
}

}  // namespace norix
