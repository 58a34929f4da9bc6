#pragma once
// One list of fields serves both directions of a checkpoint: an archive either appends
// each field to a buffer or reads it back in the same order. Integers are little-endian
// of their own width, strings and containers are preceded by their count. Reading
// trusts nothing: every field is checked against the bytes left, and a count larger
// than the bytes left (every element takes at least one) ends the reading.
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "disk/ByteView.h"
#include "results/SharedText.h"

namespace norix {

class CheckpointArchive {
public:
    explicit CheckpointArchive(std::vector<uint8_t>& out) : out_(&out) {}
    CheckpointArchive(ByteView in, size_t position) : in_(in), position_(position) {}

    bool reading() const { return out_ == nullptr; }
    size_t& position() { return position_; }
    std::vector<uint8_t>& out() { return *out_; }

    template <class... T>
    void operator()(T&... fields) {
        (io(fields), ...);
    }

    template <class T>
    void io(T& value) {
        if constexpr (std::is_same_v<T, bool>) {
            uint8_t byte = value;
            io(byte);
            if (byte > 1) throw std::runtime_error("a flag holds " + std::to_string(byte));
            value = byte;
        } else if constexpr (std::is_enum_v<T>) {
            auto raw = static_cast<std::underlying_type_t<T>>(value);
            io(raw);
            value = static_cast<T>(raw);
        } else if constexpr (std::is_integral_v<T>) {
            integer(value);
        } else {
            fields(*this, value);  // the record's own list, found with the record
        }
    }

    void io(std::string& text) {
        uint64_t size = text.size();
        count(size);
        if (reading()) {
            text = in_.text(position_, size);
            position_ += size;
        } else {
            out_->insert(out_->end(), text.begin(), text.end());
        }
    }

    void io(SharedText& text) {
        std::string plain = text;
        io(plain);
        if (reading()) text = std::move(plain);
    }

    template <class T, size_t N>
    void io(std::array<T, N>& values) {
        for (T& value : values) io(value);
    }

    template <class A, class B>
    void io(std::pair<A, B>& pair) {
        io(pair.first);
        io(pair.second);
    }

    template <class T>
    void io(std::optional<T>& value) {
        bool present = value.has_value();
        io(present);
        if (present && !value) value.emplace();
        if (!present) value.reset();
        else io(*value);
    }

    template <class T>
    void io(std::vector<T>& values) {
        each(values, [&](T& value) { io(value); });
    }

    template <class K, class V>
    void io(std::map<K, V>& values) {
        if (!reading()) {
            uint64_t size = values.size();
            count(size);
            for (auto& [key, value] : values) {
                K k = key;
                io(k);
                io(value);
            }
            return;
        }
        uint64_t size = 0;
        count(size);
        values.clear();
        for (uint64_t i = 0; i < size; ++i) {
            std::pair<K, V> entry;
            io(entry);
            values.insert(std::move(entry));
        }
    }

    template <class T>
    void io(std::set<T>& values) {
        std::vector<T> list(values.begin(), values.end());
        io(list);
        values = std::set<T>(list.begin(), list.end());
    }

    // A vector whose elements have a list of their own, given as element.
    template <class T, class F>
    void each(std::vector<T>& values, F element) {
        uint64_t size = values.size();
        count(size);
        if (reading()) {
            values.clear();
            for (uint64_t i = 0; i < size; ++i) element(values.emplace_back());
        } else {
            for (T& value : values) element(value);
        }
    }

    // A count of elements; read, it is at most the bytes left.
    void count(uint64_t& size) {
        integer(size);
        if (reading() && size > in_.size() - position_)
            throw std::runtime_error("a count of " + std::to_string(size) + " is larger than the bytes left");
    }

private:
    template <class T>
    void integer(T& value) {
        using U = std::make_unsigned_t<T>;
        if (reading()) {
            uint64_t raw = 0;
            if constexpr (sizeof(T) == 1) raw = in_.u8(position_);
            else if constexpr (sizeof(T) == 2) raw = in_.u16le(position_);
            else if constexpr (sizeof(T) == 4) raw = in_.u32le(position_);
            else raw = in_.u64le(position_);
            value = static_cast<T>(static_cast<U>(raw));
            position_ += sizeof(T);
        } else {
            auto raw = static_cast<U>(value);
            for (size_t i = 0; i < sizeof(T); ++i) out_->push_back(static_cast<uint8_t>(raw >> (8 * i)));
        }
    }

    std::vector<uint8_t>* out_ = nullptr;
    ByteView in_;
    size_t position_ = 0;
};

}  // namespace norix
