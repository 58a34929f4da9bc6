#pragma once
// Minolta MRW raw images: the sensor size in the PRD block.

#include "signatures/checkers/RawImageFormat.h"

namespace norix {

class MrwFileCheck : public RawChecker {
public:
    std::shared_ptr<Checker> clone() const override { return std::make_shared<MrwFileCheck>(*this); }
    uint64_t fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                       uint64_t sectorNumber, uint32_t blockSize,
                                                                       const std::string& bsdPath) override;
    std::optional<std::string> parentKey() const override { return "mrw"; }
    uint8_t firstByteOfHeader() const override { return 0x00; }
};

}  // namespace norix
