// Recovery sessions of real scans: written and loaded back, taken over by an engine,
// and written and searched while a scan is still linking nodes. Sessions cut short are
// replayed by the session_loader fuzz target.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "disk/DiskArbitrator.h"
#include "results/RecoverySession.h"
#include "results/TreeClassMethod.h"
#include "scan/RecoveryModule.h"
#include "tests/support/TestSupport.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

using test::preOrder;

// Everything a session keeps of a node, in the order of its record.
auto storedFields(const BaseTree& n) {
    std::vector<std::pair<uint32_t, uint32_t>> extents;
    for (const DataExt& e : n.dataExtArray) extents.emplace_back(e.startBlock, e.blockCount);
    return std::tuple(n.entry, n.deleted, n.fileType, n.SPC, n.createDate, n.modDate, n.parentID, n.fileID,
                      n.fileCount, n.folderCount, n.childrenCount, n.childrenArray.size(), n.clustToRead, n.blockSize,
                      n.fileSize, n.blocksStartsAtSector, n.fileName, extents);
}

fs::path fat32Disk() { return test::fixtureFolder("make-fat32-fixture.sh") / "fat32-mbr.img"; }

// The loaded tree holds every scanned node with all it stored.
void expectSameTree(const BaseTree& scannedRoot, const BaseTree& loadedRoot) {
    const auto scanned = preOrder(scannedRoot), loaded = preOrder(loadedRoot);
    ASSERT_EQ(loaded.size(), scanned.size());
    ASSERT_GT(scanned.size(), 20u);
    for (size_t i = 0; i < scanned.size(); ++i) {
        SCOPED_TRACE(scanned[i]->description());
        EXPECT_EQ(storedFields(*loaded[i]), storedFields(*scanned[i]));
        const bool belowRoot = scanned[i]->getParent() == &scannedRoot;
        EXPECT_EQ(loaded[i]->pathName, belowRoot ? "/" + scanned[i]->pathName : scanned[i]->pathName);
    }
}

// Written and searched again and again while a deep scan links nodes; once the scan is
// done the session is written the same twice and loads back as the scanned tree.
TEST(SessionInEngine, IsWrittenDuringAScanLoadsBackWholeAndIsSearchedOnceAdopted) {
    test::TempHome home;
    test::TempDir dir;
    const fs::path image = fat32Disk();
    const fs::path path = dir / "live.nxdrs";
    {
        RecoveryModule scanner;
        scanner.setDiskPathWithString_withRootName(image.string(), "disk");
        std::atomic<bool> done{false};
        std::thread scan([&] {
            scanner.recoverFromDisk_withScantType_andName_selectedPath(DiskArbitrator::diskForPath(image.string()),
                                                                       "D", "", std::nullopt);
            done = true;
        });
        int rounds = 0;
        while (!done || rounds == 0) {
            EXPECT_FALSE(RecoverySession::saveRecoverySessionAtPath(path, {0, 0, 0}, image.string(),
                                                                    *scanner.dirRoot(), scanner.treeLock()));
            EXPECT_FALSE(RecoverySession::loadRecoverySessionFromPath(path).error);
            scanner.startSearch_andFlag("txt", std::make_shared<std::atomic<bool>>(true));
            ++rounds;
        }
        scan.join();
        ASSERT_FALSE(RecoverySession::saveRecoverySessionAtPath(path, {1, 0, 0}, image.string(), *scanner.dirRoot(),
                                                                scanner.treeLock()));
        const auto bytes = test::readFile(path);
        ASSERT_FALSE(RecoverySession::saveRecoverySessionAtPath(path, {1, 0, 0}, image.string(), *scanner.dirRoot(),
                                                                scanner.treeLock()));
        EXPECT_EQ(test::readFile(path), bytes);
        const LoadedSession loaded = RecoverySession::loadRecoverySessionFromPath(path);
        ASSERT_FALSE(loaded.error) << *loaded.error;
        EXPECT_EQ(loaded.bsdPath, image.string());
        std::shared_lock lock(scanner.treeLock());
        expectSameTree(*scanner.dirRoot(), *loaded.dirRoot);
    }
    LoadedSession session = RecoverySession::loadRecoverySessionFromPath(path);
    ASSERT_FALSE(session.error);

    RecoveryModule module;
    module.setDiskPathWithString_withRootName("/dev/old", "old");
    const auto first = std::make_shared<std::atomic<bool>>(true);
    module.startSearch_andFlag("old", first);
    BaseTree* loadedRoot = session.dirRoot.get();
    module.adoptRecoverySession(std::move(session.dirRoot), image.string());
    EXPECT_EQ(module.dirRoot(), loadedRoot);
    EXPECT_EQ(module.diskPath(), image.string());
    EXPECT_FALSE(module.searchDir());  // the matches of the old tree are gone with it
    EXPECT_FALSE(*first);

    const auto flag = std::make_shared<std::atomic<bool>>(true);
    const auto result = module.startSearch_andFlag("JPG", flag);
    EXPECT_EQ(module.searchDir(), result);
    std::shared_lock lock(module.treeLock());
    const auto nodes = preOrder(*module.dirRoot());
    EXPECT_EQ(result->childrenCount(), std::ranges::count_if(nodes, [](const BaseTree* node) {
                  std::string name = node->fileName;
                  std::ranges::transform(name, name.begin(), [](unsigned char c) { return std::tolower(c); });
                  return node->getParent() && name.find("jpg") != std::string::npos;
              }));
    std::vector<std::string> names;
    for (const BaseTree* match : result->matches()) names.push_back(match->fileName);
    EXPECT_NE(std::ranges::find(names, "beach.jpg"), names.end());
    EXPECT_NE(std::ranges::find(names, " hoto.jpg"), names.end());  // deleted: its first letter is lost
    lock.unlock();

    // A new search stops the one before it: each has its own flag.
    const auto next = std::make_shared<std::atomic<bool>>(true);
    module.startSearch_andFlag("beach", next);
    EXPECT_FALSE(*flag);
    EXPECT_TRUE(*next);
}

}  // namespace
}  // namespace norix
