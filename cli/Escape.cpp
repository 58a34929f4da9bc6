#include "cli/Escape.h"

#include <cstdint>
#include <cstdio>

#include "disk/ByteView.h"

namespace norix::cli {

namespace {

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
        const size_t length = utf8SequenceAt(text, at, codePoint);
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
        const size_t length = utf8SequenceAt(text, at, codePoint);
        if (length == 0) out += "\xEF\xBF\xBD";  // U+FFFD
        else if (isControl(codePoint)) appendFormatted(out, "\\u%04x", static_cast<unsigned>(codePoint));
        else if (codePoint == '"' || codePoint == '\\') (out += '\\') += static_cast<char>(codePoint);
        else out.append(text.substr(at, length));
        at += length ? length : 1;
    }
    out += '"';
}

}  // namespace norix::cli
