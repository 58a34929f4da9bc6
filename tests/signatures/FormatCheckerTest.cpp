// The checkers of the common formats on real files (tools/make-checker-samples.sh and
// the samples of the identification and tag tests) laid on a device image between
// other data, sized as the deep scan sizes a hit: identification first (ZIP packages
// are measured there), then the checker of the type it names.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "signatures/SignatureCheck.h"
#include "signatures/checkers/Office97FileCheck.h"
#include "signatures/checkers/OfficeFileXFileCheck.h"
#include "signatures/checkers/QTFormat.h"
#include "tests/support/TestSupport.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> fixture(const std::string& path) {
    auto bytes = test::readFile(fs::path(NORIX_SOURCE_DIR) / "tests" / "fixtures" / path);
    EXPECT_FALSE(bytes.empty()) << path;
    return bytes;
}

// Where a file ends by the checker's rules.
enum class Ends {
    Exactly,         // the answer is the file's length
    With512,         // the length and 512 bytes of slack
    PastFiveBytes,   // songs without a tag: five stray bytes, then a block of slack
    PastFiftyBytes,  // songs with a tag: the walk steps over 50 stray bytes
    TooShort,        // songs shorter than 10 KiB answer 0
};

struct Sample {
    const char* path;       // under tests/fixtures
    const char* extension;  // as identification names it
    Ends ends;
};

void PrintTo(const Sample& sample, std::ostream* out) { *out << sample.path; }

uint64_t expectedSize(const Sample& sample, uint64_t length, uint32_t blockSize) {
    switch (sample.ends) {
        case Ends::Exactly:
            return length;
        case Ends::With512:
            return length + 512;
        case Ends::PastFiveBytes:
            return length + 5 + blockSize;
        case Ends::PastFiftyBytes:
            return length + 50;
        case Ends::TooShort:
            return 0;
    }
    return 0;
}

// A device image: other data, the file at a sector boundary, then other data again.
struct Device {
    static constexpr uint64_t kFileAt = 3 * 4096;

    Device(const std::vector<uint8_t>& file, const std::vector<uint8_t>& after) {
        std::vector<uint8_t> bytes = fixture("tags/memo.docx");
        bytes.resize(kFileAt, 0);
        bytes.insert(bytes.end(), file.begin(), file.end());
        bytes.resize((bytes.size() + 511) / 512 * 512, 0);
        bytes.insert(bytes.end(), after.begin(), after.end());
        test::writeFile(path, bytes);
        unit.assign(bytes.begin() + kFileAt, bytes.begin() + kFileAt + 512);
    }

    // The extension and size the deep scan gives the hit at the file's first sector.
    std::pair<std::string, uint64_t> hit(uint32_t blockSize, const std::string& device) const {
        uint64_t size = 0;
        const std::string extension(
            SignatureCheck::checkSignatureInBlock_andSectorNumber_blockSize_andBSDPath_fileSizeForOfficeX(
                unit, kFileAt / blockSize, blockSize, device, size));
        if (extension.empty()) return {extension, 0};
        if (size == 0)
            size = SignatureCheck::searchForFileCheckWithExtension_andSigNode(extension, SigNode())
                       ->fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(unit, kFileAt / blockSize, blockSize,
                                                                                   device);
        return {extension, size};
    }
    std::pair<std::string, uint64_t> hit(uint32_t blockSize = 512) const { return hit(blockSize, path); }

    test::TempDir dir;
    fs::path path = dir / "device.img";
    std::vector<uint8_t> unit;
};

class CorpusTest : public testing::TestWithParam<std::tuple<Sample, uint32_t>> {
protected:
    const Sample& sample() const { return std::get<0>(GetParam()); }
    uint32_t blockSize() const { return std::get<1>(GetParam()); }
};

// The answer is the size the rules give, and a carve of that many bytes holds the
// whole file.
TEST_P(CorpusTest, SizesTheFileSoThatItsCarveHoldsItWhole) {
    const auto file = fixture(sample().path);
    const Device device(file, fixture("tags/slides.ppt"));
    const auto [extension, size] = device.hit(blockSize());
    EXPECT_EQ(extension, sample().extension);
    EXPECT_EQ(size, expectedSize(sample(), file.size(), blockSize()));
    if (sample().ends == Ends::TooShort) return;
    const auto carve = test::readBytes(device.path, Device::kFileAt, size);
    ASSERT_GE(carve.size(), file.size());
    EXPECT_TRUE(std::equal(file.begin(), file.end(), carve.begin()));
}

