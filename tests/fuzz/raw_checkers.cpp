// Every camera raw checker on a device made of the input, with the input's first 512
// bytes as the hit's sector, at both sector sizes, and the naming of TIFF-based raws.
// Whatever the bytes say, an answer stays within 200 MiB and its slack, and a reported
// preview lies inside the file answered.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "disk/Platform.h"
#include "signatures/SigNode.h"
#include "signatures/SignatureCheck.h"
#include "signatures/checkers/RawFileCheck.h"
#include "signatures/checkers/RawImageFormat.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    norix::setConsoleQuiet(true);
    const std::string path = norix::fuzz::deviceHolding(data, size);
    if (path.empty()) return 0;

    const std::vector<uint8_t> unit = norix::fuzz::firstUnit(data, size);
    // The checkers of the raw types, and the walk they share.
    std::vector<std::shared_ptr<norix::Checker>> checkers{std::make_shared<norix::RawImageFormat>()};
    for (const char* type : {"cr2", "nef", "pef", "sr2", "dcr", "kdc", "3fr", "dng", "orf", "raw", "arw", "crw", "raf",
                             "mrw", "x3f"})
        checkers.push_back(norix::SignatureCheck::searchForFileCheckWithExtension_andSigNode(type, norix::SigNode()));
    constexpr uint64_t kLargest = 209715200 + 512;
    for (uint32_t blockSize : {512u, 4096u}) {
        for (const auto& checker : checkers) {
            const uint64_t answer = checker->fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(
                unit, 0, blockSize, path);
            if (answer > kLargest) std::abort();
            if (!checker->isJPGPresent()) continue;
            if (checker->extraByteForJPGOffset() >= blockSize) std::abort();
            const uint64_t offset = checker->jpgFileOffset() * blockSize + checker->extraByteForJPGOffset();
            if (offset + checker->jpgFileSize() > answer) std::abort();
        }
        norix::RawImageFormat::getExtensionForRawImageInBlock_ndSectorNumber_blockSize_andBSDPath(unit, 0, blockSize,
                                                                                                  path);
        norix::RawFileCheck::jpegSize_inOffset_withBSDPath_andBlockSize(0, 0, path, blockSize);
    }
    return 0;
}
