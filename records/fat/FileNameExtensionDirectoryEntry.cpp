#include "records/fat/FileNameExtensionDirectoryEntry.h"

#include "records/fat/NameUnits.h"

namespace norix {

FileNameExtensionDirectoryEntry FileNameExtensionDirectoryEntry::initFNEWithData(ByteView data) {
    const ByteView b = data.sub(0, 32);
    FileNameExtensionDirectoryEntry fne;
    fne.entry_type = b.u8(0);                 // byte 0
    fne.general_secondary_flags = b.u8(1);    // byte 1
    fne.file_name1 = readNameUnits(b, 2, 15); // bytes 2-31
    fne.file_name_string = fne.file_name_in_string();
    return fne;
}

std::string FileNameExtensionDirectoryEntry::file_name_in_string() const { return nameUnitsToUtf8(file_name1); }

std::string FileNameExtensionDirectoryEntry::joinedName(std::span<const FileNameExtensionDirectoryEntry> entries,
                                                         uint8_t name_length) {
    std::u16string units;
    for (const auto& entry : entries) units += entry.file_name1;
    if (units.size() > name_length) units.resize(name_length);
    return nameUnitsToUtf8(units);
}

}  // namespace norix
