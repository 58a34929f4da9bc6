#pragma once
// Reading recovered files and decoding their pictures off the UI thread. The bytes are
// hostile: files are read only below a size limit, and pictures are decoded with Qt's
// allocation limit set, so no file can hang or exhaust the application.
#include <QImage>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "app/Mailbox.h"
#include "app/NodePath.h"
#include "results/BaseTree.h"

namespace norix::app {

inline constexpr uint64_t kGridThumbnailLimit = 0x1400000;  // 20 MiB
inline constexpr uint64_t kPreviewLimit = 0xC800000;        // 200 MiB
inline constexpr int kDecodeAllocationLimitMiB = 128;

// What reading a file needs, copied from a node (under the tree lock) so the read
// itself can run without it.
std::unique_ptr<BaseTree> readableCopy(const BaseTree& node);

// Image 0 of the bytes with a longest side of at most side pixels, turned by its
// orientation; a null image when the bytes are no picture Qt can decode.
QImage makeThumbnail(const QByteArray& bytes, int side);

// One worker reading and decoding files in order. cancel() drops the waiting work and
// any result not yet delivered; results are delivered on the thread that made the queue.
class DecodeQueue {
public:
    // Called with the file's row, its path and the picture (null: none could be made).
    using Done = std::function<void(int row, const NodePath& path, const QImage& image)>;
    DecodeQueue(int side, Done done);
    ~DecodeQueue();
    void add(int row, NodePath path, std::unique_ptr<BaseTree> file, std::string diskPath);
    void cancel();

private:
    struct Job {
        uint64_t generation;
        int row;
        NodePath path;
        std::unique_ptr<BaseTree> file;
        std::string diskPath;
    };
    void run();

    const int side_;
    Done done_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    uint64_t generation_ = 0;
    bool stop_ = false;
    Mailbox mailbox_;
    std::thread worker_;
};

}  // namespace norix::app
