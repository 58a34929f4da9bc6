// A populated FAT32 card quick-formatted by mkfs.fat: the deep scan brings back every
// old folder with all its clusters, the folders whose entries the format erased named
// by their first cluster, and no data of other kinds is taken for directory entries.
#include <gtest/gtest.h>

#include <fstream>
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

// The card reformatted with its own cluster size, and with a larger one: there the
// geometry the old folders prove replaces the new boot sector's.
class FormattedCard : public ::testing::TestWithParam<const char*> {};

TEST_P(FormattedCard, QuickFormatKeepsEveryFolderWholeAndEveryFileUnderIt) {
    test::TempHome home;
    test::TempDir out;
    const fs::path fixture = test::fixtureFolder("make-formatted-fat32-fixture.sh");
    const fs::path image = fixture / (std::string(GetParam()) + ".img");
    RecoveryModule module;
    module.setDiskPathWithString_withRootName(image.string(), "Card");
    module.recoverFromDisk_withScantType_andName_selectedPath(test::imageDisk(image), "D", "Card", std::nullopt);
    const auto manifest = test::readManifest(fixture / "formatted.manifest");
    ASSERT_EQ(manifest.size(), 94u);

    const BaseTree* partition = test::childNamed(module.deepNode(), "Lost Partition: Fat");
    ASSERT_NE(partition, nullptr);
    // The old root is gone: its folders are named by their first cluster, each holding
    // its whole subtree; nothing is left without a folder.
    std::map<std::string, const BaseTree*> nodes, byTrueFolder;
    test::collect(partition, "", nodes);
    for (const auto& [path, node] : nodes) {
        EXPECT_FALSE(path.starts_with("/Lost/")) << path;
        if (path.starts_with("/Folder ")) byTrueFolder.emplace(belowTopFolder(path), node);
    }
    std::vector<std::pair<const test::ManifestEntry*, BaseTree*>> files;
    for (const auto& file : manifest) {
        const auto found = byTrueFolder.find(belowTopFolder(file.path));
        ASSERT_NE(found, byTrueFolder.end()) << file.path;
        EXPECT_EQ(found->second->fileSize, file.size) << file.path;
        files.emplace_back(&file, const_cast<BaseTree*>(found->second));
    }
    // Folders of one top folder stay together: both camera folders under one.
    EXPECT_EQ(byTrueFolder.at("/100canon")->getParent(), byTrueFolder.at("/101canon")->getParent());
    test::expectSavedByteExact(module, files, out.path());
}

INSTANTIATE_TEST_SUITE_P(Mkfs, FormattedCard, ::testing::Values("formatted-same", "formatted-resized"));

// Every 512-byte unit of the carving fixtures (pictures, audio, video, documents,
// archives, camera raw files) offered to the file-system test: none is a FAT directory.
TEST(FormattedCardUnits, NoCarvingFixtureUnitIsTakenForFatDirectoryEntries) {
    const fs::path fixtures = fs::path(NORIX_SOURCE_DIR) / "tests" / "fixtures";
    size_t units = 0, taken = 0;
    for (const char* folder : {"checkers", "raw", "signatures", "tags", "zip"})
        for (const auto& item : fs::recursive_directory_iterator(fixtures / folder)) {
            if (!item.is_regular_file()) continue;
            std::ifstream in(item.path(), std::ios::binary);
            std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
            for (size_t at = 0; at + 512 <= bytes.size(); at += 512, ++units)
                if (RecoveryModule::checkForFileSystem_withSize(ByteView(bytes).sub(at, 512), 512) == 0) {
                    ++taken;
                    ADD_FAILURE() << item.path() << " unit " << at / 512;
                }
        }
    std::printf("[ numbers  ] %zu carving-fixture units, %zu taken for FAT directory data\n", units, taken);
    EXPECT_GT(units, 1000u);
}

}  // namespace
}  // namespace norix
