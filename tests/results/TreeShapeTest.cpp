// Count propagation, pruning and lookups of the result tree.
#include <gtest/gtest.h>

#include "results/TreeClassMethod.h"

namespace norix {
namespace {

using T = TreeClassMethod;

// Links a node as the scan engine does: listed, parent set, counts carried up.
BaseTree* link(BaseTree* parent, std::unique_ptr<BaseTree> node) {
    BaseTree* child = parent->addChild(std::move(node));
    T::addParent_toNDIR(parent, child);
    if (child->fileType == 2)
        for (BaseTree* a = parent; a; a = a->getParent()) a->fileSize += child->fileSize;
    else
        parent->folderCount += 1;
    T::addChildCountInDIR(child);
    return child;
}

BaseTree* file(BaseTree* parent, uint64_t size) {
    auto node = T::createNDIR();
    node->setFileTypes(2);
    node->setfileSize(size);
    return link(parent, std::move(node));
}

BaseTree* folder(BaseTree* parent, const std::string& name = "d") {
    return link(parent, T::createNDIRWithName(name));
}

TEST(Counts, RemovalAndPruningTakeNodesOutOfEveryAncestorWithoutWrappingAndWithCountStopsBeforeDeepScan) {
    auto root = T::createRootWithName("Disk");
    BaseTree* a = folder(root.get());
    BaseTree* b = folder(a);
    file(b, 10);
    BaseTree* y = file(b, 20);
    BaseTree* z = file(a, 5);

    auto removed = T::removeDIR(y);
    ASSERT_EQ(removed.get(), y);
    EXPECT_EQ(b->childCount(), 1u);
    EXPECT_EQ(std::tuple(root->childrenCount, root->fileCount, root->fileSize), std::tuple(4u, 2u, 15u));
    T::removeDIR(b);  // goes with the file it holds
    EXPECT_EQ(a->folderCount, 0u);
    EXPECT_EQ(std::tuple(root->childrenCount, root->fileCount, root->fileSize), std::tuple(2u, 1u, 5u));

    root->fileSize = 2;
    root->fileCount = 0;
    T::reduceFileCountInDir(z);
    T::reduceChildCountInDIR_withCount(z, 7);
    EXPECT_EQ(std::tuple(root->childrenCount, root->fileCount, root->fileSize), std::tuple(1u, 0u, 0u));

    // Counts added with a count stop before "Deep Scan".
    T::addDeepNodesInDIR(root.get());
    BaseTree* deep = root->getChildAtIndex(1);
    BaseTree* c = folder(deep);
    BaseTree* d = folder(c);
    T::addChildCountInDIR_withCount(folder(d), 5);
    EXPECT_EQ(std::tuple(d->fileCount, c->fileCount, deep->fileCount, root->fileCount), std::tuple(5u, 5u, 0u, 0u));

    // Pruning removes folders emptied below and keeps files.
    root = T::createRootWithName("Disk");
    folder(folder(root.get()));
    BaseTree* kept = folder(root.get());
    folder(kept);
    BaseTree* leaf = file(kept, 3);
    T::freeZeroChildFoldersFromNDIR(root.get());
    ASSERT_EQ(root->childCount(), 1u);
    EXPECT_EQ(root->getChildAtIndex(0), kept);
    EXPECT_EQ(root->folderCount, 1u);
    EXPECT_EQ(kept->childCount(), 1u);
    EXPECT_EQ(kept->getChildAtIndex(0), leaf);
}

TEST(Copies, KeepEveryRunOfAFragmentedFileAfterTheFileIsGone) {
    const std::vector<DataExt> runs{{10, 2}, {40, 3}, {90, 1}};
    auto original = T::createNDIR();
    for (const DataExt& run : runs) original->addDataExt(run);
    auto copy = T::createAndValuesFromDIR(original.get());
    original.reset();
    EXPECT_EQ(copy->dataExtArray, runs);
}

TEST(Lookup, DirectorySectorOwnerTestsRangesAndFirstClustersOfFolders) {
    auto parent = T::createNDIR();
    BaseTree* ranged = folder(parent.get());
    ranged->startRange = 100;
    ranged->endrange = 107;
    const auto clustered = [](BaseTree* node, uint32_t spc, uint32_t startBlock) {
        node->SPC = spc;
        node->blocksStartsAtSector = 1000;
        T::addDataExtStartBlock_blockCount_toDir(startBlock, 1, node);
        return node;
    };
    BaseTree* nested = clustered(folder(ranged), 8, 5);  // cluster 5: sectors 1024-1031
    clustered(folder(parent.get()), 8, 0);               // no cluster below 2
    clustered(folder(parent.get()), 0, 2);               // no cluster size
    file(parent.get(), 1)->endrange = 1u << 31;          // files own no directory sectors

    const auto owner = [&](uint64_t sector) { return T::checkForParentForExFatAndFatWithStartSector_inParent(sector, parent.get()); };
    EXPECT_EQ(owner(104), ranged);
    EXPECT_EQ(owner(1031), nested);
    EXPECT_EQ(owner(1032), nullptr);
    EXPECT_EQ(owner(1003), nullptr);
    EXPECT_EQ(owner(1000 + 8 * 0xFFFFFFFEull), nullptr);
}

TEST(Lookup, DeepTreesAreWalkedPrunedAndTornDownWithoutRecursion) {
    constexpr uint32_t kLevels = 200000;
    auto root = T::createRootWithName("Disk");
    const auto chain = [](BaseTree* node) {
        for (uint32_t level = 0; level < kLevels; ++level) {
            BaseTree* child = node->addChild(T::createNDIRWithName("d"));
            child->setparent(node);
            child->setfileID(level + 10);
            node = child;
        }
        return node;
    };
    BaseTree* bottom = chain(root.get());
    chain(root.get());  // ends in an empty folder: pruned away whole
    bottom->setName("bottom");
    bottom->startRange = bottom->endrange = 77;
    file(bottom, 1);
    EXPECT_EQ(T::checkForParentInDIR_withID(root.get(), kLevels + 9), bottom);
    EXPECT_TRUE(T::checkForNDIR_withFileID_andNodeName(root.get(), kLevels + 9, "bottom"));
    EXPECT_EQ(T::searchForKeyWord_inNDIR("bottom", root.get()), bottom);
    EXPECT_EQ(T::searchForPath_inDir("/bottom", root.get()), bottom);
    EXPECT_EQ(T::checkForParentForExFatAndFatWithStartSector_inParent(77, root.get()), bottom);
    int64_t files = 0, bytes = 0;
    root->checked_withFileCount_andfileSize(true, files, bytes);
    EXPECT_EQ(files, 1);
    T::freeZeroChildFoldersFromNDIR(root.get());
    EXPECT_EQ(root->childCount(), 1u);
    root.reset();
}

}  // namespace
}  // namespace norix
