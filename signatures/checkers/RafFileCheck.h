#pragma once
// Fujifilm RAF raw images: the header's raw-data and preview fields.

#include "signatures/checkers/RawImageFormat.h"

namespace norix {

class RafFileCheck : public RawChecker {
public:
    std::shared_ptr<Checker> clone() const override { return std::make_shared<RafFileCheck>(*this); }
    uint64_t fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                       uint64_t sectorNumber, uint32_t blockSize,
                                                                       const std::string& bsdPath) override;
    std::optional<std::string> parentKey() const override { return "raf"; }
    uint8_t firstByteOfHeader() const override { return 0x46; }
};

}  // namespace norix
