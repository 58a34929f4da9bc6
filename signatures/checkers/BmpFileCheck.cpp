#include "signatures/checkers/BmpFileCheck.h"

#include "disk/ByteView.h"

namespace norix {

namespace {
constexpr size_t kFileSizeField = 2;  // u32 little-endian in the file header
constexpr uint32_t kSmallestFile = 50;
constexpr uint32_t kLargestFile = 104857600;  // 100 MiB
}  // namespace

uint64_t BmpFileCheck::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                                 uint64_t, uint32_t,
                                                                                 const std::string&) {
    const ByteView header(sector);
    if (!header.has(kFileSizeField, 4)) return 0;
    const uint32_t size = header.u32le(kFileSizeField);
    return size >= kSmallestFile && size <= kLargestFile ? size : 0;
}

}  // namespace norix
