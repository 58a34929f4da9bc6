#include "cli/TreePrinter.h"

#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

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
        line += node->fileName;
        if (node->fileType == 1) {
            line += "/";
            if (node->fileCount) line += "  (" + std::to_string(node->fileCount) + " files)";
        } else {
            line += "  " + TreeClassMethod::sizeText(node->fileSize);
        }
        if (node->deleted && node->fileType == 2) line += "  [deleted]";
        std::fprintf(out, "%s\n", line.c_str());
        const auto children = printedChildren(*node, listed);
        for (auto it = children.rbegin(); it != children.rend(); ++it) pending.emplace_back(*it, depth + 1);
    }
}

namespace {
nlohmann::ordered_json nodeFields(const BaseTree& node) {
    nlohmann::ordered_json extents = nlohmann::ordered_json::array();
    for (const auto& ext : node.dataExtArray) extents.push_back({ext.startBlock, ext.blockCount});
    return {{"name", node.fileName},
            {"path", node.pathName},
            {"fileType", node.fileType},
            {"fileSize", node.fileSize},
            {"deleted", node.deleted != 0},
            {"entry", node.entry},
            {"blocksStartsAtSector", node.blocksStartsAtSector},
            {"blockSize", node.blockSize},
            {"extents", std::move(extents)},
            {"children", nlohmann::ordered_json::array()}};
}
}  // namespace

void printTreeJson(const BaseTree& root, std::FILE* out, const ListedChild& listed) {
    nlohmann::ordered_json document = nodeFields(root);
    // Each pending entry: a node and the JSON array its children go into.
    std::vector<std::pair<const BaseTree*, nlohmann::ordered_json*>> pending{{&root, &document["children"]}};
    while (!pending.empty()) {
        auto [node, children] = pending.back();
        pending.pop_back();
        const auto printed = printedChildren(*node, listed);
        for (const BaseTree* child : printed) children->push_back(nodeFields(*child));
        for (size_t i = 0; i < printed.size(); ++i) pending.emplace_back(printed[i], &(*children)[i]["children"]);
    }
    const std::string text = document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    std::fprintf(out, "%s\n", text.c_str());
}

}  // namespace norix::cli
