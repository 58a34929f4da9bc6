// The metadata tag readers on real files (tools/make-tag-samples.sh), each carved out
// of a device image between other files whose tags a stray read would pick up: the
// encodings, sector sizes and placements the engine's tag copies (NodePlacementTest) do
// not meet. Damaged files are replayed by the tag_readers fuzz target.
#include <gtest/gtest.h>

#include <cctype>
#include <memory>

#include "disk/Platform.h"
#include "signatures/tags/DocxTags.h"
#include "signatures/tags/FileCheck.h"
#include "tests/signatures/DeviceImage.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> sample(const std::string& name) { return test::fixtureBytes("tags/" + name); }

enum class Reader { Image, Audio, Office, OfficeX };

std::optional<TagDictionary> readTags(Reader reader, const BaseTree& node, uint32_t blockSize,
                                      const std::string& path) {
    switch (reader) {
        case Reader::Image: return FileCheck::checkForTagsInImage_withBlockSize_andPath(node, blockSize, path);
        case Reader::Audio: return FileCheck::checkForTagsInAudio_withBlockSize_andPath(node, blockSize, path);
        case Reader::Office: return FileCheck::checkForTagsInOffice_withBlockSize_andPath(node, blockSize, path);
        case Reader::OfficeX: return FileCheck::checkForTagsInOfficeX_withBlockSize_andPath(node, blockSize, path);
    }
    return std::nullopt;
}

constexpr uint64_t kPartitionStart = 2;  // the node's blocksStartsAtSector
constexpr uint32_t kFileBlock = 3;       // the file's first block within the partition

class TagReaderTest : public testing::Test {
protected:
    void SetUp() override { setConsoleQuiet(true); }
    void TearDown() override { setConsoleQuiet(false); }

    // Other files, each from a 4 KiB boundary, so that any sector read outside the
    // carved file meets a picture, a song or a document with tags of its own.
    static std::vector<uint8_t> neighbours() {
        std::vector<uint8_t> bytes;
        for (const char* name : {"exif-le.jpg", "id3v24-utf16be.mp3", "budget.xls", "memo.docx"}) {
            const auto file = sample(name);
            bytes.insert(bytes.end(), file.begin(), file.end());
            bytes.resize((bytes.size() + 4095) / 4096 * 4096);
        }
        return bytes;
    }

    // Lays bytes on the device from byte `offset` of the partition on.
    void putAt(size_t offset, const std::vector<uint8_t>& bytes) {
        const size_t at = kPartitionStart * blockSize + offset;
        if (image.size() < at + bytes.size()) image.resize(at + bytes.size());
        std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(at));
    }
    void put(uint64_t block, const std::vector<uint8_t>& bytes) { putAt(block * blockSize, bytes); }

    static std::unique_ptr<BaseTree> fileNode(uint64_t fileSize, const std::vector<DataExt>& extents) {
        auto node = std::make_unique<BaseTree>();
        node->setfileSize(fileSize);
        node->setblockSstartsAtSector(kPartitionStart);
        for (const DataExt& ext : extents) node->addDataExt(ext);
        return node;
    }

    uint32_t blocksOf(size_t bytes) const { return static_cast<uint32_t>((bytes + blockSize - 1) / blockSize); }

    // The file in one extent, with other files before and after it and an old song in
    // the rest of its last sector.
    std::unique_ptr<BaseTree> carve(const std::vector<uint8_t>& file) {
        const auto others = neighbours();
        image.assign(others.begin(), others.end());
        put(kFileBlock, file);
        auto slack = sample("id3v24-utf16be.mp3");
        slack.resize(blocksOf(file.size()) * blockSize - file.size());
        putAt(kFileBlock * blockSize + file.size(), slack);
        put(kFileBlock + blocksOf(file.size()), others);
        return fileNode(file.size(), {DataExt(kFileBlock, blocksOf(file.size()))});
    }

    std::string device() {
        test::writeFile(dir / "device.img", image);
        return (dir / "device.img").string();
    }

    uint32_t blockSize = 512;
    test::TempDir dir;
    std::vector<uint8_t> image;
};

// --- every sample through its reader ---

struct SampleCase {
    const char* file;
    Reader reader;
    uint32_t blockSize;
    TagDictionary expected;
};

class TagReaderSample : public TagReaderTest, public testing::WithParamInterface<SampleCase> {};

TEST_P(TagReaderSample, AnswersTheFilesOwnTags) {
    blockSize = GetParam().blockSize;
    const auto node = carve(sample(GetParam().file));
    const auto tags = readTags(GetParam().reader, *node, blockSize, device());
    ASSERT_TRUE(tags.has_value());
    EXPECT_EQ(*tags, GetParam().expected);
}

const std::string kLongLatin1Title = [] {
    std::string title = "Caf\u00e9 ";
    for (int i = 0; i < 6; ++i) title += "and a much longer title ";
    return title + "end";
}();

