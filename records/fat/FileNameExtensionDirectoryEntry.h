#pragma once
// exFAT file-name entry (type 0xC1, 0x41 once deleted): up to 15 UTF-16LE units of a
// file name. A name of n units fills ceil(n / 15) entries following the stream
// extension; the last one is padded with zero units.

#include <cstdint>
#include <span>
#include <string>

#include "disk/ByteView.h"

namespace norix {

class FileNameExtensionDirectoryEntry {
public:
    uint8_t entry_type = 0;               // byte 0
    uint8_t general_secondary_flags = 0;  // byte 1
    std::u16string file_name1;            // bytes 2-31, the 15 units as stored
    std::string file_name_string;         // file_name_in_string(), kept at initialisation

    // Throws std::out_of_range when data holds fewer than 32 bytes.
    static FileNameExtensionDirectoryEntry initFNEWithData(ByteView data);

    // This entry's piece of the name as UTF-8, up to the first zero unit. Any character
    // comes out right; a surrogate pair cut between two entries needs joinedName.
    std::string file_name_in_string() const;

    // The name of an entry set from its file-name entries in order, cut to name_length
    // units (from the stream extension) and decoded once.
    static std::string joinedName(std::span<const FileNameExtensionDirectoryEntry> entries, uint8_t name_length);
};

}  // namespace norix
