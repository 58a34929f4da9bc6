#include "results/FilterState.h"

#include <algorithm>
#include <array>

namespace norix {

namespace {

using Extension = std::optional<std::string>;

bool oneOf(const Extension& extension, std::initializer_list<const char*> group) {
    return extension && std::ranges::any_of(group, [&](const char* member) { return *extension == member; });
}

bool inGroup(const Extension& extension, const std::set<std::string>& group) {
    return extension && group.contains(*extension);
}

// Days since 1970-01-01 of a calendar date (proleptic Gregorian).
int64_t daysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

// The local calendar day of a time, as days since 1970-01-01.
int64_t localDay(std::time_t when) {
    std::tm local{};
    if (!localtime_r(&when, &local)) return 0;
    return daysFromCivil(int64_t{local.tm_year} + 1900, static_cast<unsigned>(local.tm_mon + 1),
                         static_cast<unsigned>(local.tm_mday));
}

template <class Children>
size_t countListed(const FilterState& filter, const Children& children) {
    return static_cast<size_t>(std::ranges::count_if(children, [&](const auto& child) { return filter.isListed(*child); }));
}

template <class Children>
BaseTree* listedAt(const FilterState& filter, const Children& children, size_t index) {
    for (const auto& child : children) {
        if (!filter.isListed(*child)) continue;
        if (index == 0) return &*child;
        --index;
    }
    return nullptr;
}

}  // namespace

void FilterState::addCatalogueCategory(size_t position, const std::vector<std::string>& extensions) {
    std::set<std::string>* group = position == 2 || position == 3 ? &images
                                   : position == 4                ? &audio
                                   : position == 5                ? &video
                                   : position >= 7                ? &others
                                                                  : nullptr;
    if (group) group->insert(extensions.begin(), extensions.end());
}

void FilterState::treePageFiltersAdvClicked(const std::string& identifier) {
    if (identifier == "Advn") return;
    clearadvnChckBtn();
    activeFilterType = identifier;
}

std::optional<std::string> FilterState::advnFilterApplyClicked(const AdvancedFilterWindow& window, std::time_t now) {
    if (window.dateFilter == "Custom" && daysBetweenDate_andDate(window.startDate, window.endDate) < 1)
        return kInvalidDateAlert;
    if (window.sizeFilter == "Range") {
        if (auto alert = checkSizeRange(window.minimumField, window.maximumField)) return alert;
        if (window.sizeTypeFilter == "Select") return kNoSizeTypeAlert;
    }
    activeFilterType = "Advn";
    advnChckBtn = window.checkedBoxes;
    dateFilter = window.dateFilter;
    sizeFilter = window.sizeFilter;
    checkForDateAndSizeFilterValue(window, now);
    return std::nullopt;
}

std::optional<std::string> FilterState::checkSizeRange(int64_t minimum, int64_t maximum) {
    if (maximum == 0) return kZeroMaximumAlert;
    if (maximum < minimum) return kMaximumBelowMinimumAlert;
    return std::nullopt;
}

void FilterState::clearadvnChckBtn() {
    advnChckBtn.clear();
    dateFilter = "Select";
    sizeFilter = "Select";
    endDate = 0;
    dateFilterValue = 0;
    minimumSize = 0;
    maximumSize = 0;
}

void FilterState::checkForDateAndSizeFilterValue(const AdvancedFilterWindow& window, std::time_t now) {
    minimumSize = 0;
    maximumSize = 0;
    if (window.sizeFilter == "Range") {
        const int shift = window.sizeTypeFilter == "KB" ? 10
                          : window.sizeTypeFilter == "MB" ? 20
                          : window.sizeTypeFilter == "GB" ? 30
                                                          : 0;
        // A negative field counts as 0 rather than wrapping round to a huge size.
        minimumSize = static_cast<uint64_t>(std::max(window.minimumField, 0)) << shift;
        maximumSize = static_cast<uint64_t>(std::max(window.maximumField, 0)) << shift;
    } else if (window.sizeFilter == "< 1 MB") {
        maximumSize = 0x100000;
    } else if (window.sizeFilter == "< 100 MB") {
        maximumSize = 0x6400000;
    } else if (window.sizeFilter == "< 1 GB") {
        maximumSize = 0x40000000;
    }

    static constexpr std::array<std::pair<const char*, int64_t>, 4> kFixedDays{
        {{"Today", 0}, {"Yesterday", 1}, {"Last 7 days", 7}, {"Last 1 Month", 31}}};
    dateFilterValue = 0;
    endDate = now;
    if (window.dateFilter == "Custom") {
        endDate = window.endDate;
        dateFilterValue = daysBetweenDate_andDate(window.startDate, window.endDate);
    }
    for (const auto& [choice, days] : kFixedDays)
        if (window.dateFilter == choice) dateFilterValue = days;
}

std::string FilterState::changeForFilerImage() const {
    if (activeFilterType == "allFiles") return "Filter";
    if (activeFilterType == "Other") return "Others";
    for (const char* own : {"Images", "Audio", "Video", "Document", "Email"})
        if (activeFilterType == own) return own;
    return "Advanced Filter";
}

bool FilterState::isListed(const BaseTree& child) const {
    if (child.fileType == 1 || activeFilterType == "allFiles") return true;
    // Parsing the display date back costs a time-zone lookup: only a date window needs it.
    const bool dated = dateFilter != "Select";
    return checkFilter_withDate_Size_andDeletedFlag(child.getExtension(), dated ? child.getDateInDateFormat() : std::nullopt,
                                                    child.fileSize, child.deleted);
}

size_t FilterState::countFromNDIRWithFilter(const BaseTree& dir) const {
    return countListed(*this, dir.childrenArray);
}

BaseTree* FilterState::getFilteredNDIRFromDir_atIndex(const BaseTree& dir, size_t index) const {
    return listedAt(*this, dir.childrenArray, index);
}

size_t FilterState::countFromNDIRWithFilter(std::span<BaseTree* const> children) const {
    return countListed(*this, children);
}

BaseTree* FilterState::getFilteredNDIRFromDir_atIndex(std::span<BaseTree* const> children, size_t index) const {
    return listedAt(*this, children, index);
}

bool FilterState::checkFilter_withDate_Size_andDeletedFlag(const Extension& extension, std::optional<std::time_t> date,
                                                           uint64_t size, uint8_t deleted) const {
    if (activeFilterType == "allFiles") return true;
    if (activeFilterType == "Images") return checkForImageFilter(extension);
    if (activeFilterType == "Audio") return checkForAudioFilter(extension);
    if (activeFilterType == "Video") return checkForVideoFilter(extension);
    if (activeFilterType == "Other") return checkForOthersFilter(extension);
    if (activeFilterType == "Document") return checkForDocumentsFilter(extension);
    if (activeFilterType == "Email") return checkForEmailFilter(extension);
    return checkForAdvanceFilter_withDeletedFlag_withDate_andSize(extension, deleted, date, size);
}

bool FilterState::checkForAdvanceFilter_withDeletedFlag_withDate_andSize(const Extension& extension, uint8_t deleted,
                                                                         std::optional<std::time_t> date,
                                                                         uint64_t size) const {
    // The boxes are alternatives: "Deleted" with "Images" lists every deleted file and every image.
    const auto passesBox = [&](const std::string& box) {
        if (box == "Deleted") return deleted != 0;
        if (box == "Existing") return deleted == 0;
        if (box == "Word") return checkForWordFilter(extension);
        if (box == "PowerPoint") return checkForPowerPointFilter(extension);
        if (box == "Sheet") return checkForSheetFilter(extension);
        if (box == "PDF") return oneOf(extension, {"pdf"});
        if (box == "Images") return checkForImageFilter(extension);
        if (box == "Audio") return checkForAudioFilter(extension);
        if (box == "Video") return checkForVideoFilter(extension);
        if (box == "Email") return checkForEmailFilter(extension);
        if (box == "Others") return checkForOthersFilter(extension);
        return false;
    };
    bool passes = advnChckBtn.empty() || std::ranges::any_of(advnChckBtn, passesBox);
    if (dateFilter != "Select" && passes) passes = checkForDateFilterWithDate(date);
    if (sizeFilter != "Select" && passes) passes = checkForSizeFilterWithValue(size);
    return passes;
}

bool FilterState::checkForDateFilterWithDate(std::optional<std::time_t> date) const {
    if (!date) return true;
    const int64_t days = daysBetweenDate_andDate(*date, endDate);
    return days >= 0 && days <= dateFilterValue;
}

bool FilterState::checkForSizeFilterWithValue(uint64_t size) const {
    return minimumSize < size && size <= maximumSize;
}

bool FilterState::checkForImageFilter(const Extension& extension) const { return inGroup(extension, images); }
bool FilterState::checkForAudioFilter(const Extension& extension) const { return inGroup(extension, audio); }
bool FilterState::checkForVideoFilter(const Extension& extension) const { return inGroup(extension, video); }
bool FilterState::checkForOthersFilter(const Extension& extension) const { return inGroup(extension, others); }

bool FilterState::checkForDocumentsFilter(const Extension& extension) {
    return oneOf(extension, {"txt", "rtf", "h", "c", "m", "cs", "html", "cpp", "pdf"}) ||
           checkForWordFilter(extension) || checkForSheetFilter(extension) || checkForPowerPointFilter(extension);
}

bool FilterState::checkForEmailFilter(const Extension& extension) { return oneOf(extension, {"obm", "pst", "ost"}); }
bool FilterState::checkForWordFilter(const Extension& extension) { return oneOf(extension, {"doc", "docx"}); }
bool FilterState::checkForSheetFilter(const Extension& extension) { return oneOf(extension, {"xls", "xlsx"}); }
bool FilterState::checkForPowerPointFilter(const Extension& extension) { return oneOf(extension, {"ppt", "pptx"}); }

int64_t FilterState::daysBetweenDate_andDate(std::time_t first, std::time_t second) {
    return localDay(second) - localDay(first);
}

}  // namespace norix
