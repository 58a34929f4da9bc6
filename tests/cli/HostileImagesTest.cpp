// norix scan over hostile images (tools/make-hostile-images.sh: loops in chains and
// links, records outside the volume, counts of 2^32-1, files claiming gigabytes, a
// 1 TiB device): each scan ends on its own within a generous time and memory bound,
// prints a valid tree and still lists what is left to list.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <nlohmann/json.hpp>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/TestSupport.h"

namespace norix {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kTimeBound = 30s;
constexpr long kMemoryBoundKiB = 1 << 20;

struct BoundedRun {
    int exitCode = -1;  // -1: killed at the time bound
    std::chrono::milliseconds took{};
    long peakKiB = 0;
    std::string out, err;
};

// Runs norix scan over the image, killed at the time bound; with interrupt, sends
// Ctrl-C once stderr shows `interruptAfter`.
BoundedRun boundedScan(const fs::path& image, const std::string& type, const fs::path& scratch,
                       const std::string& interruptAfter = {}) {
    const std::string out = (scratch / "out.json").string(), err = (scratch / "err.txt").string();
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> args{NORIX_CLI, "scan", image.string(), "--type", type, "--json"};
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    BoundedRun run;
    pid_t child = 0;
    const auto start = std::chrono::steady_clock::now();
    const int spawned = posix_spawn(&child, NORIX_CLI, &files, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    if (spawned != 0) return run;
    int status = 0;
    rusage usage{};
    bool interrupted = false;
    while (wait4(child, &status, WNOHANG, &usage) == 0) {
        if (std::chrono::steady_clock::now() - start > kTimeBound) {
            kill(child, SIGKILL);
            wait4(child, &status, 0, &usage);
            break;
        }
        if (!interruptAfter.empty() && !interrupted && test::readText(err).find(interruptAfter) != std::string::npos)
            interrupted = kill(child, SIGINT) == 0;
        usleep(20'000);
    }
    run.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peakKiB = usage.ru_maxrss;
    run.out = test::readText(out);
    run.err = test::readText(err);
    return run;
}

bool lists(const nlohmann::json& node, const std::string& name) {
    if (node.value("fileType", 1) != 1 && node.value("name", "") == name) return true;
    for (const auto& child : node.value("children", nlohmann::json::array()))
        if (lists(child, name)) return true;
    return false;
}

TEST(HostileImages, EveryScanEndsWithinBoundsPrintsAValidTreeAndListsWhatIsLeft) {
    test::TempHome home;
    test::TempDir scratch;
    const fs::path folder = test::fixtureFolder("make-hostile-images.sh");
    std::ifstream expected(folder / "expected");
    size_t scans = 0;
    for (std::string image, types, listed; std::getline(expected, image, '\t') && std::getline(expected, types, '\t') &&
                                           std::getline(expected, listed);) {
        const bool stopped = types == "Q^C";
        for (const char type : stopped ? std::string("Q") : types) {
            SCOPED_TRACE(image + " " + type);
            const BoundedRun run =
                boundedScan(folder / image, std::string(1, type), scratch.path(), stopped ? "Quick scan completed" : "");
            ASSERT_EQ(run.exitCode, stopped ? 130 : 0) << run.err.substr(run.err.size() > 2000 ? run.err.size() - 2000 : 0);
            EXPECT_LT(run.peakKiB, kMemoryBoundKiB);
            const auto tree = nlohmann::json::parse(run.out, nullptr, false);
            ASSERT_FALSE(tree.is_discarded()) << run.out.substr(0, 2000);
            EXPECT_TRUE(listed == "-" || lists(tree, listed)) << listed;
            std::printf("%-32s %c  %6lld ms  %6ld MiB\n", image.c_str(), type, static_cast<long long>(run.took.count()),
                        run.peakKiB / 1024);
            ++scans;
        }
    }
    EXPECT_EQ(scans, 20u);
}

}  // namespace
}  // namespace norix
