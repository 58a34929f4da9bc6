#include "signatures/checkers/RawImageFormat.h"

#include <algorithm>
#include <array>
#include <optional>

#include "disk/ByteView.h"
#include "signatures/DeviceWindow.h"

namespace norix {

namespace {

constexpr uint32_t kFirstIfdLimit = 157286400;    // 150 MiB
constexpr uint32_t kMakeOffsetLimit = 104857600;  // 100 MiB
constexpr uint32_t kSizeLimit = 209715200;        // 200 MiB: the largest raw file measured
constexpr uint64_t kSmallest = 100;               // a smaller answer is no raw file
constexpr size_t kReaderLimit = 0x11000;          // the byte readers' furthest position
constexpr size_t kModelLength = 32;
constexpr uint32_t kMakeLengthLimit = 50, kLongMakeLength = 30;
constexpr int kIfdChainLimit = 10;
constexpr uint16_t kMake = 0x10F, kModel = 0x110;
constexpr uint16_t kStripOffsets = 0x111, kStripByteCounts = 0x117, kTileOffsets = 324, kTileByteCounts = 325;
constexpr uint16_t kSubIfds = 330, kJpegOffset = 0x201, kJpegLength = 0x202;
constexpr uint16_t kNewSubfileType = 0xFE;

// The runs of an IFD's offsets and byte-counts entries, paired in order.
bool addRuns(TiffFile& file, const TiffIfd& ifd, uint16_t offsetsTag, uint16_t countsTag, uint32_t offsetLimit,
             TiffLayout& layout, int index) {
    std::optional<ByteView> offsets, counts;
    for (size_t i = 0; i < ifd.count; ++i) {
        const ByteView entry = ifd.entry(i);
        if (file.tag(entry) == offsetsTag) offsets = entry;
        if (file.tag(entry) == countsTag) counts = entry;
    }
    if (!offsets || !counts) return true;
    const auto starts = file.values(*offsets);
    const auto lengths = file.values(*counts);
    if (!starts || !lengths) return false;
    const size_t runs = std::min(starts->size(), lengths->size());
    for (size_t i = 0; i < runs; ++i) {
        if ((*starts)[i] > offsetLimit) continue;  // names no data that can be carved
        const FileRun run{(*starts)[i], (*lengths)[i]};
        ++layout.stripRuns;
        layout.dataEnd = std::max(layout.dataEnd, run.end());
        layout.end = std::max(layout.end, run.end());
    }
    // A single strip can be a JPEG preview.
    if (offsetsTag != kStripOffsets || runs != 1 || (*starts)[0] > offsetLimit ||
        (*lengths)[0] <= layout.previewStrip.length)
        return true;
    bool reduced = index == 0;
    for (size_t i = 0; i < ifd.count; ++i)
        if (file.tag(ifd.entry(i)) == kNewSubfileType) reduced = reduced || (file.value(ifd.entry(i)).value_or(0) & 1);
    const auto marker = file.device.bytesAt((*starts)[0], 2);
    if (!marker) return false;
    if (reduced && marker->u16be(0) == 0xFFD8) layout.previewStrip = {(*starts)[0], (*lengths)[0]};
    return true;
}

// The JPEG an IFD names (0x201 offset, 0x202 length), the longest one kept.
void addJpeg(TiffFile& file, const TiffIfd& ifd, uint32_t offsetLimit, TiffLayout& layout) {
    std::optional<uint32_t> offset, length;
    for (size_t i = 0; i < ifd.count; ++i) {
        const ByteView entry = ifd.entry(i);
        if (file.tag(entry) == kJpegOffset) offset = file.value(entry);
        if (file.tag(entry) == kJpegLength) length = file.value(entry);
    }
    if (!offset || !length || *offset > offsetLimit) return;
    const FileRun run{*offset, *length};
    if (run.length > layout.longestJpeg.length) layout.longestJpeg = run;
    layout.end = std::max(layout.end, run.end());
}

enum class Match { Exact, Prefix, DcsInFirstEleven };
struct ModelRule {
    std::string_view model;
    Match match;
    std::string_view answer;
};
constexpr ModelRule kModels[] = {
    {"DSC-R1", Match::Exact, "sr2"},
    {"DCS PRO", Match::Exact, "dcr"},
    {"ILCE-7M3", Match::Prefix, "arw"},
    {"DCS 669C", Match::Exact, "dcr"},
    {"DSLR-A900", Match::Prefix, "arw"},
    {"DSLR-A700", Match::Prefix, "arw"},
    {"DSLR-A200", Match::Prefix, "arw"},
    {"DSLR-A300", Match::Prefix, "arw"},
    {"DSLR-A350", Match::Prefix, "arw"},
    {"DSLR-A100", Match::Prefix, "arw1"},
    {"KODAK DC25", Match::Prefix, "k25"},
    {"ILCE-7RM3", Match::Exact, "arw"},
    {"DCS Pro SLR", Match::Prefix, "dcr"},
    {"Kodak DC120", Match::Prefix, "kdc"},
    {"DCS", Match::DcsInFirstEleven, "dcr"},
    {"Kodak Digital Science DC50", Match::Prefix, "kdc"},
    {"KODAK P880 ZOOM DIGITAL CAMERA", Match::Prefix, "kdc"},
};

std::string_view kindOfModel(std::string_view model) {
    for (const ModelRule& rule : kModels) {
        const bool hit = rule.match == Match::Exact ? model == rule.model
                         : rule.match == Match::Prefix
                             ? model.starts_with(rule.model)
                             : model.size() >= 11 && model.substr(0, 11).find(rule.model) != model.npos;
        if (hit) return rule.answer;
    }
    return {};
}

// Everything the make rules look at.
struct Hit {
    std::span<const uint8_t> sector;
    uint64_t sectorNumber;
    uint32_t blockSize;
    const std::string& bsdPath;
    TiffFile& file;
    const TiffIfd& ifd;
};

bool laterEntryIs(const Hit& hit, size_t after, bool (*wanted)(const Hit&, ByteView)) {
    for (size_t j = after + 1; j < hit.ifd.count; ++j)
        if (wanted(hit, hit.ifd.entry(j))) return true;
    return false;
}

bool isDscR1Model(const Hit& hit, ByteView entry) {
    if (hit.file.tag(entry) != kModel) return false;
    const auto model = hit.file.text(entry, kModelLength);
    return model && model->starts_with("DSC-R1");
}

bool isDngTag(const Hit& hit, ByteView entry) {
    const uint16_t tag = hit.file.tag(entry);
    return tag == 0xC612 || tag == 0xC613 || tag == 0xC614 || tag == 0xC621;
}

// The answer a maker gives (empty for none); nothing when the walk goes on.
std::optional<std::string_view> kindOfMake(const Hit& hit, std::string_view make, size_t index) {
    const ByteView head = hit.file.head;
    const bool standardHeader =
        head.matches(0, std::string_view("II*\0", 4)) || head.matches(0, std::string_view("MM\0*", 4));
    const bool rw2Header = head.matches(2, std::string_view("U\0", 2));
    if (make.starts_with("SONY") && laterEntryIs(hit, index, isDscR1Model)) return "sr2";
    if (make.starts_with("Canon") && standardHeader && head.matches(8, "CR")) return "cr2";
    if (make.starts_with("NIKON")) return "nef";
    if (make.starts_with("LEICA") && rw2Header) return "raw";
    if (make.starts_with("Phase")) return "tiff";
    if (make.starts_with("PENTAX")) {
        if (laterEntryIs(hit, index, isDngTag)) return "dng";
        switch (RawImageFormat::pentaxRawTiffFile_andSectorNumber_blockSize_andBSDPath(hit.sector, hit.sectorNumber,
                                                                                       hit.blockSize, hit.bsdPath)) {
            case 2:
                return "pef";
            case 1:
                return "tiff";
            default:
                return std::string_view();
        }
    }
    if (make.starts_with("SIGMA")) return "tif";
    if (make.starts_with("OLYMPUS") && (head.matches(2, "RO") || head.matches(2, "RS"))) return "orf";
    if (make.starts_with("Panason") && rw2Header) return "raw";
    if (make.starts_with("Hasselb")) return "3fr";
    return std::nullopt;
}

}  // namespace

// --- the preview fields ---

void RawChecker::startFile(uint64_t sectorNumber, uint32_t blockSize) {
    sectorNumber_ = sectorNumber;
    blockSize_ = blockSize == 0 ? 512 : blockSize;
    notePreview(0, 0);
}

void RawChecker::notePreview(uint64_t offset, uint64_t length) {
    previewOffset_ = offset;
    bRawJpgFileFound = length != 0;
    u64RawJpgFileSize = length;
    u64RawJpgFileSectorNumber = length ? sectorNumber_ + offset / blockSize_ : 0;
    uExtraBytesOfJpgFileOffset = length ? offset % blockSize_ : 0;
}

uint64_t RawChecker::measureFile(std::span<const uint8_t> sector, uint64_t sectorNumber, uint32_t blockSize,
                                 const std::string& bsdPath, const std::function<uint64_t(TiffFile&)>& measure) {
    startFile(sectorNumber, blockSize);
    if (blockSize == 0) return 0;
    try {
        TiffFile file(sector, sectorNumber, blockSize, bsdPath);
        return measure(file);
    } catch (const std::out_of_range&) {
        notePreview(0, 0);
        return 0;
    }
}

uint64_t RawChecker::answer(DeviceWindow& device, uint64_t dataEnd, uint64_t slack) {
    if (dataEnd < kSmallest || dataEnd > kSizeLimit) {
        notePreview(0, 0);
        return 0;
    }
    if (bRawJpgFileFound) {
        const auto marker = previewOffset_ < dataEnd ? device.bytesAt(previewOffset_, 2) : std::nullopt;
        const bool inside = u64RawJpgFileSize <= dataEnd - previewOffset_;
        if (!marker || !inside || marker->u16be(0) != 0xFFD8) notePreview(0, 0);
    }
    const auto deviceEnd = device.bytesToDeviceEnd();
    return deviceEnd && dataEnd + slack > *deviceEnd ? dataEnd : dataEnd + slack;
}

// --- reading a TIFF file ---

TiffFile::TiffFile(std::span<const uint8_t> sector, uint64_t sectorNumber, uint32_t blockSize,
                   const std::string& bsdPath)
    : device(sector, sectorNumber, blockSize, bsdPath),
      head(sector),
      little(RawImageFormat::twoByteRead_position_andOffset(head, 0, 0) == 0x4949),
      firstIfd(u32(head, 4)) {}

uint16_t TiffFile::u16(ByteView view, size_t at) const {
    return RawImageFormat::twoByteRead_position_andOffset(view, at, little ? 1 : 0);
}
uint32_t TiffFile::u32(ByteView view, size_t at) const {
    return RawImageFormat::fourByteRead_position_andOffset(view, at, little ? 3 : 0);
}

std::optional<TiffIfd> TiffFile::ifdAt(uint64_t offset, uint16_t minEntries) {
    const auto countField = device.bytesAt(offset, 2);
    if (!countField) return std::nullopt;
    TiffIfd ifd;
    ifd.offset = offset;
    ifd.count = u16(*countField, 0);
    if (ifd.count < minEntries || ifd.count > TiffIfd::kMaxEntries) return std::nullopt;
    const auto entries = device.bytesAt(offset + 2, ifd.count * TiffIfd::kEntrySize + 4);
    if (!entries) return std::nullopt;
    std::copy(entries->data(), entries->data() + ifd.count * TiffIfd::kEntrySize, ifd.bytes.begin());
    ifd.next = u32(*entries, ifd.count * TiffIfd::kEntrySize);
    return ifd;
}

bool TiffFile::valueInEntry(ByteView entry) const {
    return uint64_t{count(entry)} * RawImageFormat::scalarDataTypeValue(u16(entry, 2)) <= 4;
}

std::optional<std::vector<uint32_t>> TiffFile::values(ByteView entry, uint32_t maxCount) {
    const uint32_t n = count(entry);
    const uint32_t width = u16(entry, 2) == 3 ? 2 : 4;  // SHORT, else LONG
    if (n > maxCount) return std::nullopt;
    std::vector<uint32_t> out;
    out.reserve(n);
    const uint64_t at = u32(entry, 8);
    for (uint32_t i = 0; i < n; ++i) {
        // Values that fit in four bytes sit in the entry itself.
        const auto field =
            uint64_t{n} * width <= 4 ? std::optional<ByteView>(entry.sub(8 + i * width, width))
                                     : device.bytesAt(at + uint64_t{i} * width, width);
        if (!field) return std::nullopt;
        out.push_back(width == 2 ? u16(*field, 0) : u32(*field, 0));
    }
    return out;
}

std::optional<uint32_t> TiffFile::value(ByteView entry) {
    if (count(entry) == 0) return std::nullopt;
    return u16(entry, 2) == 3 ? u16(entry, 8) : u32(entry, 8);
}

std::optional<std::string> TiffFile::text(ByteView entry, size_t maxLength) {
    const uint32_t n = count(entry);
    const size_t length = std::min<size_t>(n, maxLength);
    const std::optional<ByteView> chars = valueInEntry(entry) ? std::optional<ByteView>(entry.sub(8, length))
                                                 : device.bytesAt(u32(entry, 8), length);
    if (!chars) return std::nullopt;
    std::string out = chars->text(0, length);
    return out.substr(0, out.find('\0'));
}

std::optional<TiffLayout> walkTiff(TiffFile& file, const TiffWalkRules& rules) {
    if (file.firstIfd < 8 || file.firstIfd > rules.offsetLimit) return std::nullopt;
    TiffLayout layout;
    std::vector<std::pair<uint64_t, bool>> pending{{file.firstIfd, false}};  // offset, sub-IFD
    std::vector<uint64_t> visited;
    while (!pending.empty()) {
        const auto [offset, isSub] = pending.back();
        pending.pop_back();
        if (std::find(visited.begin(), visited.end(), offset) != visited.end()) continue;  // a loop ends here
        if (offset > rules.offsetLimit || layout.ifds == rules.maxIfds) return std::nullopt;
        visited.push_back(offset);
        const int index = layout.ifds++;
        layout.subIfds += isSub;
        const auto ifd = file.ifdAt(offset, rules.minEntries);
        if (!ifd) return std::nullopt;
        layout.end = std::max(layout.end, ifd->end());
        if (!addRuns(file, *ifd, kStripOffsets, kStripByteCounts, rules.offsetLimit, layout, index) ||
            !addRuns(file, *ifd, kTileOffsets, kTileByteCounts, rules.offsetLimit, layout, index))
            return std::nullopt;
        addJpeg(file, *ifd, rules.offsetLimit, layout);
        // Sub-IFDs are walked before the chain goes on.
        if (rules.chain && ifd->next != 0) pending.emplace_back(ifd->next, isSub);
        for (size_t i = 0; i < ifd->count; ++i) {
            const ByteView entry = ifd->entry(i);
            if (rules.onEntry) rules.onEntry(file, entry, index);
            if (!rules.subIfds || file.tag(entry) != kSubIfds) continue;
            const auto subs = file.values(entry, static_cast<uint32_t>(rules.maxIfds));
            if (!subs) return std::nullopt;
            for (auto sub = subs->rbegin(); sub != subs->rend(); ++sub) pending.emplace_back(*sub, true);
        }
    }
    return layout;
}

// --- RawImageFormat ---

uint32_t RawImageFormat::scalarDataTypeValue(uint16_t type) {
    // SHORT, LONG, RATIONAL, SBYTE, UNDEFINED, SSHORT, SLONG, SRATIONAL, FLOAT, DOUBLE
    static constexpr uint32_t kSizes[] = {2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
    return type >= 3 && type <= 12 ? kSizes[type - 3] : 1;
}

uint16_t RawImageFormat::twoByteRead_position_andOffset(ByteView buffer, size_t position, int flag) {
    if (position > kReaderLimit) return 0;
    return flag == 1 ? buffer.u16le(position) : buffer.u16be(position);
}

uint32_t RawImageFormat::fourByteRead_position_andOffset(ByteView buffer, size_t position, int flag) {
    if (position > kReaderLimit) return 0;
    return flag == 3 ? buffer.u32le(position) : buffer.u32be(position);
}

uint16_t RawImageFormat::twoByteReadInCaseOfBigEndian_position(ByteView buffer, size_t position) {
    return twoByteRead_position_andOffset(buffer, position, 0);
}

uint32_t RawImageFormat::fourByteReadInCaseOfBigEndian_position(ByteView buffer, size_t position) {
    return fourByteRead_position_andOffset(buffer, position, 0);
}

uint16_t RawImageFormat::twoByteReadInCaseOfLittleEndian_position(ByteView buffer, size_t position) {
    if (position > kReaderLimit || position < 1) return 0;
    return buffer.u16le(position - 1);
}

uint32_t RawImageFormat::fourByteReadInCaseOfLittleEndian_position(ByteView buffer, size_t position) {
    if (position > kReaderLimit || position < 3) return 0;
    return buffer.u32le(position - 3);
}

// The IFD chain (no sub-IFDs), IFDs and strips up to 200 MiB in: the first IFD's strip
// is the full-size JPEG, the file ends with the last strip, at most 150 MiB in. No slack.
uint64_t RawImageFormat::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                                   uint64_t sectorNumber,
                                                                                   uint32_t blockSize,
                                                                                   const std::string& bsdPath) {
    return measureFile(sector, sectorNumber, blockSize, bsdPath, [this](TiffFile& file) -> uint64_t {
        TiffWalkRules rules;
        rules.subIfds = false;
        rules.offsetLimit = kSizeLimit;
        const auto layout = walkTiff(file, rules);
        if (!layout || layout->dataEnd > kFirstIfdLimit) return answer(file.device, 0);
        notePreview(layout->previewStrip.offset, layout->previewStrip.length);
        return answer(file.device, layout->dataEnd);
    });
}

std::string_view RawImageFormat::getExtensionForRawImageInBlock_ndSectorNumber_blockSize_andBSDPath(
    std::span<const uint8_t> sector, uint64_t sectorNumber, uint32_t blockSize, const std::string& bsdPath) {
    try {
        TiffFile file(sector, sectorNumber, blockSize, bsdPath);
        if (file.firstIfd < 8 || file.firstIfd > kFirstIfdLimit) return {};
        const auto ifd = file.ifdAt(file.firstIfd);
        if (!ifd) return {};
        const Hit hit{sector, sectorNumber, blockSize, bsdPath, file, *ifd};
        for (size_t i = 0; i < ifd->count; ++i) {
            const ByteView entry = ifd->entry(i);
            const uint16_t tag = file.tag(entry);
            if (tag == 0xC612 || tag == 0xC613) return "dng";
            if (tag == kModel) {
                const auto model = file.text(entry, kModelLength);
                if (!model) return {};
                if (const auto kind = kindOfModel(*model); !kind.empty()) return kind;
            } else if (tag == kMake) {
                const uint32_t count = file.count(entry);
                if (count > 4 && file.u32(entry, 8) > kMakeOffsetLimit) return {};
                const auto make = file.text(entry, count > kMakeLengthLimit ? kLongMakeLength : kMakeLengthLimit);
                if (!make) return {};
                if (const auto kind = kindOfMake(hit, *make, i)) return *kind;
            }
        }
    } catch (const std::out_of_range&) {
    }
    return {};
}

int RawImageFormat::pentaxRawTiffFile_andSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                           uint64_t sectorNumber, uint32_t blockSize,
                                                                           const std::string& bsdPath) {
    try {
        TiffFile file(sector, sectorNumber, blockSize, bsdPath);
        int chain = 0;
        for (uint64_t offset = file.firstIfd; offset != 0 && chain < kIfdChainLimit; ++chain) {
            const auto countField = file.device.bytesAt(offset, 2);
            if (!countField) return 0;
            const auto next = file.device.bytesAt(offset + 2 + TiffIfd::kEntrySize * file.u16(*countField, 0), 4);
            if (!next) return 0;
            offset = file.u32(*next, 0);
        }
        return chain <= 2 ? 1 : chain == 3 ? 2 : 3;
    } catch (const std::out_of_range&) {
        return 0;
    }
}

}  // namespace norix
