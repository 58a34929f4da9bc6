#pragma once
// The state one saving run shares between the saving thread and its caller: the
// device, the counters and stop flag the caller polls, how a name collision in the
// destination is settled, and what the run has to report beyond its counters.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "disk/DiskReader.h"

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

// A folder of the destination, open while its children are saved (the object owns
// the descriptor); `path` only names it in messages, every file and folder below it
// is made relative to `fd`.
struct SaveFolder {
    int fd = -1;
    std::string path;
    SaveFolder(int descriptor, std::string name) : fd(descriptor), path(std::move(name)) {}
    SaveFolder(SaveFolder&& other) noexcept : fd(std::exchange(other.fd, -1)), path(std::move(other.path)) {}
    SaveFolder& operator=(SaveFolder&&) = delete;
    ~SaveFolder();
};

// How writing one file's data ended.
enum class WriteOutcome { Written, ReadFailed, Stopped, WriteFailed };

// A file saved with zeros where the device could not be read, and those bytes as
// offsets in the file.
struct PartlyUnreadableFile {
    std::string path;
    std::vector<ByteRange> lost;
};

struct SaveReport {
    // Files left out because their name was taken and the answer was to skip.
    int64_t skipped = 0;
    // Files begun but not finished (the run was stopped or a write failed), removed
    // again so that no partial file looks complete; by path.
    std::vector<std::string> cutShort;
    // The destination ran out of space, which ended the run.
    bool destinationFull = false;
    // Files kept with zeros for what could not be read; savedFile does not count them.
    std::vector<PartlyUnreadableFile> unreadable;
};

struct SaveRun {
    std::string diskPath;
    std::atomic<int64_t>& savedFile;
    std::atomic<int64_t>& savedSize;
    const std::atomic<bool>& stop;
    // Without a handler every collision is renamed.
    CollisionHandler onCollision;
    bool skipAll = false;
    bool renameALL = false;
    SaveReport report;
    // Nodes renamed on a collision, with their new names: the tree is only read
    // while saving, so the caller applies these under its write lock afterwards.
    std::vector<std::pair<BaseTree*, std::string>> renamed;
    // The device's sector: a failed read is tried again in pieces down to this size.
    uint32_t sectorBytes = 512;

    bool stopped() const { return stop || report.destinationFull; }
};

// A name from a scanned disk made safe as one component of a path below the
// destination: no "/", no NUL, never "", "." or "..", at most 255 bytes.
std::string safeFileName(const std::string& name);

// Creates (mode 0777 through the umask) or opens the folder `name` in `parent`,
// never through a symbolic link; nothing when that fails.
std::optional<SaveFolder> openSaveFolder(const SaveFolder& parent, const std::string& name);

}  // namespace norix
