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
constexpr size_t kEntrySize = 12;                 // tag u16, type u16, count u32, value or offset u32
constexpr uint16_t kMinEntries = 2, kMaxEntries = 100;
constexpr size_t kModelLength = 32;
constexpr uint32_t kMakeLengthLimit = 50, kLongMakeLength = 30;
constexpr int kIfdChainLimit = 10;
constexpr uint16_t kMake = 0x10F, kModel = 0x110;

// Reads the TIFF structure in the byte order its header names ("II" little-endian).
struct Tiff {
    bool little;
    uint16_t u16(ByteView v, size_t at) const { return little ? v.u16le(at) : v.u16be(at); }
    uint32_t u32(ByteView v, size_t at) const { return little ? v.u32le(at) : v.u32be(at); }
};

// One IFD's entries, copied out of the device window, which later reads move.
struct Ifd {
    std::array<uint8_t, kMaxEntries * kEntrySize> bytes{};
    uint16_t count = 0;
    ByteView entry(size_t i) const {
        return ByteView(bytes.data(), count * kEntrySize).sub(i * kEntrySize, kEntrySize);
    }
};

std::optional<Ifd> readIfd(DeviceWindow& device, const Tiff& tiff, uint32_t offset) {
    const auto countField = device.bytesAt(offset, 2);
    if (!countField) return std::nullopt;
    Ifd ifd;
    ifd.count = tiff.u16(*countField, 0);
    if (ifd.count < kMinEntries || ifd.count > kMaxEntries) return std::nullopt;
    const auto entries = device.bytesAt(offset + 2ull, ifd.count * kEntrySize);
    if (!entries) return std::nullopt;
    std::copy(entries->data(), entries->data() + entries->size(), ifd.bytes.begin());
    return ifd;
}

// The text of an ASCII entry up to its first NUL, at most maxLength characters: in
// the entry's value field when its count fits there, else at its offset.
std::optional<std::string> asciiValue(DeviceWindow& device, const Tiff& tiff, ByteView entry, size_t maxLength) {
    const uint32_t count = tiff.u32(entry, 4);
    const size_t length = std::min<size_t>(count, maxLength);
    const std::optional<ByteView> chars =
        count <= 4 ? std::optional<ByteView>(entry.sub(8, length)) : device.bytesAt(tiff.u32(entry, 8), length);
    if (!chars) return std::nullopt;
    std::string text = chars->text(0, length);
    return text.substr(0, text.find('\0'));
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
    ByteView head;
    Tiff tiff;
    DeviceWindow& device;
    const Ifd& ifd;
};

bool laterEntryIs(const Hit& hit, size_t after, bool (*wanted)(const Hit&, ByteView)) {
    for (size_t j = after + 1; j < hit.ifd.count; ++j)
        if (wanted(hit, hit.ifd.entry(j))) return true;
    return false;
}

bool isDscR1Model(const Hit& hit, ByteView entry) {
    if (hit.tiff.u16(entry, 0) != kModel) return false;
    const auto model = asciiValue(hit.device, hit.tiff, entry, kModelLength);
    return model && model->starts_with("DSC-R1");
}

bool isDngTag(const Hit& hit, ByteView entry) {
    const uint16_t tag = hit.tiff.u16(entry, 0);
    return tag == 0xC612 || tag == 0xC613 || tag == 0xC614 || tag == 0xC621;
}

// The answer a maker gives (empty for none); nothing when the walk goes on.
std::optional<std::string_view> kindOfMake(const Hit& hit, std::string_view make, size_t index) {
    const bool standardHeader =
        hit.head.matches(0, std::string_view("II*\0", 4)) || hit.head.matches(0, std::string_view("MM\0*", 4));
    const bool rw2Header = hit.head.matches(2, std::string_view("U\0", 2));
    if (make.starts_with("SONY") && laterEntryIs(hit, index, isDscR1Model)) return "sr2";
    if (make.starts_with("Canon") && standardHeader && hit.head.matches(8, "CR")) return "cr2";
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
    if (make.starts_with("OLYMPUS") && (hit.head.matches(2, "RO") || hit.head.matches(2, "RS"))) return "orf";
    if (make.starts_with("Panason") && rw2Header) return "raw";
    if (make.starts_with("Hasselb")) return "3fr";
    return std::nullopt;
}

}  // namespace

// Not measured yet: every hit answers 0, so none becomes a file.
uint64_t RawImageFormat::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t>, uint64_t,
                                                                                   uint32_t, const std::string&) {
    return 0;
}

std::string_view RawImageFormat::getExtensionForRawImageInBlock_ndSectorNumber_blockSize_andBSDPath(
    std::span<const uint8_t> sector, uint64_t sectorNumber, uint32_t blockSize, const std::string& bsdPath) {
    try {
        const ByteView head(sector);
        const Tiff tiff{head.u16be(0) == 0x4949};
        const uint32_t firstIfd = tiff.u32(head, 4);
        if (firstIfd < 8 || firstIfd > kFirstIfdLimit) return {};
        DeviceWindow device(sector, sectorNumber, blockSize, bsdPath);
        const auto ifd = readIfd(device, tiff, firstIfd);
        if (!ifd) return {};
        const Hit hit{sector, sectorNumber, blockSize, bsdPath, head, tiff, device, *ifd};
        for (size_t i = 0; i < ifd->count; ++i) {
            const ByteView entry = ifd->entry(i);
            const uint16_t tag = tiff.u16(entry, 0);
            if (tag == 0xC612 || tag == 0xC613) return "dng";
            if (tag == kModel) {
                const auto model = asciiValue(device, tiff, entry, kModelLength);
                if (!model) return {};
                if (const auto kind = kindOfModel(*model); !kind.empty()) return kind;
            } else if (tag == kMake) {
                const uint32_t count = tiff.u32(entry, 4);
                if (count > 4 && tiff.u32(entry, 8) > kMakeOffsetLimit) return {};
                const auto make =
                    asciiValue(device, tiff, entry, count > kMakeLengthLimit ? kLongMakeLength : kMakeLengthLimit);
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
        const ByteView head(sector);
        const Tiff tiff{head.u16be(0) == 0x4949};
        DeviceWindow device(sector, sectorNumber, blockSize, bsdPath);
        int chain = 0;
        for (uint32_t offset = tiff.u32(head, 4); offset != 0 && chain < kIfdChainLimit; ++chain) {
            const auto countField = device.bytesAt(offset, 2);
            if (!countField) return 0;
            const auto next = device.bytesAt(offset + 2ull + kEntrySize * tiff.u16(*countField, 0), 4);
            if (!next) return 0;
            offset = tiff.u32(*next, 0);
        }
        return chain <= 2 ? 1 : chain == 3 ? 2 : 3;
    } catch (const std::out_of_range&) {
        return 0;
    }
}

}  // namespace norix
