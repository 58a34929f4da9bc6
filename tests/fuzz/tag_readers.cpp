// Every metadata walk over the same bytes: EXIF search, ID3 frames, OLE property sets
// and the OOXML core properties (through libzip).
#include <cstddef>
#include <cstdint>
#include <span>

#include "disk/Platform.h"
#include "signatures/tags/DocxTags.h"
#include "signatures/tags/FileCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = (norix::setConsoleQuiet(true), true);
    (void)quiet;
    const std::span<const uint8_t> bytes(data, size);
    const size_t position = norix::FileCheck::getTagsFromFile_withSize(bytes, size);
    norix::FileCheck::searchEXIFTagsInBlock_inSize_fromPosition(bytes, size, position);
    norix::FileCheck::tagsInAudioData(bytes);
    norix::FileCheck::tagsInOfficeData(bytes);
    norix::DocxTags::getTagsForData(bytes);
    return 0;
}
