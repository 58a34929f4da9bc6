#pragma once
// A node of the result tree named by its child positions from the root (the root is
// the empty path). Views keep paths, never node pointers, so a tree the engine
// replaces or prunes is never touched: a stale path resolves to nothing.
#include <cstddef>
#include <vector>

namespace norix {
class BaseTree;
class RecoveryModule;
}  // namespace norix

namespace norix::app {

using NodePath = std::vector<size_t>;

// Both with the tree lock held.
BaseTree* resolvePath(const RecoveryModule& module, const NodePath& path);
NodePath pathOfNode(const BaseTree& node);

}  // namespace norix::app
