#include "signatures/checkers/OfficeFileXFileCheck.h"

#include <cstring>
#include <optional>

#include "disk/ByteView.h"
#include "disk/Platform.h"
#include "signatures/DeviceWindow.h"

namespace norix {

namespace {

constexpr uint64_t kWalkLimit = 20ull << 20;
constexpr std::string_view kLocalHeader = "PK\x03\x04";
constexpr std::string_view kCentralHeader = "PK\x01\x02";
constexpr std::string_view kEndOfCentralDirectory = "PK\x05\x06";
constexpr std::string_view kDataDescriptor = "PK\x07\x08";
constexpr uint16_t kSizesInDescriptor = 0x0008;  // general-purpose flag bit 3

// Local header: flags u16 at 6, compressed size u32 at 18, name length u16 at 26,
// extra length u16 at 28, then the name.
constexpr size_t kLocalHeaderSize = 30;
// Central-directory header: name, extra and comment lengths (u16) at 28, 30, 32.
constexpr size_t kCentralHeaderSize = 46;
// End of central directory: comment length u16 at 20; the comment ends the archive.
constexpr size_t kEndRecordSize = 22;
constexpr size_t kCommentLength = 20;

std::string_view kindOfPart(ByteView name) {
    if (name.matches(0, "ppt")) return "pptx";
    if (name.matches(0, "xl")) return "xlsx";
    if (name.matches(0, "word")) return "docx";
    return {};
}

// Where the data of a member whose sizes follow it ends: at the first descriptor
// signature whose compressed-size field equals the distance from the data's start.
std::optional<uint64_t> dataDescriptorFrom(DeviceWindow& device, uint64_t dataStart) {
    constexpr size_t kChunk = 60 * 1024, kDescriptorSize = 16;
    for (uint64_t chunkStart = dataStart; chunkStart < kWalkLimit; chunkStart += kChunk) {
        const auto chunk = device.bytesAt(chunkStart, kChunk + kDescriptorSize);
        if (!chunk) return std::nullopt;
        const uint8_t* bytes = chunk->data();
        for (const uint8_t* p = bytes; (p = static_cast<const uint8_t*>(std::memchr(p, 'P', bytes + kChunk - p)));
             ++p) {
            const size_t i = static_cast<size_t>(p - bytes);
            if (chunk->matches(i, kDataDescriptor) && chunk->u32le(i + 8) == chunkStart + i - dataStart)
                return chunkStart + i;
        }
    }
    return std::nullopt;
}

// The position after the local header's member: its data and, when the flags say
// so, the data descriptor that follows (16 bytes with its signature, 12 without).
// Names the kind of document when none is known yet.
std::optional<uint64_t> skipMember(DeviceWindow& device, uint64_t position, std::string_view& kind) {
    const auto header = device.bytesAt(position, kLocalHeaderSize + 4);
    if (!header) return std::nullopt;
    const uint16_t flags = header->u16le(6);
    const uint32_t compressedSize = header->u32le(18);
    const uint64_t dataStart = position + kLocalHeaderSize + header->u16le(26) + header->u16le(28);
    if (kind.empty()) kind = kindOfPart(header->sub(kLocalHeaderSize, 4));
    if (!(flags & kSizesInDescriptor)) return dataStart + compressedSize;
    const auto dataEnd = compressedSize != 0 ? dataStart + compressedSize : dataDescriptorFrom(device, dataStart);
    if (!dataEnd) return std::nullopt;
    const auto descriptor = device.bytesAt(*dataEnd, 4);
    if (!descriptor) return std::nullopt;
    return *dataEnd + (descriptor->matches(0, kDataDescriptor) ? 16 : 12);
}

}  // namespace

bool OfficeFileXFileCheck::isFirstHeader(ByteView head) {
    constexpr uint8_t kUtf8NamesHigh = 0x08;  // flag bit 11
    return head.matches(0, kLocalHeader) && head.has(0, 8) && head.u8(4) == 0x14 && head.u8(5) == 0 &&
           (head.u8(7) & ~kUtf8NamesHigh) == 0;
}

// Not measured here: the size comes with the name from identification.
uint64_t OfficeFileXFileCheck::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t>,
                                                                                         uint64_t, uint32_t,
                                                                                         const std::string&) {
    return 0;
}

std::string_view OfficeFileXFileCheck::getExtension_withSectorNumber_blockSize_andBSDPath_alongSize(
    std::span<const uint8_t> sector, uint64_t sectorNumber, uint32_t blockSize, const std::string& bsdPath,
    uint64_t& size) {
    const ByteView head(sector);
    if (!isFirstHeader(head)) {
        size = 0;
        return {};
    }
    std::string_view kind = head.u8(6) == 0 ? "zip" : "";
    DeviceWindow device(sector, sectorNumber, blockSize, bsdPath);
    try {
        for (uint64_t position = 0; position < kWalkLimit;) {
            const auto record = device.bytesAt(position, kCentralHeaderSize);
            if (!record) {
                consoleLog("\n");
                return {};
            }
            if (record->matches(0, kLocalHeader)) {
                const auto next = skipMember(device, position, kind);
                if (!next) return {};
                position = *next;
            } else if (record->matches(0, kCentralHeader)) {
                position += kCentralHeaderSize + record->u16le(28) + record->u16le(30) + record->u16le(32);
            } else if (record->matches(0, kEndOfCentralDirectory)) {
                if (kind.empty()) return {};
                size = position + kEndRecordSize + record->u16le(kCommentLength);
                return kind;
            } else {
                return {};
            }
        }
    } catch (const std::out_of_range&) {
    }
    return {};
}

}  // namespace norix
