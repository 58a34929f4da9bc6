#pragma once
// PDF documents: up to the end-of-file marker of the last revision.

#include "signatures/Checker.h"

namespace norix {

class PdfFileCheck : public Checker {
public:
    std::shared_ptr<Checker> clone() const override { return std::make_shared<PdfFileCheck>(*this); }
    // Scans the 20 MiB from the header for a line break followed by "%%EOF": the file
    // ends with that marker and its line break. A marker followed by an incremental
    // update (objects or a cross-reference table appended by an editor, or the rest of
    // a linearised file) is not the end, the last one of the chain is. Without any
    // marker the answer is the span scanned.
    uint64_t fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                       uint64_t sectorNumber, uint32_t blockSize,
                                                                       const std::string& bsdPath) override;
    std::optional<std::string> parentKey() const override { return "pdf"; }
};

}  // namespace norix
