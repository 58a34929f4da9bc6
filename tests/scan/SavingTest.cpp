// Saving checked nodes: folder structure, byte-exact extents, collisions, hostile
// names, raw JPEG fragments, read failures and cancelling.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

#include "results/TreeClassMethod.h"
#include "scan/RecoveryModule.h"
#include "tests/support/TestSupport.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

// A device image whose every byte is known: byte i holds (i * 7 + i / 512) & 0xFF.
std::vector<uint8_t> devicePattern(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 512);
    return bytes;
}

std::vector<uint8_t> slice(const std::vector<uint8_t>& bytes, size_t offset, size_t length) {
    return {bytes.begin() + static_cast<std::ptrdiff_t>(offset),
            bytes.begin() + static_cast<std::ptrdiff_t>(offset + length)};
}

class Saving : public ::testing::Test {
protected:
    void SetUp() override {
        device = devicePattern(64 * 1024);
        test::writeFile(dir / "device.img", device);
        module.setDiskPathWithString_withRootName((dir / "device.img").string(), "Card");
        TreeClassMethod::addQuickNodesInDir(module.dirRoot());
    }

    BaseTree* existing() { return module.dirRoot()->getChildAtIndex(0)->getChildAtIndex(0); }

    BaseTree* addFolder(BaseTree* parent, const std::string& name) {
        BaseTree* folder = parent->addChild(TreeClassMethod::createNDIRWithName(name));
        TreeClassMethod::addParent_toNDIR(parent, folder);
        return folder;
    }

    BaseTree* addFile(BaseTree* parent, const std::string& name, uint64_t size, std::vector<DataExt> extents,
                      uint64_t base = 0, uint32_t unit = 512) {
        auto node = TreeClassMethod::createNDIR();
        node->setName(name);
        node->setFileTypes(2);
        node->setfileSize(size);
        node->setblockSize(unit);
        node->setblockSstartsAtSector(base);
        for (const auto& ext : extents) node->addDataExt(ext);
        BaseTree* file = parent->addChild(std::move(node));
        TreeClassMethod::addParent_toNDIR(parent, file);
        return file;
    }

    void check(BaseTree* node) {
        int64_t files = 0, bytes = 0;
        node->checked_withFileCount_andfileSize(true, files, bytes);
        node->setSelectedForParent();
    }

    void save(CollisionHandler onCollision = {}) {
        report = module.startSavingWithSavingPath_withSavingFileCount_andSavingSize_boolForStop(
            (dir / "out").string(), savedFile, savedSize, stop, std::move(onCollision));
    }

    fs::path saved(const std::string& relative) { return dir / "out" / "Card" / "Quick Scan" / "Existing Files" / relative; }

    test::TempHome home;
    test::TempDir dir;
    std::vector<uint8_t> device;
    RecoveryModule module;
    std::atomic<int64_t> savedFile{0}, savedSize{0};
    std::atomic<bool> stop{false};
    SaveReport report;
};

