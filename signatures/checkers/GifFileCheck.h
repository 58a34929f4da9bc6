#pragma once
// GIF pictures: the blocks up to the trailer.

#include "signatures/Checker.h"

namespace norix {

class GifFileCheck : public Checker {
public:
    std::shared_ptr<Checker> clone() const override { return std::make_shared<GifFileCheck>(*this); }
    // Walks the images and extensions after the header and its colour table to the
    // trailer: the file's end plus 512 bytes. A walk past 5 MiB answers 5 MiB; a long
    // run of zero bytes ends the walk without slack.
    uint64_t fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                       uint64_t sectorNumber, uint32_t blockSize,
                                                                       const std::string& bsdPath) override;
    std::optional<std::string> parentKey() const override { return "gif"; }
    uint8_t firstByteOfHeader() const override { return 0x47; }
};

}  // namespace norix
