#include "signatures/OtherFileCheck.h"

#include <stdexcept>

#include "disk/ByteView.h"

namespace norix {

OtherFileCheck::OtherFileCheck(const SigNode& node) : sigNode(node) {
    if (!sigNode.sig) throw std::invalid_argument("a checker needs a file type's node");
}

bool OtherFileCheck::isFile_andSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector, uint64_t, uint32_t,
                                                                 const std::string&) {
    const Sig& sig = *sigNode.sig;
    const ByteView bytes(sector);
    if (sig.headerLength == 0 || sig.headerLength > 8 || !bytes.has(sig.offset, sig.headerLength)) return false;
    uint64_t littleEndian = 0, bigEndian = 0;
    for (size_t i = 0; i < sig.headerLength; ++i) {
        littleEndian |= uint64_t(bytes.u8(sig.offset + i)) << (8 * i);
        bigEndian = (bigEndian << 8) | bytes.u8(sig.offset + i);
    }
    return littleEndian == sig.header || bigEndian == sig.header;
}

uint64_t OtherFileCheck::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t>, uint64_t,
                                                                                   uint32_t, const std::string&) {
    return uint64_t(sigNode.sig->defaultSize) << 20;
}

}  // namespace norix
