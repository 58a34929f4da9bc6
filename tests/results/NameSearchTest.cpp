// The name search over a tree: any case, folders listed and searched, the stop flag.
#include <gtest/gtest.h>

#include "results/FilterState.h"
#include "results/TreeClassMethod.h"

namespace norix {
namespace {

using T = TreeClassMethod;

BaseTree* add(BaseTree* parent, const std::string& name, uint16_t fileType) {
    auto node = fileType == 1 ? T::createNDIRWithName(name) : T::createNDIR();
    node->setName(name);
    node->setFileTypes(fileType);
    return parent->addChild(std::move(node));
}

class NameSearch : public ::testing::Test {
protected:
    NameSearch() : root(T::createRootWithName("Card")) {
        add(root.get(), "photo.JPG", 2);
        BaseTree* mine = add(root.get(), "MyPhotos", 1);
        add(mine, "beach.png", 2);
        add(mine, "PHOTO-2.png", 2);
        BaseTree* deeper = add(mine, "Album", 1);
        add(deeper, "old photograph.tif", 2);
        add(root.get(), "phot.txt", 2);
        add(root.get(), "", 2);
        add(root.get(), "École ФАЙЛ.txt", 2);
    }

    std::vector<std::string> search(const std::string& text, bool running = true) {
        SearchResult result;
        const std::atomic<bool> flag{running};
        T::searchForKeyWord_inNDIR_withflag_addInDir(T::lowerCasedForSearch(text), root.get(), flag, result);
        std::vector<std::string> names;
        for (const BaseTree* match : result.matches()) names.push_back(match->fileName);
        EXPECT_EQ(result.childrenCount(), names.size());
        return names;
    }

    std::unique_ptr<BaseTree> root;
};

TEST_F(NameSearch, FindsNamesInAnyCaseSearchesMatchingFoldersUntilTheFlagIsClearedAndListsThroughTheFilter) {
    EXPECT_EQ(search("Photo"),
              (std::vector<std::string>{"photo.JPG", "MyPhotos", "PHOTO-2.png", "old photograph.tif"}));
    EXPECT_EQ(search("PHOT"), (std::vector<std::string>{"photo.JPG", "MyPhotos", "PHOTO-2.png", "old photograph.tif",
                                                        "phot.txt"}));
    EXPECT_TRUE(search("nothing").empty());
    // Letters beyond ASCII are lower-cased too.
    EXPECT_EQ(search("éCOLE"), (std::vector<std::string>{"École ФАЙЛ.txt"}));
    EXPECT_EQ(search("файл"), (std::vector<std::string>{"École ФАЙЛ.txt"}));
    EXPECT_TRUE(search("photo", false).empty());

    // Matches are listed through the filter.
    SearchResult result;
    const std::atomic<bool> flag{true};
    T::searchForKeyWord_inNDIR_withflag_addInDir("photo", root.get(), flag, result);
    FilterState filter;
    filter.addCatalogueCategory(2, {"png"});
    filter.treePageFiltersAdvClicked("Images");
    const auto matches = result.matches();
    ASSERT_EQ(filter.countFromNDIRWithFilter(matches), 2u);  // the folder and the one png
    EXPECT_EQ(filter.getFilteredNDIRFromDir_atIndex(matches, 0)->fileName, "MyPhotos");
    EXPECT_EQ(filter.getFilteredNDIRFromDir_atIndex(matches, 1)->fileName, "PHOTO-2.png");
    EXPECT_EQ(filter.getFilteredNDIRFromDir_atIndex(matches, 2), nullptr);
}

}  // namespace
}  // namespace norix
