#pragma once
// File names of FAT long-name entries and exFAT file-name entries are stored as
// UTF-16LE code units; a name may be cut anywhere between two entries, even between
// the two halves of a surrogate pair, so pieces are joined as units and decoded once.

#include <string>
#include <string_view>

#include "disk/ByteView.h"

namespace norix {

// The units from offset to offset + 2 * count of an entry, in disk order (little-endian).
std::u16string readNameUnits(ByteView entry, size_t offset, size_t count);

// The name held by these units, as UTF-8. It ends before the first 0x0000 (end of the
// name) or 0xFFFF (FAT pads the last long-name entry with it); an unpaired surrogate
// becomes U+FFFD.
std::string nameUnitsToUtf8(std::u16string_view units);

}  // namespace norix
