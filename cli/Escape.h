#pragma once
// Names read from a disk are untrusted: printed as they are, a name holding ESC or
// other control characters would drive the user's terminal.
#include <string>
#include <string_view>

namespace norix::cli {

// The text made safe for a terminal: control characters (below 0x20, 0x7f and the
// C1 range U+0080-U+009F) and bytes that are not UTF-8 become \xNN, a backslash
// becomes \\; any other UTF-8 passes unchanged.
std::string terminalSafe(std::string_view text);

// Appends the text as a JSON string, quotes included: control characters as \u00NN,
// bytes that are not UTF-8 as U+FFFD.
void appendJsonString(std::string& out, std::string_view text);

}  // namespace norix::cli
