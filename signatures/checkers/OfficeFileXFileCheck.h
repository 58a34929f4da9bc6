#pragma once
// Office Open XML documents (docx, xlsx, pptx) and plain ZIP archives.

#include <string_view>

#include "disk/ByteView.h"
#include "signatures/Checker.h"

namespace norix {

class OfficeFileXFileCheck : public Checker {
public:
    std::shared_ptr<Checker> clone() const override { return std::make_shared<OfficeFileXFileCheck>(*this); }
    uint64_t fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                       uint64_t sectorNumber, uint32_t blockSize,
                                                                       const std::string& bsdPath) override;

    // True for a first local header that needs version 1.0, 2.0 or 4.5 (zip64) to
    // extract and whose high flag byte holds at most the UTF-8 names bit (LibreOffice
    // sets it).
    static bool isFirstHeader(ByteView head);

    // Walks the archive that starts with the sector, header by header, to its end of
    // central directory record (at most 20 MiB): "zip" when the first header's flags
    // are 0, otherwise the kind of document its part names show ("docx", "xlsx",
    // "pptx"), and "zip" when they show none; nothing when the walk fails. When it
    // answers, size is the archive's length.
    static std::string_view getExtension_withSectorNumber_blockSize_andBSDPath_alongSize(
        std::span<const uint8_t> sector, uint64_t sectorNumber, uint32_t blockSize, const std::string& bsdPath,
        uint64_t& size);
};

}  // namespace norix
