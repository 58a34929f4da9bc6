// A populated FAT32 card quick-formatted by mkfs.fat: the deep scan brings back every
// old folder with all its clusters, the folders whose entries the format erased named
// by their first cluster, and no data of other kinds is taken for directory entries.
#include <gtest/gtest.h>

#include <map>

#include "scan/RecoveryModule.h"
#include "tests/scan/ScanHelpers.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

// A path with its first folder left out: "/DCIM/100canon/a.jpg" -> "/100canon/a.jpg".
std::string belowTopFolder(const std::string& path) {
    const size_t second = path.find('/', 1);
    return second == std::string::npos ? path : path.substr(second);
}

struct Card {
    const char* image;      // a FAT32 card from the fixture script, or a committed fixture
    const char* partition;
    size_t found;           // files expected under their true folder
};

// The FAT32 card reformatted with its own cluster size; with a larger one, where the
// geometry the old folders prove replaces the new boot sector's; with both boot
// sectors destroyed, where that geometry is all there is. The exFAT card after
// mkfs.exfat, entry sets cut at the edge of a cluster among them.
class FormattedCard : public ::testing::TestWithParam<Card> {};

// Each file of the manifest is found under its true folder in the lost partition: the
// old root is gone, so its folders are named by their first cluster, each holding its
// whole subtree, the top folders apart; nothing is left in Lost. Each is saved byte-exact.
TEST_P(FormattedCard, QuickFormatKeepsEveryFolderWholeAndEveryFileUnderIt) {
    test::TempHome home;
    test::TempDir out;
    const std::string name = GetParam().image;
    const bool exFat = name == "formatted-exfat";
    const fs::path fat = exFat ? fs::path() : test::fixtureFolder("make-formatted-fat32-fixture.sh");
    const fs::path image = exFat ? test::unpack(name, out) : fat / (name + ".img");
    const auto manifest = exFat ? test::manifestOf(name) : test::readManifest(fat / "formatted.manifest");
    RecoveryModule module;
    module.setDiskPathWithString_withRootName(image.string(), "Card");
    module.recoverFromDisk_withScantType_andName_selectedPath(test::imageDisk(image), "D", "Card", std::nullopt);
    const BaseTree* partition = test::childNamed(module.deepNode(), GetParam().partition);
    ASSERT_NE(partition, nullptr);
    std::map<std::string, const BaseTree*> nodes, byTrueFolder;
    test::collect(partition, "", nodes);
    for (const auto& [path, node] : nodes) {
        EXPECT_FALSE(path.starts_with("/Lost/")) << path;
        if (path.starts_with("/Folder ")) byTrueFolder.emplace(belowTopFolder(path), node);
    }
    std::vector<std::pair<const test::ManifestEntry*, BaseTree*>> files;
    for (const auto& file : manifest)
        if (const auto found = byTrueFolder.find(belowTopFolder(file.path)); found != byTrueFolder.end())
            files.emplace_back(&file, const_cast<BaseTree*>(found->second));
    EXPECT_EQ(files.size(), GetParam().found) << "of " << manifest.size();
    EXPECT_NE(byTrueFolder.at("/100canon")->getParent(), byTrueFolder.at("/Rapports")->getParent());
    test::expectSavedByteExact(module, files, out.path() / "saved");
}

INSTANTIATE_TEST_SUITE_P(Mkfs, FormattedCard,
                         ::testing::Values(Card{"formatted-same", "Lost Partition: Fat", 94},
                                           Card{"formatted-resized", "Lost Partition: Fat", 94},
                                           Card{"formatted-noboot", "Lost Partition: Fat", 94},
                                           Card{"formatted-exfat", "Lost Partition: ExFat", 113}));

// Every 512-byte unit of the carving fixtures (pictures, audio, video, documents,
// archives, camera raw files) offered to the file-system test: none is a FAT directory.
TEST(FormattedCardUnits, NoCarvingFixtureUnitIsTakenForFatDirectoryEntries) {
    const fs::path fixtures = fs::path(NORIX_SOURCE_DIR) / "tests" / "fixtures";
    size_t units = 0;
    for (const char* folder : {"checkers", "raw", "signatures", "tags", "zip"})
        for (const auto& item : fs::recursive_directory_iterator(fixtures / folder)) {
            const auto bytes = item.is_regular_file() ? test::readBytes(item.path(), 0, item.file_size())
                                                      : std::vector<uint8_t>{};
            for (size_t at = 0; at + 512 <= bytes.size(); at += 512, ++units)
                EXPECT_NE(RecoveryModule::checkForFileSystem_withSize(ByteView(bytes).sub(at, 512), 512), 0)
                    << item.path() << " unit " << at / 512;
        }
    EXPECT_GT(units, 3000u);
}

}  // namespace
}  // namespace norix
