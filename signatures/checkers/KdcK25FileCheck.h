#pragma once
// Kodak KDC and K25 raw images: strips, tiles and preview.

#include "signatures/checkers/RawImageFormat.h"

namespace norix {

class KdcK25FileCheck : public RawChecker {
public:
    std::shared_ptr<Checker> clone() const override { return std::make_shared<KdcK25FileCheck>(*this); }
    uint64_t fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                       uint64_t sectorNumber, uint32_t blockSize,
                                                                       const std::string& bsdPath) override;
    std::optional<std::string> parentKey() const override { return "k25"; }
    uint8_t firstByteOfHeader() const override { return 0x49; }
};

}  // namespace norix
