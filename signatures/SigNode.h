#pragma once
// One node of the file-type catalogue: the root, a category, or a file type with its
// Sig. A node owns its children; the parent link is weak. Tick states are plain
// numbers here: the views that show them belong to the application.

#include <cstdint>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "signatures/Sig.h"

namespace norix {

class SigNode {
public:
    SigNode() = default;
    // A deep copy with no parent (children point at their copied parents).
    SigNode(const SigNode& other);
    SigNode& operator=(const SigNode&) = delete;

    uint16_t fileTypeSigNode = 0;  // 1 a group (the root or a category), 2 a file type
    std::vector<std::unique_ptr<SigNode>> children;
    uint8_t selected = 0;  // 0 unticked, 1 partly ticked (groups), 2 ticked
    std::string category;
    std::optional<Sig> sig;  // file types only
    SigNode* parent = nullptr;
    bool containsPreInstalledChildren = false;

    // Appends the child and makes this node its parent.
    SigNode* addChild(std::unique_ptr<SigNode> child);
    void setSig(const Sig& value) { sig = value; }

    // Ticks (YES) or unticks the node, and every child below that is not already so.
    void check(bool flag);
    // The group's state from its children: 2 all ticked, 0 none, else 1.
    void setCount();
    // A file type: ticked. A group: every child ticked (true when it has none).
    bool isAllChecked() const;
    bool isAllUnChecked() const;

    nlohmann::json encode() const;
    // The node at depth (0 the root, 1 a category, 2 a file type) from the catalogue
    // file's object; throws std::runtime_error when it has not the shape of that level.
    static std::unique_ptr<SigNode> decode(const nlohmann::json& object, int depth);
};

}  // namespace norix
