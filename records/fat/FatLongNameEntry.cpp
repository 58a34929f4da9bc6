#include "records/fat/FatLongNameEntry.h"

#include "records/fat/NameUnits.h"

namespace norix {

std::optional<FatLongNameEntry> FatLongNameEntry::initLFNWithBlock(ByteView entry) {
    const ByteView b = entry.sub(0, 32);
    FatLongNameEntry lfn;
    lfn.attributeByte = b.u8(11);  // byte 11
    lfn.u8Type = b.u8(12);         // byte 12
    if (lfn.attributeByte != 0x0F || lfn.u8Type != 0) return std::nullopt;
    lfn.u8Ordinal = b.u8(0);                   // byte 0
    lfn.u8Checksum = b.u8(13);                 // byte 13
    lfn.u16FirstClusterLowWrd = b.u16le(26);   // bytes 26-27
    lfn.nameUnits = readNameUnits(b, 1, 5)     // bytes 1-10: units 1-5
                    + readNameUnits(b, 14, 6)  // bytes 14-25: units 6-11
                    + readNameUnits(b, 28, 2); // bytes 28-31: units 12-13
    lfn.nameString = nameUnitsToUtf8(lfn.nameUnits);
    lfn.isDeleted = lfn.u8Ordinal == 0xE5;
    return lfn;
}

uint8_t FatLongNameEntry::shortNameChecksum(ByteView shortName) {
    uint8_t sum = 0;
    for (size_t i = 0; i < 11; ++i) sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + shortName.u8(i));
    return sum;
}

std::string FatLongNameEntry::joinedName(std::span<const FatLongNameEntry> partsInNameOrder) {
    std::u16string units;
    for (const auto& part : partsInNameOrder) units += part.nameUnits;
    return nameUnitsToUtf8(units);
}

}  // namespace norix
