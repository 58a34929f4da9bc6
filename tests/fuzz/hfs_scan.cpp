// Arbitrary bytes through the HFS+ records and the HFS+ scans. The input is parsed as
// each record, then scanned as a whole volume image held in memory (a memfd read back
// through /proc/self/fd), by the quick scan and by the deep scan's steps for each of its
// 512-byte units (volume headers, catalog leaf nodes found anywhere). A record cut short may end in std::out_of_range;
// anything else escaping, or a bad read, is a finding.
//
// Seeds (corpus/hfs_scan/), cut from the fixtures of tools/make-hfs-fixture.sh:
//   volume-head.bin       the first 110080 bytes of hfs-512: header, extents-overflow tree,
//                         catalog header, index and leaf nodes (catalog nodes 0 to 4)
//   looping-chain.bin     the same with the last leaf's forward link (catalog node 4,
//                         bytes 101888-101891) pointing back at the first leaf
//   leaf-node.bin         catalog leaf node 1 of hfs-4k (8 KiB at byte 81920)
//   journal-leaf.bin      the first stale leaf node in hfs-4k's journal (8 KiB, 8192 bytes in)
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

#include "disk/Platform.h"
#include "records/hfs/HPlusCatalogKey.h"
#include "results/TreeClassMethod.h"
#include "scan/RecoveryModule.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace norix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setConsoleQuiet(true);
    const ByteView input(data, size);
    fuzz::allowingShortInput([&] {
        if (const auto vib = VIB::initVIBWithBlock(input)) {
            const std::vector<HPlusExtDesc> extents(vib->cat.extents.begin(), vib->cat.extents.end());
            for (uint32_t node : {0u, 1u, vib->totalBlocks, UINT32_MAX})
                (void)vib->catNodeToSector_WithCatNodeSize_SectorSize_VolStart_andCatArray(node, 16, 512, 0, extents);
            (void)vib->isEqualToVib(*vib);
        }
    });
    fuzz::allowingShortInput([&] { (void)BTHdrRec::initBTHdrRecWithBlock(input); });
    fuzz::allowingShortInput([&] { (void)HPlusCatalogKey::initHPlusCatalogKeyWithBlock(input).getFileName(); });
    fuzz::allowingShortInput([&] { (void)HPlusCatalogFolder::initHPlusCatalogFolder(input); });
    fuzz::allowingShortInput([&] { (void)HPlusCatalogFile::initHPlusCatalogFileWithBlock_andBlockSize(input, 4096); });

    const std::string path = fuzz::deviceHolding(data, size);
    if (path.empty()) std::abort();

    fuzz::moduleOn(path)->quickScanForHFS();

    // The deep scan's steps for each 512-byte unit it takes for HFS+, then the placing of
    // what they found.
    auto deep = fuzz::moduleOn(path);
    for (uint64_t sector = 0; (sector + 1) * 512 <= size; ++sector) {
        const ByteView unit = input.sub(sector * 512, 512);
        if (RecoveryModule::checkForFileSystem_withSize(unit, 512) == 3 && !deep->checkForHFSVolumeBlocks(sector))
            deep->deepScanForHFS_inSectorNumber_withSize_andParent(unit, sector, 512, deep->deepNode());
    }
    deep->placeLostHFSVolumes();
    return 0;
}
