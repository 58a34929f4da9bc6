#pragma once
// What every throughput program shares: a data folder of its own (the user's catalogue
// is left alone), console output off, the time zone read once (as the programs do), the
// image read once into the page cache, and the count of files in a tree.
#include <chrono>
#include <cstdlib>
#include <filesystem>
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

inline uint32_t countFiles(const BaseTree& node) {
    uint32_t files = node.fileType == 2;
    for (const auto& child : node.childrenArray) files += countFiles(*child);
    return files;
}

}  // namespace norix::bench
