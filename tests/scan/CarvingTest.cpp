// Carving end to end: real files placed at known units of a larger image, among other
// data, are found by the sweep, filed under "Lost and Found/<ext>/<ext> [1 - 1000]"
// with their checker's size, and read back from their first unit byte for byte; the
// tagged ones are copied into "Tags" as well.
#include <gtest/gtest.h>

#include <map>

#include "scan/RecoveryModule.h"
#include "signatures/SigCatalogue.h"
#include "tests/scan/ScanHelpers.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

struct Placed {
    std::string extension;
    std::vector<uint8_t> bytes;
    uint64_t unit;
};

// On a disk of 4 KiB sectors a file still starts at any 512-byte unit.
class Carving : public ::testing::TestWithParam<uint64_t> {};

TEST_P(Carving, EverySampleOfASelectedTypeIsCarvedAtItsUnitAndReadsBackExact) {
    test::TempHome home;
    test::TempDir dir;
    const fs::path fixtures = fs::path(NORIX_SOURCE_DIR) / "tests" / "fixtures";
    const std::vector<std::pair<std::string, fs::path>> samples{
        {"jpg", fixtures / "tags" / "exif-le.jpg"},       {"jpg", fixtures / "tags" / "plain.jpg"},
        {"png", fixtures / "signatures" / "picture.png"}, {"gif", fixtures / "signatures" / "picture.gif"},
        {"bmp", fixtures / "signatures" / "picture.bmp"}, {"pdf", fixtures / "signatures" / "memo.pdf"},
        {"mp3", fixtures / "checkers" / "lame-vbr-id3.mp3"},   {"mp3", fixtures / "checkers" / "ffmpeg-cbr.mp3"},
        {"mp4", fixtures / "checkers" / "ffmpeg-faststart.mp4"}, {"doc", fixtures / "tags" / "memo.doc"},
        {"docx", fixtures / "tags" / "memo.docx"},          {"zip", fixtures / "signatures" / "archive.zip"},
        // As the common archivers write them: data descriptors, version 1.0, zip64, UTF-8 names.
        {"zip", fixtures / "zip" / "infozip-pipe.zip"},     {"zip", fixtures / "zip" / "infozip-folder.zip"},
        {"zip", fixtures / "zip" / "infozip-stdin.zip"},    {"zip", fixtures / "zip" / "python-pipe.zip"},
        {"zip", fixtures / "zip" / "7z.zip"},               {"zip", fixtures / "zip" / "bsdtar-pipe.zip"},
        // Tagged: untitled, without an author, with a model too long to name a folder.
        {"docx", fixtures / "tags" / "memo-no-title.docx"}, {"docx", fixtures / "tags" / "memo-no-creator.docx"},
        {"xlsx", fixtures / "tags" / "budget.xlsx"},        {"pptx", fixtures / "tags" / "slides.pptx"},
        {"jpg", fixtures / "tags" / "exif-le.jpg"},         {"jpg", fixtures / "tags" / "exif-long-model.jpg"},
        {"ppt", fixtures / "tags" / "slides.ppt"},
    };
    // Background of text, then each sample at a unit boundary with a gap of text after it.
    const fs::path image = dir / "disk.img";
    std::vector<uint8_t> background(32 << 20);
    for (size_t i = 0; i < background.size(); ++i) background[i] = static_cast<uint8_t>("lorem ipsum "[i % 12]);
    test::writeFile(image, background);
    std::vector<Placed> placed;
    uint64_t unit = 17;
    for (const auto& [extension, path] : samples) {
        Placed sample{extension, test::readFile(path), unit};
        ASSERT_FALSE(sample.bytes.empty()) << path;
        test::writeBytes(image, unit * 512, sample.bytes);
        placed.push_back(sample);
        unit += (sample.bytes.size() + 511) / 512 + 2000;  // crosses chunk boundaries too
    }

    SigCatalogue catalogue;
    catalogue.loadSig();
    RecoveryModule module;
    module.setFileCheckArray(catalogue.makeSelectedSigArray());
    module.setDiskPathWithString_withRootName(image.string(), "Disk");
    module.recoverFromDisk_withScantType_andName_selectedPath(test::imageDisk(image, GetParam()), "D", "Disk", std::nullopt);

    std::shared_lock lock(module.treeLock());
    const BaseTree* lostAndFound = module.deepNode()->getChildAtIndex(0);
    // Every carved file by the unit it starts at.
    std::map<uint64_t, const BaseTree*> carved;
    for (const auto& type : lostAndFound->childrenArray)
        for (const auto& group : type->childrenArray) {
            EXPECT_EQ(group->fileName, type->fileName + " [1 - 1000]");
            for (const auto& file : group->childrenArray)
                carved[file->blocksStartsAtSector + file->dataExtArray.front().startBlock] = file.get();
        }
    for (const auto& sample : placed) {
        SCOPED_TRACE(sample.extension + " at unit " + std::to_string(sample.unit));
        ASSERT_TRUE(carved.count(sample.unit));
        const BaseTree* file = carved[sample.unit];
        EXPECT_EQ(file->getParent()->getParent()->fileName, sample.extension);
        EXPECT_GE(file->fileSize, sample.bytes.size());
        const auto data = file->getDataForFileWithBSD(image.string());
        ASSERT_TRUE(data);
        ASSERT_GE(data->size(), sample.bytes.size());
        EXPECT_TRUE(std::equal(sample.bytes.begin(), sample.bytes.end(), data->begin()));
    }
    EXPECT_EQ(lostAndFound->fileCount, placed.size());
    // Tagged files are copied into "Tags" by artist, author and camera model, named by
    // their title where they have one; a copy reads the data of the file it came from.
    const BaseTree* tags = module.deepNode()->getChildAtIndex(1);
    std::map<std::string, std::vector<std::string>> filed;
    uint64_t copiedBytes = 0;
    for (const auto& category : tags->childrenArray)
        for (const auto& group : category->childrenArray) {
            filed[category->fileName + "/" + group->fileName] = test::childNames(group.get());
            for (const auto& copy : group->childrenArray) {
                const BaseTree* file = carved[copy->blocksStartsAtSector + copy->dataExtArray.front().startBlock];
                ASSERT_NE(file, nullptr) << copy->fileName;
                EXPECT_EQ(copy->dataExtArray, file->dataExtArray) << copy->fileName;
                EXPECT_EQ(copy->fileSize, file->fileSize) << copy->fileName;
                copiedBytes += copy->fileSize;
            }
        }
    EXPECT_EQ(filed, (std::map<std::string, std::vector<std::string>>{
                         {"Word/ada lovelace", {"Quarterly Memo.doc", "Quarterly Memo.docx", "File 1.docx"}},
                         {"PowerPoint/alan turing", {"Launch Plan.pptx", "Launch Plan.ppt"}},
                         {"Sheet/grace hopper", {"Budget 2024.xlsx"}},
                         {"Artist/norix quartet", {"Evening Tone.mp3"}},
                         {"Camera/nx-100 mark ii", {"File 1.jpg", "File 2.jpg"}}}));
    EXPECT_EQ(tags->fileCount, 9u);
    EXPECT_EQ(tags->fileSize, copiedBytes);
}

INSTANTIATE_TEST_SUITE_P(SectorSizes, Carving, ::testing::Values(512, 4096),
                         [](const auto& info) { return "sector" + std::to_string(info.param); });

}  // namespace
}  // namespace norix
