// The checkers of the common formats on real files (tools/make-checker-samples.sh and
// the samples of the identification and tag tests), one for each way a file ends, laid
// on a device image between other data and sized as the deep scan sizes a hit:
// identification first (ZIP packages are measured there), then the checker of the type
// it names. Cut and damaged files are replayed by the format_checkers fuzz target
// (tools/make-damaged-seeds.sh); the damage kept here is where a wrong size would save
// the bytes of other files.
#include <gtest/gtest.h>

#include <algorithm>

#include "disk/ByteView.h"
#include "tests/signatures/DeviceImage.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

using test::Device;
const auto fixture = test::fixtureBytes;

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
    bool alsoAt4096 = false;  // the checker reads more than the first sector
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

class CorpusTest : public testing::TestWithParam<Sample> {};

// The answer is the size the rules give, and a carve of that many bytes holds the whole
// file; a file that needs more than its first sector cannot be sized from a device that
// cannot be read.
TEST_P(CorpusTest, SizesTheFileSoThatItsCarveHoldsItWhole) {
    const Sample& sample = GetParam();
    const auto file = fixture(sample.path);
    const Device device(file, fixture("tags/slides.ppt"));
    for (const uint32_t blockSize : {512u, 4096u}) {
        if (blockSize == 4096 && !sample.alsoAt4096) break;
        SCOPED_TRACE(blockSize);
        const auto [extension, size] = device.hit(blockSize);
        EXPECT_EQ(extension, sample.extension);
        EXPECT_EQ(size, expectedSize(sample, file.size(), blockSize));
        if (sample.ends == Ends::TooShort) continue;
        const auto carve = test::readBytes(device.path, Device::kFileAt, size);
        ASSERT_GE(carve.size(), file.size());
        EXPECT_TRUE(std::equal(file.begin(), file.end(), carve.begin()));
        if (file.size() > 512 && sample.extension != std::string_view("bmp")) {
            EXPECT_EQ(device.hit(blockSize, "/nonexistent/device").second, 0u);
        }
    }
}

const Sample kSamples[] = {
    {"checkers/exif-thumbnail.jpg", "jpg", Ends::With512},  // the thumbnail's end marker is not the end
    {"checkers/ffmpeg-restart.jpg", "jpg", Ends::With512},  // restart markers in the scan data
    {"checkers/cjpeg-progressive.jpg", "jpg", Ends::With512},
    {"checkers/cjpeg-large.jpg", "jpg", Ends::With512, true},  // larger than a read window
    {"checkers/exiftool-exif.png", "png", Ends::With512},      // eXIf before the image data
    {"checkers/ffmpeg-animated.png", "png", Ends::With512},    // acTL, fcTL, fdAT
    {"checkers/ffmpeg-large.png", "png", Ends::With512, true},
    {"checkers/ffmpeg-local-tables.gif", "gif", Ends::With512},  // no global colour table
    {"checkers/gifsicle-comment.gif", "gif", Ends::With512},     // a comment of three sub-blocks
    {"checkers/ffmpeg-large.gif", "gif", Ends::With512, true},
    {"checkers/ffmpeg-pal8.bmp", "bmp", Ends::Exactly},
    {"checkers/linearized-update.pdf", "pdf", Ends::Exactly, true},  // three end markers
    {"tags/memo.doc", "doc", Ends::Exactly, true},                   // a free sector inside the file
    {"tags/slides.ppt", "ppt", Ends::Exactly, true},                 // seven FAT sectors
    {"tags/memo-4k-sectors.doc", "doc", Ends::Exactly, true},        // sectors of 4096 bytes
    {"tags/memo-core-bomb.docx", "zip", Ends::Exactly},              // rewritten by python: flags 0
    {"checkers/infozip-descriptors.docx", "docx", Ends::Exactly, true},  // data descriptors
    {"checkers/python-streamed.xlsx", "xlsx", Ends::Exactly},            // data descriptors, sizes left 0
    {"checkers/comment.zip", "zip", Ends::Exactly},                      // the comment ends the archive
    {"checkers/lame-info.mp3", "mp3", Ends::PastFiveBytes, true},        // LAME's Info frame first
    {"checkers/mpeg25.mp3", "mp3", Ends::PastFiveBytes},
    {"checkers/ffmpeg-mp2.mp3", "mp3", Ends::PastFiveBytes},  // layer II
    {"checkers/cover-id3.mp3", "mp3", Ends::PastFiftyBytes, true},  // a tag larger than a read window
    {"checkers/id3v2-tool.mp3", "mp3", Ends::Exactly},              // ends with an ID3v1 tag
    {"signatures/tone.mp3", "mp3", Ends::TooShort},
    {"checkers/ffmpeg-sound.mov", "mov", Ends::Exactly, true},
    {"checkers/ffmpeg-fragmented.mp4", "mp4", Ends::Exactly},  // fragments after the movie atom
    {"signatures/clip-crx-brand.mp4", "cr3", Ends::Exactly},
};
INSTANTIATE_TEST_SUITE_P(Samples, CorpusTest, testing::ValuesIn(kSamples), [](const auto& info) {
    std::string name = fs::path(info.param.path).filename();
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name + "_" + std::to_string(info.index);
});

