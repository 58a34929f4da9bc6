#pragma once
// JPEG pictures: the marker segments, then the scan data up to the end-of-image marker.

#include "disk/ByteView.h"
#include "signatures/Checker.h"

namespace norix {

class JpgFileCheck : public Checker {
public:
    std::shared_ptr<Checker> clone() const override { return std::make_shared<JpgFileCheck>(*this); }
    // Follows the segments from the one after the start-of-image marker to the start of
    // scan, then the scan data to the end-of-image marker: its end plus 512 bytes. A
    // broken segment chain answers the length walked; an end beyond 25 MiB answers 5 MiB.
    uint64_t fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                       uint64_t sectorNumber, uint32_t blockSize,
                                                                       const std::string& bsdPath) override;
    std::optional<std::string> parentKey() const override { return "jpg"; }
    uint8_t firstByteOfHeader() const override { return 0xFF; }

    // The big-endian 16-bit value at position.
    static uint16_t twoByteRead_andPosition(ByteView buffer, size_t position);
};

}  // namespace norix
