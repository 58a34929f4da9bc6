#pragma once
// MP3 songs: the ID3 tag, then the chain of MPEG audio frames.

#include "signatures/Checker.h"

namespace norix {

class Mp3FileCheck : public Checker {
public:
    uint64_t fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                       uint64_t sectorNumber, uint32_t blockSize,
                                                                       const std::string& bsdPath) override;
    std::optional<std::string> parentKey() const override { return "mp3"; }
    uint8_t firstByteOfHeader() const override { return 0x49; }

    // The numberOfBits bits of value from bit startBit downward (startBit the most
    // significant of the result).
    static uint32_t bitCheck_startBit_numberOfBits(uint32_t value, unsigned startBit, unsigned numberOfBits);
    // The four header bytes (big-endian) of an MPEG audio frame that starts with a frame
    // sync: a valid version, layer, bit-rate index (neither free nor bad) and sampling rate.
    static bool isFrameHeader(uint32_t header);
};

}  // namespace norix
