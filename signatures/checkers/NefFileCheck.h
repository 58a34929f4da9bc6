#pragma once
// Nikon NEF raw images: the strips of the sub-IFDs.

#include "signatures/checkers/RawImageFormat.h"

namespace norix {

class NefFileCheck : public RawChecker {
public:
    std::shared_ptr<Checker> clone() const override { return std::make_shared<NefFileCheck>(*this); }
    uint64_t fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                       uint64_t sectorNumber, uint32_t blockSize,
                                                                       const std::string& bsdPath) override;
    std::optional<std::string> parentKey() const override { return "nef"; }
    uint8_t firstByteOfHeader() const override { return 0x49; }
};

}  // namespace norix
