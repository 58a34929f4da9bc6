// Arbitrary bytes through the APFS records and the APFS scans. The first 4 KiB block is
// parsed as each record, every 4 KiB block by the block parser, and the whole input is
// quick-scanned as a container held in memory (a memfd read back through /proc/self/fd):
// its live trees followed from the superblock, its first quarter swept, the tree built.
// A record cut short may end in std::out_of_range; anything else escaping, or a bad read,
// is a finding.
//
// Seeds (corpus/apfs_scan/), cut by tools/make-apfs-seeds.sh from tests/fixtures/apfs.img.zst:
//   container-head.bin    blocks 0-15: the container superblock and the first checkpoints
//   leaves.bin            file-system leaf nodes 229424 (files with their extents), 229433
//                         (an old copy holding deleted files), 229422 (folders), 229396
//   index-and-leaf.bin    the index node 229419, leaf 229388 (fragmented.bin's 13 extents),
//                         229412 and 229420 (two copies of the folders' node)
//   parent-loop.bin       leaves.bin with folder 22's parent set to its own child 23
//   table-past-end.bin    leaves.bin with the first node's table of contents 4000 bytes long
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "disk/Platform.h"
#include "records/apfs/BtreeNodePhysT.h"
#include "records/apfs/Container.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace norix;

namespace {

template <class Parse>
void attempt(Parse&& parse) {
    try {
        parse();
    } catch (const std::out_of_range&) {
    }
}

void parseRecords(ByteView block) {
    attempt([&] { (void)Obj::initWithObjBlock(block); });
    attempt([&] { (void)NxSuperblock::initWithBlock(block); });
    attempt([&] { (void)OmapPhys::initWithBlock(block); });
    attempt([&] { (void)ApfsSuperblock::initWithBlock(block); });
    for (size_t at : {size_t{0}, size_t{56}, size_t{3964}, size_t{4003}, size_t{4088}, size_t{4094}}) {
        attempt([&] { (void)JInodeValT::initJInodeValTWithBlock_Offset(block, at); });
        attempt([&] { (void)JDrecKeyT::initJDrecKeyWithBlock_Offset(block, at); });
        attempt([&] { (void)JXattrKeyT::initJXattrKeyWithBlock_Offset(block, at); });
        attempt([&] { (void)JXattrValT::initJXattrValTWithBlock_Offset(block, at); });
        attempt([&] { (void)JSiblingValT::initJSiblingValTWithBlock_Offset(block, at); });
        attempt([&] { (void)XfBlobT::initXfBlobTWithBlock_Offset(block, at); });
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setConsoleQuiet(true);
    const ByteView input(data, size);
    if (size >= kApfsBlockBytes) parseRecords(input.sub(0, kApfsBlockBytes));

    const std::string path = fuzz::deviceHolding(data, size);
    if (path.empty()) std::abort();
    auto module = fuzz::moduleOn(path);
    const DiskDescription device{
        {DiskKey::ImagePath, path}, {DiskKey::MediaSize, uint64_t{size}}, {DiskKey::MediaBlockSize, uint64_t{512}}};
    module->setTheDiskInModule(std::make_shared<Disk>(device, std::vector<std::string>{}));
    module->quickSacnForAPFS({});

    // The block parser on every block, then the tree of a lost container.
    ApfsItemDict items;
    ApfsExtentDict extents;
    for (size_t at = 0; at + kApfsBlockBytes <= size; at += kApfsBlockBytes)
        module->deepScanForAPFS_withSize_withScanType_withItemDict_andExtentDict(input.sub(at, kApfsBlockBytes),
                                                                                 4096, "D", items, extents);
    module->enumerateDirectoryEntryApfsItemsDict_ExtentDict_Parent_andScantType(items, extents, module->deepNode(),
                                                                                "D");
    return 0;
}
