#pragma once
// PNG pictures: the chunks up to the end chunk.

#include "signatures/Checker.h"

namespace norix {

class PngFileCheck : public Checker {
public:
    uint64_t fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                       uint64_t sectorNumber, uint32_t blockSize,
                                                                       const std::string& bsdPath) override;
    std::optional<std::string> parentKey() const override { return "png"; }
    uint8_t firstByteOfHeader() const override { return 0x89; }
};

}  // namespace norix
