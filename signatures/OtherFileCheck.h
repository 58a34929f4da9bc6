#pragma once
// The checker of a file type that has none of its own (every user-defined type): a
// hit is a sector holding the type's header, and every hit is as long as the type's
// maximum size.

#include "signatures/Checker.h"
#include "signatures/SigNode.h"

namespace norix {

class OtherFileCheck : public Checker {
public:
    std::shared_ptr<Checker> clone() const override { return std::make_shared<OtherFileCheck>(*this); }
    // Keeps a copy of the file type's node, so that the catalogue may change while a
    // scan uses the checker. Throws std::invalid_argument for a node without a Sig.
    explicit OtherFileCheck(const SigNode& node);

    // The type's header at its offset in the bytes handed in (the sector, and any that
    // follow it), read in either byte order.
    bool isFile_andSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector, uint64_t sectorNumber,
                                                     uint32_t blockSize, const std::string& bsdPath) override;
    // The type's maximum size in bytes.
    uint64_t fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                       uint64_t sectorNumber, uint32_t blockSize,
                                                                       const std::string& bsdPath) override;
    std::optional<std::string> parentKey() const override { return sigNode.sig->extension; }

    const SigNode sigNode;
};

}  // namespace norix
