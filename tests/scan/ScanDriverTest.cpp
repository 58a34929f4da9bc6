// The scan driver: order of steps, fixed branches, the APFS redirect, the file types
// carved, stop and pause.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <thread>

#include "scan/RecoveryModule.h"
#include "signatures/SigCatalogue.h"
#include "tests/scan/ScanHelpers.h"

namespace norix {
namespace {

namespace fs = std::filesystem;
using test::TempHome;
using test::childNames;

// A sparse image file of the given size.
fs::path makeImage(const fs::path& path, uintmax_t size) {
    std::ofstream{path};
    fs::resize_file(path, size);
    return path;
}


class ScanDriver : public ::testing::Test {
protected:
    void scan(const std::shared_ptr<Disk>& disk, const std::string& type,
              std::optional<std::string> selected = std::nullopt) {
        module.setDel(&delegate);
        module.setDiskPathWithString_withRootName(disk->getBSDPath().value(), "Card");
        module.recoverFromDisk_withScantType_andName_selectedPath(disk, type, "Card", selected);
    }
    BaseTree* root() { return module.dirRoot(); }

    TempHome home;
    RecoveryModule module;
    test::RecordingDelegate delegate{module};
};

// Stop and pause flags left over from an earlier run are cleared first.
TEST_F(ScanDriver, QuickScanBuildsBothBranchesAndReportsInOrder) {
    module.setStop(true);
    module.setPause(true);
    scan(test::imageDisk(test::sampleImage(), 512, "msdos"), "Q");
    EXPECT_FALSE(module.isStopped());

    ASSERT_EQ(childNames(root()), (std::vector<std::string>{"Quick Scan", "Deep Scan"}));
    EXPECT_EQ(root()->entry, 1);
    EXPECT_TRUE(module.quickScanCompleted());
    EXPECT_EQ(root()->getChildAtIndex(0)->scanCompleted, 2);
    EXPECT_EQ(root()->getChildAtIndex(1)->scanCompleted, 2);
    // The sweep meets the volume's own boot sector too, but lists nothing the quick scan listed.
    EXPECT_EQ(childNames(root()->getChildAtIndex(1)), (std::vector<std::string>{"Lost and Found", "Tags"}));
    const auto calls = delegate.calls();
    ASSERT_GE(calls.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 3),
              (std::vector<std::string>{"reloadOutlineData", "quickCompleted", "reloadOutlineData"}));
    EXPECT_EQ(std::vector<std::string>(calls.end() - 2, calls.end()),
              (std::vector<std::string>{"openLoadingWindow", "reloadOutlineData"}));
    // Five tag categories exist even when nothing was tagged.
    EXPECT_EQ(module.Tags.size(), 5u);
    EXPECT_TRUE(module.Tags.count("Camera"));
    EXPECT_FALSE(delegate.lockedDuringReload);
}

TEST_F(ScanDriver, StopDuringQuickScanStillArrangesTheTree) {
    // The first reload comes just before the quick scan starts.
    delegate.onReload = [this] { module.setStop(true); };
    scan(test::imageDisk(test::sampleImage(), 512, "msdos"), "Q");

    const auto calls = delegate.calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "quickCompleted"), 0);
    EXPECT_EQ(calls.back(), "reloadOutlineData");
    EXPECT_EQ(calls[calls.size() - 2], "openLoadingWindow");
    EXPECT_EQ(module.deepNode()->scanCompleted, 3);
}

TEST_F(ScanDriver, ApfsVolumeIsReadThroughItsContainer) {
    test::TempDir dir;
    auto container = test::imageDisk(makeImage(dir / "container.img", 4 << 20), 512, "apfs");
    auto volume = test::imageDisk(makeImage(dir / "volume.img", 1 << 20), 512, "apfs", kApfsVolumeContent);
    volume->setParentDisk(container);

    scan(volume, "Q");

    const std::string containerPath = (dir / "container.img").string();
    const auto calls = delegate.calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "setBSDPath " + containerPath), calls.end());
    EXPECT_EQ(module.diskPath(), containerPath);
    EXPECT_EQ(module.theDisk(), container);
    // Sizes stay those of the volume.
    EXPECT_EQ(module.totalSector(), (1u << 20) / 512);
}

TEST_F(ScanDriver, UnreadableDeviceLeavesQuickBranchRunningAndFinishes) {
    test::TempDir dir;
    auto disk = test::imageDisk(makeImage(dir / "gone.img", 1 << 20), 512, "msdos");
    fs::remove(dir / "gone.img");
    scan(disk, "Q");
    EXPECT_EQ(root()->getChildAtIndex(0)->scanCompleted, 1);
    EXPECT_EQ(module.deepNode()->scanCompleted, 2);
}

