// Arbitrary bytes through the HFS+ records and the HFS+ quick scan. The input is parsed as
// each record, then scanned as a whole volume image held in memory (a memfd read back
// through /proc/self/fd), and as one catalog leaf node met without a known catalog
// header, as the deep scan meets one. A record cut short may end in std::out_of_range;
// anything else escaping, or a bad read, is a finding.
//
// Seeds (corpus/hfs_scan/), cut from the fixtures of tools/make-hfs-fixture.sh:
//   volume-head.bin       the first 110080 bytes of hfs-512: header, extents-overflow tree,
//                         catalog header, index and leaf nodes (catalog nodes 0 to 4)
//   looping-chain.bin     the same with the last leaf's forward link (catalog node 4,
//                         bytes 101888-101891) pointing back at the first leaf
//   leaf-node.bin         catalog leaf node 1 of hfs-4k (8 KiB at byte 81920)
//   journal-leaf.bin      the first stale leaf node in hfs-4k's journal (8 KiB, 8192 bytes in)
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

#include "disk/Platform.h"
#include "records/hfs/HfsRecords.h"
#include "results/TreeClassMethod.h"
#include "scan/RecoveryModule.h"

using namespace norix;

namespace {
void parseRecords(ByteView input) {
    try {
        if (const auto vib = VIB::initVIBWithBlock(input)) {
            const std::vector<HPlusExtDesc> extents(vib->cat.extents.begin(), vib->cat.extents.end());
            for (uint32_t node : {0u, 1u, vib->totalBlocks, UINT32_MAX})
                (void)vib->catNodeToSector_WithCatNodeSize_SectorSize_VolStart_andCatArray(node, 16, 512, 0, extents);
            (void)vib->isEqualToVib(*vib);
        }
    } catch (const std::out_of_range&) {
    }
    try {
        (void)BTHdrRec::initBTHdrRecWithBlock(input);
    } catch (const std::out_of_range&) {
    }
    try {
        (void)HPlusCatalogKey::initHPlusCatalogKeyWithBlock(input).getFileName();
    } catch (const std::out_of_range&) {
    }
    try {
        (void)HPlusCatalogFolder::initHPlusCatalogFolder(input);
    } catch (const std::out_of_range&) {
    }
    try {
        (void)HPlusCatalogFile::initHPlusCatalogFileWithBlock_andBlockSize(input, 4096);
    } catch (const std::out_of_range&) {
    }
}

std::unique_ptr<RecoveryModule> moduleOn(const std::string& path) {
    auto module = std::make_unique<RecoveryModule>();
    module->setDiskPathWithString_withRootName(path, "Fuzz");
    module->blockSize = 512;
    TreeClassMethod::addQuickNodesInDir(module->dirRoot());
    TreeClassMethod::addDeepNodesInDIR(module->dirRoot());
    return module;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setConsoleQuiet(true);
    const ByteView input(data, size);
    parseRecords(input);

    const int fd = memfd_create("hfs-volume", MFD_CLOEXEC);
    if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

    moduleOn(path)->quickScanForHFS();

    auto deep = moduleOn(path);
    if (size >= 14)
        deep->ProcessCatFragForDeletedFiles_andScanType_inParent_WithBTNodeDesc_andFlag(
            0, "D", deep->deepNode(), BTNodeDesc::initBTNodeDescWIthBlock(input), 0);
    close(fd);
    return 0;
}
