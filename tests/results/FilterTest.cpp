// The listing filters: quick categories, the advanced filter's boxes, its size and
// date windows and their alerts, and calendar days.
#include <gtest/gtest.h>

#include <cstdlib>

#include "results/FilterState.h"
#include "results/TreeClassMethod.h"

namespace norix {
namespace {

using T = TreeClassMethod;

BaseTree* addFile(BaseTree* parent, const std::string& name, uint64_t size = 10, uint8_t deleted = 0,
                  uint32_t dosDate = 0) {
    auto node = T::createNDIR();
    node->setName(name);
    node->setFileTypes(2);
    node->setfileSize(size);
    node->setdelete(deleted);
    node->setentry(1);
    node->setmodifiedDate(dosDate);
    return parent->addChild(std::move(node));
}

// Media groups filed by catalogue position: 0, 1 and 6 feed none.
FilterState withCatalogue() {
    FilterState filter;
    const std::vector<std::vector<std::string>> categories{{"zip"}, {"rar"},  {"jpg", "png"}, {"cr2"}, {"mp3"},
                                                           {"mov"}, {"eml"}, {"exe"},        {"bin"}};
    for (size_t position = 0; position < categories.size(); ++position)
        filter.addCatalogueCategory(position, categories[position]);
    return filter;
}

std::vector<std::string> listedNames(const FilterState& filter, const BaseTree& dir) {
    std::vector<std::string> names;
    for (size_t row = 0; row < filter.countFromNDIRWithFilter(dir); ++row)
        names.push_back(filter.getFilteredNDIRFromDir_atIndex(dir, row)->fileName);
    EXPECT_EQ(filter.getFilteredNDIRFromDir_atIndex(dir, names.size()), nullptr);
    return names;
}

struct CategoryCase {
    const char* identifier;
    std::vector<std::string> rows;
    const char* image;
};

class QuickCategory : public ::testing::TestWithParam<CategoryCase> {};

TEST_P(QuickCategory, ListsFoldersAndTheFilesOfItsGroupInTreeOrder) {
    auto dir = T::createNDIRWithName("dir");
    addFile(dir.get(), "a.JPG");
    dir->addChild(T::createNDIRWithName("Sub A"));
    for (const char* name : {"b.cr2", "c.mp3", "d.mov", "e.pdf", "f.docx", "g.pst", "h.exe", "i.bin", "j.eml",
                             "k.zip", "noextension"})
        addFile(dir.get(), name);
    dir->addChild(T::createNDIRWithName("Sub B"));

    FilterState filter = withCatalogue();
    filter.treePageFiltersAdvClicked(GetParam().identifier);
    EXPECT_EQ(filter.activeFilterType, GetParam().identifier);
    EXPECT_EQ(listedNames(filter, *dir), GetParam().rows);
    EXPECT_EQ(filter.changeForFilerImage(), GetParam().image);
}

INSTANTIATE_TEST_SUITE_P(
    Menu, QuickCategory,
    ::testing::Values(CategoryCase{"Images", {"a.JPG", "Sub A", "b.cr2", "Sub B"}, "Images"},
                      CategoryCase{"Audio", {"Sub A", "c.mp3", "Sub B"}, "Audio"},
                      CategoryCase{"Video", {"Sub A", "d.mov", "Sub B"}, "Video"},
                      CategoryCase{"Document", {"Sub A", "e.pdf", "f.docx", "Sub B"}, "Document"},
                      CategoryCase{"Email", {"Sub A", "g.pst", "Sub B"}, "Email"},
                      CategoryCase{"Other", {"Sub A", "h.exe", "i.bin", "Sub B"}, "Others"},
                      CategoryCase{"allFiles",
                                   {"a.JPG", "Sub A", "b.cr2", "c.mp3", "d.mov", "e.pdf", "f.docx", "g.pst", "h.exe",
                                    "i.bin", "j.eml", "k.zip", "noextension", "Sub B"},
                                   "Filter"}),
    [](const auto& info) { return std::string(info.param.identifier); });

TEST(AdvancedFilter, BoxesAreAlternativesAndNoBoxListsEverything) {
    auto dir = T::createNDIRWithName("dir");
    addFile(dir.get(), "old.txt", 10, 1);
    addFile(dir.get(), "photo.jpg");
    addFile(dir.get(), "notes.txt");
    addFile(dir.get(), "");
    FilterState filter = withCatalogue();

    AdvancedFilterWindow window;
    ASSERT_FALSE(filter.advnFilterApplyClicked(window, 0));
    EXPECT_EQ(listedNames(filter, *dir), (std::vector<std::string>{"old.txt", "photo.jpg", "notes.txt", ""}));

    window.checkedBoxes = {"Deleted", "Images"};
    ASSERT_FALSE(filter.advnFilterApplyClicked(window, 0));
    EXPECT_EQ(filter.activeFilterType, "Advn");
    EXPECT_EQ(filter.changeForFilerImage(), "Advanced Filter");
    EXPECT_EQ(listedNames(filter, *dir), (std::vector<std::string>{"old.txt", "photo.jpg"}));

    window.checkedBoxes = {"Existing"};
    window.sizeFilter = "< 1 MB";
    ASSERT_FALSE(filter.advnFilterApplyClicked(window, 0));
    EXPECT_EQ(listedNames(filter, *dir), (std::vector<std::string>{"photo.jpg", "notes.txt", ""}));

    // A quick category afterwards drops the advanced filter.
    filter.treePageFiltersAdvClicked("allFiles");
    EXPECT_TRUE(filter.advnChckBtn.empty());
    EXPECT_EQ(filter.sizeFilter, "Select");
}

struct SizeCase {
    const char* sizeFilter;
    const char* unit;
    int32_t minimum, maximum;
    uint64_t size;
    bool passes;
};

class SizeWindow : public ::testing::TestWithParam<SizeCase> {};

TEST_P(SizeWindow, ExcludesItsMinimumAndIncludesItsMaximum) {
    const SizeCase& param = GetParam();
    AdvancedFilterWindow window;
    window.sizeFilter = param.sizeFilter;
    window.sizeTypeFilter = param.unit;
    window.minimumField = param.minimum;
    window.maximumField = param.maximum;
    FilterState filter;
    ASSERT_FALSE(filter.advnFilterApplyClicked(window, 0));
    EXPECT_EQ(filter.checkFilter_withDate_Size_andDeletedFlag("txt", std::nullopt, param.size, 0), param.passes)
        << param.sizeFilter << " " << param.size;
}

INSTANTIATE_TEST_SUITE_P(
    Edges, SizeWindow,
    ::testing::Values(SizeCase{"< 1 MB", "Select", 0, 0, 1048576, true}, SizeCase{"< 1 MB", "Select", 0, 0, 1048577, false},
                      SizeCase{"< 1 MB", "Select", 0, 0, 0, false}, SizeCase{"< 100 MB", "Select", 0, 0, 104857601, false},
                      SizeCase{"< 1 GB", "Select", 0, 0, 1073741824, true},
                      SizeCase{"Range", "GB", 2, 3, 2147483648, false}, SizeCase{"Range", "GB", 2, 3, 3221225472, true},
                      SizeCase{"Range", "GB", 2, 3, 3221225473, false}, SizeCase{"Range", "KB", 1, 2, 1025, true},
                      SizeCase{"Range", "MB", -5, 1, 1, true}, SizeCase{"Select", "Select", 0, 0, 0, true}));

TEST(SizeWindow, RangeOfGigabytesIsComputedInSixtyFourBits) {
    AdvancedFilterWindow window;
    window.sizeFilter = "Range";
    window.sizeTypeFilter = "GB";
    window.minimumField = 2;
    window.maximumField = 2147483647;
    FilterState filter;
    ASSERT_FALSE(filter.advnFilterApplyClicked(window, 0));
    EXPECT_EQ(filter.minimumSize, 2147483648u);
    EXPECT_EQ(filter.maximumSize, uint64_t{2147483647} << 30);
}

struct AlertCase {
    const char* what;
    AdvancedFilterWindow window;
    const char* alert;
};

class FilterAlert : public ::testing::TestWithParam<AlertCase> {};

TEST_P(FilterAlert, IsShownAndChangesNothing) {
    FilterState filter;
    filter.treePageFiltersAdvClicked("Images");
    EXPECT_EQ(filter.advnFilterApplyClicked(GetParam().window, 1700000000), GetParam().alert);
    EXPECT_EQ(filter.activeFilterType, "Images");
}

AdvancedFilterWindow customDates(std::time_t start, std::time_t end) {
    AdvancedFilterWindow window;
    window.dateFilter = "Custom";
    window.startDate = start;
    window.endDate = end;
    return window;
}

AdvancedFilterWindow range(int32_t minimum, int32_t maximum, const char* unit) {
    AdvancedFilterWindow window;
    window.sizeFilter = "Range";
    window.minimumField = minimum;
    window.maximumField = maximum;
    window.sizeTypeFilter = unit;
    return window;
}

INSTANTIATE_TEST_SUITE_P(Alerts, FilterAlert,
                         ::testing::Values(AlertCase{"SameDay", customDates(1700000000, 1700000060), kInvalidDateAlert},
                                           AlertCase{"EndFirst", customDates(1700100000, 1700000000), kInvalidDateAlert},
                                           AlertCase{"ZeroMaximum", range(5, 0, "KB"), kZeroMaximumAlert},
                                           AlertCase{"MaximumBelow", range(5, 4, "KB"), kMaximumBelowMinimumAlert},
                                           AlertCase{"NoUnit", range(1, 4, "Select"), kNoSizeTypeAlert}),
                         [](const auto& info) { return std::string(info.param.what); });

// Dates in a zone with daylight saving time, so some days last 23 or 25 hours.
class LocalDays : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* tz = std::getenv("TZ")) oldTz_ = tz;
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
    }
    void TearDown() override {
        if (oldTz_) setenv("TZ", oldTz_->c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }
    static std::time_t at(int year, int month, int day, int hour = 12, int minute = 0) {
        std::tm local{};
        local.tm_year = year - 1900;
        local.tm_mon = month - 1;
        local.tm_mday = day;
        local.tm_hour = hour;
        local.tm_min = minute;
        local.tm_isdst = -1;
        return std::mktime(&local);
    }
    static uint32_t dosDate(int year, int month, int day) {
        return static_cast<uint32_t>((year - 1980) << 25 | month << 21 | day << 16);
    }

private:
    std::optional<std::string> oldTz_;
};

