#pragma once
// Which children of a folder the results page lists: all of them, those of one quick
// category, or those the advanced filter lets through. Folders are always listed, and
// filters never change the tree, its check marks or its counts. The state is one plain
// object its owner (the application) keeps; the listing reads nodes, so it runs under
// the engine's tree lock held for reading.

#include <cstdint>
#include <ctime>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "results/BaseTree.h"

namespace norix {

// The controls of the advanced filter window as the user left them.
struct AdvancedFilterWindow {
    // "Deleted", "Existing", "Word", "PowerPoint", "Sheet", "PDF", "Images", "Audio",
    // "Video", "Email", "Others"
    std::set<std::string> checkedBoxes;
    // "Select", "Today", "Yesterday", "Last 7 days", "Last 1 Month", "Custom"
    std::string dateFilter = "Select";
    // "Select", "< 1 MB", "< 100 MB", "< 1 GB", "Range"
    std::string sizeFilter = "Select";
    // "Select", "KB", "MB", "GB"
    std::string sizeTypeFilter = "Select";
    int32_t minimumField = 0;
    int32_t maximumField = 0;
    std::time_t startDate = 0;  // the two date pickers of "Custom"
    std::time_t endDate = 0;
};

// The advanced filter's alerts.
inline constexpr const char* kInvalidDateAlert = "Select a valid Date";
inline constexpr const char* kZeroMaximumAlert = "Maximum size value cannot be 0.";
inline constexpr const char* kMaximumBelowMinimumAlert = "Maximum size cannot be smaller than minimum size.";
inline constexpr const char* kNoSizeTypeAlert = "Select Size type.";

class FilterState {
public:
    // "allFiles", "Images", "Audio", "Video", "Document", "Email", "Other", or "Advn".
    std::string activeFilterType = "allFiles";
    // Extensions of each media group, from the file-type catalogue.
    std::set<std::string> images, audio, video, others;
    // The advanced filter as last applied: its boxes, its date and size choices, the
    // end date its date window counts back from, and the two windows.
    std::set<std::string> advnChckBtn;
    std::string dateFilter = "Select";
    std::string sizeFilter = "Select";
    std::time_t endDate = 0;
    int64_t dateFilterValue = 0;  // days
    uint64_t minimumSize = 0;     // bytes, exclusive
    uint64_t maximumSize = 0;     // bytes, inclusive

    // Files a catalogue category's extensions under a media group by the category's
    // position: 2 and 3 images, 4 audio, 5 video, 7 on others; 0, 1 and 6 none.
    void addCatalogueCategory(size_t position, const std::vector<std::string>& extensions);

    // A filter-menu item: any but "Advn" (whose window the application opens) clears
    // the advanced filter and becomes the active filter.
    void treePageFiltersAdvClicked(const std::string& identifier);
    // Applies the window: nothing when done, else the alert to show (nothing changes).
    std::optional<std::string> advnFilterApplyClicked(const AdvancedFilterWindow& window, std::time_t now);
    void clearadvnChckBtn();
    // The date and size windows of the window's choices; "now" ends the fixed date choices.
    void checkForDateAndSizeFilterValue(const AdvancedFilterWindow& window, std::time_t now);
    // The filter button's image name.
    std::string changeForFilerImage() const;
    // The alert for a size range of maximum below minimum or of zero maximum.
    static std::optional<std::string> checkSizeRange(int64_t minimum, int64_t maximum);

    // A child is listed when it is a folder or when its file passes the filter.
    bool isListed(const BaseTree& child) const;
    size_t countFromNDIRWithFilter(const BaseTree& dir) const;
    // The listed child at a row (from 0); nothing past the last.
    BaseTree* getFilteredNDIRFromDir_atIndex(const BaseTree& dir, size_t index) const;
    // The same over a list of nodes, such as the matches of a name search.
    size_t countFromNDIRWithFilter(std::span<BaseTree* const> children) const;
    BaseTree* getFilteredNDIRFromDir_atIndex(std::span<BaseTree* const> children, size_t index) const;

    // One file by its extension (nothing: no name), display date (nothing: none), size
    // and deleted mark.
    bool checkFilter_withDate_Size_andDeletedFlag(const std::optional<std::string>& extension,
                                                  std::optional<std::time_t> date, uint64_t size,
                                                  uint8_t deleted) const;
    bool checkForAdvanceFilter_withDeletedFlag_withDate_andSize(const std::optional<std::string>& extension,
                                                                uint8_t deleted, std::optional<std::time_t> date,
                                                                uint64_t size) const;
    bool checkForDateFilterWithDate(std::optional<std::time_t> date) const;
    bool checkForSizeFilterWithValue(uint64_t size) const;
    bool checkForImageFilter(const std::optional<std::string>& extension) const;
    bool checkForAudioFilter(const std::optional<std::string>& extension) const;
    bool checkForVideoFilter(const std::optional<std::string>& extension) const;
    bool checkForOthersFilter(const std::optional<std::string>& extension) const;
    static bool checkForDocumentsFilter(const std::optional<std::string>& extension);
    static bool checkForEmailFilter(const std::optional<std::string>& extension);
    static bool checkForWordFilter(const std::optional<std::string>& extension);
    static bool checkForSheetFilter(const std::optional<std::string>& extension);
    static bool checkForPowerPointFilter(const std::optional<std::string>& extension);

    // Whole calendar days from the first date's day to the second's, in local time
    // (negative when the first is later).
    static int64_t daysBetweenDate_andDate(std::time_t first, std::time_t second);
};

}  // namespace norix
