#include "records/fat/AllocationBitMapDirectoryEntry.h"

#include <algorithm>

namespace norix {

AllocationBitMapDirectoryEntry AllocationBitMapDirectoryEntry::initABMWithData(ByteView data) {
    const ByteView b = data.sub(0, 32);
    AllocationBitMapDirectoryEntry abm;
    abm.entry_type = b.u8(0);          // byte 0
    abm.bit_map_flags = b.u8(1);       // byte 1
    const auto reserved = b.bytes(2, 18);  // bytes 2-19
    std::copy(reserved.begin(), reserved.end(), abm.reserved.begin());
    abm.first_cluster = b.u32le(20);   // bytes 20-23
    abm.data_length = b.u64le(24);     // bytes 24-31
    return abm;
}

}  // namespace norix
