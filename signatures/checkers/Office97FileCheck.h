#pragma once
// Office 97-2003 documents (doc, xls, ppt): OLE compound files.

#include <string_view>

#include "signatures/Checker.h"

namespace norix {

class Office97FileCheck : public Checker {
public:
    std::shared_ptr<Checker> clone() const override { return std::make_shared<Office97FileCheck>(*this); }
    // With DIFAT sectors, a bound on the sectors their FAT sectors can address;
    // otherwise the header and every sector up to the last one that the last FAT
    // sector marks as used. Both are computed in 32 bits.
    uint64_t fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                       uint64_t sectorNumber, uint32_t blockSize,
                                                                       const std::string& bsdPath) override;

    // "doc", "xls" or "ppt" for the compound file whose header is the sector, from the
    // names in its directory; nothing when the directory names none of them or cannot
    // be read. Reads the directory (and the FAT sectors that chain it) from the device.
    static std::string_view chechForOfficeFileExtension_withSectorNumber_blockSize_andBSDPath(
        std::span<const uint8_t> sector, uint64_t sectorNumber, uint32_t blockSize, const std::string& bsdPath);
};

}  // namespace norix
