#include "records/fat/MainBootSector.h"

#include <algorithm>

namespace norix {

namespace {
template <size_t N>
std::array<uint8_t, N> copyBytes(ByteView data, size_t offset) {
    std::array<uint8_t, N> out{};
    const auto bytes = data.bytes(offset, N);
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return out;
}

// A sector of 2^9 to 2^12 bytes and a cluster of at most 2^25 bytes, as the format
// allows. Without this a hostile sector could ask the scans for 2^31-byte sectors.
bool plausibleGeometry(const MainBootSector& mbs) {
    return mbs.bytes_per_sector >= 9 && mbs.bytes_per_sector <= 12 &&
           mbs.bytes_per_sector + mbs.sectors_per_cluster <= 25;
}
}  // namespace

std::optional<MainBootSector> MainBootSector::initMBSWithData_withCurrentSector(ByteView data,
                                                                                 uint64_t currentSector) {
    const ByteView b = data.sub(0, 512);
    MainBootSector mbs;
    mbs.jump_boot = copyBytes<3>(b, 0);                    // bytes 0-2
    mbs.file_system_name = copyBytes<8>(b, 3);             // bytes 3-10
    mbs.must_be_zero = copyBytes<53>(b, 11);               // bytes 11-63
    mbs.partition_offset = b.u64le(64);                    // bytes 64-71
    mbs.volume_length = b.u64le(72);                       // bytes 72-79
    mbs.fat_offset = b.u32le(80);                          // bytes 80-83
    mbs.fat_length = b.u32le(84);                          // bytes 84-87
    mbs.cluster_heap_offset = b.u32le(88);                 // bytes 88-91
    mbs.cluster_count = b.u32le(92);                       // bytes 92-95
    mbs.root_directory_first_cluster = b.u32le(96);        // bytes 96-99
    mbs.volume_serial_number = b.u32le(100);               // bytes 100-103
    mbs.file_system_revision = b.u16le(104);               // bytes 104-105
    mbs.volume_flags = b.u16le(106);                       // bytes 106-107
    mbs.bytes_per_sector = b.u8(108);                      // byte 108
    mbs.sectors_per_cluster = b.u8(109);                   // byte 109
    mbs.number_of_fats = b.u8(110);                        // byte 110
    mbs.drive_select = b.u8(111);                          // byte 111
    mbs.percent_in_use = b.u8(112);                        // byte 112
    mbs.reserved = copyBytes<7>(b, 113);                   // bytes 113-119
    mbs.boot_code = copyBytes<390>(b, 120);                // bytes 120-509
    mbs.boot_signature = b.u16le(510);                     // bytes 510-511
    mbs.cluster_heap_offset_1 = 0;

    // The name is read as text up to its terminating zero, so byte 11 must be 0.
    if (!b.matches(3, std::string_view("EXFAT   \0", 9))) return std::nullopt;
    if (mbs.boot_signature != 0xAA55) return std::nullopt;
    if (mbs.number_of_fats != 1) return std::nullopt;
    if (!plausibleGeometry(mbs)) return std::nullopt;

    mbs.currentSector = currentSector;
    mbs.computedBytesPerSector = uint64_t{1} << mbs.bytes_per_sector;
    mbs.computedSectorsPerCluster = uint64_t{1} << mbs.sectors_per_cluster;
    return mbs;
}

}  // namespace norix
