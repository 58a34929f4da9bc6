// Where found files and folders land in the result tree: the quick-scan categories,
// lost partitions, "Lost and Found" groups and raw-image previews.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <shared_mutex>
#include <thread>

#include "results/TreeClassMethod.h"
#include "scan/RecoveryModule.h"
#include "tests/scan/ScanHelpers.h"

namespace norix {
namespace {

namespace fs = std::filesystem;
using test::childNames;
using test::childNamed;

std::unique_ptr<BaseTree> fileNode(const std::string& name, uint64_t size, uint32_t sector = 100,
                                   uint32_t fileID = 0) {
    auto node = TreeClassMethod::createNDIR();
    node->setName(name);
    node->setFileTypes(2);
    node->setfileSize(size);
    node->setblockSize(512);
    node->setfileID(fileID);
    TreeClassMethod::addDataExtStartBlock_blockCount_toDir(sector, static_cast<uint32_t>((size + 511) / 512),
                                                           node.get());
    return node;
}

std::unique_ptr<BaseTree> folderNode(const std::string& name, uint32_t fileID = 0) {
    auto node = TreeClassMethod::createNDIRWithName(name);
    node->setfileID(fileID);
    return node;
}

class NodePlacement : public ::testing::Test {
protected:
    void SetUp() override {
        image = dir / "card.img";
        std::ofstream(image, std::ios::binary).put(0);
        fs::resize_file(image, 1 << 20);
        module.setDiskPathWithString_withRootName(image.string(), "Card");
        module.errorPath = (home.dataFolder() / "Core.txt").string();
        module.blockSize = 512;
        module.setDel(&delegate);
        TreeClassMethod::addQuickNodesInDir(root());
        TreeClassMethod::addDeepNodesInDIR(root());
        module.initializeValue();
    }
    BaseTree* root() { return module.dirRoot(); }
    BaseTree* quick() { return root()->getChildAtIndex(0); }
    BaseTree* existing() { return quick()->getChildAtIndex(0); }
    BaseTree* deletedFiles() { return quick()->getChildAtIndex(1); }
    BaseTree* deep() { return module.deepNode(); }
    BaseTree* lostAndFound() { return deep()->getChildAtIndex(0); }

    bool carve(const std::string& extension, std::unique_ptr<BaseTree> node) {
        module.activeExtension = extension;
        return module.addFileDir_toDir_onParentID_withScanType_andFileSytem(std::move(node), deep(), 0, "D", "LF");
    }
    // A file or folder found by the quick scan ("Q", placed by its file system) or the deep scan ("D").
    bool file(std::unique_ptr<BaseTree> node, const std::string& scan, uint32_t parentID, const std::string& fs) {
        return module.addFileDir_toDir_onParentID_withScanType_andFileSytem(
            std::move(node), scan == "D" ? deep() : nullptr, parentID, scan, fs);
    }
    bool folder(std::unique_ptr<BaseTree> node, const std::string& scan, uint32_t parentID, const std::string& fs) {
        return module.addFolderDir_toParentDir_withParentID_withscanType_andFileSystem(
            std::move(node), scan == "D" ? deep() : nullptr, parentID, scan, fs);
    }

