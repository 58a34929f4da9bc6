#include "signatures/SigCatalogue.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <unistd.h>

#include "disk/Platform.h"
#include "results/TreeClassMethod.h"
#include "signatures/OtherFileCheck.h"
#include "signatures/SignatureCheck.h"

namespace norix {

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kMaximumOffset = 512;
constexpr size_t kMaximumSignatureLength = 16;        // characters: 8 bytes
constexpr uint64_t kSampleSlack = 2097152;            // added to a sample file's length
constexpr uintmax_t kCatalogueFileLimit = 16u << 20;  // a larger file is not a catalogue

// Filter groups by the position of a category (positions 0, 1 and 6 feed none).
std::vector<std::string>* groupFor(size_t position, SigCatalogue& catalogue) {
    if (position == 2 || position == 3) return &catalogue.images;
    if (position == 4) return &catalogue.audio;
    if (position == 5) return &catalogue.video;
    if (position >= 7) return &catalogue.others;
    return nullptr;
}

std::string readCatalogueFile(const std::string& path) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(path, ec);
    if (ec) throw std::runtime_error(ec.message());
    if (size > kCatalogueFileLimit) throw std::runtime_error("the file is too large");
    std::ifstream in(path, std::ios::binary);
    std::string text(static_cast<size_t>(size), '\0');
    if (!in.read(text.data(), static_cast<std::streamsize>(size))) throw std::runtime_error(std::strerror(errno));
    return text;
}

// Creates the folder and its missing parents, one level at a time.
void makeFolders(const fs::path& folder) {
    fs::path partial;
    for (const auto& part : folder) {
        partial /= part;
        makeFolder(partial.string());
    }
}

std::string withoutSpaces(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    return text;
}

// A whole number from digits; nothing when it has other characters or does not fit.
std::optional<uint64_t> wholeNumber(std::string_view digits) {
    uint64_t value = 0;
    if (digits.empty() || !SigCatalogue::stringIsNumeric(digits)) return std::nullopt;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

// The maximum size in MiB, rounded up; nothing when it does not fit 32 bits or the
// unit is unknown.
std::optional<uint32_t> sizeInMiB(uint64_t value, const std::string& unit) {
    uint64_t mib = 0;
    if (unit == "KB")
        mib = (value + 1023) / 1024;
    else if (unit == "MB")
        mib = value;
    else if (unit == "GB")
        mib = value << 10;
    else if (unit == "TB")
        mib = value << 20;
    else
        return std::nullopt;
    if (mib > std::numeric_limits<uint32_t>::max()) return std::nullopt;
    return static_cast<uint32_t>(mib);
}

// The first length bytes (of 8) as a big-endian number.
uint64_t leadingNumber(std::span<const uint8_t, 8> bytes, size_t length) {
    uint64_t value = 0;
    for (size_t i = 0; i < std::min<size_t>(length, 8); ++i) value = (value << 8) | bytes[i];
    return value;
}

// Eight bytes of the file from offset on; missing bytes are zero.
std::array<uint8_t, 8> eightBytesAt(std::ifstream& in, uint64_t offset) {
    std::array<uint8_t, 8> bytes{};
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(bytes.data()), bytes.size());
    return bytes;
}

bool isShippedCategory(const std::string& name) {
    static const std::vector<std::string> shipped = [] {
        std::vector<std::string> names;
        const auto catalogue = SigCatalogue::parseCatalogue(SigCatalogue::shippedCatalogue());
        for (const auto& category : catalogue.front()->children) names.push_back(category->category);
        return names;
    }();
    return std::find(shipped.begin(), shipped.end(), name) != shipped.end();
}

std::string quoted(const char* format, const std::string& first, const std::string& second) {
    const int length = std::snprintf(nullptr, 0, format, first.c_str(), second.c_str());
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, first.c_str(), second.c_str());
    text.pop_back();
    return text;
}

}  // namespace

std::string SigCatalogue::catalogueFilePath() { return dataFolder() + "/Sig_AL.dat"; }

std::vector<std::unique_ptr<SigNode>> SigCatalogue::parseCatalogue(std::string_view text) {
    const auto document = nlohmann::json::parse(text);
    if (!document.is_array() || document.empty()) throw std::runtime_error("the catalogue is not a list");
    std::vector<std::unique_ptr<SigNode>> array;
    array.push_back(SigNode::decode(document.front(), 0));
    return array;
}

std::optional<std::string> SigCatalogue::loadSig() {
    const std::string path = catalogueFilePath();
    std::optional<std::string> report;
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        copySigData();
    } else {
        try {
            sigRootArray = parseCatalogue(readCatalogueFile(path));
        } catch (const std::exception& e) {
            sigRootArray = parseCatalogue(shippedCatalogue());
            const std::string aside = path + ".bad";
            report = "The file-type catalogue " + path + " could not be read (" + e.what() + ")";
            if (std::rename(path.c_str(), aside.c_str()) == 0) {
                *report += "; it was kept as " + aside + " and the shipped catalogue took its place.";
                saveSigData();
            } else {
                *report += " nor set aside (" + std::string(std::strerror(errno)) +
                           "); the shipped catalogue is used for now.";
            }
        }
    }
    fillLists();
    return report;
}