// The EXIF walk starts 12 bytes past the TIFF header, past the first IFD entry, where
// exiftool writes the make: these pictures answer their model and date only.
const SampleCase kSamples[] = {
    {"exif-be.jpg", Reader::Image, 512, {}},
    // A 400-character model is ignored; the date lies past the first sector.
    {"exif-long-model.jpg", Reader::Image, 512, {{"Date", "2024:03:05 10:20:30"}}},
    // No EXIF: the last sectors searched are the file's own, not the next file's.
    {"plain.jpg", Reader::Image, 512, {}},
    {"id3v23-utf16.mp3", Reader::Audio, 512,
     {{"Name", "\u00dcn\u00efcode title that is much lon"}, {"Model", "\u00c4rtist \u00d1ame"}}},
    {"id3v24-utf16be.mp3", Reader::Audio, 512, {{"Name", "\u00dcberschrift"}, {"Model", "K\u00fcnstlerin"}}},
    {"id3v24-latin1-long.mp3", Reader::Audio, 4096, {{"Name", kLongLatin1Title}, {"Model", "Caf\u00e9 Trio"}}},
    // No title; the walk must not run on into the next song.
    {"id3v24-artist-only.mp3", Reader::Audio, 512, {{"Model", "Sigur R\u00f3s"}}},
    // Its summary stream starts on an odd 64-byte mini-stream sector.
    {"budget.xls", Reader::Office, 4096, {{"Name", "Budget 2024"}, {"Model", "Grace Hopper"}}},
    // The same documents rewritten with 4096-byte sectors.
    {"memo-4k-sectors.doc", Reader::Office, 512, {{"Name", "Quarterly Memo"}, {"Model", "Ada Lovelace"}}},
    {"budget.xlsx", Reader::OfficeX, 4096,
     {{"Name", "Budget 2024"}, {"Model", "Grace Hopper"}, {"Date", "2024-04-01T09:00:00Z"}}},
    {"memo-bom-core.docx", Reader::OfficeX, 512, {}},
};

INSTANTIATE_TEST_SUITE_P(Tags, TagReaderSample, testing::ValuesIn(kSamples), [](const auto& info) {
    std::string name = std::string(info.param.file) + "_" + std::to_string(info.param.blockSize);
    for (char& c : name)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
});

// --- where the file lies ---

// A raw file whose EXIF block sits in its last sectors (pictures without EXIF first), and
// a fragmented file read in the order of its extents.
TEST_F(TagReaderTest, ExifInTheLastSectorsAndAFragmentedFileInExtentOrder) {
    for (const uint32_t size : {512u, 4096u}) {
        blockSize = size;
        std::vector<uint8_t> file;
        for (int i = 0; i < 8; ++i) {
            const auto plain = sample("plain.jpg");
            file.insert(file.end(), plain.begin(), plain.end());
        }
        const auto exif = sample("exif-le.jpg");
        file.insert(file.end(), exif.begin(), exif.end());
        const auto node = carve(file);
        const auto tags = FileCheck::checkForTagsInImage_withBlockSize_andPath(*node, blockSize, device());
        const TagDictionary expected{{"Model", "NX-100 Mark II"}, {"Date", "2024:03:05 10:20:30"}};
        EXPECT_EQ(tags, expected) << "block size " << size;
    }

    // A file in two extents, its second half stored before its first on the device.
    blockSize = 512;
    const auto file = sample("memo.docx");
    const size_t half = 4 * blockSize;
    image = neighbours();
    put(40, std::vector<uint8_t>(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(half)));
    put(10, std::vector<uint8_t>(file.begin() + static_cast<std::ptrdiff_t>(half), file.end()));
    put(40 + 4, neighbours());
    const auto node = fileNode(file.size(), {DataExt(40, 4), DataExt(10, blocksOf(file.size() - half))});
    const auto tags = FileCheck::checkForTagsInOfficeX_withBlockSize_andPath(*node, blockSize, device());
    ASSERT_TRUE(tags.has_value());
    EXPECT_EQ(tags->at("Model"), "Ada Lovelace");
}

// A file size of a terabyte and extents to match allocate no more than the read cap.
TEST_F(TagReaderTest, LyingFileSizeIsCappedAndFailuresAnswerNothing) {
    const uint64_t terabyte = uint64_t{1} << 40;
    const TagDictionary song{{"Name", "Evening Tone"}, {"Model", "Norix Quartet"}};
    const auto carved = carve(sample("id3v23-latin1.mp3"));
    const auto node = fileNode(terabyte, {DataExt(kFileBlock, UINT32_MAX), DataExt(kFileBlock, UINT32_MAX)});
    EXPECT_EQ(FileCheck::checkForTagsInAudio_withBlockSize_andPath(*node, blockSize, device()), song);
    // An OOXML package cannot be opened from its first bytes: nothing is read.
    EXPECT_EQ(FileCheck::checkForTagsInOfficeX_withBlockSize_andPath(*node, blockSize, device()), TagDictionary{});

    // Read errors and archive failures answer nothing.
    const std::string missing = (dir / "absent.img").string();
    for (const Reader reader : {Reader::Image, Reader::Audio, Reader::Office, Reader::OfficeX}) {
        EXPECT_EQ(readTags(reader, *carved, blockSize, missing), std::nullopt);
        EXPECT_EQ(readTags(reader, *carved, 0, device()), std::nullopt);
    }
    // core.xml inflates to 2 MiB: refused rather than held in memory.
    EXPECT_EQ(DocxTags::getTagsForData(sample("memo-core-bomb.docx")), std::nullopt);
}

}  // namespace
}  // namespace norix
