// HFS+: the quick scan of the catalog and journal, and the rebuilding of lost HFS+
// volumes found by the deep scan.
#include "scan/RecoveryModule.h"

namespace norix {

void RecoveryModule::quickScanForHFS() {}

void RecoveryModule::rearrangeTreeFroHFS(BaseTree* /*lostVolume*/) {}

void RecoveryModule::changeForHFSPointerInHFSLostPartition() {}

}  // namespace norix
