#include "signatures/tags/FileCheck.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "disk/DiskReader.h"
#include "disk/Platform.h"
#include "signatures/tags/DocxTags.h"

namespace norix {

using namespace std::string_view_literals;

namespace {

// No reader holds more than this much of one file: the tags of songs and OLE documents
// sit near the start, and a lying file size cannot make a reader allocate gigabytes.
constexpr uint64_t kMaxWholeFileRead = 64 << 20;
constexpr uint32_t kMaxBlockSize = 1 << 20;
constexpr const char* kReadError = "error in reading block for Tags search";

constexpr uint16_t kExifMake = 271;
constexpr uint16_t kExifModel = 272;
constexpr uint16_t kExifDateTime = 306;
constexpr uint8_t kExifAscii = 2;
constexpr size_t kMaxExifText = 256;
constexpr size_t kMaxId3Characters = 30;
constexpr size_t kOleGranule = 64;       // a mini-stream sector: small streams start on one
constexpr uint32_t kOleStringType = 30;  // VT_LPSTR
// Format id of the summary-information set, F29F85E0-4FF9-1068-AB91-08002B27B3D9, as stored.
constexpr std::string_view kSummaryInformationId =
    "\xE0\x85\x9F\xF2\xF9\x4F\x68\x10\xAB\x91\x08\x00\x2B\x27\xB3\xD9"sv;

// --- reading the carved file ---

uint64_t sectorsInExtents(const BaseTree& node) {
    uint64_t sectors = 0;
    for (const DataExt& ext : node.dataExtArray) sectors += ext.blockCount;
    return sectors;
}

// Reads count sectors of the file from its sector first (both counted within the
// file), following its extents; a range reaching past the last extent is cut short.
std::optional<std::vector<uint8_t>> readFileSectors(const BaseTree& node, uint32_t blockSize,
                                                    const std::string& path, uint64_t first, uint64_t count) {
    if (blockSize == 0 || blockSize > kMaxBlockSize) {
        consoleLog("%s\n", kReadError);
        return std::nullopt;
    }
    const uint64_t available = sectorsInExtents(node);
    count = std::min(count, available - std::min(first, available));
    std::vector<uint8_t> bytes(count * blockSize);
    size_t filled = 0;
    for (const DataExt& ext : node.dataExtArray) {
        if (count == 0) break;
        if (first >= ext.blockCount) {
            first -= ext.blockCount;
            continue;
        }
        const uint64_t run = std::min<uint64_t>(ext.blockCount - first, count);
        const auto error = DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
            node.blocksStartsAtSector + ext.startBlock + first, blockSize, path,
            std::span(bytes).subspan(filled, run * blockSize), run);
        if (error) {
            consoleLog("%s\n", kReadError);
            return std::nullopt;
        }
        filled += run * blockSize;
        count -= run;
        first = 0;
    }
    return bytes;
}

// The part of a read starting at byte offset from of the file that lies inside the
// file: whatever follows the file's end in its last sector is never looked at.
std::span<const uint8_t> insideFile(const std::vector<uint8_t>& read, const BaseTree& node, uint64_t from) {
    const uint64_t left = node.fileSize > from ? node.fileSize - from : 0;
    return std::span(read).first(std::min<uint64_t>(read.size(), left));
}

// The first fileSize bytes of the file, at most kMaxWholeFileRead of them.
std::optional<std::vector<uint8_t>> readWholeFile(const BaseTree& node, uint32_t blockSize, const std::string& path) {
    const uint64_t size = std::min(node.fileSize, kMaxWholeFileRead);
    const uint64_t sectors = blockSize ? (size + blockSize - 1) / blockSize : 0;
    auto bytes = readFileSectors(node, blockSize, path, 0, sectors);
    if (bytes) bytes->resize(std::min<uint64_t>(bytes->size(), size));
    return bytes;
}

// --- text ---

void appendLatin1(std::string& out, uint8_t byte) {
    if (byte < 0x80) {
        out += static_cast<char>(byte);
    } else {
        out += static_cast<char>(0xC0 | (byte >> 6));
        out += static_cast<char>(0x80 | (byte & 0x3F));
    }
}

// Bytes in the UTF-8 sequence that starts with lead; 0 for a byte no sequence starts with.
size_t utf8SequenceLength(uint8_t lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

bool isUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const size_t length = utf8SequenceLength(static_cast<uint8_t>(text[i]));
        if (length == 0 || length > text.size() - i) return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<uint8_t>(text[i + k]) & 0xC0) != 0x80) return false;
        i += length;
    }
    return true;
}

