// The sweep of a quick-formatted FAT32 card (scan type "D") on a page-cached image with
// no file type selected: time, peak memory, and how many files come back in a folder.
//
//   bench_formatted IMAGE      (tools/make-fat32-bench-image.sh IMAGE --formatted makes one)
#include <cstdio>

#include "bench/BenchImage.h"
#include "scan/RecoveryModule.h"

using namespace norix;
using namespace norix::bench;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_formatted IMAGE\n");
        return 2;
    }
    const std::string path = argv[1];
    const uint64_t bytes = std::filesystem::file_size(path);
    prepare();
    readImage(path, bytes);  // into the page cache
    const double before = statusMiB("VmHWM");
    RecoveryModule module;
    auto disk = std::make_shared<Disk>(DiskDescription{{DiskKey::ImagePath, path},
                                                       {DiskKey::MediaSize, bytes},
                                                       {DiskKey::MediaBlockSize, uint64_t{512}}},
                                       std::vector<std::string>{});
    module.setDiskPathWithString_withRootName(path, "bench");
    const auto start = Clock::now();
    module.recoverFromDisk_withScantType_andName_selectedPath(disk, "D", "bench", std::nullopt);
    const double elapsed = seconds(start);
    uint32_t files = 0, lost = 0, folders = 0;
    for (const auto& partition : module.deepNode()->childrenArray) {
        files += countFiles(*partition);
        for (const auto& child : partition->childrenArray) {
            if (child->fileName == "Lost") lost += countFiles(*child);
            folders += child->fileType != 2 && child->fileName != "Lost";
        }
    }
    std::printf("type D  %7.2f s  peak RSS %.0f MiB (%.0f before the scan)\n", elapsed, statusMiB("VmHWM"), before);
    std::printf("files: %u listed, %u in a folder, %u in Lost; %u top folders\n", files, files - lost, lost, folders);
    return 0;
}
