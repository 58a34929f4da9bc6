#include "signatures/checkers/ArwFileCheck.h"

namespace norix {

// Not measured yet: every hit answers 0, so none becomes a file.
uint64_t ArwFileCheck::fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t>, uint64_t,
                                                                                 uint32_t, const std::string&) {
    return 0;
}

uint64_t ArwFileCheck::getFileCalcultaionForARW_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t>,
                                                                                      uint64_t, uint32_t,
                                                                                      const std::string&) {
    return 0;
}

uint64_t ArwFileCheck::getFileCalcultaionForARW100_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t>,
                                                                                         uint64_t, uint32_t,
                                                                                         const std::string&) {
    return 0;
}

}  // namespace norix