// The quick scan limited to one folder keeps that folder alone, linked to its new parent.
TEST_F(ScanDriver, SelectedFolderCutsTheTreeDownToIt) {
    scan(test::imageDisk(test::sampleImage(), 512, "msdos"), "Q", "100norix");
    std::shared_lock lock(module.treeLock());
    const BaseTree* existing = root()->getChildAtIndex(0)->getChildAtIndex(0);
    ASSERT_EQ(childNames(existing), (std::vector<std::string>{"100NORIX"}));
    const BaseTree* folder = existing->getChildAtIndex(0);
    EXPECT_EQ(folder->getParent(), existing);
    EXPECT_EQ(folder->getChildAtIndex(0)->pathName, "Card/Quick Scan/Existing Files/100NORIX");
    EXPECT_GT(folder->fileCount, 1u);
    EXPECT_EQ(existing->fileCount, folder->fileCount);
    EXPECT_EQ(root()->fileCount, folder->fileCount);
}

// The checkers a run limited to "jpg,docx" hands the engine: a picture and an archive
// of the types left out are not carved, nor is a ZIP file taken for the package. The
// deep-only scan leaves the quick branch alone and sweeps 8 MiB and 5 KiB to the end:
// one full chunk, then a chunk of one whole and one partial block.
TEST_F(ScanDriver, OnlyTheChosenTypesAreCarved) {
    test::TempDir dir;
    std::vector<uint8_t> bytes((8 << 20) + 5 * 1024, ' ');
    size_t unit = 8;
    for (const char* sample : {"tags/exif-le.jpg", "signatures/picture.png", "tags/memo.docx", "signatures/archive.zip",
                               "tags/memo.doc"}) {
        const auto file = test::readFile(fs::path(NORIX_SOURCE_DIR) / "tests" / "fixtures" / sample);
        std::copy(file.begin(), file.end(), bytes.begin() + static_cast<std::ptrdiff_t>(unit * 512));
        unit += file.size() / 512 + 40;
    }
    test::writeFile(dir / "disk.img", bytes);
    SigCatalogue catalogue;
    ASSERT_FALSE(catalogue.loadSig());
    catalogue.clearClicked();
    for (const char* extension : {"jpg", "docx"})
        for (SigNode* type : catalogue.fileTypesWithExtension(extension)) catalogue.setTicked(type, true);
    module.setFileCheckArray(catalogue.makeSelectedSigArray());
    scan(test::imageDisk(dir / "disk.img"), "D");
    EXPECT_EQ(childNames(module.deepNode()->getChildAtIndex(0)), (std::vector<std::string>{"jpg", "docx"}));
    EXPECT_EQ(childNames(root()), (std::vector<std::string>{"Deep Scan"}));
    EXPECT_FALSE(module.quickScanCompleted());
    for (const auto& call : delegate.calls()) EXPECT_NE(call, "quickCompleted");
    EXPECT_EQ(module.deepNode()->scanCompleted, 2);
    EXPECT_EQ(module.currentSectorNumber(), 2049u * 8);
}

// Another thread reads the tree and drives pause and stop while the scan runs; the
// ThreadSanitizer build runs this too.
TEST_F(ScanDriver, ConcurrencyPauseAndStopFromAnotherThread) {
    test::TempDir dir;
    auto disk = test::imageDisk(makeImage(dir / "big.img", 2ll << 30));
    std::atomic<bool> sweepAboutToStart{false};
    // The reload just before the deep scan pauses it from the scan thread itself, so
    // the pause is in force before the first chunk.
    delegate.onReload = [&] {
        if (sweepAboutToStart.exchange(true)) return;
        module.setPause(true);
    };
    module.setDel(&delegate);
    module.setDiskPathWithString_withRootName(disk->getBSDPath().value(), "Big");

    std::atomic<bool> done{false};
    std::thread worker([&] {
        module.recoverFromDisk_withScantType_andName_selectedPath(disk, "D", "Big", std::nullopt);
        done = true;
    });
    auto countNodes = [&] {
        std::shared_lock lock(module.treeLock());
        return test::preOrder(*module.dirRoot()).size();
    };

    while (!sweepAboutToStart) countNodes();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(module.currentSectorNumber(), 0u) << "the sweep ran while paused";
    EXPECT_FALSE(done);
    EXPECT_EQ(countNodes(), 9u);  // root, "Deep Scan", "Lost and Found", "Tags" and its five categories

    module.setPause(false);
    while (module.currentSectorNumber() == 0 && !done) countNodes();
    module.setStop(true);
    worker.join();

    EXPECT_LT(module.currentSectorNumber(), module.totalSector() - 8);
    std::shared_lock lock(module.treeLock());
    EXPECT_EQ(module.deepNode()->scanCompleted, 3);
}

}  // namespace
}  // namespace norix
