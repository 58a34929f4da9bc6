// exFAT: the quick scan of a volume's directory tree and the deep scan's routines
// for lost exFAT volumes.
#include "scan/RecoveryModule.h"

namespace norix {

void RecoveryModule::quickSacnForExfat_withScanType(std::span<const uint8_t> /*sectorZero*/,
                                                    const std::string& /*scanType*/) {}

}  // namespace norix
