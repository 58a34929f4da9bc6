// Identification of a unit whose file lies on a device made of the input (compound
// files, ZIP archives and TIFF raws read on from it), at both sector sizes, and the
// catalogue file's loader on the same bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "disk/Platform.h"
#include "signatures/SigCatalogue.h"
#include "signatures/SignatureCheck.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    norix::setConsoleQuiet(true);
    const std::string path = norix::fuzz::deviceHolding(data, size);
    if (path.empty()) return 0;

    const std::vector<uint8_t> unit = norix::fuzz::firstUnit(data, size);
    for (uint32_t blockSize : {512u, 4096u}) {
        uint64_t fileSize = 0;
        norix::SignatureCheck::checkSignatureInBlock_andSectorNumber_blockSize_andBSDPath_fileSizeForOfficeX(
            unit, 0, blockSize, path, fileSize);
    }
    try {
        norix::SigCatalogue::parseCatalogue(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const std::exception&) {
    }
    return 0;
}
