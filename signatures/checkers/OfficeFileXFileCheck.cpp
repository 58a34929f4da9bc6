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
constexpr std::string_view kZip64EndRecord = "PK\x06\x06";
constexpr std::string_view kZip64EndLocator = "PK\x06\x07";
constexpr uint16_t kSizesInDescriptor = 0x0008;  // general-purpose flag bit 3
constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr uint32_t kSizeInZip64Extra = 0xFFFFFFFF;

// Local header: flags u16 at 6, compressed size u32 at 18, uncompressed size u32 at 22,
// name length u16 at 26, extra length u16 at 28, then the name and the extra field.
constexpr size_t kLocalHeaderSize = 30;
// Zip64 end-of-central-directory record: the size of what follows its first 12 bytes,
// u64 at 4; its locator is 20 bytes.
constexpr size_t kZip64EndRecordHead = 12;
constexpr size_t kZip64LocatorSize = 20;
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
// signature whose compressed-size field (the low half of it in a zip64 descriptor)
// equals the distance from the data's start.
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

// A member's zip64 extra field: present or not, and the 64-bit compressed size it
// holds when the local header's 32-bit one says so (the uncompressed size comes
// first when that field says so too).
struct Zip64Extra {
    bool present = false;
    std::optional<uint64_t> compressedSize;
};

Zip64Extra zip64ExtraOf(DeviceWindow& device, uint64_t extraStart, uint16_t extraLength, uint32_t compressed32,
                        uint32_t uncompressed32) {
    Zip64Extra zip64;
    const auto extra = device.bytesAt(extraStart, extraLength);
    if (!extra) return zip64;
    for (size_t at = 0; at + 4 <= extraLength;) {
        const uint16_t id = extra->u16le(at), length = extra->u16le(at + 2);
        if (id == kZip64ExtraId) {
            zip64.present = true;
            size_t field = at + 4;
            if (uncompressed32 == kSizeInZip64Extra) field += 8;
            if (compressed32 == kSizeInZip64Extra && field + 8 <= at + 4 + length && extra->has(field, 8))
                zip64.compressedSize = extra->u64le(field);
            break;
        }
        at += 4 + size_t{length};
    }
    return zip64;
}

// The position after the local header's member: its data and, when the flags say
// so, the data descriptor that follows (16 bytes with its signature, 12 without; 8
// more in a zip64 member, whose sizes are 64-bit). Names the kind of document when
// none is known yet.
std::optional<uint64_t> skipMember(DeviceWindow& device, uint64_t position, std::string_view& kind) {
    const auto header = device.bytesAt(position, kLocalHeaderSize + 4);
    if (!header) return std::nullopt;
    // The header's view lasts only until the next read of the window.
    const uint16_t flags = header->u16le(6);
    const uint32_t compressed32 = header->u32le(18);
    const uint16_t extraLength = header->u16le(28);
    const uint64_t extraStart = position + kLocalHeaderSize + header->u16le(26);
    const uint64_t dataStart = extraStart + extraLength;
    if (kind.empty()) kind = kindOfPart(header->sub(kLocalHeaderSize, 4));
    const Zip64Extra zip64 = zip64ExtraOf(device, extraStart, extraLength, compressed32, header->u32le(22));
    uint64_t compressedSize = compressed32;
    if (compressedSize == kSizeInZip64Extra && zip64.compressedSize) compressedSize = *zip64.compressedSize;
    if (compressedSize > kWalkLimit) return std::nullopt;  // past where the walk ends anyway
    const bool sizeKnown = compressedSize != 0 && compressedSize != kSizeInZip64Extra;
    if (!(flags & kSizesInDescriptor)) return dataStart + compressedSize;
    const auto dataEnd = sizeKnown ? dataStart + compressedSize : dataDescriptorFrom(device, dataStart);
    if (!dataEnd) return std::nullopt;
    const auto descriptor = device.bytesAt(*dataEnd, 4);
    if (!descriptor) return std::nullopt;
    return *dataEnd + (descriptor->matches(0, kDataDescriptor) ? 16 : 12) + (zip64.present ? 8 : 0);
}

}  // namespace

bool OfficeFileXFileCheck::isFirstHeader(ByteView head) {
    constexpr uint8_t kUtf8NamesHigh = 0x08;  // flag bit 11
    // Version needed: 1.0 for a stored member or a folder, 2.0 for a deflated one, 4.5
    // for a zip64 member (what Info-ZIP writes when it streams from standard input).
    constexpr uint8_t kStored = 0x0A, kDeflated = 0x14, kZip64 = 0x2D;
    if (!head.matches(0, kLocalHeader) || !head.has(0, 8)) return false;
    const uint8_t version = head.u8(4);
    return (version == kStored || version == kDeflated || version == kZip64) && head.u8(5) == 0 &&
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
            } else if (record->matches(0, kZip64EndRecord)) {
                const uint64_t rest = record->u64le(4);
                if (rest > kWalkLimit) return {};
                position += kZip64EndRecordHead + rest;
            } else if (record->matches(0, kZip64EndLocator)) {
                position += kZip64LocatorSize;
            } else if (record->matches(0, kEndOfCentralDirectory)) {
                // An archive whose parts name no Office document is a plain ZIP.
                if (kind.empty()) kind = "zip";
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
