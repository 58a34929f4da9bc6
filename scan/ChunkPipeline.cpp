#include "scan/ChunkPipeline.h"

#include <algorithm>
#include <chrono>

namespace norix {

namespace {
constexpr uint64_t kBlockBytes = 4096;
// Pause and stop are flags set without the lock: a waiting thread looks at them this often.
constexpr auto kFlagPoll = std::chrono::milliseconds(20);
}  // namespace

ChunkPipeline::ChunkPipeline(uint64_t firstBlock, uint64_t totalBlocks, uint64_t chunkBlocks, unsigned threads,
                             Read read, Examine examine, const std::atomic<bool>& pause, const std::atomic<bool>& stop)
    : totalBlocks_(totalBlocks),
      chunkBlocks_(chunkBlocks),
      read_(std::move(read)),
      examine_(std::move(examine)),
      pause_(pause),
      stop_(stop),
      slots_(slotsFor(std::max(threads, 1u))),
      nextRead_(firstBlock),
      wanted_(firstBlock) {
    for (Slot& slot : slots_) slot.bytes.resize(chunkBlocks * kBlockBytes);
    threads_.emplace_back(&ChunkPipeline::readLoop, this);
    for (unsigned thread = 1; thread < threads; ++thread) threads_.emplace_back(&ChunkPipeline::examineLoop, this, thread);
}

ChunkPipeline::~ChunkPipeline() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

ByteView ChunkPipeline::view(const Slot& slot) const {
    const uint64_t blocks = std::min(chunkBlocks_, totalBlocks_ - slot.firstBlock);
    return ByteView(std::span<const uint8_t>(slot.bytes).first(blocks * kBlockBytes));
}

ChunkPipeline::Slot* ChunkPipeline::find(State state, uint64_t firstBlock) {
    for (Slot& slot : slots_)
        if (slot.state == state && slot.firstBlock == firstBlock) return &slot;
    return nullptr;
}

ChunkPipeline::Slot* ChunkPipeline::firstRead() {
    Slot* first = nullptr;
    for (Slot& slot : slots_)
        if (slot.state == State::Read && (!first || slot.firstBlock < first->firstBlock)) first = &slot;
    return first;
}

void ChunkPipeline::dropSkipped() {
    for (Slot& slot : slots_)
        if ((slot.state == State::Read || slot.state == State::Examined) && slot.firstBlock < wanted_)
            slot.state = State::Free;
}

template <class Predicate>
void ChunkPipeline::waitFor(std::unique_lock<std::mutex>& lock, Predicate ready) {
    while (!closing_ && !ready()) changed_.wait_for(lock, kFlagPoll);
}

void ChunkPipeline::examine(std::unique_lock<std::mutex>& lock, Slot& slot, unsigned thread) {
    slot.state = State::Examining;
    const uint64_t firstBlock = slot.firstBlock;
    const ByteView bytes = view(slot);
    lock.unlock();
    examine_(static_cast<size_t>(&slot - slots_.data()), firstBlock, bytes, thread);
    lock.lock();
    slot.state = State::Examined;
    dropSkipped();
    changed_.notify_all();
}

void ChunkPipeline::readLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        Slot* slot = nullptr;
        waitFor(lock, [&] {
            if (nextRead_ >= totalBlocks_) return true;
            if (idle()) return false;
            for (Slot& free : slots_)
                if (free.state == State::Free) slot = &free;
            return slot != nullptr;
        });
        if (closing_ || !slot) return;
        slot->state = State::Reading;
        slot->firstBlock = nextRead_;
        nextRead_ += chunkBlocks_;
        const uint64_t blocks = std::min(chunkBlocks_, totalBlocks_ - slot->firstBlock);
        const uint64_t firstBlock = slot->firstBlock;
        lock.unlock();
        read_(firstBlock, std::span<uint8_t>(slot->bytes).first(blocks * kBlockBytes));
        lock.lock();
        slot->state = State::Read;
        dropSkipped();
        changed_.notify_all();
    }
}

void ChunkPipeline::examineLoop(unsigned thread) {
    std::unique_lock lock(mutex_);
    for (;;) {
        Slot* slot = nullptr;
        waitFor(lock, [&] { return !idle() && (slot = firstRead()) != nullptr; });
        if (closing_) return;
        examine(lock, *slot, thread);
    }
}

std::optional<ChunkPipeline::Taken> ChunkPipeline::take(uint64_t firstBlock) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (stop_) return std::nullopt;
        if (Slot* slot = find(State::Examined, firstBlock)) {
            slot->state = State::Taken;
            return Taken{static_cast<size_t>(slot - slots_.data()), view(*slot)};
        }
        // The wanted chunk when it is read, else another one meanwhile.
        Slot* slot = find(State::Read, firstBlock);
        if (!slot && !pause_) slot = firstRead();
        if (slot) examine(lock, *slot, 0);
        else changed_.wait_for(lock, kFlagPoll);
    }
}

void ChunkPipeline::release(size_t slot, uint64_t nextBlock) {
    {
        std::lock_guard lock(mutex_);
        slots_[slot].state = State::Free;
        wanted_ = nextBlock;
        nextRead_ = std::max(nextRead_, nextBlock);
        dropSkipped();
    }
    changed_.notify_all();
}

}  // namespace norix
