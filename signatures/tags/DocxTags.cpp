#include "signatures/tags/DocxTags.h"

#include <exception>
#include <string_view>

#include "disk/Platform.h"
#include "signatures/tags/ZipArchive.h"

namespace norix {

namespace {

// Core properties are a few hundred bytes; anything inflating past this is not one.
constexpr size_t kMaxCorePropertiesSize = 1 << 20;

// The text between the first `open` and the first `close` after it; empty when either is missing.
std::string textBetween(std::string_view xml, std::string_view open, std::string_view close) {
    const size_t start = xml.find(open);
    if (start == std::string_view::npos) return {};
    const size_t from = start + open.size();
    const size_t end = xml.find(close, from);
    if (end == std::string_view::npos) return {};
    return std::string(xml.substr(from, end - from));
}

// The modification date: the element carries an xsi:type attribute, so its text
// starts after the ">" that closes the opening tag.
std::string modifiedDate(std::string_view xml) {
    const size_t tag = xml.find("<dcterms:modified");
    if (tag == std::string_view::npos) return {};
    const size_t close = xml.find('>', tag);
    if (close == std::string_view::npos) return {};
    std::string date = textBetween(xml.substr(close), ">", "</dcterms:modified>");
    return date.size() < 4 ? std::string() : date;
}

TagDictionary tagsFromCoreProperties(std::string_view xml) {
    if (xml.size() < 6 || xml.front() != '<') return {};
    const std::string author = textBetween(xml, "<dc:creator>", "</dc:creator>");
    if (author.empty()) return {};
    std::string title = textBetween(xml, "<dc:title>", "</dc:title>");
    if (title.empty()) title = "Unknown";
    return {{"Name", title}, {"Model", author}, {"Date", modifiedDate(xml)}};
}

}  // namespace

std::optional<TagDictionary> DocxTags::getTagsForData(std::span<const uint8_t> data) {
    try {
        const ZipArchive archive(data);
        const auto index = archive.locate("docProps/core.xml");
        if (!index) return TagDictionary{};
        const auto xml = archive.extract(*index, kMaxCorePropertiesSize);
        return tagsFromCoreProperties(std::string_view(reinterpret_cast<const char*>(xml.data()), xml.size()));
    } catch (const std::exception& error) {
        consoleLog("%s\n", error.what());
        return std::nullopt;
    }
}

}  // namespace norix
