#pragma once
// The exFAT main boot sector, the first sector of the volume. Little-endian on disk;
// offsets are from the start of the sector.

#include <array>
#include <cstdint>
#include <optional>

#include "disk/ByteView.h"

namespace norix {

class MainBootSector {
public:
    std::array<uint8_t, 3> jump_boot{};           // bytes 0-2, EB 76 90
    std::array<uint8_t, 8> file_system_name{};    // bytes 3-10, "EXFAT   "
    std::array<uint8_t, 53> must_be_zero{};       // bytes 11-63
    std::array<uint8_t, 7> reserved{};            // bytes 113-119
    std::array<uint8_t, 390> boot_code{};         // bytes 120-509
    uint64_t currentSector = 0;                   // device sector the sector was read from
    uint8_t bytes_per_sector = 0;                 // byte 108, as a power of two
    uint8_t sectors_per_cluster = 0;              // byte 109, as a power of two
    uint8_t number_of_fats = 0;                   // byte 110
    uint8_t drive_select = 0;                     // byte 111
    uint8_t percent_in_use = 0;                   // byte 112
    uint16_t file_system_revision = 0;            // bytes 104-105
    uint16_t volume_flags = 0;                    // bytes 106-107
    uint16_t boot_signature = 0;                  // bytes 510-511, 0xAA55
    uint32_t fat_offset = 0;                      // bytes 80-83, sectors from the volume start
    uint32_t fat_length = 0;                      // bytes 84-87, sectors
    uint32_t cluster_heap_offset = 0;             // bytes 88-91, sectors from the volume start
    uint32_t cluster_count = 0;                   // bytes 92-95
    uint32_t root_directory_first_cluster = 0;    // bytes 96-99
    uint32_t volume_serial_number = 0;            // bytes 100-103
    uint64_t partition_offset = 0;                // bytes 64-71
    uint64_t volume_length = 0;                   // bytes 72-79, sectors
    uint64_t computedBytesPerSector = 0;          // 2 to the power bytes_per_sector
    uint64_t computedSectorsPerCluster = 0;       // 2 to the power sectors_per_cluster
    // Absolute device sector of the cluster heap (cluster 2); 0 until the scan places it.
    uint64_t cluster_heap_offset_1 = 0;

    // nullopt unless the sector is an exFAT boot sector: "EXFAT   " at bytes 3-10 with a
    // zero byte after it, the 0xAA55 signature, one FAT, and a sector of 512 to 4096
    // bytes with clusters of at most 32 MiB. Throws std::out_of_range when data holds
    // fewer than 512 bytes.
    static std::optional<MainBootSector> initMBSWithData_withCurrentSector(ByteView data, uint64_t currentSector);

    uint64_t getCurrentSector() const { return currentSector; }
    // Used when a root directory is found without its boot sector.
    void setSetorPerClustor(uint64_t sectorsPerCluster) { computedSectorsPerCluster = sectorsPerCluster; }
    void SetClustHeapOffset(uint64_t sector) { cluster_heap_offset_1 = sector; }
};

}  // namespace norix
