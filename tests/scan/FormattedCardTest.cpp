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

struct Rebuilt {
    size_t listed = 0;      // files of the manifest found under their true folder
    bool topFoldersSeparate = false;
};

// Scans the image deep and finds each file of the manifest under its true folder in
// the lost partition: the old root is gone, so its folders are named by their first
// cluster, each holding its whole subtree; nothing is left in Lost. Saves what it finds
// and expects each byte-exact.
Rebuilt rebuild(const fs::path& image, const std::vector<test::ManifestEntry>& manifest, const std::string& partitionName,
                const fs::path& out) {
    RecoveryModule module;
    module.setDiskPathWithString_withRootName(image.string(), "Card");
    module.recoverFromDisk_withScantType_andName_selectedPath(test::imageDisk(image), "D", "Card", std::nullopt);
    const BaseTree* partition = test::childNamed(module.deepNode(), partitionName);
    if (!partition) {
        ADD_FAILURE() << "no " << partitionName;
        return {};
    }
    std::map<std::string, const BaseTree*> nodes, byTrueFolder;
    test::collect(partition, "", nodes);
    for (const auto& [path, node] : nodes) {
        EXPECT_FALSE(path.starts_with("/Lost/")) << path;
        if (path.starts_with("/Folder ")) byTrueFolder.emplace(belowTopFolder(path), node);
    }
    std::vector<std::pair<const test::ManifestEntry*, BaseTree*>> files;
    for (const auto& file : manifest) {
        const auto found = byTrueFolder.find(belowTopFolder(file.path));
        if (found == byTrueFolder.end()) continue;
        EXPECT_EQ(found->second->fileSize, file.size) << file.path;
        files.emplace_back(&file, const_cast<BaseTree*>(found->second));
    }
    test::expectSavedByteExact(module, files, out);
    // Subtrees of different top folders stay apart.
    const auto camera = byTrueFolder.find("/100canon"), reports = byTrueFolder.find("/Rapports");
    return {files.size(), camera != byTrueFolder.end() && reports != byTrueFolder.end() &&
                              camera->second->getParent() != reports->second->getParent()};
}

// The card reformatted with its own cluster size; with a larger one, where the
// geometry the old folders prove replaces the new boot sector's; and with both boot
// sectors destroyed, where that geometry is all there is.
class FormattedCard : public ::testing::TestWithParam<const char*> {};

TEST_P(FormattedCard, QuickFormatKeepsEveryFolderWholeAndEveryFileUnderIt) {
    test::TempHome home;
    test::TempDir out;
    const fs::path fixture = test::fixtureFolder("make-formatted-fat32-fixture.sh");
    const auto manifest = test::readManifest(fixture / "formatted.manifest");
    ASSERT_EQ(manifest.size(), 94u);
    const Rebuilt rebuilt =
        rebuild(fixture / (std::string(GetParam()) + ".img"), manifest, "Lost Partition: Fat", out.path());
    EXPECT_EQ(rebuilt.listed, 94u);
    EXPECT_TRUE(rebuilt.topFoldersSeparate);
}

INSTANTIATE_TEST_SUITE_P(Mkfs, FormattedCard, ::testing::Values("formatted-same", "formatted-resized", "formatted-noboot"));

// The same after mkfs.exfat: no "." entries, a cleared bitmap and FAT. Two files whose
// entry set is cut at the edge of a folder's cluster are not found.
TEST(FormattedExFatCard, QuickFormatKeepsFoldersTogether) {
    test::TempHome home;
    test::TempDir out;
    const auto manifest = test::manifestOf("formatted-exfat");
    ASSERT_EQ(manifest.size(), 113u);
    const Rebuilt rebuilt =
        rebuild(test::unpack("formatted-exfat", out), manifest, "Lost Partition: ExFat", out.path() / "saved");
    EXPECT_EQ(rebuilt.listed, 111u);
    EXPECT_TRUE(rebuilt.topFoldersSeparate);
}

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
