#pragma once
// Sigma X3F raw images: the directory section.

#include "signatures/checkers/RawImageFormat.h"

namespace norix {

class X3fFileCheck : public RawChecker {
public:
    std::shared_ptr<Checker> clone() const override { return std::make_shared<X3fFileCheck>(*this); }
    uint64_t fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                       uint64_t sectorNumber, uint32_t blockSize,
                                                                       const std::string& bsdPath) override;
    std::optional<std::string> parentKey() const override { return "x3f"; }
    uint8_t firstByteOfHeader() const override { return 0x46; }
};

}  // namespace norix
