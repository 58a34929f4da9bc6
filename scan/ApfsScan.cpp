// APFS: the sweep of a container for file-system tree nodes, and the turning of the
// collected records into tree nodes.
#include "scan/RecoveryModule.h"

namespace norix {

void RecoveryModule::quickSacnForAPFS(std::span<const uint8_t> /*sectorZero*/) {}

void RecoveryModule::enumerateDirectoryEntryApfsItemsDict_ExtentDict_Parent_andScantType(
    ApfsItemDict& /*items*/, ApfsExtentDict& /*extents*/, BaseTree* /*parent*/, const std::string& /*scanType*/) {}

}  // namespace norix
