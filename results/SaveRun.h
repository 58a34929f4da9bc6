#pragma once
// The state one saving run shares between the saving thread and its caller: the
// device, the destination, the counters and stop flag the caller polls, and how a
// name collision in the destination is settled.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace norix {

class BaseTree;

// The answer to "a file of this name already exists": skip it, skip every later
// collision too, rename it to `name` (tested again), or rename this and every later
// one (to `name` when it differs, else to the first free "name (n).ext").
struct CollisionAnswer {
    enum Kind { Skip, SkipAll, Rename, RenameAll } kind = RenameAll;
    std::string name;
};
using CollisionHandler = std::function<CollisionAnswer(const std::string& existingName)>;

struct SaveRun {
    std::string diskPath;
    std::string savingPath;
    std::atomic<int64_t>& savedFile;
    std::atomic<int64_t>& savedSize;
    const std::atomic<bool>& stop;
    // Without a handler every collision is renamed.
    CollisionHandler onCollision;
    bool skipAll = false;
    bool renameALL = false;
    // Files left out because their name was taken and the answer was to skip.
    int64_t skipped = 0;
    // Nodes renamed on a collision, with their new names: the tree is only read
    // while saving, so the caller applies these under its write lock afterwards.
    std::vector<std::pair<BaseTree*, std::string>> renamed;
};

// A name from a scanned disk made safe as one component of a path below the
// destination: no "/", no NUL, never "", "." or "..", at most 255 bytes.
std::string safeFileName(const std::string& name);

}  // namespace norix
