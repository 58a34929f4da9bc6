// The camera raw checkers on real camera files and on files synthesised for the makers
// they lack (tools/make-raw-samples.sh; tests/fixtures/raw/manifest gives where each
// file's structure ends and where its preview lies). Each file is laid on a device image
// between other data, named by identification and sized by its type's checker, as the
// deep scan does. Cut, looping and damaged files are replayed by the raw_checkers fuzz
// target.
#include <gtest/gtest.h>

#include <tuple>

#include "disk/ByteView.h"
#include "signatures/SigNode.h"
#include "signatures/SignatureCheck.h"
#include "tests/signatures/RawManifest.h"
#include "tests/support/TestSupport.h"

namespace norix {
namespace {

using test::kRawSamples;
using test::RawSample;

// A device image: other data, the file at kFileAt, then `after` bytes of other data.
struct Device {
    static constexpr uint64_t kFileAt = 3 * 4096;

    Device(const std::vector<uint8_t>& file, size_t after) {
        std::vector<uint8_t> image(kFileAt + file.size() + after);
        for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>("other data "[i % 11]);
        std::copy(file.begin(), file.end(), image.begin() + kFileAt);
        test::writeFile(path, image);
        bytes = image.size();
    }

    std::vector<uint8_t> unit() const { return test::readBytes(path, kFileAt, 512); }
    std::string identify(uint32_t blockSize) const {
        uint64_t unused = 0;
        return std::string(SignatureCheck::checkSignatureInBlock_andSectorNumber_blockSize_andBSDPath_fileSizeForOfficeX(
            unit(), kFileAt / blockSize, blockSize, path, unused));
    }
    // The extension's checker, having sized the file; its answer.
    std::pair<std::shared_ptr<Checker>, uint64_t> size(uint32_t blockSize, const std::string& extension) const {
        auto checker = SignatureCheck::searchForFileCheckWithExtension_andSigNode(extension, SigNode());
        return {checker, checker->fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(unit(), kFileAt / blockSize,
                                                                                            blockSize, path)};
    }

    test::TempDir dir;
    std::filesystem::path path = dir / "device.img";
    uint64_t bytes = 0;
};

class RawCheckerTest : public testing::TestWithParam<RawSample> {};

// The size is the structure's end and the slack while the slack stays on the device; the
// preview is where the structure puts it, in the device's sectors and the bytes into one.
TEST_P(RawCheckerTest, SizesTheFileAndFindsItsPreviewAtEitherSectorSize) {
    const RawSample& sample = GetParam();
    const Device device(test::readFile(kRawSamples / sample.file), 64 * 1024);
    for (const uint32_t blockSize : {512u, 4096u}) {
        SCOPED_TRACE(blockSize);
        EXPECT_EQ(device.identify(blockSize), sample.named ? sample.extension : "");
        const auto [checker, size] = device.size(blockSize, sample.extension);
        const bool slackFits = Device::kFileAt + sample.end + sample.slack <= device.bytes;
        EXPECT_EQ(size, sample.end + (slackFits ? sample.slack : 0));
        const uint64_t previewAt = Device::kFileAt + sample.previewOffset;
        EXPECT_EQ(checker->isJPGPresent(), sample.previewLength != 0);
        if (!sample.previewLength) continue;
        EXPECT_EQ(std::tuple(checker->jpgFileOffset(), checker->extraByteForJPGOffset(), checker->jpgFileSize()),
                  std::tuple(previewAt / blockSize, previewAt % blockSize, sample.previewLength));
    }
}

INSTANTIATE_TEST_SUITE_P(Manifest, RawCheckerTest, testing::ValuesIn(test::rawManifest()), [](const auto& info) {
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
    const auto raf = test::readFile(kRawSamples / "fujifilm.raf");
    EXPECT_EQ(Device(raf, 0).size(512, "raf").second, raf.size());

    // A preview placed past the raw data, or on bytes that are no JPEG, is dropped.
    auto outside = raf, notJpeg = raf;
    putU32be(outside, 84, static_cast<uint32_t>(raf.size() + 4096));
    putU32be(notJpeg, 84, 160);
    for (const auto& damaged : {outside, notJpeg}) {
        const auto [checker, size] = Device(damaged, 4096).size(512, "raf");
        EXPECT_EQ(size, raf.size() + 512);
        EXPECT_FALSE(checker->isJPGPresent());
    }

    // The first IFD linking to itself ends the walk with that IFD's own data: the raw
    // strip and the IFD, not the JPEGs of the IFDs it no longer leads to.
    auto pef = test::readFile(kRawSamples / "pentax.pef");
    const uint32_t first = ByteView(pef).u32be(4);
    putU32be(pef, first + 2 + 12 * ByteView(pef).u16be(first), first);
    const auto [checker, size] = Device(pef, 4096).size(4096, "pef");
    EXPECT_EQ(size, pef.size() + 512);
    EXPECT_FALSE(checker->isJPGPresent());
}

}  // namespace
}  // namespace norix
