#include "cli/TreePrinter.h"

#include <chrono>
#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/Escape.h"
#include "results/TreeClassMethod.h"

namespace norix::cli {

namespace {
// The children of node that are printed, in order.
std::vector<const BaseTree*> printedChildren(const BaseTree& node, const ListedChild& listed) {
    std::vector<const BaseTree*> children;
    for (const auto& child : node.childrenArray)
        if (!listed || listed(*child)) children.push_back(child.get());
    return children;
}
}  // namespace

void printTreeText(const BaseTree& root, std::FILE* out, const ListedChild& listed) {
    // Pre-order with an explicit stack: a tree from a hostile disk can be very deep.
    std::vector<std::pair<const BaseTree*, size_t>> pending{{&root, 0}};
    while (!pending.empty()) {
        auto [node, depth] = pending.back();
        pending.pop_back();
        std::string line(depth * 2, ' ');
        line += terminalSafe(node->fileName);
        if (node->fileType == 1) {
            line += "/";
            if (node->fileCount) line += "  (" + std::to_string(node->fileCount) + " files)";
        } else {
            line += "  " + TreeClassMethod::sizeText(node->fileSize);
        }
        if (node->deleted && node->fileType == 2) line += "  [deleted]";
        if (node->incomplete) line += "  [incomplete]";
        std::fprintf(out, "%s\n", line.c_str());
        const auto children = printedChildren(*node, listed);
        for (auto it = children.rbegin(); it != children.rend(); ++it) pending.emplace_back(*it, depth + 1);
    }
}

namespace {

constexpr uint8_t kPreviewEntry = 6;  // the embedded JPEG of a raw image

// A node's date as ISO 8601, "2024-06-01T12:30:00Z"; nothing for no date or one that
// is not a real one. FAT and exFAT keep the date in the high 16 bits (years from 1980,
// month, day) and the time in the low 16 (hours, minutes, seconds / 2); the other
// file systems count seconds from 1904.
std::optional<std::string> dateText(const BaseTree& node, uint32_t value) {
    if (value == 0) return std::nullopt;
    char text[32];
    if (node.entry == 1 || node.entry == 2) {
        const int year = 1980 + static_cast<int>(value >> 25);
        const unsigned month = value >> 21 & 0x0F, day = value >> 16 & 0x1F, hour = value >> 11 & 0x1F,
                       minute = value >> 5 & 0x3F, second = (value & 0x1F) * 2;
        const std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(month),
                                               std::chrono::day(day)};
        if (!date.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
        std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02u:%02u:%02uZ", year, month, day, hour, minute, second);
        return text;
    }
    const std::time_t when = static_cast<std::time_t>(int64_t{value} - TreeClassMethod::kSecondsFrom1904To1970);
    std::tm utc{};
    if (!gmtime_r(&when, &utc) || std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc) == 0)
        return std::nullopt;
    return text;
}

// The node's fields up to its open list of children: {"name":...,"children":[
void appendNodeOpening(std::string& out, const BaseTree& node) {
    const auto field = [&](const char* name) {
        out += ",\"";
        out += name;
        out += "\":";
    };
    out += "{\"name\":";
    appendJsonString(out, node.fileName);
    field("path");
    appendJsonString(out, node.pathName);
    field("fileType");
    out += std::to_string(node.fileType);
    field("fileSize");
    out += std::to_string(node.fileSize);
    field("deleted");
    out += node.deleted ? "true" : "false";
    if (node.incomplete) {
        field("incomplete");
        out += "true";
    }
    field("entry");
    out += std::to_string(node.entry);
    field("preview");
    out += node.entry == kPreviewEntry ? "true" : "false";
    for (const auto& [name, value] : {std::pair{"created", node.createDate}, std::pair{"modified", node.modDate}})
        if (const auto date = dateText(node, value)) {
            field(name);
            out += '"' + *date + '"';
        }
    field("blocksStartsAtSector");
    out += std::to_string(node.blocksStartsAtSector);
    field("blockSize");
    out += std::to_string(node.blockSize);
    field("extents");
    for (size_t i = 0; i < node.dataExtArray.size(); ++i) {
        const DataExt& ext = node.dataExtArray[i];
        out += (i == 0 ? "[[" : ",[") + std::to_string(ext.startBlock) + "," + std::to_string(ext.blockCount) + "]";
    }
    out += node.dataExtArray.empty() ? "[]" : "]";
    field("children");
    out += '[';
}

}  // namespace

void printTreeJson(const BaseTree& root, std::FILE* out, const ListedChild& listed) {
    // Each node is written as it is visited, one to a line; the stack holds the open
    // nodes, each with the position of its next child and whether one was written.
    struct Open {
        const BaseTree* node;
        size_t next;
        bool written;
    };
    std::string text;
    appendNodeOpening(text, root);
    std::vector<Open> open{{&root, 0, false}};
    while (!open.empty()) {
        Open& top = open.back();
        const auto& children = top.node->childrenArray;
        while (top.next < children.size() && listed && !listed(*children[top.next])) ++top.next;
        if (top.next == children.size()) {
            text += "]}";
            open.pop_back();
        } else {
            const BaseTree& child = *children[top.next++];
            text += top.written ? ",\n" : "\n";
            top.written = true;
            appendNodeOpening(text, child);
            open.push_back({&child, 0, false});
        }
        if (text.size() >= 1 << 16) {
            std::fwrite(text.data(), 1, text.size(), out);
            text.clear();
        }
    }
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), out);
}

}  // namespace norix::cli
