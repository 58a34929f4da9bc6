#pragma once
// Digital negatives: the strips or tiles of the sub-IFDs.

#include "signatures/checkers/RawImageFormat.h"

namespace norix {

class DngFileCheck : public RawChecker {
public:
    std::shared_ptr<Checker> clone() const override { return std::make_shared<DngFileCheck>(*this); }
    uint64_t fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                       uint64_t sectorNumber, uint32_t blockSize,
                                                                       const std::string& bsdPath) override;
    std::optional<std::string> parentKey() const override { return "dng"; }
    uint8_t firstByteOfHeader() const override { return 0x49; }
};

}  // namespace norix