    test::TempHome home;
    test::TempDir dir;
    fs::path image;
    RecoveryModule module;
    test::RecordingDelegate delegate{module};
};

// --- carved files ---

// A reader thread walks the tree under the shared lock all along; the ThreadSanitizer
// build runs this too.
TEST_F(NodePlacement, CarvedFilesFillNumberedGroupsOfAThousandWhileAnotherThreadReads) {
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done) {
            std::shared_lock lock(module.treeLock());
            uint64_t bytes = 0;
            for (const BaseTree* node : test::preOrder(*root()))
                bytes += node->fileSize + node->fileCount + node->childrenCount + node->fileName.size();
            EXPECT_GT(bytes, 0u);
        }
    });
    for (int i = 1; i <= 1001; ++i) {
        ASSERT_TRUE(carve("jpg", fileNode("", 1000)));
        if (i == 500) {
            ASSERT_TRUE(carve("png", fileNode("", 7)));
        }
    }
    done = true;
    reader.join();

    ASSERT_EQ(childNames(lostAndFound()), (std::vector<std::string>{"jpg", "png"}));
    const BaseTree* jpg = childNamed(lostAndFound(), "jpg");
    ASSERT_EQ(childNames(jpg), (std::vector<std::string>{"jpg [1 - 1000]", "jpg [1001 - 2000]"}));
    const BaseTree* first = jpg->getChildAtIndex(0);
    ASSERT_EQ(first->childCount(), 1000u);
    EXPECT_EQ(first->getChildAtIndex(0)->fileName, "File 1.jpg");
    EXPECT_EQ(first->getChildAtIndex(999)->fileName, "File 1000.jpg");
    EXPECT_EQ(childNames(jpg->getChildAtIndex(1)), (std::vector<std::string>{"File 1001.jpg"}));
    EXPECT_EQ(childNames(childNamed(lostAndFound(), "png")->getChildAtIndex(0)), (std::vector<std::string>{"File 1.png"}));

    // Counts and sizes reach every ancestor; the folders made here count as nodes.
    EXPECT_EQ(first->fileCount, 1000u);
    EXPECT_EQ(jpg->folderCount, 2u);
    EXPECT_EQ(lostAndFound()->fileCount, 1002u);
    EXPECT_EQ(lostAndFound()->childrenCount, 1002u + 5u);
    EXPECT_EQ(lostAndFound()->fileSize, 1001u * 1000u + 7u);
    EXPECT_EQ(root()->fileSize, 1001u * 1000u + 7u);
    EXPECT_EQ(first->getChildAtIndex(0)->pathName, "Card/Deep Scan/Lost and Found/jpg/jpg [1 - 1000]");
}

// Raw files at sector 100 with their previews: a 20000-byte file ends at byte 71200
// (sector 139 and 32 bytes), so its preview is cut there, and none is listed past it or
// where the offset overflows; 5 GiB + 100 bytes into a bigger file does not fit the
// extent, so its whole sectors move into the start sector.
TEST_F(NodePlacement, RawPreviewsStayInsideTheirRawFile) {
    struct Case {
        uint64_t fileSize, sector, offset, size;
        std::vector<uint64_t> preview;  // start sector, offset, size, sectors; none when empty
    };
    const Case cases[] = {{20000, 138, 0, 5000, {138, 0, 544, 2}},
                          {20000, 139, 600, 1000, {}},
                          {20000, 110, UINT64_MAX - 10, 1000, {}},
                          {6ull << 30, 100, (5ull << 30) + 100, 1000, {100 + (5ull << 30) / 512, 100, 1000, 3}}};
    uint64_t bytes = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offset);
        module.jpgPresent = 1;
        module.jpgStartSector = c.sector;
        module.extraByteOffsetForJPG = c.offset;
        module.jpgRawSize = c.size;
        ASSERT_TRUE(carve("nef", fileNode("", c.fileSize, 100)));
        bytes += c.fileSize + (c.preview.empty() ? 0 : c.preview[2]);
        const BaseTree* last = childNamed(lostAndFound(), "nef")->getChildAtIndex(0)->childrenArray.back().get();
        if (c.preview.empty()) {
            EXPECT_EQ(last->getExtension(), "nef");
            continue;
        }
        EXPECT_EQ(last->getExtension(), "jpg");
        EXPECT_EQ(last->entry, 6);
        EXPECT_EQ(last->fileType, 2);
        EXPECT_EQ(last->blockSize, 512u);
        EXPECT_EQ(last->blocksStartsAtSector, c.preview[0]);
        EXPECT_EQ(last->fileSize, c.preview[2]);
        EXPECT_EQ(last->dataExtArray, (std::vector<DataExt>{{uint32_t(c.preview[1]), uint32_t(c.preview[3])}}));
    }
    EXPECT_EQ(childNamed(lostAndFound(), "nef")->getChildAtIndex(0)->fileCount, 6u);
    EXPECT_EQ(childNamed(lostAndFound(), "nef")->getChildAtIndex(0)->fileSize, bytes);
}

