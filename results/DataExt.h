#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace norix {

// One run of a node's data: start block and block count in units of the node's
// blockSize, the start counted from the node's blocksStartsAtSector.
struct DataExt {
    uint32_t startBlock = 0;
    uint32_t blockCount = 0;

    DataExt() = default;
    DataExt(uint32_t start, uint32_t count) : startBlock(start), blockCount(count) {}
    static DataExt initWithStartBlock_andBlockCount(uint32_t start, uint32_t count) { return {start, count}; }
    void setSstartBlock(uint32_t start) { startBlock = start; }
    // startBlock then blockCount, each big-endian: the session-file form.
    std::array<uint8_t, 8> getWritableData() const;
    bool operator==(const DataExt&) const = default;
};

// A node's runs, in order. Most files lie in one run, which is held in place; a
// second one moves them all to the heap. Used like a vector of DataExt.
class ExtentList {
public:
    ExtentList() = default;
    ExtentList(const ExtentList& other) { *this = other; }
    ExtentList& operator=(const ExtentList& other);
    ~ExtentList() { clear(); }

    void push_back(DataExt ext);
    void reserve(size_t count);
    void clear();
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    DataExt* begin() { return onHeap() ? many_ : &one_; }
    DataExt* end() { return begin() + size_; }
    const DataExt* begin() const { return onHeap() ? many_ : &one_; }
    const DataExt* end() const { return begin() + size_; }
    const DataExt& front() const { return *begin(); }
    const DataExt& back() const { return end()[-1]; }
    DataExt& operator[](size_t index) { return begin()[index]; }
    const DataExt& operator[](size_t index) const { return begin()[index]; }
    const DataExt& at(size_t index) const;  // throws std::out_of_range past the end

    friend bool operator==(const ExtentList& a, const ExtentList& b);
    friend bool operator==(const ExtentList& a, const std::vector<DataExt>& b);

private:
    bool onHeap() const { return capacity_ > 1; }
    void grow(size_t capacity);

    union {
        DataExt one_{};
        DataExt* many_;
    };
    uint32_t size_ = 0;
    uint32_t capacity_ = 1;
};

}  // namespace norix