// Single-byte text as UTF-8: kept when it already is UTF-8, else read as Latin-1.
std::string textFromBytes(std::string_view bytes) {
    if (isUtf8(bytes)) return std::string(bytes);
    std::string text;
    for (const char c : bytes) appendLatin1(text, static_cast<uint8_t>(c));
    return text;
}

// The bytes up to the first NUL (all of them when there is none).
std::string_view cString(ByteView bytes) {
    const auto span = bytes.span();
    const auto end = std::find(span.begin(), span.end(), uint8_t{0});
    return {reinterpret_cast<const char*>(span.data()), static_cast<size_t>(end - span.begin())};
}

std::string latin1CString(ByteView bytes) {
    std::string text;
    for (const char c : cString(bytes)) appendLatin1(text, static_cast<uint8_t>(c));
    return text;
}

// The first count characters of UTF-8 text.
std::string firstCharacters(const std::string& text, size_t count) {
    size_t characters = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<uint8_t>(text[i]) & 0xC0) == 0x80) continue;
        if (characters++ == count) return text.substr(0, i);
    }
    return text;
}

// --- EXIF ---

const char* exifKey(uint16_t tag) {
    switch (tag) {
        case kExifMake: return "Name";
        case kExifModel: return "Model";
        case kExifDateTime: return "Date";
        default: return nullptr;
    }
}

// Where the EXIF block whose TIFF header is at position ends: the APP1 segment's
// big-endian length sits 8 bytes before the header and counts from itself.
size_t exifBlockEnd(ByteView bytes, size_t position) {
    const size_t lengthField = position - 8;
    return bytes.has(lengthField, 2) ? lengthField + bytes.u16be(lengthField) : 0;
}

// Raw files may carry their EXIF block at the end: the file's last sector, or its
// last two when the last one is partly used.
std::optional<TagDictionary> tagsInLastSectors(const BaseTree& node, uint32_t blockSize, const std::string& path) {
    const bool partLast = node.fileSize % blockSize != 0;
    const uint64_t sectors = node.fileSize / blockSize + (partLast ? 1 : 0);
    const uint64_t count = std::min<uint64_t>(partLast ? 2 : 1, sectors);
    const uint64_t first = sectors - count;
    const auto read = readFileSectors(node, blockSize, path, first, count);
    if (!read) return std::nullopt;
    const auto bytes = insideFile(*read, node, first * blockSize);
    const size_t position = FileCheck::getTagsFromFile_withSize(bytes, bytes.size());
    if (position == 0 || exifBlockEnd(bytes, position) > bytes.size()) return TagDictionary{};
    return FileCheck::searchEXIFTagsInBlock_inSize_fromPosition(bytes, bytes.size(), position);
}

// --- ID3v2 ---

// ID3v2.4 frame sizes are synchsafe (7 bits a byte); earlier versions use all 32 bits.
uint32_t id3FrameSize(ByteView file, size_t at, bool synchsafe) {
    if (!synchsafe) return file.u32be(at);
    uint32_t size = 0;
    for (size_t i = 0; i < 4; ++i) size = (size << 7) | (file.u8(at + i) & 0x7F);
    return size;
}

