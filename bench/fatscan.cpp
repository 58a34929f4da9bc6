// The quick scan of a large FAT32 volume followed by the sweep (scan type "Q"), and the
// sweep alone (scan type "D", every entry rebuilt as a lost partition), on a
// page-cached image with no file type selected, so only the file-system work is timed.
//
//   bench_fatscan IMAGE        (tools/make-fat32-bench-image.sh makes one)
#include <cstdio>
#include <filesystem>

#include "bench/BenchImage.h"
#include "scan/RecoveryModule.h"

using namespace norix;
namespace fs = std::filesystem;
using namespace norix::bench;

namespace {

struct Counts {
    uint32_t quick = 0, deep = 0;
};

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
    const double elapsed = seconds(start);
    Counts files;
    const BaseTree& root = *module.dirRoot();
    if (type == "Q") files.quick = countFiles(*root.getChildAtIndex(0));
    files.deep = countFiles(*module.deepNode());
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
    prepare();
    readImage(path, bytes);  // into the page cache
    const auto [quick, quickFiles] = scan(path, bytes, "Q");
    std::printf("type Q  %7.2f s  files: %u in the quick scan, %u more in the sweep\n", quick, quickFiles.quick,
                quickFiles.deep);
    const auto [deep, deepFiles] = scan(path, bytes, "D");
    std::printf("type D  %7.2f s  files: %u in the sweep\n", deep, deepFiles.deep);
    return 0;
}
