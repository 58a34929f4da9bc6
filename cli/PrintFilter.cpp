#include "cli/PrintFilter.h"

#include "signatures/SigCatalogue.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <limits>

namespace norix::cli {

namespace {

constexpr uint64_t kLargestSize = std::numeric_limits<int64_t>::max();

// "N", or N with a unit of powers of 1024: "K"/"KB", "M"/"MB", "G"/"GB" (any case).
std::optional<uint64_t> parseSize(const std::string& text) {
    size_t digits = 0;
    uint64_t value = 0;
    for (; digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits])); ++digits) {
        if (value > (kLargestSize - 9) / 10) return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(text[digits] - '0');
    }
    if (digits == 0) return std::nullopt;
    std::string unit = text.substr(digits);
    std::ranges::transform(unit, unit.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    static constexpr std::pair<const char*, int> kUnits[] = {{"", 0},   {"K", 10}, {"KB", 10}, {"M", 20},
                                                             {"MB", 20}, {"G", 30}, {"GB", 30}};
    int shift = -1;
    for (const auto& [name, bits] : kUnits)
        if (unit == name) shift = bits;
    if (shift < 0 || value > kLargestSize >> shift) return std::nullopt;
    return value << shift;
}

}  // namespace

bool PrintFilter::takeOption(const std::vector<std::string>& args, size_t& i, std::string& error) {
    const std::string& option = args[i];
    const bool hasValue = i + 1 < args.size();
    if (option == "--deleted" || option == "--existing") {
        boxes_.insert(option == "--deleted" ? "Deleted" : "Existing");
        return true;
    }
    if (option == "--filter") {
        static const std::set<std::string> kCategories{"Images", "Audio", "Video", "Document", "Email", "Other"};
        if (!hasValue || !kCategories.contains(args[i + 1])) {
            error = "--filter takes Images, Audio, Video, Document, Email or Other";
            return false;
        }
        category_.treePageFiltersAdvClicked(args[++i]);
        useCategory_ = true;
        return true;
    }
    if (option == "--min-size" || option == "--max-size") {
        const auto size = hasValue ? parseSize(args[i + 1]) : std::nullopt;
        if (!size) {
            error = option + " takes a size in bytes, or with a unit KB, MB or GB";
            return false;
        }
        (option == "--min-size" ? minimumSize_ : maximumSize_) = size;
        ++i;
        return true;
    }
    return false;
}

std::optional<std::string> PrintFilter::finish() {
    // The media groups follow the catalogue's categories, by position.
    SigCatalogue catalogue;
    catalogue.loadSig();
    const auto& categories = catalogue.sigRootArray.front()->children;
    for (size_t position = 0; position < categories.size(); ++position) {
        std::vector<std::string> extensions;
        for (const auto& type : categories[position]->children)
            if (type->sig) extensions.push_back(type->sig->extension);
        category_.addCatalogueCategory(position, extensions);
    }
    if (boxes_.empty() && !minimumSize_ && !maximumSize_) return std::nullopt;
    AdvancedFilterWindow window;
    window.checkedBoxes = boxes_;
    // Boxes alone leave nothing to refuse; the size window is set in bytes below.
    advanced_.advnFilterApplyClicked(window, std::time(nullptr));
    if (minimumSize_ || maximumSize_) {
        const uint64_t minimum = minimumSize_.value_or(0), maximum = maximumSize_.value_or(kLargestSize);
        if (auto alert = FilterState::checkSizeRange(static_cast<int64_t>(minimum), static_cast<int64_t>(maximum)))
            return alert;
        advanced_.sizeFilter = "Range";
        advanced_.minimumSize = minimum;
        advanced_.maximumSize = maximum;
    }
    return std::nullopt;
}

bool PrintFilter::listed(const BaseTree& node) const {
    if (useCategory_ && !category_.isListed(node)) return false;
    return advanced_.isListed(node);
}

}  // namespace norix::cli
