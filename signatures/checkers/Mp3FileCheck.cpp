#include "signatures/checkers/Mp3FileCheck.h"

namespace norix {

// Not measured yet: every hit answers 0, so none becomes a file.
uint64_t Mp3FileCheck::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t>, uint64_t,
                                                                                 uint32_t, const std::string&) {
    return 0;
}

uint32_t Mp3FileCheck::bitCheck_startBit_numberOfBits(uint32_t value, unsigned startBit, unsigned numberOfBits) {
    return (value >> (startBit + 1 - numberOfBits)) & ((1u << numberOfBits) - 1);
}

bool Mp3FileCheck::isFrameHeader(uint32_t header) {
    const uint32_t version = bitCheck_startBit_numberOfBits(header, 20, 2);       // 01 is reserved
    const uint32_t layer = bitCheck_startBit_numberOfBits(header, 18, 2);         // 00 is reserved
    const uint32_t bitRate = bitCheck_startBit_numberOfBits(header, 15, 4);       // 0000 free, 1111 bad
    const uint32_t samplingRate = bitCheck_startBit_numberOfBits(header, 11, 2);  // 11 is reserved
    return version != 1 && layer != 0 && bitRate != 0 && bitRate != 15 && samplingRate != 3;
}

}  // namespace norix
