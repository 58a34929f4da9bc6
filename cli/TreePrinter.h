#pragma once
#include <cstdio>

#include "results/BaseTree.h"

namespace norix::cli {

// The tree as indented text: folders end with "/", files show their size.
void printTreeText(const BaseTree& root, std::FILE* out);
// The tree as one JSON document.
void printTreeJson(const BaseTree& root, std::FILE* out);

}  // namespace norix::cli
