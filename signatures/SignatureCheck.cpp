#include "signatures/SignatureCheck.h"

#include <initializer_list>

#include "disk/ByteView.h"
#include "signatures/OtherFileCheck.h"
#include "signatures/checkers/ArwFileCheck.h"
#include "signatures/checkers/BmpFileCheck.h"
#include "signatures/checkers/Cr2FileCheck.h"
#include "signatures/checkers/CrwFileCheck.h"
#include "signatures/checkers/DcrFileCheck.h"
#include "signatures/checkers/DngFileCheck.h"
#include "signatures/checkers/GifFileCheck.h"
#include "signatures/checkers/JpgFileCheck.h"
#include "signatures/checkers/KdcK25FileCheck.h"
#include "signatures/checkers/Mp3FileCheck.h"
#include "signatures/checkers/MrwFileCheck.h"
#include "signatures/checkers/NefFileCheck.h"
#include "signatures/checkers/Office97FileCheck.h"
#include "signatures/checkers/OfficeFileXFileCheck.h"
#include "signatures/checkers/OrfFileCheck.h"
#include "signatures/checkers/PdfFileCheck.h"
#include "signatures/checkers/PefFileCheck.h"
#include "signatures/checkers/PngFileCheck.h"
#include "signatures/checkers/QTFormat.h"
#include "signatures/checkers/RafFileCheck.h"
#include "signatures/checkers/RawFileCheck.h"
#include "signatures/checkers/RawImageFormat.h"
#include "signatures/checkers/Sr2FileCheck.h"
#include "signatures/checkers/ThreefrFileCheck.h"
#include "signatures/checkers/X3fFileCheck.h"

namespace norix {

namespace {

constexpr size_t kUnit = 512;
constexpr std::string_view kOleSignature = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";

bool isOneOf(uint8_t value, std::initializer_list<uint8_t> wanted) {
    for (uint8_t w : wanted)
        if (value == w) return true;
    return false;
}

template <class T>
std::shared_ptr<Checker> make() {
    return std::make_shared<T>();
}

// The extensions that have a checker of their own, in the order they are compared.
struct CheckerEntry {
    std::string_view extension;
    std::shared_ptr<Checker> (*make)();
};
constexpr CheckerEntry kCheckers[] = {
    {"jpg", make<JpgFileCheck>},
    {"bmp", make<BmpFileCheck>},
    {"gif", make<GifFileCheck>},
    {"png", make<PngFileCheck>},
    {"pdf", make<PdfFileCheck>},
    {"xls", make<Office97FileCheck>},
    {"ppt", make<Office97FileCheck>},
    {"doc", make<Office97FileCheck>},
    {"docx", make<OfficeFileXFileCheck>},
    {"xlsx", make<OfficeFileXFileCheck>},
    {"pptx", make<OfficeFileXFileCheck>},
    {"raf", make<RafFileCheck>},
    {"mp3", make<Mp3FileCheck>},
    {"arw", make<ArwFileCheck>},
    {"raw", make<RawFileCheck>},
    {"3fr", make<ThreefrFileCheck>},
    {"x3f", make<X3fFileCheck>},
    {"mrw", make<MrwFileCheck>},
    {"dng", make<DngFileCheck>},
    {"dcr", make<DcrFileCheck>},
    {"nef", make<NefFileCheck>},
    {"pef", make<PefFileCheck>},
    {"orf", make<OrfFileCheck>},
    {"cr2", make<Cr2FileCheck>},
    {"sr2", make<Sr2FileCheck>},
    {"crw", make<CrwFileCheck>},
    {"mov", make<QTFormat>},
    {"mp4", make<QTFormat>},
    {"cr3", make<QTFormat>},
    {"zip", make<QTFormat>},
    {"k25", make<KdcK25FileCheck>},
    {"kdc", make<KdcK25FileCheck>},
};

bool startsWithTiffOrder(ByteView unit) { return unit.matches(0, "II") || unit.matches(0, "MM"); }

// The TIFF-based raw formats; both ARW layouts are filed as "arw", whose checker tells
// them apart when it sizes the file (and finds its preview).
std::string_view rawImage(std::span<const uint8_t> block, uint64_t sectorNumber, uint32_t blockSize,
                          const std::string& bsdPath) {
    const std::string_view kind = RawImageFormat::getExtensionForRawImageInBlock_ndSectorNumber_blockSize_andBSDPath(
        block, sectorNumber, blockSize, bsdPath);
    return kind == "arw1" ? "arw" : kind;
}

}  // namespace

std::string_view SignatureCheck::checkSignatureInBlock_andSectorNumber_blockSize_andBSDPath_fileSizeForOfficeX(
    std::span<const uint8_t> block, uint64_t sectorNumber, uint32_t blockSize, const std::string& bsdPath,
    uint64_t& fileSizeForOfficeX) {
    if (block.size() < kUnit) return {};
    const ByteView unit(block);
    const uint8_t first = unit.u8(0);

    // By the first bytes.
    if (first == 0x89 && unit.matches(1, "PNG") && unit.matches(12, "IHDR")) return "png";
    if (unit.matches(0, kOleSignature))
        return Office97FileCheck::chechForOfficeFileExtension_withSectorNumber_blockSize_andBSDPath(block, sectorNumber,
                                                                                                    blockSize, bsdPath);
    if (unit.matches(0, "\xFF\xD8\xFF") && isOneOf(unit.u8(3), {0xC4, 0xDB, 0xE0, 0xE1, 0xEE, 0xFE})) return "jpg";
    if (unit.matches(0, "GIF8") && isOneOf(unit.u8(4), {'9', '7'}) && unit.u8(5) == 'a') return "gif";
    if (startsWithTiffOrder(unit) && unit.matches(6, "HEAPCCDR")) return "crw";
    if (OfficeFileXFileCheck::isFirstHeader(unit))
        return OfficeFileXFileCheck::getExtension_withSectorNumber_blockSize_andBSDPath_alongSize(
            block, sectorNumber, blockSize, bsdPath, fileSizeForOfficeX);
    if (unit.matches(0, "%PDF")) return "pdf";

    // QuickTime and ISO media: an atom type in bytes 4 to 7.
    if (QTFormat::isQTAtom(unit.u32be(4))) return QTFormat::checkExtensionInBlock(block);
    if (unit.u32be(0) == 0x004D524D) return "mrw";
    if (unit.matches(0, "BM") && unit.u32be(6) == 0) return "bmp";
    if (unit.matches(0, "ID3")) return "mp3";
    if (unit.matches(0, "FUJIFILMCC")) return unit.matches(10, "D-RAW") ? "raf" : "";
    if (first == 0xFF && isOneOf(unit.u8(1), {0xE3, 0xF3, 0xFA, 0xFB, 0xFD}))
        return Mp3FileCheck::isFrameHeader(unit.u32be(0)) ? "mp3" : "";
    if (unit.matches(0, "FOVb") && unit.matches(232, "SEC")) return "x3f";
    if (startsWithTiffOrder(unit)) return rawImage(block, sectorNumber, blockSize, bsdPath);
    return {};
}

std::shared_ptr<Checker> SignatureCheck::searchForFileCheckWithExtension_andSigNode(const std::string& extension,
                                                                                    const SigNode& sigNode) {
    for (const CheckerEntry& entry : kCheckers)
        if (entry.extension == extension) return entry.make();
    return std::make_shared<OtherFileCheck>(sigNode);
}

}  // namespace norix
