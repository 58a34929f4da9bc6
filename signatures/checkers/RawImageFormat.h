#pragma once
// Camera raw images. RawImageFormat names the raw format of a TIFF hit from the maker
// and model its first IFD records, and holds what every raw checker shares: the byte
// readers, the bounded walk of a TIFF file's IFDs, and the embedded-preview fields.

#include <array>
#include <functional>
#include <string_view>

#include "disk/ByteView.h"
#include "signatures/Checker.h"
#include "signatures/DeviceWindow.h"

namespace norix {

class TiffFile;

// A raw checker that may find a full-size JPEG preview inside the file it sizes.
class RawChecker : public Checker {
public:
    bool isJPGPresent() const override { return bRawJpgFileFound; }
    uint64_t jpgFileOffset() const override { return u64RawJpgFileSectorNumber; }
    uint64_t extraByteForJPGOffset() const override { return uExtraBytesOfJpgFileOffset; }
    uint64_t jpgFileSize() const override { return u64RawJpgFileSize; }

protected:
    // Starts sizing the file whose first sector is sectorNumber: forgets the last preview.
    void startFile(uint64_t sectorNumber, uint32_t blockSize);
    // A preview candidate: length bytes at the byte offset into the file.
    void notePreview(uint64_t offset, uint64_t length);
    // The answer for a file whose data ends at dataEnd, with slack bytes after it when
    // they stay on the device. The preview is kept only when it lies inside the data and
    // starts with a JPEG marker; an answer of 0 drops it.
    uint64_t answer(DeviceWindow& device, uint64_t dataEnd, uint64_t slack = 0);
    // Runs measure on the file at the sector, with the preview forgotten first; a read
    // past what the file's structures allow answers 0.
    uint64_t measureFile(std::span<const uint8_t> sector, uint64_t sectorNumber, uint32_t blockSize,
                         const std::string& bsdPath, const std::function<uint64_t(TiffFile&)>& measure);

    bool bRawJpgFileFound = false;
    uint64_t u64RawJpgFileSectorNumber = 0;
    uint64_t u64RawJpgFileSize = 0;
    uint64_t uExtraBytesOfJpgFileOffset = 0;

private:
    uint64_t sectorNumber_ = 0;
    uint32_t blockSize_ = 512;
    uint64_t previewOffset_ = 0;
};

// One IFD's entries (12 bytes each: tag u16, type u16, count u32, value or offset u32),
// copied out of the device window, which later reads move.
struct TiffIfd {
    static constexpr size_t kEntrySize = 12;
    static constexpr uint16_t kMaxEntries = 100;
    std::array<uint8_t, kMaxEntries * kEntrySize> bytes{};
    uint64_t offset = 0;
    uint16_t count = 0;
    uint32_t next = 0;  // the next IFD of the chain, 0 at its end
    ByteView entry(size_t i) const { return ByteView(bytes.data(), count * kEntrySize).sub(i * kEntrySize, kEntrySize); }
    uint64_t end() const { return offset + 2 + kEntrySize * count + 4; }
};

// A run of bytes of the file.
struct FileRun {
    uint64_t offset = 0, length = 0;
    uint64_t end() const { return offset + length; }
};

// A TIFF file on the device, read in the byte order its header names ("II" little-endian).
class TiffFile {
public:
    TiffFile(std::span<const uint8_t> sector, uint64_t sectorNumber, uint32_t blockSize, const std::string& bsdPath);

    DeviceWindow device;
    ByteView head;
    bool little;
    uint32_t firstIfd;

