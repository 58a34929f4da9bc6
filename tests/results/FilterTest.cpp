// The listing filters: quick categories, the advanced filter's boxes, its size and
// date windows and their alerts, and calendar days.
#include <gtest/gtest.h>


#include "results/FilterState.h"
#include "results/TreeClassMethod.h"
#include "tests/support/TestSupport.h"

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

TEST(QuickCategory, ListsFoldersAndTheFilesOfItsGroupInTreeOrder) {
    auto dir = T::createNDIRWithName("dir");
    addFile(dir.get(), "a.JPG");
    dir->addChild(T::createNDIRWithName("Sub"));
    for (const char* name : {"b.cr2", "c.mp3", "d.mov", "e.pdf", "g.pst", "h.exe", "j.eml", "k.zip", "noextension"})
        addFile(dir.get(), name);
    using Names = std::vector<std::string>;
    for (const auto& [identifier, rows, image] :
         {std::tuple<const char*, Names, const char*>{"Images", {"a.JPG", "Sub", "b.cr2"}, "Images"},
          {"Audio", {"Sub", "c.mp3"}, "Audio"},
          {"Video", {"Sub", "d.mov"}, "Video"},
          {"Document", {"Sub", "e.pdf"}, "Document"},
          {"Email", {"Sub", "g.pst"}, "Email"},
          // Catalogue positions 0, 1 and 6 feed no group; a file without extension is in none.
          {"Other", {"Sub", "h.exe"}, "Others"}}) {
        FilterState filter = withCatalogue();
        filter.treePageFiltersAdvClicked(identifier);
        EXPECT_EQ(listedNames(filter, *dir), rows) << identifier;
        EXPECT_EQ(filter.changeForFilerImage(), image);
    }
}

AdvancedFilterWindow customDates(std::time_t start, std::time_t end) {
    AdvancedFilterWindow window;
    window.dateFilter = "Custom";
    window.startDate = start;
    window.endDate = end;
    return window;
}

TEST(AdvancedFilter, BoxesAreAlternativesSizeWindowsExcludeTheirMinimumAndAlertsChangeNothing) {
    auto dir = T::createNDIRWithName("dir");
    addFile(dir.get(), "old.txt", 10, 1);
    addFile(dir.get(), "photo.jpg", 1048576);
    addFile(dir.get(), "notes.txt", 1048577);
    FilterState filter = withCatalogue();
    AdvancedFilterWindow window;
    window.checkedBoxes = {"Deleted", "Images"};
    ASSERT_FALSE(filter.advnFilterApplyClicked(window, 0));
    EXPECT_EQ(listedNames(filter, *dir), (std::vector<std::string>{"old.txt", "photo.jpg"}));
    window.checkedBoxes = {"Existing"};
    window.sizeFilter = "< 1 MB";
    ASSERT_FALSE(filter.advnFilterApplyClicked(window, 0));
    EXPECT_EQ(listedNames(filter, *dir), (std::vector<std::string>{"photo.jpg"}));

    // A range of gigabytes: the minimum excluded, the maximum included, in 64 bits.
    window = {};
    window.sizeFilter = "Range";
    window.sizeTypeFilter = "GB";
    window.minimumField = 2;
    window.maximumField = 2147483647;
    ASSERT_FALSE(filter.advnFilterApplyClicked(window, 0));
    EXPECT_EQ(filter.maximumSize, uint64_t{2147483647} << 30);
    EXPECT_FALSE(filter.checkFilter_withDate_Size_andDeletedFlag("txt", std::nullopt, 2147483648, 0));
    EXPECT_TRUE(filter.checkFilter_withDate_Size_andDeletedFlag("txt", std::nullopt, 2147483649, 0));

    // A quick category afterwards drops the advanced filter.
    filter.treePageFiltersAdvClicked("allFiles");
    EXPECT_EQ(listedNames(filter, *dir).size(), 3u);

    // A form that raises an alert changes nothing.
    filter.treePageFiltersAdvClicked("Images");
    window.maximumField = 1;
    EXPECT_EQ(filter.advnFilterApplyClicked(window, 0), kMaximumBelowMinimumAlert);
    window.maximumField = 3;
    window.sizeTypeFilter = "Select";
    EXPECT_EQ(filter.advnFilterApplyClicked(window, 0), kNoSizeTypeAlert);
    EXPECT_EQ(filter.advnFilterApplyClicked(customDates(1700000000, 1700000060), 1700000000), kInvalidDateAlert);
    EXPECT_EQ(filter.activeFilterType, "Images");
    EXPECT_EQ(listedNames(filter, *dir), (std::vector<std::string>{"photo.jpg"}));
}

// Dates in a zone with daylight saving time, so some days last 23 or 25 hours.
class LocalDays : public ::testing::Test {
protected:
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

    test::TimeZone zone{"CET-1CEST,M3.5.0,M10.5.0/3"};
};

TEST_F(LocalDays, AreCountedAcrossClockChangesAndDateWindowsCountBackFromTheEndDay) {
    EXPECT_EQ(FilterState::daysBetweenDate_andDate(at(2024, 3, 30), at(2024, 4, 1, 0, 30)), 2);
    EXPECT_EQ(FilterState::daysBetweenDate_andDate(at(2024, 3, 31, 23, 59), at(2024, 4, 1, 0, 1)), 1);
    EXPECT_EQ(FilterState::daysBetweenDate_andDate(at(2024, 4, 1, 0, 1), at(2024, 3, 31, 23, 59)), -1);
    EXPECT_EQ(FilterState::daysBetweenDate_andDate(at(2024, 10, 27, 0, 0), at(2024, 10, 27, 23, 59)), 0);
    EXPECT_EQ(FilterState::daysBetweenDate_andDate(at(2024, 10, 26), at(2024, 10, 28)), 2);
    EXPECT_EQ(FilterState::daysBetweenDate_andDate(at(2023, 12, 31, 23, 0), at(2024, 1, 1, 1, 0)), 1);

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