// A file that needs more than its first sector cannot be sized from a device that
// cannot be read.
TEST_P(CorpusTest, AnUnreadableDeviceGivesNothing) {
    const auto file = fixture(sample().path);
    if (file.size() <= 512 || std::string_view(sample().extension) == "bmp") GTEST_SKIP() << "needs no read";
    const Device device(file, {});
    EXPECT_EQ(device.hit(blockSize(), "/nonexistent/device").second, 0u);
}

std::string sampleName(const testing::TestParamInfo<std::tuple<Sample, uint32_t>>& info) {
    std::string name = fs::path(std::get<0>(info.param).path).filename();
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name + "_" + std::to_string(std::get<1>(info.param));
}

const Sample kPictures[] = {
    {"tags/plain.jpg", "jpg", Ends::With512},
    {"tags/exif-le.jpg", "jpg", Ends::With512},
    {"tags/exif-be.jpg", "jpg", Ends::With512},
    {"tags/exif-long-model.jpg", "jpg", Ends::With512},
    {"checkers/ffmpeg-q2.jpg", "jpg", Ends::With512},
    {"checkers/ffmpeg-restart.jpg", "jpg", Ends::With512},  // restart markers in the scan data
    {"checkers/cjpeg-baseline.jpg", "jpg", Ends::With512},
    {"checkers/cjpeg-progressive.jpg", "jpg", Ends::With512},
    {"checkers/cjpeg-large.jpg", "jpg", Ends::With512},     // larger than a read window
    {"checkers/exif-thumbnail.jpg", "jpg", Ends::With512},  // the thumbnail's end marker is not the end
    {"checkers/jpegtran-progressive-exif.jpg", "jpg", Ends::With512},
    {"signatures/picture.png", "png", Ends::With512},
    {"checkers/ffmpeg-large.png", "png", Ends::With512},
    {"checkers/ffmpeg-palette.png", "png", Ends::With512},
    {"checkers/exiftool-text.png", "png", Ends::With512},
    {"checkers/exiftool-exif.png", "png", Ends::With512},    // eXIf before the image data
    {"checkers/ffmpeg-animated.png", "png", Ends::With512},  // acTL, fcTL, fdAT
    {"signatures/picture.gif", "gif", Ends::With512},
    {"checkers/ffmpeg-animated.gif", "gif", Ends::With512},
    {"checkers/ffmpeg-local-tables.gif", "gif", Ends::With512},  // no global colour table
    {"checkers/gifsicle-comment.gif", "gif", Ends::With512},     // a comment of three sub-blocks
    {"checkers/ffmpeg-large.gif", "gif", Ends::With512},
    {"signatures/picture.bmp", "bmp", Ends::Exactly},
    {"checkers/ffmpeg-bgr24.bmp", "bmp", Ends::Exactly},
    {"checkers/ffmpeg-pal8.bmp", "bmp", Ends::Exactly},
    {"checkers/ffmpeg-bgra.bmp", "bmp", Ends::Exactly},
};
INSTANTIATE_TEST_SUITE_P(Pictures, CorpusTest,
                         testing::Combine(testing::ValuesIn(kPictures), testing::Values(512u, 4096u)), sampleName);

const Sample kDocuments[] = {
    {"signatures/memo.pdf", "pdf", Ends::Exactly},
    {"checkers/qpdf-object-streams.pdf", "pdf", Ends::Exactly},
    {"checkers/qpdf-linearized.pdf", "pdf", Ends::Exactly},    // a marker after the first page's table
    {"checkers/exiftool-update.pdf", "pdf", Ends::Exactly},    // an incremental update
    {"checkers/linearized-update.pdf", "pdf", Ends::Exactly},  // both: three markers
    {"tags/memo.doc", "doc", Ends::Exactly},                   // a free sector inside the file
    {"tags/budget.xls", "xls", Ends::Exactly},
    {"tags/slides.ppt", "ppt", Ends::Exactly},  // seven FAT sectors
    {"tags/memo.docx", "docx", Ends::Exactly},
    {"tags/budget.xlsx", "xlsx", Ends::Exactly},
    {"tags/slides.pptx", "pptx", Ends::Exactly},
    {"tags/memo-core-bomb.docx", "zip", Ends::Exactly},  // rewritten by python: flags 0
    {"tags/memo-locked-core.docx", "zip", Ends::Exactly},
    {"checkers/infozip-descriptors.docx", "docx", Ends::Exactly},  // data descriptors
    {"checkers/python-streamed.xlsx", "xlsx", Ends::Exactly},      // data descriptors, sizes left 0
    {"signatures/archive.zip", "zip", Ends::Exactly},
    {"checkers/stored.zip", "zip", Ends::Exactly},
    {"checkers/comment.zip", "zip", Ends::Exactly},  // the comment ends the archive
};
INSTANTIATE_TEST_SUITE_P(Documents, CorpusTest,
                         testing::Combine(testing::ValuesIn(kDocuments), testing::Values(512u, 4096u)), sampleName);

