#include "results/DataExt.h"

namespace norix {

std::array<uint8_t, 8> DataExt::getWritableData() const {
    std::array<uint8_t, 8> bytes{};
    for (int i = 0; i < 4; ++i) {
        const int shift = 24 - 8 * i;
        bytes[i] = static_cast<uint8_t>(startBlock >> shift);
        bytes[4 + i] = static_cast<uint8_t>(blockCount >> shift);
    }
    return bytes;
}

}  // namespace norix
