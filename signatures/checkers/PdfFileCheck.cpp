#include "signatures/checkers/PdfFileCheck.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "disk/ByteView.h"
#include "disk/DiskReader.h"
#include "signatures/DeviceWindow.h"

namespace norix {

namespace {

constexpr uint32_t kWindowSectors = 16;
constexpr uint64_t kScanBytes = 20 << 20;
constexpr uint64_t kExtraSectors = 15;  // windows start below 20 MiB plus this many sectors
constexpr std::string_view kMarkerTail = "%EOF";
constexpr size_t kCarried = 8;      // bytes of a window kept in front of the next one
constexpr size_t kLookAhead = 128;  // bytes after a marker examined for an update

bool isLineBreak(uint8_t byte) { return byte == '\n' || byte == '\r'; }
bool isWhiteSpace(uint8_t byte) { return byte == ' ' || byte == '\t' || byte == '\f' || isLineBreak(byte); }
bool isDigit(uint8_t byte) { return byte >= '0' && byte <= '9'; }

// The first index from at whose byte does not pass the test.
size_t skip(ByteView bytes, size_t at, bool (*test)(uint8_t)) {
    while (at < bytes.size() && test(bytes.u8(at))) ++at;
    return at;
}

// The ends of the markers (a line break, any byte, then "%EOF"), in file order, found
// in windows of 16 sectors read one after the other from the file's first sector.
class EndMarkers {
public:
    EndMarkers(uint64_t sectorNumber, uint32_t blockSize, const std::string& bsdPath)
        : sectorNumber_(sectorNumber),
          blockSize_(blockSize),
          bsdPath_(bsdPath),
          sectorLimit_(kScanBytes / blockSize + kExtraSectors),
          buffer_(kCarried + size_t(kWindowSectors) * blockSize, 0) {}

    // The file position just past the next marker; nothing once the span is scanned or
    // the device cannot be read.
    std::optional<uint64_t> next() {
        while (loaded_ || readNextWindow()) {
            const ByteView bytes(buffer_);
            while (const void* hit = std::memchr(bytes.data() + from_, '%', bytes.size() - from_)) {
                const size_t at = static_cast<size_t>(static_cast<const uint8_t*>(hit) - bytes.data());
                from_ = at + 1;
                if (bytes.matches(at, kMarkerTail) && isLineBreak(bytes.u8(at - 2))) {
                    from_ = at + kMarkerTail.size();
                    return windowStart_ + from_ - kCarried;
                }
            }
            loaded_ = false;
        }
        return std::nullopt;
    }

    bool failed() const { return failed_; }
    uint64_t scanned() const { return nextSector_ * blockSize_; }

private:
    bool readNextWindow() {
        if (failed_ || nextSector_ >= sectorLimit_) return false;
        // The previous window's last bytes go in front, so that a marker split between
        // two windows is found in the second; a short read at the device's end leaves zeros.
        std::copy(buffer_.end() - kCarried, buffer_.end(), buffer_.begin());
        const std::span<uint8_t> window = std::span(buffer_).subspan(kCarried);
        std::memset(window.data(), 0, window.size());
        if (DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
                sectorNumber_ + nextSector_, blockSize_, bsdPath_, window, kWindowSectors)) {
            failed_ = true;
            return false;
        }
        windowStart_ = nextSector_ * blockSize_;
        nextSector_ += kWindowSectors;
        from_ = kCarried - (kMarkerTail.size() - 1);  // a marker that began in the last window
        loaded_ = true;
        return true;
    }

    uint64_t sectorNumber_;
    uint32_t blockSize_;
    const std::string& bsdPath_;
    uint64_t sectorLimit_;
    std::vector<uint8_t> buffer_;  // kCarried bytes of the previous window, then the window
    uint64_t nextSector_ = 0;      // counted from the file's first sector
    uint64_t windowStart_ = 0;     // file position of the window's first byte
    size_t from_ = 0;              // where the search in the buffer goes on
    bool loaded_ = false;
    bool failed_ = false;
};

// An object ("12 0 obj": number, generation, keyword) starts at the index.
bool startsObject(ByteView bytes, size_t at) {
    for (int number = 0; number < 2; ++number) {
        const size_t digitsEnd = skip(bytes, at, isDigit);
        const size_t blanksEnd = skip(bytes, digitsEnd, isWhiteSpace);
        if (digitsEnd == at || blanksEnd == digitsEnd) return false;
        at = blanksEnd;
    }
    return bytes.matches(at, "obj");
}

// What follows a marker continues the file: after blanks and comment lines (an editor
// may mark its update with one) come objects or a cross-reference table.
bool startsAnUpdate(ByteView following) {
    size_t at = skip(following, 0, isWhiteSpace);
    while (following.matches(at, "%") && !following.matches(at, "%PDF"))
        at = skip(following, skip(following, at, [](uint8_t byte) { return !isLineBreak(byte); }), isWhiteSpace);
    return following.matches(at, "xref") || startsObject(following, at);
}

size_t lineBreakLength(ByteView following) {
    if (following.matches(0, "\r\n")) return 2;
    return isLineBreak(following.u8(0)) ? 1 : 0;
}

}  // namespace

uint64_t PdfFileCheck::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                                 uint64_t sectorNumber,
                                                                                 uint32_t blockSize,
                                                                                 const std::string& bsdPath) {
    if (blockSize == 0 || !ByteView(sector).matches(0, "%PDF")) return 0;
    EndMarkers markers(sectorNumber, blockSize, bsdPath);
    DeviceWindow after(sector, sectorNumber, blockSize, bsdPath, blockSize);
    for (auto end = markers.next(); end;) {
        const auto following = after.bytesAt(*end, kLookAhead);
        if (!following) return 0;
        const auto update = startsAnUpdate(*following) ? markers.next() : std::nullopt;
        if (!update) return markers.failed() ? 0 : *end + lineBreakLength(*following);
        end = update;
    }
    return markers.failed() ? 0 : markers.scanned();
}

}  // namespace norix
