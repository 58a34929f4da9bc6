#include "signatures/SigNode.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <stdexcept>

namespace norix {

namespace {
constexpr int kFileTypeDepth = 2;  // the root, its categories, their file types
}

SigNode::SigNode(const SigNode& other)
    : fileTypeSigNode(other.fileTypeSigNode),
      selected(other.selected),
      category(other.category),
      sig(other.sig),
      containsPreInstalledChildren(other.containsPreInstalledChildren) {
    for (const auto& child : other.children) addChild(std::make_unique<SigNode>(*child));
}

SigNode* SigNode::addChild(std::unique_ptr<SigNode> child) {
    child->parent = this;
    children.push_back(std::move(child));
    return children.back().get();
}

void SigNode::check(bool flag) {
    const uint8_t state = flag ? 2 : 0;
    selected = state;
    if (fileTypeSigNode != 1 || (flag ? isAllChecked() : isAllUnChecked())) return;
    // A child group's own state is set too when its children already agree (always so
    // for an empty group), so that no group keeps a stale tick.
    for (auto& child : children)
        if (child->selected != state || !(flag ? child->isAllChecked() : child->isAllUnChecked())) child->check(flag);
}

void SigNode::setCount() { selected = isAllChecked() ? 2 : isAllUnChecked() ? 0 : 1; }

bool SigNode::isAllChecked() const {
    if (fileTypeSigNode != 1) return selected == 2;
    return std::all_of(children.begin(), children.end(), [](const auto& child) { return child->selected == 2; });
}

bool SigNode::isAllUnChecked() const {
    if (fileTypeSigNode != 1) return selected == 0;
    return std::all_of(children.begin(), children.end(), [](const auto& child) { return child->selected == 0; });
}

nlohmann::json SigNode::encode() const {
    nlohmann::json object = {{"fileType", fileTypeSigNode}, {"selected", selected}, {"category", category}};
    if (sig) object["sig"] = sig->encode();
    if (fileTypeSigNode == 1) {
        object["children"] = nlohmann::json::array();
        for (const auto& child : children) object["children"].push_back(child->encode());
    }
    return object;
}

std::unique_ptr<SigNode> SigNode::decode(const nlohmann::json& object, int depth) {
    if (!object.is_object()) throw std::runtime_error("a catalogue node is not an object");
    auto node = std::make_unique<SigNode>();
    const auto kind = object.value("fileType", nlohmann::json());
    const auto selected = object.value("selected", nlohmann::json(0));
    const uint64_t wantedKind = depth == kFileTypeDepth ? 2 : 1;
    if (!kind.is_number_unsigned() || kind.get<uint64_t>() != wantedKind)
        throw std::runtime_error("a catalogue node at level " + std::to_string(depth) + " is not of kind " +
                                 std::to_string(wantedKind));
    if (!selected.is_number_unsigned() || selected.get<uint64_t>() > 2)
        throw std::runtime_error("a tick state is not 0, 1 or 2");
    node->fileTypeSigNode = static_cast<uint16_t>(wantedKind);
    node->selected = static_cast<uint8_t>(selected.get<uint64_t>());
    const auto category = object.value("category", nlohmann::json(""));
    if (!category.is_string()) throw std::runtime_error("a category name is not a text");
    node->category = category.get<std::string>();

    if (depth == kFileTypeDepth) {
        if (!object.contains("sig")) throw std::runtime_error("a file type has no \"sig\"");
        node->sig = Sig::decode(object.at("sig"));
        return node;
    }
    const auto children = object.value("children", nlohmann::json::array());
    if (!children.is_array()) throw std::runtime_error("\"children\" is not a list");
    for (const auto& child : children) node->addChild(decode(child, depth + 1));
    return node;
}

}  // namespace norix
