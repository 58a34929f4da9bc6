#include "signatures/checkers/CrwFileCheck.h"

#include <algorithm>
#include <vector>

namespace norix {

namespace {

constexpr uint64_t kHeapLimit = 20971520;  // 20 MiB
constexpr uint32_t kLargestHeader = 512;
constexpr uint16_t kMaxRecords = 1024;
constexpr size_t kSearchChunk = 65536;
constexpr size_t kRecordSize = 10;  // type u16, size u32, offset u32 (little-endian)
constexpr uint16_t kFullSizeJpeg = 0x2007;
constexpr uint16_t kLocationMask = 0xC000, kInHeap = 0x0000, kTypeMask = 0x3FFF;

// The CIFF root heap fills the file from the end of the header: its records' data, then
// their table (a count and 10-byte records), then the table's offset in the heap as the
// file's last four bytes. The table is found as the first place where that holds, within
// 20 MiB and the device.
struct Heap {
    uint64_t tableAt = 0;
    uint16_t records = 0;
    uint64_t end() const { return tableAt + 2 + kRecordSize * records + 4; }
};

std::optional<Heap> findTable(DeviceWindow& device, uint64_t heapStart) {
    const uint64_t limit = std::min(heapStart + kHeapLimit, device.bytesToDeviceEnd().value_or(UINT64_MAX));
    std::vector<uint8_t> chunk;  // a copy: reading a candidate's link moves the window
    for (uint64_t chunkAt = heapStart; chunkAt < limit; chunkAt += kSearchChunk) {
        const auto bytes = device.bytesAt(chunkAt, kSearchChunk + 1);
        if (!bytes) return std::nullopt;
        chunk.assign(bytes->data(), bytes->data() + bytes->size());
        for (size_t i = 0; i < kSearchChunk && chunkAt + i < limit; ++i) {
            const uint16_t records = RawImageFormat::twoByteReadInCaseOfLittleEndian_position(ByteView(chunk), i + 1);
            if (records == 0 || records > kMaxRecords) continue;
            const uint64_t at = chunkAt + i;
            const auto link = device.bytesAt(at + 2 + kRecordSize * records, 4);
            if (!link) return std::nullopt;
            if (RawImageFormat::fourByteReadInCaseOfLittleEndian_position(*link, 3) == at - heapStart)
                return Heap{at, records};
        }
    }
    return std::nullopt;
}

}  // namespace

// The root heap's table: the file ends with it, and record 0x2007 holds the full-size
// JPEG. Every record stored in the heap must lie before the table.
uint64_t CrwFileCheck::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                                 uint64_t sectorNumber,
                                                                                 uint32_t blockSize,
                                                                                 const std::string& bsdPath) {
    return measureFile(sector, sectorNumber, blockSize, bsdPath, [this](TiffFile& file) -> uint64_t {
        const uint32_t heapStart = file.head.u32le(2);
        if (!file.head.matches(6, "HEAPCCDR") || heapStart < 14 || heapStart > kLargestHeader)
            return answer(file.device, 0);
        const auto heap = findTable(file.device, heapStart);
        if (!heap) return answer(file.device, 0);
        const uint64_t dataLength = heap->tableAt - heapStart;
        const auto table = file.device.bytesAt(heap->tableAt + 2, kRecordSize * heap->records);
        if (!table) return answer(file.device, 0);
        FileRun preview;
        for (size_t i = 0; i < heap->records; ++i) {
            const ByteView record = table->sub(i * kRecordSize, kRecordSize);
            const uint16_t type = record.u16le(0);
            if ((type & kLocationMask) != kInHeap) continue;
            const uint32_t size = record.u32le(2), offset = record.u32le(6);
            if (offset > dataLength || size > dataLength - offset) return answer(file.device, 0);
            if ((type & kTypeMask) == kFullSizeJpeg) preview = {heapStart + uint64_t{offset}, size};
        }
        notePreview(preview.offset, preview.length);
        return answer(file.device, heap->end());
    });
}

}  // namespace norix
