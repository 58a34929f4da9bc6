// The camera raw checkers on real camera files and on files synthesised for the makers
// they lack (tools/make-raw-samples.sh; tests/fixtures/raw/manifest gives where each
// file's structure ends and where its preview lies). Each file is laid on a device image
// between other data and sized as the deep scan sizes a hit: identification, then the
// checker of the type it names. Cut, looping and damaged files are replayed by the
// raw_checkers fuzz target.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "disk/ByteView.h"
#include "signatures/SigNode.h"
#include "signatures/SignatureCheck.h"
#include "tests/support/TestSupport.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

const fs::path kRaw = fs::path(NORIX_SOURCE_DIR) / "tests" / "fixtures" / "raw";

struct Sample {
    std::string file, extension;
    uint64_t end = 0, slack = 0, previewOffset = 0, previewLength = 0;
    bool named = true;  // identification names it
};
void PrintTo(const Sample& sample, std::ostream* out) { *out << sample.file; }

std::vector<Sample> manifest() {
    std::vector<Sample> samples;
    std::ifstream in(kRaw / "manifest");
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        Sample s;
        std::istringstream(line) >> s.file >> s.extension >> s.end >> s.slack >> s.previewOffset >> s.previewLength >> s.named;
        samples.push_back(s);
    }
    return samples;
}

// What the checker told of one hit.
struct Answer {
    std::string extension;
    uint64_t size = 0;
    bool preview = false;
    uint64_t previewSector = 0, previewExtraBytes = 0, previewLength = 0;
};

// A device image: other data, the file at kFileAt, then `after` bytes of other data.
struct Device {
    static constexpr uint64_t kFileAt = 3 * 4096;

    Device(const std::vector<uint8_t>& file, size_t after) {
        std::vector<uint8_t> bytes(kFileAt + file.size() + after);
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>("other data "[i % 11]);
        std::copy(file.begin(), file.end(), bytes.begin() + kFileAt);
        test::writeFile(path, bytes);
        size = bytes.size();
    }

    // The hit as identified, or as the extension's checker sizes it when one is given.
    Answer hit(uint32_t blockSize, const std::string& extension = "") const {
        const auto unit = test::readBytes(path, kFileAt, 512);
        Answer answer{extension};
        uint64_t unused = 0;
        if (extension.empty())
            answer.extension = SignatureCheck::checkSignatureInBlock_andSectorNumber_blockSize_andBSDPath_fileSizeForOfficeX(
                unit, kFileAt / blockSize, blockSize, path, unused);
        if (answer.extension.empty()) return answer;
        const auto checker = SignatureCheck::searchForFileCheckWithExtension_andSigNode(answer.extension, SigNode());
        answer.size =
            checker->fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(unit, kFileAt / blockSize, blockSize, path);
        answer.preview = checker->isJPGPresent();
        answer.previewSector = checker->jpgFileOffset();
        answer.previewExtraBytes = checker->extraByteForJPGOffset();
        answer.previewLength = checker->jpgFileSize();
        return answer;
    }

    test::TempDir dir;
    fs::path path = dir / "device.img";
    uint64_t size = 0;
};

class RawCheckerTest : public testing::TestWithParam<Sample> {};

// The size is the structure's end and the slack while the slack stays on the device; the
// preview is where the structure puts it, in the device's sectors and the bytes into one.
TEST_P(RawCheckerTest, SizesTheFileAndFindsItsPreviewAtEitherSectorSize) {
    const Sample& sample = GetParam();
    const auto file = test::readFile(kRaw / sample.file);
    const Device device(file, 64 * 1024);
    for (const uint32_t blockSize : {512u, 4096u}) {
        SCOPED_TRACE(blockSize);
        EXPECT_EQ(device.hit(blockSize).extension, sample.named ? sample.extension : "");
        const Answer answer = device.hit(blockSize, sample.extension);
        const bool slackFits = Device::kFileAt + sample.end + sample.slack <= device.size;
        EXPECT_EQ(answer.size, sample.end + (slackFits ? sample.slack : 0));
        EXPECT_EQ(answer.preview, sample.previewLength != 0);
        if (!answer.preview) continue;
        const uint64_t previewAt = Device::kFileAt + sample.previewOffset;
        EXPECT_EQ(answer.previewSector, previewAt / blockSize);
        EXPECT_EQ(answer.previewExtraBytes, previewAt % blockSize);
        EXPECT_EQ(answer.previewLength, sample.previewLength);
    }
}

INSTANTIATE_TEST_SUITE_P(Manifest, RawCheckerTest, testing::ValuesIn(manifest()), [](const auto& info) {
    std::string name = info.param.file;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
});

void putU32be(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

// The faults a checker must not carry into a carve: slack past the device, a preview
// outside the file or without a JPEG marker, an IFD chain that loops.
TEST(RawCheckerSoundness, SlackPreviewAndLoopsStayWithinTheFile) {
    // A file that ends the device gets no slack.
    const auto raf = test::readFile(kRaw / "fujifilm.raf");
    EXPECT_EQ(Device(raf, 0).hit(512).size, raf.size());

    // A preview placed past the raw data, or on bytes that are no JPEG, is dropped.
    auto outside = raf;
    putU32be(outside, 84, static_cast<uint32_t>(raf.size() + 4096));
    auto notJpeg = raf;
    putU32be(notJpeg, 84, 160);
    for (const auto& damaged : {outside, notJpeg}) {
        const Answer answer = Device(damaged, 4096).hit(512);
        EXPECT_EQ(answer.size, raf.size() + 512);
        EXPECT_FALSE(answer.preview);
    }

    // The first IFD linking to itself ends the walk with that IFD's own data: the raw
    // strip and the IFD, not the JPEGs of the IFDs it no longer leads to.
    auto pef = test::readFile(kRaw / "pentax.pef");
    const uint32_t first = ByteView(pef).u32be(4);
    putU32be(pef, first + 2 + 12 * ByteView(pef).u16be(first), first);
    const Answer looping = Device(pef, 4096).hit(4096, "pef");
    EXPECT_EQ(looping.size, pef.size() + 512);
    EXPECT_FALSE(looping.preview);
}

}  // namespace
}  // namespace norix
