#pragma once
#include <cstdio>
#include <functional>

#include "results/BaseTree.h"

namespace norix::cli {

// Which children are printed (all when empty).
using ListedChild = std::function<bool(const BaseTree&)>;

// The tree as indented text: folders end with "/", files show their size. Names are
// printed terminal-safe.
void printTreeText(const BaseTree& root, std::FILE* out, const ListedChild& listed = {});
// The tree as one JSON document, one node to a line, written as the tree is walked.
void printTreeJson(const BaseTree& root, std::FILE* out, const ListedChild& listed = {});

}  // namespace norix::cli
