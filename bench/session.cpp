// Recovery-session write and load times and memory for a large result tree shaped
// like a scan's: folders of a thousand files below "Existing Files".
//
//   bench_session [NODES]      (default 1000000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <malloc.h>
#include <shared_mutex>
#include <string>

#include "bench/BenchImage.h"
#include "results/RecoverySession.h"
#include "results/TreeClassMethod.h"

using namespace norix;
using namespace norix::bench;
namespace fs = std::filesystem;

namespace {

double heapMiB() { return static_cast<double>(mallinfo2().uordblks) / 1048576; }

BaseTree* link(BaseTree* parent, std::unique_ptr<BaseTree> node) {
    BaseTree* child = parent->addChild(std::move(node));
    TreeClassMethod::addParent_toNDIR(parent, child);
    if (child->pathName.empty()) child->setPath(parent->fileName);
    TreeClassMethod::addChildCountInDIR(child);
    return child;
}

std::unique_ptr<BaseTree> buildTree(size_t files) {
    auto root = TreeClassMethod::createRootWithName("Benchmark Volume");
    root->setentry(1);
    TreeClassMethod::addQuickNodesInDir(root.get());
    TreeClassMethod::addDeepNodesInDIR(root.get());
    BaseTree* existing = root->getChildAtIndex(0)->getChildAtIndex(0);
    BaseTree* folder = nullptr;
    for (size_t i = 0; i < files; ++i) {
        if (i % 1000 == 0) folder = link(existing, TreeClassMethod::createNDIRWithName("DCIM " + std::to_string(i / 1000)));
        auto file = TreeClassMethod::createNDIR();
        file->setName("IMG_" + std::to_string(100000 + i) + ".JPG");
        file->setFileTypes(2);
        file->setentry(1);
        file->setfileSize(2'500'000 + i);
        file->setmodifiedDate(0x58A1'6000 + static_cast<uint32_t>(i));
        file->setblockSize(512);
        file->setblockSstartsAtSector(32768);
        file->addDataExt(DataExt(static_cast<uint32_t>(i * 5000), 4883));
        link(folder, std::move(file));
    }
    return root;
}

}  // namespace

int main(int argc, char** argv) {
    const size_t wanted = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1'000'000;
    const fs::path path = fs::temp_directory_path() / "norix-bench-session.nxdrs";
    std::shared_mutex treeLock;

    const double before = heapMiB();
    auto start = Clock::now();
    auto tree = buildTree(wanted - wanted / 1000);
    const size_t nodes = countNodes(*tree);
    const double built = seconds(start), treeMiB = heapMiB() - before;

    start = Clock::now();
    if (auto error = RecoverySession::saveRecoverySessionAtPath(path, {1, 0, 0}, "/dev/sdb1", *tree, treeLock)) {
        std::fprintf(stderr, "write failed: %s\n", error->c_str());
        return 1;
    }
    const double written = seconds(start), writePeakMiB = statusMiB("VmHWM");
    tree.reset();

    const double beforeLoad = heapMiB();
    start = Clock::now();
    const LoadedSession session = RecoverySession::loadRecoverySessionFromPath(path);
    const double loaded = seconds(start);
    if (session.error || countNodes(*session.dirRoot) != nodes) {
        std::fprintf(stderr, "load failed: %s\n", session.error.value_or("node count differs").c_str());
        return 1;
    }
    const double loadedTreeMiB = heapMiB() - beforeLoad;

    std::printf("nodes                %zu\n", nodes);
    std::printf("session file         %.1f MiB (%.0f bytes per node)\n", fs::file_size(path) / 1048576.0,
                static_cast<double>(fs::file_size(path)) / static_cast<double>(nodes));
    std::printf("build tree           %.2f s, heap %.0f MiB\n", built, treeMiB);
    std::printf("write                %.2f s, peak RSS with the tree %.0f MiB\n", written, writePeakMiB);
    std::printf("load                 %.2f s, heap %.0f MiB (%.0f bytes per node)\n", loaded, loadedTreeMiB,
                loadedTreeMiB * 1048576 / static_cast<double>(nodes));
    std::printf("peak RSS             %.0f MiB (while loading: the file and the tree)\n", statusMiB("VmHWM"));
    fs::remove(path);
    return 0;
}