// --- names ---

TEST_F(NodePlacement, RefusedNamesAndUnreadableFilesAreNotPlacedButAnyOtherNameIs) {
    EXPECT_FALSE(file(fileNode("._photo.jpg", 10), "Q", 0, "Fat"));
    EXPECT_FALSE(file(fileNode("", 10), "Q", 0, "Fat"));
    auto noExtent = fileNode("a.txt", 10);
    noExtent->dataExtArray.clear();
    EXPECT_FALSE(file(std::move(noExtent), "Q", 0, "Fat"));
    // An empty file has nothing to read back and is listed all the same.
    auto empty = fileNode("empty.txt", 0);
    empty->dataExtArray.clear();
    EXPECT_TRUE(file(std::move(empty), "Q", 0, "Fat"));
    EXPECT_FALSE(folder(folderNode("Store"), "Q", 0, "Fat"));
    EXPECT_EQ(childNames(existing()), (std::vector<std::string>{"empty.txt"}));

    EXPECT_TRUE(folder(folderNode(".Trashes"), "Q", 0, "Fat"));
    // Names that are no UTF-8, or very long, are placed all the same.
    const std::string invalidUtf8 = "\xff\xfe\xc3(\xed\xa0\x80.jpg";
    const std::string veryLong(70000, 'n');
    EXPECT_TRUE(file(fileNode(invalidUtf8, 10), "Q", 0, "Fat"));
    EXPECT_TRUE(file(fileNode(veryLong, 10), "Q", 0, "Fat"));
    EXPECT_TRUE(folder(folderNode(invalidUtf8, 5), "Q", 2, "HFS"));
    EXPECT_TRUE(file(fileNode(veryLong, 10, 100, 9), "D", 5, "HFS"));
    EXPECT_EQ(childNames(existing()),
              (std::vector<std::string>{"empty.txt", "Trashes", invalidUtf8, veryLong, invalidUtf8}));
}

TEST_F(NodePlacement, FatEntriesJoinTheFolderOwningTheirDirectorySector) {
    module.fatEntryCount = 1;
    auto dcim = folderNode("DCIM", 3);
    dcim->setstartRange(1000);
    dcim->setendRange(1007);
    ASSERT_TRUE(folder(std::move(dcim), "D", 0, "Fat"));
    EXPECT_EQ(delegate.calls(), std::vector<std::string>{"reloadOutlineData"});
    EXPECT_FALSE(delegate.lockedDuringReload);

    BaseTree* partition = childNamed(deep(), "Lost Partition: Fat");
    ASSERT_NE(partition, nullptr);
    ASSERT_EQ(childNames(partition), (std::vector<std::string>{"Lost", "DCIM"}));

    auto inDcim = fileNode("IMG_1.JPG", 40);
    inDcim->setpresentSect(1003);
    auto unknown = fileNode("LOST.TXT", 2);
    unknown->setpresentSect(5000);
    auto rootEntry = fileNode("ROOT.TXT", 1, 100, 2);
    rootEntry->setpresentSect(5000);
    EXPECT_TRUE(file(std::move(inDcim), "D", 0, "Fat"));
    EXPECT_TRUE(file(std::move(unknown), "D", 0, "Fat"));
    EXPECT_TRUE(file(std::move(rootEntry), "D", 0, "Fat"));

    EXPECT_EQ(childNames(childNamed(partition, "DCIM")), (std::vector<std::string>{"IMG_1.JPG"}));
    EXPECT_EQ(childNames(childNamed(partition, "Lost")), (std::vector<std::string>{"LOST.TXT"}));
    EXPECT_EQ(childNames(partition), (std::vector<std::string>{"Lost", "DCIM", "ROOT.TXT"}));
    EXPECT_EQ(partition->fileSize, 43u);
    EXPECT_EQ(deep()->fileSize, 43u);
    EXPECT_EQ(delegate.calls().size(), 1u) << "only a new partition folder is announced";
}

}  // namespace
}  // namespace norix
