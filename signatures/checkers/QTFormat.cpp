#include "signatures/checkers/QTFormat.h"

#include <algorithm>
#include <array>
#include <optional>

#include "disk/ByteView.h"
#include "signatures/DeviceWindow.h"

namespace norix {

namespace {
constexpr uint32_t fourCC(const char (&text)[5]) {
    return uint32_t(uint8_t(text[0])) << 24 | uint32_t(uint8_t(text[1])) << 16 | uint32_t(uint8_t(text[2])) << 8 |
           uint8_t(text[3]);
}
constexpr uint32_t kLargestBrandAtom = 511;  // an "ftyp" atom scanned for brands fits the first sector

constexpr size_t kAtomHeader = 16;          // size, type and the 64-bit size that may follow
constexpr uint64_t kSmallestLargeSize = 9;  // a 64-bit size below this ends the walk
constexpr uint32_t kAtomLimit = 1u << 20;   // top-level atoms walked at most
// The largest file a carved node's single extent can hold: 2^32 units of 512 bytes.
constexpr uint64_t kLargestFile = 1ull << 41;

// The top-level atoms a file may start with, and those of fragmented MPEG-4 files,
// which follow the movie atom in pairs of fragment and data ("moof", "mdat") and end
// with a random-access index ("mfra").
bool isTopLevelAtom(uint32_t type) {
    constexpr std::array kFragmentAtoms{fourCC("moof"), fourCC("mfra"), fourCC("sidx"), fourCC("styp")};
    return QTFormat::isQTAtom(type) ||
           std::find(kFragmentAtoms.begin(), kFragmentAtoms.end(), type) != kFragmentAtoms.end();
}

struct AtomWalk {
    uint64_t total = 0;
    uint32_t atoms = 0;
};

// The atom's size: 32-bit, or 64-bit after the type when the 32-bit one is 1; nothing
// when it declares none (0) or a 64-bit size below 9.
std::optional<uint64_t> atomSize(ByteView header) {
    const uint32_t size = header.u32be(0);
    if (size == 0) return std::nullopt;
    if (size != 1) return size;
    const uint64_t largeSize = header.u64be(8);
    return largeSize < kSmallestLargeSize ? std::nullopt : std::optional(largeSize);
}

// Adds the atom at the walk's end; false when it ends the walk. An atom without a
// usable size, or whose size would carry the file past the largest, is counted but
// not added; one of another type is neither.
bool addAtom(AtomWalk& walk, ByteView header) {
    const auto size = atomSize(header);
    if (!size || *size > kLargestFile - walk.total) {
        ++walk.atoms;
        return false;
    }
    if (!isTopLevelAtom(header.u32be(4))) return false;
    walk.total += *size;
    ++walk.atoms;
    return true;
}

}  // namespace

uint64_t QTFormat::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                             uint64_t sectorNumber, uint32_t blockSize,
                                                                             const std::string& bsdPath) {
    const ByteView head(sector);
    if (!head.has(4, 4) || !isQTAtom(head.u32be(4))) return 0;
    DeviceWindow device(sector, sectorNumber, blockSize, bsdPath, 2 * size_t(blockSize));
    AtomWalk walk;
    while (walk.atoms < kAtomLimit) {
        const auto header = device.bytesAt(walk.total, kAtomHeader);
        if (!header) return 0;
        if (!addAtom(walk, *header)) break;
    }
    return walk.atoms < 2 ? 0 : walk.total;
}

bool QTFormat::isQTAtom(uint32_t type) {
    constexpr std::array kAtoms{fourCC("free"), fourCC("ftyp"), fourCC("mdat"), fourCC("meta"), fourCC("moov"),
                                fourCC("skip"), fourCC("udta"), fourCC("uuid"), fourCC("wide")};
    return std::find(kAtoms.begin(), kAtoms.end(), type) != kAtoms.end();
}

std::string_view QTFormat::checkExtensionInBlock(std::span<const uint8_t> sector) {
    const ByteView bytes(sector);
    if (!bytes.matches(4, "ftyp") || !bytes.has(0, 4)) return "mov";
    const uint32_t atomSize = bytes.u32be(0);
    if (atomSize > kLargestBrandAtom) return "mov";
    // Brands and compatible brands from byte 8 to the atom's end.
    for (uint32_t at = 8; at + 4 <= atomSize; ++at) {
        if (bytes.matches(at, "crx")) return "cr3";
        if (bytes.matches(at, "mp4")) return "mp4";
    }
    return "mov";
}

}  // namespace norix
