// Identification of real files (tools/make-signature-samples.sh, tools/make-tag-samples.sh)
// laid on a device image between other files, with 512- and 4096-byte sectors, and
// the checker of user-defined types.
#include <gtest/gtest.h>

#include <algorithm>

#include "signatures/OtherFileCheck.h"
#include "tests/signatures/DeviceImage.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

fs::path fixture(const std::string& folder, const std::string& name) {
    return fs::path(NORIX_SOURCE_DIR) / "tests" / "fixtures" / folder / name;
}

std::vector<uint8_t> unitOf(const fs::path& file) {
    auto unit = test::readBytes(file, 0, 512);
    unit.resize(512, 0);
    return unit;
}

// What identification does with the size slot.
enum class Size {
    Untouched,
    FileLength,  // ZIP archives are measured while they are named
    Arw,         // ARW images are sized by their own checker
};

struct Sample {
    const char* folder;
    const char* file;
    const char* extension;  // "" when the file must not be identified
    Size size;
    bool readsDevice;  // naming needs further sectors
};

void PrintTo(const Sample& sample, std::ostream* out) { *out << sample.file; }

constexpr uint64_t kUntouched = 777;  // the size slot's value before identification

class IdentificationTest : public testing::TestWithParam<std::tuple<Sample, uint32_t>> {};

TEST_P(IdentificationTest, NamesTheTypeOfARealFile) {
    const auto& [sample, blockSize] = GetParam();
    const auto file = test::readFile(fixture(sample.folder, sample.file));
    ASSERT_FALSE(file.empty());
    const test::Device device(file, test::fixtureBytes("tags/slides.ppt"));
    uint64_t size = kUntouched;
    EXPECT_EQ(device.identify(blockSize, device.path, size), sample.extension);
    if (sample.size != Size::Arw) {
        EXPECT_EQ(size, sample.size == Size::FileLength ? file.size() : kUntouched);
    }
    if (!sample.readsDevice) {
        uint64_t unused = kUntouched;
        EXPECT_EQ(device.identify(blockSize, "/nonexistent/device", unused), sample.extension) << "read the device";
    }
}

std::string sampleName(const testing::TestParamInfo<std::tuple<Sample, uint32_t>>& info) {
    std::string name = std::get<0>(info.param).file;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name + "_" + std::to_string(std::get<1>(info.param));
}

// The compound documents, QuickTime files and ZIP packages the format-checker tests size
// are named there too.
const Sample kSamples[] = {
    {"tags", "plain.jpg", "jpg", Size::Untouched, false},
    {"signatures", "picture.png", "png", Size::Untouched, false},
    {"tags", "budget.xls", "xls", Size::Untouched, true},
    {"tags", "memo.docx", "docx", Size::FileLength, true},
    {"signatures", "archive.zip", "zip", Size::FileLength, true},
    {"signatures", "stored.zip", "zip", Size::FileLength, true},  // stored members: version 1.0
    {"signatures", "tone.mp3", "mp3", Size::Untouched, false},
    {"signatures", "clip.mp4", "mp4", Size::Untouched, false},
    // TIFF files whose maker and model tags name a camera raw format.
    {"signatures", "raw-nikon.tif", "nef", Size::Untouched, true},
    {"signatures", "raw-sony-make.tif", "sr2", Size::Untouched, true},
    {"signatures", "raw-sony-model.tif", "sr2", Size::Untouched, true},
    {"signatures", "raw-ilce.tif", "arw", Size::Arw, true},
    {"signatures", "raw-dslr-a100.tif", "arw", Size::Arw, true},
    {"signatures", "raw-kodak-dcs.tif", "dcr", Size::Untouched, true},
    {"signatures", "raw-kodak-dc120.tif", "kdc", Size::Untouched, true},
    {"signatures", "raw-hasselblad.tif", "3fr", Size::Untouched, true},
    {"signatures", "raw-dng.tif", "dng", Size::Untouched, true},
    {"signatures", "raw-pentax-3ifd.tif", "pef", Size::Untouched, true},
    {"signatures", "raw-pentax-2ifd.tif", "tiff", Size::Untouched, true},  // a plain TIFF: no checker takes it
    {"signatures", "raw-sigma.tif", "tif", Size::Untouched, true},
    // Not identified.
    {"signatures", "restart-first.jpg", "", Size::Untouched, false},   // FF D8 FF DD
    {"signatures", "reserved-bytes.bmp", "", Size::Untouched, false},  // "BM" with bytes 6-9 set
    {"signatures", "free-format.mp3", "", Size::Untouched, false},     // bit-rate index 0
    {"signatures", "raw-canon-no-cr.tif", "", Size::Untouched, true},  // Canon without "CR" at 8
    {"signatures", "raw-no-maker.tif", "", Size::Untouched, true},
};
INSTANTIATE_TEST_SUITE_P(Sectors512, IdentificationTest,
                         testing::Combine(testing::ValuesIn(kSamples), testing::Values(512u)), sampleName);

