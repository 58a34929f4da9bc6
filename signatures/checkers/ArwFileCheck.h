#pragma once
// Sony ARW raw images, sized while they are identified.

#include "signatures/Checker.h"

namespace norix {

class ArwFileCheck : public Checker {
public:
    uint64_t fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                       uint64_t sectorNumber, uint32_t blockSize,
                                                                       const std::string& bsdPath) override;
    // The size of an ARW file, and of one in the DSLR-A100 layout.
    uint64_t getFileCalcultaionForARW_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                            uint64_t sectorNumber, uint32_t blockSize,
                                                                            const std::string& bsdPath);
    uint64_t getFileCalcultaionForARW100_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                               uint64_t sectorNumber,
                                                                               uint32_t blockSize,
                                                                               const std::string& bsdPath);
};

}  // namespace norix
