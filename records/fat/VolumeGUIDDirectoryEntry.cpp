#include "records/fat/VolumeGUIDDirectoryEntry.h"

#include <algorithm>

namespace norix {

VolumeGUIDDirectoryEntry VolumeGUIDDirectoryEntry::initVGDWithData(ByteView data) {
    const ByteView b = data.sub(0, 32);
    VolumeGUIDDirectoryEntry vgd;
    vgd.entry_type = b.u8(0);                 // byte 0
    vgd.secondary_count = b.u8(1);            // byte 1
    vgd.set_checksum = b.u16le(2);            // bytes 2-3
    vgd.general_primary_flags = b.u16le(4);   // bytes 4-5
    const auto guid = b.bytes(6, 16);         // bytes 6-21
    std::copy(guid.begin(), guid.end(), vgd.volume_GUID.begin());
    const auto reserved = b.bytes(22, 10);    // bytes 22-31
    std::copy(reserved.begin(), reserved.end(), vgd.reserved.begin());
    return vgd;
}

}  // namespace norix
