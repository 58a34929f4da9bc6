#pragma once
// MP3 songs: the ID3 tag, then the chain of MPEG audio frames.

#include "disk/ByteView.h"
#include "signatures/Checker.h"

namespace norix {

class Mp3FileCheck : public Checker {
public:
    std::shared_ptr<Checker> clone() const override { return std::make_shared<Mp3FileCheck>(*this); }
    // Walks the audio frames. Without an ID3 tag: from the first byte, over at most 5
    // stray bytes in a row, up to 10 MiB; the answer is the end plus the block size.
    // After an ID3 tag: frames like the first one after the tag, over at most 50 stray
    // bytes in a row, up to 8 MiB, and an ID3v1 tag after the last frame. Songs that
    // end before 10 KiB answer 0.
    uint64_t fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                       uint64_t sectorNumber, uint32_t blockSize,
                                                                       const std::string& bsdPath) override;
    std::optional<std::string> parentKey() const override { return "mp3"; }
    uint8_t firstByteOfHeader() const override { return 0x49; }

    // The big-endian 32-bit value at position.
    static uint32_t fourByteReading_fromBuffer(size_t position, ByteView buffer);
    // The numberOfBits bits of value from bit startBit downward (startBit the most
    // significant of the result).
    static uint32_t bitCheck_startBit_numberOfBits(uint32_t value, unsigned startBit, unsigned numberOfBits);
    // The four header bytes (big-endian) of an MPEG audio frame that starts with a frame
    // sync: a valid version, layer, bit-rate index (neither free nor bad) and sampling rate.
    static bool isFrameHeader(uint32_t header);
    // The length in bytes, padding slot included, of the frame a valid header starts
    // (the frame-length rule of ISO/IEC 11172-3 and 13818-3).
    static uint32_t frameLength(uint32_t header);

private:
    uint8_t bId3File = 0;  // the latest hit starts with an ID3 tag
};

}  // namespace norix
