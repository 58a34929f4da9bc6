#include "app/Decoding.h"

#include <QBuffer>
#include <QImageReader>

#include "results/TreeClassMethod.h"

namespace norix::app {

std::unique_ptr<BaseTree> readableCopy(const BaseTree& node) {
    auto copy = TreeClassMethod::createAndValuesFromDIR(&node);
    copy->entry = node.entry;
    copy->incomplete = node.incomplete;
    copy->fileName = node.fileName;
    return copy;
}

QImage makeThumbnail(const QByteArray& bytes, int side) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    // Decoders that can scale while decoding (JPEG) never build the full picture.
    if (const QSize size = reader.size(); size.isValid() && (size.width() > side || size.height() > side))
        reader.setScaledSize(size.scaled(side, side, Qt::KeepAspectRatio).expandedTo({1, 1}));
    QImage image = reader.read();
    if (image.isNull()) return {};
    if (image.width() > side || image.height() > side)
        image = image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

DecodeQueue::DecodeQueue(int side, Done done) : side_(side), done_(std::move(done)) {
    QImageReader::setAllocationLimit(kDecodeAllocationLimitMiB);
    worker_ = std::thread([this] { run(); });
}

DecodeQueue::~DecodeQueue() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        jobs_.clear();
    }
    wake_.notify_one();
    worker_.join();
}

void DecodeQueue::add(int row, NodePath path, std::unique_ptr<BaseTree> file, std::string diskPath) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back({generation_, row, std::move(path), std::move(file), std::move(diskPath)});
    }
    wake_.notify_one();
}

void DecodeQueue::cancel() {
    std::lock_guard lock(mutex_);
    ++generation_;
    jobs_.clear();
}

void DecodeQueue::run() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
            if (stop_) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        // A failed read decodes as no picture.
        const auto data = job.file->getDataForFileWithBSD(job.diskPath);
        QImage image;
        if (data) image = makeThumbnail(QByteArray::fromRawData(reinterpret_cast<const char*>(data->data()),
                                                                static_cast<qsizetype>(data->size())), side_);
        mailbox_.post([this, generation = job.generation, row = job.row, path = job.path, image] {
            {
                std::lock_guard lock(mutex_);
                if (generation != generation_) return;
            }
            done_(row, path, image);
        });
    }
}

}  // namespace norix::app
