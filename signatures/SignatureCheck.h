#pragma once
// Names the file type that starts in a sector, and makes the checker for a type.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "signatures/Checker.h"
#include "signatures/SigNode.h"

namespace norix {

class SignatureCheck {
public:
    // The extension of the file type whose header starts the 512-byte unit, or empty.
    // The common types are told from the unit alone, without reading the device or
    // allocating; compound files, ZIP archives and TIFF-based raw images are named
    // from further sectors read from the device. For ZIP archives (and the Office
    // documents inside them) the file's size is stored in fileSizeForOfficeX; for every
    // other type it is left as it was.
    static std::string_view checkSignatureInBlock_andSectorNumber_blockSize_andBSDPath_fileSizeForOfficeX(
        std::span<const uint8_t> block, uint64_t sectorNumber, uint32_t blockSize, const std::string& bsdPath,
        uint64_t& fileSizeForOfficeX);

    // A new checker for the extension (compared exactly, lower case); an OtherFileCheck
    // built on the node for any extension without a checker of its own.
    static std::shared_ptr<Checker> searchForFileCheckWithExtension_andSigNode(const std::string& extension,
                                                                               const SigNode& sigNode);
};

}  // namespace norix
