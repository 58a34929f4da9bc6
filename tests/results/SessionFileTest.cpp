// The recovery-session file: its bytes, what a load rebuilds, damaged and foreign
// files, the automatic file name and folder, and finding the scanned drive again.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "results/RecoverySession.h"
#include "results/TreeClassMethod.h"
#include "tests/support/TestSupport.h"

namespace norix {
namespace {

namespace fs = std::filesystem;
using T = TreeClassMethod;

BaseTree* link(BaseTree* parent, std::unique_ptr<BaseTree> node) {
    BaseTree* child = parent->addChild(std::move(node));
    T::addParent_toNDIR(parent, child);
    if (child->pathName.empty()) child->setPath(parent->fileName);
    T::addChildCountInDIR(child);
    return child;
}

BaseTree* addFile(BaseTree* parent, const std::string& name, uint8_t deleted = 0) {
    auto node = T::createNDIR();
    node->setName(name);
    node->setFileTypes(2);
    node->setfileSize(1000);
    BaseTree* file = link(parent, std::move(node));
    file->setdelete(deleted);
    return file;
}

BaseTree* addFolder(BaseTree* parent, const std::string& name) { return link(parent, T::createNDIRWithName(name)); }

using test::preOrder;

// The tree every test starts from: the fixed branches of a quick and deep scan.
std::unique_ptr<BaseTree> scannedShape() {
    auto root = T::createRootWithName("Card");
    root->setentry(1);
    T::addQuickNodesInDir(root.get());
    T::addDeepNodesInDIR(root.get());
    return root;
}

class SessionFile : public ::testing::Test {
protected:
    std::vector<uint8_t> write(const BaseTree& root, SessionHeader header = {1, 0, 0}) {
        const fs::path path = dir / "session.nxdrs";
        const auto error = RecoverySession::saveRecoverySessionAtPath(path, header, "/dev/sdb1", root, lock);
        EXPECT_FALSE(error) << *error;
        return test::readFile(path);
    }
    static LoadedSession load(const std::vector<uint8_t>& bytes) {
        return RecoverySession::loadRecoverySessionFromData(ByteView(bytes.data(), bytes.size()));
    }

    test::TempHome home;
    test::TempDir dir;
    std::shared_mutex lock;
};

TEST_F(SessionFile, RecordsFollowTheLayoutByteForByte) {
    auto root = T::createRootWithName("Disk");
    BaseTree* file = addFile(root.get(), "a.jpg");
    file->setfileSize(0x0102030405060708);
    file->setblockSstartsAtSector(0x1122334455667788);
    file->setmodifiedDate(0xA1B2C3D4);
    for (uint32_t i = 1; i <= 3; ++i) T::addDataExtStartBlock_blockCount_toDir(0x10000000 * i, i, file);

    const auto bytes = write(*root, {1, 1, 0});
    ASSERT_GE(bytes.size(), 23u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 7), (std::vector<uint8_t>{1, 1, 0, 0, 9, 0, '/'}));
    const ByteView view(bytes.data(), bytes.size());
    const size_t rootAt = 5 + 18;
    EXPECT_EQ(view.u16be(rootAt + 2), 4u);  // N: "Disk"
    EXPECT_EQ(view.u16be(rootAt + 4), 0u);  // P: the root's path is empty
    EXPECT_EQ(view.u16be(rootAt + 6), 1u);
    EXPECT_EQ(view.u32be(rootAt + 20), 1u);  // parentID
    EXPECT_EQ(view.u32be(rootAt + 24), 2u);  // fileID
    EXPECT_EQ(view.u32be(rootAt + 40), 1u);  // C
    EXPECT_EQ(utf16ToUtf8(view.sub(rootAt + 72, 8), Endian::Big), "Disk");