TEST_F(Saving, CheckedFilesRecreateTheirFoldersJoinTheirExtentsInOrderAndNeverLeaveTheDestination) {
    BaseTree* deep = addFolder(addFolder(existing(), "DCIM"), "100CANON");
    check(addFile(deep, "IMG_1.JPG", 1000, {{4, 2}}));
    addFile(deep, "IMG_2.JPG", 500, {{8, 1}});  // not checked
    // Three runs, out of device order, and an extent past the end of the device.
    BaseTree* file = addFile(existing(), "frag.bin", 3 * 512 + 4 * 512 + 300, {{20, 3}, {2, 4}, {100, 1}}, 10);
    check(file);
    check(addFile(existing(), "tail.bin", 1024, {{127, 2}}));
    // Names from the disk never leave the destination.
    BaseTree* sneaky = addFolder(existing(), "..");
    check(addFile(sneaky, "../../../escaped.txt", 10, {{1, 1}}));
    check(addFile(existing(), std::string("nul\0name", 8), 10, {{1, 1}}));
    check(addFile(existing(), "", 10, {{1, 1}}));
    check(addFile(existing(), std::string(300, 'x') + ".txt", 10, {{1, 1}}));
    save();

    EXPECT_EQ(test::readFile(saved("DCIM/100CANON/IMG_1.JPG")), slice(device, 4 * 512, 1000));
    EXPECT_FALSE(fs::exists(saved("DCIM/100CANON/IMG_2.JPG")));
    EXPECT_FALSE(fs::exists(dir / "out" / "Card" / "Quick Scan" / "Deleted Files"));
    std::vector<uint8_t> expected = slice(device, 30 * 512, 3 * 512);
    const auto second = slice(device, 12 * 512, 4 * 512);
    expected.insert(expected.end(), second.begin(), second.end());
    const auto third = slice(device, 110 * 512, 300);
    expected.insert(expected.end(), third.begin(), third.end());
    EXPECT_EQ(test::readFile(saved("frag.bin")), expected);
    EXPECT_EQ(file->getDataForFileWithBSD((dir / "device.img").string()), expected);  // as a preview reads it
    // The device ends inside the file: what lies beyond reads as zeros, not stale data.
    std::vector<uint8_t> tail = slice(device, 127 * 512, 512);
    tail.resize(1024, 0);
    EXPECT_EQ(test::readFile(saved("tail.bin")), tail);
    EXPECT_EQ(savedFile, 7);
    EXPECT_EQ(savedSize, 1000 + 3 * 512 + 4 * 512 + 300 + 1024 + 40);
    EXPECT_FALSE(fs::exists(dir / "escaped.txt"));
    EXPECT_FALSE(fs::exists(dir / "out" / "escaped.txt"));
    EXPECT_TRUE(fs::exists(saved("_../.._.._.._escaped.txt")));
    EXPECT_TRUE(fs::exists(saved("nul_name")));
    EXPECT_TRUE(fs::exists(saved("_")));
    for (const auto& entry : fs::recursive_directory_iterator(dir / "out"))
        EXPECT_LE(entry.path().filename().string().size(), 255u);
}

TEST_F(Saving, CollisionsRenameOrSkipAsAnswered) {
    fs::create_directories(saved(""));
    test::writeFile(saved("a.jpg"), {1});
    test::writeFile(saved("a (1).jpg"), {2});
    check(addFile(existing(), "a.jpg", 100, {{1, 1}}));
    std::vector<std::string> asked;
    save([&](const std::string& name) {
        asked.push_back(name);
        return CollisionAnswer{CollisionAnswer::RenameAll, {}};
    });
    EXPECT_EQ(asked, std::vector<std::string>{"a.jpg"});
    EXPECT_EQ(test::readFile(saved("a (2).jpg")), slice(device, 512, 100));
    EXPECT_EQ(test::readFile(saved("a.jpg")), std::vector<uint8_t>{1});
    // The new name stays in the tree.
    EXPECT_EQ(existing()->getChildAtIndex(0)->fileName, "a (2).jpg");

    savedFile = 0;
    save([](const std::string&) { return CollisionAnswer{CollisionAnswer::SkipAll, {}}; });
    EXPECT_EQ(savedFile, 0);
    EXPECT_EQ(report.skipped, 1);

    // A plain rename is tested again before it is used.
    savedFile = 0;
    std::vector<std::string> offered;
    save([&](const std::string& name) {
        offered.push_back(name);
        return CollisionAnswer{CollisionAnswer::Rename, offered.size() == 1 ? "a.jpg" : "b.jpg"};
    });
    EXPECT_EQ(offered, (std::vector<std::string>{"a (2).jpg", "a.jpg"}));
    EXPECT_TRUE(fs::exists(saved("b.jpg")));
}

