// Check marks: running totals and the tri-state shown for folders.
#include <gtest/gtest.h>

#include "results/TreeClassMethod.h"

namespace norix {
namespace {

class CheckMarks : public testing::Test {
protected:
    BaseTree* add(BaseTree* parent, uint16_t type, uint64_t size) {
        auto node = TreeClassMethod::createNDIR();
        node->setFileTypes(type);
        node->setfileSize(size);
        node->setparent(parent);
        return parent->addChild(std::move(node));
    }

    // Files of 10, 20 and 30 bytes and a sub-folder holding a 5-byte file.
    std::unique_ptr<BaseTree> folder = TreeClassMethod::createRootWithName("Photos");
    BaseTree* first = add(folder.get(), 2, 10);
    BaseTree* second = add(folder.get(), 2, 20);
    BaseTree* third = add(folder.get(), 2, 30);
    BaseTree* sub = add(folder.get(), 1, 0);
    BaseTree* inner = add(sub, 2, 5);
    int64_t files = 0, bytes = 0;
};

TEST_F(CheckMarks, EachFileCountsOnceAndFoldersShowTheStateOfTheirChildren) {
    first->checked_withFileCount_andfileSize(true, files, bytes);
    folder->checked_withFileCount_andfileSize(true, files, bytes);
    EXPECT_EQ(std::pair(files, bytes), std::pair(int64_t{4}, int64_t{65}));
    EXPECT_EQ(inner->getSelected(), 2);

    folder->checked_withFileCount_andfileSize(false, files, bytes);
    EXPECT_EQ(std::pair(files, bytes), std::pair(int64_t{0}, int64_t{0}));
    EXPECT_EQ(inner->getChecked(), 0);

    // The tri-state follows the children up to the root.
    inner->checked_withFileCount_andfileSize(true, files, bytes);
    inner->setSelectedForParent();
    EXPECT_EQ(sub->getSelected(), 2);
    EXPECT_EQ(folder->getSelected(), 1);
    inner->checked_withFileCount_andfileSize(false, files, bytes);
    inner->setSelectedForParent();
    EXPECT_EQ(folder->getSelected(), 0);
    EXPECT_EQ(folder->rearrange, 1);
}

}  // namespace
}  // namespace norix
