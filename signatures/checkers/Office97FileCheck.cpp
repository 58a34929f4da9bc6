#include "signatures/checkers/Office97FileCheck.h"

#include <array>
#include <optional>

#include "disk/ByteView.h"
#include "disk/Platform.h"
#include "signatures/DeviceWindow.h"

namespace norix {

namespace {

// Header fields of a compound file.
constexpr size_t kSectorShift = 30;     // u16: sector size as a power of two
constexpr size_t kFirstDirectory = 48;  // u32: first sector of the directory
constexpr size_t kDifatSectors = 72;    // u32: sectors that hold more of the FAT's sector list
constexpr size_t kHeaderDifat = 76;     // 109 u32: the sectors that hold the FAT
constexpr uint32_t kHeaderDifatCount = 109;
constexpr uint32_t kLastRegularSector = 0xFFFFFFF9;  // above: end of chain, free, FAT or DIFAT marks
constexpr uint32_t kFreeSector = 0xFFFFFFFF;
// The bound for a file with DIFAT sectors, in sectors: 128 FAT sectors of 128 entries
// for each DIFAT sector, and the 109 FAT sectors of the header's list.
constexpr uint32_t kSectorsPerDifatSector = 128 * 128;
constexpr uint32_t kSectorsOfHeaderList = 109 * 128;
constexpr std::string_view kSignature = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
constexpr size_t kEntrySize = 128;         // one directory entry; its UTF-16 name fills the first 64 bytes
constexpr int kDirectorySectorLimit = 64;  // directory sectors visited before giving up

// True when the directory entry's UTF-16 name begins with text (ASCII).
bool nameStartsWith(ByteView entry, std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i)
        if (entry.u16le(2 * i) != static_cast<uint8_t>(text[i])) return false;
    return true;
}

// True when the entry's whole name is text: the name length field (at 64, in bytes
// with the closing NUL) must agree.
bool nameIs(ByteView entry, std::string_view text) {
    return entry.u16le(64) == 2 * (text.size() + 1) && nameStartsWith(entry, text);
}

// The kind of document a stream of this name makes the file.
std::string_view kindOfStream(ByteView entry) {
    if (nameIs(entry, "WordDocument")) return "doc";
    if (nameIs(entry, "Workbook") || nameIs(entry, "Book")) return "xls";
    if (nameIs(entry, "PowerPoint Document")) return "ppt";
    return {};
}

class CompoundFile {
public:
    CompoundFile(ByteView header, uint32_t sectorSize, DeviceWindow& device)
        : header_(header), sectorSize_(sectorSize), device_(device) {}

    // The directory sector's entries; nothing on a read error.
    std::optional<ByteView> sector(uint32_t id) {
        return device_.bytesAt(uint64_t(id + 1ull) * sectorSize_, sectorSize_);
    }

