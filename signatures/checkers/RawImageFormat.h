#pragma once
// TIFF-based camera raw images: names the raw format of a TIFF hit from the maker and
// model its first IFD records.

#include <string_view>

#include "signatures/Checker.h"

namespace norix {

class RawImageFormat : public Checker {
public:
    uint64_t fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                       uint64_t sectorNumber, uint32_t blockSize,
                                                                       const std::string& bsdPath) override;

    // The raw extension of the TIFF file whose header is the sector ("dng", "nef",
    // "cr2", "arw", "arw1" for the DSLR-A100 layout, ...; "tif" and "tiff" for plain
    // TIFF files); nothing when the first IFD names no known maker or model.
    static std::string_view getExtensionForRawImageInBlock_ndSectorNumber_blockSize_andBSDPath(
        std::span<const uint8_t> sector, uint64_t sectorNumber, uint32_t blockSize, const std::string& bsdPath);
    // From the length of the IFD chain: 0 read error, 1 plain TIFF (1 or 2 IFDs),
    // 2 PEF (3 IFDs), 3 undecided (more).
    static int pentaxRawTiffFile_andSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                      uint64_t sectorNumber, uint32_t blockSize,
                                                                      const std::string& bsdPath);
};

}  // namespace norix
