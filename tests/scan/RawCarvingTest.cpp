// Camera raw files carved end to end: the samples of tests/fixtures/raw, copied with
// mtools onto a FAT volume among other files, are found by the deep scan, each filed
// under its extension and followed in its group folder by its full-size preview as a
// JPEG of the same number; both read back from their first byte as they were written,
// on disks of 512- and 4096-byte sectors alike.
#include <gtest/gtest.h>

#include <algorithm>

#include "scan/RecoveryModule.h"
#include "signatures/SigCatalogue.h"
#include "tests/scan/ScanHelpers.h"
#include "tests/signatures/RawManifest.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

// A raw sample and where mcopy put it, in 512-byte units.
struct Sample : test::RawSample {
    std::vector<uint8_t> bytes;
    uint64_t unit = 0;
};

class RawCarving : public ::testing::TestWithParam<uint64_t> {};

TEST_P(RawCarving, EachRawIsFiledUnderItsExtensionWithItsPreviewRightAfterIt) {
    test::TempHome home;
    test::TempDir dir;
    const fs::path fixtures = fs::path(NORIX_SOURCE_DIR) / "tests" / "fixtures";
    std::vector<Sample> samples;
    for (const auto& sample : test::rawManifest())
        if (sample.named) samples.push_back({sample, {}, 0});
    // The MRW first: its structure claims 12 MiB of raw data, which the volume must hold.
    std::stable_partition(samples.begin(), samples.end(), [](const Sample& s) { return s.extension == "mrw"; });
    std::string make = "cd '" + dir.path().string() + "' && export MTOOLS_SKIP_CHECK=1 && " +
                       "mkfs.fat -C -s 1 disk.img 16384 >/dev/null";
    for (const auto& other : {"tags/memo.docx", "signatures/picture.png", "tags/exif-le.jpg"})
        make += " && mcopy -i disk.img '" + (fixtures / other).string() + "' ::/";
    for (const Sample& sample : samples) make += " && mcopy -i disk.img '" + (test::kRawSamples / sample.file).string() + "' ::/";
    ASSERT_EQ(std::system(make.c_str()), 0);
    const fs::path image = dir / "disk.img";
    const auto disk = test::readFile(image);
    for (Sample& sample : samples) {
        sample.bytes = test::readFile(test::kRawSamples / sample.file);
        const auto at = std::search(disk.begin(), disk.end(), sample.bytes.begin(), sample.bytes.end());
        ASSERT_NE(at, disk.end()) << sample.file;
        sample.unit = static_cast<uint64_t>(at - disk.begin()) / 512;
    }

    SigCatalogue catalogue;
    catalogue.loadSig();
    RecoveryModule module;
    module.setFileCheckArray(catalogue.makeSelectedSigArray());
    module.setDiskPathWithString_withRootName(image.string(), "Disk");
    module.recoverFromDisk_withScantType_andName_selectedPath(test::imageDisk(image, GetParam()), "D", "Disk",
                                                              std::nullopt);

    std::shared_lock lock(module.treeLock());
    const BaseTree* lostAndFound = module.deepNode()->getChildAtIndex(0);
    for (const Sample& sample : samples) {
        SCOPED_TRACE(sample.file);
        const BaseTree* group = test::childNamed(test::childNamed(lostAndFound, sample.extension),
                                                 sample.extension + " [1 - 1000]");
        ASSERT_NE(group, nullptr);
        const auto& files = group->childrenArray;
        const auto raw = std::find_if(files.begin(), files.end(), [&](const auto& file) {
            return file->blocksStartsAtSector + file->dataExtArray.front().startBlock == sample.unit;
        });
        ASSERT_NE(raw, files.end());
        const auto data = (*raw)->getDataForFileWithBSD(image.string());
        ASSERT_TRUE(data);
        const size_t whole = std::min<size_t>(sample.bytes.size(), sample.end);
        ASSERT_GE(data->size(), whole);
        EXPECT_TRUE(std::equal(sample.bytes.begin(), sample.bytes.begin() + whole, data->begin()));

        const bool previewFollows = raw + 1 != files.end() && (*(raw + 1))->entry == 6;
        ASSERT_EQ(previewFollows, sample.previewLength != 0);
        if (!previewFollows) continue;
        const BaseTree& preview = **(raw + 1);
        const std::string number = (*raw)->fileName.substr(0, (*raw)->fileName.rfind('.'));
        EXPECT_EQ(preview.fileName, number + ".jpg");
        const auto jpeg = preview.getDataForFileWithBSD(image.string());
        ASSERT_TRUE(jpeg);
        ASSERT_GE(jpeg->size(), sample.previewLength);
        EXPECT_TRUE(std::equal(jpeg->begin(), jpeg->begin() + sample.previewLength,
                               sample.bytes.begin() + sample.previewOffset));
    }
}

INSTANTIATE_TEST_SUITE_P(SectorSizes, RawCarving, ::testing::Values(512, 4096),
                         [](const auto& info) { return "sector" + std::to_string(info.param); });

}  // namespace
}  // namespace norix
