#pragma once
// What every throughput program shares: a data folder of its own (the user's catalogue
// is left alone), console output off, the time zone read once (as the programs do), the
// image read once into the page cache, the peak memory, and the nodes and files of a tree.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "disk/DiskReader.h"
#include "disk/Platform.h"
#include "results/BaseTree.h"

namespace norix::bench {

using Clock = std::chrono::steady_clock;

inline double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

inline void prepare() {
    setConsoleQuiet(true);
    settleTimeZone();
    const auto home = std::filesystem::temp_directory_path() / "norix-bench-home";
    std::filesystem::create_directories(home / "Norix Data Recovery");
    setenv("XDG_DATA_HOME", home.c_str(), 1);
}

// Reads the whole image in 8 MiB pieces; answers the seconds it took.
inline double readImage(const std::string& path, uint64_t bytes) {
    std::vector<uint8_t> chunk(8u << 20);
    const auto start = Clock::now();
    for (uint64_t offset = 0; offset < bytes; offset += chunk.size())
        DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(offset / 4096, 4096, path,
                                                                                       chunk, chunk.size() / 4096);
    return seconds(start);
}

// A field of /proc/self/status in MiB ("VmHWM": peak resident memory).
inline double statusMiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with(field + ":")) return std::strtod(line.c_str() + field.size() + 1, nullptr) / 1024;
    return 0;
}

// Every node of the tree, the root included.
inline size_t countNodes(const BaseTree& root) {
    size_t nodes = 0;
    std::vector<const BaseTree*> pending{&root};
    while (!pending.empty()) {
        const BaseTree* node = pending.back();
        pending.pop_back();
        ++nodes;
        for (const auto& child : node->childrenArray) pending.push_back(child.get());
    }
    return nodes;
}

inline uint32_t countFiles(const BaseTree& node) {
    uint32_t files = node.fileType == 2;
    for (const auto& child : node.childrenArray) files += countFiles(*child);
    return files;
}

}  // namespace norix::bench