// The text of the frame at `frame`: identifier (4), size (4), flags (2), then the
// encoding byte and the text, `size` bytes together. Nothing when the frame does not
// lie inside the file.
std::optional<std::string> id3FrameText(ByteView file, size_t frame, bool synchsafe) {
    if (!file.has(frame, 11)) return std::nullopt;
    const uint32_t size = id3FrameSize(file, frame + 4, synchsafe);
    if (size == 0 || !file.has(frame + 10, size)) return std::nullopt;
    const ByteView text = file.sub(frame + 11, size - 1);
    switch (file.u8(frame + 10)) {
        case 0: return latin1CString(text);
        case 1: return FileCheck::tagNameWithBlock(text, Endian::Little);  // with a byte-order mark
        case 2: return FileCheck::tagNameWithBlock(text, Endian::Big);     // UTF-16BE, no mark
        case 3: return textFromBytes(cString(text));                       // UTF-8
        default: return std::string();
    }
}

// --- OLE property sets ---

struct PropertyText {
    uint8_t length;
    std::string text;
    size_t end;
};

// A string value: its length in the byte at `at` (the low byte of a 32-bit count), its
// characters 4 bytes further.
std::optional<PropertyText> propertyText(ByteView file, size_t at) {
    if (!file.has(at, 4)) return std::nullopt;
    const uint8_t length = file.u8(at);
    if (!file.has(at + 4, length)) return std::nullopt;
    return PropertyText{length, textFromBytes(cString(file.sub(at + 4, length))), at + 4 + length};
}

// The property-set header at `header`: byte order (2), version (2), system (4), class
// (16), set count (4), then the first set's format id (16) and offset (4), and at +48
// its section: size (4), property count (4) and (id, offset) pairs. The byte at +60 is
// the low byte of the first property's offset; counted from +60 it lands on the length
// of the string that follows the 8-byte code-page value.
TagDictionary propertySetTags(ByteView file, size_t header) {
    TagDictionary tags;
    if (!file.has(header + 60, 1)) return tags;
    const auto first = propertyText(file, header + 60 + file.u8(header + 60));
    if (!first) return tags;
    if (first->length != 0 && first->length != 255 && !first->text.empty()) tags["Name"] = first->text;
    size_t next = (first->end + 3) & ~size_t{3};  // values are padded to 4 bytes
    if (file.has(next, 4) && file.u32le(next) == kOleStringType) next += 4;
    const auto second = propertyText(file, next);
    if (second && !second->text.empty()) tags["Model"] = second->text;
    return tags;
}

}  // namespace

// --- buffer walks ---

size_t FileCheck::getTagsFromFile_withSize(std::span<const uint8_t> file, size_t size) {
    const ByteView bytes(file.first(std::min(size, file.size())));
    // APP1 marker FF E1, segment length (2), "Exif", two NULs, then the TIFF header.
    for (size_t i = 0; i + 9 <= bytes.size(); ++i)
        if (bytes.u8(i) == 0xFF && bytes.u8(i + 1) == 0xE1 && bytes.matches(i + 4, "Exif")) return i + 10;
    return 0;
}

TagDictionary FileCheck::searchEXIFTagsInBlock_inSize_fromPosition(std::span<const uint8_t> block, size_t size,
                                                                   size_t position) {
    const ByteView bytes(block.first(std::min(size, block.size())));
    TagDictionary tags;
    if (position > bytes.size()) return tags;
    // Every position is tried as an IFD entry: tag (2), type (2), count (4) and value
    // offset (4) from the TIFF header, little-endian; the low 16 bits of count and
    // offset are used. A big-endian block never matches.
    for (size_t at = position + 12; bytes.has(at, 10); ++at) {
        const char* key = exifKey(bytes.u16le(at));
        if (!key || bytes.u8(at + 2) != kExifAscii) continue;
        const size_t length = bytes.u16le(at + 4);
        const size_t offset = position + bytes.u16le(at + 8);
        if (length == 0 || length > kMaxExifText || !bytes.has(offset, length)) continue;
        std::string text;
        getTheDetailsFromBlock_toBlock_withSize(bytes.from(offset), text, length);
        if (!text.empty()) tags[key] = textFromBytes(text);
    }
    return tags;
}

void FileCheck::getTheDetailsFromBlock_toBlock_withSize(ByteView source, std::string& destination, size_t length) {
    for (const uint8_t byte : source.bytes(0, length))
        if (byte != 0) destination += static_cast<char>(byte);
}

