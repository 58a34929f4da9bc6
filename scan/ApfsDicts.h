#pragma once
// The APFS records the sweep collects from one container until they are turned into
// tree nodes: file-system items and file extents, keyed by object id.
#include <cstdint>
#include <map>
#include <vector>

namespace norix {

struct ApfsItemDict {
    std::map<uint64_t, std::vector<uint8_t>> items;
    void clear() { items.clear(); }
};

struct ApfsExtentDict {
    std::map<uint64_t, std::vector<uint8_t>> extents;
    void clear() { extents.clear(); }
};

}  // namespace norix
