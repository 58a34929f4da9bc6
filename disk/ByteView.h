#pragma once
// A read-only view of bytes from a disk or a file. Every accessor checks its bounds
// and throws std::out_of_range past the end, so a parser of hostile bytes cannot
// read outside its buffer; byte order is spelled out at every read.

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace norix {

class ByteView {
public:
    ByteView() = default;
    ByteView(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    ByteView(const uint8_t* data, size_t size) : bytes_(data, size) {}

    size_t size() const { return bytes_.size(); }
    bool empty() const { return bytes_.empty(); }
    const uint8_t* data() const { return bytes_.data(); }
    std::span<const uint8_t> span() const { return bytes_; }
    // True when length bytes from offset lie inside the view (no overflow possible).
    bool has(size_t offset, size_t length) const { return offset <= size() && length <= size() - offset; }

    uint8_t u8(size_t offset) const { return bytes(offset, 1)[0]; }
    uint16_t u16le(size_t offset) const { return static_cast<uint16_t>(le(offset, 2)); }
    uint32_t u32le(size_t offset) const { return static_cast<uint32_t>(le(offset, 4)); }
    uint64_t u64le(size_t offset) const { return le(offset, 8); }
    uint16_t u16be(size_t offset) const { return static_cast<uint16_t>(be(offset, 2)); }
    uint32_t u32be(size_t offset) const { return static_cast<uint32_t>(be(offset, 4)); }
    uint64_t u64be(size_t offset) const { return be(offset, 8); }

    std::span<const uint8_t> bytes(size_t offset, size_t length) const {
        if (!has(offset, length)) [[unlikely]]
            throwOutOfRange(offset, length);
        return bytes_.subspan(offset, length);
    }
    ByteView sub(size_t offset, size_t length) const { return ByteView(bytes(offset, length)); }
    // The bytes from offset to the end.
    ByteView from(size_t offset) const { return sub(offset, offset <= size() ? size() - offset : 1); }
    std::string text(size_t offset, size_t length) const {
        auto b = bytes(offset, length);
        return std::string(b.begin(), b.end());
    }
    bool matches(size_t offset, std::string_view expected) const {
        if (!has(offset, expected.size())) return false;
        for (size_t i = 0; i < expected.size(); ++i)
            if (bytes_[offset + i] != static_cast<uint8_t>(expected[i])) return false;
        return true;
    }

private:
    // Out of line, so that the checked accessors stay small enough to inline in the
    // sweep's per-sector tests.
    [[noreturn, gnu::cold, gnu::noinline]] void throwOutOfRange(size_t offset, size_t length) const;
    uint64_t le(size_t offset, size_t width) const {
        auto b = bytes(offset, width);
        uint64_t value = 0;
        for (size_t i = width; i-- > 0;) value = (value << 8) | b[i];
        return value;
    }
    uint64_t be(size_t offset, size_t width) const {
        auto b = bytes(offset, width);
        uint64_t value = 0;
        for (size_t i = 0; i < width; ++i) value = (value << 8) | b[i];
        return value;
    }

    std::span<const uint8_t> bytes_;
};

enum class Endian { Little, Big };

// UTF-16 code units (taken from bytes in the given order) to UTF-8. Unpaired
// surrogates become U+FFFD; decoding stops at the first NUL unit when stopAtNul.
std::string utf16ToUtf8(ByteView units, Endian order, bool stopAtNul = true);
// UTF-8 to UTF-16 code units in host order; malformed bytes become U+FFFD.
std::u16string utf8ToUtf16(std::string_view text);
// The length of the well-formed UTF-8 sequence at text[at], with its code point; 0 for a
// stray byte, a cut or overlong sequence, a surrogate or a value past U+10FFFF.
size_t utf8SequenceAt(std::string_view text, size_t at, char32_t& codePoint);

}  // namespace norix
