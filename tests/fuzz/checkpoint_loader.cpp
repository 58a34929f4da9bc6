// Arbitrary bytes as a deep-scan checkpoint. The prologue's length and hash are made to
// fit the input first, so mutations reach the fields behind them rather than stopping
// at the checksum. A crash, a read out of bounds or an exception escaping is a finding;
// whatever loads must hold a tree.
//
// Seeds (corpus/checkpoint_loader/), copied as each was renamed into place by
// `NORIX_CHECKPOINT_MS=0 norix scan mixed.img --type D --session FILE`
// (tools/make-resume-fixture.sh):
//   lost-folders-between-chunks.ckpt  after the first chunk: a lost FAT volume's folders
//                                     whose further clusters lie in the next chunk
//   hfs-items-collected.ckpt          after the HFS+ volume: catalog records collected,
//                                     lost volumes, and the FAT and exFAT trees
//   path-length-past-end.ckpt         the first 4 KiB of the first, its device path's
//                                     length set to 2^64 - 1
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "scan/RecoveryModule.h"

using namespace norix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    if (bytes.size() >= 24) {
        const uint64_t length = bytes.size() - 24;
        const uint64_t hash = checkpointHash(ByteView(bytes).from(24));
        for (int i = 0; i < 8; ++i) {
            bytes[8 + i] = static_cast<uint8_t>(length >> (8 * i));
            bytes[16 + i] = static_cast<uint8_t>(hash >> (8 * i));
        }
    }
    RecoveryModule module;
    CheckpointHeader header;
    if (!module.loadCheckpoint(ByteView(bytes), header) && !module.dirRoot()) std::abort();
    return 0;
}
