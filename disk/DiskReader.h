#pragma once
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "disk/ByteView.h"

namespace norix {

inline constexpr const char* kRecoveryErrorDomain = "com.norixsoftware.norixrecoverymodule";

struct DiskError {
    std::string domain = kRecoveryErrorDomain;
    int code = 0;
    std::string reason;  // the "Error reason" text
    const std::string& localizedDescription() const { return reason; }
};

// Bytes [first, end) of a device.
struct ByteRange {
    uint64_t first = 0, end = 0;
    bool operator==(const ByteRange&) const = default;
};

// The byte ranges of one device that could not be read, merged where they meet. Any
// thread may add to it while another reads it.
class UnreadableRanges {
public:
    explicit UnreadableRanges(uint32_t sectorBytes = 512) : sectorBytes_(sectorBytes ? sectorBytes : 512) {}
    // The device's sector: the smallest piece a failed read is tried again in.
    uint32_t sectorBytes() const { return sectorBytes_; }
    void add(ByteRange range);
    std::vector<ByteRange> ranges() const;
    // True when a byte of range is unreadable.
    bool overlaps(ByteRange range) const;
    // Forgets every range, for a new scan of a device with sectors of sectorBytes.
    void reset(uint32_t sectorBytes);

private:
    std::atomic<uint32_t> sectorBytes_;
    mutable std::mutex mutex_;
    std::map<uint64_t, uint64_t> ranges_;  // first -> end
};

// "unreadable sectors 1200-1207, 4096": device ranges in sectors of sectorBytes, each
// from its first to its last sector; empty when there are none.
std::string unreadableSectorsText(const std::vector<ByteRange>& ranges, uint64_t sectorBytes);
// "bytes 0-511, 4096-4607": ranges from their first to their last byte.
std::string byteRangesText(const std::vector<ByteRange>& ranges);

// Stateless, read-only sector reader: any thread may read any device at any time. A
// call opens the path anew unless a KeepOpen holds it open.
class DiskReader {
public:
    // Returns the descriptor, negative on failure. Opened O_RDONLY|O_CLOEXEC only.
    static int openFileToReadAtPath(const std::string& path);

    // While one lives, reads of its path on any thread share its one descriptor instead
    // of opening and closing the device for each read (tens of thousands in a sweep of
    // a disk full of small files). Only a run over which the path names the same device
    // holds one: the deep scan's sweep.
    class KeepOpen {
    public:
        explicit KeepOpen(const std::string& path);
        ~KeepOpen();
        KeepOpen(const KeepOpen&) = delete;
        KeepOpen& operator=(const KeepOpen&) = delete;

    private:
        std::shared_ptr<const int> fd_;
    };
    // A descriptor for one use: the kept one of the path, else one opened for this use and
    // closed with it (fd() negative when it cannot be opened).
    class Descriptor {
    public:
        explicit Descriptor(const std::string& path);
        ~Descriptor();
        Descriptor(const Descriptor&) = delete;
        Descriptor& operator=(const Descriptor&) = delete;
        int fd() const { return kept_ ? *kept_ : own_; }

    private:
        std::shared_ptr<const int> kept_;
        int own_ = -1;
    };

    // While one lives, reads on its thread of bytes it holds (bytes of the path from
    // deviceOffset on, already read) copy them from memory instead of reading the device
    // again: the deep scan holds each chunk so while the checkers size the files that
    // start in it. Holders nest; the innermost that holds a read serves it.
    class Resident {
    public:
        Resident(const std::string& path, uint64_t deviceOffset, ByteView bytes);
        ~Resident();
        Resident(const Resident&) = delete;
        Resident& operator=(const Resident&) = delete;
        // The bytes [deviceOffset, deviceOffset + length) of path when a holder on this thread has them.
        static std::optional<ByteView> find(const std::string& path, uint64_t deviceOffset, uint64_t length);

    private:
        const std::string& path_;
        uint64_t deviceOffset_;
        ByteView bytes_;
        const Resident* outer_;
    };

    // Reads numberOfSectors sectors of sectorSize bytes at sector firstSector with one
    // positioned read. Nothing on success (a short read, or a read at or past the end,
    // leaves the rest of the buffer as it was); code 1 "Unable to open disk", code 2
    // "Unable to read sector". A buffer smaller than the request is refused with code 2.
    // Given `unreadable`, a failed read is no error: it is tried again in halves down to
    // the device's sector, and only the sectors that still fail are zeros in the buffer
    // and added to `unreadable`.
    static std::optional<DiskError> readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
        uint64_t firstSector, uint32_t sectorSize, const std::string& path, std::span<uint8_t> buffer,
        uint64_t numberOfSectors, UnreadableRanges* unreadable = nullptr);
};

}  // namespace norix