    // The next sector of a chain from the FAT; nothing at its end or on a read error.
    std::optional<uint32_t> next(uint32_t id) {
        const uint32_t perFatSector = sectorSize_ / 4;
        if (id / perFatSector >= kHeaderDifatCount) return std::nullopt;
        const uint32_t fatSector = header_.u32le(kHeaderDifat + 4 * (id / perFatSector));
        if (fatSector > kLastRegularSector) return std::nullopt;
        const auto entry = device_.bytesAt(uint64_t(fatSector + 1ull) * sectorSize_ + 4ull * (id % perFatSector), 4);
        if (!entry || entry->u32le(0) > kLastRegularSector) return std::nullopt;
        return entry->u32le(0);
    }

private:
    ByteView header_;
    uint32_t sectorSize_;
    DeviceWindow& device_;
};

// The first entry of the directory chain that names a kind of document.
std::optional<std::string_view> kindFromDirectory(CompoundFile& file, uint32_t firstSector, uint32_t sectorSize) {
    std::optional<uint32_t> id = firstSector;
    for (int visited = 0; id && visited < kDirectorySectorLimit; ++visited) {
        const auto entries = file.sector(*id);
        if (!entries) return std::nullopt;
        for (size_t at = 0; at + kEntrySize <= sectorSize; at += kEntrySize)
            if (auto kind = kindOfStream(entries->sub(at, kEntrySize)); !kind.empty()) return kind;
        id = file.next(*id);
    }
    return std::string_view();
}

// The header's sector size; nothing for a file that is not a compound file. Only the
// two sizes a compound file may have are taken.
std::optional<uint32_t> sectorSizeOf(ByteView header) {
    if (!header.matches(0, kSignature)) return std::nullopt;
    const uint16_t shift = header.u16le(kSectorShift);
    if (shift != 9 && shift != 12) return std::nullopt;
    return 1u << shift;
}

// The index of the header's last FAT sector: the entry before the first free one, or
// the last of all; nothing when the first is free.
std::optional<uint32_t> lastHeaderFatSector(ByteView header) {
    for (uint32_t index = 0; index < kHeaderDifatCount; ++index)
        if (header.u32le(kHeaderDifat + 4 * index) == kFreeSector)
            return index == 0 ? std::nullopt : std::optional<uint32_t>(index - 1);
    return kHeaderDifatCount - 1;
}

// The number of entries of a FAT sector up to its last used one. Sectors freed inside
// the file (LibreOffice leaves one near the start) do not end it.
uint32_t entriesInUse(ByteView fatSector) {
    uint32_t entries = static_cast<uint32_t>(fatSector.size() / 4);
    while (entries > 0 && fatSector.u32le(4 * (entries - 1)) == kFreeSector) --entries;
    return entries;
}

}  // namespace

uint64_t Office97FileCheck::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                                      uint64_t sectorNumber,
                                                                                      uint32_t blockSize,
                                                                                      const std::string& bsdPath) {
    try {
        const ByteView header(sector);
        const auto sectorSize = sectorSizeOf(header);
        if (!sectorSize) return 0;
        if (const uint32_t difatSectors = header.u32le(kDifatSectors); difatSectors > 0)
            return uint32_t((difatSectors * kSectorsPerDifatSector + kSectorsOfHeaderList) * *sectorSize);
        const auto last = lastHeaderFatSector(header);
        if (!last) return 0;
        DeviceWindow device(sector, sectorNumber, blockSize, bsdPath, *sectorSize);
        const uint32_t fatSector = header.u32le(kHeaderDifat + 4 * *last);
        const auto entries = device.bytesAt((uint64_t(fatSector) + 1) * *sectorSize, *sectorSize);
        if (!entries) return 0;
        return uint32_t((*sectorSize / 4 * *last + entriesInUse(*entries) + 1) * *sectorSize);
    } catch (const std::out_of_range&) {
        return 0;
    }
}

std::string_view Office97FileCheck::chechForOfficeFileExtension_withSectorNumber_blockSize_andBSDPath(
    std::span<const uint8_t> sector, uint64_t sectorNumber, uint32_t blockSize, const std::string& bsdPath) {
    try {
        const ByteView header(sector);
        const uint32_t firstDirectory = header.u32le(kFirstDirectory);
        const uint16_t shift = header.u16le(kSectorShift);
        if (firstDirectory == 0 || firstDirectory > kLastRegularSector || (shift != 9 && shift != 12)) return {};
        const uint32_t sectorSize = 1u << shift;
        DeviceWindow device(sector, sectorNumber, blockSize, bsdPath, 4096);
        CompoundFile file(header, sectorSize, device);

        const auto root = file.sector(firstDirectory);
        if (!root) {
            consoleLog("\n");
            return {};
        }
        if (!nameStartsWith(*root, "Root")) return {};
        // The second entry usually names the main stream.
        const ByteView second = root->sub(kEntrySize, kEntrySize);
        if (nameStartsWith(second, "Work")) return "xls";
        if (nameStartsWith(second, "Power")) return "ppt";
        if (nameStartsWith(second, "Data")) return "doc";
        // Otherwise (LibreOffice, for one, puts "\1CompObj" there) the main stream is
        // looked for in the whole directory.
        const auto kind = kindFromDirectory(file, firstDirectory, sectorSize);
        if (!kind) consoleLog("\n");
        return kind.value_or(std::string_view());
    } catch (const std::out_of_range&) {
        return {};
    }
}

}  // namespace norix
