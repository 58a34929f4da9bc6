#include "signatures/checkers/ArwFileCheck.h"

namespace norix {

namespace {
constexpr uint32_t kOffsetLimit = 104857600;  // 100 MiB: IFDs, strips and the preview
constexpr uint64_t kPreviewLimit = 7340032;   // 7 MiB
}  // namespace

// The first IFD (1 to 100 entries) and the IFDs it leads to: the raw data strips, and
// the JPEG of the first IFD (0x201, 0x202) as the preview when it lies before the raw
// data. No slack.
uint64_t ArwFileCheck::measure(std::span<const uint8_t> sector, uint64_t sectorNumber, uint32_t blockSize,
                               const std::string& bsdPath, bool subIfds) {
    return measureFile(sector, sectorNumber, blockSize, bsdPath, [&, this](TiffFile& file) -> uint64_t {
        TiffWalkRules rules;
        rules.minEntries = 1;
        rules.offsetLimit = kOffsetLimit;
        rules.subIfds = subIfds;
        const auto layout = walkTiff(file, rules);
        if (!layout) return answer(file.device, 0);
        const FileRun preview = layout->longestJpeg;
        if (preview.length <= kPreviewLimit && preview.end() <= layout->dataEnd)
            notePreview(preview.offset, preview.length);
        return answer(file.device, layout->end);
    });
}

uint64_t ArwFileCheck::getFileCalcultaionForARW_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                                      uint64_t sectorNumber,
                                                                                      uint32_t blockSize,
                                                                                      const std::string& bsdPath) {
    return measure(sector, sectorNumber, blockSize, bsdPath, true);
}

// The DSLR-A100 keeps its raw data in the strips of the IFD chain itself.
uint64_t ArwFileCheck::getFileCalcultaionForARW100_withSectorNumber_blockSize_andBSDPath(
    std::span<const uint8_t> sector, uint64_t sectorNumber, uint32_t blockSize, const std::string& bsdPath) {
    return measure(sector, sectorNumber, blockSize, bsdPath, false);
}

bool ArwFileCheck::isFile_andSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector, uint64_t sectorNumber,
                                                              uint32_t blockSize, const std::string& bsdPath) {
    const std::string_view kind = RawImageFormat::getExtensionForRawImageInBlock_ndSectorNumber_blockSize_andBSDPath(
        sector, sectorNumber, blockSize, bsdPath);
    return kind == "arw" || kind == "arw1";
}

uint64_t ArwFileCheck::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                                 uint64_t sectorNumber,
                                                                                 uint32_t blockSize,
                                                                                 const std::string& bsdPath) {
    const std::string_view kind = RawImageFormat::getExtensionForRawImageInBlock_ndSectorNumber_blockSize_andBSDPath(
        sector, sectorNumber, blockSize, bsdPath);
    if (kind == "arw1")
        return getFileCalcultaionForARW100_withSectorNumber_blockSize_andBSDPath(sector, sectorNumber, blockSize,
                                                                                 bsdPath);
    if (kind == "arw")
        return getFileCalcultaionForARW_withSectorNumber_blockSize_andBSDPath(sector, sectorNumber, blockSize,
                                                                              bsdPath);
    startFile(sectorNumber, blockSize);
    return 0;
}

}  // namespace norix
