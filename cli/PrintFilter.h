#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "results/FilterState.h"

namespace norix::cli {

// What scan, session and search print: a quick category (--filter), deleted or
// existing files (--deleted, --existing), and a size window (--min-size, --max-size).
// Folders are always printed; a file is printed when it passes every filter given.
class PrintFilter {
public:
    // Takes the filter option at args[i] with its value. False when args[i] is no
    // filter option, or when its value is wrong (error says why).
    bool takeOption(const std::vector<std::string>& args, size_t& i, std::string& error);
    // Sets the filters up once every option is taken; the alert for a wrong size window.
    std::optional<std::string> finish();
    bool listed(const BaseTree& node) const;

private:
    FilterState category_;
    FilterState advanced_;
    bool useCategory_ = false;
    std::set<std::string> boxes_;
    std::optional<uint64_t> minimumSize_, maximumSize_;
};

}  // namespace norix::cli
