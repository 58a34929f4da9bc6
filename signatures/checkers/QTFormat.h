#pragma once
// QuickTime and ISO media files (mov, mp4, cr3): a chain of top-level atoms.

#include <string_view>

#include "signatures/Checker.h"

namespace norix {

class QTFormat : public Checker {
public:
    std::shared_ptr<Checker> clone() const override { return std::make_shared<QTFormat>(*this); }
    // Adds up the sizes of the top-level atoms from the first on, to the first atom of
    // another type or without a size: the file's length (no slack). Fewer than two
    // atoms answer 0.
    uint64_t fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                       uint64_t sectorNumber, uint32_t blockSize,
                                                                       const std::string& bsdPath) override;

    // True for the atom types a file may start with: "free", "ftyp", "mdat", "meta",
    // "moov", "skip", "udta", "uuid", "wide".
    static bool isQTAtom(uint32_t type);
    // "cr3" or "mp4" when a small "ftyp" atom names that brand first, else "mov".
    static std::string_view checkExtensionInBlock(std::span<const uint8_t> sector);
};

}  // namespace norix