void SigCatalogue::copySigData() {
    sigRootArray = parseCatalogue(shippedCatalogue());
    saveSigData();
}

bool SigCatalogue::saveSigData() const {
    const fs::path path = catalogueFilePath();
    makeFolders(path.parent_path());
    nlohmann::json array = nlohmann::json::array();
    for (const auto& node : sigRootArray) array.push_back(node->encode());
    // Written beside the old file and renamed over it, so a failed write leaves the
    // old catalogue whole.
    const std::string temporary = path.string() + ".tmp." + std::to_string(getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << array.dump(1) << '\n';
        out.flush();
        if (out && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
    }
    std::remove(temporary.c_str());
    consoleLog("Failed Signature\n");
    return false;
}

void SigCatalogue::fillLists() {
    selectedSigArray = makeSelectedSigArray();
    images.clear(), audio.clear(), video.clear(), others.clear();
    SigNode* top = root();
    if (!top) return;
    for (size_t position = 0; position < top->children.size(); ++position) {
        SigNode& category = *top->children[position];
        category.parent = top;
        bool preInstalled = false;
        for (auto& type : category.children) {
            type->parent = &category;
            if (auto* group = groupFor(position, *this)) group->push_back(type->sig->extension);
            preInstalled = preInstalled || type->sig->preInstalled;
        }
        category.containsPreInstalledChildren = preInstalled;
    }
}

SelectedSigArray SigCatalogue::makeSelectedSigArray() const {
    SelectedSigArray table;
    if (!root()) return table;
    for (const auto& category : root()->children) {
        for (const auto& type : category->children) {
            if (type->selected == 0) continue;
            auto checker = SignatureCheck::searchForFileCheckWithExtension_andSigNode(type->sig->extension, *type);
            if (std::dynamic_pointer_cast<OtherFileCheck>(checker))
                table.other.push_back(std::move(checker));
            else
                table.byExtension[type->sig->extension] = std::move(checker);
        }
    }
    return table;
}

std::optional<std::string> SigCatalogue::validate(NewSigForm& form, uint32_t& maximumSizeMiB) const {
    if (form.category.empty()) return "Please input the category name for the file type";
    if (form.fileType.empty()) return "Please input the file Type for the file";
    if (form.extension.empty()) return "Please input the extension name for the file type";
    if (withoutSpaces(form.signature).empty()) return "Please input the signature name for the file type";
    if (form.offset.empty()) return "Please input the offset name for the file type";
    const auto size = wholeNumber(form.maximumSize);
    const auto sizeMiB = size ? sizeInMiB(*size, form.sizeUnit) : std::nullopt;
    if (!sizeMiB) return "Maximum File Size to recover has to be in range of 1 to 50000.";
    if (*size == 0) return "Maximum File Size to recover cannot be nil";
    if (form.extension.front() == '.') return "Please remove dot \".\" from the beginning of the extension";
    form.signature = withoutSpaces(form.signature);
    if (!stringIsHex(form.signature)) return "Please enter correct signature: A-F, a-f, 0-9";
    if (form.signature.size() % 2 != 0) return "Incorrect signature: enter even number of characters";
    if (form.signature.size() > kMaximumSignatureLength) return "Incorrect signature: enter only a maximum of 8 bytes";
    if (!stringIsNumeric(form.offset)) return "Please enter numeric value in offset";
    const auto offset = wholeNumber(form.offset);
    if (!offset || *offset > kMaximumOffset) return "Offset cannot be more then 512";

    const uint64_t header = getHeaderFromString(form.signature);
    for (const auto& category : root()->children) {
        for (const auto& type : category->children) {
            if (category->category == form.category && type->sig->software == form.fileType)
                return quoted("File Type \"%s\" under category \"%s\" already exists. Please enter different names",
                              form.fileType, form.category);
        }
    }
    for (const auto& category : root()->children) {
        for (const auto& type : category->children) {
            if (type->sig->header == header && type->sig->offset == *offset)
                return quoted("This signature/offset pair already exists in file type \"%s\" under category \"%s\".",
                              type->sig->software, category->category);
        }
    }
    maximumSizeMiB = *sizeMiB;
    return std::nullopt;
}

std::optional<std::string> SigCatalogue::addNewSigOKClicked(NewSigForm& form) {
    if (!root()) return "Failed Signature";
    uint32_t maximumSizeMiB = 0;
    if (auto message = validate(form, maximumSizeMiB)) return message;

    Sig sig;
    sig.category = form.category;
    sig.software = form.fileType;
    sig.extension = form.extension;
    sig.header = getHeaderFromString(form.signature);
    sig.headerLength = static_cast<uint8_t>(form.signature.size() / 2);
    sig.offset = static_cast<uint16_t>(*wholeNumber(form.offset));
    sig.defaultSize = maximumSizeMiB;
    const auto makeNode = [&] {
        auto node = std::make_unique<SigNode>();
        node->fileTypeSigNode = 2;
        node->category = form.category;
        node->setSig(sig);
        return node;
    };
    bool placed = false;
    for (auto& category : root()->children) {
        if (category->category != form.category) continue;
        category->addChild(makeNode());
        category->setCount();
        placed = true;
    }
    if (!placed) {
        auto category = std::make_unique<SigNode>();
        category->fileTypeSigNode = 1;
        category->category = form.category;
        category->addChild(makeNode());
        root()->addChild(std::move(category))->setCount();
    }
    root()->setCount();
    if (!saveSigData()) return "Failed Signature";
    fillNullValue(form);
    return std::nullopt;
}

bool SigCatalogue::removeFileType(SigNode* node) {
    if (!node || !node->parent) return true;
    SigNode* category = node->parent;
    std::erase_if(category->children, [&](const auto& child) { return child.get() == node; });
    SigNode* top = category->parent;
    if (top && category->children.empty() && !isShippedCategory(category->category))
        std::erase_if(top->children, [&](const auto& child) { return child.get() == category; });
    else
        category->setCount();
    if (top) top->setCount();
    return saveSigData();
}

std::vector<SigNode*> SigCatalogue::fileTypesWithExtension(const std::string& extension) const {
    std::vector<SigNode*> found;
    if (!root()) return found;
    for (const auto& category : root()->children)
        for (const auto& type : category->children)
            if (type->sig->extension == extension) found.push_back(type.get());
    return found;
}

SigNode* SigCatalogue::checkForFileTypeExists(const std::string& extension) const {
    const auto found = fileTypesWithExtension(extension);
    return found.empty() ? nullptr : found.front();
}

std::variant<NewSigForm, std::string> SigCatalogue::checkForFileTypeForSlectedFile(const std::string& path) const {
    std::error_code ec;
    const uintmax_t length = fs::file_size(path, ec);
    std::ifstream in(path, std::ios::binary);
    if (ec || !in) return path + ": " + (ec ? ec.message() : std::string(std::strerror(errno)));
    std::string extension = fs::path(path).extension().string();
    if (!extension.empty()) extension.erase(0, 1);

    const auto first = eightBytesAt(in, 0);
    if (const SigNode* existing = checkForFileTypeExists(extension)) {
        const Sig& sig = *existing->sig;
        if (leadingNumber(eightBytesAt(in, sig.offset), sig.headerLength) == sig.header) {
            consoleLog("Same\n");
            return std::string("Same File Type already exist.");
        }
    }
    consoleLog("Add\n");
    return addFileTypeFromBrowsedFileWithData_andExtension(first, extension, length);
}

NewSigForm SigCatalogue::addFileTypeFromBrowsedFileWithData_andExtension(std::span<const uint8_t> firstBytes,
                                                                         const std::string& extension,
                                                                         uint64_t fileLength) {
    NewSigForm form;
    fillNullValue(form);
    std::array<uint8_t, 8> bytes{};
    std::copy_n(firstBytes.begin(), std::min(firstBytes.size(), bytes.size()), bytes.begin());
    char hex[17];
    std::snprintf(hex, sizeof hex, "%02x%02x%02x%02x%02x%02x%02x%02x", bytes[0], bytes[1], bytes[2], bytes[3], bytes[4],
                  bytes[5], bytes[6], bytes[7]);
    form.signature = hex;
    form.extension = extension;
    // Rounded up, so that a file as long as the sample is recovered whole.
    double size = static_cast<double>(fileLength + kSampleSlack);
    form.sizeUnit = TreeClassMethod::checkSizeForNumber(size);
    form.maximumSize = std::to_string(static_cast<uint64_t>(std::ceil(size)));
    return form;
}

void SigCatalogue::fillNullValue(NewSigForm& form) { form = NewSigForm{"", "", "", "", "0", "0", "MB"}; }

std::optional<std::string> SigCatalogue::applyClicked() {
    saveSigData();
    return loadSig();
}

void SigCatalogue::clearClicked() {
    for (auto& node : sigRootArray) node->check(false);
}

void SigCatalogue::sigCheckClicked(SigNode* node) { setTicked(node, node->selected == 0); }

void SigCatalogue::setTicked(SigNode* node, bool ticked) {
    node->check(ticked);
    for (SigNode* ancestor = node->parent; ancestor; ancestor = ancestor->parent) ancestor->setCount();
}

uint64_t SigCatalogue::getHeaderFromString(std::string_view text) {
    const auto digit = [](char c) -> uint64_t {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return 0;
    };
    const size_t pairs = std::min<size_t>(text.size() / 2, 8);
    uint64_t header = 0;
    for (size_t k = 0; k < pairs; ++k) header = (header << 8) | (digit(text[2 * k]) << 4 | digit(text[2 * k + 1]));
    return header;
}

bool SigCatalogue::stringIsNumeric(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool SigCatalogue::stringIsHex(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

}  // namespace norix
