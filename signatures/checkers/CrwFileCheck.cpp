#include "signatures/checkers/CrwFileCheck.h"

namespace norix {

// Not measured yet: every hit answers 0, so none becomes a file.
uint64_t CrwFileCheck::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t>, uint64_t,
                                                                                 uint32_t, const std::string&) {
    return 0;
}

}  // namespace norix
