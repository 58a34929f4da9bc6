#include "records/hfs/HPlusCatalogKey.h"

#include <cstdlib>
#include <memory>
#include <vector>

#include <utf8proc.h>

namespace norix {

HPlusCatalogKey HPlusCatalogKey::initHPlusCatalogKeyWithBlock(ByteView block) {
    HPlusCatalogKey key;
    key.keyLength = block.u16be(0);
    key.parentID = block.u32be(2);
    key.length = block.u16be(6);
    if (key.length >= 1 && key.length <= 255)
        for (size_t i = 0; i < key.length; ++i) key.unicode.push_back(static_cast<char16_t>(block.u16be(8 + 2 * i)));
    return key;
}

std::string HPlusCatalogKey::getFileName() const {
    std::vector<uint8_t> units;
    for (char16_t unit : unicode) {
        units.push_back(static_cast<uint8_t>(unit >> 8));
        units.push_back(static_cast<uint8_t>(unit));
    }
    const std::string decomposed = utf16ToUtf8(ByteView(units), Endian::Big, false);
    std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> composed(
        utf8proc_NFC(reinterpret_cast<const utf8proc_uint8_t*>(decomposed.c_str())), &std::free);
    // A name holding a NUL unit stops there, as it would on any Linux path.
    return composed ? std::string(reinterpret_cast<const char*>(composed.get())) : decomposed;
}

}  // namespace norix
