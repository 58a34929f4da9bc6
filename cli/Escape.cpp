#include "cli/Escape.h"

#include <cstdint>
#include <cstdio>

namespace norix::cli {

namespace {

// The length of the well-formed UTF-8 sequence at text[at] (0 when there is none:
// a stray byte, an overlong form, a surrogate or a value past U+10FFFF), and its
// code point.
size_t utf8Sequence(std::string_view text, size_t at, char32_t& codePoint) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[at + i]); };
    const uint8_t lead = byte(0);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    size_t length = 0;
    char32_t smallest = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2; smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3; smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4; smallest = 0x10000;
    } else {
        return 0;
    }
    codePoint = lead & (0x7F >> length);
    if (length > text.size() - at) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        codePoint = codePoint << 6 | (byte(i) & 0x3F);
    }
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    if (codePoint < smallest || surrogate || codePoint > 0x10FFFF) return 0;
    return length;
}

bool isControl(char32_t codePoint) { return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F); }

void appendFormatted(std::string& out, const char* format, unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, format, value);
    out += text;
}

}  // namespace

std::string terminalSafe(std::string_view text) {
    std::string safe;
    safe.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        char32_t codePoint = 0;
        const size_t length = utf8Sequence(text, at, codePoint);
        if (length == 0 || isControl(codePoint)) {
            // Each byte on its own, so a C1 character shows as its two UTF-8 bytes.
            for (size_t i = 0; i < (length ? length : 1); ++i)
                appendFormatted(safe, "\\x%02x", static_cast<uint8_t>(text[at + i]));
        } else if (codePoint == '\\') {
            safe += "\\\\";
        } else {
            safe.append(text.substr(at, length));
        }
        at += length ? length : 1;
    }
    return safe;
}

void appendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (size_t at = 0; at < text.size();) {
        char32_t codePoint = 0;
        const size_t length = utf8Sequence(text, at, codePoint);
        if (length == 0) out += "\xEF\xBF\xBD";  // U+FFFD
        else if (isControl(codePoint)) appendFormatted(out, "\\u%04x", static_cast<unsigned>(codePoint));
        else if (codePoint == '"' || codePoint == '\\') (out += '\\') += static_cast<char>(codePoint);
        else out.append(text.substr(at, length));
        at += length ? length : 1;
    }
    out += '"';
}

}  // namespace norix::cli
