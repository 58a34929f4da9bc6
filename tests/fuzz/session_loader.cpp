// Arbitrary bytes as a recovery session. Whatever loads must also list, search and
// write again; the written session must load whole, to as many nodes. A crash, a
// read out of bounds, an exception escaping or a mismatch is a finding.
//
// Seeds (corpus/session_loader/), written by `norix scan IMAGE --session FILE`:
//   sample.nxdrs       the bundled sample image (resources/sample-fat32.img.zst)
//   fat32-volume.nxdrs the FAT32 fixture volume (tools/make-fat32-fixture.sh)
//   fat32-disk.nxdrs   the same volume in an MBR disk image, deep scan only
//   sample-many-children.nxdrs, sample-long-name.nxdrs  the first 400 bytes of sample.nxdrs
//                      with the root record claiming 0xFFFFFFFF children or a name of
//                      65535 units: nothing may be read or reserved past the end
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "results/FilterState.h"
#include "results/RecoverySession.h"
#include "results/TreeClassMethod.h"

using namespace norix;

namespace {

std::vector<const BaseTree*> preOrder(const BaseTree& root) {
    std::vector<const BaseTree*> nodes, pending{&root};
    while (!pending.empty()) {
        const BaseTree* node = pending.back();
        pending.pop_back();
        nodes.push_back(node);
        for (auto it = node->childrenArray.rbegin(); it != node->childrenArray.rend(); ++it) pending.push_back(it->get());
    }
    return nodes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const LoadedSession session = RecoverySession::loadRecoverySessionFromData(ByteView(data, size));
    if (!session.dirRoot) return 0;

    FilterState filter;
    filter.addCatalogueCategory(2, {"jpg", "png"});
    filter.treePageFiltersAdvClicked("Images");
    const auto nodes = preOrder(*session.dirRoot);
    std::vector<uint8_t> again{1, 0, 0, 0, 0};
    for (const BaseTree* node : nodes) {
        if (filter.countFromNDIRWithFilter(*node) > node->childCount()) std::abort();
        node->setWriteableData(again);
    }
    SearchResult matches;
    const std::atomic<bool> running{true};
    TreeClassMethod::searchForKeyWord_inNDIR_withflag_addInDir("a", session.dirRoot.get(), running, matches);

    const LoadedSession reloaded = RecoverySession::loadRecoverySessionFromData(ByteView(again.data(), again.size()));
    if (reloaded.error || !reloaded.dirRoot || preOrder(*reloaded.dirRoot).size() != nodes.size()) std::abort();
    return 0;
}
