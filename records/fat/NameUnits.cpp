#include "records/fat/NameUnits.h"

#include <vector>

namespace norix {

std::u16string readNameUnits(ByteView entry, size_t offset, size_t count) {
    const ByteView bytes = entry.sub(offset, 2 * count);
    std::u16string units;
    for (size_t i = 0; i < count; ++i) units += static_cast<char16_t>(bytes.u16le(2 * i));
    return units;
}

std::string nameUnitsToUtf8(std::u16string_view units) {
    std::vector<uint8_t> bytes;
    for (const char16_t unit : units) {
        if (unit == 0x0000 || unit == 0xFFFF) break;
        bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return utf16ToUtf8(ByteView(bytes.data(), bytes.size()), Endian::Little);
}

}  // namespace norix
