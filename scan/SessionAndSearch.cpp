// A recovery session's tree taken over by the engine, and the name search.
#include <utility>

#include "disk/Platform.h"
#include "results/TreeClassMethod.h"
#include "scan/RecoveryModule.h"

namespace norix {

void RecoveryModule::adoptRecoverySession(std::unique_ptr<BaseTree> root, const std::string& bsdPath) {
    setDiskPath(bsdPath);
    errorPath = dataFolder() + "/Core.txt";
    {
        std::lock_guard lock(searchMutex_);
        if (searchFlag_) *searchFlag_ = false;
        searchFlag_.reset();
        searchDir_.reset();
    }
    std::unique_ptr<BaseTree> previous;
    {
        std::unique_lock lock(treeMutex_);
        previous = std::exchange(dirRoot_, std::move(root));
    }
    // The old tree is torn down outside the lock.
}

std::shared_ptr<SearchResult> RecoveryModule::startSearch_andFlag(const std::string& text,
                                                                  std::shared_ptr<std::atomic<bool>> flag) {
    if (!flag) flag = std::make_shared<std::atomic<bool>>(true);
    auto result = std::make_shared<SearchResult>();
    {
        std::lock_guard lock(searchMutex_);
        // The search before this one has nothing left to fill.
        if (searchFlag_ && searchFlag_ != flag) *searchFlag_ = false;
        searchFlag_ = flag;
        searchDir_ = result;
    }
    const std::string keyword = TreeClassMethod::lowerCasedForSearch(text);
    std::shared_lock lock(treeMutex_);
    TreeClassMethod::searchForKeyWord_inNDIR_withflag_addInDir(keyword, dirRoot_.get(), *flag, *result);
    return result;
}

std::shared_ptr<SearchResult> RecoveryModule::searchDir() const {
    std::lock_guard lock(searchMutex_);
    return searchDir_;
}

}  // namespace norix
