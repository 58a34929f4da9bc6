// FAT32: the quick scan of a volume's directory tree and the deep scan's routines
// for lost FAT32 volumes.
#include "scan/RecoveryModule.h"

namespace norix {

void RecoveryModule::quickScanForFat32_withScanType_withStartSector(std::span<const uint8_t> /*bootSector*/,
                                                                    const std::string& /*scanType*/,
                                                                    uint64_t /*startSector*/) {}

}  // namespace norix
