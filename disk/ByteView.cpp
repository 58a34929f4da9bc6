#include "disk/ByteView.h"

namespace norix {

namespace {
void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}
constexpr uint32_t kReplacement = 0xFFFD;
}  // namespace

void ByteView::throwOutOfRange(size_t offset, size_t length) const {
    throw std::out_of_range("read of " + std::to_string(length) + " bytes at " + std::to_string(offset) + " past " +
                            std::to_string(size()));
}

std::string utf16ToUtf8(ByteView units, Endian order, bool stopAtNul) {
    std::string out;
    const size_t count = units.size() / 2;
    auto unitAt = [&](size_t i) { return order == Endian::Little ? units.u16le(2 * i) : units.u16be(2 * i); };
    for (size_t i = 0; i < count; ++i) {
        const uint32_t unit = unitAt(i);
        if (unit == 0 && stopAtNul) break;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < count) {
            const uint32_t low = unitAt(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        appendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? kReplacement : unit);
    }
    return out;
}

size_t utf8SequenceAt(std::string_view text, size_t at, char32_t& codePoint) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[at + i]); };
    const uint8_t lead = byte(0);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    size_t length = 0;
    if ((lead >> 5) == 0x6) length = 2;
    else if ((lead >> 4) == 0xE) length = 3;
    else if ((lead >> 3) == 0x1E) length = 4;
    else return 0;
    if (length > text.size() - at) return 0;
    char32_t value = lead & (0xFF >> (length + 1));
    for (size_t k = 1; k < length; ++k) {
        if ((byte(k) & 0xC0) != 0x80) return 0;
        value = (value << 6) | (byte(k) & 0x3F);
    }
    static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kMinimum[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    codePoint = value;
    return length;
}

std::u16string utf8ToUtf16(std::string_view text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        char32_t cp = kReplacement;
        const size_t length = utf8SequenceAt(text, i, cp);
        i += length ? length : 1;
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

}  // namespace norix