std::string FileCheck::tagNameWithBlock(ByteView block, Endian withoutMark) {
    Endian order = withoutMark;
    size_t start = 0;
    if (block.matches(0, "\xFF\xFE"sv)) {
        order = Endian::Little;
        start = 2;
    } else if (block.matches(0, "\xFE\xFF"sv)) {
        order = Endian::Big;
        start = 2;
    }
    return firstCharacters(utf16ToUtf8(block.from(start), order), kMaxId3Characters);
}

TagDictionary FileCheck::tagsInAudioData(std::span<const uint8_t> file) {
    const ByteView bytes(file);
    // Tag header: "ID3", then the major version.
    const bool synchsafe = bytes.matches(0, "ID3") && bytes.has(3, 1) && bytes.u8(3) == 4;
    TagDictionary tags;
    int frames = 0;
    for (size_t at = 0; at + 4 < bytes.size() && frames < 2; ++at) {
        const bool title = bytes.matches(at, "TIT2");
        if (!title && !bytes.matches(at, "TPE1")) continue;
        const auto text = id3FrameText(bytes, at, synchsafe);
        if (!text) continue;
        ++frames;
        if (!text->empty()) tags[title ? "Name" : "Model"] = *text;
    }
    return tags;
}

TagDictionary FileCheck::tagsInOfficeData(std::span<const uint8_t> file) {
    const ByteView bytes(file);
    for (size_t at = 0; bytes.has(at, 4); at += kOleGranule) {
        if (!bytes.matches(at, "\xFE\xFF\0\0"sv) && !bytes.matches(at, "\0\0\xFF\xFE"sv)) continue;
        // The document summary set has the same header: its code page is no title.
        if (!bytes.matches(at + 28, kSummaryInformationId)) continue;
        auto tags = propertySetTags(bytes, at);
        if (!tags.empty()) return tags;
    }
    return {};
}

// --- readers ---

std::optional<TagDictionary> FileCheck::checkForTagsInImage_withBlockSize_andPath(const BaseTree& node,
                                                                                 uint32_t blockSize,
                                                                                 const std::string& path) {
    const auto firstSector = readFileSectors(node, blockSize, path, 0, 1);
    if (!firstSector) return std::nullopt;
    const auto sector = insideFile(*firstSector, node, 0);
    const size_t position = getTagsFromFile_withSize(sector, sector.size());
    if (position == 0) return tagsInLastSectors(node, blockSize, path);
    const uint64_t end = std::max<size_t>(exifBlockEnd(sector, position), 1);
    const auto exif = readFileSectors(node, blockSize, path, 0, (end + blockSize - 1) / blockSize);
    if (!exif) return std::nullopt;
    const auto block = insideFile(*exif, node, 0);
    return searchEXIFTagsInBlock_inSize_fromPosition(block, block.size(), position);
}

std::optional<TagDictionary> FileCheck::checkForTagsInAudio_withBlockSize_andPath(const BaseTree& node,
                                                                                 uint32_t blockSize,
                                                                                 const std::string& path) {
    const auto file = readWholeFile(node, blockSize, path);
    if (!file) return std::nullopt;
    return tagsInAudioData(*file);
}

std::optional<TagDictionary> FileCheck::checkForTagsInOffice_withBlockSize_andPath(const BaseTree& node,
                                                                                  uint32_t blockSize,
                                                                                  const std::string& path) {
    const auto file = readWholeFile(node, blockSize, path);
    if (!file) return std::nullopt;
    return tagsInOfficeData(*file);
}

std::optional<TagDictionary> FileCheck::checkForTagsInOfficeX_withBlockSize_andPath(const BaseTree& node,
                                                                                   uint32_t blockSize,
                                                                                   const std::string& path) {
    // A package's directory is at its end: a package cut to the read limit cannot be opened.
    if (node.fileSize > kMaxWholeFileRead) return TagDictionary{};
    const auto file = readWholeFile(node, blockSize, path);
    if (!file) return std::nullopt;
    if (file->empty()) return TagDictionary{};
    return DocxTags::getTagsForData(*file);
}

}  // namespace norix
