#pragma once
// JPEG pictures: the marker segments, then the scan data up to the end-of-image marker.

#include "signatures/Checker.h"

namespace norix {

class JpgFileCheck : public Checker {
public:
    uint64_t fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                       uint64_t sectorNumber, uint32_t blockSize,
                                                                       const std::string& bsdPath) override;
    std::optional<std::string> parentKey() const override { return "jpg"; }
    uint8_t firstByteOfHeader() const override { return 0xFF; }
};

}  // namespace norix