// Naming that reads on from the first sector, on 4 KiB sectors.
const Sample kReadingOn[] = {
    {"signatures", "raw-ilce.tif", "arw", Size::Arw, true},
    {"signatures", "raw-pentax-3ifd.tif", "pef", Size::Untouched, true},
    {"signatures", "raw-canon-no-cr.tif", "", Size::Untouched, true},
};
INSTANTIATE_TEST_SUITE_P(Sectors4096, IdentificationTest,
                         testing::Combine(testing::ValuesIn(kReadingOn), testing::Values(4096u)), sampleName);

// --- user-defined types ---

SigNode userType(uint64_t header, uint8_t headerLength, uint16_t offset, uint32_t defaultSize) {
    SigNode node;
    node.fileTypeSigNode = 2;
    Sig sig;
    sig.extension = "usr";
    sig.header = header, sig.headerLength = headerLength, sig.offset = offset, sig.defaultSize = defaultSize;
    node.setSig(sig);
    return node;
}

bool matches(const SigNode& type, const std::vector<uint8_t>& unit) {
    return OtherFileCheck(type).isFile_andSectorNumber_blockSize_andBSDPath(unit, 0, 512, "/nonexistent/device");
}

TEST(OtherFileCheck, MatchesTheHeaderAtItsOffsetInEitherByteOrderAndSizesEveryHitWithoutWrapping) {
    auto zip = unitOf(fixture("signatures", "archive.zip"));  // 50 4B 03 04
    const auto mp4 = unitOf(fixture("signatures", "clip.mp4"));
    EXPECT_TRUE(matches(userType(0x04034B50, 4, 0, 5), zip));
    EXPECT_FALSE(matches(userType(0x04034B50, 4, 0, 5), unitOf(fixture("signatures", "picture.png"))));
    EXPECT_TRUE(matches(userType(0x66747970, 4, 4, 5), mp4));  // "ftyp" at 4
    EXPECT_FALSE(matches(userType(0x66747970, 4, 0, 5), mp4));
    EXPECT_FALSE(matches(userType(0x66747970, 4, 510, 5), mp4));  // runs past the unit
    EXPECT_TRUE(matches(userType(0x474946, 3, 0, 5), unitOf(fixture("signatures", "picture.gif"))));
    for (const auto& [mib, bytes] :
         {std::pair<uint32_t, uint64_t>{5, 5242880}, {4096, 4294967296}, {0xFFFFFFFF, 0xFFFFFFFFull << 20}}) {
        OtherFileCheck checker(userType(0x504B0304, 4, 0, mib));
        EXPECT_EQ(checker.fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(zip, 0, 512, ""), bytes);
        EXPECT_EQ(checker.parentKey(), "usr");
        EXPECT_FALSE(checker.isJPGPresent());
    }
    std::reverse(zip.begin(), zip.begin() + 4);  // 04 03 4B 50
    EXPECT_TRUE(matches(userType(0x04034B50, 4, 0, 5), zip));
}

}  // namespace
}  // namespace norix
