#pragma once
// Panasonic and Leica RAW images: the first IFD's strips and the embedded JPEG.

#include "signatures/checkers/RawImageFormat.h"

namespace norix {

class RawFileCheck : public RawChecker {
public:
    std::shared_ptr<Checker> clone() const override { return std::make_shared<RawFileCheck>(*this); }
    uint64_t fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                       uint64_t sectorNumber, uint32_t blockSize,
                                                                       const std::string& bsdPath) override;
    std::optional<std::string> parentKey() const override { return "raw"; }

    // The length of the JPEG stream at the byte offset from the sector: its segments, then
    // its data up to and with the end-of-image marker; 0 when it is none or runs past 5 MiB.
    static uint64_t jpegSize_inOffset_withBSDPath_andBlockSize(uint64_t sectorNumber, uint64_t offset,
                                                               const std::string& bsdPath, uint32_t blockSize);
};

}  // namespace norix
