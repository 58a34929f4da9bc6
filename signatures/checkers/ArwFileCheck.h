#pragma once
// Sony ARW raw images, in the layout of the DSLR-A100 and in the later one.

#include "signatures/checkers/RawImageFormat.h"

namespace norix {

class ArwFileCheck : public RawChecker {
public:
    std::shared_ptr<Checker> clone() const override { return std::make_shared<ArwFileCheck>(*this); }
    uint64_t fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                       uint64_t sectorNumber, uint32_t blockSize,
                                                                       const std::string& bsdPath) override;
    std::optional<std::string> parentKey() const override { return "arw"; }
    uint8_t firstByteOfHeader() const override { return 0x49; }
    // Is the sector the header of an ARW file, in either layout?
    bool isFile_andSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector, uint64_t sectorNumber,
                                                    uint32_t blockSize, const std::string& bsdPath) override;

    // The size of an ARW file, and of one in the DSLR-A100 layout.
    uint64_t getFileCalcultaionForARW_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                            uint64_t sectorNumber, uint32_t blockSize,
                                                                            const std::string& bsdPath);
    uint64_t getFileCalcultaionForARW100_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                               uint64_t sectorNumber,
                                                                               uint32_t blockSize,
                                                                               const std::string& bsdPath);

private:
    uint64_t measure(std::span<const uint8_t> sector, uint64_t sectorNumber, uint32_t blockSize,
                     const std::string& bsdPath, bool subIfds);
};

}  // namespace norix
