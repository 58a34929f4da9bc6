#include "app/NodePath.h"

#include <algorithm>

#include "results/BaseTree.h"
#include "scan/RecoveryModule.h"

namespace norix::app {

BaseTree* resolvePath(const RecoveryModule& module, const NodePath& path) {
    BaseTree* node = module.dirRoot();
    for (auto position = path.begin(); node && position != path.end(); ++position)
        node = node->getChildAtIndex(*position);
    return node;
}

NodePath pathOfNode(const BaseTree& node) {
    NodePath path;
    for (const BaseTree* child = &node; const BaseTree* parent = child->getParent(); child = parent) {
        const auto& siblings = parent->childrenArray;
        const auto at = std::ranges::find_if(siblings, [&](const auto& sibling) { return sibling.get() == child; });
        if (at == siblings.end()) return {};
        path.push_back(static_cast<size_t>(at - siblings.begin()));
    }
    std::ranges::reverse(path);
    return path;
}

}  // namespace norix::app