    const size_t fileAt = rootAt + 72 + 8;
    EXPECT_EQ(view.u16be(fileAt + 2), 5u);
    EXPECT_EQ(view.u16be(fileAt + 4), 4u);
    EXPECT_EQ(view.u16be(fileAt + 6), 2u);
    EXPECT_EQ(view.u32be(fileAt + 16), 0xA1B2C3D4u);
    EXPECT_EQ(view.u32be(fileAt + 52), 3u);  // E
    EXPECT_EQ(view.u64be(fileAt + 56), 0x0102030405060708u);
    EXPECT_EQ(view.u64be(fileAt + 64), 0x1122334455667788u);
    // Name and path, then 24 bytes of extents, and nothing after them.
    const size_t extentsAt = fileAt + 72 + 10 + 8;
    ASSERT_EQ(bytes.size(), extentsAt + 24);
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(view.u32be(extentsAt + 8 * i), 0x10000000 * (i + 1));
        EXPECT_EQ(view.u32be(extentsAt + 8 * i + 4), i + 1);
    }
}

TEST_F(SessionFile, LoadedNodesTakeTheirFoldersDeletedMarkButKeepTheirOwn) {
    auto root = scannedShape();
    BaseTree* quick = root->getChildAtIndex(0);
    BaseTree* inDeleted = addFile(quick->getChildAtIndex(1), "gone.txt");
    BaseTree* folder = addFolder(quick->getChildAtIndex(0), "Docs");
    BaseTree* existing = addFile(folder, "kept.txt");
    BaseTree* deletedInside = addFile(folder, "erased.txt", 1);
    inDeleted->setdelete(0);     // the record says 0
    existing->setparentID(0);    // takes its folder's id on load
    folder->setfileID(77);

    // Writes are repeatable, and a shorter tree replaces a longer file whole.
    const auto shape = write(*scannedShape());
    const auto bytes = write(*root);
    EXPECT_EQ(write(*root), bytes);
    EXPECT_EQ(write(*scannedShape()), shape);

    const LoadedSession session = load(bytes);
    ASSERT_FALSE(session.error);
    const BaseTree* loadedQuick = session.dirRoot->getChildAtIndex(0);
    const BaseTree* loadedFolder = loadedQuick->getChildAtIndex(0)->getChildAtIndex(0);
    EXPECT_EQ(loadedQuick->getChildAtIndex(1)->getChildAtIndex(0)->deleted, 1);
    EXPECT_EQ(loadedFolder->getChildAtIndex(0)->deleted, 0);
    EXPECT_EQ(loadedFolder->getChildAtIndex(0)->parentID, 77u);
    EXPECT_EQ(loadedFolder->getChildAtIndex(1)->deleted, 1);
    EXPECT_EQ(loadedFolder->getChildAtIndex(1)->pathName, deletedInside->pathName);
    // Nothing is checked in a loaded tree.
    for (const BaseTree* node : preOrder(*session.dirRoot)) EXPECT_EQ(node->selected + node->checked, 0);
}

// Names are stored whole up to what a length can count (65535 UTF-16 units), and a cut
// never falls between the two halves of a pair; paths a load would copy without end are
// refused.
TEST_F(SessionFile, NamesAreStoredWholeUpToWhatALengthCanCountAndLongPathsCannotExhaustMemory) {
    const std::string photo = "\xF0\x9F\x93\xB7";  // U+1F4F7, two units
    for (const auto& [name, storedUnits] :
         {std::pair{std::string(70000, 'n'), size_t{65535}}, {std::string(65534, 'n') + photo, size_t{65534}}}) {
        auto root = T::createRootWithName("Disk");
        addFile(root.get(), name);
        const auto bytes = write(*root);
        const size_t fileAt = 5 + 18 + 72 + 8;
        ASSERT_GT(bytes.size(), fileAt + 72);
        EXPECT_EQ(ByteView(bytes.data(), bytes.size()).u16be(fileAt + 2), storedUnits);
        EXPECT_EQ(bytes.size(), fileAt + 72 + 2 * storedUnits + 8);
        const LoadedSession session = load(bytes);
        ASSERT_FALSE(session.error) << *session.error;
        EXPECT_EQ(session.dirRoot->getChildAtIndex(0)->fileName, name.substr(0, storedUnits));
    }

    // A folder whose stored path is as long as a length can count, with a thousand
    // children of no stored path of their own, each of which would copy it.
    auto root = T::createRootWithName("Disk");
    BaseTree* folder = addFolder(root.get(), "f");
    folder->setPath(std::string(65535, 'p'));
    for (int i = 0; i < 1000; ++i) addFile(folder, "x")->setPath("");
    const LoadedSession session = load(write(*root));
    ASSERT_TRUE(session.error);
    EXPECT_NE(session.error->find("paths are longer"), std::string::npos) << *session.error;
    EXPECT_LT(session.dirRoot->getChildAtIndex(0)->childCount(), 1000u);
}

