// Every checker of the common formats on a device made of the input, with the input's
// first 512 bytes as the hit's sector, at both sector sizes: the naming walks of
// compound files, ZIP archives and QuickTime files, and each checker's size walk, whose
// answer on 512-byte sectors must stay within the checker's bound whatever the bytes say.
#include <algorithm>
#include <cstdlib>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "disk/Platform.h"
#include "signatures/checkers/BmpFileCheck.h"
#include "signatures/checkers/GifFileCheck.h"
#include "signatures/checkers/JpgFileCheck.h"
#include "signatures/checkers/Mp3FileCheck.h"
#include "signatures/checkers/Office97FileCheck.h"
#include "signatures/checkers/OfficeFileXFileCheck.h"
#include "signatures/checkers/PdfFileCheck.h"
#include "signatures/checkers/PngFileCheck.h"
#include "signatures/checkers/QTFormat.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    norix::setConsoleQuiet(true);
    const std::string path = norix::fuzz::deviceHolding(data, size);
    if (path.empty()) return 0;

    const std::vector<uint8_t> unit = norix::fuzz::firstUnit(data, size);
    std::unique_ptr<norix::Checker> checkers[] = {
        std::make_unique<norix::JpgFileCheck>(),
        std::make_unique<norix::PngFileCheck>(),
        std::make_unique<norix::GifFileCheck>(),
        std::make_unique<norix::BmpFileCheck>(),
        std::make_unique<norix::PdfFileCheck>(),
        std::make_unique<norix::Office97FileCheck>(),
        std::make_unique<norix::OfficeFileXFileCheck>(),
        std::make_unique<norix::Mp3FileCheck>(),
        std::make_unique<norix::QTFormat>(),
    };
    // The most each checker above may answer on 512-byte sectors.
    constexpr uint64_t largest[] = {26214400 + 514,  102809600 + 516, 5242880 + 512,      104857600, 20979712,
                                    uint64_t{1} << 32, 20 << 20,      (10 << 20) + 1024, uint64_t{1} << 41};
    for (uint32_t blockSize : {512u, 4096u}) {
        for (size_t i = 0; i < std::size(checkers); ++i) {
            const uint64_t size =
                checkers[i]->fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(unit, 0, blockSize, path);
            if (blockSize == 512 && size > largest[i]) std::abort();
        }
        norix::Office97FileCheck::chechForOfficeFileExtension_withSectorNumber_blockSize_andBSDPath(unit, 0, blockSize,
                                                                                                    path);
        uint64_t fileSize = 0;
        norix::OfficeFileXFileCheck::getExtension_withSectorNumber_blockSize_andBSDPath_alongSize(unit, 0, blockSize,
                                                                                                  path, fileSize);
        if (blockSize == 512 && fileSize > largest[6]) std::abort();
    }
    norix::QTFormat::checkExtensionInBlock(unit);
    return 0;
}
