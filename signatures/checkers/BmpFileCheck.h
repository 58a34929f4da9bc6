#pragma once
// Windows bitmaps: the size field of the file header, nothing else is read.

#include "signatures/Checker.h"

namespace norix {

class BmpFileCheck : public Checker {
public:
    std::shared_ptr<Checker> clone() const override { return std::make_shared<BmpFileCheck>(*this); }
    uint64_t fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                       uint64_t sectorNumber, uint32_t blockSize,
                                                                       const std::string& bsdPath) override;
    std::optional<std::string> parentKey() const override { return "bmp"; }
    uint8_t firstByteOfHeader() const override { return 0x42; }
};

}  // namespace norix
