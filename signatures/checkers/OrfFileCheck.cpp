#include "signatures/checkers/OrfFileCheck.h"

namespace norix {

namespace {

constexpr uint16_t kExifIfd = 34665, kMakerNote = 37500;
constexpr uint16_t kCameraSettings = 0x2020, kPreviewStart = 0x101, kPreviewLength = 0x102;

// The entry of an IFD with the tag, if any.
std::optional<ByteView> entryWithTag(TiffFile& file, const TiffIfd& ifd, uint16_t tag) {
    for (size_t i = 0; i < ifd.count; ++i)
        if (file.tag(ifd.entry(i)) == tag) return ifd.entry(i);
    return std::nullopt;
}

// The full-size JPEG recorded in the camera-settings IFD of the maker note (a note that
// begins "OLYMPUS" counts its offsets from its own start, an older "OLYMP" one from the
// file's start); extends end with the note.
FileRun previewOfMakerNote(TiffFile& file, uint32_t exifOffset, uint64_t& end) {
    const auto exif = file.ifdAt(exifOffset, 1);
    if (!exif) return {};
    end = std::max(end, exif->end());
    const auto note = entryWithTag(file, *exif, kMakerNote);
    if (!note) return {};
    const uint64_t noteAt = file.u32(*note, 8);
    end = std::max(end, noteAt + file.count(*note));
    const auto header = file.device.bytesAt(noteAt, 8);
    if (!header || !header->matches(0, "OLYMP")) return {};
    const bool relative = header->matches(0, std::string_view("OLYMPUS\0", 8));
    const uint64_t base = relative ? noteAt : 0;
    const auto ifd = file.ifdAt(noteAt + (relative ? 12 : 8), 1);
    const auto settingsLink = ifd ? entryWithTag(file, *ifd, kCameraSettings) : std::nullopt;
    const auto settingsAt = settingsLink ? file.value(*settingsLink) : std::nullopt;
    const auto settings = settingsAt ? file.ifdAt(base + *settingsAt, 1) : std::nullopt;
    if (!settings) return {};
    const auto start = entryWithTag(file, *settings, kPreviewStart);
    const auto length = entryWithTag(file, *settings, kPreviewLength);
    if (!start || !length) return {};
    return {base + file.value(*start).value_or(0), file.value(*length).value_or(0)};
}

}  // namespace

// The IFDs: raw data strips, then through the Exif IFD the maker note and its preview.
// 512 bytes of slack follow the last data.
uint64_t OrfFileCheck::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                                 uint64_t sectorNumber,
                                                                                 uint32_t blockSize,
                                                                                 const std::string& bsdPath) {
    return measureFile(sector, sectorNumber, blockSize, bsdPath, [this](TiffFile& file) -> uint64_t {
        std::optional<uint32_t> exifOffset;
        TiffWalkRules rules;
        rules.onEntry = [&exifOffset](TiffFile& tiff, ByteView entry, int ifd) {
            if (ifd == 0 && tiff.tag(entry) == kExifIfd) exifOffset = tiff.value(entry);
        };
        const auto layout = walkTiff(file, rules);
        if (!layout) return answer(file.device, 0);
        uint64_t end = layout->end;
        if (exifOffset && *exifOffset <= rules.offsetLimit) {
            const FileRun preview = previewOfMakerNote(file, *exifOffset, end);
            end = std::max(end, preview.end());
            notePreview(preview.offset, preview.length);
        }
        return answer(file.device, end, 512);
    });
}

}  // namespace norix
