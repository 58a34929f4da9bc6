// Deep-scan throughput on a page-cached image: the time to read it alone, then the
// sweep with reads overlapped and with reads and examination in turn.
//
//   bench_deepscan IMAGE        (tools/make-deepscan-bench-image.sh makes one)
#include <cstdio>
#include <filesystem>

#include "bench/BenchImage.h"
#include "scan/RecoveryModule.h"
#include "signatures/SigCatalogue.h"

using namespace norix;
namespace fs = std::filesystem;
using namespace norix::bench;

namespace {

std::pair<double, uint32_t> sweep(const std::string& path, uint64_t bytes, bool overlap) {
    RecoveryModule module;
    module.overlapReads = overlap;
    SigCatalogue catalogue;  // the shipped catalogue: every built-in type ticked
    catalogue.copySigData();
    module.setFileCheckArray(catalogue.makeSelectedSigArray());
    auto disk = std::make_shared<Disk>(DiskDescription{{DiskKey::ImagePath, path},
                                                       {DiskKey::MediaSize, bytes},
                                                       {DiskKey::MediaBlockSize, uint64_t{512}},
                                                       {DiskKey::MediaWhole, true}},
                                       std::vector<std::string>{});
    module.setDiskPathWithString_withRootName(path, "bench");
    const auto start = Clock::now();
    module.recoverFromDisk_withScantType_andName_selectedPath(disk, "D", "bench", std::nullopt);
    const double elapsed = seconds(start);
    return {elapsed, countFiles(*module.dirRoot())};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_deepscan IMAGE\n");
        return 2;
    }
    const std::string path = argv[1];
    const uint64_t bytes = fs::file_size(path);
    prepare();
    readImage(path, bytes);  // into the page cache
    const double mb = bytes / 1e6;
    const double read = readImage(path, bytes);
    const auto [plain, plainFiles] = sweep(path, bytes, false);
    const auto [overlapped, files] = sweep(path, bytes, true);
    std::printf("image            %.0f MB\n", mb);
    std::printf("read only        %7.0f MB/s  (%.3f s)\n", mb / read, read);
    std::printf("examination      %7.0f MB/s  (%.3f s: the plain sweep less the reads)\n", mb / (plain - read),
                plain - read);
    std::printf("sweep, in turn   %7.0f MB/s  (%.3f s)\n", mb / plain, plain);
    std::printf("sweep, overlap   %7.0f MB/s  (%.3f s)\n", mb / overlapped, overlapped);
    std::printf("files found      %u (plain sweep: %u)\n", files, plainFiles);
    return 0;
}
