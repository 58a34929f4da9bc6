// Dates, sizes and names as the result tree shows them.
#include <gtest/gtest.h>

#include <ctime>

#include "results/TreeClassMethod.h"
#include "tests/support/TestSupport.h"

namespace norix {
namespace {

using T = TreeClassMethod;

constexpr uint32_t kDos2014_03_07 = 0x44670000;
constexpr uint32_t kHfs2014_03_07 = 3476995200u;  // midnight GMT
constexpr std::time_t kUnix2014_03_07 = 1394150400;

constexpr uint32_t dos(uint32_t year, uint32_t month, uint32_t day) {
    return (year - 1980) << 25 | month << 21 | day << 16;
}

class Dates : public testing::Test {
protected:
    test::TimeZone zone{"UTC"};
    static std::unique_ptr<BaseTree> dated(uint8_t entry, uint32_t modDate) {
        auto node = T::createNDIR();
        node->setentry(entry);
        node->setmodifiedDate(modDate);
        return node;
    }
};

TEST_F(Dates, ShowMonthDayYearOrDashAndParseBackToLocalMidnight) {
    EXPECT_EQ(T::getStringForDOSDate(kDos2014_03_07), "3-7-2014");
    for (uint32_t invalid : {0u, dos(1980, 3, 7), dos(2014, 13, 7), dos(2014, 3, 0)})
        EXPECT_EQ(T::getStringForDOSDate(invalid), "-") << std::hex << invalid;
    // HFS+ dates count from 1904; both parse back to local midnight.
    EXPECT_EQ(T::getDateFromValue(0), "");
    EXPECT_EQ(dated(3, kHfs2014_03_07 + 3600)->getDateInString(), "03-07-2014");
    EXPECT_EQ(dated(4, kHfs2014_03_07 + 3600)->getDateInDateFormat(), kUnix2014_03_07);
    EXPECT_EQ(dated(2, kDos2014_03_07)->getDateInDateFormat(), kUnix2014_03_07);
    EXPECT_EQ(dated(3, 0)->getDateInDateFormat(), std::nullopt);
    EXPECT_EQ(dated(1, 0)->getDateInDateFormat(), std::nullopt);
    EXPECT_EQ(dated(1, dos(2014, 2, 31))->getDateInDateFormat(), std::nullopt);
}

TEST(SizeText, ScalesToTheFirstUnitNotAbove1024) {
    EXPECT_EQ(T::sizeText(1048576), "1024.00 KB");
    EXPECT_EQ(T::sizeText(1048577), "1.00 MB");
    EXPECT_EQ(T::sizeText(~0ull), "16.00 EB");
}

TEST(Names, DropCarriageReturnsAndGiveLowerCaseExtensions) {
    BaseTree node;
    EXPECT_EQ(node.getExtension(), std::nullopt);
    node.setName("IMG\r_1.tar.\rJPG\r");
    EXPECT_EQ(node.fileName, "IMG_1.tar.JPG");
    EXPECT_EQ(node.getExtension(), "jpg");
    node.setName("README");
    EXPECT_EQ(node.getExtension(), "");
}

}  // namespace
}  // namespace norix
