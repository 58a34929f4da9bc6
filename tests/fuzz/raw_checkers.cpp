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
#include "signatures/checkers/ArwFileCheck.h"
#include "signatures/checkers/Cr2FileCheck.h"
#include "signatures/checkers/CrwFileCheck.h"
#include "signatures/checkers/DcrFileCheck.h"
#include "signatures/checkers/DngFileCheck.h"
#include "signatures/checkers/KdcK25FileCheck.h"
#include "signatures/checkers/MrwFileCheck.h"
#include "signatures/checkers/NefFileCheck.h"
#include "signatures/checkers/OrfFileCheck.h"
#include "signatures/checkers/PefFileCheck.h"
#include "signatures/checkers/RafFileCheck.h"
#include "signatures/checkers/RawFileCheck.h"
#include "signatures/checkers/RawImageFormat.h"
#include "signatures/checkers/Sr2FileCheck.h"
#include "signatures/checkers/ThreefrFileCheck.h"
#include "signatures/checkers/X3fFileCheck.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    norix::setConsoleQuiet(true);
    const std::string path = norix::fuzz::deviceHolding(data, size);
    if (path.empty()) return 0;

    std::vector<uint8_t> unit(data, data + std::min<size_t>(size, 512));
    unit.resize(512, 0);
    std::unique_ptr<norix::Checker> checkers[] = {
        std::make_unique<norix::RawImageFormat>(), std::make_unique<norix::Cr2FileCheck>(),
        std::make_unique<norix::NefFileCheck>(),   std::make_unique<norix::PefFileCheck>(),
        std::make_unique<norix::Sr2FileCheck>(),   std::make_unique<norix::DcrFileCheck>(),
        std::make_unique<norix::KdcK25FileCheck>(), std::make_unique<norix::ThreefrFileCheck>(),
        std::make_unique<norix::DngFileCheck>(),   std::make_unique<norix::OrfFileCheck>(),
        std::make_unique<norix::RawFileCheck>(),   std::make_unique<norix::ArwFileCheck>(),
        std::make_unique<norix::CrwFileCheck>(),   std::make_unique<norix::RafFileCheck>(),
        std::make_unique<norix::MrwFileCheck>(),   std::make_unique<norix::X3fFileCheck>(),
    };
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
