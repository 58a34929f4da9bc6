#pragma once
// PNG pictures: the chunks up to the end chunk.

#include "disk/ByteView.h"
#include "signatures/Checker.h"

namespace norix {

class PngFileCheck : public Checker {
public:
    std::shared_ptr<Checker> clone() const override { return std::make_shared<PngFileCheck>(*this); }
    // Walks the chunks after the header chunk to the end chunk: the file's end plus 512
    // bytes. A walk that stops at a chunk it cannot take answers that chunk's start
    // plus 512; one that runs past 50 MiB ends there.
    uint64_t fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                       uint64_t sectorNumber, uint32_t blockSize,
                                                                       const std::string& bsdPath) override;
    std::optional<std::string> parentKey() const override { return "png"; }
    uint8_t firstByteOfHeader() const override { return 0x89; }

    // The big-endian 32-bit value at position.
    static uint32_t fourByteRead_position(ByteView buffer, size_t position);
};

}  // namespace norix
