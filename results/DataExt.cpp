#include "results/DataExt.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace norix {

std::array<uint8_t, 8> DataExt::getWritableData() const {
    std::array<uint8_t, 8> bytes{};
    for (int i = 0; i < 4; ++i) {
        const int shift = 24 - 8 * i;
        bytes[i] = static_cast<uint8_t>(startBlock >> shift);
        bytes[4 + i] = static_cast<uint8_t>(blockCount >> shift);
    }
    return bytes;
}

ExtentList& ExtentList::operator=(const ExtentList& other) {
    if (this == &other) return *this;
    clear();
    reserve(other.size_);
    std::copy(other.begin(), other.end(), begin());
    size_ = other.size_;
    return *this;
}

void ExtentList::push_back(DataExt ext) {
    if (size_ == capacity_) {
        if (size_ == std::numeric_limits<uint32_t>::max()) throw std::length_error("too many extents");
        grow(std::min<size_t>(2 * size_t{capacity_}, std::numeric_limits<uint32_t>::max()));
    }
    begin()[size_++] = ext;
}

void ExtentList::reserve(size_t count) {
    if (count <= capacity_) return;
    if (count > std::numeric_limits<uint32_t>::max()) throw std::length_error("too many extents");
    grow(count);
}

void ExtentList::clear() {
    if (onHeap()) delete[] many_;
    one_ = DataExt{};
    size_ = 0;
    capacity_ = 1;
}

const DataExt& ExtentList::at(size_t index) const {
    if (index >= size_) throw std::out_of_range("extent index past the end");
    return begin()[index];
}

void ExtentList::grow(size_t capacity) {
    auto* moved = new DataExt[capacity];
    std::copy(begin(), end(), moved);
    if (onHeap()) delete[] many_;
    many_ = moved;
    capacity_ = static_cast<uint32_t>(capacity);
}

bool operator==(const ExtentList& a, const ExtentList& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

bool operator==(const ExtentList& a, const std::vector<DataExt>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

}  // namespace norix