TEST_F(Saving, RenamedNamesKeepTheSuffixWithinTheNameLimit) {
    std::string accents;  // 250 bytes of two-byte letters
    for (int i = 0; i < 125; ++i) accents += "\u00e9";
    const std::vector<std::string> names{accents + ".jpg", std::string(255, 'x'), "README"};
    fs::create_directories(saved(""));
    for (const auto& name : names) {
        test::writeFile(saved(name), {1});
        check(addFile(existing(), name, 10, {{1, 1}}));
    }
    save();
    EXPECT_EQ(savedFile, 3);
    // The name is cut on a letter's boundary to make room for " (1)" and the extension.
    EXPECT_TRUE(fs::exists(saved(accents.substr(0, 246) + " (1).jpg")));
    EXPECT_TRUE(fs::exists(saved(std::string(251, 'x') + " (1)")));
    EXPECT_TRUE(fs::exists(saved("README (1)")));
}

TEST_F(Saving, LinksPlantedInTheDestinationRedirectNothing) {
    const fs::path elsewhere = dir / "elsewhere";
    fs::create_directories(elsewhere);
    fs::create_directories(dir / "out");
    check(addFile(existing(), "a.bin", 100, {{1, 1}}));
    // A link where the source's folder goes, then one where a folder of the tree goes.
    fs::create_directory_symlink(elsewhere, dir / "out" / "Card");
    save();
    fs::remove(dir / "out" / "Card");
    fs::create_directories(dir / "out" / "Card");
    fs::create_directory_symlink(elsewhere, dir / "out" / "Card" / "Quick Scan");
    save();
    EXPECT_TRUE(fs::is_empty(elsewhere));
    EXPECT_EQ(savedFile, 0);
}

TEST_F(Saving, AFileCutShortIsRemovedAndNamed) {
    check(addFile(existing(), "big.bin", 8192, {{1, 16}}));
    check(addFile(existing(), "small.bin", 100, {{1, 1}}));
    BaseTree* last = addFile(existing(), "last.bin", 100, {{2, 1}});
    // A write fails half way (past the largest file this process may write): that file
    // goes, the next one is saved.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const rlimit low{4096, old.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &low), 0);
    save();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, SIG_DFL);
    EXPECT_FALSE(fs::exists(saved("big.bin")));
    EXPECT_EQ(report.cutShort, std::vector<std::string>{saved("big.bin").string()});
    EXPECT_EQ(test::readFile(saved("small.bin")), slice(device, 512, 100));
    EXPECT_EQ(savedFile, 1);
    EXPECT_EQ(savedSize, 100);

    // Stopped once a file is begun (here while its name is settled): it goes too, and
    // nothing after it is saved.
    check(last);
    savedFile = 0;
    save([&](const std::string&) {
        stop = true;
        return CollisionAnswer{CollisionAnswer::RenameAll, {}};
    });
    EXPECT_EQ(test::readFile(saved("big.bin")), slice(device, 512, 8192));
    EXPECT_FALSE(fs::exists(saved("small (1).bin")));
    EXPECT_FALSE(fs::exists(saved("last.bin")));
    EXPECT_EQ(report.cutShort, std::vector<std::string>{saved("small (1).bin").string()});
    EXPECT_EQ(savedFile, 1);
}

TEST_F(Saving, RawJpegFragmentIsCutFromItsUnitsAndAnUnreadableDeviceSavesNothing) {
    BaseTree* jpg = addFile(existing(), "File 1.jpg", 1000, {{200, 3}}, 5);
    jpg->setentry(6);
    BaseTree* lying = addFile(existing(), "File 2.jpg", 1400, {{200, 3}}, 5);  // 200 + 1400 > 3 * 512
    lying->setentry(6);
    check(jpg);
    check(lying);
    save();

    EXPECT_EQ(test::readFile(saved("File 1.jpg")), slice(device, 5 * 512 + 200, 1000));
    EXPECT_EQ(savedFile, 1);
    EXPECT_EQ(savedSize, 1000);
    EXPECT_FALSE(lying->getDataForRawJPGWithBSD((dir / "device.img").string()));

    // A device that cannot be read leaves its files uncounted.
    module.setDiskPathWithString((dir / "missing.img").string());
    savedFile = 0;
    savedSize = 0;
    save();
    EXPECT_EQ(savedFile, 0);
    EXPECT_EQ(savedSize, 0);
}

}  // namespace
}  // namespace norix
