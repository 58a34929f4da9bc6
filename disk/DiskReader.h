#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace norix {

inline constexpr const char* kRecoveryErrorDomain = "com.norixsoftware.norixrecoverymodule";

struct DiskError {
    std::string domain = kRecoveryErrorDomain;
    int code = 0;
    std::string reason;  // the "Error reason" text
    const std::string& localizedDescription() const { return reason; }
};

// Stateless, read-only sector reader: every call opens the path anew, so any
// thread may read any device at any time.
class DiskReader {
public:
    // Returns the descriptor, negative on failure. Opened O_RDONLY|O_CLOEXEC only.
    static int openFileToReadAtPath(const std::string& path);

    // Reads numberOfSectors sectors of sectorSize bytes at sector firstSector with one
    // positioned read. Nothing on success (a short read, or a read at or past the end,
    // leaves the rest of the buffer as it was); code 1 "Unable to open disk", code 2
    // "Unable to read sector". A buffer smaller than the request is refused with code 2.
    static std::optional<DiskError> readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
        uint64_t firstSector, uint32_t sectorSize, const std::string& path, std::span<uint8_t> buffer,
        uint64_t numberOfSectors);
};

}  // namespace norix
