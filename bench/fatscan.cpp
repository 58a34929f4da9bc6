// The quick scan of a large FAT32 volume followed by the sweep (scan type "Q"), and the
// sweep alone (scan type "D", every entry rebuilt as a lost partition), on a
// page-cached image with no file type selected, so only the file-system work is timed.
//
//   bench_fatscan IMAGE        (tools/make-fat32-bench-image.sh makes one)
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "disk/DiskReader.h"
#include "disk/Platform.h"
#include "scan/RecoveryModule.h"

using namespace norix;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Counts {
    uint32_t quick = 0, deep = 0;
};

void count(const BaseTree& node, uint32_t& files) {
    files += node.fileType == 2;
    for (const auto& child : node.childrenArray) count(*child, files);
}

std::pair<double, Counts> scan(const std::string& path, uint64_t bytes, const std::string& type) {
    RecoveryModule module;
    auto disk = std::make_shared<Disk>(DiskDescription{{DiskKey::ImagePath, path},
                                                       {DiskKey::MediaSize, bytes},
                                                       {DiskKey::MediaBlockSize, uint64_t{512}},
                                                       {DiskKey::VolumeKind, std::string("msdos")}},
                                       std::vector<std::string>{});
    module.setDiskPathWithString_withRootName(path, "bench");
    const auto start = Clock::now();
    module.recoverFromDisk_withScantType_andName_selectedPath(disk, type, "bench", std::nullopt);
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    Counts files;
    const BaseTree& root = *module.dirRoot();
    if (type == "Q") count(*root.getChildAtIndex(0), files.quick);
    count(*module.deepNode(), files.deep);
    return {elapsed, files};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_fatscan IMAGE\n");
        return 2;
    }
    const std::string path = argv[1];
    const uint64_t bytes = fs::file_size(path);
    setConsoleQuiet(true);
    const fs::path home = fs::temp_directory_path() / "norix-bench-home";
    fs::create_directories(home / "Norix Data Recovery");
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    std::vector<uint8_t> chunk(8u << 20);  // into the page cache
    for (uint64_t offset = 0; offset < bytes; offset += chunk.size())
        DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(offset / 4096, 4096, path,
                                                                                       chunk, chunk.size() / 4096);
    const auto [quick, quickFiles] = scan(path, bytes, "Q");
    std::printf("type Q  %7.2f s  files: %u in the quick scan, %u more in the sweep\n", quick, quickFiles.quick,
                quickFiles.deep);
    const auto [deep, deepFiles] = scan(path, bytes, "D");
    std::printf("type D  %7.2f s  files: %u in the sweep\n", deep, deepFiles.deep);
    return 0;
}
