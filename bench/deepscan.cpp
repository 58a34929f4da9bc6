// Deep-scan throughput on a page-cached image: the time to read it alone, then the
// sweep examined by 1 thread and by N, each run a few times (the best counts, the spread
// shows how busy the machine was).
//
//   bench_deepscan IMAGE [N] [RUNS]   (N: the cores by default; RUNS: 3;
//                                      tools/make-deepscan-bench-image.sh makes one)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <sys/resource.h>

#include "bench/BenchImage.h"
#include "scan/RecoveryModule.h"
#include "signatures/SigCatalogue.h"

using namespace norix;
namespace fs = std::filesystem;
using namespace norix::bench;

namespace {

constexpr double kChunkBytes = 8 << 20;

// CPU seconds of every thread of the process so far.
double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto secondsOf = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return secondsOf(usage.ru_utime) + secondsOf(usage.ru_stime);
}

struct Sweep {
    double elapsed, cpu;
    uint32_t files;
};

Sweep sweep(const std::string& path, uint64_t bytes, unsigned threads) {
    RecoveryModule module;
    module.examinerThreads = threads;
    SigCatalogue catalogue;  // the shipped catalogue: every built-in type ticked
    catalogue.copySigData();
    module.setFileCheckArray(catalogue.makeSelectedSigArray());
    auto disk = std::make_shared<Disk>(DiskDescription{{DiskKey::ImagePath, path},
                                                       {DiskKey::MediaSize, bytes},
                                                       {DiskKey::MediaBlockSize, uint64_t{512}},
                                                       {DiskKey::MediaWhole, true}},
                                       std::vector<std::string>{});
    module.setDiskPathWithString_withRootName(path, "bench");
    const double cpu = cpuSeconds();
    const auto start = Clock::now();
    module.recoverFromDisk_withScantType_andName_selectedPath(disk, "D", "bench", std::nullopt);
    const double elapsed = seconds(start);
    return {elapsed, cpuSeconds() - cpu, countFiles(*module.dirRoot())};
}

struct Runs {
    double best = 1e30, worst = 0, cores = 0;  // cores: CPU time over elapsed time of the best run
    uint32_t files = 0;
};

Runs sweeps(const std::string& path, uint64_t bytes, unsigned threads, int runs) {
    Runs result;
    for (int run = 0; run < runs; ++run) {
        const Sweep one = sweep(path, bytes, threads);
        if (one.elapsed < result.best) result.cores = one.cpu / one.elapsed;
        result.best = std::min(result.best, one.elapsed);
        result.worst = std::max(result.worst, one.elapsed);
        result.files = one.files;
    }
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: bench_deepscan IMAGE [THREADS] [RUNS]\n");
        return 2;
    }
    const std::string path = argv[1];
    const unsigned threads = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2]))
                                      : std::max(1u, std::thread::hardware_concurrency());
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    const uint64_t bytes = fs::file_size(path);
    prepare();
    readImage(path, bytes);  // into the page cache
    const double mb = bytes / 1e6, chunks = bytes / kChunkBytes;
    const double read = readImage(path, bytes);
    const Runs one = sweeps(path, bytes, 1, runs);
    const Runs many = sweeps(path, bytes, threads, runs);
    std::printf("image            %.0f MB, %.0f chunks of 8 MiB\n", mb, chunks);
    std::printf("read only        %7.0f MB/s  (%.3f s, %.2f ms a chunk)\n", mb / read, read, read / chunks * 1e3);
    std::printf("1 thread         %7.0f MB/s  (best %.3f s of %d, worst %.3f s; %.2f ms of examination a chunk; "
                "%.2f cores busy with the reader)\n",
                mb / one.best, one.best, runs, one.worst, one.best / chunks * 1e3, one.cores);
    std::printf("%u threads        %7.0f MB/s  (best %.3f s of %d, worst %.3f s; %.2f cores busy)\n", threads,
                mb / many.best, many.best, runs, many.worst, many.cores);
    std::printf("speed-up         %7.2fx\n", one.best / many.best);
    std::printf("files found      %u (1 thread: %u)\n", many.files, one.files);
    return many.files == one.files ? 0 : 1;
}
