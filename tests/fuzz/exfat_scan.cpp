// Arbitrary bytes through the exFAT scan: as sector 0 of a volume, as a directory block of
// a volume found without its boot sector (entry sets made into nodes and placed, folders
// walked), and as a unit the deep scan meets with no volume known. The device path leads
// nowhere, so every read the routines try (FAT links, clusters, the cluster-size guess)
// fails, as on an unreadable disk. Anything escaping, or a bad read of the input, is a
// finding.
//
// Seeds (corpus/exfat_scan/), cut from tests/fixtures/exfat-scan-4k.img.zst:
//   boot.bin            the main boot sector
//   root.bin            the root directory's first cluster: label, bitmap, up-case, entry sets
//   big-folder.bin      a folder's cluster of names seven entries long, with non-ASCII letters
//   deleted-folder.bin  the start of a deleted folder's cluster (entry types 0x05, 0x40, 0x41)
#include <cstddef>
#include <cstdint>
#include <memory>

#include "disk/Platform.h"
#include "results/TreeClassMethod.h"
#include "scan/RecoveryModule.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace norix;


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setConsoleQuiet(true);
    const ByteView input(data, size);
    const auto bytes = static_cast<uint32_t>(size);

    auto quick = fuzz::moduleOn("/nonexistent/norix-fuzz");
    quick->quickSacnForExfat_withScanType(input.span(), "Q");
    quick->mbs = MainBootSector{};
    quick->mbs->setSetorPerClustor(8);
    BaseTree* branch = quick->dirRoot()->getChildAtIndex(0);
    quick->scanBlock_ofSize_withDir_andScanType_withStartSector(input, bytes, branch, "Q", 0);
    for (size_t category = 0; category < branch->childCount(); ++category)
        quick->checkForSubFolders_ofSize_andScanType_withStartSector(branch->getChildAtIndex(category), 4096, "Q", 0);

    auto deep = fuzz::moduleOn("/nonexistent/norix-fuzz");
    deep->scanBlock_ofSize_withDir_andScanType_withStartSector(input, bytes, deep->deepNode(), "D", 2048);
    return 0;
}
