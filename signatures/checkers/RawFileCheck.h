#pragma once
// Panasonic and Leica RAW images: the first IFD's strips and the embedded JPEG.

#include "signatures/Checker.h"

namespace norix {

class RawFileCheck : public Checker {
public:
    uint64_t fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                       uint64_t sectorNumber, uint32_t blockSize,
                                                                       const std::string& bsdPath) override;
    std::optional<std::string> parentKey() const override { return "raw"; }
};

}  // namespace norix
