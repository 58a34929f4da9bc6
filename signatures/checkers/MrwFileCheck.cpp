#include "signatures/checkers/MrwFileCheck.h"

namespace norix {

namespace {

constexpr uint32_t kDataOffsetLimit = 52428800;  // 50 MiB
constexpr uint64_t kRawLimit = 157286300 + 92;
constexpr uint64_t kBlocksStart = 8, kBlockHeader = 8;  // name (4 bytes) and big-endian length
constexpr int kMaxBlocks = 5;
constexpr size_t kHeight = 16, kWidth = 18, kStorage = 26;  // in the "PRD" block, from its name

}  // namespace

// The "MRM" block holds the others (the "PRD" block gives the sensor's size and how its
// pixels are stored); the raw data follows it. 512 bytes of slack follow the data.
uint64_t MrwFileCheck::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                                 uint64_t sectorNumber,
                                                                                 uint32_t blockSize,
                                                                                 const std::string& bsdPath) {
    return measureFile(sector, sectorNumber, blockSize, bsdPath, [this](TiffFile& file) -> uint64_t {
        const uint32_t dataOffset = RawImageFormat::fourByteReadInCaseOfBigEndian_position(file.head, 4);
        if (dataOffset > kDataOffsetLimit) return answer(file.device, 0);
        uint64_t at = kBlocksStart;
        for (int block = 0; block < kMaxBlocks && at < kBlocksStart + dataOffset; ++block) {
            const auto header = file.device.bytesAt(at, kBlockHeader);
            if (!header) return answer(file.device, 0);
            if (!header->matches(0, std::string_view("\0PRD", 4))) {
                at += kBlockHeader + RawImageFormat::fourByteReadInCaseOfBigEndian_position(*header, 4);
                continue;
            }
            const auto prd = file.device.bytesAt(at, kStorage + 1);
            if (!prd) return answer(file.device, 0);
            const uint64_t pixels = uint64_t{RawImageFormat::twoByteReadInCaseOfBigEndian_position(*prd, kHeight)} *
                                    RawImageFormat::twoByteReadInCaseOfBigEndian_position(*prd, kWidth);
            const uint8_t storage = prd->u8(kStorage);
            const uint64_t raw = storage == 'Y' ? pixels * 3 / 2 : storage == 'R' ? pixels * 2 : 0;
            if (raw == 0) return answer(file.device, 0);
            const uint64_t end = raw + dataOffset + kBlocksStart;
            return answer(file.device, raw + dataOffset <= kRawLimit ? end : 0, 512);
        }
        return answer(file.device, 0);
    });
}

}  // namespace norix
