#include "records/fat/StreamExtensionDirectoryEntery.h"

namespace norix {

std::optional<StreamExtensionDirectoryEntery> StreamExtensionDirectoryEntery::initSEDWithData(ByteView data) {
    const ByteView b = data.sub(0, 32);
    StreamExtensionDirectoryEntery sed;
    sed.entry_type = b.u8(0);                 // byte 0
    sed.general_secondary_flags = b.u8(1);    // byte 1
    sed.reserved1 = b.u8(2);                  // byte 2
    sed.name_length = b.u8(3);                // byte 3
    sed.name_hash = b.u16le(4);               // bytes 4-5
    sed.reserved2 = b.u16le(6);               // bytes 6-7
    sed.valid_data_length = b.u64le(8);       // bytes 8-15
    sed.reserved3 = b.u32le(16);              // bytes 16-19
    sed.first_cluster = b.u32le(20);          // bytes 20-23
    sed.data_length = b.u64le(24);            // bytes 24-31

    const uint8_t type = sed.entry_type;
    if (type != 0xC0 && type != 0x40 && type != 0xC1) return std::nullopt;
    if (sed.reserved1 != 0 || sed.reserved2 != 0 || sed.reserved3 != 0) return std::nullopt;
    return sed;
}

}  // namespace norix