const Sample kMedia[] = {
    {"checkers/ffmpeg-cbr.mp3", "mp3", Ends::PastFiveBytes},
    {"checkers/lame-info.mp3", "mp3", Ends::PastFiveBytes},  // LAME's Info frame first
    {"checkers/lame-crc.mp3", "mp3", Ends::PastFiveBytes},
    {"checkers/mpeg25.mp3", "mp3", Ends::PastFiveBytes},
    {"checkers/ffmpeg-mp2.mp3", "mp3", Ends::PastFiveBytes},  // layer II
    {"checkers/lame-vbr-id3.mp3", "mp3", Ends::PastFiftyBytes},
    {"checkers/mpeg2-id3.mp3", "mp3", Ends::PastFiftyBytes},
    {"checkers/cover-id3.mp3", "mp3", Ends::PastFiftyBytes},  // a tag larger than a read window
    {"checkers/id3v2-tool.mp3", "mp3", Ends::Exactly},        // ends with an ID3v1 tag
    {"signatures/tone.mp3", "mp3", Ends::TooShort},
    {"tags/id3v23-latin1.mp3", "mp3", Ends::TooShort},
    {"signatures/clip.mov", "mov", Ends::Exactly},
    {"signatures/clip.mp4", "mp4", Ends::Exactly},
    {"signatures/clip-crx-brand.mp4", "cr3", Ends::Exactly},
    {"checkers/ffmpeg-sound.mov", "mov", Ends::Exactly},
    {"checkers/ffmpeg-faststart.mp4", "mp4", Ends::Exactly},
    {"checkers/ffmpeg-fragmented.mp4", "mp4", Ends::Exactly},  // fragments after the movie atom
};
INSTANTIATE_TEST_SUITE_P(Media, CorpusTest, testing::Combine(testing::ValuesIn(kMedia), testing::Values(512u, 4096u)),
                         sampleName);

// --- cut and damaged files ---

// Every checker (and the naming walks, for the sanitizers) on the first part of every
// sample, with nothing or other data after it: no crash, and an answer within the
// checker's bound whatever the bytes say.
class CutFileTest : public testing::TestWithParam<Sample> {};

const std::map<std::string, uint64_t> kLargestAnswer = {
    {"jpg", 26214400 + 514}, {"png", 102809600 + 516},   {"gif", 5242880 + 512},
    {"bmp", 104857600},      {"pdf", 20979712},          {"doc", 1ull << 32},
    {"zip", 20 << 20},       {"mp3", (10 << 20) + 1024}, {"mov", 1ull << 41},
};

uint64_t checkerAnswer(const std::string& extension, const Device& device) {
    if (extension == "zip") {
        uint64_t size = 0;
        OfficeFileXFileCheck::getExtension_withSectorNumber_blockSize_andBSDPath_alongSize(
            device.unit, Device::kFileAt / 512, 512, device.path, size);
        return size;
    }
    if (extension == "doc")
        Office97FileCheck::chechForOfficeFileExtension_withSectorNumber_blockSize_andBSDPath(
            device.unit, Device::kFileAt / 512, 512, device.path);
    if (extension == "mov") QTFormat::checkExtensionInBlock(device.unit);
    return SignatureCheck::searchForFileCheckWithExtension_andSigNode(extension, SigNode())
        ->fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(device.unit, Device::kFileAt / 512, 512,
                                                                    device.path);
}