// A size field outside 50 bytes to 100 MiB is no picture: a carve of what it claims
// would save whatever follows.
TEST(BmpFileCheck, TheSizeFieldIsTakenBetween50BytesAnd100MiB) {
    for (const auto& [field, size] :
         std::vector<std::pair<uint32_t, uint64_t>>{{49, 0}, {50, 50}, {104857600, 104857600}, {104857601, 0}}) {
        auto bmp = fixture("signatures/picture.bmp");
        for (int i = 0; i < 4; ++i) bmp[2 + i] = uint8_t(field >> 8 * i);
        EXPECT_EQ(Device(bmp, {}).hit().second, size) << field;
    }
}

// A document followed by another ends at its own marker.
TEST(PdfFileCheck, ADocumentFollowedByAnotherEndsAtItsOwnMarker) {
    auto both = fixture("signatures/memo.pdf");
    const size_t first = both.size();
    both.resize((both.size() + 511) / 512 * 512, 0);
    const auto second = fixture("checkers/exiftool-update.pdf");
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(Device(both, {}).hit().second, first);
}

// The 64-bit form of an atom size, as ffmpeg writes a movie past 4 GiB: the "wide"
// atom before "mdat" becomes its header (size 1, "mdat", the 64-bit size).
std::vector<uint8_t> withLargeMdatSize(std::vector<uint8_t> mov) {
    const size_t wide = 20;  // after "ftyp"
    const ByteView view(mov);
    EXPECT_TRUE(view.matches(wide + 4, "wide") && view.matches(wide + 12, "mdat"));
    const uint64_t size = view.u32be(wide + 8) + 8;
    const uint8_t header[16] = {0, 0, 0, 1, 'm', 'd', 'a', 't', 0, 0, 0, 0, uint8_t(size >> 24), uint8_t(size >> 16),
                                uint8_t(size >> 8), uint8_t(size)};
    std::copy(std::begin(header), std::end(header), mov.begin() + wide);
    return mov;
}

TEST(QTFormat, AMovieWhoseDataIsSizedIn64BitsIsCarvedWhole) {
    const auto mov = withLargeMdatSize(fixture("checkers/ffmpeg-sound.mov"));
    const Device device(mov, fixture("tags/slides.ppt"));
    for (const uint32_t blockSize : {512u, 4096u})
        EXPECT_EQ(device.hit(blockSize), std::pair(std::string("mov"), uint64_t{mov.size()})) << blockSize;

    // A clip cut after its first atom is no file.
    std::vector<uint8_t> cut(mov.begin(), mov.begin() + (mov[2] << 8 | mov[3]));  // "ftyp"
    const auto other = fixture("tags/slides.ppt");
    cut.insert(cut.end(), other.begin(), other.end());
    EXPECT_EQ(Device(cut, {}).hit().second, 0u);
}

}  // namespace
}  // namespace norix
