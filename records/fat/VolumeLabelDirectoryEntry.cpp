#include "records/fat/VolumeLabelDirectoryEntry.h"

#include "records/fat/NameUnits.h"

namespace norix {

VolumeLabelDirectoryEntry VolumeLabelDirectoryEntry::initVLDWithData(ByteView data) {
    const ByteView b = data.sub(0, 32);
    VolumeLabelDirectoryEntry vld;
    vld.entry_type = b.u8(0);                     // byte 0
    vld.character_count = b.u8(1);                // byte 1
    vld.volume_label = readNameUnits(b, 2, 11);   // bytes 2-23
    vld.reserved = b.u32le(24);                   // bytes 24-27
    vld.volume_label_string = nameUnitsToUtf8(std::u16string_view(vld.volume_label).substr(0, vld.character_count));
    return vld;
}

}  // namespace norix