TEST_F(LocalDays, CountCalendarDaysAcrossClockChanges) {
    EXPECT_EQ(FilterState::daysBetweenDate_andDate(at(2024, 3, 30), at(2024, 4, 1, 0, 30)), 2);
    EXPECT_EQ(FilterState::daysBetweenDate_andDate(at(2024, 3, 31, 23, 59), at(2024, 4, 1, 0, 1)), 1);
    EXPECT_EQ(FilterState::daysBetweenDate_andDate(at(2024, 4, 1, 0, 1), at(2024, 3, 31, 23, 59)), -1);
    EXPECT_EQ(FilterState::daysBetweenDate_andDate(at(2024, 10, 27, 0, 0), at(2024, 10, 27, 23, 59)), 0);
    EXPECT_EQ(FilterState::daysBetweenDate_andDate(at(2024, 10, 26), at(2024, 10, 28)), 2);
    EXPECT_EQ(FilterState::daysBetweenDate_andDate(at(2023, 12, 31, 23, 0), at(2024, 1, 1, 1, 0)), 1);
}

TEST_F(LocalDays, DateWindowsCountBackFromTheEndDay) {
    // "now" late on the day the clocks went forward.
    const std::time_t now = at(2024, 3, 31, 23, 30);
    auto dir = T::createNDIRWithName("dir");
    struct Dated {
        const char* name;
        uint32_t date;
    };
    for (const Dated& file : {Dated{"tomorrow", dosDate(2024, 4, 1)}, Dated{"today", dosDate(2024, 3, 31)},
                              Dated{"yesterday", dosDate(2024, 3, 30)}, Dated{"2 days", dosDate(2024, 3, 29)},
                              Dated{"7 days", dosDate(2024, 3, 24)}, Dated{"8 days", dosDate(2024, 3, 23)},
                              Dated{"31 days", dosDate(2024, 2, 29)}, Dated{"32 days", dosDate(2024, 2, 28)},
                              Dated{"undated", 0}})
        addFile(dir.get(), file.name, 10, 0, file.date);

    const auto listedWith = [&](AdvancedFilterWindow window) {
        FilterState filter;
        EXPECT_FALSE(filter.advnFilterApplyClicked(window, now));
        return listedNames(filter, *dir);
    };
    AdvancedFilterWindow window;
    using Names = std::vector<std::string>;
    window.dateFilter = "Today";
    EXPECT_EQ(listedWith(window), (Names{"today", "undated"}));
    window.dateFilter = "Yesterday";
    EXPECT_EQ(listedWith(window), (Names{"today", "yesterday", "undated"}));
    window.dateFilter = "Last 7 days";
    EXPECT_EQ(listedWith(window), (Names{"today", "yesterday", "2 days", "7 days", "undated"}));
    window.dateFilter = "Last 1 Month";
    EXPECT_EQ(listedWith(window), (Names{"today", "yesterday", "2 days", "7 days", "8 days", "31 days", "undated"}));
    EXPECT_EQ(listedWith(customDates(at(2024, 3, 23, 18), at(2024, 3, 30, 9))),
              (Names{"yesterday", "2 days", "7 days", "8 days", "undated"}));
}

}  // namespace
}  // namespace norix
