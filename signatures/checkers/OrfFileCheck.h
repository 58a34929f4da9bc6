#pragma once
// Olympus ORF raw images: the strips and the maker note's preview.

#include "signatures/checkers/RawImageFormat.h"

namespace norix {

class OrfFileCheck : public RawChecker {
public:
    std::shared_ptr<Checker> clone() const override { return std::make_shared<OrfFileCheck>(*this); }
    uint64_t fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                       uint64_t sectorNumber, uint32_t blockSize,
                                                                       const std::string& bsdPath) override;
    std::optional<std::string> parentKey() const override { return "orf"; }
    uint8_t firstByteOfHeader() const override { return 0x49; }
};

}  // namespace norix