TEST_P(CutFileTest, EveryCheckerStaysWithinItsBound) {
    const auto file = fixture(GetParam().path);
    for (const size_t kept : {file.size() / 3, file.size() * 2 / 3, file.size() - 1}) {
        const std::vector<uint8_t> part(file.begin(), file.begin() + kept);
        for (const auto& after : {std::vector<uint8_t>{}, fixture("tags/budget.xls")}) {
            const Device device(part, after);
            for (const auto& [extension, largest] : kLargestAnswer)
                EXPECT_LE(checkerAnswer(extension, device), largest) << extension << " on " << kept << " bytes";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Pictures, CutFileTest, testing::ValuesIn(kPictures), [](const auto& info) {
    return sampleName({{info.param, 512u}, info.index});
});
INSTANTIATE_TEST_SUITE_P(Documents, CutFileTest, testing::ValuesIn(kDocuments), [](const auto& info) {
    return sampleName({{info.param, 512u}, info.index});
});
INSTANTIATE_TEST_SUITE_P(Media, CutFileTest, testing::ValuesIn(kMedia), [](const auto& info) {
    return sampleName({{info.param, 512u}, info.index});
});

std::vector<uint8_t> withBytesAt(std::vector<uint8_t> file, size_t offset, const std::vector<uint8_t>& bytes) {
    std::copy(bytes.begin(), bytes.end(), file.begin() + offset);
    return file;
}

size_t find(const std::vector<uint8_t>& file, std::string_view text) {
    const auto at = std::search(file.begin(), file.end(), text.begin(), text.end());
    EXPECT_NE(at, file.end()) << text;
    return static_cast<size_t>(at - file.begin());
}

TEST(JpgFileCheck, ABrokenSegmentChainAnswersTheLengthWalked) {
    auto jpeg = fixture("tags/exif-le.jpg");
    const size_t marker = 4 + (jpeg[4] << 8 | jpeg[5]);  // the marker after the EXIF segment
    jpeg[marker] = 0x00;
    EXPECT_EQ(Device(jpeg, {}).hit().second, marker + 2);
}

TEST(JpgFileCheck, AJpegWithoutItsEndMarkerAnswersTheFixedSize) {
    auto jpeg = fixture("checkers/cjpeg-progressive.jpg");
    jpeg.resize(jpeg.size() - 2);
    EXPECT_EQ(Device(jpeg, {}).hit().second, 5242880u);  // the walk meets zeros to 25 MiB
}

TEST(PngFileCheck, APngOfHeaderAndEndChunksOnlyIsTooShort) {
    const auto png = fixture("signatures/picture.png");
    std::vector<uint8_t> bare(png.begin(), png.begin() + 33);  // signature and header chunk
    bare.insert(bare.end(), png.end() - 12, png.end());        // end chunk
    EXPECT_EQ(Device(bare, fixture("tags/slides.ppt")).hit().second, 0u);
}

TEST(BmpFileCheck, TheSizeFieldIsTakenBetween50BytesAnd100MiB) {
    const auto bmp = fixture("signatures/picture.bmp");
    for (const auto& [field, size] :
         std::vector<std::pair<uint32_t, uint64_t>>{{49, 0}, {50, 50}, {104857600, 104857600}, {104857601, 0}}) {
        const auto damaged =
            withBytesAt(bmp, 2, {uint8_t(field), uint8_t(field >> 8), uint8_t(field >> 16), uint8_t(field >> 24)});
        EXPECT_EQ(Device(damaged, {}).hit().second, size) << field;
    }
}

TEST(PdfFileCheck, AMarkerAfterASpaceIsNotTheEndAndNoEndAnswersTheSpanScanned) {
    auto pdf = fixture("signatures/memo.pdf");
    pdf[find(pdf, "\n%%EOF")] = ' ';
    EXPECT_EQ(Device(pdf, {}).hit(512).second, 2561u * 16 * 512);
    EXPECT_EQ(Device(pdf, {}).hit(4096).second, 321u * 16 * 4096);
}

TEST(PdfFileCheck, ADocumentFollowedByAnotherEndsAtItsOwnMarker) {
    const auto first = fixture("signatures/memo.pdf");
    auto both = first;
    both.resize((both.size() + 511) / 512 * 512, 0);
    const auto second = fixture("checkers/exiftool-update.pdf");
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(Device(both, {}).hit().second, first.size());
}

TEST(Office97FileCheck, DifatSectorsGiveTheBoundOfWhatTheyAddress) {
    const auto xls = withBytesAt(fixture("tags/budget.xls"), 72, {2, 0, 0, 0});
    EXPECT_EQ(Device(xls, {}).hit().second, (32768u + 13952) * 512);
}

TEST(QTFormat, AClipCutAfterItsFirstAtomIsNoFile) {
    const auto mov = fixture("checkers/ffmpeg-sound.mov");
    std::vector<uint8_t> cut(mov.begin(), mov.begin() + (mov[2] << 8 | mov[3]));  // "ftyp"
    const auto other = fixture("tags/slides.ppt");
    cut.insert(cut.end(), other.begin(), other.end());
    EXPECT_EQ(Device(cut, {}).hit().second, 0u);
}

TEST(Mp3FileCheck, AFrameSyncWithBadFieldsEndsThePlainWalkThere) {
    auto mp3 = fixture("checkers/ffmpeg-mp2.mp3");
    const size_t at = 60 * 192;  // frames of 64 kbit/s at 48 kHz take 192 bytes
    ASSERT_EQ(mp3[at], 0xFF);
    mp3[at + 2] |= 0xF0;  // bit-rate index 1111
    EXPECT_EQ(Device(mp3, {}).hit().second, at);
}

}  // namespace
}  // namespace norix
