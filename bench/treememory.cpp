// Memory of a large result tree, in the allocator's view: the heap a tree of NODES
// nodes holds (malloc's own bytes in use, chunk overheads included), the bytes asked
// of operator new, and the peak resident memory. The tree is built through the calls
// the scans make, in the shape of a deep scan of a large card: half the files are
// camera pictures in folders of a thousand below "Existing Files" (one run each, every
// tenth in three), half are carved files below "Lost and Found", grouped by type and
// in folders of a thousand.
//
//   bench_treememory [NODES]      (default 1000000)
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <new>
#include <string>

#include "bench/BenchImage.h"
#include "results/TreeClassMethod.h"

using namespace norix;
using namespace norix::bench;

namespace {

std::atomic<uint64_t> requestedBytes{0};

// Linked and counted as a scan links a node it found.
BaseTree* link(BaseTree* parent, std::unique_ptr<BaseTree> node) {
    BaseTree* child = parent->addChild(std::move(node));
    TreeClassMethod::addParent_toNDIR(parent, child);
    if (child->fileType == 2)
        for (BaseTree* ancestor = parent; ancestor; ancestor = ancestor->pndirPointer) ancestor->fileSize += child->fileSize;
    else
        parent->folderCount += 1;
    TreeClassMethod::addChildCountInDIR(child);
    return child;
}

std::unique_ptr<BaseTree> fileNode(std::string name, uint8_t entry, uint64_t size, uint32_t firstBlock, bool fragmented) {
    auto file = TreeClassMethod::createNDIR();
    file->setName(name);
    file->setFileTypes(2);
    file->setentry(entry);
    file->setfileSize(size);
    file->setmodifiedDate(0x58A1'6000 + firstBlock);
    file->setcreatedDate(0x58A1'6000 + firstBlock);
    file->setblockSize(512);
    file->setblockSstartsAtSector(32768);
    file->createButtons();
    const uint32_t blocks = static_cast<uint32_t>(size / 512 + 1);
    if (!fragmented) {
        TreeClassMethod::addDataExtStartBlock_blockCount_toDir(firstBlock, blocks, file.get());
    } else {
        for (uint32_t part = 0; part < 3; ++part)
            TreeClassMethod::addDataExtStartBlock_blockCount_toDir(firstBlock + part * blocks, blocks / 3 + 1, file.get());
    }
    return file;
}

// Picture names as cameras write them, "IMG_20230514_101530.JPG".
std::string cameraName(size_t i) {
    char name[32];
    std::snprintf(name, sizeof name, "IMG_2023%02zu%02zu_%06zu.JPG", 1 + i / 100000 % 12, 1 + i / 1000 % 28, i % 1000000);
    return name;
}

std::unique_ptr<BaseTree> buildTree(size_t wanted) {
    auto root = TreeClassMethod::createRootWithName("Benchmark Card");
    root->setentry(1);
    TreeClassMethod::addQuickNodesInDir(root.get());
    TreeClassMethod::addDeepNodesInDIR(root.get());
    BaseTree* existing = root->getChildAtIndex(0)->getChildAtIndex(0);
    BaseTree* lostAndFound = root->getChildAtIndex(1)->getChildAtIndex(0);
    const char* types[] = {"jpg", "mov", "pdf", "docx"};
    BaseTree* typeFolders[4] = {};
    BaseTree* groups[4] = {};
    uint32_t carved[4] = {};
    BaseTree* folder = nullptr;

    size_t nodes = 12;  // the root and its fixed branches
    for (size_t i = 0; nodes < wanted; ++i) {
        const uint32_t block = static_cast<uint32_t>(i * 5000);
        const uint64_t size = 2'500'000 + i % 100'000;
        if (i % 2 == 0) {
            if (i / 2 % 1000 == 0) {
                folder = link(existing, TreeClassMethod::createNDIRWithName(std::to_string(100 + i / 2000) + "CANON"));
                ++nodes;
            }
            link(folder, fileNode(cameraName(i / 2), 1, size, block, i / 2 % 10 == 0));
        } else {
            const size_t type = i / 2 % 4;
            if (!typeFolders[type]) {
                typeFolders[type] = link(lostAndFound, TreeClassMethod::createNDIRWithName(types[type]));
                ++nodes;
            }
            const uint32_t number = ++carved[type];
            if (number % 1000 == 1) {
                groups[type] = link(typeFolders[type], TreeClassMethod::createNDIRWithName(
                                                           std::string(types[type]) + " [" + std::to_string(number) +
                                                           " - " + std::to_string(number + 999) + "]"));
                ++nodes;
            }
            link(groups[type], fileNode("File " + std::to_string(number) + "." + types[type], 6, size, block, false));
        }
        ++nodes;
    }
    return root;
}

}  // namespace

void* operator new(std::size_t size) {
    requestedBytes.fetch_add(size, std::memory_order_relaxed);
    if (void* block = std::malloc(size ? size : 1)) return block;
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t size) noexcept {
    requestedBytes.fetch_sub(size, std::memory_order_relaxed);
    std::free(block);
}

int main(int argc, char** argv) {
    const size_t wanted = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1'000'000;
    const size_t heapBefore = mallinfo2().uordblks;
    const uint64_t requestedBefore = requestedBytes.load();
    auto tree = buildTree(wanted);
    const double heap = static_cast<double>(mallinfo2().uordblks - heapBefore);
    const double requested = static_cast<double>(requestedBytes.load() - requestedBefore);
    const double nodes = static_cast<double>(countNodes(*tree));

    std::printf("nodes                %.0f\n", nodes);
    std::printf("heap in use          %.0f MiB, %.1f bytes per node\n", heap / 1048576, heap / nodes);
    std::printf("asked of new         %.0f MiB, %.1f bytes per node\n", requested / 1048576, requested / nodes);
    std::printf("sizeof(BaseTree)     %zu\n", sizeof(BaseTree));
    std::printf("peak RSS             %.0f MiB\n", statusMiB("VmHWM"));
    return 0;
}
