#pragma once
// The deep scan's chunks on their way through memory: one thread reads them in order,
// threads examine them, each its own chunk, and the scan thread takes them back in
// chunk order (examining chunks itself while the one it wants is not ready). A chunk
// the scan skips is dropped wherever it is.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "disk/AlignedBytes.h"
#include "disk/ByteView.h"

namespace norix {

class ChunkPipeline {
public:
    // Fills the chunk's bytes from the device; never throws.
    using Read = std::function<void(uint64_t firstBlock, std::span<uint8_t> bytes)>;
    // Examines the chunk held in a slot; thread 0 is the scan thread's. Never throws.
    using Examine = std::function<void(size_t slot, uint64_t firstBlock, ByteView bytes, unsigned thread)>;

    // Chunks of chunkBlocks 4 KiB blocks (the last one shorter) from firstBlock (on the chunk
    // grid: a resumed sweep starts further in) to totalBlocks;
    // threads examiners in all, the scan thread among them. Workers start no new chunk
    // while paused, and stop when stopped.
    ChunkPipeline(uint64_t firstBlock, uint64_t totalBlocks, uint64_t chunkBlocks, unsigned threads, Read read,
                  Examine examine, const std::atomic<bool>& pause, const std::atomic<bool>& stop);
    ~ChunkPipeline();
    ChunkPipeline(const ChunkPipeline&) = delete;
    ChunkPipeline& operator=(const ChunkPipeline&) = delete;

    // Chunks in memory at once: one being read, one per examiner, one waiting to be taken.
    static size_t slotsFor(unsigned threads) { return size_t{threads} + 2; }

    struct Taken {
        size_t slot;
        ByteView bytes;
    };
    // The examined chunk that starts at firstBlock (on the chunk grid, past the last one
    // taken); nothing when the scan is stopped.
    std::optional<Taken> take(uint64_t firstBlock);
    // Hands the slot back; nextBlock: the chunk the scan takes next, those before it are dropped.
    void release(size_t slot, uint64_t nextBlock);

private:
    enum class State : uint8_t { Free, Reading, Read, Examining, Examined, Taken };
    struct Slot {
        AlignedBytes bytes;
        uint64_t firstBlock = 0;
        State state = State::Free;
    };
    ByteView view(const Slot& slot) const;
    Slot* find(State state, uint64_t firstBlock);
    Slot* firstRead();
    // Examines a slot taken as Examining, with the lock released meanwhile.
    void examine(std::unique_lock<std::mutex>& lock, Slot& slot, unsigned thread);
    void dropSkipped();
    void readLoop();
    void examineLoop(unsigned thread);
    bool idle() const { return pause_ || stop_; }
    template <class Predicate>
    void waitFor(std::unique_lock<std::mutex>& lock, Predicate ready);

    const uint64_t totalBlocks_, chunkBlocks_;
    const Read read_;
    const Examine examine_;
    const std::atomic<bool>& pause_;
    const std::atomic<bool>& stop_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Slot> slots_;
    uint64_t nextRead_ = 0;    // the chunk the reader reads next
    uint64_t wanted_ = 0;      // chunks before it will never be taken
    bool closing_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace norix