    uint16_t u16(ByteView view, size_t at) const;
    uint32_t u32(ByteView view, size_t at) const;
    uint16_t tag(ByteView entry) const { return u16(entry, 0); }
    uint32_t count(ByteView entry) const { return u32(entry, 4); }
    // Do the entry's values fit in its value field, rather than lie at its offset?
    bool valueInEntry(ByteView entry) const;
    // The IFD at the offset with minEntries to 100 entries; nothing otherwise.
    std::optional<TiffIfd> ifdAt(uint64_t offset, uint16_t minEntries = 2);
    // The values of a SHORT or LONG entry (those of other types read as LONG), at most
    // maxCount of them; nothing when they cannot be read or are more.
    std::optional<std::vector<uint32_t>> values(ByteView entry, uint32_t maxCount = 65535);
    // The entry's first value.
    std::optional<uint32_t> value(ByteView entry);
    // The text of an ASCII entry up to its first NUL, at most maxLength characters.
    std::optional<std::string> text(ByteView entry, size_t maxLength);
};

// What a bounded walk of a TIFF file's IFDs found; every end is a byte offset of the file.
struct TiffLayout {
    uint64_t dataEnd = 0;  // the end of the last strip or tile
    uint64_t end = 0;      // the end of the last strip, tile, JPEG or IFD met
    FileRun longestJpeg;   // the longest JPEG named by an IFD (0x201 offset, 0x202 length)
    int ifds = 0;              // IFDs walked
    int subIfds = 0;           // of them, sub-IFDs
    int stripRuns = 0;         // strips and tiles met
    // The longest single strip that starts with a JPEG marker, of the first IFD or of a
    // reduced-resolution one (NewSubfileType bit 0): the embedded preview.
    FileRun previewStrip;
};

struct TiffWalkRules {
    int maxIfds = 25;  // IFDs walked in all; a file that leads to more is refused
    bool chain = true;
    bool subIfds = true;
    uint16_t minEntries = 2;
    uint32_t offsetLimit = 157286400;  // 150 MiB: the furthest an IFD, strip or JPEG may start
    // Called with every entry of every IFD walked (ifd 0 is the first).
    std::function<void(TiffFile&, ByteView entry, int ifd)> onEntry;
};

// Walks the IFD chain from the first IFD and the sub-IFDs (tag 330), each IFD once: an
// IFD met again ends that branch. Nothing when an IFD cannot be read or is out of bounds.
std::optional<TiffLayout> walkTiff(TiffFile& file, const TiffWalkRules& rules);

class RawImageFormat : public RawChecker {
public:
    std::shared_ptr<Checker> clone() const override { return std::make_shared<RawImageFormat>(*this); }
    // The walk of the IFD chain that sizes a CR2 file (Cr2FileCheck): the first IFD's
    // strip is the preview, the file ends with its last strip or tile; no slack.
    uint64_t fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                       uint64_t sectorNumber, uint32_t blockSize,
                                                                       const std::string& bsdPath) override;

    // The raw extension of the TIFF file whose header is the sector ("dng", "nef",
    // "cr2", "arw", "arw1" for the DSLR-A100 layout, ...; "tif" and "tiff" for plain
    // TIFF files); nothing when the first IFD names no known maker or model.
    static std::string_view getExtensionForRawImageInBlock_ndSectorNumber_blockSize_andBSDPath(
        std::span<const uint8_t> sector, uint64_t sectorNumber, uint32_t blockSize, const std::string& bsdPath);
    // From the length of the IFD chain: 0 read error, 1 plain TIFF (1 or 2 IFDs),
    // 2 PEF (3 IFDs), 3 undecided (more).
    static int pentaxRawTiffFile_andSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                      uint64_t sectorNumber, uint32_t blockSize,
                                                                      const std::string& bsdPath);

    // The byte size of one value of TIFF field type t (1 for unknown types).
    static uint32_t scalarDataTypeValue(uint16_t type);
    // Byte readers over a window; each answers 0 for a position past 0x11000. The flag
    // picks the order: 0 big-endian, 1 (16-bit) or 3 (32-bit) little-endian.
    static uint16_t twoByteRead_position_andOffset(ByteView buffer, size_t position, int flag);
    static uint32_t fourByteRead_position_andOffset(ByteView buffer, size_t position, int flag);
    static uint16_t twoByteReadInCaseOfBigEndian_position(ByteView buffer, size_t position);
    static uint32_t fourByteReadInCaseOfBigEndian_position(ByteView buffer, size_t position);
    // Little-endian values given by the position of their last byte.
    static uint16_t twoByteReadInCaseOfLittleEndian_position(ByteView buffer, size_t position);
    static uint32_t fourByteReadInCaseOfLittleEndian_position(ByteView buffer, size_t position);
};

}  // namespace norix
