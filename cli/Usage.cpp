#include "cli/Usage.h"

#include <cstdio>

namespace norix::cli {

int usageError(const std::string& message) {
    std::fprintf(stderr, "norix: %s\nsee norix help\n", message.c_str());
    return kUsageExit;
}

}  // namespace norix::cli
