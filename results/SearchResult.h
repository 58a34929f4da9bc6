#pragma once
// The matches of one name search (the engine's searchDir): nodes of the live tree,
// not copies, in the order the search met them. The search adds to it while the
// results page lists it, so both sides go through its own lock. The matches point
// into the tree: they are valid while the tree keeps those nodes.

#include <cstdint>
#include <mutex>
#include <vector>

#include "results/BaseTree.h"

namespace norix {

class SearchResult {
public:
    void addMatch(BaseTree* node);
    std::vector<BaseTree*> matches() const;
    uint32_t childrenCount() const;

private:
    mutable std::mutex mutex_;
    std::vector<BaseTree*> matches_;
};

}  // namespace norix