TEST_F(SessionFile, AutomaticSessionsGoToTheSessionFolderUnderTheirTime) {
    const test::TimeZone zone("UTC");
    const std::time_t when = 1394183102;  // 2014-03-07 09:05:02 UTC
    EXPECT_EQ(RecoverySession::defaultFileName(when), "Recover Session 03-07-2014T09:05:02.nxdrs");

    const auto root = scannedShape();
    // The documents folder itself is never created: only the session folder in it.
    EXPECT_TRUE(RecoverySession::saveRecoverySessionInDocument({1, 0, 0}, "/dev/sdb1", *root, lock, when));
    EXPECT_FALSE(fs::exists(home.home() / "Documents"));

    fs::create_directory(home.home() / "Documents");
    const mode_t oldMask = umask(022);
    EXPECT_FALSE(RecoverySession::saveRecoverySessionInDocument({1, 0, 0}, "/dev/sdb1", *root, lock, when));
    umask(oldMask);
    const fs::path folder = home.home() / "Documents" / "Norix Data Recovery Software Recovery Sessions";
    EXPECT_EQ(RecoverySession::sessionFolder(), folder.string());
    struct stat info{};
    ASSERT_EQ(stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0755u);
    const auto session = RecoverySession::loadRecoverySessionFromPath(folder / "Recover Session 03-07-2014T09:05:02.nxdrs");
    EXPECT_FALSE(session.error);
    EXPECT_EQ(session.dirRoot->fileName, "Card");
}

// --- finding the scanned drive after a load ---

std::shared_ptr<Disk> volume(const std::string& bsdName, const std::string& name, bool whole = false) {
    DiskDescription description{{DiskKey::MediaBSDName, bsdName}, {DiskKey::MediaWhole, whole}};
    if (!name.empty()) description[whole ? DiskKey::MediaName : DiskKey::VolumeName] = name;
    return std::make_shared<Disk>(description, std::vector<std::string>{});
}

TEST(ScannedDrive, IsFoundByPathAndNameOrAnImageByItsPathOrNotAtAll) {
    const auto found = [](const std::string& storedPath, const std::string& rootName, uint8_t specialScan,
                          const std::shared_ptr<Disk>& disk) {
        LoadedSession session;
        session.bsdPath = storedPath;
        session.header.isSpecialScan = specialScan;
        session.dirRoot = T::createRootWithName(rootName);
        return RecoverySession::checkForScannedDrive(session, {disk});
    };
    EXPECT_EQ(found("/dev/sdb1", "CARD", 0, volume("sdb1", "STICK")), std::nullopt);  // same path, other volume
    EXPECT_EQ(found("/dev/sdb1", "Photos", 1, volume("sdb1", "CARD")), "/dev/sdb1");   // a folder scan skips the name
    EXPECT_EQ(found("/dev/sdb1", "CARD", 0, volume("sdc1", "CARD")), "/dev/sdc1");     // renumbered
    EXPECT_EQ(found("/dev/sdb", "Kingston", 0, volume("sdb", "Kingston", true)), "/dev/sdb");
    EXPECT_EQ(found("/dev/sdb1", "CARD", 0, volume("sda1", "OS")), std::nullopt);

    // An image is found by its path while it is there.
    test::TempDir dir;
    const fs::path image = dir / "card.img";
    test::writeFile(image, std::vector<uint8_t>(4096, 0));
    const auto other = volume("sda1", "OS");
    EXPECT_EQ(found(image, "card.img", 0, other), image.string());
    EXPECT_EQ(found(image, "other.img", 0, other), std::nullopt);
    fs::remove(image);
    EXPECT_EQ(found(image, "card.img", 0, other), std::nullopt);
}

}  // namespace
}  // namespace norix
